// The per-pixel rule the brush, the paint bucket share: colour `fore` laid with strength e
// (0..100) over the B, G, R, A pixel `p`, through the percent table.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/PercentTables.h"

namespace zelvo {

// `out` may be `p`. Where e is 0 the pixel stays exactly as it was.
inline void LayColor(const PercentTables& t, const uint8_t* p, const uint8_t fore[3], int e,
                     uint8_t* out) {
    const int a = p[3];
    if (e == 0) {
        std::copy(p, p + 4, out);
        return;
    }
    if (a == 0) {
        out[0] = fore[0];
        out[1] = fore[1];
        out[2] = fore[2];
        out[3] = uint8_t(e);
        return;
    }
    const int k = t.T100(100 - e, a);
    const int total = std::min(100, e + k);
    for (int i = 0; i < 3; ++i)
        out[i] = uint8_t(std::min(255, (t.T100(p[i], k) + t.T100(fore[i], e)) * 100 / total));
    out[3] = uint8_t(total);
}

}  // namespace zelvo
