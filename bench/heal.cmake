zelvo_bench(heal_bench SOURCES HealBench.cpp LIBS zelvo_paint zelvo_selection zelvo_workspace)
