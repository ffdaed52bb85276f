// The measure tool: a line dragged over the picture, kept for its document after the release;
// a later press near either end drags that end, one near the line moves it whole, anywhere else
// starts a new line. The bar shows its start, extents, angle and length.
#include "tools/MeasureTool.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "doc/Image.h"
#include "tools/ImagePoint.h"
#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"
#include "view/ViewZoom.h"

namespace zelvo {

double MeasureAngle(Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    double angle = 0;
    if (dx == 0) {
        angle = dy < 0 ? 90 : dy > 0 ? 270 : 0;
    } else {
        const double t = std::atan(dy / dx) * 57.29578;
        angle = dx > 0 ? (dy <= 0 ? -t : 360 - t) : 180 - t;
    }
    if (angle > 180) angle -= 360;
    // A level line to the right would read "A:-0.00".
    return angle == 0 ? 0.0 : angle;
}

std::array<std::string, 6> MeasureReadouts(Point a, Point b, const std::string& unit, int32_t width,
                                           int32_t height, int32_t resolution) {
    const double r = resolution < 1 ? 1.0 : double(resolution);
    const double scale = unit == "cm" ? 100 / r : unit == "in" ? 39.37008 / r : 1.0;
    const char* f = unit == "px" ? "%.0f" : "%.2f";
    auto text = [&](const char* label, double v) {
        char value[64];
        std::snprintf(value, sizeof value, f, v * scale);
        return std::string(label) + value;
    };
    const bool inside = a.x >= 0 && a.y >= 0 && a.x < width && a.y < height;
    const double dx = b.x - a.x, dy = b.y - a.y;
    char angle[64];
    std::snprintf(angle, sizeof angle, "A:%.2f", MeasureAngle(a, b));
    return {inside ? text("X:", a.x) : "X:",
            inside ? text("Y:", a.y) : "Y:",
            text("W:", dx),
            text("H:", dy),
            angle,
            text("D:", std::sqrt(dx * dx + dy * dy))};
}

namespace {

constexpr int32_t kEndTolerance = 6;

enum class Drag { NewLine, Start, End, Whole };

struct Segment {
    Point a, b;
};

bool Near(Point p, Point q) {
    const int64_t dx = p.x - q.x, dy = p.y - q.y;
    return dx * dx + dy * dy <= int64_t(kEndTolerance) * kEndTolerance;
}

// Within the tolerance of the segment from a to b (screen points).
bool OnSegment(Point p, Point a, Point b) {
    const double vx = b.x - a.x, vy = b.y - a.y, wx = p.x - a.x, wy = p.y - a.y;
    const double len2 = vx * vx + vy * vy;
    const double t = len2 > 0 ? std::clamp((wx * vx + wy * vy) / len2, 0.0, 1.0) : 0.0;
    const double ex = wx - t * vx, ey = wy - t * vy;
    return ex * ex + ey * ey <= double(kEndTolerance) * kEndTolerance;
}

class MeasureTool : public MouseOperation, public MeasureInfo {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        Image* image = &view.GetImage();
        // The pixel under the pointer (the view's truncating mapping, not the brush's rounding).
        const Point p = ClientToCanvas(view.GetImage().Geometry(), m.client);
        m_drag = Drag::NewLine;
        if (auto it = m_lines.find(image); it != m_lines.end()) {
            const Point a = ImageToView(view, it->second.a), b = ImageToView(view, it->second.b);
            if (Near(m.client, a))
                m_drag = Drag::Start;
            else if (Near(m.client, b))
                m_drag = Drag::End;
            else if (OnSegment(m.client, a, b))
                m_drag = Drag::Whole;
        }
        if (m_drag == Drag::NewLine) m_lines[image] = {p, p};
        m_image = image;
        m_press = p;
        m_start = m_lines[image];
        Show(view);
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (!m_image) return;
        const Point p = ClientToCanvas(view.GetImage().Geometry(), m.client);
        Segment& line = m_lines[m_image];
        line = m_start;
        switch (m_drag) {
            case Drag::NewLine:
            case Drag::End:
                line.b = p;
                break;
            case Drag::Start:
                line.a = p;
                break;
            case Drag::Whole: {
                const int32_t dx = p.x - m_press.x, dy = p.y - m_press.y;
                line.a = {line.a.x + dx, line.a.y + dy};
                line.b = {line.b.x + dx, line.b.y + dy};
                break;
            }
        }
        Show(view);
    }

    bool Release(ImageView& view, const ViewMouse& m) override {
        Move(view, m);
        m_image = nullptr;
        return false;
    }

    void Finish(ImageView& /*view*/) override { m_image = nullptr; }

    void Abandon() override {
        if (m_image) m_lines.erase(m_image);
        m_image = nullptr;
    }

    void Forget(const Image& image) override { m_lines.erase(&image); }

    bool OverlayWhenIdle() const override { return true; }

    void Overlay(ImageView& view, OverlayCanvas& canvas) override {
        auto it = m_lines.find(&view.GetImage());
        if (it == m_lines.end()) return;
        canvas.Line(ImageToView(view, it->second.a), ImageToView(view, it->second.b), 0);
    }

    std::optional<std::pair<Point, Point>> Line(const Image& image) const override {
        auto it = m_lines.find(&image);
        if (it == m_lines.end()) return std::nullopt;
        return std::make_pair(it->second.a, it->second.b);
    }

    std::optional<std::array<std::string, 6>> Readouts(const Image& image) const override {
        auto it = m_lines.find(&image);
        if (it == m_lines.end()) return std::nullopt;
        return MeasureReadouts(
            it->second.a, it->second.b,
            const_cast<MeasureTool*>(this)->Tools().Options().Get(kToolMeasure, "unit"),
            image.Width(), image.Height(), image.Resolution());
    }

    void Clear(const Image& image) override {
        if (m_image == &image) return;  // not while the line is dragged
        m_lines.erase(&image);
    }

private:
    void Show(ImageView& view) {
        view.RequestRender(1);
        if (Tools().onReadouts) Tools().onReadouts();
    }

    std::map<const Image*, Segment> m_lines;
    Image* m_image = nullptr;  // the document whose line is dragged
    Drag m_drag = Drag::NewLine;
    Point m_press;
    Segment m_start;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeMeasureTool(ToolController& tools) {
    return std::make_unique<MeasureTool>(tools);
}

}  // namespace zelvo
