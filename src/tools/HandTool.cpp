// The Hand tool (also the temporary tool of Space): dragging scrolls the view by the pointer's
// movement from the press.
#include "tools/Operations.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

class HandTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        m_press = m.client;
        m_scrollX = view.ScrollX();
        m_scrollY = view.ScrollY();
        return true;
    }
    void Move(ImageView& view, const ViewMouse& m) override {
        // The canvas follows the pointer.
        view.ScrollTo(m_scrollX - (m.client.x - m_press.x), m_scrollY - (m.client.y - m_press.y));
    }
    bool Release(ImageView& view, const ViewMouse& m) override {
        Move(view, m);
        return false;
    }
    CursorShape Cursor() const override { return CursorShape::Hand; }

private:
    Point m_press;
    int32_t m_scrollX = 0, m_scrollY = 0;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeHandTool(ToolController& tools) {
    return std::make_unique<HandTool>(tools);
}

}  // namespace zelvo
