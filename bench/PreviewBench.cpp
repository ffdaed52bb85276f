// The live preview of the adjustment and filter dialogs over a 20-megapixel layer shown fitted
// in a 1920 x 1080 view, as the refresher draws it and the window copies it: one change of a
// table adjustment (the processor's tables rebuilt, every tile drawn through the rule from the
// kept words, the tiles copied into a client-sized picture), with one and two threads; the
// first preview pass after the dialog opens (the split of the layer stack and the kept words
// built); and a blur preview of the visible area (the filter over the screen-resolution buffer,
// then the tiles drawn from it), for the Gaussian and a box radius of 20.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstring>
#include <memory>
#include <vector>

#include "BenchDocument.h"
#include "BenchView.h"
#include "adjust/ImageProcessor.h"
#include "doc/Image.h"
#include "view/DisplayRefresher.h"
#include "view/ImageView.h"
#include "view/ViewZoom.h"
#include "workspace/Workspace.h"

namespace zelvo {
namespace {

constexpr int32_t kWidth = 5472;  // 19 961 856 pixels
constexpr int32_t kHeight = 3648;
constexpr int32_t kClientW = 1920;
constexpr int32_t kClientH = 1080;

// The photograph: opaque noise; a smaller half-transparent layer above it.
struct Setup : bench::BenchView {
    Setup() : BenchView(kWidth, kHeight, kClientW, kClientH, Photograph) {
        view->SetZoomMode(kZoomFitOnWindow);
        refresher->Serve(*image, 1);
    }
    static void Photograph(LayerManager& lm) {
        bench::FillRandomLayers(lm, kWidth, kHeight, 1);
        RowCursor* rows = lm.LayerAt(0)->Rows();
        for (int32_t r = 0; r < kHeight; ++r) {
            uint8_t* row = rows->Row(uint32_t(r));
            for (int32_t c = 0; c < kWidth; ++c) row[4 * size_t(c) + 3] = 100;
        }
        lm.LayerAt(0)->ReleaseRows();
        LayerPtr top = lm.AppendLayer(2000, 1500, LayerKind::Pixel);
        if (!top) std::abort();
        top->SetPosition(1000, 800);
        top->SetOpacity(60);
        lm.SelectLayerByIndex(1);
    }
};

Setup& TheSetup() {
    static Setup s;
    return s;
}

// The window's copy of every tile into its picture.
void CopyAll(DisplayRefresher& r, Image& image, std::vector<uint32_t>& picture) {
    const TilePlacement& g = r.Renderer().Grid();
    const Rect shown = image.Geometry().screenRect.Intersect({0, 0, kClientW, kClientH});
    constexpr int32_t kT = TileCache::kTileSize;
    for (int32_t row = 0; row < g.rows; ++row)
        for (int32_t c = 0; c < g.columns; ++c) {
            const TileCache::Tile& t = r.Cache().At(row, c);
            const int32_t x0 = r.Renderer().SlotX(c), y0 = r.Renderer().SlotY(row);
            const Rect part = Rect{x0, y0, x0 + kT, y0 + kT}.Intersect(shown);
            for (int32_t y = part.top; y < part.bottom; ++y)
                std::memcpy(picture.data() + size_t(y) * kClientW + part.left,
                            t.out + size_t(y - y0) * kT + (part.left - x0),
                            sizeof(uint32_t) * size_t(part.Width()));
        }
}

std::vector<int32_t> ParamsFor(int32_t code, int step) {
    switch (code) {
        case kPreviewBrightnessContrast:
            return {step % 50 - 25, 20};
        case kPreviewLevels:
            return {10 + step % 40, 120, 230, 0, 255};
        case kPreviewCurves: {
            std::vector<int32_t> t;
            for (int v = 0; v < 256; ++v) t.push_back(std::min(255, v + step % 30));
            t.push_back(1);
            return t;
        }
        case kPreviewSaturation:
            return {step % 100 - 50};
        case kPreviewColorBalance:
            return {step % 60, -20, 10};
        default:
            return {};
    }
}

void BM_PreviewChange(benchmark::State& state) {
    Setup& s = TheSetup();
    const int32_t code = int32_t(state.range(0));
    s.refresher->Renderer().SetThreads(int(state.range(1)));
    ImageProcessor ip;
    if (!ip.Prepare(s.image->History(), code, s.image->Geometry().zoom,
                    s.image->Geometry().visible))
        std::abort();
    ip.Preview(ParamsFor(code, 0));
    s.refresher->SetPreview(s.image.get(), &ip);
    s.refresher->Serve(*s.image, 3);
    std::vector<uint32_t> picture(size_t(kClientW) * kClientH);
    int step = 1, tiles = 0;
    for (auto _ : state) {
        ip.Preview(ParamsFor(code, step++));
        tiles = s.refresher->Serve(*s.image, 3);
        CopyAll(*s.refresher, *s.image, picture);
        benchmark::DoNotOptimize(picture.data());
    }
    state.counters["zoom"] = s.image->Geometry().zoom;
    state.counters["tiles"] = tiles;
    s.refresher->SetPreview(s.image.get(), nullptr);
    ip.Finish(0);
    s.refresher->Serve(*s.image, 1);
    s.refresher->Renderer().SetThreads(1);
}

void BM_PreviewFirstPass(benchmark::State& state) {
    Setup& s = TheSetup();
    s.refresher->Renderer().SetThreads(int(state.range(0)));
    ImageProcessor ip;
    if (!ip.Prepare(s.image->History(), kPreviewLevels, s.image->Geometry().zoom,
                    s.image->Geometry().visible))
        std::abort();
    ip.Preview(ParamsFor(kPreviewLevels, 3));
    for (auto _ : state) {
        state.PauseTiming();
        s.refresher->SetPreview(s.image.get(), nullptr);
        s.refresher->Serve(*s.image, 1);
        s.refresher->SetPreview(s.image.get(), &ip);
        state.ResumeTiming();
        s.refresher->Serve(*s.image, 3);
    }
    s.refresher->SetPreview(s.image.get(), nullptr);
    ip.Finish(0);
    s.refresher->Serve(*s.image, 1);
    s.refresher->Renderer().SetThreads(1);
}

void BM_BlurPreview(benchmark::State& state) {
    Setup& s = TheSetup();
    s.refresher->Renderer().SetThreads(2);
    ImageProcessor ip;
    if (!ip.Prepare(s.image->History(), kPreviewBlur, s.image->Geometry().zoom,
                    s.image->Geometry().visible))
        std::abort();
    ip.Preview({int32_t(state.range(0))});
    s.refresher->SetPreview(s.image.get(), &ip);
    s.refresher->Serve(*s.image, 3);
    std::vector<uint32_t> picture(size_t(kClientW) * kClientH);
    for (auto _ : state) {
        ip.Preview({int32_t(state.range(0))});
        s.refresher->Serve(*s.image, 3);
        CopyAll(*s.refresher, *s.image, picture);
        benchmark::DoNotOptimize(picture.data());
    }
    state.counters["buffer_px"] = double(ip.PreviewSource().px.size());
    s.refresher->SetPreview(s.image.get(), nullptr);
    ip.Finish(0);
    s.refresher->Serve(*s.image, 1);
    s.refresher->Renderer().SetThreads(1);
}

BENCHMARK(BM_PreviewChange)
    ->ArgsProduct({{kPreviewBrightnessContrast, kPreviewLevels, kPreviewCurves, kPreviewSaturation,
                    kPreviewColorBalance},
                   {1, 2}})
    ->ArgNames({"code", "threads"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewFirstPass)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurPreview)->Arg(5)->Arg(30)->ArgName("slider")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();
