// Small operations on the layer list that the history and the pixel-edit transaction share:
// making one layer current, handing a link group from a replaced layer object to its
// replacement, and exchanging the pixels of a stroke rectangle with a layer.
#pragma once

#include "layers/Layer.h"
#include "layers/LayerManager.h"

namespace zelvo {

// Marks the layer at `index` current and every other layer not current; an index out of the
// list changes nothing.
void MakeCurrentAt(LayerManager& layers, int index);

// `replacement` takes over the link group of `replaced`: it gets the group's array with its
// own id in place of the old one, and every member still in the list gets the same array and
// count. An unlinked `replaced` leaves `replacement` unlinked.
void TakeOverLinkGroup(LayerManager& layers, Layer& replacement, const Layer& replaced);

// Exchanges the pixels of the 32-bit rectangle object `rect` with those of the 32-bit layer
// `layer` under it (both placed by their bounds on the canvas), except where the rectangle's
// alpha byte is the untouched marker 101. Rows are walked bottom-up, one row of each at a
// time through mapped windows. Returns false when either has no 32-bit pixels.
bool SwapRectPixels(Layer& rect, Layer& layer);

}  // namespace zelvo
