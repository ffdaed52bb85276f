// A selection tool's shape combined with the current selection: New, Add, Subtract or
// Intersect, each over its own rectangle, with the empty-result rules.
#include <vector>

#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "selection/SelectionShape.h"

namespace zelvo {

namespace {

int NothingSelected(HistoryManager& history) {
    AppMessages().Show("Warning:No pixels were selected.");
    return Deselect(history);
}

}  // namespace

int CombineSelection(HistoryManager& history, const ShapePlane& shape, CombineMode mode,
                     const std::string& name) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.Selection();
    if (!current) mode = CombineMode::New;
    const Rect canvas = CanvasRect(lm);
    const Rect shapeRect = shape.Bounds();

    Rect area;
    switch (mode) {
        case CombineMode::New:
            area = shapeRect.Intersect(canvas);
            break;
        case CombineMode::Add:
            area = current->Bounds().Union(shapeRect).Intersect(canvas);
            break;
        case CombineMode::Subtract:
            area = current->Bounds().Intersect(canvas);
            break;
        case CombineMode::Intersect:
            area = current->Bounds().Intersect(shapeRect).Intersect(canvas);
            break;
    }
    if (area.IsEmpty()) return NothingSelected(history);

    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!mask) return 0;
    std::vector<uint8_t> old(size_t(area.Width()));
    bool any = false;
    for (int32_t cy = area.top; cy < area.bottom; ++cy) {
        if (current) ReadMaskRow(*current, cy, area.left, area.Width(), old.data());
        uint8_t* dst = MaskRow(*mask, cy);
        if (!dst) return 0;
        for (int32_t i = 0; i < area.Width(); ++i) {
            const bool bit = shape.Bit(area.left + i, cy);
            uint8_t v = 0;
            switch (mode) {
                case CombineMode::New:
                    v = bit ? 100 : 0;
                    break;
                case CombineMode::Add:
                    v = bit ? 100 : old[size_t(i)];
                    break;
                case CombineMode::Subtract:
                    v = bit ? 0 : old[size_t(i)];
                    break;
                case CombineMode::Intersect:
                    v = bit ? old[size_t(i)] : 0;
                    break;
            }
            dst[i] = v;
            any = any || v != 0;
        }
    }
    if (current) current->ReleaseRows();
    // Add keeps what was selected, so only the other modes can come out empty.
    if (!any && mode != CombineMode::Add) {
        mask.reset();  // dropped at once
        return NothingSelected(history);
    }
    SetSelection(history, std::move(mask), current ? kSelectionModify : kSelectionNew, name);
    return 1;
}

}  // namespace zelvo
