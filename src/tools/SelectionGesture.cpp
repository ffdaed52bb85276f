#include "tools/SelectionGesture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "doc/Image.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "selection/SelectionShape.h"
#include "view/ImageView.h"
#include "view/ViewZoom.h"

namespace zelvo {

namespace {

// The live position of the mask while it is dragged or nudged; the history records the move
// once, from the position it had before.
void PlaceMask(Image& image, Point position) {
    LayerManager& lm = image.Layers();
    LayerPtr mask = lm.Selection();
    if (!mask) return;
    mask->SetPosition(position.x, position.y);
    lm.SetSelectionBounds(mask->Bounds());
}

void Record(Image& image, const Layer* moved, Point origin, Point offset) {
    LayerPtr mask = image.Layers().Selection();
    // A command may have replaced the selection in between: then there is nothing to record.
    if (!mask || mask.get() != moved || (offset.x == 0 && offset.y == 0)) return;
    PlaceMask(image, origin);
    MoveSelection(image.History(), offset.x, offset.y);
}

}  // namespace

Point ViewToCanvas(const ImageView& view, Point client) {
    return ClientToCanvas(const_cast<ImageView&>(view).GetImage().Geometry(), client);
}

Rect ScreenArea(const ImageView& view) {
    return const_cast<ImageView&>(view).GetImage().Geometry().screenRect;
}

Point ClampToArea(Point p, const Rect& area) {
    if (area.IsEmpty()) return p;
    return {std::clamp(p.x, area.left, area.right), std::clamp(p.y, area.top, area.bottom)};
}

bool OnSelectedPixel(Image& image, Point canvas) {
    LayerPtr mask = image.Layers().Selection();
    if (!mask || !mask->Bounds().Contains(canvas)) return false;
    uint8_t v = 0;
    ReadMaskRow(*mask, canvas.y, canvas.x, 1, &v);
    mask->ReleaseRows();
    return v != 0;
}

Point ConstrainAngle(Point d) {
    const int32_t ax = std::abs(d.x), ay = std::abs(d.y);
    // tan(22.5°): closer to an axis than to the diagonal.
    if (double(ay) <= double(ax) * 0.41421356) return {d.x, 0};
    if (double(ax) <= double(ay) * 0.41421356) return {0, d.y};
    const int32_t m = (ax + ay) / 2;
    return {d.x < 0 ? -m : m, d.y < 0 ? -m : m};
}

bool OutlineMove::Start(ImageView& view, Point client) {
    Image& image = view.GetImage();
    if (!OnSelectedPixel(image, ViewToCanvas(view, client))) return false;
    m_image = &image;
    m_press = client;
    m_mask = image.Layers().Selection().get();
    m_origin = m_mask->Position();
    m_offset = {};
    m_moving = false;
    return true;
}

void OutlineMove::Move(ImageView& view, const ViewMouse& m) {
    if (!m_image || !m_image->Layers().Selection()) return;
    Point d{m.client.x - m_press.x, m.client.y - m_press.y};
    if (!m_moving && d.x == 0 && d.y == 0) return;
    m_moving = true;
    if (m.modifiers & kShift) d = ConstrainAngle(d);
    const float zoom = view.Zoom();
    const Point offset{int32_t(float(d.x) / zoom), int32_t(float(d.y) / zoom)};
    if (offset == m_offset) return;
    m_offset = offset;
    PlaceMask(*m_image, {m_origin.x + offset.x, m_origin.y + offset.y});
    view.RequestRender(1);
}

void OutlineMove::Finish(ImageView& view) {
    if (!m_image) return;
    Image& image = *m_image;
    m_image = nullptr;
    if (!m_moving) return;
    Record(image, m_mask, m_origin, m_offset);
    view.RequestRender(1);
}

void OutlineMove::Abandon() {
    if (m_image && m_image->Layers().Selection().get() == m_mask) PlaceMask(*m_image, m_origin);
    m_image = nullptr;
}

void FreeformOutline::Begin(ImageView& view, Point client) {
    Clear();
    m_press = ClampToArea(client, ScreenArea(view));
}

void FreeformOutline::Add(ImageView& view, Point client) {
    if (m_points.empty()) {
        constexpr int64_t kStartDistance = 4;
        const int64_t dx = client.x - m_press.x, dy = client.y - m_press.y;
        if (dx * dx + dy * dy < kStartDistance * kStartDistance) return;
        Append(view, m_press);
    }
    Append(view, client);
}

void FreeformOutline::Append(ImageView& view, Point client) {
    Image& image = view.GetImage();
    Point p = ViewToCanvas(view, client);
    p.x = std::clamp(p.x, 0, image.Width());
    p.y = std::clamp(p.y, 0, image.Height());
    m_points.push_back(p);
    m_view.push_back(client);
}

void FreeformOutline::Commit(ImageView& view, CombineMode mode, const char* name) {
    HistoryManager& h = view.GetImage().History();
    Rect bounds;
    if (!m_points.empty()) {
        bounds = {m_points[0].x, m_points[0].y, m_points[0].x, m_points[0].y};
        for (const Point& p : m_points)
            bounds = {std::min(bounds.left, p.x), std::min(bounds.top, p.y),
                      std::max(bounds.right, p.x), std::max(bounds.bottom, p.y)};
    }
    if (!bounds.IsEmpty())
        PolygonSelect(h, m_points, mode, name);
    else if (mode == CombineMode::New && HasSelection(h.Layers()))
        Deselect(h);
    Clear();
    view.RequestRender(1);
}

void FreeformOutline::Clear() {
    m_points.clear();
    m_view.clear();
}

void FreeformOutline::Overlay(OverlayCanvas& canvas) const {
    for (size_t i = 1; i < m_view.size(); ++i) canvas.Line(m_view[i - 1], m_view[i], 0);
}

bool SelectionNudge::Step(ImageView& view, int key) {
    Image& image = view.GetImage();
    LayerPtr mask = image.Layers().Selection();
    if (!mask) return false;
    if (m_image != &image || m_mask != mask.get()) {
        Record();
        m_image = &image;
        m_mask = mask.get();
        m_origin = mask->Position();
        m_offset = {};
    }
    // One screen pixel: one canvas pixel from zoom 1 up, trunc(1 / zoom) below.
    const float zoom = view.Zoom();
    const int32_t step = zoom >= 1.0f ? 1 : int32_t(1.0f / zoom);
    if (key == kKeyLeft) m_offset.x -= step;
    if (key == kKeyRight) m_offset.x += step;
    if (key == kKeyUp) m_offset.y -= step;
    if (key == kKeyDown) m_offset.y += step;
    PlaceMask(image, {m_origin.x + m_offset.x, m_origin.y + m_offset.y});
    view.RequestRender(1);
    return true;
}

void SelectionNudge::Record() {
    if (!m_image) return;
    Image& image = *m_image;
    m_image = nullptr;
    zelvo::Record(image, m_mask, m_origin, m_offset);
}

void SelectionNudge::Forget(Image& image) {
    if (m_image == &image) {
        if (image.Layers().Selection().get() == m_mask) PlaceMask(image, m_origin);
        m_image = nullptr;
    }
}

}  // namespace zelvo
