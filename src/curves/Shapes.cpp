#include "curves/Shapes.h"

#include <algorithm>

#include "core/Limits.h"
#include "curves/Curve.h"
#include "platform/Feedback.h"

namespace zelvo {

namespace {

struct TemplateAnchor {
    int32_t inX, inY, x, y, outX, outY, mode;
};

// A corner anchor: all three points on one spot.
constexpr TemplateAnchor C(int32_t x, int32_t y) {
    return {x, y, x, y, x, y, 1};
}

const std::vector<TemplateAnchor>& Template(int index) {
    static const std::vector<TemplateAnchor> kShapes[kShapeCount + 1] = {
        {},
        // Rectangle
        {C(0, 0), C(0, 100), C(100, 100), C(100, 0)},
        // Ellipse
        {{0, 23, 0, 50, 0, 77, 1},
         {23, 100, 50, 100, 77, 100, 1},
         {100, 77, 100, 50, 100, 23, 1},
         {77, 0, 50, 0, 23, 0, 1}},
        // Rounded Rectangle
        {{0, 9, 0, 20, 0, 20, 1},
         {0, 80, 0, 80, 0, 91, 1},
         {9, 100, 20, 100, 20, 100, 1},
         {80, 100, 80, 100, 91, 100, 1},
         {100, 91, 100, 80, 100, 80, 1},
         {100, 20, 100, 20, 100, 9, 1},
         {91, 0, 80, 0, 80, 0, 1},
         {20, 0, 20, 0, 9, 0, 1}},
        // Pentagon
        {C(1, 36), C(20, 92), C(78, 92), C(97, 36), C(49, 1)},
        // Hexagonal
        {C(0, 43), C(25, 86), C(74, 86), C(99, 43), C(74, 0), C(25, 0)},
        // 4 point stars
        {C(0, 50), C(40, 60), C(50, 100), C(60, 60), C(100, 50), C(60, 40), C(50, 0), C(40, 40)},
        // 5 point stars
        {C(1, 36), C(31, 58), C(20, 92), C(49, 72), C(78, 92), C(67, 58), C(97, 36), C(61, 36),
         C(49, 1), C(38, 36)},
        // Heart-shaped
        {{118, -21, 50, 18, -18, -21, 0}, {-17, 68, 50, 95, 117, 68, 0}},
        // Arrow-shaped
        {C(0, 11), C(0, 28), C(52, 28), C(52, 38), C(100, 19), C(52, 0), C(52, 11)},
        // Prompt box
        {{0, 13, 0, 29, 0, 42, 1},
         {16, 54, 38, 57, 36, 62, 0},
         {33, 68, 28, 71, 38, 71, 0},
         {47, 64, 53, 58, 79, 57, 0},
         {100, 44, 100, 28, 100, 13, 1},
         {77, 0, 50, 0, 21, 0, 1}},
        // Hook-shaped
        {{0, 54, 0, 54, 12, 58, 0},
         {28, 70, 43, 85, 53, 69, 0},
         {85, 36, 100, 33, 94, 21, 0},
         {95, 11, 98, 0, 63, 16, 0},
         C(41, 64),
         C(28, 48)},
    };
    static const std::vector<TemplateAnchor> kNone;
    return index >= 1 && index <= kShapeCount ? kShapes[index] : kNone;
}

}  // namespace

const std::vector<std::string>& ShapeNames() {
    static const std::vector<std::string> names = {
        "Freeform Line", "Rectangle",    "Ellipse",       "Rounded Rectangle",
        "Pentagon",      "Hexagonal",    "4 point stars", "5 point stars",
        "Heart-shaped",  "Arrow-shaped", "Prompt box",    "Hook-shaped"};
    return names;
}

int ShapeIndex(const std::string& name) {
    const std::vector<std::string>& names = ShapeNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return int(i);
    return -1;
}

std::vector<CurveAnchor> ShapeTemplate(int index) {
    std::vector<CurveAnchor> out;
    for (const TemplateAnchor& t : Template(index))
        out.push_back({{t.inX, t.inY}, {t.x, t.y}, {t.outX, t.outY}, t.mode});
    return out;
}

LayerPtr PlaceShape(CurveEdit& curves, int index, Point at, ColorRef color, bool filled) {
    if (index < 1 || index > kShapeCount) return nullptr;
    WaitCursor wait;
    LayerPtr layer = curves.NewCurveLayer(ShapeNames()[size_t(index)], color, filled);
    if (!layer) return nullptr;
    layer->SetClosed(true);
    const std::vector<CurveAnchor> shape = ShapeTemplate(index);
    // Placed near the coordinate limit, the whole shape is drawn back inside it (a point past the
    // limit would make a document no file can hold).
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    for (const CurveAnchor& a : shape) {
        for (const Point& p : {a.in, a.point, a.out}) {
            left = std::min(left, p.x), right = std::max(right, p.x);
            top = std::min(top, p.y), bottom = std::max(bottom, p.y);
        }
    }
    at.x = std::clamp(at.x, -kMaxCoordinate - left, kMaxCoordinate - right);
    at.y = std::clamp(at.y, -kMaxCoordinate - top, kMaxCoordinate - bottom);
    for (CurveAnchor a : shape) {
        for (Point* p : {&a.in, &a.point, &a.out}) {
            p->x += at.x;
            p->y += at.y;
        }
        layer->Anchors().push_back(a);
    }
    RenderCurve(*layer);
    curves.RequestRedraw();
    AppFeedback().StatusText("Using Free Transform adjust the size of Curves.");
    return layer;
}

}  // namespace zelvo
