// The per-pixel rules the brush, the clone stamp and the paint bucket share: colour `fore` laid
// with strength e (0..100) over the B, G, R, A pixel `p`, through the percent table; a dab's
// coverage, the selection's share of it, and the layer's pixel under it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/PercentTables.h"
#include "core/Types.h"

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

// A record's coverage c after a dab whose tip gives tv there: tv + c * (100 - tv) / 100.
inline int AddCoverage(const PercentTables& t, int c, int tv) {
    return std::min(100, tv + t.T100(c, 100 - tv));
}

// What a selection leaves of strength e at canvas column x: all of it without a selection,
// nothing outside the mask (`maskRow` null for rows outside it).
inline int SelectionShare(const PercentTables& t, int e, bool selection, const uint8_t* maskRow,
                          const Rect& maskBounds, int32_t x) {
    if (!selection) return e;
    return maskRow && x >= maskBounds.left && x < maskBounds.right
               ? t.T100(e, maskRow[x - maskBounds.left])
               : 0;
}

// The layer's pixel at canvas column x, transparent where the layer (or its row) is absent.
inline void LayerPixelAt(const uint8_t* layerRow, const Rect& layerBounds, int32_t x,
                         uint8_t p[4]) {
    if (layerRow && x >= layerBounds.left && x < layerBounds.right)
        std::memcpy(p, layerRow + 4 * size_t(x - layerBounds.left), 4);
    else
        std::memset(p, 0, 4);
}

}  // namespace zelvo
