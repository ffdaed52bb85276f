// The clone stamp: an Alt-click picks the source, a stroke copies from it. Without "Aligned"
// every stroke starts sampling at the source point; with it the first stroke after the
// Alt-click fixes the offset and later strokes keep it. "Use All Layers" samples what the
// source document shows rather than its layer.
#include "doc/Image.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/SourceStrokeTool.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

class CloneTool : public SourceStrokeTool {
public:
    explicit CloneTool(ToolController& tools) : SourceStrokeTool(tools, kToolCloneStamp) {
        m_name = "Clone Stamp Tool";
    }

protected:
    bool Accepts(ImageView& view, const ViewMouse& m, const LayerPtr& layer) override {
        const LayerKind k = layer->Kind();
        if (k != LayerKind::Pixel && k != LayerKind::Null) {
            AppMessages().Show("This layer must be rasterized before proceeding!");
            return false;
        }
        if (PickSource(view, m, layer)) return false;
        return CheckSource(view.GetImage(), false);
    }

    bool Prepare(Image& /*image*/, StrokeTarget& t, Point start) override {
        CloneSource& s = Tools().Source();
        const ToolOptions& o = Tools().Options();
        Point from = start;
        if (o.GetInt(Id(), "aligned") != 0) {
            if (!s.offsetFixed) {
                s.firstStart = start;
                s.offsetFixed = true;
            }
            from = s.firstStart;
        }
        const Point offset{s.point.x - from.x, s.point.y - from.y};
        Image& source = *s.Document();
        t.kind = StrokeKind::Clone;
        t.sourceLayer = s.SourceLayer();
        t.sourceAll = o.GetInt(Id(), "all-layers") != 0;
        if (t.sourceAll) t.sourceLayers = source.Layers().Layers();
        t.sourceWidth = source.Width();
        t.sourceHeight = source.Height();
        t.sourceOffset = offset;
        SampleAt(offset, start);
        return true;
    }
};

}  // namespace

std::unique_ptr<MouseOperation> MakeCloneTool(ToolController& tools) {
    return std::make_unique<CloneTool>(tools);
}

}  // namespace zelvo
