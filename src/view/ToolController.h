// What the image view forwards to the tools: mouse, keys, drops and the overlay it paints over
// the picture. The view knows nothing of the tools behind it; the controller gets the view's
// zoom and scroll model (ImageView) with every event, in client coordinates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Types.h"

namespace zelvo {

class ImageView;

enum MouseButton : int { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };
enum KeyModifier : int { kShift = 1, kControl = 2, kAlt = 4 };

struct ViewMouse {
    Point client;
    int button = 0;   // the button that changed (down, up), 0 for a move
    int buttons = 0;  // the buttons held
    int modifiers = 0;
};

// Lines and rectangles over the picture, in client coordinates.
class OverlayCanvas {
public:
    virtual ~OverlayCanvas() = default;
    virtual void Line(Point from, Point to, ColorRef color) = 0;
    virtual void Frame(const Rect& rect, ColorRef color) = 0;
};

class ToolController {
public:
    virtual ~ToolController() = default;
    virtual void MouseDown(ImageView& /*view*/, const ViewMouse& /*m*/) {}
    virtual void MouseMove(ImageView& /*view*/, const ViewMouse& /*m*/) {}
    virtual void MouseUp(ImageView& /*view*/, const ViewMouse& /*m*/) {}
    virtual void DoubleClick(ImageView& /*view*/, const ViewMouse& /*m*/) {}
    // True when the key was used.
    virtual bool Key(ImageView& /*view*/, int /*key*/, bool /*down*/, int /*modifiers*/) {
        return false;
    }
    // A wheel turn the view does not use for zooming; true when used.
    virtual bool Wheel(ImageView& /*view*/, int /*delta*/, int /*modifiers*/) { return false; }
    // Files dragged over or dropped on the view; true when accepted.
    virtual bool DragOver(ImageView& /*view*/, const std::vector<std::string>& /*paths*/) {
        return false;
    }
    virtual bool Drop(ImageView& /*view*/, const std::vector<std::string>& /*paths*/) {
        return false;
    }
    // The mouse capture went away while the controller held it.
    virtual void CaptureLost(ImageView& /*view*/) {}
    virtual void Overlay(ImageView& /*view*/, OverlayCanvas& /*canvas*/) {}
    // A tool operation is in progress (a drag, a stroke, a polygon being drawn).
    virtual bool Busy() const { return false; }
    // The polygonal marquee is in the middle of a selection (the wheel does not zoom then).
    virtual bool PolygonBusy() const { return false; }
    // Whether the selection outline may be animated now; a tool that draws over the outline
    // says no while it does. Asked on the animator thread: it may read only atomics or state
    // that does not change while the controller lives.
    virtual bool AllowsOutlineAnimation() const { return true; }
};

// The Hand tool: dragging with the left button scrolls the view.
class HandTool : public ToolController {
public:
    void MouseDown(ImageView& view, const ViewMouse& m) override;
    void MouseMove(ImageView& view, const ViewMouse& m) override;
    void MouseUp(ImageView& view, const ViewMouse& m) override;
    void CaptureLost(ImageView&) override { m_dragging = false; }
    bool Busy() const override { return m_dragging; }

private:
    bool m_dragging = false;
    Point m_press;
    int32_t m_scrollX = 0, m_scrollY = 0;
};

}  // namespace zelvo
