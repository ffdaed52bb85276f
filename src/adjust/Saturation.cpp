// Image > Adjustments > Saturation: the distance from the pixel's grey is scaled. Under a
// selection the amount itself is scaled by the strength instead of mixing results.
#include <array>
#include <cmath>

#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"

namespace zelvo {

uint32_t SaturationPixel(int32_t value, uint32_t p, int32_t s) {
    const int w = value <= 0 ? value : 2 * value;
    const int b = ChB(p), g = ChG(p), r = ChR(p);
    if (s < 0) {
        const int grey = (b + g + r) / 3;
        const double f = 1 + w * 0.01;
        auto ch = [&](int v) { return Clamp255(grey + int(std::trunc(f * (v - grey)))); };
        return MakePixel(ch(b), ch(g), ch(r), ChA(p));
    }
    if (s == 0) return p;
    const double f = 1 + s * w * 0.0001;
    const double grey = (b + g + r) / 3.0;
    auto ch = [&](int v) { return Clamp255(std::trunc(grey + f * (v - grey))); };
    return MakePixel(ch(b), ch(g), ch(r), ChA(p));
}

int ApplySaturation(HistoryManager& history, int32_t value) {
    if (value == 0) return 0;  // OK without a change applies nothing
    // Without a selection the scaled distance depends on v - grey alone (-255..255): it is
    // taken once per value with the same double product, then looked up.
    const int w = value <= 0 ? value : 2 * value;
    const double f = 1 + w * 0.01;
    std::array<int32_t, 511> scaled{};
    for (int d = -255; d <= 255; ++d) scaled[size_t(d + 255)] = int(std::trunc(f * d));
    return RunRowAdjustment(
        history, "Saturation",
        [value, &scaled](const uint32_t* src, const uint8_t* s, uint32_t* dst, int32_t n) {
            if (s) {
                for (int32_t i = 0; i < n; ++i) dst[i] = SaturationPixel(value, src[i], s[i]);
                return;
            }
            for (int32_t i = 0; i < n; ++i) {
                const uint32_t p = src[i];
                const int b = ChB(p), g = ChG(p), r = ChR(p);
                const int grey = (b + g + r) / 3;
                auto ch = [&](int v) { return Clamp255(grey + scaled[size_t(v - grey + 255)]); };
                dst[i] = MakePixel(ch(b), ch(g), ch(r), ChA(p));
            }
        });
}

}  // namespace zelvo
