// "Clear transparent layer border" (pixel layers) and "Rasterize" (text and curve layers):
// both replace the current layer through a pixel edit and record one state.
#pragma once

#include "history/HistoryManager.h"

namespace zelvo {

// Cuts the current pixel layer down to the box of its pixels with a non-zero alpha; a layer
// with none becomes a null layer. "Clear transparent border". Shows a message and returns 0
// when there is nothing to cut.
int ClearTransparentBorder(HistoryManager& history);
// Turns the current text or curve layer into a pixel layer at opacity 100 whose ink pixels
// carry the layer colour with the old opacity as alpha. "Rasterize Layer".
int RasterizeLayer(HistoryManager& history);

}  // namespace zelvo
