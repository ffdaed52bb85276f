// The shapes of the rectangular, elliptical and polygonal marquees (and the lasso) from canvas
// points to the combined selection; the tools and the script commands both end here.
#include <algorithm>

#include "selection/SelectionMask.h"
#include "selection/SelectionShape.h"

namespace zelvo {

int MarqueeSelect(HistoryManager& history, Point a, Point b, bool ellipse, CombineMode mode) {
    const Rect drawn{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                     std::max(a.y, b.y)};
    const Rect r = drawn.Intersect(CanvasRect(history.Layers()));
    if (r.IsEmpty()) return 0;
    // The ellipse the outline showed, cut at the canvas edge.
    if (ellipse)
        return CombineSelection(history, RasterizeEllipse(drawn, r), mode, "Elliptical Select");
    return CombineSelection(history, RasterizeRectangle(r), mode, "Rectangular Select");
}

int PolygonSelect(HistoryManager& history, const std::vector<Point>& points, CombineMode mode,
                  const std::string& name) {
    const Rect bounds = PolygonBounds(points).Intersect(CanvasRect(history.Layers()));
    return CombineSelection(history, RasterizePolygon(points, bounds), mode, name);
}

}  // namespace zelvo
