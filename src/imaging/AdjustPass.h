// Shared plumbing of the adjustments and filters: the current pixel layer and the selection
// strengths, whole-layer pixel buffers, a row-by-row rule pass through a pixel-edit
// transaction, and the common strength blend.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Types.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"

namespace zelvo {

// Pixel words are B, G, R, A bytes (A in 0..100).
inline int ChB(uint32_t p) { return int(p & 0xff); }
inline int ChG(uint32_t p) { return int((p >> 8) & 0xff); }
inline int ChR(uint32_t p) { return int((p >> 16) & 0xff); }
inline int ChA(uint32_t p) { return int(p >> 24); }
inline uint32_t MakePixel(int b, int g, int r, int a) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
}
inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline int Clamp255(double v) { return v < 0 ? 0 : (v > 255 ? 255 : int(v)); }
// new = v + trunc((r - v) * s / 100), the blend every command uses under a selection.
inline int StrengthMix(int v, int r, int s) { return v + (r - v) * s / 100; }

// A `width` x `height` pixel buffer in canvas order (row 0 is the top row).
struct PixelBuffer {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> px;
    uint32_t& At(int32_t x, int32_t y) { return px[size_t(y) * size_t(width) + size_t(x)]; }
    uint32_t At(int32_t x, int32_t y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

// The current layer when it is a pixel layer with pixels, else null.
LayerPtr CurrentPixelLayer(LayerManager& layers);

// Reads a layer's pixels (canvas order); false when a row cannot be read.
bool ReadLayerPixels(const Layer& layer, PixelBuffer& out);
// Writes `buf` (the layer's size) into the layer's rows.
bool WriteLayerPixels(Layer& layer, const PixelBuffer& buf);

// Selection strengths over canvas rectangle `r`, row by row (0 outside the mask); empty when
// the document has no selection.
std::vector<uint8_t> StrengthsOver(LayerManager& layers, const Rect& r);

// Runs `rule` over every row of the current pixel layer into a replacement object and
// commits it as one "pixel edit, whole layer" state named `name`. `rule` gets the old row,
// the row's strengths (null without a selection) and the new row, `n` pixels each. Pixels
// outside the mask come with strength 0; the rule leaves those unchanged. Returns 1 when a
// state was recorded, 0 when there is no pixel layer or the store failed.
using RowRule = std::function<void(const uint32_t* src, const uint8_t* strength, uint32_t* dst,
                                   int32_t n)>;
int RunRowAdjustment(HistoryManager& history, const std::string& name, const RowRule& rule);

// Replaces the current layer by `result` placed at `rect` (the layer's own rectangle for a
// whole-layer edit, or another one through a rectangle edit) and commits it named `name`.
int CommitResult(HistoryManager& history, const std::string& name, const Rect& rect,
                 const PixelBuffer& result, bool rectEdit);

}  // namespace zelvo
