#include "tools/StrokeTool.h"

#include "doc/Image.h"
#include "paint/StrokeGeometry.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"
#include "view/StrokeOverlay.h"
#include "workspace/Workspace.h"

namespace zelvo {

bool StrokeTool::Press(ImageView& view, const ViewMouse& m) {
    Image& image = view.GetImage();
    LayerManager& lm = image.Layers();
    const LayerPtr layer = lm.CurrentLayer();
    if (!layer || !Accepts(view, m, layer)) return false;
    Workspace& ws = image.GetWorkspace();
    if (!ws.EnsureStrokeCapacity(image.Width(), image.Height())) return false;
    const ToolOptions& o = Tools().Options();
    const int d = o.Diameter(), h = o.GetInt(0, "hardness"), op = o.GetInt(m_id, "opacity");
    if (m_tip.side == 0 || d != m_d || h != m_h || op != m_o) {
        m_tip = BuildTip(d, h, op);
        m_d = d;
        m_h = h;
        m_o = op;
    }
    StrokeTarget t;
    t.store = &ws.Store();
    t.tables = &ws.Tables();
    t.records = ws.StrokeBlock();
    t.canvasWidth = image.Width();
    t.canvasHeight = image.Height();
    t.layer = layer;
    t.mask = lm.Selection();
    t.foreground = Tools().Colors().Foreground();
    t.tip = m_tip;
    const Point start = StrokeViewToImage(image.Geometry(), m.client);
    if (!Prepare(image, t, start)) return false;
    m_image = &image;
    m_press = m.client;
    m_start = start;
    // The view shows the records over the layer while the painter fills them; the painter
    // tells which rectangles it changed, and the view refreshes only those.
    auto overlay = std::make_shared<StrokeOverlay>(ws.Store(), t.records, t.canvasWidth,
                                                   t.canvasHeight, layer);
    m_stroke.onPainted = [this, &image, shown = overlay.get()](const Rect& r) {
        shown->Grow(r);
        if (Tools().onStrokePainted) Tools().onStrokePainted(image, r);
    };
    ShowStroke(image, std::move(overlay));
    m_stroke.Start(std::move(t), start);
    return true;
}

void StrokeTool::Move(ImageView& view, const ViewMouse& m) {
    if (!m_image) return;
    const Point p = (m.modifiers & kShift) ? SnapToAngle(m_press, m.client) : m.client;
    const Point at = StrokeViewToImage(view.GetImage().Geometry(), p);
    m_stroke.Add(at);
    Moved(at);
}

bool StrokeTool::Release(ImageView& view, const ViewMouse& /*m*/) {
    End(view);
    return false;
}

void StrokeTool::Finish(ImageView& view) {
    End(view);
}

void StrokeTool::Abandon() {
    if (!m_image) return;
    Image& image = *m_image;
    m_stroke.Stop();
    DiscardStroke(m_stroke);
    ShowStroke(image, nullptr);
    m_stroke.Release();
    m_image = nullptr;
    Ended(image, false);
}

bool StrokeTool::Key(ImageView& view, int key, bool /*down*/, int /*modifiers*/, bool& stillBusy) {
    if (key != kKeyEscape || !m_image) return false;
    End(view);
    stillBusy = false;
    return true;
}

void StrokeTool::PainterTick() {
    m_stroke.PainterTick();
}

void StrokeTool::End(ImageView& view) {
    if (!m_image) return;
    Image& image = *m_image;
    m_stroke.Stop();
    bool committed = false;
    if (BeforeCommit(image, m_stroke))
        committed = CommitStroke(image.History(), m_stroke, m_name) != 0;
    else
        DiscardStroke(m_stroke);
    // The tiles keep showing the stroke until the redraw below replaces them.
    ShowStroke(image, nullptr);
    m_stroke.Release();
    m_image = nullptr;
    view.RequestRender(1);
    Ended(image, committed);
}

}  // namespace zelvo
