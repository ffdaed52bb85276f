// Filter > Blur...: a five-point Gaussian for slider values 1..10 (sigma = value / 10), a box
// blur of radius value - 10 above, which grows the layer by the radius within the canvas.
#include <algorithm>
#include <cmath>

#include "imaging/BoxSums.h"
#include "imaging/Filters.h"
#include "imaging/SelectionMask.h"

namespace zelvo {

PixelBuffer GaussianBlurResult(const PixelBuffer& src, int32_t slider) {
    const double sigma = std::clamp(slider, 1, 10) * 0.1;
    const double w0 = 1 / (2 * M_PI * sigma * sigma);
    const double w1 = w0 * std::exp(-1 / (2 * sigma * sigma));
    const int32_t w = src.width, h = src.height;
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = src.At(x, y);
            double sb = w0 * ChB(c), sg = w0 * ChG(c), sr = w0 * ChR(c), sa = w0 * ChA(c), sw = w0;
            auto add = [&](int32_t nx, int32_t ny) {
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) return;
                const uint32_t p = src.At(nx, ny);
                if (ChA(p) == 0) return;
                sb += w1 * ChB(p), sg += w1 * ChG(p), sr += w1 * ChR(p), sa += w1 * ChA(p);
                sw += w1;
            };
            add(x - 1, y), add(x + 1, y), add(x, y - 1), add(x, y + 1);
            const int a = std::min(100, int(sa / sw + 0.5));
            out.At(x, y) = MakePixel(int(sb / sw), int(sg / sw), int(sr / sw), a);
        }
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
        uint32_t* line = &out.px[size_t(y) * size_t(out.width)];
        for (int32_t x = 0; x < out.width; ++x) {
            const size_t i = size_t(x);
            const int a = s.a[i] / s.area[i];
            if (a == 0 || s.count[i] == 0) {
                line[x] = MakePixel(0, 0, 0, a);
                continue;
            }
            line[x] = MakePixel(s.b[i] / s.count[i], s.g[i] / s.count[i], s.r[i] / s.count[i], a);
        }
    });
    return out;
}

PixelBuffer PlaceInto(const PixelBuffer& src, const Rect& from, const Rect& to) {
    PixelBuffer out{to.Width(), to.Height(), std::vector<uint32_t>(size_t(to.Width()) * size_t(to.Height()), 0)};
    const Rect both = from.Intersect(to);
    for (int32_t y = both.top; y < both.bottom; ++y)
        for (int32_t x = both.left; x < both.right; ++x)
            out.At(x - to.left, y - to.top) = src.At(x - from.left, y - from.top);
    return out;
}

int ApplyBlur(HistoryManager& history, int32_t slider) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    slider = std::clamp(slider, 1, 110);
    PixelBuffer src;
    if (!ReadLayerPixels(*layer, src)) return 0;
    const Rect b = layer->Bounds();
    if (slider <= 10) {
        PixelBuffer out = GaussianBlurResult(src, slider);
        const std::vector<uint8_t> st = StrengthsOver(lm, b);
        if (!st.empty())
            for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = GaussianSelectionMix(src.px[i], out.px[i], st[i]);
        return CommitResult(history, "Blur", b, out, false);
    }
    const int32_t radius = std::max(0, std::min(slider - 10, std::min(src.width, src.height) - 1));
    const Rect grown = Rect{b.left - radius, b.top - radius, b.right + radius, b.bottom + radius}
                           .Intersect(CanvasRect(lm));
    if (grown.IsEmpty()) return 0;
    const PixelBuffer padded = PlaceInto(src, b, grown);
    PixelBuffer out = BoxBlurResult(padded, radius);
    const std::vector<uint8_t> st = StrengthsOver(lm, grown);
    if (!st.empty())
        for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = BoxSelectionMix(padded.px[i], out.px[i], st[i]);
    return CommitResult(history, "Blur", grown, out, true);
}

}  // namespace zelvo
