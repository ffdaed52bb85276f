// Round stamps centred on the boundary pixels of a mask or layer, as Expand, Contract and Draw
// Border use them. The stamps are laid row by row: each output row is the union of the stamp
// rows of the boundary pixels above and below it, gathered as spans, so the cost is the number
// of boundary pixels times the stamp height plus the output size, never a per-cell stamp.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/Types.h"
#include "layers/Layer.h"
#include "store/RowCursor.h"

namespace zelvo {

// A stamp as one span of column offsets per canvas row offset dy (dyMin .. dyMax). Rows whose
// span is empty have lo > hi.
struct RoundStamp {
    int32_t dyMin = 0;
    std::vector<int32_t> lo;
    std::vector<int32_t> hi;

    bool IsEmpty() const { return lo.empty(); }
    int32_t DyMax() const { return dyMin + int32_t(lo.size()) - 1; }
};

// Expand and Contract: a 2N x 2N grid whose cell (i, j) is set when its distance from (N, N)
// is at most N - 1; the cell stands for the offset (i - N, j - N). Empty for N <= 0.
RoundStamp DiskStamp(int32_t n);
// Draw Border: a w x w grid whose cell (i, j) is set when its distance from (h, h), h = w / 2,
// is at most h; the cell stands for the offset (i - h, j - h) with j counted in stored row
// order (bottom-up), which matters for even widths.
RoundStamp BorderStamp(int32_t w);

// The boundary pixels of one row: those at or above `threshold` that lie in the first or last
// column, or in a first or last row (`above` or `below` null), or have a left, right, upper or
// lower neighbour below `threshold`. Columns are appended to `xs` as offset + index, rising.
void BoundaryColumns(const uint8_t* above, const uint8_t* row, const uint8_t* below, int32_t width,
                     int threshold, int32_t offset, std::vector<int32_t>& xs);

// Appends the canvas columns of the boundary pixels of source row `cy` to `xs`; false when the
// row cannot be read.
using BoundaryRowSource = std::function<bool(int32_t cy, std::vector<int32_t>& xs)>;

// A BoundaryRowSource over rows `bounds.top .. bounds.bottom - 1` of one byte per column of
// `bounds`, its first and last rows and columns being the edges; `readLine(cy, line)` fills a
// row. Rows asked in rising order are each read once.
BoundaryRowSource BoundaryRows(const Rect& bounds, int threshold,
                               std::function<bool(int32_t cy, uint8_t* line)> readLine);
// BoundaryRows of an 8-bit mask read through `rows`, a reader of the mask's own rows.
BoundaryRowSource MaskBoundaryRows(const Layer& mask, RowReader& rows, int threshold);

// Lays `stamp` on every boundary pixel of the source rows srcTop .. srcBottom - 1 (asked once
// each, in increasing order, through `boundaryRow`, only those whose stamps reach `out`) and
// hands each row of `out`, top to bottom, to `emitRow` with one byte per column of `out`:
// non-zero where some stamp covers it. Stops and returns false when `emitRow` or `boundaryRow`
// does. Each output row depends on the source rows only, so `out` may be cut into bands laid
// separately.
bool StampBoundary(const RoundStamp& stamp, const Rect& out, int32_t srcTop, int32_t srcBottom,
                   const BoundaryRowSource& boundaryRow,
                   const std::function<bool(int32_t cy, const uint8_t* covered)>& emitRow);

// Expand and Contract: `selection` thresholded at 50 into `mask` over `area`, with the cover of
// a disk of radius n - 1 laid on the boundary of source rows srcTop .. srcBottom - 1 added
// (grow) or taken away, in bands of rows on every core. False when a row cannot be read or
// written; `any` says whether a pixel is left.
bool ThresholdWithBoundaryDisk(Layer& selection, Layer& mask, const Rect& area, int32_t srcTop,
                               int32_t srcBottom, int32_t n, bool grow, bool& any);

}  // namespace zelvo
