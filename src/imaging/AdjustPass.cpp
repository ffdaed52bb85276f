// Row plumbing shared by the adjustments and filters.
#include "imaging/AdjustPass.h"

#include <cstring>
#include <memory>

#include "history/PixelEdit.h"
#include "imaging/SelectionMask.h"

namespace zelvo {

LayerPtr CurrentPixelLayer(LayerManager& layers) {
    const int index = layers.CurrentIndex();
    if (index < 0) return nullptr;
    LayerPtr layer = layers.LayerAt(index);
    if (!layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels() ||
        layer->BitsPerPixel() != 32)
        return nullptr;
    return layer;
}

bool ReadLayerPixels(const Layer& layer, PixelBuffer& out) {
    out.width = layer.Width();
    out.height = layer.Height();
    out.px.assign(size_t(out.width) * size_t(out.height), 0);
    RowReader rows(layer.Store(), layer.Block(), layer.RowsOffset(), layer.Stride(),
                   uint32_t(layer.Height()));
    for (int32_t y = 0; y < out.height; ++y) {
        const uint8_t* src = rows.Row(uint32_t(out.height - 1 - y));
        if (!src) return false;
        std::memcpy(&out.px[size_t(y) * size_t(out.width)], src, 4 * size_t(out.width));
    }
    return true;
}

bool WriteLayerPixels(Layer& layer, const PixelBuffer& buf) {
    std::unique_ptr<RowCursor> rows = layer.OpenRows();
    if (!rows) return false;
    for (int32_t y = 0; y < buf.height; ++y) {
        uint8_t* dst = rows->Row(uint32_t(buf.height - 1 - y));
        if (!dst) return false;
        std::memcpy(dst, &buf.px[size_t(y) * size_t(buf.width)], 4 * size_t(buf.width));
    }
    return true;
}

std::vector<uint8_t> StrengthsOver(LayerManager& layers, const Rect& r) {
    std::vector<uint8_t> out;
    const LayerPtr mask = layers.Selection();
    if (!mask || r.IsEmpty()) return out;
    out.assign(size_t(r.Width()) * size_t(r.Height()), 0);
    for (int32_t y = r.top; y < r.bottom; ++y)
        ReadMaskRow(*mask, y, r.left, r.Width(), &out[size_t(y - r.top) * size_t(r.Width())]);
    mask->ReleaseRows();
    return out;
}

int RunRowAdjustment(HistoryManager& history, const std::string& name, const RowRule& rule) {
    LayerManager& lm = history.Layers();
    const LayerPtr old = CurrentPixelLayer(lm);
    if (!old) return 0;
    const LayerPtr mask = lm.Selection();
    const Rect b = old->Bounds();
    const int32_t w = old->Width();
    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginLayerEdit();
    if (!fresh) return 0;
    {
        RowReader src(old->Store(), old->Block(), old->RowsOffset(), old->Stride(),
                      uint32_t(old->Height()));
        std::unique_ptr<RowCursor> dst = fresh->OpenRows();
        if (!dst) return edit.CommitLayerEdit(0), 0;
        std::vector<uint32_t> in(static_cast<size_t>(w)), out(static_cast<size_t>(w));
        std::vector<uint8_t> strength(mask ? size_t(w) : 0);
        for (int32_t row = 0; row < old->Height(); ++row) {
            const uint8_t* s = src.Row(uint32_t(row));
            uint8_t* d = dst->Row(uint32_t(row));
            if (!s || !d) return edit.CommitLayerEdit(0), 0;
            std::memcpy(in.data(), s, 4 * size_t(w));
            if (mask) ReadMaskRow(*mask, b.bottom - 1 - row, b.left, w, strength.data());
            rule(in.data(), mask ? strength.data() : nullptr, out.data(), w);
            std::memcpy(d, out.data(), 4 * size_t(w));
        }
    }
    if (mask) mask->ReleaseRows();
    return edit.CommitLayerEdit(1, name);
}

int CommitResult(HistoryManager& history, const std::string& name, const Rect& rect,
                 const PixelBuffer& result, bool rectEdit) {
    LayerManager& lm = history.Layers();
    if (!CurrentPixelLayer(lm)) return 0;
    PixelEdit edit(lm, history);
    const LayerPtr fresh = rectEdit
                               ? edit.BeginRectEdit(rect.left, rect.top, rect.right, rect.bottom, 0)
                               : edit.BeginLayerEdit();
    if (!fresh) return 0;
    if (fresh->Width() != result.width || fresh->Height() != result.height ||
        !WriteLayerPixels(*fresh, result)) {
        edit.CommitLayerEdit(0);
        return 0;
    }
    fresh->ReleaseRows();
    return edit.CommitLayerEdit(1, name);
}

}  // namespace zelvo
