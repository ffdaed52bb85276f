// Edit > Clear: the current pixel layer loses its selected pixels by strength; the layer is
// replaced by the tight rectangle of what stays visible (a null layer when nothing does).
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "history/PixelEdit.h"
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
    const int32_t w = layer->Width();
    std::vector<uint8_t> strength(static_cast<size_t>(w));

    // First pass: where does anything stay visible?
    Rect keep{b.right, b.bottom, b.left, b.top};
    bool any = false;
    {
        std::unique_ptr<RowCursor> rows = layer->OpenRows();
        if (!rows) return 0;
        for (int32_t cy = b.top; cy < b.bottom; ++cy) {
            const uint8_t* src = rows->Row(uint32_t(layer->StoredRowOf(cy)));
            if (!src) return 0;
            ReadMaskRow(*mask, cy, b.left, w, strength.data());
            for (int32_t i = 0; i < w; ++i) {
                if (ClearedAlpha(tables, src[4 * size_t(i) + 3], strength[size_t(i)]) == 0)
                    continue;
                any = true;
                keep.left = std::min(keep.left, b.left + i);
                keep.right = std::max(keep.right, b.left + i + 1);
                keep.top = std::min(keep.top, cy);
                keep.bottom = std::max(keep.bottom, cy + 1);
            }
        }
    }

    PixelEdit edit(lm, history);
    if (!any) {
        if (!edit.BeginRectEdit(0, 0, 0, 0, 0, 0)) return 0;
    } else {
        LayerPtr fresh = edit.BeginRectEdit(keep.left, keep.top, keep.right, keep.bottom, 1);
        if (!fresh) return 0;
        std::unique_ptr<RowCursor> rows = fresh->OpenRows();
        if (!rows) return edit.CommitLayerEdit(0), 0;
        const int32_t kw = keep.Width();
        for (int32_t cy = keep.top; cy < keep.bottom; ++cy) {
            uint8_t* dst = rows->Row(uint32_t(fresh->StoredRowOf(cy)));
            if (!dst) return edit.CommitLayerEdit(0), 0;
            ReadMaskRow(*mask, cy, keep.left, kw, strength.data());
            for (int32_t i = 0; i < kw; ++i) {
                const uint8_t s = strength[size_t(i)];
                if (s == 0) continue;
                uint8_t* px = dst + 4 * size_t(i);
                if (s >= 100)
                    std::memset(px, 0, 4);
                else
                    px[3] = ClearedAlpha(tables, px[3], s);
            }
        }
    }
    mask->ReleaseRows();
    edit.CommitLayerEdit(1, "Clear");
    return 1;
}

}  // namespace zelvo
