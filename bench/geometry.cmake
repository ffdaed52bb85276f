zelvo_bench(geometry_bench SOURCES GeometryBench.cpp LIBS zelvo_geometry)
