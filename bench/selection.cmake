zelvo_bench(selection_bench SOURCES SelectionBench.cpp LIBS zelvo_selection)
