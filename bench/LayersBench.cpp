// Compositing speed beside the memory-bandwidth floor: a stack of 10 pixel layers of
// 4000 x 3000 with random alpha, flattened at scale 1, shown in a 1920 x 1080 view at zoom 1
// and 0.25, and fitted into a navigator thumbnail; and a canvas-sized block filled through a
// mapped window beside RowWriter. Each run reports its time and the floor: the
// bytes the pass must touch divided by the memcpy bandwidth (bytes read + written per second)
// measured in the same process.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "BenchDocument.h"
#include "core/PercentTables.h"
#include "layers/BlendRuns.h"
#include "layers/LayerManager.h"
#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "store/RowWriter.h"

namespace zelvo {
namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr int kLayers = 10;
constexpr int32_t kScreenW = 1920;
constexpr int32_t kScreenH = 1080;

struct Stack {
    std::string folder;
    std::unique_ptr<FileDynamicStore> store;
    std::unique_ptr<PercentTables> tables;
    ImageGeometry image;
    std::unique_ptr<LayerManager> manager;
    double copyBytesPerSecond = 0;  // bytes read + written by memcpy

    Stack() {
        std::string base = "/var/tmp/zelvo-bench-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        folder = base + "/";
        store = std::make_unique<FileDynamicStore>();
        if (!store->Open(folder)) std::abort();
        tables = std::make_unique<PercentTables>();
        image.width = kWidth;
        image.height = kHeight;
        manager = std::make_unique<LayerManager>(*store, *tables, image, kScreenW, kScreenH);
        if (!manager->CreateFirstLayer(kWidth, kHeight)) std::abort();
        bench::FillRandomLayers(*manager, kWidth, kHeight, kLayers);
        copyBytesPerSecond = MeasureMemcpy();
    }
    ~Stack() {
        manager.reset();
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    static double MeasureMemcpy() {
        const size_t n = size_t(256) << 20;
        std::vector<uint8_t> a(n, 1), b(n, 2);
        double best = 1e30;
        for (int i = 0; i < 5; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            std::memcpy(b.data(), a.data(), n);
            benchmark::DoNotOptimize(b.data());
            benchmark::ClobberMemory();
            const double s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            best = std::min(best, s);
            std::swap(a, b);
        }
        return 2.0 * double(n) / best;
    }

    // The view laid out as the image view does for the screen-sized client area.
    void ViewAt(float zoom) {
        image.zoom = zoom;
        auto axis = [&](int32_t client, int32_t canvas, int32_t& s0, int32_t& s1, int32_t& v0,
                        int32_t& v1) {
            const int32_t zoomed = int32_t(float(canvas) * zoom);
            int32_t vis = canvas;
            if (client <= zoomed) {
                s0 = 0;
                s1 = client;
                const float f = float(client) / zoom;
                vis = int32_t(f) + (f - std::floor(f) >= 0.1f ? 1 : 0);
            } else {
                s0 = (client - zoomed) / 2;
                s1 = s0 + zoomed;
            }
            v0 = 0;
            v1 = std::min(vis, canvas);
        };
        axis(kScreenW, kWidth, image.screenRect.left, image.screenRect.right, image.visible.left,
             image.visible.right);
        axis(kScreenH, kHeight, image.screenRect.top, image.screenRect.bottom, image.visible.top,
             image.visible.bottom);
    }
};

Stack& TheStack() {
    static Stack stack;
    return stack;
}

void ReportFloor(benchmark::State& state, double bytes) {
    const Stack& s = TheStack();
    state.counters["touched_MB"] = bytes / 1e6;
    state.counters["memcpy_GBps"] = s.copyBytesPerSecond / 1e9;
    state.counters["floor_ms"] = 1e3 * bytes / s.copyBytesPerSecond;
}

void BM_RenderFlat(benchmark::State& state) {
    const bench::BenchThreads threads(state, 0);
    Stack& s = TheStack();
    const size_t stride = (size_t(kWidth) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> out(stride * kHeight);
    for (auto _ : state) {
        s.manager->RenderFlat(out.data(), stride, 24, kFormatBmp, 0);
        benchmark::DoNotOptimize(out.data());
    }
    ReportFloor(state, double(kLayers) * kWidth * kHeight * 4 + double(stride) * kHeight);
}

void BM_RenderDisplay(benchmark::State& state) {
    Stack& s = TheStack();
    const float zoom = float(state.range(0)) / 100.0f;
    s.ViewAt(zoom);
    for (auto _ : state) s.manager->RenderDisplay();
    const Rect out = s.image.screenRect;
    // Every source row shown is read whole once a zoom below 1 skips columns (each cache line
    // of 16 pixels still holds a shown one); at zoom 1 only the shown columns are read.
    const double rowBytes =
        zoom < 1.0f ? double(s.image.visible.Width()) * 4 : double(out.Width()) * 4;
    const double rows = out.Height();
    ReportFloor(state, double(kLayers) * rows * rowBytes + double(out.Width()) * out.Height() * 4);
    state.counters["out_w"] = out.Width();
    state.counters["out_h"] = out.Height();
}

// The navigator's thumbnail: a few hundred canvas rows of every layer, each read whole.
void BM_RenderThumbnail(benchmark::State& state) {
    const bench::BenchThreads threads(state, 1);
    Stack& s = TheStack();
    const int32_t w = int32_t(state.range(0)), h = w * 3 / 4;
    for (auto _ : state) {
        std::vector<uint8_t> dib = s.manager->RenderThumbnail(w, h);
        benchmark::DoNotOptimize(dib.data());
    }
    const double scale = std::min(double(w) / kWidth, double(h) / kHeight);
    const double rows = std::floor(kHeight * scale);
    ReportFloor(state, double(kLayers) * rows * kWidth * 4 + rows * std::floor(kWidth * scale) * 3);
}

// The blend alone on one canvas row of the stack (cached), at each instruction-set level the
// CPU has (0 plain, 1 AVX2, 2 AVX-512, 3 AVX-512 with byte permutes): the compute share of
// BM_RenderFlat, 3000 of these a flatten.
void BM_BlendRow(benchmark::State& state) {
    const CpuLevel level = CpuLevel(state.range(0));
    if (!CpuRuns(level)) {
        state.SkipWithError("level not available on this CPU");
        return;
    }
    const ScopedRunLevel scoped(level);
    std::vector<uint32_t> px(size_t(kWidth) * kLayers);
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (uint32_t& p : px) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        p = (uint32_t((seed >> 32) % 101) << 24) | uint32_t(seed & 0xFFFFFF);
    }
    std::vector<int16_t> cov(kWidth);
    std::vector<uint16_t> b(kWidth), g(kWidth), r(kWidth);
    std::vector<uint8_t> out(size_t(kWidth) * 3);
    for (auto _ : state) {
        std::fill(cov.begin(), cov.end(), int16_t(100));
        std::fill(b.begin(), b.end(), uint16_t(0));
        std::fill(g.begin(), g.end(), uint16_t(0));
        std::fill(r.begin(), r.end(), uint16_t(0));
        for (int l = 0; l < kLayers; ++l)
            BlendRun(reinterpret_cast<const uint8_t*>(px.data() + size_t(l) * kWidth), kWidth,
                     uint16_t(60 + 4 * l), cov.data(), b.data(), g.data(), r.data());
        FinishRun(kWidth, cov.data(), b.data(), g.data(), r.data(), out.data(), 3);
        benchmark::DoNotOptimize(out.data());
    }
}

// Filling a canvas-sized pixel block row by row, as opening a picture does: through a mapped
// window, flushed as the open path does (0) or not (2), or through RowWriter's pwrite (1).
void BM_FillLayerRows(benchmark::State& state) {
    Stack& s = TheStack();
    const uint32_t stride = uint32_t(kWidth) * 4;
    const BlockHandle block = s.store->Allocate(40 + uint64_t(stride) * kHeight);
    if (!block) std::abort();
    std::vector<uint8_t> row(stride, 0x5A);
    for (auto _ : state) {
        if (state.range(0) != 1) {
            RowCursor rows(*s.store, block, 40, stride, uint32_t(kHeight));
            for (int32_t r = 0; r < kHeight; ++r)
                std::memcpy(rows.Row(uint32_t(r)), row.data(), stride);
            if (state.range(0) == 0) rows.Flush();
        } else {
            RowWriter rows(*s.store, block, 40, stride, uint32_t(kHeight));
            for (int32_t r = 0; r < kHeight; ++r)
                std::memcpy(rows.Row(uint32_t(r)), row.data(), stride);
            if (!rows.Flush()) std::abort();
        }
    }
    s.store->Free(block);
    ReportFloor(state, 2.0 * double(stride) * kHeight);
}

BENCHMARK(BM_RenderFlat)
    ->Apply(bench::OneAndAllThreads)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_BlendRow)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderDisplay)->Arg(100)->Arg(25)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderThumbnail)
    ->ArgNames({"width", "threads"})
    ->Args({200, 1})
    ->Args({200, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FillLayerRows)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();
