// Writing what a MaskPainter drew into a 1-bit layer's rows in the store: the rows are cleared,
// every painted row is copied into its bottom-up place, and the window is written back.
#pragma once

#include "layers/Layer.h"
#include "platform/MaskPainter.h"

namespace zelvo {

// `painter` works in the layer's own pixel coordinates (canvas minus the layer position).
// `createError` is shown when the mask cannot be reached or drawn, `flushError` when it cannot
// be written back. Returns false after showing either.
bool WriteMask(Layer& layer, MaskPainter& painter, int createError, int flushError);

}  // namespace zelvo
