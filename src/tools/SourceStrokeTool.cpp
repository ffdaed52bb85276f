#include "tools/SourceStrokeTool.h"

#include "doc/Image.h"
#include "paint/StrokeGeometry.h"
#include "platform/Messages.h"
#include "tools/ImagePoint.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

Image* CloneSource::Document() const {
    return view ? &view->GetImage() : nullptr;
}

LayerPtr CloneSource::SourceLayer() const {
    if (!view) return nullptr;
    for (const LayerPtr& layer : view->GetImage().Layers().Layers())
        if (layer->Serial() == layerSerial) return layer;
    return nullptr;
}

bool SourceStrokeTool::PickSource(ImageView& view, const ViewMouse& m, const LayerPtr& layer) {
    if (!(m.modifiers & kAlt)) return false;
    Tools().Source().Define(view, layer->Serial(),
                            StrokeViewToImage(view.GetImage().Geometry(), m.client));
    return true;
}

bool SourceStrokeTool::CheckSource(Image& image, bool currentLayerOnly) {
    const CloneSource& s = Tools().Source();
    const LayerPtr layer = s.SourceLayer();
    bool ok = layer != nullptr;
    if (ok && currentLayerOnly)
        ok = s.Document() == &image && image.Layers().CurrentLayer() == layer;
    if (!ok) AppMessages().Show(kNoSource);
    return ok;
}

void SourceStrokeTool::SampleAt(Point offset, Point start) {
    m_offset = offset;
    m_current = start;
    RepaintSourceView();
}

void SourceStrokeTool::Moved(Point p) {
    m_current = p;
    RepaintSourceView();
}

void SourceStrokeTool::Ended(Image& /*image*/, bool /*committed*/) {
    // The cross goes; a source in another document may have been read meanwhile.
    RepaintSourceView();
}

void SourceStrokeTool::RepaintSourceView() {
    Image* source = Tools().Source().Document();
    if (source && source != StrokeImage()) Tools().RepaintView(*source);
}

void SourceStrokeTool::Overlay(ImageView& view, OverlayCanvas& canvas) {
    DrawCross(view, canvas);
}

void SourceStrokeTool::OverlayOther(ImageView& view, OverlayCanvas& canvas) {
    DrawCross(view, canvas);
}

void SourceStrokeTool::DrawCross(ImageView& view, OverlayCanvas& canvas) {
    if (!StrokeImage() || Tools().Source().view != &view) return;
    // Where the stroke samples now, 19 screen pixels across.
    const Point c = ImageToView(view, {m_current.x + m_offset.x, m_current.y + m_offset.y});
    canvas.Line({c.x - 9, c.y}, {c.x + 10, c.y}, 0);
    canvas.Line({c.x, c.y - 9}, {c.x, c.y + 10}, 0);
}

}  // namespace zelvo
