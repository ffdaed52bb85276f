zelvo_bench(paint_bench SOURCES PaintBench.cpp LIBS zelvo_paint zelvo_workspace)
