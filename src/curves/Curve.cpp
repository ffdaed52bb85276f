#include "curves/Curve.h"

#include <algorithm>
#include <cmath>

#include "layers/MaskRender.h"
#include "platform/MaskPainter.h"

namespace zelvo {

std::vector<Point> CurvePoints(const std::vector<CurveAnchor>& anchors, bool closed) {
    std::vector<Point> pts;
    const size_t n = anchors.size();
    if (n == 0) return pts;
    pts.reserve(3 * n + 1);
    pts.push_back(anchors[0].point);
    pts.push_back(anchors[0].out);
    for (size_t i = 1; i < n; ++i) {
        pts.push_back(anchors[i].in);
        pts.push_back(anchors[i].point);
        if (i + 1 < n || closed) pts.push_back(anchors[i].out);
    }
    if (closed) {
        pts.push_back(anchors[0].in);
        pts.push_back(anchors[0].point);
    } else if (n == 1) {
        // A lone anchor of an open path is its point alone (3n - 2 = 1).
        pts.pop_back();
    }
    return pts;
}

Rect CurvePointBounds(const std::vector<CurveAnchor>& anchors) {
    Rect r;
    bool any = false;
    for (const CurveAnchor& a : anchors) {
        for (const Point& p : {a.in, a.point, a.out}) {
            if (!any) {
                r = {p.x, p.y, p.x + 1, p.y + 1};
                any = true;
            } else {
                r.left = std::min(r.left, p.x);
                r.top = std::min(r.top, p.y);
                r.right = std::max(r.right, p.x + 1);
                r.bottom = std::max(r.bottom, p.y + 1);
            }
        }
    }
    return r;
}

bool RenderCurve(Layer& layer) {
    if (layer.Kind() != LayerKind::Curve) return false;
    const std::vector<CurveAnchor>& anchors = layer.Anchors();
    layer.SetCurveBounds(CurvePointBounds(anchors));
    MaskPainter painter(layer.Width(), layer.Height());
    if (anchors.size() >= 2) {
        const Point at = layer.Position();
        std::vector<MaskPoint> pts;
        for (const Point& p : CurvePoints(anchors, layer.IsClosed()))
            pts.push_back({p.x - at.x, p.y - at.y});
        if (layer.IsFilled())
            painter.AddBezierFill(pts, MaskFill::Alternate);
        else
            painter.AddBezierStroke(pts, 2);
    }
    return WriteMask(layer, painter, 1016, 1017);
}

void TranslateCurve(Layer& layer, int32_t dx, int32_t dy) {
    for (CurveAnchor& a : layer.Anchors()) {
        for (Point* p : {&a.in, &a.point, &a.out}) {
            p->x += dx;
            p->y += dy;
        }
    }
}

void MoveCurve(Layer& layer, int32_t dx, int32_t dy) {
    TranslateCurve(layer, dx, dy);
    RenderCurve(layer);
}

void DragHandle(CurveAnchor& anchor, Handle handle, Point to) {
    Point& moved = handle == Handle::In ? anchor.in : anchor.out;
    Point& other = handle == Handle::In ? anchor.out : anchor.in;
    moved = to;
    if (anchor.mode != kAnchorLinked) return;
    const double ox = other.x - anchor.point.x, oy = other.y - anchor.point.y;
    const double length = std::hypot(ox, oy);
    const double mx = to.x - anchor.point.x, my = to.y - anchor.point.y;
    const double towards = std::hypot(mx, my);
    // A handle dragged onto its anchor point gives no direction: the other one stays.
    if (towards == 0.0) return;
    other.x = anchor.point.x - int32_t(std::lround(mx / towards * length));
    other.y = anchor.point.y - int32_t(std::lround(my / towards * length));
}

void ConvertToCorner(CurveAnchor& anchor) {
    anchor.in = anchor.point;
    anchor.out = anchor.point;
    anchor.mode = kAnchorLinked;
}

void ReverseAnchors(std::vector<CurveAnchor>& anchors) {
    std::reverse(anchors.begin(), anchors.end());
    for (CurveAnchor& a : anchors) std::swap(a.in, a.out);
}

}  // namespace zelvo
