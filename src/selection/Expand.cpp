// Expand: the selection thresholded at 50 and widened by a disk of radius N - 1 laid on every
// boundary pixel, in the tight rectangle grown by N.
#include <algorithm>

#include "platform/Messages.h"
#include "selection/MaskBoundary.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

int ExpandSelection(HistoryManager& history, int32_t pixels) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.Selection();
    if (!current) return 0;
    const int32_t n = std::clamp(pixels, 0, 50);
    const Rect t = TightRect(*current);
    const Rect area =
        Rect{t.left - n, t.top - n, t.right + n, t.bottom + n}.Intersect(CanvasRect(lm));
    if (area.IsEmpty()) {
        // A selection wholly off the canvas has nothing left to widen: it goes, as Feather's
        // and Contract's do, rather than stay while the command reports nothing done.
        AppMessages().Show("Expand selection, the selection will not be visible!");
        Deselect(history);
        return 1;
    }
    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!mask) return 0;

    bool any = false;
    if (!ThresholdWithBoundaryDisk(*current, *mask, area, t.top, t.bottom, n, true, any)) return 0;
    if (!any) AppMessages().Show("Expand selection, the selection will not be visible!");
    SetSelection(history, std::move(mask), kSelectionModify, "Expand Selection");
    return 1;
}

}  // namespace zelvo
