// The stepped parameter search that turns a cubic Bezier into per-index samples: the Color
// Balance offset curves, the Shadow/Highlight tone curves and the Curves samples share it.
#pragma once

#include <array>
#include <cstdint>

namespace zelvo {

struct Bezier {
    std::array<double, 4> x{};
    std::array<double, 4> y{};
    double X(double t) const;
    double Y(double t) const;
};

// For i = first..last: from the parameter the previous index left (0 at first), advance by
// 0.005 while X(t) < i, step back 0.005 (not below 0), advance by 0.001 until X(t) >= i, never
// past 1; `out(i, Y(t))`; the next index starts from t - 0.001 (not below 0).
template <class F>
void SteppedSearch(const Bezier& c, int32_t first, int32_t last, F out) {
    double t = 0;
    for (int32_t i = first; i <= last; ++i) {
        while (t < 1 && c.X(t) < i) t = t + 0.005 > 1 ? 1 : t + 0.005;
        t = t - 0.005 < 0 ? 0 : t - 0.005;
        while (t < 1 && c.X(t) < i) t = t + 0.001 > 1 ? 1 : t + 0.001;
        out(i, c.Y(t));
        t = t - 0.001 < 0 ? 0 : t - 0.001;
    }
}

}  // namespace zelvo
