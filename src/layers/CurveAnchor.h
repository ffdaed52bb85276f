// One anchor of a curve layer's cubic Bézier path: the incoming handle, the anchor point and
// the outgoing handle, and whether the two handles are linked (dragging one turns the other).
#pragma once

#include <cstdint>

#include "core/Types.h"

namespace zelvo {

enum AnchorMode : int32_t { kAnchorIndependent = 0, kAnchorLinked = 1 };

struct CurveAnchor {
    Point in;
    Point point;
    Point out;
    int32_t mode = kAnchorLinked;

    friend bool operator==(const CurveAnchor&, const CurveAnchor&) = default;
};

}  // namespace zelvo
