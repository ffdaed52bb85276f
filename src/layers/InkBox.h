// The box of a layer's drawn pixels, for any test of what counts as drawn.
#pragma once

#include <algorithm>

#include "layers/Layer.h"
#include "store/RowCursor.h"

namespace zelvo {

// The canvas box of a layer's pixels that pass `inked` (byte pointer of the stored row, column),
// scanning the stored rows bottom-up; empty when none does.
template <class Inked>
bool InkBox(const Layer& layer, Inked inked, Rect& box) {
    RowReader rows(layer.Store(), layer.Block(), layer.RowsOffset(), layer.Stride(),
                   uint32_t(layer.Height()));
    const Point at = layer.Position();
    int32_t left = layer.Width(), right = -1, top = layer.Height(), bottom = -1;  // picture rows
    for (int32_t stored = 0; stored < layer.Height(); ++stored) {
        const uint8_t* row = rows.Row(uint32_t(stored));
        if (!row) return false;
        const int32_t picture = layer.Height() - 1 - stored;
        bool any = false;
        for (int32_t col = 0; col < layer.Width(); ++col) {
            if (!inked(row, col)) continue;
            any = true;
            left = std::min(left, col);
            right = std::max(right, col);
        }
        if (any) {
            top = std::min(top, picture);
            bottom = std::max(bottom, picture);
        }
    }
    box = right < 0 ? Rect{} : Rect{at.x + left, at.y + top, at.x + right + 1, at.y + bottom + 1};
    return true;
}

// A text or curve layer's one-bit mask: the bits that are set.
inline bool MaskInkBox(const Layer& layer, Rect& box) {
    return InkBox(
        layer,
        [](const uint8_t* row, int32_t col) { return (row[col >> 3] >> (7 - (col & 7))) & 1; },
        box);
}

}  // namespace zelvo
