// Contract: the selection thresholded at 50 with a band N pixels wide taken off: the tight
// rectangle shrinks by N and a disk of radius N - 1 laid on every boundary pixel is removed.
#include <algorithm>
#include <vector>

#include "imaging/MaskBoundary.h"
#include "imaging/SelectionCommands.h"
#include "imaging/SelectionMask.h"
#include "platform/Messages.h"

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

    std::vector<uint8_t> old(size_t(area.Width()));
    bool any = false;
    const bool ok = StampBoundary(
        DiskStamp(n), area, t.top, t.bottom, MaskBoundaryRows(*current, kInsideStrength),
        [&](int32_t cy, const uint8_t* marked) {
            ReadMaskRow(*current, cy, area.left, area.Width(), old.data());
            uint8_t* dst = MaskRow(*mask, cy);
            if (!dst) return false;
            for (int32_t i = 0; i < area.Width(); ++i) {
                const bool in = !marked[i] && old[size_t(i)] >= kInsideStrength;
                dst[i] = in ? 100 : 0;
                any = any || in;
            }
            return true;
        });
    if (!ok) return 0;
    current->ReleaseRows();
    if (!any) AppMessages().Show("Contract selection, the selection will not be visible!");
    SetSelection(history, std::move(mask), kSelectionModify, "Contract Selection");
    return 1;
}

}  // namespace zelvo
