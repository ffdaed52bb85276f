// One tool's handling of the pointer: what a press, a move with the button held, a release,
// a double-click and the tool's own keys do. The ToolController owns one per tool, checks the
// rules every tool shares (busy, temporary tools, the common keys) and forwards the rest here.
// A new tool is one class in its own file, registered in ToolController's constructor.
#pragma once

#include "view/ToolEvents.h"

namespace zelvo {

class Image;
class ImageView;
class ToolController;

class MouseOperation {
public:
    explicit MouseOperation(ToolController& tools) : m_tools(tools) {}
    virtual ~MouseOperation() = default;
    MouseOperation(const MouseOperation&) = delete;
    MouseOperation& operator=(const MouseOperation&) = delete;

    // Left button down. Returns whether the tool is busy now (an operation in progress).
    virtual bool Press(ImageView& view, const ViewMouse& m) = 0;
    // The pointer moved while the tool is busy.
    virtual void Move(ImageView& /*view*/, const ViewMouse& /*m*/) {}
    // Left button up while busy. Returns whether the tool stays busy (a polygon collecting
    // vertices); the controller clears busy otherwise.
    virtual bool Release(ImageView& /*view*/, const ViewMouse& /*m*/) { return false; }
    // A double-click while busy; returns whether the tool stays busy.
    virtual bool DoubleClick(ImageView& /*view*/, const ViewMouse& /*m*/) { return true; }
    // The tool's own keys, before the common ones; true when used. `busy` says whether the
    // tool is in the middle of an operation; `stillBusy` is set to what it is afterwards.
    virtual bool Key(ImageView& /*view*/, int /*key*/, bool /*down*/, int /*modifiers*/,
                     bool& /*stillBusy*/) {
        return false;
    }
    // Ends the operation in progress as its release would, with no further movement (a menu
    // command is about to act, or the mouse capture went away).
    virtual void Finish(ImageView& /*view*/) {}
    // Whether what Finish left open keeps the tool busy (a crop frame waits for Enter or Esc).
    virtual bool StaysOpen() const { return false; }
    // Drops the operation in progress without a result (the view goes away).
    virtual void Abandon() {}
    // Whether the drag may carry on over another document's view and end there (the Move
    // tool's drop on another document): its moves and release reach the tool from any view.
    virtual bool FollowsAcrossViews() const { return false; }
    // A view other than the operation's own goes away.
    virtual void ViewGone(ImageView& /*view*/) {}
    // Whether a press may reach the tool while it is busy (the polygon's next vertex).
    virtual bool TakesPressWhileBusy() const { return false; }
    // Such a press on another document's view than the operation's; it stays where it is.
    virtual void PressElsewhere(ImageView& /*view*/) {}
    // Another tool was selected: what the tool keeps between presses ends (a curve being drawn).
    virtual void Deselected() {}
    // Lines the tool keeps drawing while it is idle (the measure line of the view's document).
    virtual bool OverlayWhenIdle() const { return false; }
    // The document's view is closing: what the tool keeps for the document goes.
    virtual void Forget(const Image& /*image*/) {}
    // Lines the tool draws over the picture while it works.
    virtual void Overlay(ImageView& /*view*/, OverlayCanvas& /*canvas*/) {}
    // Lines the tool draws while it works over the view of another document than its own
    // (the clone source's cross).
    virtual void OverlayOther(ImageView& /*view*/, OverlayCanvas& /*canvas*/) {}
    // The selection outline must hold still while the tool draws over it.
    virtual bool HoldsOutline() const { return false; }
    virtual CursorShape Cursor() const { return CursorShape::Cross; }
    // Called on the tool poller thread every 20 ms while the tool is busy: a stroke paints
    // the points published so far. Must touch only what the tool hands over by atomics.
    virtual void PainterTick() {}

protected:
    ToolController& Tools() { return m_tools; }

private:
    ToolController& m_tools;
};

}  // namespace zelvo
