#include "history/LayerListOps.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "history/HistoryState.h"
#include "store/RowCursor.h"

namespace zelvo {

void MakeCurrentAt(LayerManager& layers, int index) {
    if (index < 0 || index >= layers.LayerCount()) return;
    for (int i = 0; i < layers.LayerCount(); ++i) layers.LayerAt(i)->SetCurrent(i == index);
}

void TakeOverLinkGroup(LayerManager& layers, Layer& replacement, const Layer& replaced) {
    const int32_t count = replaced.LinkCount();
    if (count <= 0 || count > Layer::kMaxLinks) {
        replacement.SetLinkCount(0);
        return;
    }
    std::array<uint16_t, Layer::kMaxLinks> ids = replaced.LinkIds();
    for (int32_t i = 0; i < count; ++i)
        if (ids[size_t(i)] == uint16_t(replaced.Id())) ids[size_t(i)] = uint16_t(replacement.Id());
    replacement.LinkIds() = ids;
    replacement.SetLinkCount(count);
    for (const LayerPtr& member : layers.Layers()) {
        if (member.get() == &replacement) continue;
        const auto end = ids.begin() + count;
        if (std::find(ids.begin(), end, uint16_t(member->Id())) == end) continue;
        member->LinkIds() = ids;
        member->SetLinkCount(count);
    }
}

bool SwapRectPixels(Layer& rect, Layer& layer) {
    if (rect.BitsPerPixel() != 32 || layer.BitsPerPixel() != 32 || !rect.HasPixels() ||
        !layer.HasPixels())
        return false;
    const Rect rb = rect.Bounds();
    const Rect lb = layer.Bounds();
    // A rectangle reaching past the layer exchanges only the part over it.
    const Rect area = rb.Intersect(lb);
    if (area.IsEmpty()) return true;

    std::unique_ptr<RowCursor> rectRows = rect.OpenRows();
    std::unique_ptr<RowCursor> layerRows = layer.OpenRows();
    if (!rectRows || !layerRows) return false;
    const size_t rectCol = size_t(area.left - rb.left);
    const size_t layerCol = size_t(area.left - lb.left);
    const int32_t width = area.Width();
    for (int32_t cy = area.bottom - 1; cy >= area.top; --cy) {
        uint8_t* r = rectRows->Row(uint32_t(rb.bottom - 1 - cy));
        uint8_t* l = layerRows->Row(uint32_t(lb.bottom - 1 - cy));
        if (!r || !l) return false;
        r += 4 * rectCol;
        l += 4 * layerCol;
        for (int32_t i = 0; i < width; ++i, r += 4, l += 4) {
            if (r[3] == kUntouchedAlpha) continue;
            uint32_t a, b;
            std::memcpy(&a, r, 4);
            std::memcpy(&b, l, 4);
            std::memcpy(r, &b, 4);
            std::memcpy(l, &a, 4);
        }
    }
    return true;
}

}  // namespace zelvo
