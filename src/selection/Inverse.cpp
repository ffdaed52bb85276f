// Inverse: every canvas pixel gets 100 minus its strength, over the tight rectangle of the
// pixels that were not fully selected.
#include <algorithm>
#include <vector>

#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

int InverseSelection(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.Selection();
    if (!current) return 0;
    const Rect canvas = CanvasRect(lm);
    std::vector<uint8_t> line(size_t(canvas.Width()));

    Rect t{canvas.right, canvas.bottom, canvas.left, canvas.top};
    bool any = false;
    for (int32_t cy = canvas.top; cy < canvas.bottom; ++cy) {
        ReadMaskRow(*current, cy, canvas.left, canvas.Width(), line.data());
        int32_t first = -1, last = -1;
        for (int32_t i = 0; i < canvas.Width(); ++i) {
            if (line[size_t(i)] < 100) {
                if (first < 0) first = i;
                last = i;
            }
        }
        if (first < 0) continue;
        any = true;
        t.left = std::min(t.left, first);
        t.right = std::max(t.right, last + 1);
        t.top = std::min(t.top, cy);
        t.bottom = std::max(t.bottom, cy + 1);
    }
    if (!any) return Deselect(history);

    LayerPtr mask = CreateSelectionMask(lm, t);
    if (!mask) return 0;
    for (int32_t cy = t.top; cy < t.bottom; ++cy) {
        ReadMaskRow(*current, cy, t.left, t.Width(), line.data());
        uint8_t* dst = MaskRow(*mask, cy);
        if (!dst) return 0;
        for (int32_t i = 0; i < t.Width(); ++i) {
            const uint8_t s = line[size_t(i)];
            dst[i] = uint8_t(s >= 100 ? 0 : 100 - s);
        }
    }
    current->ReleaseRows();
    SetSelection(history, std::move(mask), kSelectionModify, "Inverse Selection");
    return 1;
}

}  // namespace zelvo
