// Select All and Deselect.
#include <cstring>

#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

int SelectAll(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    LayerPtr mask = CreateSelectionMask(lm, CanvasRect(lm));
    if (!mask) return 0;
    const size_t w = size_t(mask->Width());
    if (!WriteRowsInBands(*mask, [w](uint64_t) -> RowSamplesFill {
            return [w](int32_t, uint8_t* row) { return std::memset(row, 100, w), true; };
        }))
        return 0;
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
