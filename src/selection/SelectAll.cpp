// Select All and Deselect.
#include <cstring>

#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

int SelectAll(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    LayerPtr mask = CreateSelectionMask(lm, CanvasRect(lm));
    if (!mask) return 0;
    const Rect r = mask->Bounds();
    for (int32_t cy = r.top; cy < r.bottom; ++cy) {
        uint8_t* row = MaskRow(*mask, cy);
        if (!row) return 0;
        std::memset(row, 100, size_t(r.Width()));
    }
    SetSelection(history, std::move(mask), HasSelection(lm) ? kSelectionModify : kSelectionNew,
                 "Select All");
    return 1;
}

int Deselect(HistoryManager& history) {
    if (!HasSelection(history.Layers())) return 0;
    SetSelection(history, nullptr, kSelectionRemove);
    return 1;
}

}  // namespace zelvo
