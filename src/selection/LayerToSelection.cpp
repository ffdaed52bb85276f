// Layer Convert to Selection: a pixel layer's alphas, or the set bits of a text or curve layer,
// become the selection's strengths.
#include <algorithm>
#include <memory>

#include "layers/LayerRows.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

bool BitAt(const uint8_t* row, int32_t col) {
    return (row[col >> 3] >> (7 - (col & 7))) & 1;
}

// The tight rectangle of the set bits of a 1-bit layer, in canvas coordinates.
Rect SetBitsRect(const Layer& layer) {
    const std::unique_ptr<RowReader> rows = OpenRowReader(layer);
    if (!rows) return {};
    const Rect b = layer.Bounds();
    Rect t{b.right, b.bottom, b.left, b.top};
    bool any = false;
    for (int32_t cy = b.top; cy < b.bottom; ++cy) {
        const uint8_t* row = rows->Row(uint32_t(layer.StoredRowOf(cy)));
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

    const bool bits = layer->BitsPerPixel() == 1;
    const Rect source = bits ? SetBitsRect(*layer) : layer->Bounds();
    const Rect area = source.Intersect(CanvasRect(lm));
    if (area.IsEmpty()) return 0;
    LayerPtr mask = CreateSelectionMask(lm, area);
    if (!mask) return 0;
    const Rect b = layer->Bounds();
    const int32_t w = area.Width(), skip = area.left - b.left;
    if (!WriteRowsInBands(*mask, [&](uint64_t window) -> RowSamplesFill {
            std::shared_ptr<RowReader> in = OpenRowReader(*layer, window);
            if (!in) return nullptr;
            return [&layer, in, bits, w, skip](int32_t cy, uint8_t* dst) {
                const uint8_t* src = in->Row(uint32_t(layer->StoredRowOf(cy)));
                if (!src) return false;
                if (bits) {
                    for (int32_t i = 0; i < w; ++i) dst[i] = BitAt(src, skip + i) ? 100 : 0;
                } else {
                    const uint8_t* alpha = src + 4 * size_t(skip) + 3;
                    for (int32_t i = 0; i < w; ++i)
                        dst[i] = std::min<uint8_t>(alpha[4 * size_t(i)], 100);
                }
                return true;
            };
        }))
        return 0;
    SetSelection(history, std::move(mask), HasSelection(lm) ? kSelectionModify : kSelectionNew,
                 "Convert Layer To Slection");
    return 1;
}

}  // namespace zelvo
