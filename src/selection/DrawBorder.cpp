// Edit > Draw Border: a round pen laid on every boundary pixel of the selection (or, without
// one, of the layer's non-transparent pixels), drawn into a copy of the current layer grown to
// hold it.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "core/RowBands.h"
#include "history/PixelEdit.h"
#include "layers/LayerRows.h"
#include "layers/StoredDib.h"
#include "platform/Messages.h"
#include "selection/MaskBoundary.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "store/RowWriter.h"

namespace zelvo {

namespace {

constexpr int64_t kMaxPixels = 20000000;

// Boundary rows of a 32-bit layer by its alphas (non-zero inside), its own edges being edges,
// read through `rows`, a reader of the layer's rows.
BoundaryRowSource AlphaBoundaryRows(const Layer& layer, RowReader& rows) {
    const Layer* l = &layer;
    RowReader* r = &rows;
    return BoundaryRows(layer.Bounds(), 1, [l, r](int32_t cy, uint8_t* line) {
        const uint8_t* src = r->Row(uint32_t(l->StoredRowOf(cy)));
        if (!src) return false;
        for (int32_t i = 0; i < l->Width(); ++i) line[i] = src[4 * size_t(i) + 3];
        return true;
    });
}

}  // namespace

int DrawBorder(HistoryManager& history, int32_t width, ColorRef color, int32_t opacity) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    const LayerPtr mask = lm.Selection();
    if (!layer) return 0;
    const LayerKind kind = layer->Kind();
    if (kind == LayerKind::Text || kind == LayerKind::Curve) return 0;
    if (kind == LayerKind::Null && !mask) return 0;
    if (kind == LayerKind::Pixel && !mask && !layer->HasPixels()) return 0;
    const int32_t w = std::clamp(width, 1, 50);
    const int32_t h = w / 2;
    const uint32_t word = StoredDib::PixelWord(color, uint32_t(std::clamp(opacity, 0, 100)));
    const Rect canvas = CanvasRect(lm);

    Rect area;
    if (mask) {
        const Rect m = mask->Bounds();
        area = Rect{m.left - h, m.top - h, m.right + h, m.bottom + h}.Intersect(canvas);
        if (kind == LayerKind::Pixel) area = area.Union(layer->Bounds());
    } else {
        const Rect b = layer->Bounds();
        area = Rect{b.left - h, b.top - h, b.right + h, b.bottom + h};
    }
    if (int64_t(area.Width()) * int64_t(area.Height()) > kMaxPixels) {
        AppMessages().Show("Images more than 20 million pixels,Will be cut!");
        area = area.Intersect(canvas);
    }
    if (area.IsEmpty()) return 0;

    // The new layer is written whole in one pass, bands of rows on every core: each row is the
    // old layer's part of it (transparent elsewhere) with the stamps laid over. The edit holds
    // the old layer, which is read meanwhile.
    const bool keepOld =
        kind == LayerKind::Pixel && layer->BitsPerPixel() == 32 && layer->HasPixels();
    PixelEdit edit(lm, history);
    LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 0);
    if (!fresh) return 0;

    const Rect src = mask ? mask->Bounds() : layer->Bounds();
    const Rect lb = layer->Bounds();
    const int32_t from = std::max(area.left, lb.left), to = std::min(area.right, lb.right);
    const RoundStamp stamp = BorderStamp(w);
    const uint64_t window = BandWindowBytes(RowBandCount(area.Height(), kLeastBandRows));
    std::atomic<bool> failed{false};
    ForEachRowBand(area.Height(), kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::unique_ptr<RowReader> source = OpenRowReader(mask ? *mask : *layer, window);
        const std::unique_ptr<RowReader> old = keepOld ? OpenRowReader(*layer, window) : nullptr;
        const std::unique_ptr<RowWriter> out = OpenRowWriter(*fresh, kWriterWindows * window);
        if (!source || (keepOld && !old) || !out) return void(failed = true);
        const size_t stride = fresh->Stride();
        const bool ok = StampBoundary(
            stamp, Rect{area.left, area.top + first, area.right, area.top + end}, src.top,
            src.bottom,
            mask ? MaskBoundaryRows(*mask, *source, 1) : AlphaBoundaryRows(*layer, *source),
            [&](int32_t cy, const uint8_t* covered) {
                uint8_t* dst = out->Row(uint32_t(fresh->StoredRowOf(cy)));
                if (!dst) return false;
                std::memset(dst, 0, stride);
                if (keepOld && cy >= lb.top && cy < lb.bottom && from < to) {
                    const uint8_t* s = old->Row(uint32_t(layer->StoredRowOf(cy)));
                    if (!s) return false;
                    std::memcpy(dst + 4 * size_t(from - area.left), s + 4 * size_t(from - lb.left),
                                4 * size_t(to - from));
                }
                for (int32_t i = 0; i < area.Width(); ++i)
                    if (covered[i]) std::memcpy(dst + 4 * size_t(i), &word, 4);
                return true;
            });
        if (!ok || !out->Flush()) failed = true;
    });
    const bool ok = !failed;
    if (!ok) return edit.CommitLayerEdit(0), 0;
    edit.CommitLayerEdit(1, "Draw Border");
    return 1;
}

}  // namespace zelvo
