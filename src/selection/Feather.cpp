// Feather: the selection's strengths smoothed by the tent filter, rows then columns, over the
// tight rectangle grown by the spread.
#include <algorithm>
#include <vector>

#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "selection/TentFilter.h"

namespace zelvo {

int32_t FeatherSpread(int32_t radius) {
    // The constants are single precision and the sum is taken wider, as the spreads users
    // know come out of it: 30 spreads 71, not 72.
    const long double spread = static_cast<long double>(radius) * static_cast<long double>(2.37f) +
                               static_cast<long double>(0.9f);
    return static_cast<int32_t>(spread);
}

int FeatherSelection(HistoryManager& history, int32_t radius) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.Selection();
    if (!current) return 0;
    const int32_t r = std::clamp(radius, 1, 100);
    const Rect t = TightRect(*current);
    int32_t spread = FeatherSpread(r);
    const Rect area =
        Rect{t.left - spread, t.top - spread, t.right + spread, t.bottom + spread}.Intersect(
            CanvasRect(lm));
    if (t.IsEmpty() || area.IsEmpty()) {
        Deselect(history);
        AppMessages().Show("Warning:No pixels were selected!");
        return 1;
    }

    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!mask) return 0;
    const int32_t w = area.Width(), h = area.Height();
    spread = std::min({spread, w, h});
    std::vector<uint8_t> line(static_cast<size_t>(w));
    for (int32_t cy = area.top; cy < area.bottom; ++cy) {
        ReadMaskRow(*current, cy, area.left, w, line.data());
        uint8_t* dst = MaskRow(*mask, cy);
        if (!dst) return 0;
        TentFilterLine(line.data(), 1, dst, 1, w, spread);
    }
    current->ReleaseRows();
    mask->ReleaseRows();
    {
        // Columns in place: the filter keeps copies of the rows it still needs.
        std::unique_ptr<RowCursor> in = mask->OpenRows();
        std::unique_ptr<RowCursor> out = mask->OpenRows();
        if (!in || !out) return 0;
        const bool ok = TentFilterColumns(
            w, h, spread, [&](int32_t y) -> const uint8_t* { return in->Row(uint32_t(y)); },
            [&](int32_t y) { return out->Row(uint32_t(y)); });
        if (!ok) return 0;
    }
    const bool visible = AnyByteAbove(*mask, kInsideStrength - 1);
    SetSelection(history, mask, kSelectionModify, "Feather");
    if (!visible) AppMessages().Show("Feather selection, the selection will not be visible!");
    return 1;
}

}  // namespace zelvo
