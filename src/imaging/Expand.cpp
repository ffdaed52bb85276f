// Expand: the selection thresholded at 50 and widened by a disk of radius N - 1 laid on every
// boundary pixel, in the tight rectangle grown by N.
#include <algorithm>
#include <vector>

#include "imaging/MaskBoundary.h"
#include "imaging/SelectionCommands.h"
#include "imaging/SelectionMask.h"
#include "platform/Messages.h"

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
        AppMessages().Show("Expand selection, the selection will not be visible!");
        return 0;
    }
    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!mask) return 0;

    std::vector<uint8_t> old(size_t(area.Width()));
    bool any = false;
    const bool ok = StampBoundary(
        DiskStamp(n), area, t.top, t.bottom, MaskBoundaryRows(*current, kInsideStrength),
        [&](int32_t cy, const uint8_t* marked) {
            ReadMaskRow(*current, cy, area.left, area.Width(), old.data());
            uint8_t* dst = MaskRow(*mask, cy);
            if (!dst) return false;
            for (int32_t i = 0; i < area.Width(); ++i) {
                const bool in = marked[i] || old[size_t(i)] >= kInsideStrength;
                dst[i] = in ? 100 : 0;
                any = any || in;
            }
            return true;
        });
    if (!ok) return 0;
    current->ReleaseRows();
    if (!any) AppMessages().Show("Expand selection, the selection will not be visible!");
    SetSelection(history, std::move(mask), kSelectionModify, "Expand Selection");
    return 1;
}

}  // namespace zelvo
