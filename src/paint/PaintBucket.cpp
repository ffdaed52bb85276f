#include "paint/PaintBucket.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "core/InternalError.h"
#include "core/Limits.h"
#include "history/HistoryManager.h"
#include "history/PixelEdit.h"
#include "layers/LayerRows.h"
#include "paint/PixelRules.h"
#include "paint/Stroke.h"
#include "platform/Messages.h"
#include "selection/SelectionMask.h"
#include "store/KeptView.h"
#include "store/RowCursor.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

constexpr uint8_t kCandidate = 1;
constexpr uint8_t kKept = 2;

// The stroke work block stays mapped from one fill to the next: the first touch of each page
// of a new mapping would cost more than the fill itself on a virtual machine.
KeptView& StrokeBlockView() {
    static KeptView kept;
    return kept;
}

// The candidate bytes live in the stroke work block, which is all zeros between uses; only the
// rows of the search area are ever written.
struct CandidateBytes {
    MappedView view;
    KeptView::Key key;
    size_t dirtyFrom = 0, dirtyBytes = 0;
    ~CandidateBytes() {
        if (!view.IsValid()) return;
        if (dirtyBytes) std::memset(view.Data() + dirtyFrom, 0, dirtyBytes);
        StrokeBlockView().Give(std::move(view), key);
    }
};

struct Span {
    int32_t y, left, right;
};

// The end of the run of `value` bytes from x on, sixteen bytes at a time over long runs.
int32_t RunEnd(const uint8_t* row, int32_t x, int32_t end, uint8_t value) {
    const __m128i v = _mm_set1_epi8(char(value));
    for (; x + 16 <= end; x += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const unsigned other = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(b, v))) & 0xFFFFu;
        if (other) return x + std::countr_zero(other);
    }
    while (x < end && row[x] == value) ++x;
    return x;
}

// The end of the run of candidates from x on.
int32_t RunRight(const uint8_t* row, int32_t x, int32_t end) {
    return RunEnd(row, x, end, kCandidate);
}

// The start of the run of candidates that ends just before x.
int32_t RunLeft(const uint8_t* row, int32_t x, int32_t begin) {
    const __m128i v = _mm_set1_epi8(char(kCandidate));
    for (; x - 16 >= begin; x -= 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x - 16));
        const unsigned other = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(b, v))) & 0xFFFFu;
        if (other) return x - 16 + (32 - std::countl_zero(other));
    }
    while (x > begin && row[x - 1] == kCandidate) --x;
    return x;
}

// Whether no pixel of the n at p has an alpha byte above 100.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) bool AllPercent(
    const uint8_t* p, int32_t n) {
    uint32_t worst = 0;
    for (int32_t i = 0; i < n; ++i) {
        uint32_t w;
        std::memcpy(&w, p + 4 * size_t(i), 4);
        worst = std::max(worst, w >> 24);
    }
    return worst <= 100;
}

__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void PutWord(uint8_t* p,
                                                                                 int32_t n,
                                                                                 uint32_t word) {
    for (int32_t i = 0; i < n; ++i) std::memcpy(p + 4 * size_t(i), &word, 4);
}

// Scan-line flood over the candidates of `area` from the seed (edge neighbours); the filled
// bytes become kKept. Returns the bounds of the fill.
Rect Flood(uint8_t* bytes, int32_t width, const Rect& area, Point seed) {
    Rect bounds;
    std::vector<Span> stack;
    auto run = [&](int32_t y, int32_t x) {
        uint8_t* row = bytes + size_t(y) * size_t(width);
        const int32_t l = RunLeft(row, x, area.left), r = RunRight(row, x + 1, area.right);
        std::memset(row + l, kKept, size_t(r - l));
        bounds = bounds.Union({l, y, r, y + 1});
        stack.push_back({y, l, r});
        return r;
    };
    run(seed.y, seed.x);
    while (!stack.empty()) {
        const Span s = stack.back();
        stack.pop_back();
        for (int32_t ny : {s.y - 1, s.y + 1}) {
            if (ny < area.top || ny >= area.bottom) continue;
            const uint8_t* row = bytes + size_t(ny) * size_t(width);
            for (int32_t x = s.left; x < s.right;) {
                const void* at = std::memchr(row + x, kCandidate, size_t(s.right - x));
                if (!at) break;
                x = run(ny, int32_t(static_cast<const uint8_t*>(at) - row));
            }
        }
    }
    return bounds;
}

// The brush's colour rule for one strength e over every alpha a pixel may have, as tables of
// the result channel by old channel, so that a fill without a selection costs three lookups a
// pixel.
class LayTable {
public:
    LayTable(const PercentTables& t, const uint8_t fore[3], int e) {
        for (int a = 1; a <= 100; ++a) {
            const int k = t.T100(100 - e, a);
            const int total = std::min(100, e + k);
            m_alpha[a] = uint8_t(total);
            for (int i = 0; i < 3; ++i)
                for (int v = 0; v < 256; ++v)
                    m_channel[a][i][v] =
                        uint8_t(std::min(255, (t.T100(v, k) + t.T100(fore[i], e)) * 100 / total));
        }
        m_fore[0] = fore[0];
        m_fore[1] = fore[1];
        m_fore[2] = fore[2];
        m_e = uint8_t(e);
        // At full strength every pixel comes out as the colour itself: one word for all.
        m_solid = true;
        for (int a = 1; a <= 100; ++a) {
            m_solid = m_solid && m_alpha[a] == e;
            for (int i = 0; i < 3; ++i)
                for (int v = 0; v < 256; ++v) m_solid = m_solid && m_channel[a][i][v] == fore[i];
        }
        const uint8_t word[4] = {fore[0], fore[1], fore[2], uint8_t(e)};
        std::memcpy(&m_word, word, 4);
    }
    // Whether every pixel of alpha 0..100 becomes Word().
    bool Solid() const { return m_solid; }
    uint32_t Word() const { return m_word; }
    // Only for 0 < e and a <= 100, as LayColor would give.
    void Lay(uint8_t* p) const {
        const int a = p[3];
        if (a == 0) {
            p[0] = m_fore[0];
            p[1] = m_fore[1];
            p[2] = m_fore[2];
            p[3] = m_e;
            return;
        }
        const auto& c = m_channel[a];
        p[0] = c[0][p[0]];
        p[1] = c[1][p[1]];
        p[2] = c[2][p[2]];
        p[3] = m_alpha[a];
    }

private:
    uint8_t m_channel[101][3][256];
    uint8_t m_alpha[101] = {};
    uint8_t m_fore[3];
    uint8_t m_e = 0;
    bool m_solid = false;
    uint32_t m_word = 0;
};

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
    std::unique_ptr<RowReader> maskRows = mask ? OpenRowReader(*mask) : nullptr;
    auto maskRow = [&](int32_t y) -> const uint8_t* {
        if (!maskRows || y < mb.top || y >= mb.bottom) return nullptr;
        return maskRows->Row(uint32_t(mask->StoredRowOf(y)));
    };
    if (mask) {
        const uint8_t* row = mb.Contains(seed) ? maskRow(seed.y) : nullptr;
        if (!row || row[seed.x - mb.left] == 0) return 0;
    }

    const bool pixels = layer->Kind() == LayerKind::Pixel && layer->HasPixels();
    const Rect lb = pixels ? layer->Bounds() : Rect{};
    std::unique_ptr<RowReader> layerRows = pixels ? OpenRowReader(*layer) : nullptr;
    if (pixels && !layerRows) return 0;
    uint8_t seedPx[4] = {0, 0, 0, 0};
    if (lb.Contains(seed)) {
        const uint8_t* row = layerRows->Row(uint32_t(layer->StoredRowOf(seed.y)));
        if (!row) return 0;
        std::memcpy(seedPx, row + 4 * size_t(seed.x - lb.left), 4);
    }
    const bool transparent = seedPx[3] == 0;
    // The seed's tolerance box per channel: v lies in it when uint8_t(v - low) <= span, a test
    // without lookups that the compiler can run on many pixels at once.
    uint8_t boxLow[3], boxSpan[3], boxAny = 1;  // no box at all below tolerance 0
    for (int c = 0; c < 3; ++c) {
        const int lo = std::max(0, int(seedPx[c]) - fill.tolerance);
        const int hi = std::min(255, int(seedPx[c]) + fill.tolerance);
        boxLow[c] = uint8_t(lo);
        boxSpan[c] = uint8_t(std::max(hi - lo, 0));
        if (hi < lo) boxAny = 0;
    }
    Rect search = transparent ? canvas : lb.Intersect(canvas);
    if (mask) search = search.Intersect(mb);
    if (search.IsEmpty()) return 0;

    if (!workspace.EnsureStrokeCapacity(canvas.Width(), canvas.Height())) return 0;
    CandidateBytes work;
    FileDynamicStore& store = workspace.Store();
    work.view = StrokeBlockView().Take(store, workspace.StrokeBlock(), work.key);
    if (!work.view.IsValid() ||
        work.view.Length() < uint64_t(canvas.Width()) * uint64_t(canvas.Height())) {
        ShowInternalError(1051);
        return 0;
    }
    uint8_t* bytes = work.view.Data();
    const int32_t w = canvas.Width();
    work.dirtyFrom = size_t(search.top) * size_t(w);
    work.dirtyBytes = size_t(search.Height()) * size_t(w);
    PrefaultForWrite(bytes + work.dirtyFrom, work.dirtyBytes);

    // The candidates, a row at a time; the part of a row off the layer is transparent.
    Rect all;
    for (int32_t y = search.top; y < search.bottom; ++y) {
        uint8_t* out = bytes + size_t(y) * size_t(w);
        const uint8_t* lrow = nullptr;
        int32_t l0 = search.right, l1 = search.right;  // the row's columns on the layer
        if (y >= lb.top && y < lb.bottom) {
            lrow = layerRows->Row(uint32_t(layer->StoredRowOf(y)));
            if (!lrow) return 0;
            l0 = std::clamp(lb.left, search.left, search.right);
            l1 = std::clamp(lb.right, search.left, search.right);
        }
        if (transparent) {
            std::memset(out + search.left, kCandidate, size_t(l0 - search.left));
            std::memset(out + l1, kCandidate, size_t(search.right - l1));
            for (int32_t x = l0; x < l1; ++x) out[x] = lrow[4 * size_t(x - lb.left) + 3] == 0;
        } else {
            const uint8_t* p = lrow + 4 * size_t(l0 - lb.left);
            for (int32_t x = l0; x < l1; ++x, p += 4)
                out[x] = uint8_t(boxAny & (p[3] != 0) & (uint8_t(p[0] - boxLow[0]) <= boxSpan[0]) &
                                 (uint8_t(p[1] - boxLow[1]) <= boxSpan[1]) &
                                 (uint8_t(p[2] - boxLow[2]) <= boxSpan[2]));
        }
        if (mask) {
            const uint8_t* mrow = maskRow(y);
            if (!mrow) return 0;
            for (int32_t x = search.left; x < search.right; ++x)
                out[x] &= uint8_t(mrow[x - mb.left] != 0);
        }
        const uint8_t* first = static_cast<const uint8_t*>(
            std::memchr(out + search.left, kCandidate, size_t(search.Width())));
        if (!first) continue;
        int32_t last = search.right - 1;
        while (out[last] != kCandidate) --last;
        all = all.Union({int32_t(first - out), y, last + 1, y + 1});
    }
    uint8_t keep = kCandidate;
    Rect filled = all;
    if (fill.contiguous) {
        filled = Flood(bytes, w, search, seed);
        keep = kKept;
    }

    Rect area = lb.Union(filled);
    if (int64_t(area.Width()) * int64_t(area.Height()) > kMaxLayerPixels) {
        AppMessages().Show(kWillBeCutMessage);
        area = area.Intersect(canvas);
    }
    // The new layer's rows are written whole below (the old pixels, zeros around them), so
    // its block needs neither clearing nor a copy first.
    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 0);
    if (!fresh) return 0;
    // Written by pwrite: a mapped window would fault on every page of the new block.
    std::unique_ptr<RowWriter> out = OpenRowWriter(*fresh);
    if (!out) return edit.CommitLayerEdit(0), 0;
    const uint8_t fore[3] = {BlueOf(fill.foreground), GreenOf(fill.foreground),
                             RedOf(fill.foreground)};
    const int opacity = std::clamp(fill.opacity, 0, 100);
    const std::unique_ptr<LayTable> table =
        !mask && opacity > 0 ? std::make_unique<LayTable>(t, fore, opacity) : nullptr;
    const Rect put = filled.Intersect(area);
    const Rect old = lb.Intersect(area);
    auto fail = [&] {
        out.reset();
        return edit.CommitLayerEdit(0), 0;
    };
    for (int32_t y = area.top; y < area.bottom; ++y) {
        uint8_t* row = out->Row(uint32_t(fresh->StoredRowOf(y)));
        if (!row) return fail();
        if (y >= old.top && y < old.bottom) {
            const uint8_t* src = layerRows->Row(uint32_t(layer->StoredRowOf(y)));
            if (!src) return fail();
            std::memset(row, 0, 4 * size_t(old.left - area.left));
            std::memcpy(row + 4 * size_t(old.left - area.left),
                        src + 4 * size_t(old.left - lb.left), 4 * size_t(old.Width()));
            std::memset(row + 4 * size_t(old.right - area.left), 0,
                        4 * size_t(area.right - old.right));
        } else {
            std::memset(row, 0, 4 * size_t(area.Width()));
        }
        if (y < put.top || y >= put.bottom) continue;
        const uint8_t* cand = bytes + size_t(y) * size_t(w);
        const uint8_t* mrow = mask ? maskRow(y) : nullptr;
        if (mask && !mrow) return fail();
        for (int32_t x = put.left; x < put.right;) {
            const void* at = std::memchr(cand + x, keep, size_t(put.right - x));
            if (!at) break;
            x = int32_t(static_cast<const uint8_t*>(at) - cand);
            const int32_t end = RunEnd(cand, x + 1, put.right, keep);
            uint8_t* p = row + 4 * size_t(x - area.left);
            if (table && table->Solid()) {
                const uint32_t word = table->Word();
                if (AllPercent(p, end - x)) {
                    PutWord(p, end - x, word);
                    x = end;
                    continue;
                }
                for (; x < end; ++x, p += 4) {
                    if (p[3] <= 100)
                        std::memcpy(p, &word, 4);
                    else
                        LayColor(t, p, fore, opacity, p);
                }
                continue;
            }
            for (; x < end; ++x, p += 4) {
                if (table && p[3] <= 100) {
                    table->Lay(p);
                } else {
                    const int e = mask ? t.T100(opacity, mrow[x - mb.left]) : opacity;
                    LayColor(t, p, fore, e, p);
                }
            }
        }
    }
    if (!out->Flush()) return fail();
    out.reset();
    return edit.CommitLayerEdit(1, "Paint Bucket Tool");
}

}  // namespace zelvo
