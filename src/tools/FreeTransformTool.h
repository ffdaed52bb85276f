// The free-transform mode (Ctrl+T, tool 1089 without a button of its own): the frame over the
// current pixel or curve layer, its handles, the options bar's buttons, Enter and Esc.
#pragma once

#include "geometry/FreeTransform.h"
#include "tools/ToolController.h"

namespace zelvo {

// Ctrl+T over the view's document: the frame over the current pixel layer, or over a curve
// layer's anchors (a curve edit opens). False when a tool is busy or the layer cannot be
// transformed (a text layer is refused with its message, a null layer does nothing).
bool EnterFreeTransform(ToolController& tools, ImageView& view);
// The buttons while the mode is pending; false when it is not.
bool FreeTransformButton(ToolController& tools, FrameButton button);
// "Commit" (Enter) or "Cancel" (Esc); false when the mode is not pending.
bool EndFreeTransform(ToolController& tools, bool commit);
// The pending frame (canvas coordinates), null when the mode is not pending.
const FrameCorners* PendingFreeTransform(const ToolController& tools);
// The pixel layer a pending free transform draws again at its commit, and its document; empty
// when nothing is pending or the layer is a curve layer (its anchors follow the frame at once).
struct PendingPixelTransform {
    Image* image = nullptr;
    LayerPtr layer;
};
PendingPixelTransform PendingPixelTransformOf(const ToolController& tools);

}  // namespace zelvo
