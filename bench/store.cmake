zelvo_bench(store_bench SOURCES StoreBench.cpp LIBS zelvo_store)
