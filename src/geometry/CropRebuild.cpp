#include "geometry/CropRebuild.h"

#include "geometry/Geometry.h"
#include "geometry/ImageSize.h"
#include "geometry/RebuildCanvas.h"
#include "platform/Feedback.h"

namespace zelvo {

int CropRebuild(HistoryManager& history, const Rect& frame, int32_t width, int32_t height,
                int32_t resolution, int32_t& documentResolution, ResampleMode mode) {
    LayerManager& lm = history.Layers();
    if (frame.IsEmpty() || width < 1 || height < 1 || width > kMaxImageSide ||
        height > kMaxImageSide || int64_t(width) * int64_t(height) > kMaxImagePixels ||
        !lm.CheckLayerList())
        return 0;
    WaitCursor wait;
    const float sx = float(width) / float(frame.Width());
    const float sy = float(height) / float(frame.Height());
    const Rect canvas{0, 0, width, height};
    const auto map = [&frame, sx, sy](Point p) -> Point {
        return {RoundR3(float(p.x - frame.left) * sx), RoundR3(float(p.y - frame.top) * sy)};
    };

    CanvasLayerRules rules;
    rules.pixel = [&](const LayerPtr& old) {
        const Rect moved = old->Bounds().Offset(-frame.left, -frame.top);
        return ResampleLayer(lm, *old, ScaledLayerRect(moved, sx, sy), sx, sy, mode, canvas, true);
    };
    rules.map = map;
    rules.fontScaleHorizontal = sy;
    rules.fontScaleVertical = sx;
    rules.showProgress = true;
    rules.resolution = resolution;
    if (!RebuildCanvas(history, "Crop", width, height, rules)) return 0;
    documentResolution = resolution;
    return 1;
}

}  // namespace zelvo
