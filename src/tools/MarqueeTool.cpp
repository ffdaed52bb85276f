// The rectangular and elliptical marquees: a drag of at least 4 screen pixels draws the shape
// (Alt from the centre, Shift square or circle, the rectangle held to the picture on screen);
// the release combines it with the selection. A shorter drag is a click, which in New mode
// removes the selection. In New mode a press on a selected pixel moves the outline instead.
#include <cmath>
#include <cstdlib>

#include "doc/Image.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "selection/SelectionShape.h"
#include "tools/Operations.h"
#include "tools/SelectionGesture.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

constexpr int32_t kStartDistance = 4;

class MarqueeTool : public OutlineDragOperation {
public:
    MarqueeTool(ToolController& tools, bool ellipse)
        : OutlineDragOperation(tools), m_ellipse(ellipse) {}

    bool Press(ImageView& view, const ViewMouse& m) override {
        m_started = false;
        if (Tools().Options().SelectionMode() == CombineMode::New && m_move.Start(view, m.client))
            return true;
        m_press = m_ellipse ? m.client : ClampToArea(m.client, ScreenArea(view));
        m_a = m_b = m_press;
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (m_move.Active()) return m_move.Move(view, m);
        const int64_t dx = m.client.x - m_press.x, dy = m.client.y - m_press.y;
        if (!m_started && dx * dx + dy * dy < kStartDistance * kStartDistance) return;
        m_started = true;
        const Rect area = ScreenArea(view);
        Point end = m_ellipse ? m.client : ClampToArea(m.client, area);
        if (m.modifiers & kShift) {
            // The end point comes toward the press along the longer side.
            const int32_t ex = end.x - m_press.x, ey = end.y - m_press.y;
            const int32_t side = std::min(std::abs(ex), std::abs(ey));
            end = {m_press.x + (ex < 0 ? -side : side), m_press.y + (ey < 0 ? -side : side)};
        }
        Point start = m_press;
        if (m.modifiers & kAlt) start = {2 * m_press.x - end.x, 2 * m_press.y - end.y};
        if (!m_ellipse) {
            start = ClampToArea(start, area);
            end = ClampToArea(end, area);
        }
        m_a = start;
        m_b = end;
    }

    void Abandon() override {
        m_move.Abandon();
        m_started = false;
    }

    void Overlay(ImageView& /*view*/, OverlayCanvas& canvas) override {
        if (!m_started) return;
        const Rect r{std::min(m_a.x, m_b.x), std::min(m_a.y, m_b.y), std::max(m_a.x, m_b.x),
                     std::max(m_a.y, m_b.y)};
        if (!m_ellipse) return canvas.Frame(r, 0);
        // The inscribed ellipse as a polyline.
        const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
        const double rx = r.Width() / 2.0, ry = r.Height() / 2.0;
        constexpr int kSteps = 72;
        Point last{int32_t(cx + rx), int32_t(cy)};
        for (int i = 1; i <= kSteps; ++i) {
            const double t = 2 * M_PI * i / kSteps;
            const Point p{int32_t(std::lround(cx + rx * std::cos(t))),
                          int32_t(std::lround(cy + ry * std::sin(t)))};
            canvas.Line(last, p, 0);
            last = p;
        }
    }

    bool HoldsOutline() const override { return true; }

private:
    void Commit(ImageView& view) override {
        HistoryManager& h = view.GetImage().History();
        const CombineMode mode = Tools().Options().SelectionMode();
        if (!m_started) {
            if (mode == CombineMode::New && HasSelection(h.Layers())) Deselect(h);
        } else {
            m_started = false;
            MarqueeSelect(h, ViewToCanvas(view, m_a), ViewToCanvas(view, m_b), m_ellipse, mode);
        }
        view.RequestRender(1);
    }

    const bool m_ellipse;
    bool m_started = false;
    Point m_press, m_a, m_b;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeMarqueeTool(ToolController& tools, bool ellipse) {
    return std::make_unique<MarqueeTool>(tools, ellipse);
}

}  // namespace zelvo
