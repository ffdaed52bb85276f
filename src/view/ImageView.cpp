#include "view/ImageView.h"

#include <algorithm>

#include "view/DisplayRefresher.h"
#include "view/ViewZoom.h"

namespace zelvo {

bool ImageView::Resize(int32_t clientWidth, int32_t clientHeight) {
    if (clientWidth == m_clientWidth && clientHeight == m_clientHeight) return false;
    m_clientWidth = std::max(0, clientWidth);
    m_clientHeight = std::max(0, clientHeight);
    if (!m_image.IsReady()) return false;
    ClampScroll();
    LayOutAndRequest(1);
    return true;
}

float ImageView::ZoomFor(int mode) const {
    return zelvo::ZoomFor(mode, m_barlessWidth > 0 ? m_barlessWidth : m_clientWidth,
                          m_barlessHeight > 0 ? m_barlessHeight : m_clientHeight, m_image.Width(),
                          m_image.Height(), m_image.Resolution());
}

int32_t ImageView::ExtentX() const {
    return ScrollExtent(m_image.Width(), Zoom());
}
int32_t ImageView::ExtentY() const {
    return ScrollExtent(m_image.Height(), Zoom());
}
bool ImageView::FitsWithoutBars() const {
    // Each scroll bar would otherwise keep the other one needed.
    return m_barlessWidth > 0 && m_barlessHeight > 0 && ExtentX() <= m_barlessWidth &&
           ExtentY() <= m_barlessHeight;
}
int32_t ImageView::MaxScrollX() const {
    return FitsWithoutBars() ? 0 : std::max(0, ExtentX() - m_clientWidth);
}
int32_t ImageView::MaxScrollY() const {
    return FitsWithoutBars() ? 0 : std::max(0, ExtentY() - m_clientHeight);
}

void ImageView::ClampScroll() {
    m_scrollX = std::clamp(m_scrollX, 0, MaxScrollX());
    m_scrollY = std::clamp(m_scrollY, 0, MaxScrollY());
}

void ImageView::SetZoomMode(int mode) {
    const float zoom = mode == kZoomActualPixels ? 1.0f : ZoomFor(mode);
    {
        HoldRender hold(m_image.ViewState());
        m_image.Geometry().zoom = zoom;
    }
    if (mode == kZoomActualPixels || mode == kZoomPrintSize) {
        m_scrollX = CentredScroll(int32_t(float(m_image.Width()) * zoom), m_clientWidth);
        m_scrollY = CentredScroll(int32_t(float(m_image.Height()) * zoom), m_clientHeight);
    } else {
        m_scrollX = m_scrollY = 0;
    }
    ClampScroll();
    LayOutAndRequest(1);
}

bool ImageView::SetZoom(float factor) {
    const float zoom = ClampZoom(factor);
    if (zoom == Zoom()) return false;
    // The canvas point at the middle of the client area stays there.
    const float old = Zoom();
    const float cx = (float(m_scrollX) + float(std::min(m_clientWidth, ExtentX())) / 2) / old;
    const float cy = (float(m_scrollY) + float(std::min(m_clientHeight, ExtentY())) / 2) / old;
    {
        HoldRender hold(m_image.ViewState());
        m_image.Geometry().zoom = zoom;
    }
    m_scrollX = int32_t(cx * zoom) - m_clientWidth / 2;
    m_scrollY = int32_t(cy * zoom) - m_clientHeight / 2;
    ClampScroll();
    LayOutAndRequest(1);
    return true;
}

bool ImageView::WheelZoom(int delta, bool buttonHeld, bool polygonBusy) {
    float zoom = Zoom();
    if (!WheelZoomStep(zoom, delta, buttonHeld, polygonBusy)) return false;
    SetZoom(zoom);
    return true;
}

bool ImageView::FirstDraw() {
    ImageViewState& vs = m_image.ViewState();
    if (vs.firstDrawDone || !m_image.IsReady()) return false;
    vs.firstDrawDone = true;
    const float zoom = std::min(ZoomFor(kZoomFitOnWindow), 1.0f);
    {
        HoldRender hold(vs);
        m_image.Geometry().zoom = zoom;
    }
    m_scrollX = m_scrollY = 0;
    LayOutAndRequest(1);
    return true;
}

void ImageView::ScrollTo(int32_t x, int32_t y) {
    const int32_t oldX = m_scrollX, oldY = m_scrollY;
    m_scrollX = x;
    m_scrollY = y;
    ClampScroll();
    if (m_scrollX == oldX && m_scrollY == oldY) return;
    LayOutAndRequest(8);
}

void ImageView::CentreOn(int32_t x, int32_t y) {
    ScrollTo(x - m_clientWidth / 2, y - m_clientHeight / 2);
}

void ImageView::LayOutAndRequest(int code) {
    if (!m_image.IsReady()) return;
    ImageViewState& vs = m_image.ViewState();
    {
        HoldRender hold(vs);
        ImageGeometry& g = m_image.Geometry();
        vs.scrollOriginX = ScrollOrigin(m_scrollX, g.zoom);
        vs.scrollOriginY = ScrollOrigin(m_scrollY, g.zoom);
        LayOut(g, m_clientWidth, m_clientHeight, vs.scrollOriginX, vs.scrollOriginY);
        vs.clientWidth = m_clientWidth;
        vs.clientHeight = m_clientHeight;
        vs.hasView = true;
    }
    m_laidOutWidth = m_image.Width();
    m_laidOutHeight = m_image.Height();
    RequestRender(code);
}

bool ImageView::CanvasChanged() const {
    return m_image.IsReady() && m_image.ViewState().hasView &&
           (m_image.Width() != m_laidOutWidth || m_image.Height() != m_laidOutHeight);
}

void ImageView::CanvasResized() {
    ClampScroll();
    LayOutAndRequest(1);
}

void ImageView::RequestRender(int code) {
    if (!m_image.IsReady()) return;
    HandToRefresher(m_image, code);
}

void ImageView::RequestRenderRect(const Rect& canvasRect) {
    if (!m_image.IsReady()) return;
    // An empty rectangle changed nothing, unless it stands for a pending request.
    HandToRefresher(m_image, DisplayRefresher::kRefreshRect, canvasRect);
}

}  // namespace zelvo
