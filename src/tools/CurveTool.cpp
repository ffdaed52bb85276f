// The curve tool: Draw mode draws a curve anchor by anchor (or places the chosen shape with a
// click); Select, Convert, Add and Delete act on the current curve layer by what the press hits,
// in this order: an anchor point, a handle of the selected anchor or its neighbours, a segment
// (Add only), the curve's inside. Every change is one curve edit recorded at the release under
// the mode's name.
#include <cmath>
#include <cstdlib>
#include <memory>

#include "core/Limits.h"
#include "curves/Curve.h"
#include "curves/CurveDraw.h"
#include "curves/Shapes.h"
#include "doc/Image.h"
#include "platform/Messages.h"
#include "tools/ImagePoint.h"
#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"
#include "view/ViewZoom.h"

namespace zelvo {

namespace {

constexpr int32_t kHitDistance = 5;

bool Near(Point p, Point q) {
    const int64_t dx = p.x - q.x, dy = p.y - q.y;
    return dx * dx + dy * dy <= int64_t(kHitDistance) * kHitDistance;
}

double DistanceToSegment(Point p, Point a, Point b) {
    const double vx = b.x - a.x, vy = b.y - a.y, wx = p.x - a.x, wy = p.y - a.y;
    const double len2 = vx * vx + vy * vy;
    const double t = len2 > 0 ? std::clamp((wx * vx + wy * vy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(wx - t * vx, wy - t * vy);
}

// The path flattened to a polygon in view coordinates, for the inside test.
std::vector<std::pair<double, double>> Flatten(const ImageView& view,
                                               const std::vector<CurveAnchor>& anchors) {
    std::vector<std::pair<double, double>> poly;
    auto v = [&](Point p) {
        const Point c = ImageToView(view, p);
        return std::make_pair(double(c.x), double(c.y));
    };
    const size_t n = anchors.size();
    for (size_t i = 0; i < n; ++i) {
        const CurveAnchor& a = anchors[i];
        const CurveAnchor& b = anchors[(i + 1) % n];
        const auto p0 = v(a.point), p1 = v(a.out), p2 = v(b.in), p3 = v(b.point);
        for (int k = 0; k < 16; ++k) {
            const double t = k / 16.0, u = 1 - t;
            poly.emplace_back(u * u * u * p0.first + 3 * u * u * t * p1.first +
                                  3 * u * t * t * p2.first + t * t * t * p3.first,
                              u * u * u * p0.second + 3 * u * u * t * p1.second +
                                  3 * u * t * t * p2.second + t * t * t * p3.second);
        }
    }
    return poly;
}

bool Inside(const std::vector<std::pair<double, double>>& poly, Point p) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const auto [xi, yi] = poly[i];
        const auto [xj, yj] = poly[j];
        if ((yi > p.y) != (yj > p.y) && p.x < (xj - xi) * (p.y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
}

enum class Mode { Draw, Select, Convert, Add, Delete };
enum class Grip { None, Anchor, HandleIn, HandleOut, Body, NewAnchor };

const char* StateName(Mode m) {
    switch (m) {
        case Mode::Select:
            return "Select Anchor Point";
        case Mode::Convert:
            return "Convert Anchor Point";
        case Mode::Add:
            return "Add Anchor Point";
        case Mode::Delete:
            return "Delete Anchor Point";
        default:
            return "Modify curves";
    }
}

class CurveTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        Image& image = view.GetImage();
        if (m_image != &image) EndDrawing();
        m_image = &image;
        m_refused = false;
        const Mode mode = CurrentMode();
        const Point p = ViewToImage(view, m.client);
        const LayerPtr layer = image.Layers().CurrentLayer();
        const bool curve = layer && layer->Kind() == LayerKind::Curve;
        if (mode == Mode::Draw) {
            if (Tools().Options().GetInt(kToolCurve, "shape") != 0) {
                // A shape goes to the pixel under the pointer (the view's truncating mapping).
                m_placeAt = ClientToCanvas(image.Geometry(), m.client);
                return true;
            }
            if (!m_draw) m_draw = std::make_unique<CurveDraw>(image.Layers(), image.Curves());
            bool first = false, last = false;
            if (curve && !layer->Anchors().empty()) {
                first = Near(m.client, ImageToView(view, layer->Anchors().front().point));
                last = Near(m.client, ImageToView(view, layer->Anchors().back().point));
            }
            if (m_draw->Press(p, first, last, Color(), Filled())) return true;
            if (m_draw->DrawnLayer() && m_draw->DrawnLayer()->Anchors().size() >= kMaxCurveAnchors)
                Tools().ShowStatus(kCurveTooLongMessage);
            return false;
        }
        EndDrawing();
        if (!curve) {
            // Reported after the release.
            m_refused = true;
            return true;
        }
        m_press = p;
        m_grip = Grip::None;
        std::vector<CurveAnchor>& anchors = layer->Anchors();
        // 1. An anchor point.
        for (size_t i = 0; i < anchors.size(); ++i) {
            if (!Near(m.client, ImageToView(view, anchors[i].point))) continue;
            if (!image.Curves().BeginCurveEdit()) return true;
            if (mode == Mode::Delete) {
                if (anchors.size() >= 2) anchors.erase(anchors.begin() + long(i));
                m_selected = -1;
                m_grip = Grip::None;
            } else if (mode == Mode::Convert) {
                anchors[i].in = anchors[i].out = anchors[i].point;
                anchors[i].mode = kAnchorLinked;
                m_selected = int(i);
            } else {
                m_selected = int(i);
                m_grip = Grip::Anchor;
                m_index = i;
            }
            return Start(anchors);
        }
        // 2. A handle of the selected anchor or of its neighbours.
        if (m_selected >= 0 && size_t(m_selected) < anchors.size()) {
            const size_t n = anchors.size(), s = size_t(m_selected);
            const bool wrap = layer->IsClosed();
            struct Candidate {
                size_t index;
                Grip grip;
                bool ok;
            };
            const Candidate candidates[] = {
                {s, Grip::HandleIn, true},
                {s, Grip::HandleOut, true},
                {(s + n - 1) % n, Grip::HandleOut, s > 0 || wrap},
                {(s + 1) % n, Grip::HandleIn, s + 1 < n || wrap},
            };
            for (const Candidate& c : candidates) {
                if (!c.ok) continue;
                const CurveAnchor& a = anchors[c.index];
                if (!Near(m.client, ImageToView(view, c.grip == Grip::HandleIn ? a.in : a.out)))
                    continue;
                if (!image.Curves().BeginCurveEdit()) return true;
                if (mode == Mode::Convert) anchors[c.index].mode = kAnchorIndependent;
                m_grip = c.grip;
                m_index = c.index;
                return Start(anchors);
            }
        }
        // 3. A segment, in Add mode: a new anchor there.
        if (mode == Mode::Add && anchors.size() >= 2) {
            const size_t n = anchors.size(), segments = layer->IsClosed() ? n : n - 1;
            for (size_t i = 0; i < segments; ++i) {
                const Point a = ImageToView(view, anchors[i].point);
                const Point b = ImageToView(view, anchors[(i + 1) % n].point);
                if (DistanceToSegment(m.client, a, b) > kHitDistance) continue;
                if (n >= kMaxCurveAnchors) {
                    Tools().ShowStatus(kCurveTooLongMessage);
                    return true;
                }
                if (!image.Curves().BeginCurveEdit()) return true;
                anchors.insert(anchors.begin() + long(i + 1), CurveAnchor{p, p, p, kAnchorLinked});
                m_selected = int(i + 1);
                m_grip = Grip::NewAnchor;
                m_index = i + 1;
                return Start(anchors);
            }
        }
        // 4. The inside of the curve.
        if (anchors.size() >= 2 && Inside(Flatten(view, anchors), m.client)) {
            if (!image.Curves().BeginCurveEdit()) return true;
            m_grip = Grip::Body;
            return Start(anchors);
        }
        // 5. Nothing: the selection is dropped.
        m_selected = -1;
        view.RequestRender(1);
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        const Point p = ViewToImage(view, m.client);
        if (CurrentMode() == Mode::Draw) {
            if (m_draw && m_draw->Pressed()) {
                m_draw->Drag(p);
                view.RequestRender(1);
            }
            return;
        }
        if (m_grip == Grip::None || !m_image) return;
        const LayerPtr layer = m_image->Layers().CurrentLayer();
        if (!layer || layer->Kind() != LayerKind::Curve) return;
        std::vector<CurveAnchor>& anchors = layer->Anchors();
        if (m_grip == Grip::Body) {
            // From the anchors at the press, so the curve follows the pointer exactly.
            anchors = m_start;
            TranslateCurve(*layer, p.x - m_press.x, p.y - m_press.y);
        } else if (m_index < anchors.size()) {
            CurveAnchor& a = anchors[m_index];
            const CurveAnchor& was = m_start[std::min(m_index, m_start.size() - 1)];
            switch (m_grip) {
                case Grip::Anchor: {
                    // The anchor carries its handles along.
                    const int32_t dx = p.x - was.point.x, dy = p.y - was.point.y;
                    a = {{was.in.x + dx, was.in.y + dy},
                         p,
                         {was.out.x + dx, was.out.y + dy},
                         was.mode};
                    break;
                }
                case Grip::NewAnchor:
                    a.out = p;
                    a.in = {2 * a.point.x - p.x, 2 * a.point.y - p.y};
                    break;
                case Grip::HandleIn:
                case Grip::HandleOut: {
                    Point& moved = m_grip == Grip::HandleIn ? a.in : a.out;
                    Point& other = m_grip == Grip::HandleIn ? a.out : a.in;
                    moved = p;
                    if (a.mode == kAnchorLinked) other = Opposite(a.point, p, other);
                    break;
                }
                default:
                    break;
            }
        }
        RenderCurve(*layer);
        m_image->Curves().RequestRedraw();
        view.RequestRender(1);
    }

    bool Release(ImageView& view, const ViewMouse& m) override {
        if (m_refused) {
            m_refused = false;
            AppMessages().Show("Current layer is not curve layer.");
            return false;
        }
        if (CurrentMode() == Mode::Draw) {
            const int shape = Tools().Options().GetInt(kToolCurve, "shape");
            if (shape != 0) {
                if (PlaceShape(view.GetImage().Curves(), shape, m_placeAt, Color(), Filled()))
                    Tools().ShowStatus("Using Free Transform adjust the size of Curves.");
                view.RequestRender(1);
                return false;
            }
            if (m_draw && m_draw->Pressed()) {
                m_draw->Drag(ViewToImage(view, m.client));
                m_draw->Release();
                if (!m_draw->Drawing()) m_draw.reset();
            }
            view.RequestRender(1);
            return false;
        }
        Move(view, m);
        Commit();
        view.RequestRender(1);
        return false;
    }

    void Finish(ImageView& view) override {
        if (CurrentMode() == Mode::Draw) {
            if (m_draw && m_draw->Pressed()) m_draw->Release();
        } else {
            Commit();
        }
        view.RequestRender(1);
    }

    void Abandon() override {
        if (m_image && m_image->Curves().IsOpen()) m_image->Curves().CancelCurveEdit();
        m_grip = Grip::None;
        m_draw.reset();
        m_image = nullptr;
    }

    void Forget(const Image& image) override {
        if (m_image == &image) {
            m_draw.reset();
            m_image = nullptr;
            m_selected = -1;
        }
    }

    void Deselected() override {
        EndDrawing();
        m_selected = -1;
    }

    // The curve being drawn ends.
    void EndDrawing() {
        if (m_draw) m_draw->End();
        m_draw.reset();
    }

    bool OverlayWhenIdle() const override { return true; }

    void Overlay(ImageView& view, OverlayCanvas& canvas) override {
        const LayerPtr layer = view.GetImage().Layers().CurrentLayer();
        if (!layer || layer->Kind() != LayerKind::Curve) return;
        const auto& anchors = layer->Anchors();
        for (size_t i = 0; i < anchors.size(); ++i) {
            const Point c = ImageToView(view, anchors[i].point);
            canvas.Frame({c.x - 2, c.y - 2, c.x + 3, c.y + 3}, 0);
            if (int(i) != m_selected || &view.GetImage() != m_image) continue;
            for (Point h : {anchors[i].in, anchors[i].out}) {
                const Point v = ImageToView(view, h);
                canvas.Line(c, v, 0);
                canvas.Frame({v.x - 1, v.y - 1, v.x + 2, v.y + 2}, 0);
            }
        }
    }

    CursorShape Cursor() const override { return CursorShape::Pen; }

private:
    Mode CurrentMode() const {
        const std::string m =
            const_cast<CurveTool*>(this)->Tools().Options().Get(kToolCurve, "mode");
        return m == "select"    ? Mode::Select
               : m == "convert" ? Mode::Convert
               : m == "add"     ? Mode::Add
               : m == "delete"  ? Mode::Delete
                                : Mode::Draw;
    }
    ColorRef Color() { return Tools().Options().GetColor(kToolCurve, "color"); }
    bool Filled() { return Tools().Options().GetInt(kToolCurve, "filled") != 0; }

    // The linked handle turned opposite the moved one about the anchor, keeping its length.
    static Point Opposite(Point anchor, Point moved, Point other) {
        const double length = std::hypot(other.x - anchor.x, other.y - anchor.y);
        const double dx = anchor.x - moved.x, dy = anchor.y - moved.y;
        const double d = std::hypot(dx, dy);
        if (d == 0) return other;
        return {anchor.x + int32_t(std::lround(dx / d * length)),
                anchor.y + int32_t(std::lround(dy / d * length))};
    }

    bool Start(const std::vector<CurveAnchor>& anchors) {
        m_start = anchors;
        if (m_image) {
            if (const LayerPtr layer = m_image->Layers().CurrentLayer()) RenderCurve(*layer);
            m_image->Curves().RequestRedraw();
        }
        return true;
    }

    void Commit() {
        if (!m_image || !m_image->Curves().IsOpen()) return;
        if (const LayerPtr layer = m_image->Layers().CurrentLayer()) RenderCurve(*layer);
        m_image->Curves().CommitCurveEdit(StateName(CurrentMode()));
        m_grip = Grip::None;
    }

    Image* m_image = nullptr;
    std::unique_ptr<CurveDraw> m_draw;
    std::vector<CurveAnchor> m_start;  // the anchors at the press
    Point m_press, m_placeAt;
    Grip m_grip = Grip::None;
    size_t m_index = 0;
    int m_selected = -1;
    bool m_refused = false;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeCurveTool(ToolController& tools) {
    return std::make_unique<CurveTool>(tools);
}

}  // namespace zelvo
