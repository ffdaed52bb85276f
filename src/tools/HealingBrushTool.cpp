// The healing brush: an Alt-click picks the source on the current layer, a stroke paints clone
// dabs from it as its live preview (always from the source point, never aligned, from the
// source layer alone), and the release heals what the stroke covered before committing it.
#include "doc/Image.h"
#include "paint/HealingBrush.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/SourceStrokeTool.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

class HealingBrushTool : public SourceStrokeTool {
public:
    explicit HealingBrushTool(ToolController& tools) : SourceStrokeTool(tools, kToolHealingBrush) {
        m_name = "Healing Brush Tool";
    }

protected:
    bool Accepts(ImageView& view, const ViewMouse& m, const LayerPtr& layer) override {
        switch (layer->Kind()) {
            case LayerKind::Null:
                AppMessages().Show(
                    "Could not use the patch tool because the target is a null layer!");
                return false;
            case LayerKind::Curve:
                AppMessages().Show(
                    "Could not use the patch tool because the target is a curve layer!");
                return false;
            case LayerKind::Text:
                AppMessages().Show(
                    "Could not use the patch tool because the target is a text layer!");
                return false;
            default:
                break;
        }
        if (PickSource(view, m, layer)) return false;
        return CheckSource(view.GetImage(), true);
    }

    bool Prepare(Image& image, StrokeTarget& t, Point start) override {
        const CloneSource& s = Tools().Source();
        m_offset = {s.point.x - start.x, s.point.y - start.y};
        t.kind = StrokeKind::Clone;
        t.sourceLayer = s.SourceLayer();
        t.sourceAll = false;
        t.sourceWidth = image.Width();
        t.sourceHeight = image.Height();
        t.sourceOffset = m_offset;
        SampleAt(m_offset, start);
        return true;
    }

    bool BeforeCommit(Image& /*image*/, StrokeSession& stroke) override {
        return HealStroke(stroke, m_offset);
    }

private:
    Point m_offset;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeHealingBrushTool(ToolController& tools) {
    return std::make_unique<HealingBrushTool>(tools);
}

}  // namespace zelvo
