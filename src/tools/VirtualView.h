// A view without a window, as scripts and tests drive the tools: no margins, as large as the
// zoomed canvas from the scroll position on, so client (0, 0) shows the canvas point of the
// scroll offset at any zoom.
#pragma once

#include <cstdint>

namespace zelvo {

class ImageView;

// `scrollX`, `scrollY` in canvas pixels; the zoom is held within 0.05 .. 8.
void LayOutVirtualView(ImageView& view, float zoom, int32_t scrollX, int32_t scrollY);

}  // namespace zelvo
