// Image > Adjustments > Desaturate: every channel takes the integer mean of the three;
// transparent pixels stay as they are.
#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/MixRuns.h"

namespace zelvo {

uint32_t DesaturatePixel(uint32_t p, int32_t s) {
    if (ChA(p) == 0 || s <= 0) return p;
    const int b = ChB(p), g = ChG(p), r = ChR(p);
    const int grey = (b + g + r) / 3;
    return MakePixel(StrengthMix(b, grey, s), StrengthMix(g, grey, s), StrengthMix(r, grey, s),
                     ChA(p));
}

uint32_t DesaturateFull(uint32_t p) {
    // At 100 the mix gives the mean itself; the division by 3 is a multiply-shift, exact up
    // to 3 x 255.
    const uint32_t grey = ((p & 0xff) + ((p >> 8) & 0xff) + ((p >> 16) & 0xff)) * 43691u >> 17;
    return (p >> 24) == 0 ? p : (p & 0xff000000u) | grey * 0x010101u;
}

int ApplyDesaturate(HistoryManager& history) {
    return RunRowAdjustment(history, "Desaturate",
                            [](const uint32_t* src, const uint8_t* s, uint32_t* dst, int32_t n) {
                                if (!s) {
                                    for (int32_t i = 0; i < n; ++i) dst[i] = DesaturateFull(src[i]);
                                    return;
                                }
                                if (!StrengthsArePercents(s, n)) {
                                    for (int32_t i = 0; i < n; ++i)
                                        dst[i] = DesaturatePixel(src[i], s[i]);
                                    return;
                                }
                                // A transparent pixel's result is itself, so the mix keeps it.
                                for (int32_t i = 0; i < n; ++i) dst[i] = DesaturateFull(src[i]);
                                MixRun(src, dst, s, dst, n, false);
                            });
}

}  // namespace zelvo
