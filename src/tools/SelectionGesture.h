// What the selection tools share: the mapping of view points to the canvas, the image's area
// on screen, moving the selection outline by a press inside it, and the arrow-key nudge.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Types.h"
#include "tools/MouseOperation.h"
#include "view/ToolEvents.h"

namespace zelvo {

class Image;
class Layer;
class ImageView;
enum class CombineMode;

// A client point on the canvas: the offset from the picture's edge divided by the zoom (each
// quotient truncated), from the first canvas pixel shown.
Point ViewToCanvas(const ImageView& view, Point client);
// The client rectangle the picture occupies.
Rect ScreenArea(const ImageView& view);
Point ClampToArea(Point p, const Rect& area);
// Whether the canvas point lies on a selected pixel (inside the mask, value non-zero).
bool OnSelectedPixel(Image& image, Point canvas);
// The Shift constraint of drags: the offset snapped to 0, 45 or 90 degrees.
Point ConstrainAngle(Point offset);

// Moving the selection outline: the mask's rectangle follows the pointer from the press; the
// release records one state when it moved.
class OutlineMove {
public:
    // Starts when the press lies on a selected pixel in New mode; false otherwise.
    bool Start(ImageView& view, Point client);
    bool Active() const { return m_image != nullptr; }
    void Move(ImageView& view, const ViewMouse& m);
    void Finish(ImageView& view);
    void Abandon();
    // Canvas pixels moved so far; whether the pointer has moved at all.
    Point Offset() const { return m_offset; }
    bool Moved() const { return m_moving; }

private:
    Image* m_image = nullptr;
    const Layer* m_mask = nullptr;
    Point m_press;
    Point m_origin;  // the mask's position at the press
    Point m_offset;  // canvas pixels moved so far
    bool m_moving = false;
};

// The freeform outline of the lasso and the patch tool: once the pointer is 4 screen pixels
// from the press, every position joins it in canvas coordinates, held to the canvas; the
// release closes it and combines the polygon with the selection under the tool's name, or,
// when nothing was collected, removes the selection in New mode.
class FreeformOutline {
public:
    void Begin(ImageView& view, Point client);
    void Add(ImageView& view, Point client);
    void Commit(ImageView& view, CombineMode mode, const char* name);
    void Clear();
    void Overlay(OverlayCanvas& canvas) const;

private:
    void Append(ImageView& view, Point client);

    Point m_press;
    std::vector<Point> m_points;  // canvas
    std::vector<Point> m_view;    // the same points on screen, for the overlay
};

// A drawn selection shape whose press may instead move the outline: the release, or a forced
// end, finishes the move or commits the shape.
class OutlineDragOperation : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Release(ImageView& view, const ViewMouse& m) override {
        if (m_move.Active()) {
            m_move.Move(view, m);
            m_move.Finish(view);
            return false;
        }
        Move(view, m);
        Commit(view);
        return false;
    }

    void Finish(ImageView& view) override {
        if (m_move.Active()) return m_move.Finish(view);
        Commit(view);
    }

protected:
    virtual void Commit(ImageView& view) = 0;

    OutlineMove m_move;
};

// The arrow keys: each key-down moves the mask by one screen pixel; the key-up (or the next
// selection press) records the accumulated move as one state.
class SelectionNudge {
public:
    // False when there is no selection to move.
    bool Step(ImageView& view, int key);
    void Record();
    // The document is going away: the pending move is forgotten.
    void Forget(Image& image);

private:
    Image* m_image = nullptr;
    const Layer* m_mask = nullptr;
    Point m_origin;
    Point m_offset;
};

}  // namespace zelvo
