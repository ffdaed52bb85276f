// The Move tool (also the temporary tool of Ctrl): a press picks up the current layer, or its
// whole link group; the drag moves it live; the drop records the move, leaves a copy (Alt),
// or copies the layer into another open document when the pointer is over that document's
// view. The arrow keys nudge the current layer by one screen step.
#include "tools/MoveTool.h"

#include <vector>

#include "doc/Image.h"
#include "layerops/LayerMoves.h"
#include "layerops/LayerStack.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/SelectionGesture.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

int32_t NudgeStep(float zoom) {
    if (!(zoom > 0.0f)) return 1;
    const float screen = zoom > 1.0f ? float(int32_t(zoom + 1.0f)) : 1.0f;
    return int32_t(screen / zoom);
}

namespace {

// Records a finished move of one layer: `from` is its place before (pixel, text) or the
// shift of its anchors (curve).
bool RecordSingleMove(Image& image, const LayerPtr& layer, Point from, Point shift) {
    HistoryManager& h = image.History();
    const int index = image.Layers().IndexOf(layer.get());
    switch (layer->Kind()) {
        case LayerKind::Pixel:
        case LayerKind::Text:
            h.RecordState(layer, {}, kStateMoveLayer, index,
                          layer->Kind() == LayerKind::Text ? "Move Text" : "Move Layer",
                          ExtraValues({from.x, from.y}));
            return true;
        case LayerKind::Curve: {
            // The curve editor records the move from the anchors as they were.
            ShiftCurveLayer(*layer, {-shift.x, -shift.y});
            CurveEdit& curves = image.Curves();
            if (!curves.BeginCurveEdit()) return false;
            ShiftCurveLayer(*layer, shift);
            return curves.CommitCurveEdit("Move Curves");
        }
        default:
            return false;
    }
}

// Ctrl's pick: the topmost visible layer with a pixel under the pointer becomes current.
void PickLayerUnder(ImageView& view, Point client) {
    LayerManager& lm = view.GetImage().Layers();
    const Point at = ViewToCanvas(view, client);
    for (int i = lm.LayerCount() - 1; i >= 0; --i) {
        const LayerPtr layer = lm.LayerAt(i);
        if (!layer->IsVisible() || layer->Kind() == LayerKind::Null) continue;
        const bool hit = layer->ContainsOpaquePixel(at.x, at.y);
        layer->ReleaseRows();
        if (!hit) continue;
        if (!layer->IsCurrent()) {
            lm.SelectLayerByIndex(i + 1);
            view.RequestRender(1);
        }
        return;
    }
}

class MoveTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        Image& image = view.GetImage();
        if (m.modifiers & kControl) PickLayerUnder(view, m.client);
        LayerManager& lm = image.Layers();
        const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
        if (!current || current->Kind() == LayerKind::Null) return false;
        m_image = &image;
        m_press = m.client;
        m_over = nullptr;
        std::vector<LayerPtr> members = CurrentLinkGroup(lm);
        m_linked = !members.empty();
        if (!m_linked) members = {current};
        m_group = StartGroupMove(members);
        // A linked group always moves; only a single layer leaves a copy behind.
        m_copy = !m_linked && (m.modifiers & kAlt);
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (!m_image) return;
        if (&view.GetImage() != m_image) {
            // Over another document: the layer stays put until the drop there.
            if (m_over != &view) {
                RestoreGroup(m_group);
                m_image->RequestRender(1);
                m_over = &view;
                view.RequestRender(1);
            }
            return;
        }
        if (m_over) m_over->RequestRender(1);
        m_over = nullptr;
        Point d{m.client.x - m_press.x, m.client.y - m_press.y};
        if (m.modifiers & kShift) d = ConstrainAngle(d);
        const float zoom = view.Zoom();
        m_offset = MoveGroupTo(m_group, {int32_t(float(d.x) / zoom), int32_t(float(d.y) / zoom)});
        view.RequestRender(1);
    }

    bool Release(ImageView& view, const ViewMouse& m) override {
        if (!m_image) return false;
        Move(view, m);
        if (&view.GetImage() != m_image)
            DropOnOther(view.GetImage());
        else
            Drop();
        End();
        return false;
    }

    void Finish(ImageView& /*view*/) override {
        if (!m_image) return;
        if (m_over) {
            // No drop happened over the other document: everything goes back.
            RestoreGroup(m_group);
            m_image->RequestRender(1);
        } else {
            Drop();
        }
        End();
    }

    void Abandon() override {
        if (m_image) {
            RestoreGroup(m_group);
            m_image->RequestRender(1);
        }
        End();
    }

    bool FollowsAcrossViews() const override { return true; }
    void ViewGone(ImageView& view) override {
        if (m_over == &view) m_over = nullptr;
    }

    bool Key(ImageView& view, int key, bool down, int /*modifiers*/, bool& stillBusy) override {
        if (!down || stillBusy) return false;
        Point dir;
        if (key == kKeyLeft) dir = {-1, 0};
        if (key == kKeyRight) dir = {1, 0};
        if (key == kKeyUp) dir = {0, -1};
        if (key == kKeyDown) dir = {0, 1};
        if (dir.x == 0 && dir.y == 0) return false;
        const int32_t step = NudgeStep(view.Zoom());
        if (MoveCurrentLayer(view.GetImage(), dir.x * step, dir.y * step)) view.RequestRender(1);
        return true;
    }

    void Overlay(ImageView& view, OverlayCanvas& canvas) override {
        if (!m_image || &view != m_over) return;
        // The other document shows it takes the drop: a 4-pixel frame round its picture.
        const Rect area = ScreenArea(view);
        for (int32_t i = 0; i < 4; ++i)
            canvas.Frame({area.left + i, area.top + i, area.right - i, area.bottom - i}, 0);
    }

    CursorShape Cursor() const override { return CursorShape::Move; }

private:
    void Drop() {
        Image& image = *m_image;
        if (m_offset.x == 0 && m_offset.y == 0) return;  // a click moves nothing
        HistoryManager& h = image.History();
        if (m_linked) {
            std::vector<MoveRecord> records = GroupRecords(m_group);
            if (records.empty()) return;
            StateExtra extra;
            extra.records = std::move(records);
            h.RecordState(image.Layers().CurrentLayer(), {}, kStateMoveLinked,
                          image.Layers().CurrentIndex(), "Move Linked Layers", std::move(extra));
        } else if (m_copy) {
            // The copy takes the new place; the layer itself goes back to where it was.
            const LayerPtr layer = m_group.front().layer;
            const bool copied = DuplicateLayer(h) == 1;
            RestoreGroup(m_group);
            if (!copied) return;
        } else {
            const MovedLayer& moved = m_group.front();
            RecordSingleMove(image, moved.layer, moved.start, moved.shifted);
        }
        image.RequestRender(1);
    }

    void DropOnOther(Image& target) {
        RestoreGroup(m_group);
        m_image->RequestRender(1);
        if (m_linked) {
            AppMessages().Show("The current version should not duplicate the linked layers!");
            return;
        }
        if (CopyLayerFrom(target.History(), m_group.front().layer.get(), 1) == 1)
            Tools().ActivateDocument(target);
    }

    void End() {
        m_image = nullptr;
        m_over = nullptr;
        m_group.clear();
        m_offset = {};
    }

    Image* m_image = nullptr;     // the document whose layers move
    ImageView* m_over = nullptr;  // another document's view under the pointer (compared only)
    Point m_press;
    Point m_offset;
    bool m_linked = false;
    bool m_copy = false;
    std::vector<MovedLayer> m_group;
};

}  // namespace

bool MoveCurrentLayer(Image& image, int32_t dx, int32_t dy) {
    LayerManager& lm = image.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!layer || layer->Kind() == LayerKind::Null || (dx == 0 && dy == 0)) return false;
    if (!CurrentLinkGroup(lm).empty()) return false;
    std::vector<MovedLayer> group = StartGroupMove({layer});
    MoveGroupTo(group, {dx, dy});
    return RecordSingleMove(image, layer, group.front().start, group.front().shifted);
}

std::unique_ptr<MouseOperation> MakeMoveTool(ToolController& tools) {
    return std::make_unique<MoveTool>(tools);
}

}  // namespace zelvo
