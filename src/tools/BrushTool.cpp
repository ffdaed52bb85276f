// The brush and the eraser: the brush lays the foreground colour (on a pixel or null layer),
// the eraser takes alpha (pixel layers only).
#include "doc/Image.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/StrokeTool.h"
#include "tools/ToolTable.h"

namespace zelvo {

namespace {

class BrushTool : public StrokeTool {
public:
    BrushTool(ToolController& tools, StrokeKind kind, int id)
        : StrokeTool(tools, id), m_kind(kind) {
        m_name = kind == StrokeKind::Brush ? "Brush Tool" : "Eraser Tool";
    }

protected:
    bool Accepts(ImageView& /*view*/, const ViewMouse& /*m*/, const LayerPtr& layer) override {
        const LayerKind k = layer->Kind();
        if (k == LayerKind::Pixel || (k == LayerKind::Null && m_kind == StrokeKind::Brush))
            return true;
        AppMessages().Show("This layer must be rasterized before proceeding!");
        return false;
    }

    bool Prepare(Image& /*image*/, StrokeTarget& t, Point /*start*/) override {
        t.kind = m_kind;
        return true;
    }

private:
    const StrokeKind m_kind;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeBrushTool(ToolController& tools) {
    return std::make_unique<BrushTool>(tools, StrokeKind::Brush, kToolBrush);
}

std::unique_ptr<MouseOperation> MakeEraserTool(ToolController& tools) {
    return std::make_unique<BrushTool>(tools, StrokeKind::Eraser, kToolEraser);
}

}  // namespace zelvo
