// Curve layers: the poly-Bézier point list of an anchor list, rendering into the layer's mask,
// moving every anchor, and the handle rules the curve tool applies to one anchor.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Types.h"
#include "layers/CurveAnchor.h"
#include "layers/Layer.h"

namespace zelvo {

// The poly-Bézier of the anchors: the first anchor point (move-to), its outgoing handle, then
// per following anchor its incoming handle, its point and (except for the last anchor of an
// open path) its outgoing handle: 3n - 2 points; a closed path adds the first anchor's incoming
// handle and point, 3n + 1. Empty for no anchors.
std::vector<Point> CurvePoints(const std::vector<CurveAnchor>& anchors, bool closed);

// The rectangle around every anchor's three points (right and bottom exclusive); empty (all
// zeros) for no anchors.
Rect CurvePointBounds(const std::vector<CurveAnchor>& anchors);

// Redraws a curve layer's mask: cleared, bounds taken over all points, and with at least two
// anchors the path filled in white (alternate rule) or drawn with a 2-pixel white pen
// (internal errors 1016 when the mask cannot be drawn, 1017 when it cannot be written back).
// False for a layer that is not a curve layer or after an internal error.
bool RenderCurve(Layer& layer);

// Adds (dx, dy) to all three points of every anchor.
void TranslateCurve(Layer& layer, int32_t dx, int32_t dy);
// A move of a curve layer: translate, then render again.
void MoveCurve(Layer& layer, int32_t dx, int32_t dy);

enum class Handle { In, Out };

// Moves one handle of an anchor to `to`. On a linked anchor the other handle turns to point the
// opposite way from the anchor point, keeping its own length; an independent anchor's other
// handle stays where it is.
void DragHandle(CurveAnchor& anchor, Handle handle, Point to);
// Makes the anchor a corner: both handles onto the anchor point, linked.
void ConvertToCorner(CurveAnchor& anchor);
// Reverses the path's direction: the anchor order and, in each anchor, its two handles.
void ReverseAnchors(std::vector<CurveAnchor>& anchors);

}  // namespace zelvo
