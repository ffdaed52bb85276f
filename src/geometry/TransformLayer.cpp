#include "geometry/TransformLayer.h"

#include "geometry/Geometry.h"
#include "geometry/RotateCanvas.h"
#include "history/PixelEdit.h"

namespace zelvo {

Rect TransformedLayerRect(const Rect& r, int code) {
    if (code != kRotateCounterclockwise && code != kRotateClockwise) return r;
    const int32_t w = r.Width(), h = r.Height();
    const int32_t left = r.left + w / 2 - h / 2, top = r.top + h / 2 - w / 2;
    return {left, top, left + h, top + w};
}

int TransformLayer(HistoryManager& history, int code) {
    if (code < kRotateCounterclockwise || code > kFlipVertical ||
        !GeometryCommandEnabled(GeometryCommand::TransformLayer, history))
        return 0;
    LayerManager& lm = history.Layers();
    const Rect r = TransformedLayerRect(lm.LayerAt(lm.CurrentIndex())->Bounds(), code);
    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginRectEdit(r.left, r.top, r.right, r.bottom, 0);
    if (!fresh) return 0;
    if (!TurnPixels(*edit.OldLayer(), *fresh, code)) {
        edit.CommitLayerEdit(0);
        return 0;
    }
    return edit.CommitLayerEdit(1, "Transform Layer");
}

}  // namespace zelvo
