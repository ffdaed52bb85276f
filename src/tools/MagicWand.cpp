#include "tools/MagicWand.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/InternalError.h"
#include "doc/Image.h"
#include "layers/Layer.h"
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

// Zeroes the work bytes on every way out: the stroke block is all zeros between uses.
struct WorkBytes {
    MappedView view;
    uint64_t length = 0;
    ~WorkBytes() {
        if (view.IsValid()) std::memset(view.Data(), 0, length);
    }
};

struct Span {
    int32_t y, left, right;  // [left, right)
};

// A scan-line fill over the candidate bytes from the seed; filled bytes become kFilled. The
// bounding rectangle of what was filled comes back.
Rect Fill(uint8_t* bytes, int32_t w, int32_t h, Point seed) {
    Rect bounds{seed.x, seed.y, seed.x + 1, seed.y + 1};
    std::vector<Span> stack;
    auto run = [&](int32_t y, int32_t x) {
        uint8_t* row = bytes + size_t(y) * size_t(w);
        int32_t l = x, r = x + 1;
        while (l > 0 && row[l - 1] == kCandidate) --l;
        while (r < w && row[r] == kCandidate) ++r;
        std::memset(row + l, kFilled, size_t(r - l));
        bounds.left = std::min(bounds.left, l);
        bounds.right = std::max(bounds.right, r);
        bounds.top = std::min(bounds.top, y);
        bounds.bottom = std::max(bounds.bottom, y + 1);
        stack.push_back({y, l, r});
    };
    run(seed.y, seed.x);
    while (!stack.empty()) {
        const Span s = stack.back();
        stack.pop_back();
        for (int32_t ny : {s.y - 1, s.y + 1}) {
            if (ny < 0 || ny >= h) continue;
            const uint8_t* row = bytes + size_t(ny) * size_t(w);
            for (int32_t x = s.left; x < s.right; ++x)
                if (row[x] == kCandidate) run(ny, x);
        }
    }
    return bounds;
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
    int lo[3], hi[3];
    for (int c = 0; c < 3; ++c) {
        lo[c] = std::max(0, int(sp[c]) - tolerance);
        hi[c] = std::min(255, int(sp[c]) + tolerance);
    }

    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    if (pixels > workspace.StrokeCapacity() * Workspace::kStrokeBytesPerPixel &&
        !workspace.EnsureStrokeCapacity(w, h)) {
        result.status = WandResult::Failed;
        layer.ReleaseRows();
        return result;
    }
    FileDynamicStore& store = workspace.Store();
    WorkBytes work;
    work.view = MappedView(store, store.Payload(workspace.StrokeBlock()).offset, pixels);
    if (!work.view.IsValid()) {
        ShowInternalError(1054);
        result.status = WandResult::Failed;
        layer.ReleaseRows();
        return result;
    }
    work.length = pixels;
    uint8_t* bytes = work.view.Data();

    // Candidates, rows top first; the bounds of all of them serve the non-contiguous search.
    Rect all;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = rows->Row(uint32_t(StoredDib::StoredRow(y, h)));
        if (!p) {
            result.status = WandResult::Failed;
            layer.ReleaseRows();
            return result;
        }
        uint8_t* out = bytes + size_t(y) * size_t(w);
        int32_t first = -1, last = -1;
        for (int32_t x = 0; x < w; ++x, p += 4) {
            const bool in = p[3] != 0 && p[0] >= lo[0] && p[0] <= hi[0] && p[1] >= lo[1] &&
                            p[1] <= hi[1] && p[2] >= lo[2] && p[2] <= hi[2];
            out[x] = in ? kCandidate : 0;
            if (in) {
                if (first < 0) first = x;
                last = x;
            }
        }
        if (first >= 0) all = all.Union({first, y, last + 1, y + 1});
    }
    layer.ReleaseRows();

    uint8_t keep = kCandidate;
    Rect bounds = all;
    if (contiguous) {
        bounds = Fill(bytes, w, h, local);
        keep = kFilled;
    }
    const Rect area = bounds.Offset(pos.x, pos.y).Intersect(canvas);
    result.shape = ShapePlane(area);
    for (int32_t cy = area.top; cy < area.bottom; ++cy) {
        const uint8_t* row = bytes + size_t(cy - pos.y) * size_t(w);
        int32_t x = area.left;
        while (x < area.right) {
            while (x < area.right && row[x - pos.x] != keep) ++x;
            const int32_t start = x;
            while (x < area.right && row[x - pos.x] == keep) ++x;
            if (x > start) result.shape.SetRun(cy, start, x);
        }
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
