zelvo_bench(startup_bench SOURCES StartupBench.cpp LIBS zelvo_doc zelvo_recovery zelvo_files)
