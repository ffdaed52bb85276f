#include "paint/PaintBucket.h"

#include <cstring>
#include <vector>

#include "core/InternalError.h"
#include "history/HistoryManager.h"
#include "history/PixelEdit.h"
#include "paint/PixelRules.h"
#include "paint/Stroke.h"
#include "platform/Messages.h"
#include "selection/SelectionMask.h"
#include "store/RowCursor.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

constexpr uint8_t kCandidate = 1;
constexpr uint8_t kKept = 2;

// The candidate bytes live in the stroke work block, which is all zeros between uses.
struct CandidateBytes {
    MappedView view;
    ~CandidateBytes() {
        if (view.IsValid()) std::memset(view.Data(), 0, view.Length());
    }
};

struct Span {
    int32_t y, left, right;
};

// Scan-line flood over the candidates of `area` from the seed (edge neighbours); the filled
// bytes become kKept. Returns the bounds of the fill.
Rect Flood(uint8_t* bytes, int32_t width, const Rect& area, Point seed) {
    Rect bounds;
    std::vector<Span> stack;
    auto run = [&](int32_t y, int32_t x) {
        uint8_t* row = bytes + size_t(y) * size_t(width);
        int32_t l = x, r = x + 1;
        while (l > area.left && row[l - 1] == kCandidate) --l;
        while (r < area.right && row[r] == kCandidate) ++r;
        std::memset(row + l, kKept, size_t(r - l));
        bounds = bounds.Union({l, y, r, y + 1});
        stack.push_back({y, l, r});
    };
    run(seed.y, seed.x);
    while (!stack.empty()) {
        const Span s = stack.back();
        stack.pop_back();
        for (int32_t ny : {s.y - 1, s.y + 1}) {
            if (ny < area.top || ny >= area.bottom) continue;
            const uint8_t* row = bytes + size_t(ny) * size_t(width);
            for (int32_t x = s.left; x < s.right; ++x)
                if (row[x] == kCandidate) run(ny, x);
        }
    }
    return bounds;
}

}  // namespace

int PaintBucket(HistoryManager& history, Workspace& workspace, const BucketFill& fill) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.CurrentLayer();
    if (!layer) return 0;
    if (layer->Kind() == LayerKind::Text || layer->Kind() == LayerKind::Curve) {
        AppMessages().Show("This layer must be rasterized before proceeding!");
        return 0;
    }
    const Rect canvas = CanvasRect(lm);
    const Point seed = fill.seed;
    if (!canvas.Contains(seed)) return 0;
    const LayerPtr mask = lm.Selection();
    const Rect mb = mask ? mask->Bounds() : Rect{};
    const PercentTables& t = workspace.Tables();
    std::unique_ptr<RowCursor> maskRows = mask ? mask->OpenRows() : nullptr;
    auto maskAt = [&](int32_t x, int32_t y) -> int {
        if (!mb.Contains({x, y}) || !maskRows) return 0;
        const uint8_t* row = maskRows->Row(uint32_t(mask->StoredRowOf(y)));
        return row ? row[x - mb.left] : 0;
    };
    if (mask && maskAt(seed.x, seed.y) == 0) return 0;

    const bool pixels = layer->Kind() == LayerKind::Pixel && layer->HasPixels();
    const Rect lb = pixels ? layer->Bounds() : Rect{};
    std::unique_ptr<RowCursor> layerRows = pixels ? layer->OpenRows() : nullptr;
    if (pixels && !layerRows) return 0;
    uint8_t seedPx[4] = {0, 0, 0, 0};
    if (lb.Contains(seed)) {
        const uint8_t* row = layerRows->Row(uint32_t(layer->StoredRowOf(seed.y)));
        if (!row) return 0;
        std::memcpy(seedPx, row + 4 * size_t(seed.x - lb.left), 4);
    }
    const bool transparent = seedPx[3] == 0;
    int lo[3], hi[3];
    for (int c = 0; c < 3; ++c) {
        lo[c] = std::max(0, int(seedPx[c]) - fill.tolerance);
        hi[c] = std::min(255, int(seedPx[c]) + fill.tolerance);
    }
    Rect search = transparent ? canvas : lb.Intersect(canvas);
    if (mask) search = search.Intersect(mb);
    if (search.IsEmpty()) return 0;

    if (!workspace.EnsureStrokeCapacity(canvas.Width(), canvas.Height())) return 0;
    CandidateBytes work;
    FileDynamicStore& store = workspace.Store();
    work.view = MappedView(store, store.Payload(workspace.StrokeBlock()).offset,
                           uint64_t(canvas.Width()) * uint64_t(canvas.Height()));
    if (!work.view.IsValid()) {
        ShowInternalError(1051);
        return 0;
    }
    uint8_t* bytes = work.view.Data();
    const int32_t w = canvas.Width();

    Rect all;
    for (int32_t y = search.top; y < search.bottom; ++y) {
        const uint8_t* lrow = nullptr;
        if (y >= lb.top && y < lb.bottom) {
            lrow = layerRows->Row(uint32_t(layer->StoredRowOf(y)));
            if (!lrow) return 0;
        }
        uint8_t* out = bytes + size_t(y) * size_t(w);
        for (int32_t x = search.left; x < search.right; ++x) {
            const uint8_t* p =
                lrow && x >= lb.left && x < lb.right ? lrow + 4 * size_t(x - lb.left) : nullptr;
            bool in;
            if (transparent)
                in = !p || p[3] == 0;
            else
                in = p && p[3] != 0 && p[0] >= lo[0] && p[0] <= hi[0] && p[1] >= lo[1] &&
                     p[1] <= hi[1] && p[2] >= lo[2] && p[2] <= hi[2];
            if (in && mask && maskAt(x, y) == 0) in = false;
            if (!in) continue;
            out[x] = kCandidate;
            all = all.Union({x, y, x + 1, y + 1});
        }
    }
    layerRows.reset();
    uint8_t keep = kCandidate;
    Rect filled = all;
    if (fill.contiguous) {
        filled = Flood(bytes, w, search, seed);
        keep = kKept;
    }

    Rect area = lb.Union(filled);
    if (int64_t(area.Width()) * int64_t(area.Height()) > kMaxLayerPixels) {
        AppMessages().Show("Images more than 20 million pixels,Will be cut!");
        area = area.Intersect(canvas);
    }
    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 1);
    if (!fresh) return 0;
    std::unique_ptr<RowCursor> out = fresh->OpenRows();
    if (!out) return edit.CommitLayerEdit(0), 0;
    const uint8_t fore[3] = {BlueOf(fill.foreground), GreenOf(fill.foreground),
                             RedOf(fill.foreground)};
    const int opacity = std::clamp(fill.opacity, 0, 100);
    const Rect put = filled.Intersect(area);
    for (int32_t y = put.top; y < put.bottom; ++y) {
        uint8_t* row = out->Row(uint32_t(fresh->StoredRowOf(y)));
        if (!row) {
            out.reset();
            return edit.CommitLayerEdit(0), 0;
        }
        const uint8_t* cand = bytes + size_t(y) * size_t(w);
        for (int32_t x = put.left; x < put.right; ++x) {
            if (cand[x] != keep) continue;
            const int e = mask ? t.T100(opacity, maskAt(x, y)) : opacity;
            uint8_t* p = row + 4 * size_t(x - area.left);
            LayColor(t, p, fore, e, p);
        }
    }
    out.reset();
    return edit.CommitLayerEdit(1, "Paint Bucket Tool");
}

}  // namespace zelvo
