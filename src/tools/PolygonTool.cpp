// The polygonal marquee: every release adds a vertex and keeps the tool busy, with a rubber
// band from the last vertex to the pointer; a release in the 8 x 8 box around the first vertex,
// a double-click or the end of the interaction closes the polygon and combines it with the
// selection; Esc abandons it.
#include "doc/Image.h"
#include "selection/SelectionShape.h"
#include "tools/Operations.h"
#include "tools/SelectionGesture.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

class PolygonTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& /*view*/, const ViewMouse& m) override {
        m_pointer = m.client;
        return true;
    }
    void Move(ImageView& /*view*/, const ViewMouse& m) override { m_pointer = m.client; }

    bool Release(ImageView& view, const ViewMouse& m) override {
        m_pointer = m.client;
        if (!m_vertices.empty()) {
            const Point first = m_vertices.front();
            const int32_t dx = m.client.x - first.x, dy = m.client.y - first.y;
            if (dx >= -4 && dx <= 3 && dy >= -4 && dy <= 3) {
                Close(view);
                return false;
            }
        }
        m_vertices.push_back(m.client);
        return true;
    }

    bool DoubleClick(ImageView& view, const ViewMouse& /*m*/) override {
        Close(view);
        return false;
    }

    bool Key(ImageView& view, int key, bool down, int /*modifiers*/, bool& stillBusy) override {
        if (!down || key != kKeyEscape || m_vertices.empty()) return false;
        m_vertices.clear();
        stillBusy = false;
        view.RequestRender(1);
        return true;
    }

    void Finish(ImageView& view) override { Close(view); }
    void Abandon() override { m_vertices.clear(); }
    bool TakesPressWhileBusy() const override { return true; }

    void Overlay(ImageView& /*view*/, OverlayCanvas& canvas) override {
        for (size_t i = 1; i < m_vertices.size(); ++i)
            canvas.Line(m_vertices[i - 1], m_vertices[i], 0);
        if (!m_vertices.empty()) canvas.Line(m_vertices.back(), m_pointer, 0);
    }

    bool HoldsOutline() const override { return true; }
    CursorShape Cursor() const override { return CursorShape::Lasso; }

private:
    void Close(ImageView& view) {
        std::vector<Point> points;
        for (const Point& v : m_vertices) points.push_back(ViewToCanvas(view, v));
        m_vertices.clear();
        if (points.empty()) return;
        PolygonSelect(view.GetImage().History(), points, Tools().Options().SelectionMode(),
                      "Polygonal Select");
        view.RequestRender(1);
    }

    std::vector<Point> m_vertices;  // client coordinates
    Point m_pointer;
};

}  // namespace

std::unique_ptr<MouseOperation> MakePolygonTool(ToolController& tools) {
    return std::make_unique<PolygonTool>(tools);
}

}  // namespace zelvo
