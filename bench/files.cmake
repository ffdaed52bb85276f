find_package(JPEG REQUIRED)
zelvo_bench(files_bench SOURCES FilesBench.cpp LIBS zelvo_files JPEG::JPEG)
