// The crop tool: a frame drawn on the canvas, adjusted by its corners (8 screen pixels around
// each) or moved whole, nudged with the arrows, and committed with Enter: the document is cut to
// the frame and scaled to the bar's fixed size and resolution, or cancelled with Esc.
#include <algorithm>
#include <cmath>

#include "core/InternalError.h"
#include "core/Limits.h"
#include "doc/Image.h"
#include "geometry/CropRebuild.h"
#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "tools/CropSize.h"
#include "tools/CropTool.h"
#include "tools/ImagePoint.h"
#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "tools/ToolTable.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

constexpr int32_t kHandleTolerance = 8;
constexpr int32_t kRealFrameDistance = 5;

enum Handle {
    kMovingCorner = 1,
    kAnchorCorner = 2,
    kWholeFrame = 3,
    kAnchorXCorner = 4,
    kMovingXCorner = 5
};

constexpr const char* kFrameHint = "Submitted by the Enter key, press Esc key to cancel.";

class CropTool : public MouseOperation, public CropFrameInfo {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        if (!m_image) {
            HistoryManager& h = view.GetImage().History();
            if (HasSelection(h.Layers())) {
                Deselect(h);
                view.RequestRender(1);
                return false;
            }
            const Image& image = view.GetImage();
            const Point p = ViewToImage(view, m.client);
            m_anchor =
                m_moving = {std::clamp(p.x, 0, image.Width()), std::clamp(p.y, 0, image.Height())};
            m_image = &view.GetImage();
            m_view = &view;
            m_handle = kMovingCorner;
            m_new = true;
            m_real = false;
        } else {
            m_handle = HandleAt(view, m.client);
            m_new = false;
        }
        m_press = m.client;
        m_pressImage = ViewToImage(view, m.client);
        m_startAnchor = m_anchor;
        m_startMoving = m_moving;
        m_dragging = true;
        return true;
    }

    void PressElsewhere(ImageView& /*view*/) override { ShowInternalError(1064); }

    void Move(ImageView& view, const ViewMouse& m) override {
        if (!m_dragging) return;
        const int64_t dx = m.client.x - m_press.x, dy = m.client.y - m_press.y;
        if (dx * dx + dy * dy > int64_t(kRealFrameDistance) * kRealFrameDistance) m_real = true;
        Point p = ViewToImage(view, m.client);
        if (m_new) {
            const Image& image = view.GetImage();
            p = {std::clamp(p.x, 0, image.Width()), std::clamp(p.y, 0, image.Height())};
        }
        m_anchor = m_startAnchor;
        m_moving = m_startMoving;
        switch (m_handle) {
            case kWholeFrame: {
                const Point d{p.x - m_pressImage.x, p.y - m_pressImage.y};
                m_anchor = {m_anchor.x + d.x, m_anchor.y + d.y};
                m_moving = {m_moving.x + d.x, m_moving.y + d.y};
                return;
            }
            case kMovingCorner:
                m_moving = Keep(m_anchor, p, m_new ? &view.GetImage() : nullptr);
                return;
            case kAnchorCorner:
                m_anchor = Keep(m_moving, p);
                return;
            case kAnchorXCorner: {
                // The corner (anchor x, moving y) moves; (moving x, anchor y) stays.
                const Point c = Keep({m_moving.x, m_anchor.y}, p);
                m_anchor.x = c.x;
                m_moving.y = c.y;
                return;
            }
            case kMovingXCorner: {
                const Point c = Keep({m_anchor.x, m_moving.y}, p);
                m_moving.x = c.x;
                m_anchor.y = c.y;
                return;
            }
        }
    }

    bool Release(ImageView& view, const ViewMouse& m) override {
        Move(view, m);
        m_dragging = false;
        if (!m_real) {
            Close();
            view.RequestRender(1);
            return false;
        }
        Tools().ShowStatus(kFrameHint);
        view.RequestRender(1);
        return true;
    }

    bool TakesPressWhileBusy() const override { return m_image != nullptr && !m_dragging; }

    bool Key(ImageView& view, int key, bool down, int /*modifiers*/, bool& stillBusy) override {
        if (!down || !m_image || m_dragging || &view.GetImage() != m_image) return false;
        if (key == kKeyReturn || key == kKeyEnter) {
            Commit();
            stillBusy = false;
            return true;
        }
        if (key == kKeyEscape) {
            Cancel();
            stillBusy = false;
            return true;
        }
        const int32_t step = Near01(1.0 / EffectiveZoom(view.Zoom()));
        Point d;
        if (key == kKeyLeft)
            d.x = -step;
        else if (key == kKeyRight)
            d.x = step;
        else if (key == kKeyUp)
            d.y = -step;
        else if (key == kKeyDown)
            d.y = step;
        else
            return false;
        m_anchor = {m_anchor.x + d.x, m_anchor.y + d.y};
        m_moving = {m_moving.x + d.x, m_moving.y + d.y};
        view.RequestRender(1);
        stillBusy = true;
        return true;
    }

    // A menu command is about to act: a drag in progress ends where it is; the frame stays for
    // Enter or Esc.
    void Finish(ImageView& view) override {
        if (!m_dragging) return;
        m_dragging = false;
        if (!m_real)
            Close();
        else
            Tools().ShowStatus(kFrameHint);
        view.RequestRender(1);
    }

    bool StaysOpen() const override { return m_image != nullptr; }

    void Abandon() override {
        Close();
        m_view = nullptr;
    }

    void Overlay(ImageView& view, OverlayCanvas& canvas) override {
        const std::optional<Rect> frame = Frame();
        if (!frame || &view.GetImage() != m_image) return;
        const Point a = ImageToView(view, {frame->left, frame->top});
        const Point b = ImageToView(view, {frame->right, frame->bottom});
        canvas.Frame({a.x, a.y, b.x, b.y}, 0);
    }

    // CropFrameInfo
    std::optional<Rect> Frame() const override {
        if (!m_image) return std::nullopt;
        return Rect{std::min(m_anchor.x, m_moving.x), std::min(m_anchor.y, m_moving.y),
                    std::max(m_anchor.x, m_moving.x), std::max(m_anchor.y, m_moving.y)};
    }
    const Image* FrameImage() const override { return m_image; }
    bool Shield() const override { return m_shield; }
    void SetShield(bool on) override { m_shield = on; }

    void Commit() override {
        if (!m_image) return;
        Image& image = *m_image;
        const Rect frame = *Frame();
        Close();
        if (frame.IsEmpty()) {
            ShowInternalError(1072);
            return;
        }
        const CropSettings s = CropSettingsOf(Tools().Options());
        const CropOutput out = CropOutputSize(s, frame.Width(), frame.Height());
        if (out.width * out.height >= 20000001) {
            AppMessages().Show(
                "Crop size should not more than 20 million pixels!\n Please re-set the crop size.");
            return;
        }
        // Sides the canvas cannot have would make the crop do nothing without a word.
        if (out.width < 1 || out.height < 1 || out.width > 10000 || out.height > 10000) {
            AppMessages().Show(
                "Crop size should be 1 to 10000 pixels a side!\n Please re-set "
                "the crop size.");
            return;
        }
        int32_t resolution = image.Resolution();
        if (CropRebuild(image.History(), frame, int32_t(out.width), int32_t(out.height),
                        CropResolution(s, image.Resolution()), resolution))
            image.SetResolution(resolution);
        if (m_view) m_view->LayOutAndRequest(1);
    }

    void Cancel() override {
        Close();
        if (m_view) m_view->RequestRender(1);
    }

private:
    // The corner dragged from `fixed` to `p`; with a width and a height in the bar the frame
    // keeps their aspect, its height following the width on the pointer's side. A new frame
    // (`within` its canvas) stays on the canvas: where the height would leave it, the height
    // stops at the edge and the width follows it. No corner passes the coordinate limit.
    Point Keep(Point fixed, Point p, const Image* within = nullptr) {
        const CropSettings s = CropSettingsOf(Tools().Options());
        if (!(s.width > 0 && s.height > 0)) return p;
        double dx = double(p.x) - fixed.x;
        double dy = std::fabs(dx) * s.height / s.width;
        const bool down = p.y >= fixed.y;
        if (within) {
            const double room = down ? double(within->Height()) - fixed.y : double(fixed.y);
            if (dy > room) {
                dy = std::max(room, 0.0);
                dx = std::copysign(dy * s.width / s.height, dx);
            }
        }
        const auto at = [](double v) {
            return ClampCoordinate(std::llround(std::clamp(v, -1e15, 1e15)));
        };
        return {at(fixed.x + dx), at(down ? fixed.y + dy : fixed.y - dy)};
    }

    int HandleAt(const ImageView& view, Point client) const {
        auto near = [&](Point image) {
            const Point v = ImageToView(view, image);
            return std::abs(v.x - client.x) <= kHandleTolerance &&
                   std::abs(v.y - client.y) <= kHandleTolerance;
        };
        if (near(m_moving)) return kMovingCorner;
        if (near(m_anchor)) return kAnchorCorner;
        if (near({m_anchor.x, m_moving.y})) return kAnchorXCorner;
        if (near({m_moving.x, m_anchor.y})) return kMovingXCorner;
        return kWholeFrame;
    }

    void Close() {
        // The Enter/Esc hint goes with the frame it was about.
        if (m_real && Tools().CurrentTool() == kToolCrop)
            if (const ToolInfo* info = FindTool(kToolCrop)) Tools().ShowStatus(info->hint);
        m_image = nullptr;
        m_dragging = false;
        m_real = false;
    }

    Image* m_image = nullptr;  // the document of the open frame
    ImageView* m_view = nullptr;
    Point m_anchor, m_moving;  // the frame's corners, in image coordinates
    Point m_startAnchor, m_startMoving;
    Point m_press, m_pressImage;
    int m_handle = kMovingCorner;
    bool m_new = false;
    bool m_real = false;  // moved more than 5 screen pixels since the frame was started
    bool m_dragging = false;
    bool m_shield = false;
};

}  // namespace

std::unique_ptr<MouseOperation> MakeCropTool(ToolController& tools) {
    return std::make_unique<CropTool>(tools);
}

}  // namespace zelvo
