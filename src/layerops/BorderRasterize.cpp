#include "layerops/BorderRasterize.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "curves/Curve.h"
#include "history/PixelEdit.h"
#include "layers/InkBox.h"
#include "layers/StoredDib.h"
#include "layers/TextLayer.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "store/RowCursor.h"

namespace zelvo {

int ClearTransparentBorder(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!layer || layer->Kind() != LayerKind::Pixel || layer->BitsPerPixel() != 32 ||
        !layer->HasPixels())
        return 0;
    WaitCursor wait;
    Rect box;
    if (!InkBox(
            *layer, [](const uint8_t* row, int32_t col) { return row[4 * size_t(col) + 3] != 0; },
            box))
        return 0;
    PixelEdit edit(lm, history);
    if (box.IsEmpty()) {
        if (!edit.BeginRectEdit(0, 0, 0, 0, 0, 0)) return 0;
        return edit.CommitLayerEdit(1, "Clear transparent border");
    }
    if (box == layer->Bounds()) {
        AppMessages().Show(
            "This function is used to clear the boundary layer around the transparent.\nCurrent "
            "layer does not require clean-up.");
        return 0;
    }
    if (!edit.BeginRectEdit(box.left, box.top, box.right, box.bottom, 1)) return 0;
    return edit.CommitLayerEdit(1, "Clear transparent border");
}

int RasterizeLayer(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!layer || (layer->Kind() != LayerKind::Text && layer->Kind() != LayerKind::Curve)) return 0;
    WaitCursor wait;
    // The mask is drawn afresh; the layer's own opacity stays as it is, so that undo brings the
    // layer back exactly (its opacity moves into the pixels' alpha instead).
    const int32_t w = layer->Opacity();
    const bool rendered =
        layer->Kind() == LayerKind::Text ? RenderText(*layer) : RenderCurve(*layer);
    if (!rendered || !layer->HasPixels()) return 0;
    auto bit = [](const uint8_t* row, int32_t col) {
        return (row[col >> 3] >> (7 - (col & 7))) & 1;
    };
    Rect box;
    if (!InkBox(*layer, bit, box)) return 0;
    PixelEdit edit(lm, history);
    if (!box.IsEmpty()) {
        box = Rect{box.left - 1, box.top - 1, box.right + 1, box.bottom + 1}.Intersect(
            {0, 0, lm.Image().width, lm.Image().height});
    }
    if (box.IsEmpty()) {
        // Nothing is drawn: the rasterized layer holds no pixels at all.
        if (!edit.BeginRectEdit(0, 0, 0, 0, 0, 0)) return 0;
        edit.NewLayer()->SetOpacity(100);
        return edit.CommitLayerEdit(1, "Rasterize Layer");
    }
    const LayerPtr fresh = edit.BeginRectEdit(box.left, box.top, box.right, box.bottom, 0);
    if (!fresh) return 0;
    fresh->SetOpacity(100);
    const uint32_t ink = w == 0 ? 0 : StoredDib::PixelWord(layer->Color(), uint32_t(w));
    RowReader mask(layer->Store(), layer->Block(), layer->RowsOffset(), layer->Stride(),
                   uint32_t(layer->Height()));
    std::unique_ptr<RowCursor> out = fresh->OpenRows();
    bool ok = out != nullptr;
    const Point at = layer->Position();
    for (int32_t cy = box.bottom - 1; ok && cy >= box.top; --cy) {
        uint8_t* dst = out->Row(uint32_t(fresh->StoredRowOf(cy)));
        const int32_t src = layer->StoredRowOf(cy);
        const uint8_t* bits = src >= 0 && src < layer->Height() ? mask.Row(uint32_t(src)) : nullptr;
        if (!dst) {
            ok = false;
            break;
        }
        for (int32_t cx = box.left; cx < box.right; ++cx) {
            const int32_t col = cx - at.x;
            const bool set = bits && col >= 0 && col < layer->Width() && bit(bits, col);
            const uint32_t word = set ? ink : 0;
            std::memcpy(dst + 4 * size_t(cx - box.left), &word, 4);
        }
    }
    if (out) out->Flush();
    out.reset();
    if (!ok) {
        edit.CommitLayerEdit(0);
        return 0;
    }
    return edit.CommitLayerEdit(1, "Rasterize Layer");
}

}  // namespace zelvo
