// Where strokes land: view points to image points with the strokes' own rounding, the Shift
// constraint of drags to 0, 45 or 90 degrees, a dab's rectangle and the integer line walk
// between two stroke points.
#pragma once

#include <cstdint>
#include <functional>

#include "core/Types.h"
#include "layers/ImageGeometry.h"

namespace zelvo {

// trunc(v), plus 1 when the fractional part is at least 0.1.
int32_t RoundNear01(double v);
// A client point to the image: near01((client - picture edge) / zoom) + first canvas pixel
// shown. A zoom below 0.01 counts as 0.05.
Point StrokeViewToImage(const ImageGeometry& g, Point client);
// The point constrained relative to `press` (screen y grows downward): horizontal, vertical
// or diagonal by the angle of the offset.
Point SnapToAngle(Point press, Point point);
// The rectangle of a dab of side `side` centred at (x, y), right and bottom exclusive.
Rect DabRect(Point centre, int32_t side);
// The line from `from` toward `to`, one pixel per step, `to` itself left out (the platform's
// line walk).
void WalkLine(Point from, Point to, const std::function<void(Point)>& visit);

}  // namespace zelvo
