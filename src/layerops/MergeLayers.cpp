#include "layerops/MergeLayers.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "core/InternalError.h"
#include "core/RowBands.h"
#include "history/LayerListOps.h"
#include "layers/BlendRuns.h"
#include "platform/Feedback.h"
#include "store/RowCursor.h"
#include "store/RowWriter.h"

namespace zelvo {

namespace {

struct Member {
    LayerPtr layer;
    int position = 0;
};

// The set of the mode, bottom first; empty after an internal error.
std::vector<Member> MergeSet(LayerManager& lm, MergeMode mode) {
    std::vector<Member> set;
    if (mode != MergeMode::Linked) {
        for (int i = 0; i < lm.LayerCount(); ++i) {
            const LayerPtr l = lm.LayerAt(i);
            if (mode == MergeMode::All || l->IsVisible()) set.push_back({l, i});
        }
        return set;
    }
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    if (!current) return set;
    const int32_t n = current->LinkCount();
    if (n <= 0 || n > Layer::kMaxLinks) return set;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t id = current->LinkIds()[size_t(i)];
        if (id < 0 || id > Layer::kMaxId) {
            ShowInternalError(1020);
            return {};
        }
        const LayerPtr l = lm.FindById(id);
        if (!l) {
            ShowInternalError(1019);
            return {};
        }
        set.push_back({l, lm.IndexOf(l.get())});
    }
    // Stable insertion sort by list position.
    for (size_t i = 1; i < set.size(); ++i)
        for (size_t j = i; j > 0 && set[j - 1].position > set[j].position; --j)
            std::swap(set[j - 1], set[j]);
    return set;
}

// One contributing layer's reader and what the blend needs of it.
struct Source {
    const Layer* layer = nullptr;
    std::unique_ptr<RowReader> rows;
    uint16_t opacity = 0;
    uint32_t colorWord = 0;  // a mask layer's set bit: its colour at alpha 100
};

// The shown layers of the set, top first, each with its own reader.
std::vector<Source> MergeSources(const std::vector<Member>& set, uint64_t window) {
    std::vector<Source> sources;
    for (auto it = set.rbegin(); it != set.rend(); ++it) {
        const Layer& l = *it->layer;
        if (l.Kind() == LayerKind::Null || !l.IsVisible() || !l.HasPixels()) continue;
        if (l.BitsPerPixel() != 32 && l.BitsPerPixel() != 1) continue;
        Source s;
        s.layer = &l;
        s.rows = std::make_unique<RowReader>(l.Store(), l.Block(), l.RowsOffset(), l.Stride(),
                                             uint32_t(l.Height()), window);
        s.opacity = uint16_t(l.Opacity());
        s.colorWord = uint32_t(BlueOf(l.Color())) | uint32_t(GreenOf(l.Color())) << 8 |
                      uint32_t(RedOf(l.Color())) << 16 | 100u << 24;
        sources.push_back(std::move(s));
    }
    return sources;
}

// Composites the shown layers of the set (top first) into `merged` over its bounds, in bands
// of rows each with its own readers and cursor. Each output row is built layer by layer with
// the flatten's blend; a pixel whose coverage has run out takes nothing from lower layers, as
// when it stops there.
bool ComposeMerged(const std::vector<Member>& set, Layer& merged) {
    if (!merged.HasPixels()) return false;
    const Rect u = merged.Bounds();
    const int32_t width = u.Width(), height = u.Height();
    const int32_t bands = RowBandCount(height, kLeastBandRows);
    const uint64_t window = BandWindowBytes(RowCursor::kDefaultWindowBytes, bands);
    const uint64_t sourceWindow = BandWindowBytes(window, int32_t(std::max<size_t>(set.size(), 1)));
    std::atomic<bool> ok{true};
    ForEachRowBand(height, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        std::vector<Source> sources = MergeSources(set, sourceWindow);
        // Written by pwrite from a bounded buffer, not through a mapped window: no page takes
        // a fault, and the merged layer lies in large pages of the page cache.
        RowWriter out(merged.Store(), merged.Block(), merged.RowsOffset(), merged.Stride(),
                      uint32_t(height), window);
        std::vector<int16_t> cov(static_cast<size_t>(width));
        std::vector<uint16_t> b(static_cast<size_t>(width)), g(b.size()), r(b.size());
        std::vector<uint32_t> expanded(static_cast<size_t>(width));
        // The walk goes bottom-up through the output, as the buffers store their rows.
        for (int32_t stored = first; stored < end && ok; ++stored) {
            const int32_t cy = u.bottom - 1 - stored;
            uint8_t* dst = out.Row(uint32_t(stored));
            if (!dst) {
                ok = false;
                return;
            }
            std::fill(cov.begin(), cov.end(), int16_t(100));
            std::fill(b.begin(), b.end(), uint16_t(0));
            std::fill(g.begin(), g.end(), uint16_t(0));
            std::fill(r.begin(), r.end(), uint16_t(0));
            for (Source& s : sources) {
                const Layer& l = *s.layer;
                const int32_t row = l.StoredRowOf(cy);
                if (row < 0 || row >= l.Height()) continue;
                const uint8_t* src = s.rows->Row(uint32_t(row));
                if (!src) {
                    ok = false;
                    return;
                }
                // Output pixels [lo, hi) lie over the layer's columns.
                const int32_t x = l.Position().x;
                const int32_t lo = std::max(0, x - u.left);
                const int32_t hi =
                    int32_t(std::min<int64_t>(width, int64_t(x) + l.Width() - u.left));
                if (lo >= hi) continue;
                const int32_t col0 = u.left + lo - x;
                const uint8_t* px = reinterpret_cast<const uint8_t*>(expanded.data());
                if (l.BitsPerPixel() == 32) {
                    px = src + 4 * size_t(col0);
                } else {
                    for (int32_t i = 0; i < hi - lo; ++i) {
                        const int32_t c = col0 + i;
                        const bool set = (src[c >> 3] >> (7 - (c & 7))) & 1;
                        expanded[size_t(i)] = set ? s.colorWord : 0u;
                    }
                }
                const uint32_t alive = BlendRun(px, hi - lo, s.opacity, cov.data() + lo,
                                                b.data() + lo, g.data() + lo, r.data() + lo);
                if (!alive && lo == 0 && hi == width) break;
            }
            StraightRun(width, cov.data(), b.data(), g.data(), r.data(), expanded.data());
            std::memcpy(dst, expanded.data(), 4 * size_t(width));
        }
        if (!out.Flush()) ok = false;
    });
    return ok && merged.Store().CheckBlock(merged.Block());
}

}  // namespace

int MergeLayers(HistoryManager& history, MergeMode mode) {
    LayerManager& lm = history.Layers();
    const int currentAt = lm.CurrentIndex();
    if (currentAt < 0) return 0;
    std::vector<Member> set = MergeSet(lm, mode);
    if (set.size() < 2) return 0;
    WaitCursor wait;
    ProgressRun progress(4);

    Rect u;
    for (const Member& m : set)
        if (!m.layer->Bounds().IsEmpty()) u = u.Union(m.layer->Bounds());
    int k = 0;
    for (int i = 0; i < currentAt; ++i) {
        const Layer* l = lm.LayerAt(i).get();
        if (std::none_of(set.begin(), set.end(),
                         [l](const Member& m) { return m.layer.get() == l; }))
            ++k;
    }
    progress.Step();

    // Past the pixel or side limit the union is cut to the canvas. Below them a union that
    // reaches far past the canvas keeps every pixel: the layered file holds and reads back a
    // layer of such sides.
    const Rect canvas{0, 0, lm.Image().width, lm.Image().height};
    const bool tooLong = u.Width() > kMaxMergeSide || u.Height() > kMaxMergeSide;
    if (!u.IsEmpty() && (int64_t(u.Width()) * int64_t(u.Height()) > kMaxMergePixels || tooLong))
        u = u.Intersect(canvas);
    auto merged = std::make_shared<Layer>(lm.Store());
    if (u.IsEmpty()) {
        merged->Create(0, 0, LayerKind::Null, lm.NextId());
    } else if (!merged->Create(u.Width(), u.Height(), LayerKind::Pixel, lm.NextId())) {
        return 0;  // the store has said why; nothing has changed yet
    } else {
        merged->SetPosition(u.left, u.top);
    }
    merged->SetSerial(lm.NextSerial());
    // The pixels are made before the list changes, so a failure leaves the document as it was.
    if (merged->Kind() == LayerKind::Pixel && !ComposeMerged(set, *merged)) return 0;
    progress.Step();

    for (const Member& m : set) lm.RemoveAt(lm.IndexOf(m.layer.get()));
    lm.InsertAt(k, merged);
    MakeCurrentAt(lm, k);
    progress.Step();

    StateExtra extra;
    for (const Member& m : set) extra.pairs.push_back({m.layer, m.position});
    history.RecordState(merged, {}, kStateMergeLayers, k, "Merge Layers", std::move(extra));
    progress.Step();
    history.Host().Redraw();
    return 1;
}

}  // namespace zelvo
