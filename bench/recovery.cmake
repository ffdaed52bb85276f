zelvo_bench(recovery_bench SOURCES RecoveryBench.cpp LIBS zelvo_recovery)
