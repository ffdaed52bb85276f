zelvo_bench(clone_bench SOURCES CloneBench.cpp LIBS zelvo_paint zelvo_workspace)
