// The view state operations of one image, without widgets: the zoom (ZoomFor, SetZoomMode,
// SetZoom, WheelZoom, the first paint's fitted zoom), the scroll position and extents, and the
// layout of `screenRect` and `visible` for the client area. Every change of the layout is made
// under the refresher's hold and handed to it with a render request.
#pragma once

#include <cstdint>

#include "doc/Image.h"

namespace zelvo {

class ImageView {
public:
    explicit ImageView(Image& image) : m_image(image) {}

    Image& GetImage() { return m_image; }
    float Zoom() const { return m_image.Geometry().zoom; }

    // The client area changed. Re-lays out (and asks for a full redraw) when the visible
    // rectangle no longer fits it; returns whether it did.
    bool Resize(int32_t clientWidth, int32_t clientHeight);
    // The client area the window would have without scroll bars (0: the client area): a fit
    // fills it, since the bars go once the picture fits.
    void SetBarlessClient(int32_t width, int32_t height) {
        m_barlessWidth = width;
        m_barlessHeight = height;
    }
    int32_t ClientWidth() const { return m_clientWidth; }
    int32_t ClientHeight() const { return m_clientHeight; }

    float ZoomFor(int mode) const;
    // 1 actual pixels, 2 fit on window, 3 print size; modes 1 and 3 centre a canvas larger
    // than the client area.
    void SetZoomMode(int mode);
    // Clamped; false when it equals the zoom already set.
    bool SetZoom(float factor);
    // A wheel turn; false when refused (delta 0, a button held, a polygon being drawn).
    bool WheelZoom(int delta, bool buttonHeld, bool polygonBusy);
    // The first paint of an image: the zoom becomes min(fit, 1.0). False when it was done.
    bool FirstDraw();

    // Scroll positions in zoomed pixels, and their ranges (extent less the client size).
    int32_t ScrollX() const { return m_scrollX; }
    int32_t ScrollY() const { return m_scrollY; }
    int32_t ExtentX() const;
    int32_t ExtentY() const;
    int32_t MaxScrollX() const;
    int32_t MaxScrollY() const;
    // Scrolls (clamped) and re-lays out; the refresher renders only what the move exposed.
    void ScrollTo(int32_t x, int32_t y);
    // Scrolls so that the zoomed canvas point (x, y) is at the centre of the client area.
    void CentreOn(int32_t x, int32_t y);

    // Lays out for the current zoom, client and scroll, and hands `code` to the refresher.
    void LayOutAndRequest(int code);
    // Whether the canvas size differs from the one of the last layout (Image Size, Canvas
    // Size, a quarter turn, their undo).
    bool CanvasChanged() const;
    // After such a change: the scroll position kept within the new extents, laid out anew and
    // rendered whole.
    void CanvasResized();
    // Hands a request to the refresher with the current layer list.
    void RequestRender(int code);
    // The refresh of a rectangle (12): the pixels of `canvasRect` changed, as a command that
    // knows its rectangle (ImageProcessor::RedrawRect) reports.
    void RequestRenderRect(const Rect& canvasRect);

private:
    void ClampScroll();

    Image& m_image;
    int32_t m_clientWidth = 0;
    int32_t m_clientHeight = 0;
    bool FitsWithoutBars() const;
    int32_t m_barlessWidth = 0;
    int32_t m_barlessHeight = 0;
    int32_t m_scrollX = 0;
    int32_t m_scrollY = 0;
    int32_t m_laidOutWidth = -1;
    int32_t m_laidOutHeight = -1;
};

}  // namespace zelvo
