// The patch: the selection dragged by an offset heals one of the two areas from the other. With
// "Source" the selected area is healed from what lies under the moved outline; with
// "Destination" the area under the moved outline is healed from the selected one. The
// selection's values weight the heal.
#pragma once

#include <cstdint>

#include "core/Types.h"
#include "paint/Healing.h"
#include "paint/Stroke.h"

namespace zelvo {

class HistoryManager;
class Workspace;

enum class PatchMode { Source, Destination };

// Where a patch moved by `offset` heals and samples, for a mask lying at `maskBounds`.
struct PatchPlan {
    Rect area;           // the healed area, clipped to the canvas
    Point sourceOffset;  // source position minus healed position
    Point maskOffset;    // the weight of pixel p is the mask's value at p - maskOffset
};
PatchPlan PlanPatch(const Rect& maskBounds, Point offset, PatchMode mode, int32_t canvasWidth,
                    int32_t canvasHeight);

// The release of a moved patch on the current layer (a pixel layer) with the selection where
// it lay at the press: the records of the healed area take the selection's values as their
// coverage, the healing pass runs with them as its weight, and the commit records "Patch
// Tool". The large-area question may stop it (nothing changes then). Returns 1 when a state
// was recorded.
int ApplyPatch(HistoryManager& history, Workspace& workspace, Point offset, PatchMode mode);
// The same with the records and tables of `base` (its store, tables, records and canvas size;
// the records all zero), which must hold the canvas.
int ApplyPatch(HistoryManager& history, const StrokeTarget& base, Point offset, PatchMode mode);

}  // namespace zelvo
