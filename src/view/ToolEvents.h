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
// kSpace: the Space bar is held (the temporary Hand tool); the controller also follows it by
// the Space key's own down and up.
enum KeyModifier : int { kShift = 1, kControl = 2, kAlt = 4, kSpace = 8 };

// Key codes as the view delivers them: printable keys by their upper-case character, the
// others by these codes (the numbers Qt uses, so the GUI view passes its keys unchanged).
enum ViewKey : int {
    kKeySpace = 0x20,
    kKeyEscape = 0x01000000,
    kKeyReturn = 0x01000004,
    kKeyEnter = 0x01000005,
    kKeyDelete = 0x01000007,
    kKeyLeft = 0x01000012,
    kKeyUp = 0x01000013,
    kKeyRight = 0x01000014,
    kKeyDown = 0x01000015,
    kKeyShift = 0x01000020,
    kKeyControl = 0x01000021,
    kKeyAlt = 0x01000023,
};

// The pointer a tool asks the view to show.
enum class CursorShape {
    Arrow,       // the standard cursor
    Hand,        // Hand tool, Space held
    Move,        // Move tool, Ctrl held
    Cross,       // marquees, crop, measure, gradient
    Lasso,       // freeform and polygonal marquee
    Wand,        // magic wand
    Zoom,        // zoom tool
    Eyedropper,  // eyedropper
    Bucket,      // paint bucket
    Text,        // text tool
    Pen,         // curve tool
    Source,      // clone stamp and healing brush with Alt: picking the source
    Circle,      // brush-driven tools: a circle of CursorInfo::size pixels
};

struct CursorInfo {
    CursorShape shape = CursorShape::Arrow;
    int size = 0;  // the circle's diameter on screen, 5 .. 200
    friend bool operator==(const CursorInfo&, const CursorInfo&) = default;
};

// What a right-button press shows.
struct ContextChoice {
    enum Kind { None, SubMenu, BrushPopup } kind = None;
    int subMenu = 0;  // the view's pop-up sub-menu number
};

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

class ToolEvents {
public:
    virtual ~ToolEvents() = default;
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
    // The view goes away: nothing may keep pointing at it.
    virtual void ViewClosing(ImageView& /*view*/) {}
    virtual void Overlay(ImageView& /*view*/, OverlayCanvas& /*canvas*/) {}
    // A tool operation is in progress (a drag, a stroke, a polygon being drawn).
    virtual bool Busy() const { return false; }
    // Whether the operation in progress goes on in another document's view when the pointer
    // is taken there (a layer dragged onto another document).
    virtual bool DragCrossesViews() const { return false; }
    // Such a drag was let go over no document's view: no drop, what it moved goes back.
    virtual void DropNowhere(ImageView& /*view*/) {}
    // The polygonal marquee is in the middle of a selection (the wheel does not zoom then).
    virtual bool PolygonBusy() const { return false; }
    // Whether the selection outline may be animated now; a tool that draws over the outline
    // says no while it does. Asked on the animator thread: it may read only atomics or state
    // that does not change while the controller lives.
    virtual bool AllowsOutlineAnimation() const { return true; }
    // The right button went down at `client`.
    virtual ContextChoice ContextMenu(ImageView& /*view*/, Point /*client*/, int /*modifiers*/) {
        return {};
    }
    // The pointer the view shows over the picture now.
    virtual CursorInfo Cursor(const ImageView& /*view*/) const { return {}; }
};

}  // namespace zelvo
