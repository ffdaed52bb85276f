zelvo_bench(adjust_bench SOURCES AdjustBench.cpp LIBS zelvo_adjust)
