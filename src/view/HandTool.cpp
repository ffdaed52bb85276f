#include "view/ImageView.h"
#include "view/ToolController.h"

namespace zelvo {

void HandTool::MouseDown(ImageView& view, const ViewMouse& m) {
    if (m.button != kLeftButton) return;
    m_dragging = true;
    m_press = m.client;
    m_scrollX = view.ScrollX();
    m_scrollY = view.ScrollY();
}

void HandTool::MouseMove(ImageView& view, const ViewMouse& m) {
    if (!m_dragging) return;
    // The canvas follows the pointer.
    view.ScrollTo(m_scrollX - (m.client.x - m_press.x), m_scrollY - (m.client.y - m_press.y));
}

void HandTool::MouseUp(ImageView& view, const ViewMouse& m) {
    if (!m_dragging || m.button != kLeftButton) return;
    MouseMove(view, m);
    m_dragging = false;
}

}  // namespace zelvo
