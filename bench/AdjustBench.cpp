// Every adjustment and filter on a 4000 x 3000 layer, each applied through its pixel-edit
// transaction and undone (so every iteration starts from the same picture). Blur at slider 20
// against 110 and Sharpen... radius 1 against 100 show that the cost does not grow with the
// radius (goal: within 1.5x). Each runs on one thread and on every core. BM_ImageMagickBlur runs
// `convert -blur 0xS` on the same picture for comparison with the box blur when ImageMagick is
// installed. The picture is written into the layer and read out for ImageMagick row by row, so the
// program's peak memory (outside BM_ImageMagickBlur, whose child process counts too) is the
// commands' own.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "BenchDocument.h"
#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/Filters.h"
#include "adjust/MixRuns.h"
#include "core/PercentTables.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "platform/Messages.h"
#include "selection/SelectionMask.h"
#include "store/FileDynamicStore.h"
#include "store/RowWriter.h"

namespace zelvo {
namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

// A smooth picture with grain, opaque: the pixel at canvas (x, y) for grain n.
uint32_t PicturePixel(int32_t x, int32_t y, int n) {
    return MakePixel((x / 16 + n) & 255, (y / 12 + n) & 255, ((x + y) / 28) & 255, 100);
}

struct Document : bench::BenchDocument {
    Document() : BenchDocument(kWidth, kHeight) {
        // Written row by row, as the commands read it: the benchmark holds no whole picture, so
        // its peak memory shows theirs.
        Layer& layer = *layers->LayerAt(0);
        std::mt19937 rng(1);
        {
            RowWriter rows(layer.Store(), layer.Block(), layer.RowsOffset(), layer.Stride(),
                           uint32_t(kHeight));
            std::vector<uint32_t> line(static_cast<size_t>(kWidth));
            for (int32_t y = 0; y < kHeight; ++y) {
                for (int32_t x = 0; x < kWidth; ++x)
                    line[size_t(x)] = PicturePixel(x, y, int(rng() % 16));
                uint8_t* dst = rows.Row(uint32_t(layer.StoredRowOf(y)));
                if (!dst) std::abort();
                std::memcpy(dst, line.data(), 4 * size_t(kWidth));
            }
            if (!rows.Flush()) std::abort();
        }
        StateExtra extra;
        extra.values = {kWidth, kHeight};
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "New Image", extra);
    }
    // Back to the opened picture.
    void Undo() { history->GoToState(0, 0); }
};

Document& TheDocument() {
    static Document doc;
    return doc;
}

double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The CPU time of the calling thread and of the whole process over the commands run, reported
// per command as main_cpu_ms and other_cpu_ms (the other threads). On a machine other programs
// keep busy the wall time of a run on several threads says little; the longer of the two shows
// what it would take on cores of its own (with OMP_WAIT_POLICY=passive, so that waiting threads
// sleep instead of spinning).
class CommandCpu {
public:
    void Start() {
        m_main0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        m_all0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    }
    void Stop() {
        m_main += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - m_main0;
        m_all += CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - m_all0;
    }
    void Report(benchmark::State& state) const {
        const double n = double(std::max<int64_t>(state.iterations(), 1));
        state.counters["main_cpu_ms"] = m_main * 1e3 / n;
        state.counters["other_cpu_ms"] = (m_all - m_main) * 1e3 / n;
    }

private:
    double m_main0 = 0, m_all0 = 0, m_main = 0, m_all = 0;
};

// The benchmark's argument `threadsArg` is its thread count.
template <class F>
void Run(benchmark::State& state, F command, int threadsArg = 0) {
    const bench::BenchThreads threads(state, threadsArg);
    Document& doc = TheDocument();
    CommandCpu cpu;
    for (auto _ : state) {
        cpu.Start();
        if (command(*doc.history) != 1) state.SkipWithError("the command recorded nothing");
        cpu.Stop();
        state.PauseTiming();
        doc.Undo();
        state.ResumeTiming();
    }
    cpu.Report(state);
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void BM_Invert(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyInvert(h); });
}
void BM_Desaturate(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyDesaturate(h); });
}
void BM_BrightnessContrast(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyBrightnessContrast(h, 20, 30); });
}
void BM_Saturation(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplySaturation(h, 40); });
}
// A command under a selection over the whole layer whose strengths run 0..100 across each row.
// Undo takes the selection back, so it is set again before every run.
template <class F>
void RunSelected(benchmark::State& s, F command) {
    const bench::BenchThreads threads(s, 0);
    Document& doc = TheDocument();
    const Rect all{0, 0, kWidth, kHeight};
    LayerPtr mask = CreateSelectionMask(*doc.layers, all);
    if (!mask) std::abort();
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = MaskRow(*mask, y);
        if (!row) std::abort();
        for (int32_t x = 0; x < kWidth; ++x) row[x] = uint8_t(x % 101);
    }
    mask->ReleaseRows();
    CommandCpu cpu;
    for (auto _ : s) {
        s.PauseTiming();
        doc.layers->SetSelectionObject(mask);
        doc.layers->SetSelectionBounds(all);
        s.ResumeTiming();
        cpu.Start();
        if (command(*doc.history) != 1) s.SkipWithError("the command recorded nothing");
        cpu.Stop();
        s.PauseTiming();
        doc.Undo();
        s.ResumeTiming();
    }
    doc.layers->SetSelectionObject(nullptr);
    doc.layers->SetSelectionBounds({});
    cpu.Report(s);
    s.SetItemsProcessed(s.iterations() * int64_t(kWidth) * kHeight);
}
void BM_SaturationSelected(benchmark::State& s) {
    RunSelected(s, [](HistoryManager& h) { return ApplySaturation(h, 40); });
}
void BM_BrightnessContrastSelected(benchmark::State& s) {
    RunSelected(s, [](HistoryManager& h) { return ApplyBrightnessContrast(h, 20, 30); });
}
void BM_LevelsSelected(benchmark::State& s) {
    RunSelected(s, [](HistoryManager& h) { return ApplyLevels(h, {20, 120, 230, 0, 255}); });
}
void BM_ColorBalance(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyColorBalance(h, 30, -20, 10); });
}
void BM_Levels(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyLevels(h, {20, 120, 230, 0, 255}); });
}
void BM_Curves(benchmark::State& s) {
    Table256 t{};
    for (int v = 0; v < 256; ++v) t[size_t(v)] = 255 - v;
    Run(s, [&t](HistoryManager& h) { return ApplyTransfer(h, t, "Curves"); });
}
void BM_ShadowHighlight(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyShadowHighlight(h, 50, 20, 30); });
}
void BM_Blur(benchmark::State& s) {
    const int32_t slider = int32_t(s.range(0));
    Run(
        s, [slider](HistoryManager& h) { return ApplyBlur(h, slider); }, 1);
}
void BM_Sharpen(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplySharpen(h); });
}
void BM_SharpenMore(benchmark::State& s) {
    const int32_t radius = int32_t(s.range(0));
    Run(
        s, [radius](HistoryManager& h) { return ApplySharpenMore(h, 50, radius); }, 1);
}
void BM_AddNoise(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyAddNoise(h, 50, false); });
}
void BM_Mosaic(benchmark::State& s) {
    Run(s, [](HistoryManager& h) { return ApplyMosaic(h, 16); });
}
void BM_ReduceNoise(benchmark::State& s) {
    const auto kind = NoiseReducer(s.range(0));
    ScopedRecordingMessages answers;  // the large-layer question is answered Yes
    Run(
        s, [kind](HistoryManager& h) { return ApplyReduceNoise(h, kind); }, 1);
}

// The channel lookup alone on one row of the picture, in cache, on each kernel the CPU has, with
// three tables (Color Balance) and with one (Levels, Curves).
void BM_TableLookupRow(benchmark::State& s) {
    const auto kernel = TableKernel(s.range(0));
    const bool shared = s.range(1) != 0;
    if (!CpuRunsTableKernel(kernel)) {
        s.SkipWithError("the CPU lacks this path");
        return;
    }
    std::array<uint8_t, 256> tb, tg, tr;
    for (int v = 0; v < 256; ++v)
        tb[size_t(v)] = uint8_t(255 - v), tg[size_t(v)] = uint8_t(v / 2),
        tr[size_t(v)] = uint8_t(v * 3);
    std::vector<uint32_t> row(static_cast<size_t>(kWidth)), out(row.size());
    for (int32_t x = 0; x < kWidth; ++x) row[size_t(x)] = PicturePixel(x, 7, x % 16);
    for (auto _ : s) {
        ChannelTableRunWith(kernel, row.data(), tb.data(), shared ? tb.data() : tg.data(),
                            shared ? tb.data() : tr.data(), out.data(), kWidth);
        benchmark::DoNotOptimize(out.data());
    }
    s.SetItemsProcessed(s.iterations() * int64_t(kWidth));
}

// The strength mix alone on one row, in cache, on each path the CPU has.
void BM_MixRow(benchmark::State& s) {
    const auto level = CpuLevel(s.range(0));
    if (!CpuRuns(level)) {
        s.SkipWithError("the CPU lacks this path");
        return;
    }
    std::vector<uint32_t> old(static_cast<size_t>(kWidth)), res(old.size()), out(old.size());
    std::vector<uint8_t> strength(old.size());
    for (int32_t x = 0; x < kWidth; ++x) {
        old[size_t(x)] = PicturePixel(x, 7, x % 16);
        res[size_t(x)] = ~old[size_t(x)];
        strength[size_t(x)] = uint8_t(x % 101);
    }
    for (auto _ : s) {
        MixRunOn(level, old.data(), res.data(), strength.data(), out.data(), kWidth, false);
        benchmark::DoNotOptimize(out.data());
    }
    s.SetItemsProcessed(s.iterations() * int64_t(kWidth));
}

// The memory floor of a pass over the layer: one memcpy of its pixels.
void BM_CopyLayerFloor(benchmark::State& s) {
    std::vector<uint8_t> from(size_t(kWidth) * kHeight * 4, 1), to(from.size(), 0);
    for (auto _ : s) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
    s.SetItemsProcessed(s.iterations() * int64_t(kWidth) * kHeight);
}

// ImageMagick's Gaussian blur of sigma S over the same picture as a PPM; a box of radius r has
// about the extent of a Gaussian with sigma r / 2.
void BM_ImageMagickBlur(benchmark::State& s) {
    if (std::system(
            "command -v convert >/dev/null 2>&1 && convert -version | grep -q ImageMagick") != 0) {
        s.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    Document& doc = TheDocument();
    const std::string in = doc.folder + "picture.ppm", out = doc.folder + "blurred.ppm";
    {
        std::ofstream f(in, std::ios::binary);
        f << "P6\n" << kWidth << " " << kHeight << "\n255\n";
        const Layer& layer = *doc.layers->LayerAt(0);
        const std::unique_ptr<RowReader> rows = LayerRowReader(layer);
        std::vector<char> rgb(static_cast<size_t>(3 * kWidth));
        for (int32_t y = 0; y < kHeight; ++y) {
            const uint8_t* src = rows->Row(uint32_t(layer.StoredRowOf(y)));
            if (!src) std::abort();
            for (int32_t x = 0; x < kWidth; ++x) {
                uint32_t p;
                std::memcpy(&p, src + 4 * size_t(x), 4);
                rgb[3 * size_t(x)] = char(ChR(p)), rgb[3 * size_t(x) + 1] = char(ChG(p)),
                        rgb[3 * size_t(x) + 2] = char(ChB(p));
            }
            f.write(rgb.data(), std::streamsize(rgb.size()));
        }
    }
    const std::string cmd = "convert " + in + " -blur 0x" + std::to_string(s.range(0)) + " " + out;
    for (auto _ : s)
        if (std::system(cmd.c_str()) != 0) s.SkipWithError("convert failed");
    s.SetItemsProcessed(s.iterations() * int64_t(kWidth) * kHeight);
}

BENCHMARK(BM_CopyLayerFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixRow)->ArgName("level")->DenseRange(int(CpuLevel::Base), int(CpuLevel::V4));
BENCHMARK(BM_TableLookupRow)
    ->ArgsProduct({{int(TableKernel::Plain), int(TableKernel::Gather), int(TableKernel::Shuffle),
                    int(TableKernel::Vbmi)},
                   {0, 1}})
    ->ArgNames({"kernel", "shared"});
BENCHMARK(BM_Invert)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Desaturate)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrightnessContrast)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Saturation)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationSelected)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrightnessContrastSelected)
    ->Apply(bench::OneAndAllThreads)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelsSelected)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorBalance)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Levels)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Curves)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShadowHighlight)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur)
    ->ArgsProduct({{5, 20, 110}, {1, 0}})
    ->ArgNames({"slider", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SharpenMore)
    ->ArgsProduct({{1, 100}, {1, 0}})
    ->ArgNames({"radius", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddNoise)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mosaic)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceNoise)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 0}})
    ->ArgNames({"kind", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickBlur)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();
