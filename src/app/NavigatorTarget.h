// What the Navigator palette needs from the active image view: its zoom, the part of the canvas
// it shows, the thumbnail, and scrolling. The view implements it; the palette never reaches
// into the view's widgets.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Types.h"

namespace zelvo {

class NavigatorTarget {
public:
    virtual ~NavigatorTarget() = default;
    // Screen pixels per canvas pixel, 0.05 .. 8.0.
    virtual float Zoom() const = 0;
    // Zooms the view to `factor` (clamped), re-lays it out and repaints it; marks the view as
    // changed.
    virtual void ApplyZoom(float factor) = 0;
    virtual int32_t CanvasWidth() const = 0;
    virtual int32_t CanvasHeight() const = 0;
    // The part of the canvas shown, in canvas pixels.
    virtual Rect VisibleRect() const = 0;
    // A 24-bit DIB (header + bottom-up rows) of the composite fitted into width x height.
    virtual std::vector<uint8_t> Thumbnail(int32_t width, int32_t height) = 0;
    // Scrolls so that the zoomed canvas point (x, y) comes into view, as the Hand tool does.
    virtual void ScrollToZoomedPoint(int32_t x, int32_t y) = 0;
    // True while a tool operation is in progress in the view (the navigator then stays still).
    virtual bool ToolBusy() const = 0;
};

}  // namespace zelvo
