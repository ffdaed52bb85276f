#include "geometry/RebuildCanvas.h"

#include "layers/InkBox.h"
#include "layers/TextLayer.h"
#include "platform/Feedback.h"

namespace zelvo {

int RebuildCanvas(HistoryManager& history, const std::string& name, int32_t width, int32_t height,
                  const CanvasLayerRules& rules) {
    LayerManager& lm = history.Layers();
    CanvasRebuild rebuild(history);
    {
        // The bar ends before the new list goes in.
        ProgressRun progress(lm.LayerCount(), rules.showProgress);
        for (const LayerPtr& old : lm.Layers()) {
            LayerPtr fresh;
            switch (old->Kind()) {
                case LayerKind::Pixel:
                    fresh = rules.pixel(old);
                    break;
                case LayerKind::Text: {
                    const float fontScale = old->Text().direction == kTextVertical
                                                ? rules.fontScaleVertical
                                                : rules.fontScaleHorizontal;
                    Rect box;
                    if (rules.mapTextBox && MaskInkBox(*old, box) && !box.IsEmpty()) {
                        const Rect to = rules.mapTextBox(box);
                        const auto shift = [&](Point p) {
                            return Point{p.x - box.left + to.left, p.y - box.top + to.top};
                        };
                        fresh = RebuildVectorLayer(lm, *old, width, height, shift, fontScale);
                    } else {
                        fresh = RebuildVectorLayer(lm, *old, width, height, rules.map, fontScale);
                    }
                    break;
                }
                case LayerKind::Curve:
                    fresh = RebuildVectorLayer(lm, *old, width, height, rules.map);
                    break;
                case LayerKind::Null:
                    fresh = NewLayerLike(lm, *old, LayerKind::Null, 0, 0);
                    break;
            }
            if (!fresh) return 0;
            rebuild.Add(std::move(fresh));
            progress.Step();
        }
    }
    return rebuild.Commit(name, width, height, rules.resolution);
}

}  // namespace zelvo
