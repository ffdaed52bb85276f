// Image > Adjustments > Brightness/Contrast: a 101 x 256 table, one row per selection
// strength, so that a masked pixel costs one lookup per channel. Transparent pixels are
// processed like the others.
#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/MixRuns.h"

namespace zelvo {

BrightnessContrastTable BuildBrightnessContrastTable(int32_t b, int32_t k) {
    BrightnessContrastTable t(101);
    for (int v = 0; v < 256; ++v) {
        const int tv = Clamp255(v + b);
        int u;
        if (tv < k)
            u = 0;
        else if (tv > 255 - k)
            u = 255;
        else
            u = Clamp255((tv - k) * 255 / (255 - 2 * k));
        for (int i = 0; i <= 100; ++i)
            t[size_t(i)][size_t(v)] = uint8_t(Clamp255(v + (u - v) * i / 100));
    }
    return t;
}

uint32_t BrightnessContrastPixel(const BrightnessContrastTable& t, uint32_t p, int32_t s) {
    if (s <= 0) return p;
    const auto& row = t[size_t(s > 100 ? 100 : s)];
    return MakePixel(row[size_t(ChB(p))], row[size_t(ChG(p))], row[size_t(ChR(p))], ChA(p));
}

int ApplyBrightnessContrast(HistoryManager& history, int32_t brightness, int32_t contrast) {
    const BrightnessContrastTable t = BuildBrightnessContrastTable(brightness, contrast);
    return RunRowAdjustment(history, "Brightness/Contrast",
                            [&t](const uint32_t* src, const uint8_t* s, uint32_t* dst, int32_t n) {
                                if (!s) {
                                    // Full strength everywhere: one table for every channel.
                                    const uint8_t* full = t[100].data();
                                    ChannelTableRun(src, full, full, full, dst, n);
                                    return;
                                }
                                // Row i of the table is row 100 mixed by strength i, so
                                // percents take the full row's lookup and the mix; bytes past
                                // 100 keep the per-pixel rule (they take row 100).
                                if (!StrengthsArePercents(s, n)) {
                                    for (int32_t i = 0; i < n; ++i)
                                        dst[i] = BrightnessContrastPixel(t, src[i], s[i]);
                                    return;
                                }
                                const uint8_t* full = t[100].data();
                                ChannelTableRun(src, full, full, full, dst, n);
                                MixRun(src, dst, s, dst, n, false);
                            });
}

}  // namespace zelvo
