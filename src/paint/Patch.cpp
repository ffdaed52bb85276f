#include "paint/Patch.h"

#include <memory>

#include "history/HistoryManager.h"
#include "paint/Stroke.h"
#include "platform/Messages.h"
#include "selection/SelectionMask.h"
#include "store/RowCursor.h"
#include "workspace/Workspace.h"

namespace zelvo {

PatchPlan PlanPatch(const Rect& maskBounds, Point offset, PatchMode mode, int32_t canvasWidth,
                    int32_t canvasHeight) {
    const Rect canvas{0, 0, canvasWidth, canvasHeight};
    if (mode == PatchMode::Source) return {maskBounds.Intersect(canvas), offset, {0, 0}};
    return {
        maskBounds.Offset(offset.x, offset.y).Intersect(canvas), {-offset.x, -offset.y}, offset};
}

int ApplyPatch(HistoryManager& history, Workspace& ws, Point offset, PatchMode mode) {
    const Rect canvas = CanvasRect(history.Layers());
    if (!ws.EnsureStrokeCapacity(canvas.right, canvas.bottom)) return 0;
    StrokeTarget base;
    base.store = &ws.Store();
    base.tables = &ws.Tables();
    base.records = ws.StrokeBlock();
    base.canvasWidth = canvas.right;
    base.canvasHeight = canvas.bottom;
    return ApplyPatch(history, base, offset, mode);
}

int ApplyPatch(HistoryManager& history, const StrokeTarget& base, Point offset, PatchMode mode) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.CurrentLayer();
    const LayerPtr mask = lm.Selection();
    if (!layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels() || !mask ||
        (offset.x == 0 && offset.y == 0))
        return 0;
    const PatchPlan plan =
        PlanPatch(mask->Bounds(), offset, mode, base.canvasWidth, base.canvasHeight);
    if (plan.area.IsEmpty() || !ConfirmHealSize(plan.area)) return 0;
    StrokeTarget t = base;
    t.layer = layer;
    t.mask = mask;
    // The selection's values over the healed area become the records' coverage.
    uint64_t touched = 0;
    bool mapped = true;
    {
        RowCursor rec(*t.store, t.records, 0, uint32_t(t.canvasWidth) * 5,
                      uint32_t(t.canvasHeight));
        std::unique_ptr<RowCursor> rows = mask->OpenRows();
        const Rect mb = mask->Bounds();
        for (int32_t cy = plan.area.top; mapped && cy < plan.area.bottom; ++cy) {
            uint8_t* r = rec.Row(uint32_t(cy));
            const int32_t my = cy - plan.maskOffset.y;
            const bool inMask = rows && my >= mb.top && my < mb.bottom;
            const uint8_t* m = inMask ? rows->Row(uint32_t(mask->StoredRowOf(my))) : nullptr;
            if (!r || (inMask && !m)) {
                mapped = false;
                break;
            }
            for (int32_t cx = plan.area.left; m && cx < plan.area.right; ++cx) {
                const int32_t mx = cx - plan.maskOffset.x;
                const uint8_t v = mx >= mb.left && mx < mb.right ? m[mx - mb.left] : 0;
                r[5 * size_t(cx)] = v > 100 ? 100 : v;
                touched += v != 0;
            }
        }
    }
    HealSetup s;
    s.store = t.store;
    s.records = t.records;
    s.canvasWidth = t.canvasWidth;
    s.canvasHeight = t.canvasHeight;
    s.layer = layer.get();
    s.source = layer.get();
    s.sourceOffset = plan.sourceOffset;
    s.mask = mask.get();
    s.maskOffset = plan.maskOffset;
    if (!mapped || touched == 0 || !HealRecords(s, plan.area)) {
        ZeroRecords(t, plan.area);
        if (touched != 0 || !mapped) AppMessages().Show("程序内部出现错误! 1052");
        return 0;
    }
    return CommitRecords(history, t, plan.area, touched, true, "Patch Tool");
}

}  // namespace zelvo
