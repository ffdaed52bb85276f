// The free-transform mode: a press picks a corner handle (within 6 screen pixels), the inside
// of the frame (move) or anything else (turn about the frame's centre); the drag reshapes the
// frame from where it was at the press; Enter commits and Esc cancels. A curve layer's anchors
// follow the frame at once through the curve edit; a pixel layer is drawn again at the commit.
#include "tools/FreeTransformTool.h"

#include <cmath>
#include <vector>

#include "curves/Curve.h"
#include "doc/Image.h"
#include "platform/Messages.h"
#include "tools/Operations.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

constexpr int kMove = 5, kRotate = 6;
constexpr double kHandleReach = 6;

PointD ToCanvas(const ImageGeometry& g, Point client) {
    return {g.visible.left + (client.x - g.screenRect.left) / double(g.zoom),
            g.visible.top + (client.y - g.screenRect.top) / double(g.zoom)};
}
PointD ToClient(const ImageGeometry& g, PointD canvas) {
    return {g.screenRect.left + (canvas.x - g.visible.left) * double(g.zoom),
            g.screenRect.top + (canvas.y - g.visible.top) * double(g.zoom)};
}

bool InsideQuad(const std::array<PointD, 4>& q, PointD p) {
    bool in = false;
    for (size_t i = 0, j = 3; i < 4; j = i++) {
        if ((q[i].y > p.y) != (q[j].y > p.y) &&
            p.x < (q[j].x - q[i].x) * (p.y - q[i].y) / (q[j].y - q[i].y) + q[i].x)
            in = !in;
    }
    return in;
}

class FreeTransformTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Start(ImageView& view) {
        Image& image = view.GetImage();
        const LayerPtr layer = image.Layers().CurrentLayer();
        if (!layer || layer->Kind() == LayerKind::Null) return false;
        if (layer->Kind() == LayerKind::Text) {
            AppMessages().Show("This layer must be rasterized before proceeding!");
            return false;
        }
        if (layer->Kind() == LayerKind::Curve) {
            if (layer->Anchors().empty() || !image.Curves().BeginCurveEdit()) return false;
            m_anchors = layer->Anchors();
            const Rect b = CurvePointBounds(m_anchors);
            m_source = {b.left, b.top, b.right - 1, b.bottom - 1};
        } else {
            if (!layer->HasPixels()) return false;
            m_source = layer->Bounds();
        }
        m_image = &image;
        m_layer = layer;
        m_frame = RectFrame(m_source);
        m_handle = 0;
        return true;
    }

    bool Press(ImageView& view, const ViewMouse& m) override {
        if (!m_image) return false;
        if (&view.GetImage() != m_image) return true;  // the frame belongs to another document
        const ImageGeometry& g = m_image->Geometry();
        const PointD p{double(m.client.x), double(m.client.y)};
        std::array<PointD, 4> screen;
        for (size_t i = 0; i < 4; ++i) screen[i] = ToClient(g, m_frame[i]);
        m_handle = InsideQuad(screen, p) ? kMove : kRotate;
        for (size_t i = 0; i < 4; ++i)
            if (std::abs(p.x - screen[i].x) <= kHandleReach &&
                std::abs(p.y - screen[i].y) <= kHandleReach) {
                m_handle = int(i) + 1;
                break;
            }
        m_start = m_frame;
        m_press = ToCanvas(g, m.client);
        m_centre = RotationCentre(m_frame);
        m_pressAngle = PointerAngle(m_centre, m_press);
        return true;
    }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (!m_image || m_handle == 0 || &view.GetImage() != m_image) return;
        const PointD p = ToCanvas(m_image->Geometry(), m.client);
        FrameCorners next;
        if (m_handle == kMove)
            next = ShiftFrame(m_start, p.x - m_press.x, p.y - m_press.y);
        else if (m_handle == kRotate)
            next = RotateFrame(m_start, m_centre, PointerAngle(m_centre, p) - m_pressAngle);
        else
            next =
                DragCorner(m_start, m_handle - 1, p, m.modifiers & kControl, m.modifiers & kShift);
        // A frame past the coordinate limit is not taken: the last one that fits stays.
        if (!FrameFits(next)) return;
        m_frame = next;
        Changed(view);
    }

    bool Release(ImageView& view, const ViewMouse& m) override {
        Move(view, m);
        m_handle = 0;
        return m_image != nullptr;
    }

    bool TakesPressWhileBusy() const override { return true; }

    bool Key(ImageView& view, int key, bool down, int /*modifiers*/, bool& stillBusy) override {
        if (!down || !m_image) return false;
        if (key == kKeyReturn || key == kKeyEnter || key == kKeyEscape) {
            End(key != kKeyEscape);
            stillBusy = false;
            return true;
        }
        PointD d;
        const double step = 1.0 / double(view.Zoom());
        if (key == kKeyLeft) d = {-step, 0};
        if (key == kKeyRight) d = {step, 0};
        if (key == kKeyUp) d = {0, -step};
        if (key == kKeyDown) d = {0, step};
        if (d.x == 0 && d.y == 0) return false;
        m_frame = ShiftFrame(m_frame, d.x, d.y);
        Changed(view);
        return true;
    }

    void Finish(ImageView& /*view*/) override { End(true); }
    void Abandon() override { End(false); }

    void Overlay(ImageView& view, OverlayCanvas& canvas) override {
        if (!m_image || &view.GetImage() != m_image) return;
        const ImageGeometry& g = m_image->Geometry();
        std::array<Point, 4> s;
        for (size_t i = 0; i < 4; ++i) {
            const PointD c = ToClient(g, m_frame[i]);
            s[i] = {int32_t(std::lround(c.x)), int32_t(std::lround(c.y))};
        }
        for (size_t i = 0; i < 4; ++i) {
            canvas.Line(s[i], s[(i + 1) % 4], 0);
            canvas.Frame({s[i].x - 3, s[i].y - 3, s[i].x + 4, s[i].y + 4}, 0);
        }
    }
    bool HoldsOutline() const override { return true; }

    void Button(FrameButton button) {
        if (!m_image) return;
        const FrameCorners turned = TurnFrame(m_frame, button);
        if (!FrameFits(turned)) return;
        m_frame = turned;
        if (m_layer->Kind() == LayerKind::Curve) FollowCurve();
        m_image->RequestRender(1);
    }
    bool Pending() const { return m_image != nullptr; }
    PendingPixelTransform PixelTransform() const {
        if (!m_image || m_layer->Kind() != LayerKind::Pixel) return {};
        return {m_image, m_layer};
    }
    const FrameCorners& Frame() const { return m_frame; }

    void End(bool commit) {
        if (!m_image) return;
        Image& image = *m_image;
        if (m_layer->Kind() == LayerKind::Curve) {
            if (commit && m_frame != RectFrame(m_source))
                image.Curves().CommitCurveEdit("Free Transform Curves");
            else
                image.Curves().CancelCurveEdit();
        } else if (commit && m_frame != RectFrame(m_source)) {
            CommitFreeTransform(image.History(), m_frame);
        }
        m_image = nullptr;
        m_layer.reset();
        m_anchors.clear();
        image.RequestRender(1);
        Tools().LeaveFreeTransform();
    }

private:
    void Changed(ImageView& view) {
        if (m_layer->Kind() == LayerKind::Curve) FollowCurve();
        view.RequestRender(1);
    }
    void FollowCurve() {
        m_layer->Anchors() = MapAnchors(m_anchors, m_source, m_frame);
        RenderCurve(*m_layer);
    }

    Image* m_image = nullptr;
    LayerPtr m_layer;
    Rect m_source;
    std::vector<CurveAnchor> m_anchors;  // a curve layer's anchors at the start
    FrameCorners m_frame{};
    FrameCorners m_start{};
    int m_handle = 0;
    PointD m_press, m_centre;
    double m_pressAngle = 0;
};

FreeTransformTool* ToolOf(const ToolController& tools) {
    return static_cast<FreeTransformTool*>(tools.Operation(kToolFreeTransform));
}

}  // namespace

std::unique_ptr<MouseOperation> MakeFreeTransformTool(ToolController& tools) {
    return std::make_unique<FreeTransformTool>(tools);
}

bool StartFreeTransform(MouseOperation& op, ImageView& view) {
    return static_cast<FreeTransformTool&>(op).Start(view);
}

bool EnterFreeTransform(ToolController& tools, ImageView& view) {
    return tools.EnterFreeTransform(view);
}

bool FreeTransformButton(ToolController& tools, FrameButton button) {
    FreeTransformTool* t = ToolOf(tools);
    if (!t || !t->Pending()) return false;
    t->Button(button);
    return true;
}

bool EndFreeTransform(ToolController& tools, bool commit) {
    FreeTransformTool* t = ToolOf(tools);
    if (!t || !t->Pending()) return false;
    t->End(commit);
    return true;
}

const FrameCorners* PendingFreeTransform(const ToolController& tools) {
    const FreeTransformTool* t = ToolOf(tools);
    return t && t->Pending() ? &t->Frame() : nullptr;
}

PendingPixelTransform PendingPixelTransformOf(const ToolController& tools) {
    const FreeTransformTool* t = ToolOf(tools);
    return t ? t->PixelTransform() : PendingPixelTransform{};
}

}  // namespace zelvo
