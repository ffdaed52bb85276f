// The magic wand's pixel search: the layer's pixels within a per-channel box of the seed
// colour, all of them or only those joined to the seed through edge neighbours.
#pragma once

#include "core/Types.h"
#include "selection/SelectionShape.h"

namespace zelvo {

class Layer;
class Workspace;

struct WandResult {
    enum Status { Ok, NoSeed, Failed } status = Ok;
    ShapePlane shape;  // over the remaining pixels' bounding rectangle, clipped to the canvas
};

// `seed` in canvas coordinates. NoSeed when it lies off the layer or on a fully transparent
// pixel. The candidates are marked in the workspace's stroke work block (one byte per layer
// pixel), which is left zeroed again.
WandResult MagicWandSearch(Workspace& workspace, Layer& layer, Point seed, int tolerance,
                           bool contiguous, const Rect& canvas);

// The tool's click on a document: the layer checks and messages, then the search combined by
// `mode` as "Magic Wand Select". Returns 1 when the selection changed.
class Image;
int MagicWandClick(Image& image, Point seed, int tolerance, bool contiguous, CombineMode mode);

}  // namespace zelvo
