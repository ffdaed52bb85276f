find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
zelvo_bench(startup_bench SOURCES StartupBench.cpp
            LIBS zelvo_doc zelvo_recovery zelvo_files JPEG::JPEG PNG::PNG)
