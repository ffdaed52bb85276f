zelvo_bench(tools_bench SOURCES ToolsBench.cpp LIBS zelvo_tools zelvo_workspace)
