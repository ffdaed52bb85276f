#include "paint/BrushTip.h"

#include <algorithm>
#include <cmath>

#include "selection/TentFilter.h"

namespace zelvo {

void TentBlurSquare(std::vector<uint8_t>& values, int32_t side, int32_t radius,
                    std::vector<uint8_t>& work) {
    if (radius <= 1 || side <= 0) return;
    work.assign(values.size(), 0);
    for (int32_t r = 0; r < side; ++r)
        TentFilterLine(&values[size_t(r) * size_t(side)], 1, &work[size_t(r) * size_t(side)], 1,
                       side, radius);
    for (int32_t c = 0; c < side; ++c)
        TentFilterLine(&work[size_t(c)], side, &values[size_t(c)], side, side, radius);
}

BrushTip BuildTip(int diameter, int hardness, int opacity) {
    const int d = std::clamp(diameter, 1, 500);
    const int o = std::clamp(opacity, 0, 100);
    const double soft = double(100 - std::clamp(hardness, 0, 100)) * 0.01;
    const double e = (1.0 + 0.5 * soft) * double(d);
    BrushTip tip;
    tip.side = std::max<int32_t>(1, int32_t(std::floor(e)));
    const int32_t s = tip.side;
    tip.values.assign(size_t(s) * size_t(s), 0);
    const double big = e / 2.0;
    const double blur = soft * big / 2.0;
    const double hard = big - blur;
    const int32_t c = s / 2;
    for (int32_t i = 0; i < s; ++i)
        for (int32_t j = 0; j < s; ++j) {
            const double dx = j - c, dy = (s - 1 - i) - c;
            if (std::sqrt(dx * dx + dy * dy) <= hard)
                tip.values[size_t(i) * size_t(s) + size_t(j)] = uint8_t(o);
        }
    if (d == 2)
        for (int32_t i = 0; i < 2 && i < s; ++i)
            for (int32_t j = 0; j < 2 && j < s; ++j)
                tip.values[size_t(i) * size_t(s) + size_t(j)] = uint8_t(o);
    const int32_t radius = int32_t(std::floor(blur)) + 1;
    std::vector<uint8_t> work;
    TentBlurSquare(tip.values, s, radius, work);
    return tip;
}

}  // namespace zelvo
