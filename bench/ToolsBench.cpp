// The magic wand on a 5000 x 4000 (20-megapixel) layer, contiguous and not: the pixel search
// alone (candidates, flood fill, the shape's runs) and the whole click as the tool does it
// (the search combined into the selection with its history state). The picture is a smooth
// colour field with noise and a grid of dark lines, so at tolerance 32 the fill spreads over
// most of the layer around the lines and the non-contiguous search keeps about as much; the
// goal is 100 ms a click.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "BenchDocument.h"
#include "doc/Image.h"
#include "layers/StoredDib.h"
#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "tools/MagicWand.h"
#include "workspace/Workspace.h"

namespace zelvo {
namespace {

constexpr int32_t kWidth = 5000;
constexpr int32_t kHeight = 4000;
constexpr Point kSeed{2500, 2000};

struct Setup {
    std::string folder;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<Image> image;

    Setup() {
        std::string base = "/var/tmp/zelvo-bench-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        folder = base + "/";
        workspace = std::make_unique<Workspace>();
        workspace->SetScreenSize(1920, 1080);
        if (!workspace->Setup(folder)) std::abort();
        image = std::make_unique<Image>(*workspace);
        if (!image->NewImage({kWidth, kHeight, 2834})) std::abort();
        Layer& layer = *image->Layers().LayerAt(0);
        uint64_t seed = 0x9E3779B97F4A7C15ull;
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = layer.Rows()->Row(uint32_t(StoredDib::StoredRow(y, kHeight)));
            for (int32_t x = 0; x < kWidth; ++x) {
                seed ^= seed << 13;
                seed ^= seed >> 7;
                seed ^= seed << 17;
                const int noise = int(seed % 17) - 8;
                const bool line = x % 400 < 3 || y % 300 < 3;
                uint8_t* p = row + 4 * size_t(x);
                p[0] = uint8_t(line ? 0 : 120 + noise + x / 500);
                p[1] = uint8_t(line ? 0 : 140 + noise + y / 400);
                p[2] = uint8_t(line ? 0 : 160 + noise);
                p[3] = 100;
            }
        }
        layer.ReleaseRows();
    }
    ~Setup() {
        image.reset();
        workspace.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

void BM_WandSearch(benchmark::State& state) {
    const bench::BenchThreads threads(state, 1);
    Setup& s = TheSetup();
    const bool contiguous = state.range(0) != 0;
    Layer& layer = *s.image->Layers().LayerAt(0);
    int64_t selected = 0;
    for (auto _ : state) {
        WandResult r =
            MagicWandSearch(*s.workspace, layer, kSeed, 32, contiguous, {0, 0, kWidth, kHeight});
        if (r.status != WandResult::Ok) state.SkipWithError("the search failed");
        selected = int64_t(r.shape.Bounds().Width()) * r.shape.Bounds().Height();
        benchmark::DoNotOptimize(r);
    }
    state.counters["bounds_px"] = double(selected);
}

void BM_WandClick(benchmark::State& state) {
    const bench::BenchThreads threads(state, 1);
    Setup& s = TheSetup();
    const bool contiguous = state.range(0) != 0;
    ScopedRecordingMessages messages;
    // As in a long session: the history is full, and each new mask reuses the block the oldest
    // state gave back.
    for (int i = 0; i < HistoryManager::kMaxStates; ++i)
        MagicWandClick(*s.image, kSeed, 32, contiguous, CombineMode::New);
    for (auto _ : state) {
        if (MagicWandClick(*s.image, kSeed, 32, contiguous, CombineMode::New) != 1)
            state.SkipWithError("the click selected nothing");
    }
}

BENCHMARK(BM_WandSearch)
    ->ArgNames({"contiguous", "threads"})
    ->ArgsProduct({{1, 0}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_WandClick)
    ->ArgNames({"contiguous", "threads"})
    ->ArgsProduct({{1, 0}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();
