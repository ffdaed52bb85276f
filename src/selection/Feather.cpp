// Feather: the selection's strengths smoothed by the tent filter, rows then columns, over the
// tight rectangle grown by the spread.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "core/RowBands.h"
#include "layers/LayerRows.h"
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

    // Rows into a block of their own, then columns from it into the new mask: bands of rows
    // on every core, each reading and writing by pread and pwrite through its own windows.
    const LayerPtr rowsDone = CreateSelectionMask(lm, area);
    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!rowsDone || !mask) return 0;
    const int32_t w = area.Width(), h = area.Height();
    spread = std::min({spread, w, h});
    const uint64_t window = BandWindowBytes(RowBandCount(h, kLeastBandRows));
    const size_t pad = mask->Stride() - size_t(w);
    std::atomic<bool> failed{false};
    ForEachRowBand(h, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::unique_ptr<RowReader> in = OpenRowReader(*current, window);
        const std::unique_ptr<RowWriter> out = OpenRowWriter(*rowsDone, kWriterWindows * window);
        std::vector<uint8_t> line(static_cast<size_t>(w));
        bool ok = in && out;
        for (int32_t cy = area.top + first; ok && cy < area.top + end; ++cy) {
            if (!(ok = ReadMaskRow(*current, *in, cy, area.left, w, line.data()))) break;
            uint8_t* dst = out->Row(uint32_t(rowsDone->StoredRowOf(cy)));
            if (!(ok = dst != nullptr)) break;
            TentFilterLine(line.data(), 1, dst, 1, w, spread);
            std::memset(dst + w, 0, pad);
        }
        if (!ok || !out->Flush()) failed = true;
    });
    if (failed) return 0;
    ForEachRowBand(h, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::unique_ptr<RowReader> in = OpenRowReader(*rowsDone, window);
        const std::unique_ptr<RowWriter> out = OpenRowWriter(*mask, kWriterWindows * window);
        const auto stored = [&](int32_t y) { return uint32_t(mask->StoredRowOf(area.top + y)); };
        if (!in || !out ||
            !TentFilterColumnBand(
                w, h, spread, first, end,
                [&](int32_t y) -> const uint8_t* { return in->Row(stored(y)); },
                [&](int32_t y) {
                    // The filter writes the row's samples; its padding is cleared here.
                    uint8_t* row = out->Row(stored(y));
                    if (row) std::memset(row + w, 0, pad);
                    return row;
                }) ||
            !out->Flush())
            failed = true;
    });
    if (failed) return 0;
    const bool visible = AnyByteAbove(*mask, kInsideStrength - 1);
    SetSelection(history, mask, kSelectionModify, "Feather");
    if (!visible) AppMessages().Show("Feather selection, the selection will not be visible!");
    return 1;
}

}  // namespace zelvo
