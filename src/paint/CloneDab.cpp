// The clone stamp's dab: the source pixel under each covered pixel laid over the layer's
// pre-stroke pixel with the coverage (and selection) as its strength, by the brush's rule.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "layers/Compositor.h"
#include "paint/PixelRules.h"
#include "paint/Stroke.h"

namespace zelvo {

bool StrokePainter::ReadSource(const Rect& clip) {
    const StrokeTarget& t = m_target;
    const size_t w = size_t(clip.Width());
    m_cloneSource.assign(w * size_t(clip.Height()) * 4, 0);
    const Rect from{clip.left + t.sourceOffset.x, clip.top + t.sourceOffset.y,
                    clip.right + t.sourceOffset.x, clip.bottom + t.sourceOffset.y};
    if (t.sourceAll) {
        // The display composite is opaque: what no layer covers shows white.
        const Rect in = from.Intersect({0, 0, t.sourceWidth, t.sourceHeight});
        if (in.IsEmpty()) return true;
        std::vector<int32_t> rows;
        for (int32_t y = in.top; y < in.bottom; ++y) rows.push_back(y);
        Compositor comp(t.sourceLayers, rows, in.left, in.right);
        for (int32_t y = in.top; y < in.bottom; ++y) {
            uint8_t* out =
                &m_cloneSource[(size_t(y - from.top) * w + size_t(in.left - from.left)) * 4];
            comp.ComposeRow(y, in.left, nullptr, in.Width());
            comp.StoreBgr(out, 4);
            for (int32_t i = 0; i < in.Width(); ++i) out[4 * size_t(i) + 3] = 100;
        }
        return true;
    }
    if (!m_sourceRows) return true;
    const Layer& layer = *t.sourceLayer;
    const Rect lb = layer.Bounds();
    const Rect in = from.Intersect(lb);
    for (int32_t y = in.top; y < in.bottom; ++y) {
        const uint8_t* row = m_sourceRows->Row(uint32_t(layer.StoredRowOf(y)));
        if (!row) return false;
        std::memcpy(&m_cloneSource[(size_t(y - from.top) * w + size_t(in.left - from.left)) * 4],
                    row + 4 * size_t(in.left - lb.left), 4 * size_t(in.Width()));
    }
    return true;
}

bool StrokePainter::CloneDab(const Rect& dab, const Rect& clip) {
    if (!ReadSource(clip)) return false;
    const PercentTables& t = *m_target.tables;
    const BrushTip& tip = m_target.tip;
    Layer* layer = m_target.layer.get();
    const Rect lb = m_layerRows ? layer->Bounds() : Rect{};
    Layer* mask = m_target.mask.get();
    const Rect mb = mask ? mask->Bounds() : Rect{};
    const size_t w = size_t(clip.Width());
    for (int32_t cy = clip.top; cy < clip.bottom; ++cy) {
        DabRow row;
        if (!RowOf(cy, row)) return false;
        uint8_t* rec = row.records;
        const uint8_t* lrow = row.layer;
        const uint8_t* mrow = row.mask;
        const uint8_t* src = &m_cloneSource[size_t(cy - clip.top) * w * 4];
        for (int32_t cx = clip.left; cx < clip.right; ++cx) {
            const int tv = tip.At(cy - dab.top, cx - dab.left);
            if (tv == 0) continue;
            uint8_t* r = rec + 5 * size_t(cx);
            const int c = r[0];
            if (c == 0) ++m_touched;
            const int c2 = AddCoverage(t, c, tv);
            const int q = SelectionShare(t, c2, mask != nullptr, mrow, mb, cx);
            const uint8_t* s = src + 4 * size_t(cx - clip.left);
            uint8_t p[4];
            LayerPixelAt(lrow, lb, cx, p);
            // The source's own alpha thins the strength: a transparent source leaves the pixel.
            LayColor(t, p, s, t.T100(s[3], q), r + 1);
            std::atomic_ref<uint8_t>(r[0]).store(uint8_t(c2), std::memory_order_release);
        }
    }
    return true;
}

}  // namespace zelvo
