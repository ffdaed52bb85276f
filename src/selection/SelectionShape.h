// The shapes the selection tools draw, as 1-bit planes over the shape's bounding rectangle
// (white on black: a set bit is inside), and their combination with the current selection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Types.h"
#include "history/HistoryManager.h"

namespace zelvo {

// One bit per pixel of `rect`, rows top first, most significant bit first in each byte.
class ShapePlane {
public:
    ShapePlane() = default;
    explicit ShapePlane(const Rect& rect);

    const Rect& Bounds() const { return m_rect; }
    bool IsEmpty() const { return m_rect.IsEmpty(); }
    // Canvas coordinates; false outside the rectangle.
    bool Bit(int32_t x, int32_t y) const;
    void Set(int32_t x, int32_t y);
    // Sets the bits of canvas row y, columns from .. to - 1 (clipped to the rectangle).
    void SetRun(int32_t y, int32_t from, int32_t to);
    // Sets the bits of canvas row y, columns from .. from + count - 1, where the matching byte
    // of `bytes` equals `value` (clipped to the rectangle).
    void SetRowWhere(int32_t y, int32_t from, const uint8_t* bytes, int32_t count, uint8_t value);
    bool AnySet() const;
    // The bits inside `rect` (cut to Bounds()) as a plane over that rectangle.
    ShapePlane Cropped(const Rect& rect) const;
    // Canvas row y, columns from .. from + count - 1, as bytes: 1 where the bit is set, 0
    // elsewhere (and outside the rectangle).
    void RowBytes(int32_t y, int32_t from, int32_t count, uint8_t* out) const;

private:
    Rect m_rect;
    size_t m_stride = 0;
    std::vector<uint8_t> m_bits;
};

// A filled rectangle.
ShapePlane RasterizeRectangle(const Rect& rect);
// The filled ellipse inscribed in `rect`: the pixels whose centres lie inside it or on it.
ShapePlane RasterizeEllipse(const Rect& rect);
// The part of that ellipse inside `clip`: an ellipse drawn partly off the canvas keeps its
// shape, cut at the canvas edge.
ShapePlane RasterizeEllipse(const Rect& rect, const Rect& clip);
// The polygon through `points` (closed automatically), filled by the alternate (even-odd)
// rule at pixel centres, over `bounds` (pixels outside it stay clear).
ShapePlane RasterizePolygon(const std::vector<Point>& points, const Rect& bounds);
// The bounding rectangle of polygon vertices, at least one pixel per vertex.
Rect PolygonBounds(const std::vector<Point>& points);

enum class CombineMode { New, Add, Subtract, Intersect };

// Combines a tool's shape with the selection by `mode` and records it under `name` (the tool's
// history name, "Select" for other callers). Empty results show "Warning:No pixels were
// selected." and deselect. Returns 1 when the selection changed.
int CombineSelection(HistoryManager& history, const ShapePlane& shape, CombineMode mode,
                     const std::string& name = "Select");

// The marquees' result: the rectangle between two canvas corners (in any order), clipped to
// the canvas, filled or with its inscribed ellipse, combined by `mode` under "Rectangular
// Select" or "Elliptical Select". An empty rectangle changes nothing (0).
int MarqueeSelect(HistoryManager& history, Point a, Point b, bool ellipse, CombineMode mode);
// A polygon of canvas points (closed automatically, alternate filling) combined by `mode`
// under `name` ("Polygonal Select", "Freeform Select").
int PolygonSelect(HistoryManager& history, const std::vector<Point>& points, CombineMode mode,
                  const std::string& name);

}  // namespace zelvo
