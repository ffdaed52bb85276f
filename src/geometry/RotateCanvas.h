// Image > Rotate Canvas: the quarter turns, the half turn and the two flips of every layer and
// of the canvas, recorded as one "Rotate Canvas" state; and the pixel turn they share with Edit
// > Transform.
#pragma once

#include <cstddef>

#include "core/CpuLevel.h"
#include "geometry/Geometry.h"
#include "history/HistoryManager.h"
#include "layers/Layer.h"

namespace zelvo {

// Writes every pixel of the 32-bit layer `dst` (h x w for codes 1 and 2, else w x h) with the
// pixels of the w x h layer `src` turned or flipped by `code`, read through a read-only mapping
// and written in bands of whole output rows, each held in a buffer of at most `bandBytes` (and
// 64 rows), the quarter turn's tiles at `level` (kernels for Base, Avx2 and V4). Returns false
// for a size mismatch, a level the processor lacks, or a row that cannot be read or written.
constexpr size_t kTurnBandBytes = 16u << 20;
bool TurnPixels(Layer& src, Layer& dst, int code, size_t bandBytes = kTurnBandBytes,
                CpuLevel level = BestCpuLevel());

// Turns or flips every layer and the canvas: pixel layers pixel by pixel with their rectangles
// mapped, text and curve layers with every anchor point (the text origin) mapped and drawn
// again, null layers kept. The selection is left as it is. Returns 1 when done, 0 for an
// unknown code or when the store has no room (the document is then unchanged).
int RotateCanvas(HistoryManager& history, int code);

}  // namespace zelvo
