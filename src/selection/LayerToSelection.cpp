// Layer Convert to Selection: a pixel layer's alphas, or the set bits of a text or curve layer,
// become the selection's strengths.
#include <algorithm>
#include <memory>

#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

bool BitAt(const uint8_t* row, int32_t col) {
    return (row[col >> 3] >> (7 - (col & 7))) & 1;
}

// The tight rectangle of the set bits of a 1-bit layer, in canvas coordinates.
Rect SetBitsRect(Layer& layer, RowCursor& rows) {
    const Rect b = layer.Bounds();
    Rect t{b.right, b.bottom, b.left, b.top};
    bool any = false;
    for (int32_t cy = b.top; cy < b.bottom; ++cy) {
        const uint8_t* row = rows.Row(uint32_t(layer.StoredRowOf(cy)));
        if (!row) break;
        for (int32_t i = 0; i < layer.Width(); ++i) {
            if (!BitAt(row, i)) continue;
            any = true;
            t.left = std::min(t.left, b.left + i);
            t.right = std::max(t.right, b.left + i + 1);
            t.top = std::min(t.top, cy);
            t.bottom = std::max(t.bottom, cy + 1);
        }
    }
    return any ? t : Rect{};
}

}  // namespace

int LayerToSelection(HistoryManager& history, SelectionRerender* rerender) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!layer) return 0;
    const LayerKind kind = layer->Kind();
    if (kind != LayerKind::Pixel && kind != LayerKind::Text && kind != LayerKind::Curve) return 0;
    if (rerender && kind == LayerKind::Text) rerender->RenderText(*layer);
    // Whatever happens below, the curve is drawn as it is again at the end.
    struct RestoreCurve {
        SelectionRerender* r;
        Layer* l;
        ~RestoreCurve() {
            if (r) r->RenderCurve(*l, false);
        }
    } restore{kind == LayerKind::Curve ? rerender : nullptr, layer.get()};
    if (restore.r) rerender->RenderCurve(*layer, true);
    if (!layer->HasPixels()) return 0;

    std::unique_ptr<RowCursor> rows = layer->OpenRows();
    if (!rows) return 0;
    const bool bits = layer->BitsPerPixel() == 1;
    const Rect source = bits ? SetBitsRect(*layer, *rows) : layer->Bounds();
    const Rect area = source.Intersect(CanvasRect(lm));
    if (area.IsEmpty()) return 0;
    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!mask) return 0;
    const Rect b = layer->Bounds();
    for (int32_t cy = area.top; cy < area.bottom; ++cy) {
        const uint8_t* src = rows->Row(uint32_t(layer->StoredRowOf(cy)));
        uint8_t* dst = MaskRow(*mask, cy);
        if (!src || !dst) return 0;
        for (int32_t i = 0; i < area.Width(); ++i) {
            const int32_t col = area.left + i - b.left;
            if (bits)
                dst[i] = BitAt(src, col) ? 100 : 0;
            else
                dst[i] = std::min<uint8_t>(src[4 * size_t(col) + 3], 100);
        }
    }
    rows.reset();
    SetSelection(history, std::move(mask), HasSelection(lm) ? kSelectionModify : kSelectionNew,
                 "Convert Layer To Slection");
    return 1;
}

}  // namespace zelvo
