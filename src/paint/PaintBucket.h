// The paint bucket: the foreground colour laid over the pixels like the clicked one (each of
// R, G, B within the tolerance of the seed's) or, from a transparent seed, over the
// transparent pixels and the canvas outside the layer; joined to the seed through edge
// neighbours unless "Contiguous" is off. A fill reaching outside the layer grows it.
#pragma once

#include <cstdint>

#include "core/Types.h"

namespace zelvo {

class HistoryManager;
class Workspace;

struct BucketFill {
    Point seed;  // canvas point
    int tolerance = 32;
    bool contiguous = true;
    int opacity = 100;
    ColorRef foreground = 0;
};

// Records "Paint Bucket Tool" and returns 1 when pixels were filled; 0 when the click does
// nothing (off the canvas, outside the selection), the layer is refused (text and curve
// layers: "This layer must be rasterized before proceeding!") or the work could not be done.
int PaintBucket(HistoryManager& history, Workspace& workspace, const BucketFill& fill);

}  // namespace zelvo
