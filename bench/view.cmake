zelvo_bench(view_bench SOURCES ViewBench.cpp LIBS zelvo_view zelvo_workspace)
