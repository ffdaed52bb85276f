// A selection tool's shape combined with the current selection: New, Add, Subtract or
// Intersect, each over its own rectangle, with the empty-result rules.
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "core/RowBands.h"
#include "layers/LayerRows.h"
#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "selection/SelectionShape.h"
#include "store/RowWriter.h"

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
    const size_t stride = mask->Stride();
    // Bands of rows on every core; the new mask's rows go to the file by pwrite (mapped, each
    // of its pages would fault), the old ones come by pread, and only where the mode needs them.
    const bool readOld = current && mode != CombineMode::New;
    const uint64_t window = BandWindowBytes(RowCursor::kDefaultWindowBytes,
                                            RowBandCount(area.Height(), kLeastBandRows));
    std::atomic<bool> failed{false}, anyIn{false};
    ForEachRowBand(area.Height(), kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::unique_ptr<RowReader> in = readOld ? OpenRowReader(*current, window) : nullptr;
        const std::unique_ptr<RowWriter> out = OpenRowWriter(*mask, window);
        if ((readOld && !in) || !out) return void(failed = true);
        std::vector<uint8_t> old(static_cast<size_t>(w)), bits(static_cast<size_t>(w));
        uint8_t seen = 0;
        for (int32_t cy = area.top + first; cy < area.top + end; ++cy) {
            if (readOld && !ReadMaskRow(*current, *in, cy, area.left, w, old.data()))
                return void(failed = true);
            uint8_t* dst = out->Row(uint32_t(mask->StoredRowOf(cy)));
            if (!dst) return void(failed = true);
            shape.RowBytes(cy, area.left, w, bits.data());
            const uint8_t* b = bits.data();
            const uint8_t* o = old.data();
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
            std::memset(dst + w, 0, stride - size_t(w));
        }
        if (!out->Flush()) failed = true;
        if (seen) anyIn = true;
    });
    if (failed) return 0;
    const bool any = anyIn;
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
