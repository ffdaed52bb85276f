// The brush and the eraser: a press starts a stroke on the current layer, every move appends
// a point (Shift holds it to 0, 45 or 90 degrees from the press), the tool poller paints the
// dabs meanwhile, and the release (or Esc, or a command that ends the interaction) paints what
// is left and commits the stroke as one history state.
#include "doc/Image.h"
#include "paint/Stroke.h"
#include "paint/StrokeGeometry.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"
#include "view/StrokeOverlay.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

class BrushTool : public MouseOperation {
public:
    BrushTool(ToolController& tools, StrokeKind kind, int id)
        : MouseOperation(tools), m_kind(kind), m_id(id) {}

    bool Press(ImageView& view, const ViewMouse& m) override {
        Image& image = view.GetImage();
        LayerManager& lm = image.Layers();
        const LayerPtr layer = lm.CurrentLayer();
        if (!layer) return false;
        const LayerKind k = layer->Kind();
        if (!(k == LayerKind::Pixel || (k == LayerKind::Null && m_kind == StrokeKind::Brush))) {
            AppMessages().Show("This layer must be rasterized before proceeding!");
            return false;
        }
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
        t.kind = m_kind;
        t.store = &ws.Store();
        t.tables = &ws.Tables();
        t.records = ws.StrokeBlock();
        t.canvasWidth = image.Width();
        t.canvasHeight = image.Height();
        t.layer = layer;
        t.mask = lm.Selection();
        t.foreground = Tools().Colors().Foreground();
        t.tip = m_tip;
        m_image = &image;
        m_press = m.client;
        // The view shows the records over the layer while the painter fills them; the painter
        // tells which rectangles it changed, and the view refreshes only those.
        auto overlay = std::make_shared<StrokeOverlay>(ws.Store(), t.records, t.canvasWidth,
                                                       t.canvasHeight, layer);
        m_stroke.onPainted = [this, &image, shown = overlay.get()](const Rect& r) {
            shown->Grow(r);
            if (Tools().onStrokePainted) Tools().onStrokePainted(image, r);
        };
        ShowStroke(image, std::move(overlay));
        m_stroke.Start(std::move(t), StrokeViewToImage(image.Geometry(), m.client));
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (!m_image) return;
        const Point p = (m.modifiers & kShift) ? SnapToAngle(m_press, m.client) : m.client;
        m_stroke.Add(StrokeViewToImage(view.GetImage().Geometry(), p));
    }

    bool Release(ImageView& view, const ViewMouse& /*m*/) override {
        End(view);
        return false;
    }

    void Finish(ImageView& view) override { End(view); }

    void Abandon() override {
        if (!m_image) return;
        m_stroke.Stop();
        DiscardStroke(m_stroke);
        ShowStroke(*m_image, nullptr);
        m_image = nullptr;
    }

    bool Key(ImageView& view, int key, bool /*down*/, int /*modifiers*/, bool& stillBusy) override {
        if (key != kKeyEscape || !m_image) return false;
        End(view);
        stillBusy = false;
        return true;
    }

    void PainterTick() override { m_stroke.PainterTick(); }

    CursorShape Cursor() const override { return CursorShape::Circle; }

private:
    void End(ImageView& view) {
        if (!m_image) return;
        m_stroke.Stop();
        CommitStroke(m_image->History(), m_stroke,
                     m_kind == StrokeKind::Brush ? "Brush Tool" : "Eraser Tool");
        // The tiles keep showing the stroke until the redraw below replaces them.
        ShowStroke(*m_image, nullptr);
        m_image = nullptr;
        view.RequestRender(1);
    }

    const StrokeKind m_kind;
    const int m_id;
    StrokeSession m_stroke;
    Image* m_image = nullptr;  // the document of the stroke in progress
    Point m_press;
    BrushTip m_tip;
    int m_d = 0, m_h = 0, m_o = 0;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeBrushTool(ToolController& tools) {
    return std::make_unique<BrushTool>(tools, StrokeKind::Brush, kToolBrush);
}

std::unique_ptr<MouseOperation> MakeEraserTool(ToolController& tools) {
    return std::make_unique<BrushTool>(tools, StrokeKind::Eraser, kToolEraser);
}

}  // namespace zelvo
