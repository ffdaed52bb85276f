// The image view's repaint: a 1920 x 1080 client over a 5000 x 4000 document of 10 layers with
// random alpha, every tile rendered at zoom 1 and at the fitted zoom, with one and two threads;
// the repaint from a warm cache (layout, tile matching and the copy of every tile into a
// client-sized picture, as the window does); and a scroll by one tile, which renders the newly
// exposed tiles only (counted). `inplace` 1 reads the layers through the refresher's kept
// mapping of the scratch file, 0 copies their rows out by pread as before. BM_TouchFloor reads
// one word of every cache line a fitted repaint must read, through the same mapping: no
// compositing can be faster than that on this machine. BM_StrokeRefresh is one painter
// tick's refresh of a brush stroke in progress.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "BenchDocument.h"
#include "BenchView.h"
#include "doc/Image.h"
#include "layers/Compositor.h"
#include "layers/StoredDib.h"
#include "platform/Messages.h"
#include "store/RowCursor.h"
#include "view/DisplayRefresher.h"
#include "view/ImageView.h"
#include "view/StrokeOverlay.h"
#include "view/ViewZoom.h"
#include "workspace/Workspace.h"

namespace zelvo {
namespace {

constexpr int32_t kWidth = 5000;
constexpr int32_t kHeight = 4000;
constexpr int kLayers = 10;
constexpr int32_t kClientW = 1920;
constexpr int32_t kClientH = 1080;

struct Setup : bench::BenchView {
    Setup()
        : BenchView(kWidth, kHeight, kClientW, kClientH, [](LayerManager& lm) {
              bench::FillRandomLayers(lm, kWidth, kHeight, kLayers);
          }) {}
};

Setup& TheSetup() {
    static Setup s;
    return s;
}

void BM_FullRepaint(benchmark::State& state) {
    Setup& s = TheSetup();
    const bool fit = state.range(0) != 0;
    s.refresher->Renderer().SetThreads(int(state.range(1)));
    s.refresher->Renderer().SetReadInPlace(state.range(2) != 0);
    s.view->SetZoomMode(fit ? kZoomFitOnWindow : kZoomActualPixels);
    int tiles = 0;
    for (auto _ : state) {
        // 2: the mapping is made afresh for the pass, as after an idle spell that gave it back.
        if (state.range(2) == 2) s.refresher->Renderer().ReleaseMapping();
        tiles = s.refresher->Serve(*s.image, 1);
    }
    state.counters["zoom"] = s.image->Geometry().zoom;
    state.counters["tiles"] = tiles;
    s.refresher->Renderer().SetThreads(1);
    s.refresher->Renderer().SetReadInPlace(true);
}

// The window's copy of every tile into its picture, as after a pass.
void CopyAll(DisplayRefresher& r, Image& image, std::vector<uint32_t>& picture) {
    const TilePlacement& g = r.Renderer().Grid();
    const Rect shown = image.Geometry().screenRect.Intersect({0, 0, kClientW, kClientH});
    constexpr int32_t kT = TileCache::kTileSize;
    for (int32_t row = 0; row < g.rows; ++row)
        for (int32_t c = 0; c < g.columns; ++c) {
            const TileCache::Tile& t = r.Cache().At(row, c);
            const int32_t x0 = r.Renderer().SlotX(c), y0 = r.Renderer().SlotY(row);
            const Rect part = Rect{x0, y0, x0 + kT, y0 + kT}.Intersect(shown);
            for (int32_t y = part.top; y < part.bottom; ++y) {
                const uint32_t* src = t.out + size_t(y - y0) * kT;
                uint32_t* dst = picture.data() + size_t(y) * kClientW;
                for (int32_t x = part.left; x < part.right; ++x) dst[x] = 0xFF000000u | src[x - x0];
            }
        }
}

void BM_WarmRepaint(benchmark::State& state) {
    Setup& s = TheSetup();
    s.view->SetZoomMode(state.range(0) ? kZoomFitOnWindow : kZoomActualPixels);
    s.refresher->Serve(*s.image, 1);
    std::vector<uint32_t> picture(size_t(kClientW) * kClientH);
    int tiles = 0;
    for (auto _ : state) {
        tiles = s.refresher->Serve(*s.image, 8);
        CopyAll(*s.refresher, *s.image, picture);
        benchmark::DoNotOptimize(picture.data());
    }
    state.counters["tiles"] = tiles;
}

void BM_ScrollOneTile(benchmark::State& state) {
    Setup& s = TheSetup();
    s.refresher->Renderer().SetThreads(int(state.range(0)));
    s.refresher->Renderer().SetReadInPlace(state.range(1) != 0);
    s.view->SetZoomMode(kZoomActualPixels);
    s.view->ScrollTo(0, 0);
    s.refresher->Serve(*s.image, 1);
    int32_t x = 0, step = TileCache::kTileSize;
    int tiles = 0;
    for (auto _ : state) {
        if (x + step > s.view->MaxScrollX() || x + step < 0) step = -step;
        x += step;
        s.view->ScrollTo(x, 0);
        tiles = s.refresher->Serve(*s.image, 8);
    }
    state.counters["tiles"] = tiles;
    state.counters["grid_rows"] = s.refresher->Renderer().Grid().rows;
    s.refresher->Renderer().SetThreads(1);
    s.refresher->Renderer().SetReadInPlace(true);
}

// One word of every 64-byte line of every canvas row a fitted repaint shows, for every layer,
// through a kept mapping: the memory traffic a fitted repaint cannot avoid.
void BM_TouchFloor(benchmark::State& state) {
    Setup& s = TheSetup();
    s.view->SetZoomMode(kZoomFitOnWindow);
    const ImageGeometry g = s.image->Geometry();
    std::vector<int32_t> rows;
    for (int32_t y = g.screenRect.top; y < g.screenRect.bottom; ++y) {
        const int32_t cy = CanvasAt(g.visible.top, y - g.screenRect.top, g.zoom);
        if (cy >= 0 && cy < g.height && (rows.empty() || rows.back() != cy)) rows.push_back(cy);
    }
    StoreMapping mapping;
    const MappedLayers table(s.image->Layers().Layers(), mapping);
    std::vector<const uint8_t*> starts;
    std::vector<uint32_t> strides;
    for (const LayerPtr& l : s.image->Layers().Layers()) {
        const FileDynamicStore::Span p = l->Store().Payload(l->Block());
        starts.push_back(
            mapping.At(p.offset + l->RowsOffset(), uint64_t(l->Stride()) * uint64_t(l->Height())));
        strides.push_back(l->Stride());
        if (!starts.back()) std::abort();
    }
    auto touch = [&](size_t from, size_t to) {
        uint32_t sum = 0;
        for (size_t r = from; r < to; ++r)
            for (size_t k = starts.size(); k-- > 0;) {
                const int32_t stored = s.image->Layers().LayerAt(int(k))->StoredRowOf(rows[r]);
                const uint8_t* row = starts[k] + size_t(stored) * strides[k];
                for (uint32_t b = 0; b < strides[k]; b += 64) sum += row[b];
            }
        benchmark::DoNotOptimize(sum);
    };
    for (auto _ : state) {
        if (state.range(0) == 2) {
            std::thread helper(touch, rows.size() / 2, rows.size());
            touch(0, rows.size() / 2);
            helper.join();
        } else {
            touch(0, rows.size());
        }
    }
    state.counters["rows"] = double(rows.size());
    state.counters["MB"] = double(rows.size()) * double(strides.size()) * double(strides[0]) / 1e6;
}

// One painter tick of a stroke on screen: a 250 x 150 rectangle of records (four dabs of a
// 100-pixel soft brush, whose tip is 150 pixels) refreshed over the 20-megapixel document, the
// stroke moving 100 pixels a tick so that it keeps reaching tiles whose split is not built yet.
// The goal is 60 refreshes a second: under 16.7 ms each.
void BM_StrokeRefresh(benchmark::State& state) {
    Setup& s = TheSetup();
    s.view->SetZoomMode(state.range(0) ? kZoomFitOnWindow : kZoomActualPixels);
    s.refresher->Serve(*s.image, 1);
    Workspace& ws = *s.workspace;
    if (!ws.EnsureStrokeCapacity(kWidth, kHeight)) std::abort();
    auto overlay = std::make_shared<StrokeOverlay>(ws.Store(), ws.StrokeBlock(), kWidth, kHeight,
                                                   s.image->Layers().CurrentLayer());
    ShowStroke(*s.image, overlay);
    const Rect shown = s.image->Geometry().visible;
    RowCursor records(ws.Store(), ws.StrokeBlock(), 0, uint32_t(kWidth) * 5, uint32_t(kHeight));
    auto put = [&](const Rect& r, uint8_t coverage) {
        for (int32_t y = r.top; y < r.bottom; ++y) {
            uint8_t* row = records.Row(uint32_t(y));
            if (coverage == 0) {
                std::memset(row + 5 * size_t(r.left), 0, 5 * size_t(r.Width()));
                continue;
            }
            for (int32_t x = r.left; x < r.right; ++x) {
                uint8_t* p = row + 5 * size_t(x);
                p[0] = coverage;
                p[1] = 0x40, p[2] = 0x80, p[3] = 0xC0, p[4] = 100;
            }
        }
    };
    int32_t x = shown.left, y = shown.top + shown.Height() / 2 - 75;
    int tiles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (x + 250 > shown.right) x = shown.left;
        const Rect r{x, y, x + 250, y + 150};
        put(r, 60);
        overlay->Grow(r);
        x += 100;
        state.ResumeTiming();
        s.view->RequestRenderRect(r);
        tiles = s.refresher->Serve(*s.image, s.image->ViewState().pendingRender.exchange(0));
    }
    ShowStroke(*s.image, nullptr);
    put(overlay->Bounds(), 0);
    state.counters["tiles"] = tiles;
}

BENCHMARK(BM_FullRepaint)
    ->ArgsProduct({{0, 1}, {1, 2}, {0, 1, 2}})
    ->ArgNames({"fit", "threads", "inplace"})
    ->MinWarmUpTime(0.3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_WarmRepaint)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("fit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ScrollOneTile)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"threads", "inplace"})
    ->MinWarmUpTime(0.3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_StrokeRefresh)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("fit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TouchFloor)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->MinWarmUpTime(0.3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zelvo
BENCHMARK_MAIN();
