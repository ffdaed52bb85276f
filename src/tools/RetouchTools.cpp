// Lighten/darken, sponge, blur and sharpen: brush-driven strokes on a pixel layer that change
// its own pixels. The press fixes the tip, the tool's mode and its table or kernel; the
// release commits one state named after the tool and its mode.
#include "doc/Image.h"
#include "paint/Stroke.h"
#include "paint/StrokeGeometry.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

class RetouchTool : public MouseOperation {
public:
    RetouchTool(ToolController& tools, int id) : MouseOperation(tools), m_id(id) {}

    bool Press(ImageView& view, const ViewMouse& m) override {
        Image& image = view.GetImage();
        LayerManager& lm = image.Layers();
        const LayerPtr layer = lm.CurrentLayer();
        if (!layer) return false;
        if (layer->Kind() != LayerKind::Pixel) {
            AppMessages().Show("This layer must be rasterized before proceeding!");
            return false;
        }
        Workspace& ws = image.GetWorkspace();
        if (!ws.EnsureStrokeCapacity(image.Width(), image.Height())) return false;
        const ToolOptions& o = Tools().Options();
        const int op = o.GetInt(m_id, "opacity");
        StrokeTarget t;
        t.tip = BuildTip(o.Diameter(), o.GetInt(0, "hardness"), op);
        switch (m_id) {
            case kToolLightenDarken: {
                const bool dark = o.Get(m_id, "tone") == "dark";
                const std::string range = o.Get(m_id, "range");
                t.kind = dark ? StrokeKind::Darken : StrokeKind::Lighten;
                t.retouch.table = ToneTable(range == "highlights" ? ToneRange::Highlights
                                            : range == "shadows"  ? ToneRange::Shadows
                                                                  : ToneRange::Midtones,
                                            dark);
                m_name = dark ? "Darken Tool" : "Lighten Tool";
                break;
            }
            case kToolSponge: {
                const bool de = o.Get(m_id, "sponge") == "desaturate";
                t.kind = de ? StrokeKind::SpongeDesaturate : StrokeKind::SpongeSaturate;
                m_name = de ? "Sponge Desaturate Tool" : "Sponge Saturate Tool";
                break;
            }
            case kToolBlur:
                t.kind = StrokeKind::Blur;
                BlurKernel(op, t.retouch);
                m_name = "Blur Tool";
                break;
            default:
                t.kind = StrokeKind::Sharpen;
                m_name = "Sharpen Tool";
                break;
        }
        t.store = &ws.Store();
        t.tables = &ws.Tables();
        t.records = ws.StrokeBlock();
        t.canvasWidth = image.Width();
        t.canvasHeight = image.Height();
        t.layer = layer;
        t.mask = lm.Selection();
        m_image = &image;
        m_press = m.client;
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
        CommitStroke(m_image->History(), m_stroke, m_name);
        m_image = nullptr;
        view.RequestRender(1);
    }

    const int m_id;
    StrokeSession m_stroke;
    Image* m_image = nullptr;  // the document of the stroke in progress
    Point m_press;
    std::string m_name;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeRetouchTool(ToolController& tools, int id) {
    return std::make_unique<RetouchTool>(tools, id);
}

}  // namespace zelvo
