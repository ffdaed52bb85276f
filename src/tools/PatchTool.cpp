// The patch tool: a press off the selection draws a freeform outline that becomes the selection
// ("Patch Tool Select"); a press on a selected pixel drags the patch. While it is dragged the
// outline follows the pointer and the view shows the moved content unhealed (the source laid
// over the healed area by the selection's values); the release puts the outline back and heals
// ("Patch Tool").
#include "doc/Image.h"
#include "paint/Patch.h"
#include "paint/Stroke.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/SelectionGesture.h"
#include "tools/ToolController.h"
#include "view/DisplayRefresher.h"
#include "view/ImageView.h"
#include "view/StrokeOverlay.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

class PatchTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        m_outline.Clear();
        Image& image = view.GetImage();
        if (!OnSelectedPixel(image, ViewToCanvas(view, m.client))) {
            m_outline.Begin(view, m.client);
            return true;
        }
        const LayerPtr layer = image.Layers().CurrentLayer();
        if (!layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels()) {
            AppMessages().Show("The current layer can not be repaired!");
            return false;
        }
        Workspace& ws = image.GetWorkspace();
        if (!ws.EnsureStrokeCapacity(image.Width(), image.Height()) ||
            !m_move.Start(view, m.client))
            return false;
        m_image = &image;
        m_layer = layer;
        m_mask = image.Layers().Selection();
        m_origin = m_mask->Bounds();
        m_mode = Tools().Options().Get(kToolPatch, "patch") == "destination"
                     ? PatchMode::Destination
                     : PatchMode::Source;
        m_shown = {};
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (!m_image) return m_outline.Add(view, m.client);
        m_move.Move(view, m);
        Preview(view);
    }

    bool Release(ImageView& view, const ViewMouse& m) override {
        Move(view, m);
        End(view);
        return false;
    }

    void Finish(ImageView& view) override { End(view); }

    void Abandon() override {
        m_outline.Clear();
        if (!m_image) return;
        ClearPreview();
        m_move.Abandon();
        m_image = nullptr;
        m_layer.reset();
        m_mask.reset();
    }

    void Overlay(ImageView& /*view*/, OverlayCanvas& canvas) override { m_outline.Overlay(canvas); }

    bool HoldsOutline() const override { return true; }

private:
    HealSetup Setup(const PatchPlan& plan) const {
        Workspace& ws = m_image->GetWorkspace();
        HealSetup s;
        s.store = &ws.Store();
        s.records = ws.StrokeBlock();
        s.canvasWidth = m_image->Width();
        s.canvasHeight = m_image->Height();
        s.layer = m_layer.get();
        s.source = m_layer.get();
        s.sourceOffset = plan.sourceOffset;
        s.mask = m_mask.get();
        // The mask travels with the pointer meanwhile: its values now lie `d` further on.
        const Point d = m_move.Offset();
        s.maskOffset = {plan.maskOffset.x - d.x, plan.maskOffset.y - d.y};
        return s;
    }

    void Preview(ImageView& view) {
        const Point d = m_move.Offset();
        if (!m_move.Moved() || (!m_shown.IsEmpty() && d == m_shownOffset)) return;
        const PatchPlan plan = PlanPatch(m_origin, d, m_mode, m_image->Width(), m_image->Height());
        {
            // The refresher reads the records: it waits while they are rewritten.
            HoldRender hold(m_image->ViewState());
            ClearRecords();
            if (!m_overlay) {
                Workspace& ws = m_image->GetWorkspace();
                m_overlay = std::make_shared<StrokeOverlay>(
                    ws.Store(), ws.StrokeBlock(), m_image->Width(), m_image->Height(), m_layer);
                ShowStroke(*m_image, m_overlay);
            }
            if (!PreviewHeal(Setup(plan), plan.area)) ClearRecords();
            m_overlay->Grow(plan.area);
        }
        m_shown = plan.area;
        m_shownOffset = d;
        view.RequestRender(1);
    }

    void ClearRecords() {
        if (m_shown.IsEmpty()) return;
        Workspace& ws = m_image->GetWorkspace();
        StrokeTarget t;
        t.store = &ws.Store();
        t.records = ws.StrokeBlock();
        t.canvasWidth = m_image->Width();
        t.canvasHeight = m_image->Height();
        ZeroRecords(t, m_shown);
        m_shown = {};
    }

    void ClearPreview() {
        ClearRecords();
        if (m_overlay) ShowStroke(*m_image, nullptr);
        m_overlay.reset();
    }

    void End(ImageView& view) {
        if (!m_image)
            return m_outline.Commit(view, Tools().Options().SelectionMode(), "Patch Tool Select");
        Image& image = *m_image;
        const bool moved = m_move.Moved();
        const Point d = m_move.Offset();
        // The outline goes back where it was: the patch heals, it does not move the selection.
        m_move.Abandon();
        ClearPreview();
        m_image = nullptr;
        if (moved && image.Layers().CurrentLayer() == m_layer &&
            image.Layers().Selection() == m_mask)
            ApplyPatch(image.History(), image.GetWorkspace(), d, m_mode);
        m_layer.reset();
        m_mask.reset();
        view.RequestRender(1);
    }

    FreeformOutline m_outline;
    OutlineMove m_move;
    Image* m_image = nullptr;  // the document of the patch being dragged
    LayerPtr m_layer, m_mask;
    Rect m_origin;  // the mask's rectangle at the press
    PatchMode m_mode = PatchMode::Source;
    std::shared_ptr<StrokeOverlay> m_overlay;
    Rect m_shown;  // the records the preview wrote
    Point m_shownOffset;
};

}  // namespace

std::unique_ptr<MouseOperation> MakePatchTool(ToolController& tools) {
    return std::make_unique<PatchTool>(tools);
}

}  // namespace zelvo
