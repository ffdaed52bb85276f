#include "paint/HealingBrush.h"

#include "paint/Healing.h"
#include "platform/Messages.h"

namespace zelvo {

int CommitHealingStroke(HistoryManager& history, StrokeSession& stroke, Point sourceOffset) {
    StrokePainter& painter = stroke.Painter();
    const StrokeTarget t = painter.Target();
    const Rect dirty =
        stroke.Dirty().Union(painter.Painted()).Intersect({0, 0, t.canvasWidth, t.canvasHeight});
    if (painter.Dabs() == 0 || dirty.IsEmpty() || !t.layer || t.layer->Kind() != LayerKind::Pixel ||
        !ConfirmHealSize(dirty)) {
        DiscardStroke(stroke);
        return 0;
    }
    const uint64_t touched = painter.Touched();
    painter.End();
    HealSetup s;
    s.store = t.store;
    s.records = t.records;
    s.canvasWidth = t.canvasWidth;
    s.canvasHeight = t.canvasHeight;
    s.layer = t.layer.get();
    s.source = t.layer.get();
    s.sourceOffset = sourceOffset;
    s.mask = t.mask.get();
    if (!HealRecords(s, dirty)) {
        // The clone preview is no heal: nothing is committed rather than the preview.
        ZeroRecords(t, dirty);
        AppMessages().Show("程序内部出现错误! 1052");
        return 0;
    }
    return CommitRecords(history, t, dirty, touched, true, "Healing Brush Tool");
}

}  // namespace zelvo
