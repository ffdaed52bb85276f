// A selection tool's shape combined with the current selection: New, Add, Subtract or
// Intersect, each over its own rectangle, with the empty-result rules.
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "layers/LayerRows.h"
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
    const int32_t w = area.Width();
    // The old strengths are read only where the mode needs them.
    const bool readOld = current && mode != CombineMode::New;
    std::atomic<bool> anyIn{false};
    const bool written = WriteRowsInBands(*mask, [&](uint64_t window) -> RowSamplesFill {
        std::shared_ptr<RowReader> in = readOld ? OpenRowReader(*current, window) : nullptr;
        if (readOld && !in) return nullptr;
        auto old = std::make_shared<std::vector<uint8_t>>(size_t(w));
        auto bits = std::make_shared<std::vector<uint8_t>>(size_t(w));
        return [&, in, old, bits](int32_t cy, uint8_t* dst) {
            if (readOld && !ReadMaskRow(*current, *in, cy, area.left, w, old->data())) return false;
            shape.RowBytes(cy, area.left, w, bits->data());
            const uint8_t* b = bits->data();
            const uint8_t* o = old->data();
            uint8_t seen = 0;
            switch (mode) {
                case CombineMode::New:
                    for (int32_t i = 0; i < w; ++i) seen |= dst[i] = uint8_t(b[i] * 100);
                    break;
                case CombineMode::Add:
                    for (int32_t i = 0; i < w; ++i) seen |= dst[i] = b[i] ? uint8_t(100) : o[i];
                    break;
                case CombineMode::Subtract:
                    for (int32_t i = 0; i < w; ++i) seen |= dst[i] = b[i] ? uint8_t(0) : o[i];
                    break;
                case CombineMode::Intersect:
                    for (int32_t i = 0; i < w; ++i) seen |= dst[i] = b[i] ? o[i] : uint8_t(0);
                    break;
            }
            if (seen) anyIn.store(true, std::memory_order_relaxed);
            return true;
        };
    });
    if (!written) return 0;
    const bool any = anyIn;
    // Add keeps what was selected, so only the other modes can come out empty.
    if (!any && mode != CombineMode::Add) {
        mask.reset();  // dropped at once
        return NothingSelected(history);
    }
    SetSelection(history, std::move(mask), current ? kSelectionModify : kSelectionNew, name);
    return 1;
}

}  // namespace zelvo
