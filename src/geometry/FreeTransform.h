// Free transform: the frame of four corners that moves, scales, distorts and turns over the
// current layer, and its commit. A pixel layer is drawn again over the frame's bounding box by
// mapping rows: each destination row crosses the frame's edges, and the source position runs
// straight between the matching points on the source rectangle's edges (a bilinear, not a
// projective, mapping). A curve layer's anchors go through the same mapping.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/CpuLevel.h"
#include "core/Types.h"
#include "history/HistoryManager.h"
#include "layers/CurveAnchor.h"

namespace zelvo {

struct PointD {
    double x = 0, y = 0;
    friend bool operator==(const PointD&, const PointD&) = default;
};

// Canvas coordinates of the corners of the source rectangle as they are placed now: top-left,
// top-right, bottom-right, bottom-left of the source (handle codes 1 to 4).
using FrameCorners = std::array<PointD, 4>;

enum class FrameButton { Turn90, TurnMinus90, Turn180, Horizontal, Vertical };

// The frame over a rectangle, untouched.
FrameCorners RectFrame(const Rect& r);
// The pixels the frame touches: floor of the least and ceiling of the greatest coordinates
// (right and bottom exclusive).
Rect FrameBounds(const FrameCorners& frame);
// The angle of `p` around `centre` in degrees, counter-clockwise on screen from the right:
// 0 <= angle < 360, 90 straight above, 270 below, 0 at the centre itself.
double PointerAngle(PointD centre, PointD p);
// The centre a drag turns the frame about: the middle of its bounding box, shrunk by one pixel
// in a direction where the box is wider than 2.
PointD RotationCentre(const FrameCorners& frame);
// Every corner turned about `centre` by `degrees` (counter-clockwise on screen).
FrameCorners RotateFrame(const FrameCorners& frame, PointD centre, double degrees);
// A corner drag (corner 0..3): with `distort` the corner alone goes to `to`; otherwise the
// frame is scaled along its own edge directions from the opposite corner, and with
// `proportional` `to` is first projected onto the line from the opposite corner through the
// corner's place.
FrameCorners DragCorner(const FrameCorners& start, int corner, PointD to, bool distort,
                        bool proportional);
// Whether every corner lies within the coordinate limit: a frame past it would make a layer that
// no document file can hold.
bool FrameFits(const FrameCorners& frame);
// The frame shifted by (dx, dy), the shift cut short where a corner would pass the limit.
FrameCorners ShiftFrame(const FrameCorners& frame, double dx, double dy);
// The options bar's turns and mirrors about the middle of the frame's bounding box.
FrameCorners TurnFrame(const FrameCorners& frame, FrameButton button);

// Where a point of the source rectangle `source` lands in the frame (the same bilinear
// mapping as the pixels).
PointD MapThroughFrame(const Rect& source, const FrameCorners& frame, PointD p);
// A curve's anchors through the frame placed over `source`, every point rounded and held to the
// coordinate limit.
std::vector<CurveAnchor> MapAnchors(const std::vector<CurveAnchor>& anchors, const Rect& source,
                                    const FrameCorners& frame);

// A row of the commit's mapping: where canvas height `y` crosses the frame (its leftmost and
// rightmost crossings) and the points of a `width` x `height` source they stand for; a pixel
// centre between them takes the source point that lies as far between those two. False when
// the row misses the frame. The view's preview of a pending transform draws through it.
struct FrameRow {
    double left = 0, right = 0;
    PointD leftSource, rightSource;
};
bool FrameRowAt(const FrameCorners& frame, int32_t width, int32_t height, double y, FrameRow& row);
// The commit's sample of `width` x `height` pixel words (rows top-down, `stride` words apart) at
// the source point `p` (pixel centres at half-integers): SampleAt on each axis, then the
// bilinear mix of the four words in 1/256, each byte rounded.
uint32_t SampleSource(const uint32_t* words, int32_t stride, int32_t width, int32_t height,
                      PointD p);

// One colour channel sampled at a source position between pixels: interpolated between the two
// neighbours when the fraction lies within 0.2 .. 0.8, else the nearer pixel.
struct SampleAxis {
    int32_t first = 0, second = 0;  // pixel indices (clamped into the row or column)
    int32_t weight = 0;             // of `second`, in 1/256
};
SampleAxis SampleAt(double position, int32_t size);

// The commit of a pixel layer's free transform: the current pixel layer drawn again over the
// frame's bounding box as one "Free Transform" pixel edit. A box over 20,000,000 pixels is
// first cut to the canvas ("Images more than 20 million pixels,Will be cut!"). Returns 1 when
// recorded, 0 when there is no current pixel layer, nothing of the frame is left or the store
// has no room (the layer is then as it was). `level` picks the row kernel; every level draws the
// same pixels.
int CommitFreeTransform(HistoryManager& history, const FrameCorners& frame,
                        CpuLevel level = BestCpuLevel());

}  // namespace zelvo
