// Feather of a 4000 x 3000 selection at radius 1 (spread 3) and radius 100 (spread 237), on
// one thread and on all, in the same run: the tent filter runs on running sums, so the two should
// cost about the same (the goal is within 1.5x). The selection is a soft-edged ellipse over the
// whole canvas, made once; every iteration feathers that same mask (the history keeps at most 20 of
// the results). Expand, Contract and Draw Border start from the same ellipse, or from a mask of
// many small blobs whose boundary is long, as a magic wand's on a photograph is.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "BenchDocument.h"
#include "core/PercentTables.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "store/FileDynamicStore.h"

namespace zelvo {
namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

struct Document : bench::BenchDocument {
    LayerPtr original;
    LayerPtr blobs;

    Document() : BenchDocument(kWidth, kHeight) {
        // An opaque first layer, for the commands that read or clear it.
        if (!layers->CurrentLayer()->FillColor(0x808080, 100, 100, false)) std::abort();
        original = CreateSelectionMask(*layers, {0, 0, kWidth, kHeight});
        if (!original) std::abort();
        // Strength falls from 100 inside an ellipse to 0 outside a larger one.
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = MaskRow(*original, y);
            const double dy = (y - kHeight / 2.0) / (kHeight / 2.0);
            for (int32_t x = 0; x < kWidth; ++x) {
                const double dx = (x - kWidth / 2.0) / (kWidth / 2.0);
                const double d = dx * dx + dy * dy;
                row[x] = uint8_t(d < 0.5 ? 100 : d > 0.9 ? 0 : int((0.9 - d) * 250));
            }
        }
        original->ReleaseRows();
        // Blobs about 40 pixels across, a boundary pixel in about every tenth.
        blobs = CreateSelectionMask(*layers, {0, 0, kWidth, kHeight});
        if (!blobs) std::abort();
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = MaskRow(*blobs, y);
            for (int32_t x = 0; x < kWidth; ++x)
                row[x] = std::sin(x * 0.08) + std::sin(y * 0.07 + std::sin(x * 0.013) * 3) > 0.3
                             ? 100
                             : 0;
        }
        blobs->ReleaseRows();
    }
    ~Document() {
        history.reset();  // the history may hold masks made from `original`
        original.reset();
        blobs.reset();
    }
};

Document& TheDocument() {
    static Document doc;
    return doc;
}

void BM_Feather(benchmark::State& state) {
    const bench::BenchThreads threads(state, 1);
    Document& d = TheDocument();
    const int32_t radius = int32_t(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        SetSelection(*d.history, d.original,
                     d.layers->Selection() ? kSelectionModify : kSelectionNew);
        state.ResumeTiming();
        if (FeatherSelection(*d.history, radius) != 1) state.SkipWithError("feather failed");
    }
    state.counters["spread"] = FeatherSpread(radius);
    state.counters["Mpixel_per_s"] = benchmark::Counter(
        double(kWidth) * kHeight * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Feather)
    ->ArgNames({"radius", "threads"})
    ->ArgsProduct({{1, 100}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Expand (range 1 > 0) or Contract of the ellipse (range 2 = 0) or the blobs by range 0 pixels.
void BM_ExpandContract(benchmark::State& state) {
    const bench::BenchThreads threads(state, 3);
    Document& d = TheDocument();
    const int32_t n = int32_t(state.range(0));
    const bool expand = state.range(1) > 0;
    const LayerPtr& from = state.range(2) ? d.blobs : d.original;
    for (auto _ : state) {
        state.PauseTiming();
        SetSelection(*d.history, from, d.layers->Selection() ? kSelectionModify : kSelectionNew);
        state.ResumeTiming();
        if ((expand ? ExpandSelection(*d.history, n) : ContractSelection(*d.history, n)) != 1)
            state.SkipWithError("expand or contract failed");
    }
}
BENCHMARK(BM_ExpandContract)
    ->ArgNames({"n", "expand", "blobs", "threads"})
    ->ArgsProduct({{1, 50}, {1, 0}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Select All (range 0 = 0), Inverse of the ellipse (1), Layer Convert to Selection of the
// first layer (2) and Edit > Clear of the ellipse on it (3).
void BM_SelectionCommand(benchmark::State& state) {
    const bench::BenchThreads threads(state, 1);
    Document& d = TheDocument();
    const int64_t which = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        SetSelection(*d.history, d.original,
                     d.layers->Selection() ? kSelectionModify : kSelectionNew);
        state.ResumeTiming();
        const int done = which == 0   ? SelectAll(*d.history)
                         : which == 1 ? InverseSelection(*d.history)
                         : which == 2 ? LayerToSelection(*d.history, nullptr)
                                      : ClearSelection(*d.history);
        if (done != 1) state.SkipWithError("the command failed");
    }
}
BENCHMARK(BM_SelectionCommand)
    ->ArgNames({"command", "threads"})
    ->ArgsProduct({{0, 1, 2, 3}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Draw Border of width 1 or 50 around the ellipse or the blobs.
void BM_DrawBorder(benchmark::State& state) {
    const bench::BenchThreads threads(state, 2);
    Document& d = TheDocument();
    const int32_t w = int32_t(state.range(0));
    const LayerPtr& from = state.range(1) ? d.blobs : d.original;
    for (auto _ : state) {
        state.PauseTiming();
        SetSelection(*d.history, from, d.layers->Selection() ? kSelectionModify : kSelectionNew);
        state.ResumeTiming();
        if (DrawBorder(*d.history, w, Rgb(200, 30, 40), 100) != 1)
            state.SkipWithError("draw border failed");
    }
}
BENCHMARK(BM_DrawBorder)
    ->ArgNames({"width", "blobs", "threads"})
    ->ArgsProduct({{1, 50}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();
