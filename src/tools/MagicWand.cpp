#include "tools/MagicWand.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/InternalError.h"
#include "core/RowBands.h"
#include "doc/Image.h"
#include "layers/Layer.h"
#include "layers/LayerRows.h"
#include "layers/StoredDib.h"
#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "store/RowCursor.h"
#include "tools/Operations.h"
#include "tools/SelectionGesture.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

constexpr uint8_t kCandidate = 1;
constexpr uint8_t kFilled = 2;
// Candidates are found a band of rows at a time, in row order, when the search first reaches
// the band: a contiguous area near the seed never reads the rest of the layer.
constexpr int32_t kBandRows = 64;

// The per-channel box as wrapping byte offsets: a byte v passes when uint8(v - low) <= span.
// The fourth byte (the alpha) passes when it is not zero: low 1, span 254.
struct ColorBox {
    uint8_t low[4];
    uint8_t span[4];
};

// The candidate bytes of one row of `w` pixels: kCandidate where every byte passes, else 0.
void MatchRow(const uint8_t* p, int32_t w, const ColorBox& box, uint8_t* out) {
    int32_t x = 0;
#if defined(__SSE2__)
    uint32_t low = 0, span = 0;
    for (int c = 0; c < 4; ++c) {
        low |= uint32_t(box.low[c]) << (8 * c);
        span |= uint32_t(box.span[c]) << (8 * c);
    }
    const __m128i vlow = _mm_set1_epi32(int32_t(low));
    const __m128i vspan = _mm_set1_epi32(int32_t(span));
    const __m128i all = _mm_set1_epi32(-1);
    const __m128i mark = _mm_set1_epi8(char(kCandidate));
    for (; x + 16 <= w; x += 16) {
        __m128i pixel[4];
        for (int k = 0; k < 4; ++k) {
            const __m128i v =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * size_t(x + 4 * k)));
            const __m128i d = _mm_sub_epi8(v, vlow);
            const __m128i pass = _mm_cmpeq_epi8(_mm_min_epu8(d, vspan), d);
            pixel[k] = _mm_cmpeq_epi32(pass, all);
        }
        const __m128i words = _mm_packs_epi16(_mm_packs_epi32(pixel[0], pixel[1]),
                                              _mm_packs_epi32(pixel[2], pixel[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_and_si128(words, mark));
    }
#endif
    for (; x < w; ++x) {
        const uint8_t* q = p + 4 * size_t(x);
        bool in = true;
        for (int c = 0; c < 4; ++c) in &= uint8_t(q[c] - box.low[c]) <= box.span[c];
        out[x] = in ? kCandidate : 0;
    }
}

// The work bytes of the search (one per layer pixel, in the stroke work block), filled with
// candidates a band at a time. The bands it filled are zeroed again on every way out: the
// stroke block is all zeros between uses.
class CandidateRows {
public:
    CandidateRows(MappedView view, Layer& layer, const ColorBox& box)
        : m_view(std::move(view)),
          m_layer(layer),
          m_rows(OpenRowReader(layer)),
          m_box(box),
          m_w(layer.Width()),
          m_h(layer.Height()),
          m_bands(size_t((m_h + kBandRows - 1) / kBandRows), false) {}
    ~CandidateRows() {
        for (size_t b = 0; b < m_bands.size(); ++b)
            if (m_bands[b]) std::memset(Bytes(int32_t(b) * kBandRows), 0, BandBytes(b));
        m_layer.ReleaseRows();
    }
    bool Failed() const { return m_failed; }
    // The candidate bytes of row y (top first); null when the layer could not be read.
    uint8_t* Row(int32_t y) {
        const size_t b = size_t(y / kBandRows);
        if (!m_bands[b] && !FillBand(b)) return nullptr;
        return Bytes(y);
    }

private:
    uint8_t* Bytes(int32_t y) { return m_view.Data() + size_t(y) * size_t(m_w); }
    size_t BandBytes(size_t b) const {
        const int32_t top = int32_t(b) * kBandRows;
        return size_t(std::min(kBandRows, m_h - top)) * size_t(m_w);
    }
    bool FillBand(size_t b) {
        if (m_failed || !m_rows) return false;
        m_bands[b] = true;  // from here on its bytes are to be zeroed
        const int32_t top = int32_t(b) * kBandRows, bottom = std::min(m_h, top + kBandRows);
        PrefaultForWrite(Bytes(top), BandBytes(b));
        // Stored rows run bottom-up: the band is read in the file's order.
        for (int32_t y = bottom - 1; y >= top; --y) {
            const uint8_t* p = m_rows->Row(uint32_t(StoredDib::StoredRow(y, m_h)));
            if (!p) {
                m_failed = true;
                return false;
            }
            MatchRow(p, m_w, m_box, Bytes(y));
        }
        return true;
    }

    MappedView m_view;
    Layer& m_layer;
    // Read by pread: the layer is only read, and a mapped window would fault on every page.
    std::unique_ptr<RowReader> m_rows;
    ColorBox m_box;
    int32_t m_w, m_h;
    std::vector<bool> m_bands;
    bool m_failed = false;
};

struct Span {
    int32_t y, left, right;  // [left, right)
};

// A scan-line fill over the candidate bytes from the seed; filled bytes become kFilled. The
// bounding rectangle of what was filled comes back; nullopt when the layer could not be read.
std::optional<Rect> Fill(CandidateRows& rows, int32_t w, int32_t h, Point seed) {
    Rect bounds{seed.x, seed.y, seed.x + 1, seed.y + 1};
    std::vector<Span> stack;
    auto run = [&](uint8_t* row, int32_t y, int32_t x) {
        int32_t l = x, r = x + 1;
        while (l > 0 && row[l - 1] == kCandidate) --l;
        while (r < w && row[r] == kCandidate) ++r;
        std::memset(row + l, kFilled, size_t(r - l));
        bounds.left = std::min(bounds.left, l);
        bounds.right = std::max(bounds.right, r);
        bounds.top = std::min(bounds.top, y);
        bounds.bottom = std::max(bounds.bottom, y + 1);
        stack.push_back({y, l, r});
        return r;
    };
    uint8_t* seedRow = rows.Row(seed.y);
    if (!seedRow) return std::nullopt;
    run(seedRow, seed.y, seed.x);
    while (!stack.empty()) {
        const Span s = stack.back();
        stack.pop_back();
        for (int32_t ny : {s.y - 1, s.y + 1}) {
            if (ny < 0 || ny >= h) continue;
            uint8_t* row = rows.Row(ny);
            if (!row) return std::nullopt;
            for (int32_t x = s.left; x < s.right; ++x)
                if (row[x] == kCandidate) x = run(row, ny, x);
        }
    }
    return bounds;
}

// Not contiguous: every matching pixel, in bands of rows on every core, without work bytes.
// The shape's rectangle is the bounds of the matches over the whole layer, cut to the canvas.
WandResult EveryMatch(Layer& layer, const ColorBox& box, const Rect& canvas) {
    WandResult result;
    const Point pos = layer.Position();
    const int32_t w = layer.Width(), h = layer.Height();
    const Rect plane = Rect{pos.x, pos.y, pos.x + w, pos.y + h}.Intersect(canvas);
    ShapePlane all(plane);
    const uint64_t window = BandWindowBytes(RowBandCount(h, kLeastBandRows));
    const std::optional<Rect> bounds =
        UniteOverBands(h, kLeastBandRows, [&](int32_t first, int32_t end, Rect& found) {
            const std::unique_ptr<RowReader> rows = OpenRowReader(layer, window);
            if (!rows) return false;
            std::vector<uint8_t> match(static_cast<size_t>(w));
            // Stored rows run bottom-up: the band is read in the file's order.
            for (int32_t y = end - 1; y >= first; --y) {
                const uint8_t* p = rows->Row(uint32_t(StoredDib::StoredRow(y, h)));
                if (!p) return false;
                MatchRow(p, w, box, match.data());
                const void* l = std::memchr(match.data(), kCandidate, size_t(w));
                if (!l) continue;
                const void* r = memrchr(match.data(), kCandidate, size_t(w));
                found = found.Union({int32_t(static_cast<const uint8_t*>(l) - match.data()), y,
                                     int32_t(static_cast<const uint8_t*>(r) - match.data()) + 1,
                                     y + 1});
                // Bands set bits of their own rows only.
                all.SetRowWhere(pos.y + y, pos.x, match.data(), w, kCandidate);
            }
            return true;
        });
    layer.ReleaseRows();
    if (!bounds) {
        result.status = WandResult::Failed;
        return result;
    }
    result.shape = all.Cropped(bounds->Offset(pos.x, pos.y).Intersect(canvas));
    return result;
}

}  // namespace

WandResult MagicWandSearch(Workspace& workspace, Layer& layer, Point seed, int tolerance,
                           bool contiguous, const Rect& canvas) {
    WandResult result;
    const Point pos = layer.Position();
    const int32_t w = layer.Width(), h = layer.Height();
    const Point local{seed.x - pos.x, seed.y - pos.y};
    if (!layer.HasPixels() || local.x < 0 || local.y < 0 || local.x >= w || local.y >= h) {
        result.status = WandResult::NoSeed;
        return result;
    }
    RowCursor* rows = layer.Rows();
    const uint8_t* seedRow = rows ? rows->Row(uint32_t(StoredDib::StoredRow(local.y, h))) : nullptr;
    if (!seedRow) {
        result.status = WandResult::Failed;
        return result;
    }
    const uint8_t* sp = seedRow + 4 * size_t(local.x);
    if (sp[3] == 0) {
        result.status = WandResult::NoSeed;
        layer.ReleaseRows();
        return result;
    }
    // The per-channel box, clipped to 0..255.
    ColorBox box{{0, 0, 0, 1}, {0, 0, 0, 254}};
    for (int c = 0; c < 3; ++c) {
        const int lo = std::max(0, int(sp[c]) - tolerance);
        const int hi = std::min(255, int(sp[c]) + tolerance);
        box.low[c] = uint8_t(lo);
        box.span[c] = uint8_t(hi - lo);
    }

    if (!contiguous) return EveryMatch(layer, box, canvas);

    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    // One byte a pixel: a block reserved for a smaller canvas may well hold it already.
    if ((!workspace.StrokeBlock() ||
         pixels > workspace.StrokeCapacity() * Workspace::kStrokeBytesPerPixel) &&
        !workspace.EnsureStrokeCapacity(w, h)) {
        result.status = WandResult::Failed;
        layer.ReleaseRows();
        return result;
    }
    FileDynamicStore& store = workspace.Store();
    MappedView view(store, store.Payload(workspace.StrokeBlock()).offset, pixels);
    if (!view.IsValid()) {
        ShowInternalError(1054);
        result.status = WandResult::Failed;
        layer.ReleaseRows();
        return result;
    }
    CandidateRows candidates(std::move(view), layer, box);

    const std::optional<Rect> filled = Fill(candidates, w, h, local);
    if (!filled) {
        result.status = WandResult::Failed;
        return result;
    }
    // Every row of the bounds holds a candidate the search reached, so it has been read.
    const Rect area = filled->Offset(pos.x, pos.y).Intersect(canvas);
    result.shape = ShapePlane(area);
    for (int32_t cy = area.top; cy < area.bottom; ++cy) {
        const uint8_t* row = candidates.Row(cy - pos.y);
        result.shape.SetRowWhere(cy, area.left, row + (area.left - pos.x), area.Width(), kFilled);
    }
    return result;
}

int MagicWandClick(Image& image, Point seed, int tolerance, bool contiguous, CombineMode mode) {
    LayerManager& lm = image.Layers();
    HistoryManager& h = image.History();
    LayerPtr layer = lm.CurrentLayer();
    if (!layer || layer->Kind() != LayerKind::Pixel) {
        AppMessages().Show("Could not use the magic wand because the target is a curve layer!");
        return 0;
    }
    if (!CanvasRect(lm).Contains(seed)) return HasSelection(lm) ? Deselect(h) : 0;
    WandResult found =
        MagicWandSearch(image.GetWorkspace(), *layer, seed, tolerance, contiguous, CanvasRect(lm));
    if (found.status == WandResult::NoSeed) {
        AppMessages().Show("Warning:No pixels were selected.");
        return 0;
    }
    if (found.status == WandResult::Failed) return 0;
    return CombineSelection(h, found.shape, mode, "Magic Wand Select");
}

namespace {

class MagicWandTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        const ToolOptions& o = Tools().Options();
        if (o.SelectionMode() == CombineMode::New && m_move.Start(view, m.client)) return true;
        MagicWandClick(view.GetImage(), ViewToCanvas(view, m.client),
                       o.GetInt(kToolMagicWand, "tolerance"),
                       o.GetInt(kToolMagicWand, "contiguous") != 0, o.SelectionMode());
        view.RequestRender(1);
        return false;
    }
    void Move(ImageView& view, const ViewMouse& m) override { m_move.Move(view, m); }
    bool Release(ImageView& view, const ViewMouse& m) override {
        m_move.Move(view, m);
        m_move.Finish(view);
        return false;
    }
    void Finish(ImageView& view) override { m_move.Finish(view); }
    void Abandon() override { m_move.Abandon(); }
    CursorShape Cursor() const override { return CursorShape::Wand; }

private:
    OutlineMove m_move;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeMagicWandTool(ToolController& tools) {
    return std::make_unique<MagicWandTool>(tools);
}

}  // namespace zelvo
