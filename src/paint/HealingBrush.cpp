#include "paint/HealingBrush.h"

#include "paint/Healing.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

Rect DirtyRect(StrokeSession& stroke) {
    const StrokeTarget& t = stroke.Painter().Target();
    return stroke.Dirty()
        .Union(stroke.Painter().Painted())
        .Intersect({0, 0, t.canvasWidth, t.canvasHeight});
}

}  // namespace

bool HealStroke(StrokeSession& stroke, Point sourceOffset) {
    StrokePainter& painter = stroke.Painter();
    const StrokeTarget& t = painter.Target();
    const Rect dirty = DirtyRect(stroke);
    if (painter.Dabs() == 0 || dirty.IsEmpty()) return true;
    if (!t.layer || t.layer->Kind() != LayerKind::Pixel || !ConfirmHealSize(dirty)) return false;
    HealSetup s;
    s.store = t.store;
    s.records = t.records;
    s.canvasWidth = t.canvasWidth;
    s.canvasHeight = t.canvasHeight;
    s.layer = t.layer.get();
    s.source = t.layer.get();
    s.sourceOffset = sourceOffset;
    s.mask = t.mask.get();
    if (HealRecords(s, dirty)) return true;
    // The clone preview is no heal: nothing is committed rather than the preview.
    AppMessages().Show("程序内部出现错误! 1052");
    return false;
}

int CommitHealingStroke(HistoryManager& history, StrokeSession& stroke, Point sourceOffset) {
    StrokePainter& painter = stroke.Painter();
    if (painter.Dabs() == 0 || !HealStroke(stroke, sourceOffset)) {
        DiscardStroke(stroke);
        return 0;
    }
    const StrokeTarget t = painter.Target();
    const Rect dirty = DirtyRect(stroke);
    const uint64_t touched = painter.Touched();
    painter.End();
    return CommitRecords(history, t, dirty, touched, true, "Healing Brush Tool");
}

}  // namespace zelvo
