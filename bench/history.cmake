zelvo_bench(history_bench SOURCES HistoryBench.cpp LIBS zelvo_history)
