// Image > Adjustments > Invert: 255 - v on B, G and R; transparent pixels stay as they are.
#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/MixRuns.h"

namespace zelvo {

uint32_t InvertPixel(uint32_t p, int32_t s) {
    if (ChA(p) == 0 || s <= 0) return p;
    const int b = ChB(p), g = ChG(p), r = ChR(p);
    return MakePixel(StrengthMix(b, 255 - b, s), StrengthMix(g, 255 - g, s),
                     StrengthMix(r, 255 - r, s), ChA(p));
}

uint32_t InvertFull(uint32_t p) {
    // At 100 the mix gives 255 - v itself: B, G and R flip, A stays.
    return (p >> 24) == 0 ? p : p ^ 0x00ffffffu;
}

int ApplyInvert(HistoryManager& history) {
    return RunRowAdjustment(history, "Invert Color",
                            [](const uint32_t* src, const uint8_t* s, uint32_t* dst, int32_t n) {
                                if (!s) {
                                    for (int32_t i = 0; i < n; ++i) dst[i] = InvertFull(src[i]);
                                    return;
                                }
                                if (!StrengthsArePercents(s, n)) {
                                    for (int32_t i = 0; i < n; ++i)
                                        dst[i] = InvertPixel(src[i], s[i]);
                                    return;
                                }
                                // A transparent pixel's result is itself, so the mix keeps it.
                                for (int32_t i = 0; i < n; ++i) dst[i] = InvertFull(src[i]);
                                MixRun(src, dst, s, dst, n, false);
                            });
}

}  // namespace zelvo
