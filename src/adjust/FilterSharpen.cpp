// Filter > Sharpen: each channel moves away from the mean of the opaque pixels of its 3 x 3
// window by a tenth of the difference. Applied row by row over a ring of four rows.
#include <algorithm>

#include "adjust/BoxSums.h"
#include "adjust/Filters.h"

namespace zelvo {

namespace {

constexpr int kAmount = 10;

int32_t SharpenRadius(int32_t w, int32_t h) {
    return std::max(0, std::min(1, std::min(w, h) - 1));
}

void SharpenRow(const BoxRow& s, const uint32_t* src, int32_t w, uint32_t* out) {
    for (int32_t x = 0; x < w; ++x) {
        const size_t i = size_t(x);
        const uint32_t p = src[x];
        // The mean alpha a / area is 0 exactly when a < area (a >= 0, area >= 1): no division.
        if (s.a[i] < s.area[i]) {
            out[x] = 0;
            continue;
        }
        const int g = s.count[i];
        auto ch = [&](int v, int sum) { return Clamp255(v + (v * g - sum) * kAmount / 100); };
        out[x] = MakePixel(ch(ChB(p), s.b[i]), ch(ChG(p), s.g[i]), ch(ChR(p), s.r[i]), ChA(p));
    }
}

}  // namespace

PixelBuffer SharpenResult(const PixelBuffer& src) {
    PixelBuffer out{src.width, src.height, std::vector<uint32_t>(src.px.size())};
    ForEachBoxRow(src, SharpenRadius(src.width, src.height), [&](int32_t y, const BoxRow& s) {
        const size_t at = size_t(y) * size_t(src.width);
        SharpenRow(s, &src.px[at], src.width, &out.px[at]);
    });
    return out;
}

int ApplySharpen(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    const Rect b = layer->Bounds();
    const int32_t w = layer->Width(), h = layer->Height(), radius = SharpenRadius(w, h);
    return RunBandFilter(history, "Sharpen", b, true, [&](int32_t first, int32_t, uint64_t window) {
        std::shared_ptr<RowReader> src = LayerRowReader(*layer, window);
        // The band's sums start from the rows of its first window and the one leaving it.
        auto ring = std::make_shared<RowRing>(
            w, h, BoxRingRows(radius), [src](int32_t row) { return src->Row(uint32_t(row)); },
            first - radius - 1);
        auto sums = std::make_shared<BoxRows>(
            w, h, radius, [ring](int32_t row) { return ring->Row(row); }, first);
        auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
        return RowFill([=](int32_t row, uint32_t* out) {
            const BoxRow* s = sums->Next();
            const uint32_t* old = ring->Row(row);
            if (!s || !old) return false;
            SharpenRow(*s, old, w, out);
            if (const uint8_t* st = strength->Row(b.bottom - 1 - row))
                for (int32_t x = 0; x < w; ++x) out[x] = BoxSelectionMix(old[x], out[x], st[x]);
            return true;
        });
    });
}

}  // namespace zelvo
