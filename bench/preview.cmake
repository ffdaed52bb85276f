zelvo_bench(preview_bench SOURCES PreviewBench.cpp LIBS zelvo_view zelvo_adjust zelvo_workspace)
