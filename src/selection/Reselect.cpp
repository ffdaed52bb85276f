// Reselect: a copy of the mask the last Deselect removed, while the canvas keeps its size.
#include <cstring>

#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

int Reselect(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr saved = lm.LastDeselected();
    if (HasSelection(lm) || !saved || lm.DeselectWidth() != lm.Image().width ||
        lm.DeselectHeight() != lm.Image().height)
        return 0;
    // A copy, not the saved object: the deselect state in the history still holds that one.
    const Rect r = saved->Bounds();
    LayerPtr mask = CreateSelectionMask(lm, r);
    if (!mask) return 0;
    std::unique_ptr<RowCursor> from = saved->OpenRows();
    if (!from) return 0;
    for (int32_t cy = r.top; cy < r.bottom; ++cy) {
        const uint8_t* src = from->Row(uint32_t(saved->StoredRowOf(cy)));
        uint8_t* dst = MaskRow(*mask, cy);
        if (!src || !dst) return 0;
        std::memcpy(dst, src, size_t(r.Width()));
    }
    from.reset();
    SetSelection(history, std::move(mask), kSelectionNew, "Reselect");
    return 1;
}

}  // namespace zelvo
