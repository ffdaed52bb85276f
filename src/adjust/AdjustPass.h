// Shared plumbing of the adjustments and filters: the current pixel layer, row sources and a
// bounded ring of rows, the selection strengths row by row, a row-by-row pass through a
// pixel-edit transaction, and the common strength blend. No command holds a whole layer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/RowBands.h"
#include "core/Types.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "store/RowCursor.h"

namespace zelvo {

// Pixel words are B, G, R, A bytes (A in 0..100).
inline int ChB(uint32_t p) {
    return int(p & 0xff);
}
inline int ChG(uint32_t p) {
    return int((p >> 8) & 0xff);
}
inline int ChR(uint32_t p) {
    return int((p >> 16) & 0xff);
}
inline int ChA(uint32_t p) {
    return int(p >> 24);
}
inline uint32_t MakePixel(int b, int g, int r, int a) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
}
inline int Clamp255(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}
inline int Clamp255(double v) {
    return v < 0 ? 0 : (v > 255 ? 255 : int(v));
}
// new = v + trunc((r - v) * s / 100), the blend every command uses under a selection.
inline int StrengthMix(int v, int r, int s) {
    return v + (r - v) * s / 100;
}

// A `width` x `height` pixel buffer in canvas order (row 0 is the top row): the previews' visible
// area, and the small buffers of the tests.
struct PixelBuffer {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> px;
    uint32_t& At(int32_t x, int32_t y) { return px[size_t(y) * size_t(width) + size_t(x)]; }
    uint32_t At(int32_t x, int32_t y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

// The current layer when it is a pixel layer with pixels, else null.
LayerPtr CurrentPixelLayer(LayerManager& layers);

// A whole layer in RAM (canvas order): for tests and the benchmark's set-up only; the commands
// work through row windows.
bool ReadLayerPixels(const Layer& layer, PixelBuffer& out);
bool WriteLayerPixels(Layer& layer, const PixelBuffer& buf);

// A layer's stored rows (row 0 is the bottom row) copied out through the reader's own bounded
// window.
std::unique_ptr<RowReader> LayerRowReader(const Layer& layer,
                                          uint64_t windowBytes = RowCursor::kDefaultWindowBytes);

// Source rows for a pass: the `width` pixel words of row `row` (stored order), valid until the
// next call; null when the row cannot be read. Rows are asked for in increasing order.
using RowSource = std::function<const uint8_t*(int32_t row)>;

// Rows first..height-1 of a source, taken in increasing order and kept in a ring of the last
// `keep`, so that a pass can look a bounded number of rows back and ahead: its memory is
// keep x width, whatever the height. A band starts its ring at the first row it looks at.
class RowRing {
public:
    RowRing(int32_t width, int32_t height, int32_t keep, RowSource source, int32_t first = 0);
    // Row `row`, after taking every row up to it. Null outside 0..height-1; a row that has
    // already left the ring or lies before the first, or a source that failed, also sets
    // Failed().
    const uint32_t* Row(int32_t row);
    bool Failed() const { return m_failed; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }

private:
    uint32_t* Slot(int32_t row) { return m_rows.data() + size_t(row % m_keep) * size_t(m_width); }

    int32_t m_width, m_height, m_keep;
    RowSource m_source;
    std::vector<uint32_t> m_rows;
    int32_t m_first = 0;  // rows before it are never taken
    int32_t m_next = 0;   // the first row not taken yet
    bool m_failed = false;
};

// The selection's strengths over canvas columns [left, left + width), one canvas row at a time
// through the mask's own bounded reader (cheapest in decreasing canvas y, the layers' stored
// order). Without a selection Row() is null.
class StrengthRows {
public:
    StrengthRows(const LayerManager& layers, int32_t left, int32_t width,
                 uint64_t windowBytes = RowCursor::kDefaultWindowBytes);
    bool Active() const { return m_mask != nullptr; }
    // Strengths of canvas row `cy`, 0 outside the mask.
    const uint8_t* Row(int32_t cy);

private:
    LayerPtr m_mask;
    int32_t m_left, m_width;
    std::unique_ptr<RowReader> m_rows;
    std::vector<uint8_t> m_line;
};

// Fills a replacement of the current pixel layer row by row in stored order (row 0 is the
// bottom row) and commits it as one state named `name`: over the layer's own rectangle
// (`rectEdit` false: "pixel edit, whole layer"), or over `rect` through a rectangle edit.
// `fill(row, out)` writes the rectangle's width of pixels of stored row `row`; false (a row
// could not be read) cancels the edit. With `progressSteps` > 0 the status bar's progress is
// stepped that many times over the rows. Returns 1 when a state was recorded.
using RowFill = std::function<bool(int32_t row, uint32_t* out)>;
int RunRowFilter(HistoryManager& history, const std::string& name, const Rect& rect, bool rectEdit,
                 const RowFill& fill, int32_t progressSteps = 0);

// RunRowFilter in row bands on PassThreads() threads: `makeFill(first, end)` is called on each
// band's thread to make that band's own filler (its own readers, rings and strength rows, with
// windows of BandWindowBytes), which is then asked for rows first..end-1 in increasing order.
// A filler's rows must not depend on where its band starts, so that the result is the same for
// any thread count. Progress is stepped on the calling thread only.
using BandFill = std::function<RowFill(int32_t first, int32_t end, uint64_t windowBytes)>;
int RunBandFilter(HistoryManager& history, const std::string& name, const Rect& rect, bool rectEdit,
                  const BandFill& makeFill, int32_t progressSteps = 0);

// Runs `rule` over every row of the current pixel layer into a replacement object and
// commits it as one "pixel edit, whole layer" state named `name`. `rule` gets the old row,
// the row's strengths (null without a selection) and the new row, `n` pixels each. Pixels
// outside the mask come with strength 0; the rule leaves those unchanged. Returns 1 when a
// state was recorded, 0 when there is no pixel layer or the store failed. Rows run in bands
// on several threads at once: `rule` must be safe to call so.
using RowRule =
    std::function<void(const uint32_t* src, const uint8_t* strength, uint32_t* dst, int32_t n)>;
int RunRowAdjustment(HistoryManager& history, const std::string& name, const RowRule& rule);

}  // namespace zelvo
