// Filter > Sharpen: each channel moves away from the mean of the opaque pixels of its 3 x 3
// window by a tenth of the difference.
#include <algorithm>

#include "imaging/BoxSums.h"
#include "imaging/Filters.h"

namespace zelvo {

PixelBuffer SharpenResult(const PixelBuffer& src) {
    constexpr int kAmount = 10;
    const int32_t radius = std::max(0, std::min(1, std::min(src.width, src.height) - 1));
    PixelBuffer out{src.width, src.height, std::vector<uint32_t>(src.px.size())};
    ForEachBoxRow(src, radius, [&](int32_t y, const BoxRow& s) {
        for (int32_t x = 0; x < src.width; ++x) {
            const size_t i = size_t(x);
            const uint32_t p = src.At(x, y);
            if (s.a[i] / s.area[i] == 0) {
                out.At(x, y) = 0;
                continue;
            }
            const int g = s.count[i];
            auto ch = [&](int v, int sum) { return Clamp255(v + (v * g - sum) * kAmount / 100); };
            out.At(x, y) = MakePixel(ch(ChB(p), s.b[i]), ch(ChG(p), s.g[i]), ch(ChR(p), s.r[i]), ChA(p));
        }
    });
    return out;
}

int ApplySharpen(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    PixelBuffer src;
    if (!ReadLayerPixels(*layer, src)) return 0;
    PixelBuffer out = SharpenResult(src);
    const std::vector<uint8_t> st = StrengthsOver(lm, layer->Bounds());
    if (!st.empty())
        for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = BoxSelectionMix(src.px[i], out.px[i], st[i]);
    return CommitResult(history, "Sharpen", layer->Bounds(), out, true);
}

}  // namespace zelvo
