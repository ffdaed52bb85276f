// The freeform marquee (lasso): the freeform outline combined with the selection as "Freeform
// Select". In New mode a press on a selected pixel moves the outline instead.
#include "selection/SelectionShape.h"
#include "tools/Operations.h"
#include "tools/SelectionGesture.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

class LassoTool : public OutlineDragOperation {
public:
    using OutlineDragOperation::OutlineDragOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        m_outline.Clear();
        if (Tools().Options().SelectionMode() == CombineMode::New && m_move.Start(view, m.client))
            return true;
        m_outline.Begin(view, m.client);
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (m_move.Active()) return m_move.Move(view, m);
        m_outline.Add(view, m.client);
    }

    void Abandon() override {
        m_move.Abandon();
        m_outline.Clear();
    }

    void Overlay(ImageView& /*view*/, OverlayCanvas& canvas) override { m_outline.Overlay(canvas); }

    bool HoldsOutline() const override { return true; }
    CursorShape Cursor() const override { return CursorShape::Lasso; }

private:
    void Commit(ImageView& view) override {
        m_outline.Commit(view, Tools().Options().SelectionMode(), "Freeform Select");
    }

    FreeformOutline m_outline;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeLassoTool(ToolController& tools) {
    return std::make_unique<LassoTool>(tools);
}

}  // namespace zelvo
