// The layer-list rebuild every canvas command ends with (Image Size, Canvas Size, Rotate
// Canvas, the crop): each layer remade for the new canvas by its kind, then one history state.
#pragma once

#include <functional>
#include <string>

#include "geometry/Geometry.h"

namespace zelvo {

// How a canvas command remakes each layer: a pixel layer by `pixel` (null when the store had
// no room; it has told the user), a text or curve layer over the new canvas with its anchors
// through `map` and a text's font scaled by `fontScale` (down the canvas for horizontal text,
// across it for vertical), a null layer as a new null layer.
struct CanvasLayerRules {
    std::function<LayerPtr(const LayerPtr& old)> pixel;
    std::function<Point(Point)> map;
    // A turn or mirror of the canvas: a text keeps its own direction, so its drawn box (the
    // ink on the canvas) goes where this puts the old one; mapping its origin alone would carry
    // the text off the canvas.
    std::function<Rect(const Rect&)> mapTextBox;
    float fontScaleHorizontal = 1.0f;
    float fontScaleVertical = 1.0f;
    bool showProgress = false;  // one step of the progress bar per layer
    int32_t resolution = 0;     // Image Size and Crop: the document's new one, set with the state
};
// Rebuilds every layer by `rules` over a `width` x `height` canvas and records the one history
// state `name`. Returns 0 (the document untouched) when a layer could not be made.
int RebuildCanvas(HistoryManager& history, const std::string& name, int32_t width, int32_t height,
                  const CanvasLayerRules& rules);

}  // namespace zelvo
