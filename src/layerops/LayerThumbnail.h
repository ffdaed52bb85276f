// The small picture of one layer beside its name in the Layers palette: what the layer holds
// where it lies on the canvas, fitted into a square and centred, over a light checkerboard where
// it is transparent. Kind only (no pixels) for a null layer.
#pragma once

#include <cstdint>
#include <vector>

#include "layers/Layer.h"

namespace zelvo {

// side x side words 0xFFRRGGBB, top row first; outside the fitted canvas 0 (nothing drawn).
// Empty when side is not positive or the canvas has no size. The layer's own opacity is not
// applied: the palette shows it by the slider.
std::vector<uint32_t> LayerThumbnail(Layer& layer, int32_t canvasWidth, int32_t canvasHeight,
                                     int32_t side);

}  // namespace zelvo
