// The zoom rules of the image view and the mapping between client and canvas coordinates:
// the zoom a mode asks for, the wheel steps, the scroll extents of the zoomed canvas and the
// layout of `screenRect` and `visible` for a client area.
#pragma once

#include <cstdint>

#include "core/Types.h"
#include "layers/ImageGeometry.h"

namespace zelvo {

constexpr float kMinZoom = 0.05f;
constexpr float kMaxZoom = 8.0f;
constexpr float kWheelIn = 1.1f;
constexpr float kWheelOut = 0.9090909f;

enum ZoomMode : int { kZoomActualPixels = 1, kZoomFitOnWindow = 2, kZoomPrintSize = 3 };

float ClampZoom(float zoom);

// The zoom of a mode: 2 fits the canvas into the client area, 3 shows the print size from the
// resolution (pixels per metre), any other mode 1.0; held within 0.05 .. 8.0.
float ZoomFor(int mode, int32_t clientWidth, int32_t clientHeight, int32_t canvasWidth,
              int32_t canvasHeight, int32_t resolution);

// One wheel step: a negative delta zooms in by 1.1, a positive one out by 0.9090909. Refused
// (false, zoom unchanged) for delta 0, while a mouse button is held, or while the polygonal
// marquee is in the middle of a selection.
bool WheelZoomStep(float& zoom, int delta, bool buttonHeld, bool polygonBusy);

// The zoomed size of a canvas side as the scroll range: rounded down, plus 1 when the dropped
// fraction is at least 0.1.
int32_t ScrollExtent(int32_t canvas, float zoom);
// The canvas coordinate of the client edge: the scroll position divided by zoom, truncated.
int32_t ScrollOrigin(int32_t scrollPosition, float zoom);
// The scroll position that centres a zoomed side larger than the client; 0 otherwise.
int32_t CentredScroll(int32_t zoomedSize, int32_t client);

struct AxisLayout {
    int32_t screen0 = 0, screen1 = 0;    // screenRect along the axis
    int32_t visible0 = 0, visible1 = 0;  // visible along the axis
};
// One axis of the paint layout: a zoomed canvas at least as wide as the client fills it and
// shows client / zoom canvas pixels (plus 1 from a fraction of 0.1); a smaller one is centred
// and shown whole.
AxisLayout LayOutAxis(int32_t client, int32_t canvas, float zoom, int32_t origin);
// Both axes into the geometry (zoom taken from it).
void LayOut(ImageGeometry& image, int32_t clientWidth, int32_t clientHeight, int32_t originX,
            int32_t originY);

// Client point to canvas point and back, each quotient truncated.
Point ClientToCanvas(const ImageGeometry& image, Point client);
Point CanvasToClient(const ImageGeometry& image, Point canvas);

// The canvas column (or row) shown at client offset `offset` from screenRect's edge: the
// truncated quotient for offsets inside the picture, the floor before it (so that a tile
// reaching off the client keeps one rule while it scrolls).
int32_t CanvasAt(int32_t visibleEdge, int32_t offset, float zoom);

}  // namespace zelvo
