// Inverse: every canvas pixel gets 100 minus its strength, over the tight rectangle of the
// pixels that were not fully selected.
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "core/RowBands.h"
#include "layers/LayerRows.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

int InverseSelection(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.Selection();
    if (!current) return 0;
    const Rect canvas = CanvasRect(lm);
    const int32_t cw = canvas.Width();

    // The tight rectangle of what is not fully selected, a band of rows on each core.
    const uint64_t window = BandWindowBytes(RowBandCount(canvas.Height(), kLeastBandRows));
    const std::optional<Rect> unselected = UniteOverBands(
        canvas.Height(), kLeastBandRows, [&](int32_t first, int32_t end, Rect& found) {
            const std::unique_ptr<RowReader> in = OpenRowReader(*current, window);
            if (!in) return false;
            std::vector<uint8_t> line(static_cast<size_t>(cw));
            for (int32_t cy = canvas.top + first; cy < canvas.top + end; ++cy) {
                if (!ReadMaskRow(*current, *in, cy, canvas.left, cw, line.data())) return false;
                int32_t l = 0, r = cw;
                while (l < r && line[size_t(l)] >= 100) ++l;
                if (l == r) continue;
                while (line[size_t(r - 1)] >= 100) --r;
                found = found.Union({canvas.left + l, cy, canvas.left + r, cy + 1});
            }
            return true;
        });
    if (!unselected) return 0;
    const Rect t = *unselected;
    if (t.IsEmpty()) return Deselect(history);

    LayerPtr mask = CreateSelectionMask(lm, t);
    if (!mask) return 0;
    const int32_t w = t.Width();
    if (!WriteRowsInBands(*mask, [&](uint64_t bandWindow) -> RowSamplesFill {
            std::shared_ptr<RowReader> in = OpenRowReader(*current, bandWindow);
            if (!in) return nullptr;
            return [&current, in, w, left = t.left](int32_t cy, uint8_t* dst) {
                if (!ReadMaskRow(*current, *in, cy, left, w, dst)) return false;
                for (int32_t i = 0; i < w; ++i) dst[i] = uint8_t(dst[i] >= 100 ? 0 : 100 - dst[i]);
                return true;
            };
        }))
        return 0;
    SetSelection(history, std::move(mask), kSelectionModify, "Inverse Selection");
    return 1;
}

}  // namespace zelvo
