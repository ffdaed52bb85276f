// The fixed cost of a job beside its codec and its pass: setting up and closing the workspace
// (scratch file and recovery journal; the stroke block waits for a stroke), and opening a
// 20-megapixel BMP into a document and closing it. Also opening the files a decoder must keep
// whole before its first row (progressive JPEG, interlaced PNG), with their peak memory.
// bench/startup.sh times the whole empty zelvo-batch run.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "doc/Image.h"
#include "recovery/RecoveryJournal.h"
#include "workspace/Workspace.h"

namespace zelvo::bench {
namespace {

std::string MakeFolder() {
    std::string base = "/var/tmp/zelvo-bench-XXXXXX";
    if (!mkdtemp(base.data())) std::abort();
    return base + "/";
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A 24-bit bottom-up BMP of a diagonal ramp.
void WriteBmp(const std::string& path, int32_t width, int32_t height) {
    const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    std::vector<uint8_t> head = {'B', 'M'};
    Put32(head, 54 + stride * uint32_t(height));
    Put32(head, 0);
    Put32(head, 54);
    Put32(head, 40);
    Put32(head, uint32_t(width));
    Put32(head, uint32_t(height));
    Put32(head, 1 | (24 << 16));
    for (uint32_t v : {0u, stride * uint32_t(height), 2835u, 2835u, 0u, 0u}) Put32(head, v);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(head.data(), 1, head.size(), f);
    std::vector<uint8_t> row(stride);
    for (int32_t y = 0; y < height; ++y) {
        for (uint32_t i = 0; i < uint32_t(width) * 3; ++i) row[i] = uint8_t(i / 3 + y);
        std::fwrite(row.data(), 1, row.size(), f);
    }
    if (std::fclose(f) != 0) std::abort();
}

void BM_WorkspaceSetupAndClose(benchmark::State& state) {
    const std::string folder = MakeFolder();
    for (auto _ : state) {
        Workspace w;
        if (!w.Setup(folder)) std::abort();
        RecoveryJournal journal(w);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WorkspaceSetupAndClose)->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: width, height. Reading the BMP, the first layer's copy, the history's first state and
// the close; the codec's own share is in files_bench.
void BM_OpenBmpAndClose(benchmark::State& state) {
    const std::string folder = MakeFolder();
    const std::string path = folder + "in.bmp";
    WriteBmp(path, int32_t(state.range(0)), int32_t(state.range(1)));
    {
        Workspace w;
        if (!w.Setup(folder)) std::abort();
        for (auto _ : state) {
            Image image(w);
            if (!image.Open(path)) state.SkipWithError("the picture could not be opened");
        }
        state.counters["pixels"] = double(state.range(0) * state.range(1));
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_OpenBmpAndClose)
    ->Args({1000, 1000})
    ->Args({5472, 3648})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A 24-bit picture of a ramp with grain as the two layouts a decoder must keep whole before its
// first row can go out: a progressive JPEG (every coefficient until the last scan) and an
// Adam7-interlaced PNG (every row until the last pass).
uint8_t GrainPixel(int32_t x, int32_t y, int c, uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    return uint8_t((x / 8 + y / 6 + 40 * c) % 224 + (seed >> 27));
}

void WriteProgressiveJpeg(const std::string& path, int32_t width, int32_t height) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    uint32_t seed = 1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k) row[size_t(3 * x + k)] = GrainPixel(x, y, k, seed);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    if (std::fclose(f) != 0) std::abort();
}

void WriteInterlacedPng(const std::string& path, int32_t width, int32_t height) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!png || !info || setjmp(png_jmpbuf(png))) std::abort();
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    // Interlacing needs every row at once: this is the benchmark's own picture, not the reader's.
    std::vector<uint8_t> pixels(size_t(width) * 3 * size_t(height));
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    uint32_t seed = 1;
    for (int32_t y = 0; y < height; ++y) {
        rows[size_t(y)] = pixels.data() + size_t(y) * size_t(width) * 3;
        for (int32_t x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k) rows[size_t(y)][3 * x + k] = GrainPixel(x, y, k, seed);
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) std::abort();
}

// The process's peak resident memory in MB since the last reset.
double PeakMegabytes() {
    FILE* f = std::fopen("/proc/self/status", "r");
    double kb = 0;
    char line[256];
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1) break;
    if (f) std::fclose(f);
    return kb / 1024;
}

void ResetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Arg: 0 a progressive JPEG, 1 an interlaced PNG, of 5472 x 3648. The peak is the process's
// resident memory at its highest during the open (the picture itself is 80 MB as a layer).
void BM_OpenKeptWholeAndClose(benchmark::State& state) {
    const bool png = state.range(0) == 1;
    const int32_t width = 5472, height = 3648;
    const std::string folder = MakeFolder();
    const std::string path = folder + (png ? "in.png" : "in.jpg");
    if (png)
        WriteInterlacedPng(path, width, height);
    else
        WriteProgressiveJpeg(path, width, height);
    {
        Workspace w;
        if (!w.Setup(folder)) std::abort();
        double peak = 0;
        for (auto _ : state) {
            state.PauseTiming();
            ResetPeak();
            const double before = PeakMegabytes();
            state.ResumeTiming();
            {
                Image image(w);
                if (!image.Open(path)) state.SkipWithError("the picture could not be opened");
            }
            peak = std::max(peak, PeakMegabytes() - before);
        }
        state.counters["peak_MB"] = peak;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_OpenKeptWholeAndClose)
    ->ArgName("png")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelvo::bench

BENCHMARK_MAIN();
