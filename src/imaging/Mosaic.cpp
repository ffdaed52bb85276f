// Filter > Mosaic...: cells laid from the bottom-left corner take the mean of their opaque
// pixels' colours and the mean alpha over the cell.
#include <algorithm>

#include "imaging/Filters.h"

namespace zelvo {

PixelBuffer MosaicResult(const PixelBuffer& src, int32_t n) {
    n = std::max(1, n);
    const int32_t w = src.width, h = src.height;
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    // Stored rows run bottom-up: cell rows start at the bottom row.
    for (int32_t r0 = 0; r0 < h; r0 += n)
        for (int32_t x0 = 0; x0 < w; x0 += n) {
            const int32_t r1 = std::min(h, r0 + n), x1 = std::min(w, x0 + n);
            int64_t cnt = 0, b = 0, g = 0, r = 0, a = 0;
            for (int32_t row = r0; row < r1; ++row)
                for (int32_t x = x0; x < x1; ++x) {
                    const uint32_t p = src.At(x, h - 1 - row);
                    a += ChA(p);
                    if (ChA(p) == 0) continue;
                    ++cnt, b += ChB(p), g += ChG(p), r += ChR(p);
                }
            const int64_t area = int64_t(r1 - r0) * (x1 - x0);
            const uint32_t cell = cnt == 0 ? MakePixel(0, 0, 0, int(a / area))
                                           : MakePixel(int(b / cnt), int(g / cnt), int(r / cnt), int(a / area));
            for (int32_t row = r0; row < r1; ++row)
                for (int32_t x = x0; x < x1; ++x) out.At(x, h - 1 - row) = cell;
        }
    return out;
}

uint32_t MosaicSelectionMix(uint32_t old, uint32_t cell, int32_t s) {
    if (s <= 0) return old;
    if (s >= 100 || ChA(old) == 0) return cell;
    const int d = ChA(cell) * s / 100;
    const int a = d + (100 - d) * ChA(old) / 100;
    return MakePixel(StrengthMix(ChB(old), ChB(cell), s), StrengthMix(ChG(old), ChG(cell), s),
                     StrengthMix(ChR(old), ChR(cell), s), a);
}

int ApplyMosaic(HistoryManager& history, int32_t cell) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    PixelBuffer src;
    if (!ReadLayerPixels(*layer, src)) return 0;
    PixelBuffer out = MosaicResult(src, std::clamp(cell, 2, 200));
    const std::vector<uint8_t> st = StrengthsOver(lm, layer->Bounds());
    if (!st.empty())
        for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = MosaicSelectionMix(src.px[i], out.px[i], st[i]);
    return CommitResult(history, "Mosaic", layer->Bounds(), out, false);
}

}  // namespace zelvo
