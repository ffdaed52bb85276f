// Where a view point falls on the image for the tools that work in whole image pixels (crop,
// measure, eyedropper): the offset from the picture's edge divided by the zoom, rounded with
// near01, from the first canvas pixel shown.
#pragma once

#include "core/Types.h"

namespace zelvo {

class ImageView;

// trunc(v), plus 1 when the fraction v - trunc(v) is at least 0.1.
int32_t Near01(double v);
// A zoom below 0.01 counts as 0.05.
double EffectiveZoom(float zoom);
Point ViewToImage(const ImageView& view, Point client);
// The client point of an image point (truncated), for hit tests and overlays.
Point ImageToView(const ImageView& view, Point image);

}  // namespace zelvo
