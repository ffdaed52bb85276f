zelvo_bench(layerops_bench SOURCES LayeropsBench.cpp LIBS zelvo_layerops)
