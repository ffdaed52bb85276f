// The freeform marquee (lasso): once the pointer is 4 screen pixels from the press, every
// position joins the outline in canvas coordinates, held to the canvas; the release closes it
// and combines the polygon with the selection. In New mode a press on a selected pixel moves
// the outline instead, and a gesture that collected nothing removes the selection.
#include <algorithm>

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

class LassoTool : public OutlineDragOperation {
public:
    using OutlineDragOperation::OutlineDragOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        m_points.clear();
        m_view.clear();
        if (Tools().Options().SelectionMode() == CombineMode::New && m_move.Start(view, m.client))
            return true;
        m_press = ClampToArea(m.client, ScreenArea(view));
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (m_move.Active()) return m_move.Move(view, m);
        if (m_points.empty()) {
            const int64_t dx = m.client.x - m_press.x, dy = m.client.y - m_press.y;
            if (dx * dx + dy * dy < kStartDistance * kStartDistance) return;
            Add(view, m_press);
        }
        Add(view, m.client);
    }

    void Abandon() override {
        m_move.Abandon();
        m_points.clear();
        m_view.clear();
    }

    void Overlay(ImageView& /*view*/, OverlayCanvas& canvas) override {
        for (size_t i = 1; i < m_view.size(); ++i) canvas.Line(m_view[i - 1], m_view[i], 0);
    }

    bool HoldsOutline() const override { return true; }
    CursorShape Cursor() const override { return CursorShape::Lasso; }

private:
    void Add(ImageView& view, Point client) {
        Image& image = view.GetImage();
        Point p = ViewToCanvas(view, client);
        p.x = std::clamp(p.x, 0, image.Width());
        p.y = std::clamp(p.y, 0, image.Height());
        m_points.push_back(p);
        m_view.push_back(client);
    }

    void Commit(ImageView& view) override {
        HistoryManager& h = view.GetImage().History();
        const CombineMode mode = Tools().Options().SelectionMode();
        Rect bounds;
        if (!m_points.empty()) {
            bounds = {m_points[0].x, m_points[0].y, m_points[0].x, m_points[0].y};
            for (const Point& p : m_points)
                bounds = {std::min(bounds.left, p.x), std::min(bounds.top, p.y),
                          std::max(bounds.right, p.x), std::max(bounds.bottom, p.y)};
        }
        if (!bounds.IsEmpty())
            PolygonSelect(h, m_points, mode, "Freeform Select");
        else if (mode == CombineMode::New && HasSelection(h.Layers()))
            Deselect(h);
        m_points.clear();
        m_view.clear();
        view.RequestRender(1);
    }

    Point m_press;
    std::vector<Point> m_points;  // canvas
    std::vector<Point> m_view;    // the same points on screen, for the overlay
};

}  // namespace

std::unique_ptr<MouseOperation> MakeLassoTool(ToolController& tools) {
    return std::make_unique<LassoTool>(tools);
}

}  // namespace zelvo
