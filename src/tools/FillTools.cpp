// The paint bucket (one click fills) and the gradient (a drag draws the line with a cross at
// its start once the pointer is 4 pixels away; the release lays the gradient along it).
#include <cstdlib>

#include "doc/Image.h"
#include "paint/Gradient.h"
#include "paint/PaintBucket.h"
#include "paint/StrokeGeometry.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

class BucketTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        Image& image = view.GetImage();
        const ToolOptions& o = Tools().Options();
        BucketFill fill;
        fill.seed = StrokeViewToImage(image.Geometry(), m.client);
        fill.tolerance = o.GetInt(kToolPaintBucket, "tolerance");
        fill.contiguous = o.GetInt(kToolPaintBucket, "contiguous") != 0;
        fill.opacity = o.GetInt(kToolPaintBucket, "opacity");
        fill.foreground = Tools().Colors().Foreground();
        if (PaintBucket(image.History(), image.GetWorkspace(), fill)) view.RequestRender(1);
        return false;
    }
    CursorShape Cursor() const override { return CursorShape::Bucket; }
};

constexpr int32_t kLineStart = 4;
constexpr int32_t kCross = 5;

class GradientTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        const LayerPtr layer = view.GetImage().Layers().CurrentLayer();
        if (!layer) return false;
        if (layer->Kind() == LayerKind::Text || layer->Kind() == LayerKind::Curve) {
            AppMessages().Show("This layer must be rasterized before proceeding!");
            return false;
        }
        m_start = m_end = m.client;
        m_shown = false;
        return true;
    }

    void Move(ImageView& /*view*/, const ViewMouse& m) override {
        const int64_t dx = m.client.x - m_start.x, dy = m.client.y - m_start.y;
        if (!m_shown && dx * dx + dy * dy < kLineStart * kLineStart) return;
        m_shown = true;
        m_end = (m.modifiers & kShift) ? SnapToAngle(m_start, m.client) : m.client;
    }

    bool Release(ImageView& view, const ViewMouse& m) override {
        Move(view, m);
        if (!m_shown) return false;
        m_shown = false;
        Image& image = view.GetImage();
        const ToolOptions& o = Tools().Options();
        GradientFill g;
        g.start = StrokeViewToImage(image.Geometry(), m_start);
        g.end = StrokeViewToImage(image.Geometry(), m_end);
        const std::string type = o.Get(kToolGradient, "type");
        g.type = type == "radial"      ? GradientType::Radial
                 : type == "reflected" ? GradientType::Reflected
                                       : GradientType::Linear;
        const std::string colors = o.Get(kToolGradient, "colors");
        g.colors = colors == "fore-transparent"   ? GradientColors::ForeToTransparent
                   : colors == "transparent-fore" ? GradientColors::TransparentToFore
                                                  : GradientColors::ForeToBack;
        g.opacity = o.GetInt(kToolGradient, "opacity");
        g.foreground = Tools().Colors().Foreground();
        g.background = Tools().Colors().Background();
        if (ApplyGradient(image.History(), g)) view.RequestRender(1);
        return false;
    }

    // A command ending the interaction drops the line without applying it.
    void Finish(ImageView& /*view*/) override { m_shown = false; }
    void Abandon() override { m_shown = false; }

    void Overlay(ImageView& /*view*/, OverlayCanvas& canvas) override {
        if (!m_shown) return;
        canvas.Line(m_start, m_end, 0);
        canvas.Line({m_start.x - kCross, m_start.y}, {m_start.x + kCross + 1, m_start.y}, 0);
        canvas.Line({m_start.x, m_start.y - kCross}, {m_start.x, m_start.y + kCross + 1}, 0);
    }

private:
    Point m_start, m_end;
    bool m_shown = false;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeBucketTool(ToolController& tools) {
    return std::make_unique<BucketTool>(tools);
}

std::unique_ptr<MouseOperation> MakeGradientTool(ToolController& tools) {
    return std::make_unique<GradientTool>(tools);
}

}  // namespace zelvo
