// The fixed cost of a job beside its codec and its pass: setting up and closing the workspace
// (scratch file and recovery journal; the stroke block waits for a stroke), and opening a
// 20-megapixel BMP into a document and closing it. bench/startup.sh times the whole empty
// zelvo-batch run.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace zelvo::bench

BENCHMARK_MAIN();
