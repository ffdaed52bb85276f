// Edit > Draw Border: a round pen laid on every boundary pixel of the selection (or, without
// one, of the layer's non-transparent pixels), drawn into a copy of the current layer grown to
// hold it.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "history/PixelEdit.h"
#include "layers/StoredDib.h"
#include "platform/Messages.h"
#include "selection/MaskBoundary.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

constexpr int64_t kMaxPixels = 20000000;

// Boundary rows of a 32-bit layer by its alphas (non-zero inside), its own edges being edges.
std::function<void(int32_t, std::vector<int32_t>&)> AlphaBoundaryRows(Layer& layer,
                                                                      RowCursor& rows) {
    struct Lines {
        std::vector<uint8_t> above, row, below;
    };
    auto lines = std::make_shared<Lines>();
    auto alphas = [&layer, &rows](int32_t cy, std::vector<uint8_t>& out) {
        out.assign(size_t(layer.Width()), 0);
        const uint8_t* src = rows.Row(uint32_t(layer.StoredRowOf(cy)));
        if (!src) return;
        for (int32_t i = 0; i < layer.Width(); ++i) out[size_t(i)] = src[4 * size_t(i) + 3];
    };
    return [lines, alphas, &layer](int32_t cy, std::vector<int32_t>& xs) {
        const Rect b = layer.Bounds();
        if (cy < b.top || cy >= b.bottom) return;
        const bool top = cy == b.top, bottom = cy == b.bottom - 1;
        alphas(cy, lines->row);
        if (!top) alphas(cy - 1, lines->above);
        if (!bottom) alphas(cy + 1, lines->below);
        BoundaryColumns(top ? nullptr : lines->above.data(), lines->row.data(),
                        bottom ? nullptr : lines->below.data(), b.Width(), 1, b.left, xs);
    };
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

    // The layer's own pixels are read before the edit replaces it in the list.
    std::unique_ptr<RowCursor> layerRows = mask ? nullptr : layer->OpenRows();
    if (!mask && !layerRows) return 0;

    PixelEdit edit(lm, history);
    LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 1);
    if (!fresh) return 0;
    std::unique_ptr<RowCursor> out = fresh->OpenRows();
    if (!out) return edit.CommitLayerEdit(0), 0;

    const Rect src = mask ? mask->Bounds() : layer->Bounds();
    const bool ok =
        StampBoundary(BorderStamp(w), area, src.top, src.bottom,
                      mask ? MaskBoundaryRows(*mask, 1) : AlphaBoundaryRows(*layer, *layerRows),
                      [&](int32_t cy, const uint8_t* covered) {
                          uint8_t* dst = nullptr;
                          for (int32_t i = 0; i < area.Width(); ++i) {
                              if (!covered[i]) continue;
                              if (!dst) dst = out->Row(uint32_t(fresh->StoredRowOf(cy)));
                              if (!dst) return false;
                              std::memcpy(dst + 4 * size_t(i), &word, 4);
                          }
                          return true;
                      });
    out.reset();
    layerRows.reset();
    if (mask) mask->ReleaseRows();
    if (!ok) return edit.CommitLayerEdit(0), 0;
    edit.CommitLayerEdit(1, "Draw Border");
    return 1;
}

}  // namespace zelvo
