// Edit > Clear: the current pixel layer loses its selected pixels by strength; the layer is
// replaced by the tight rectangle of what stays visible (a null layer when nothing does).
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "core/RowBands.h"
#include "history/PixelEdit.h"
#include "layers/LayerRows.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

// The alpha a pixel keeps under strength s: all of it at 0, none at 100, else cut by s %.
uint8_t ClearedAlpha(const PercentTables& t, uint8_t alpha, uint8_t s) {
    if (s == 0) return alpha;
    if (s >= 100) return 0;
    return t.T100(alpha, 100 - s);
}

}  // namespace

int ClearSelection(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr mask = lm.Selection();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!mask || !layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels()) return 0;
    const Rect b = layer->Bounds();
    if (b.Intersect(mask->Bounds()).IsEmpty()) return 0;
    const PercentTables& tables = lm.Tables();
    const int32_t w = layer->Width(), h = layer->Height();

    // First pass: where does anything stay visible? A band of rows on each core, by pread.
    const uint64_t window = BandWindowBytes(RowBandCount(h, kLeastBandRows));
    const std::optional<Rect> kept =
        UniteOverBands(h, kLeastBandRows, [&](int32_t first, int32_t end, Rect& found) {
            const std::unique_ptr<RowReader> pixels = OpenRowReader(*layer, window);
            const std::unique_ptr<RowReader> strengths = OpenRowReader(*mask, window);
            if (!pixels || !strengths) return false;
            std::vector<uint8_t> strength(static_cast<size_t>(w));
            for (int32_t cy = b.top + first; cy < b.top + end; ++cy) {
                const uint8_t* src = pixels->Row(uint32_t(layer->StoredRowOf(cy)));
                if (!src || !ReadMaskRow(*mask, *strengths, cy, b.left, w, strength.data()))
                    return false;
                const auto visible = [&](int32_t i) {
                    return ClearedAlpha(tables, src[4 * size_t(i) + 3], strength[size_t(i)]) != 0;
                };
                int32_t l = 0, r = w;
                while (l < r && !visible(l)) ++l;
                if (l == r) continue;
                while (!visible(r - 1)) --r;
                found = found.Union({b.left + l, cy, b.left + r, cy + 1});
            }
            return true;
        });
    if (!kept) return 0;
    const Rect keep = *kept;

    PixelEdit edit(lm, history);
    if (keep.IsEmpty()) {
        if (!edit.BeginRectEdit(0, 0, 0, 0, 0, 0)) return 0;
        edit.CommitLayerEdit(1, "Clear");
        return 1;
    }
    // The kept rectangle lies inside the old layer: every new row is a piece of an old one,
    // cleared by the strengths, written whole in one pass.
    LayerPtr fresh = edit.BeginRectEdit(keep.left, keep.top, keep.right, keep.bottom, 0);
    if (!fresh) return 0;
    const int32_t kw = keep.Width();
    const bool written = WriteRowsInBands(*fresh, [&](uint64_t window) -> RowSamplesFill {
        std::shared_ptr<RowReader> pixels = OpenRowReader(*layer, window);
        std::shared_ptr<RowReader> strengths = OpenRowReader(*mask, window);
        if (!pixels || !strengths) return nullptr;
        auto strength = std::make_shared<std::vector<uint8_t>>(size_t(kw));
        return [&, pixels, strengths, strength](int32_t cy, uint8_t* dst) {
            const uint8_t* src = pixels->Row(uint32_t(layer->StoredRowOf(cy)));
            if (!src || !ReadMaskRow(*mask, *strengths, cy, keep.left, kw, strength->data()))
                return false;
            std::memcpy(dst, src + 4 * size_t(keep.left - b.left), 4 * size_t(kw));
            for (int32_t i = 0; i < kw; ++i) {
                const uint8_t s = (*strength)[size_t(i)];
                if (s == 0) continue;
                uint8_t* px = dst + 4 * size_t(i);
                if (s >= 100)
                    std::memset(px, 0, 4);
                else
                    px[3] = ClearedAlpha(tables, px[3], s);
            }
            return true;
        };
    });
    if (!written) return edit.CommitLayerEdit(0), 0;
    edit.CommitLayerEdit(1, "Clear");
    return 1;
}

}  // namespace zelvo
