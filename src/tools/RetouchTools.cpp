// Lighten/darken, sponge, blur and sharpen: brush-driven strokes on a pixel layer that change
// its own pixels. The press fixes the tool's mode and its table or kernel; the state is named
// after the tool and its mode.
#include "doc/Image.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/StrokeTool.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

class RetouchTool : public StrokeTool {
public:
    RetouchTool(ToolController& tools, int id) : StrokeTool(tools, id) {}

protected:
    bool Accepts(ImageView& /*view*/, const ViewMouse& /*m*/, const LayerPtr& layer) override {
        if (layer->Kind() == LayerKind::Pixel) return true;
        // These four tools' refusal has no exclamation mark, unlike the painting tools'.
        AppMessages().Show("This layer must be rasterized before proceeding");
        return false;
    }

    bool Prepare(Image& /*image*/, StrokeTarget& t, Point /*start*/) override {
        const ToolOptions& o = Tools().Options();
        switch (Id()) {
            case kToolLightenDarken: {
                const bool dark = o.Get(Id(), "tone") == "dark";
                const std::string range = o.Get(Id(), "range");
                t.kind = dark ? StrokeKind::Darken : StrokeKind::Lighten;
                t.retouch.table = ToneTable(range == "highlights" ? ToneRange::Highlights
                                            : range == "shadows"  ? ToneRange::Shadows
                                                                  : ToneRange::Midtones,
                                            dark);
                m_name = dark ? "Darken Tool" : "Lighten Tool";
                break;
            }
            case kToolSponge: {
                const bool de = o.Get(Id(), "sponge") == "desaturate";
                t.kind = de ? StrokeKind::SpongeDesaturate : StrokeKind::SpongeSaturate;
                m_name = de ? "Sponge Desaturate Tool" : "Sponge Saturate Tool";
                break;
            }
            case kToolBlur:
                t.kind = StrokeKind::Blur;
                BlurKernel(o.GetInt(Id(), "opacity"), t.retouch);
                m_name = "Blur Tool";
                break;
            default:
                t.kind = StrokeKind::Sharpen;
                m_name = "Sharpen Tool";
                break;
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<MouseOperation> MakeRetouchTool(ToolController& tools, int id) {
    return std::make_unique<RetouchTool>(tools, id);
}

}  // namespace zelvo
