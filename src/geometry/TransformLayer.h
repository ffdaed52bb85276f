// Edit > Transform: the five turns and flips of the current pixel layer alone, as one pixel
// edit ("Transform Layer"). Quarter turns keep the layer's centre; the layer may then reach
// past the canvas.
#pragma once

#include "core/Types.h"
#include "history/HistoryManager.h"

namespace zelvo {

// The rectangle the layer at `r` takes: for the quarter turns (codes 1 and 2) width and height
// exchange about the centre, halves taken by integer division; the other codes keep it.
Rect TransformedLayerRect(const Rect& r, int code);

// Returns 1 when the layer was turned, 0 when the command is not enabled (no current pixel
// layer, a tool operation running), the code is unknown or the store has no room.
int TransformLayer(HistoryManager& history, int code);

}  // namespace zelvo
