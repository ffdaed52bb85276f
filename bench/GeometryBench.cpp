// Image geometry on a 20-megapixel (5000 x 4000) layer: the Image Size resampler to 150 %
// (7500 x 6000 out) by nearest neighbour and smoothly, and smoothly to two thirds, the quarter turn
// of the pixels alone and the whole Rotate Canvas command (rebuild and history state included), and
// the commit of a free transform (30 degrees, 1.5 times) of that layer. Beside them two floors: the
// output's bytes written into a fresh store block row by row (what any new layer costs, mostly the
// page faults of new file pages) and a plain memcpy in RAM. "MP/s" is output pixels.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchDocument.h"
#include "core/PercentTables.h"
#include "geometry/FreeTransform.h"
#include "geometry/Resample.h"
#include "geometry/RotateCanvas.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

namespace zelvo {
namespace {

constexpr int32_t kWidth = 5000;
constexpr int32_t kHeight = 4000;

struct Document : bench::BenchDocument {
    Document() : BenchDocument(kWidth, kHeight) {
        // A picture with some variety, so no pass sees only equal neighbours.
        Layer& l = *layers->LayerAt(0);
        RowCursor* rows = l.Rows();
        for (int32_t r = 0; r < kHeight; ++r) {
            uint32_t* row = reinterpret_cast<uint32_t*>(rows->Row(uint32_t(r)));
            for (int32_t c = 0; c < kWidth; ++c)
                row[c] = 0x64000000u | uint32_t(c * 7 + r) << 8 | uint32_t((c ^ r) & 0xFF);
        }
        l.ReleaseRows();
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "New Image",
                             ExtraValues({kWidth, kHeight}));
    }
};

void Resample(benchmark::State& state, ResampleMode mode, float s,
              ResampleArithmetic arithmetic = ResampleArithmetic::Best) {
    const bench::BenchThreads threads(state, 0);
    RecordingMessages quiet;
    SetAppMessages(&quiet);
    Document doc;
    Layer& src = *doc.layers->LayerAt(0);
    const Rect full = ScaledLayerRect(src.Bounds(), s, s);
    for (auto _ : state) {
        Layer dst(*doc.store);
        if (!dst.Create(full.Width(), full.Height(), LayerKind::Pixel, 999)) std::abort();
        if (!ResamplePixels(src, dst, full, s, s, mode, arithmetic)) std::abort();
    }
    const double out = double(full.Width()) * full.Height();
    state.counters["MP/s"] =
        benchmark::Counter(out / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    SetAppMessages(nullptr);
}

void BM_ImageSize150Nearest(benchmark::State& state) {
    Resample(state, ResampleMode::Nearest, 1.5f);
}
void BM_ImageSize150Smooth(benchmark::State& state) {
    Resample(state, ResampleMode::Smooth, 1.5f);
}
// Two thirds (3333 x 2667 out), one pixel at a time and by the widest path the processor has.
void BM_ImageSize67SmoothPlain(benchmark::State& state) {
    Resample(state, ResampleMode::Smooth, 2.0f / 3.0f, ResampleArithmetic::Plain);
}
void BM_ImageSize67Smooth(benchmark::State& state) {
    Resample(state, ResampleMode::Smooth, 2.0f / 3.0f);
}

void BM_Rotate90Pixels(benchmark::State& state) {
    const bench::BenchThreads threads(state, 0);
    RecordingMessages quiet;
    SetAppMessages(&quiet);
    Document doc;
    Layer& src = *doc.layers->LayerAt(0);
    for (auto _ : state) {
        Layer dst(*doc.store);
        if (!dst.Create(kHeight, kWidth, LayerKind::Pixel, 999)) std::abort();
        if (!TurnPixels(src, dst, kRotateClockwise)) std::abort();
    }
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    SetAppMessages(nullptr);
}

// The turn alone on one thread with each instruction set's tiles (0 SSE2, 1 AVX2, 2 AVX-512).
void BM_Rotate90PixelsPath(benchmark::State& state) {
    const ScopedPassThreads threads(1);
    const CpuLevel level = CpuLevel(state.range(0));
    if (!CpuRuns(level)) {
        state.SkipWithError("the processor lacks this instruction set");
        return;
    }
    RecordingMessages quiet;
    SetAppMessages(&quiet);
    Document doc;
    Layer& src = *doc.layers->LayerAt(0);
    for (auto _ : state) {
        Layer dst(*doc.store);
        if (!dst.Create(kHeight, kWidth, LayerKind::Pixel, 999)) std::abort();
        if (!TurnPixels(src, dst, kRotateClockwise, kTurnBandBytes, level)) std::abort();
    }
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    SetAppMessages(nullptr);
}

// The command as the menu runs it: every layer rebuilt, one "Rotate Canvas" state (states past
// twenty give their layers back to the store).
void BM_RotateCanvasCommand(benchmark::State& state) {
    const bench::BenchThreads threads(state, 0);
    RecordingMessages quiet;
    SetAppMessages(&quiet);
    Document doc;
    for (auto _ : state)
        if (!RotateCanvas(*doc.history, kRotateClockwise)) std::abort();
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    SetAppMessages(nullptr);
}

// Edit > Free Transform committed on the same layer: turned 30 degrees and scaled 1.5 times
// about its centre, so the frame's box (about 57 megapixels) is cut to the canvas and 20
// megapixels are drawn through the row mapping, one "Free Transform" state each time.
// The second argument, when given, is the row kernel's level (on one thread).
void BM_FreeTransformCommit(benchmark::State& state) {
    const bench::BenchThreads threads(state, 0);
    const CpuLevel level = state.range(1) < 0 ? BestCpuLevel() : CpuLevel(state.range(1));
    if (!CpuRuns(level)) {
        state.SkipWithError("the processor lacks this instruction set");
        return;
    }
    RecordingMessages quiet;
    SetAppMessages(&quiet);
    Document doc;
    FrameCorners f = RectFrame({0, 0, kWidth, kHeight});
    f = DragCorner(f, 2, {kWidth * 1.5, kHeight * 1.5}, false, false);
    for (PointD& p : f) p = {p.x - kWidth / 4.0, p.y - kHeight / 4.0};
    f = RotateFrame(f, RotationCentre(f), 30);
    for (auto _ : state) {
        doc.layers->SelectLayerByIndex(1);
        if (CommitFreeTransform(*doc.history, f, level) != 1) std::abort();
    }
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    SetAppMessages(nullptr);
}

// The floor: copying N megapixels of 32-bit words in RAM (80 MB for the turn, 180 MB for the
// 150 % output).
void BM_MemcpyFloor(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0)) * 4;
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.counters["MP/s"] = benchmark::Counter(double(state.range(0)) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

// The floor of any command that makes a new layer: a fresh store block of the output size
// written row by row through the row cursor (the page faults of the new file pages are most of
// its cost).
void BM_StoreWriteFloor(benchmark::State& state) {
    RecordingMessages quiet;
    SetAppMessages(&quiet);
    Document doc;
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    std::vector<uint8_t> row(size_t(w) * 4, 7);
    for (auto _ : state) {
        Layer dst(*doc.store);
        if (!dst.Create(w, h, LayerKind::Pixel, 999)) std::abort();
        std::unique_ptr<RowCursor> out = dst.OpenRows();
        for (int32_t r = 0; r < h; ++r) std::memcpy(out->Row(uint32_t(r)), row.data(), row.size());
    }
    state.counters["MP/s"] =
        benchmark::Counter(double(w) * h / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    SetAppMessages(nullptr);
}

BENCHMARK(BM_ImageSize150Nearest)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageSize150Smooth)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageSize67SmoothPlain)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageSize67Smooth)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90Pixels)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90PixelsPath)
    ->ArgName("level")
    ->DenseRange(int(CpuLevel::Base), int(CpuLevel::V4))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateCanvasCommand)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
// Level -1: the best this processor runs.
BENCHMARK(BM_FreeTransformCommit)
    ->ArgNames({"threads", "level"})
    ->Args({1, -1})
    ->Args({0, -1})
    ->ArgsProduct({{1}, {int(CpuLevel::Base), int(CpuLevel::Avx2), int(CpuLevel::V4)}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreWriteFloor)
    ->Args({kHeight, kWidth})
    ->Args({7500, 6000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_MemcpyFloor)
    ->Arg(kWidth* kHeight)
    ->Arg(7500 * 6000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();
