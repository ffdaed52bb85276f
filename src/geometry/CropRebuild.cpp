#include "geometry/CropRebuild.h"

#include "geometry/Geometry.h"
#include "geometry/ImageSize.h"
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

    Feedback& progress = AppFeedback();
    progress.BeginProgress(lm.LayerCount());
    CanvasRebuild rebuild(history);
    for (const LayerPtr& old : lm.Layers()) {
        LayerPtr fresh;
        switch (old->Kind()) {
            case LayerKind::Pixel: {
                const Rect moved = old->Bounds().Offset(-frame.left, -frame.top);
                fresh = ResampleLayer(lm, *old, ScaledLayerRect(moved, sx, sy), sx, sy, mode,
                                      canvas, true);
                break;
            }
            case LayerKind::Text: {
                const float fontScale = old->Text().direction == kTextVertical ? sx : sy;
                fresh = RebuildVectorLayer(lm, *old, width, height, map, fontScale);
                break;
            }
            case LayerKind::Curve:
                fresh = RebuildVectorLayer(lm, *old, width, height, map);
                break;
            case LayerKind::Null:
                fresh = NewLayerLike(lm, *old, LayerKind::Null, 0, 0);
                break;
        }
        if (!fresh) {
            progress.EndProgress();
            return 0;
        }
        rebuild.Add(std::move(fresh));
        progress.StepProgress();
    }
    progress.EndProgress();
    if (!rebuild.Commit("Crop", width, height)) return 0;
    documentResolution = resolution;
    return 1;
}

}  // namespace zelvo
