// Filter > Blur...: a five-point Gaussian for slider values 1..10 (sigma = value / 10), a box
// blur of radius value - 10 above, which grows the layer by the radius within the canvas.
// Applied row by row in bands: the Gaussian keeps three rows, the box blur 2r + 2.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "adjust/BoxSums.h"
#include "adjust/Filters.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

struct GaussianWeights {
    double w0, w1;
    explicit GaussianWeights(int32_t slider) {
        const double sigma = std::clamp(slider, 1, 10) * 0.1;
        w0 = 1 / (2 * M_PI * sigma * sigma);
        w1 = w0 * std::exp(-1 / (2 * sigma * sigma));
    }
};

// One row: `mid` with its canvas neighbours `above` and `below` (null at the edges). The
// neighbours are added left, right, above, below: the sums are in floating point.
void GaussianRow(const GaussianWeights& k, const uint32_t* above, const uint32_t* mid,
                 const uint32_t* below, int32_t w, uint32_t* out) {
    const double w0 = k.w0, w1 = k.w1;
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t c = mid[x];
        double sb = w0 * ChB(c), sg = w0 * ChG(c), sr = w0 * ChR(c), sa = w0 * ChA(c), sw = w0;
        auto add = [&](uint32_t p) {
            if (ChA(p) == 0) return;
            sb += w1 * ChB(p), sg += w1 * ChG(p), sr += w1 * ChR(p), sa += w1 * ChA(p);
            sw += w1;
        };
        if (x > 0) add(mid[x - 1]);
        if (x + 1 < w) add(mid[x + 1]);
        if (above) add(above[x]);
        if (below) add(below[x]);
        const int a = std::min(100, int(sa / sw + 0.5));
        out[x] = MakePixel(int(sb / sw), int(sg / sw), int(sr / sw), a);
    }
}

void BoxBlurRow(const BoxRow& s, int32_t w, uint32_t* out) {
    for (int32_t x = 0; x < w; ++x) {
        const size_t i = size_t(x);
        const int a = s.a[i] / s.area[i];
        if (a == 0 || s.count[i] == 0) {
            out[x] = MakePixel(0, 0, 0, a);
            continue;
        }
        out[x] = MakePixel(s.b[i] / s.count[i], s.g[i] / s.count[i], s.r[i] / s.count[i], a);
    }
}

int ApplyGaussian(HistoryManager& history, const Layer& layer, int32_t slider) {
    const Rect b = layer.Bounds();
    const int32_t w = layer.Width(), h = layer.Height();
    const GaussianWeights k(slider);
    LayerManager& lm = history.Layers();
    return RunBandFilter(history, "Blur", b, false, [&](int32_t first, int32_t, uint64_t window) {
        std::shared_ptr<RowReader> src = LayerRowReader(layer, window);
        // The band looks one row back from its first.
        auto ring = std::make_shared<RowRing>(
            w, h, 3, [src](int32_t row) { return src->Row(uint32_t(row)); }, first - 1);
        auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
        return RowFill([=](int32_t row, uint32_t* out) {
            // Stored rows run bottom-up: the canvas row above is the next stored row.
            const uint32_t* above = ring->Row(row + 1);
            const uint32_t* mid = ring->Row(row);
            const uint32_t* below = ring->Row(row - 1);
            if (!mid || ring->Failed()) return false;
            GaussianRow(k, above, mid, below, w, out);
            if (const uint8_t* s = strength->Row(b.bottom - 1 - row))
                for (int32_t x = 0; x < w; ++x) out[x] = GaussianSelectionMix(mid[x], out[x], s[x]);
            return true;
        });
    });
}

int ApplyBoxBlur(HistoryManager& history, const Layer& layer, int32_t slider) {
    LayerManager& lm = history.Layers();
    const Rect b = layer.Bounds();
    const int32_t radius =
        std::max(0, std::min(slider - 10, std::min(layer.Width(), layer.Height()) - 1));
    const Rect grown =
        Rect{b.left - radius, b.top - radius, b.right + radius, b.bottom + radius}.Intersect(
            CanvasRect(lm));
    if (grown.IsEmpty()) return 0;
    const int32_t gw = grown.Width(), gh = grown.Height();
    // The layer's rows laid into the grown rectangle, transparent around them.
    const int32_t from = std::max(b.left, grown.left), to = std::min(b.right, grown.right);
    return RunBandFilter(
        history, "Blur", grown, true, [&](int32_t first, int32_t, uint64_t window) {
            std::shared_ptr<RowReader> src = LayerRowReader(layer, window);
            auto padded = std::make_shared<std::vector<uint32_t>>(size_t(gw), 0);
            // The sums of the band's first row start from the rows of its window and the one
            // leaving it.
            auto ring = std::make_shared<RowRing>(
                gw, gh, BoxRingRows(radius),
                [=, &b](int32_t row) -> const uint8_t* {
                    std::fill(padded->begin(), padded->end(), 0u);
                    const int32_t cy = grown.bottom - 1 - row;
                    if (cy >= b.top && cy < b.bottom && from < to) {
                        const uint8_t* line = src->Row(uint32_t(b.bottom - 1 - cy));
                        if (!line) return nullptr;
                        std::memcpy(&padded->at(size_t(from - grown.left)),
                                    line + 4 * size_t(from - b.left), 4 * size_t(to - from));
                    }
                    return reinterpret_cast<const uint8_t*>(padded->data());
                },
                first - radius - 1);
            auto sums = std::make_shared<BoxRows>(
                gw, gh, radius, [ring](int32_t row) { return ring->Row(row); }, first);
            auto strength = std::make_shared<StrengthRows>(lm, grown.left, gw, window);
            return RowFill([=](int32_t row, uint32_t* out) {
                const BoxRow* s = sums->Next();
                const uint32_t* old = ring->Row(row);
                if (!s || !old) return false;
                BoxBlurRow(*s, gw, out);
                if (const uint8_t* st = strength->Row(grown.bottom - 1 - row))
                    for (int32_t x = 0; x < gw; ++x)
                        out[x] = BoxSelectionMix(old[x], out[x], st[x]);
                return true;
            });
        });
}

}  // namespace

PixelBuffer GaussianBlurResult(const PixelBuffer& src, int32_t slider) {
    const GaussianWeights k(slider);
    const int32_t w = src.width, h = src.height;
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    auto row = [&](int32_t y) { return &src.px[size_t(y) * size_t(w)]; };
    for (int32_t y = 0; y < h; ++y)
        GaussianRow(k, y > 0 ? row(y - 1) : nullptr, row(y), y + 1 < h ? row(y + 1) : nullptr, w,
                    &out.px[size_t(y) * size_t(w)]);
    return out;
}

uint32_t GaussianSelectionMix(uint32_t o, uint32_t r, int32_t s) {
    if (s >= 100) return r;
    if (s <= 0) return o;
    return MakePixel(StrengthMix(ChB(o), ChB(r), s), StrengthMix(ChG(o), ChG(r), s),
                     StrengthMix(ChR(o), ChR(r), s), StrengthMix(ChA(o), ChA(r), s));
}

PixelBuffer BoxBlurResult(const PixelBuffer& padded, int32_t radius) {
    PixelBuffer out{padded.width, padded.height, std::vector<uint32_t>(padded.px.size())};
    ForEachBoxRow(padded, radius, [&](int32_t y, const BoxRow& s) {
        BoxBlurRow(s, out.width, &out.px[size_t(y) * size_t(out.width)]);
    });
    return out;
}

PixelBuffer PlaceInto(const PixelBuffer& src, const Rect& from, const Rect& to) {
    PixelBuffer out{to.Width(), to.Height(),
                    std::vector<uint32_t>(size_t(to.Width()) * size_t(to.Height()), 0)};
    const Rect both = from.Intersect(to);
    for (int32_t y = both.top; y < both.bottom; ++y)
        for (int32_t x = both.left; x < both.right; ++x)
            out.At(x - to.left, y - to.top) = src.At(x - from.left, y - from.top);
    return out;
}

int ApplyBlur(HistoryManager& history, int32_t slider) {
    const LayerPtr layer = CurrentPixelLayer(history.Layers());
    if (!layer) return 0;
    slider = std::clamp(slider, 1, 110);
    return slider <= 10 ? ApplyGaussian(history, *layer, slider)
                        : ApplyBoxBlur(history, *layer, slider);
}

}  // namespace zelvo
