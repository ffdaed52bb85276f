// The part of the image object that the layer manager reads: canvas size and view state. The
// document owns the real image object and embeds this plain struct; the layer manager keeps a
// reference to it.
#pragma once

#include <cstdint>

#include "core/Types.h"

namespace zelvo {

struct ImageGeometry {
    int32_t width = 0;   // canvas width in pixels
    int32_t height = 0;  // canvas height in pixels
    float zoom = 1.0f;   // screen pixels per canvas pixel, 0.05 .. 8.0
    Rect visible;        // canvas coordinates of the part shown
    Rect screenRect;     // client coordinates where that part is drawn
    int32_t flag = 0;    // stored by LayerManager::SelectLayerById
};

}  // namespace zelvo
