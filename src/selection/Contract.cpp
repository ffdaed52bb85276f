// Contract: the selection thresholded at 50 with a band N pixels wide taken off: the tight
// rectangle shrinks by N and a disk of radius N - 1 laid on every boundary pixel is removed.
#include <algorithm>

#include "platform/Messages.h"
#include "selection/MaskBoundary.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

int ContractSelection(HistoryManager& history, int32_t pixels) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.Selection();
    if (!current) return 0;
    const Rect t = TightRect(*current);
    // The width test uses the value as given; the clamp comes after it.
    if (int64_t(t.Width()) - 2 * int64_t(pixels) <= 0 ||
        int64_t(t.Height()) - 2 * int64_t(pixels) <= 0)
        return Deselect(history);
    const int32_t n = std::clamp(pixels, 0, 50);
    const Rect area =
        Rect{t.left + n, t.top + n, t.right - n, t.bottom - n}.Intersect(CanvasRect(lm));
    if (area.IsEmpty()) return Deselect(history);
    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!mask) return 0;

    bool any = false;
    if (!ThresholdWithBoundaryDisk(*current, *mask, area, t.top, t.bottom, n, false, any)) return 0;
    if (!any) AppMessages().Show("Contract selection, the selection will not be visible!");
    SetSelection(history, std::move(mask), kSelectionModify, "Contract Selection");
    return 1;
}

}  // namespace zelvo
