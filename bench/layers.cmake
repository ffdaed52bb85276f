zelvo_bench(layers_bench SOURCES LayersBench.cpp LIBS zelvo_layers)
