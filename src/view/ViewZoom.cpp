#include "view/ViewZoom.h"

#include <algorithm>
#include <cmath>

namespace zelvo {

float ClampZoom(float zoom) {
    if (!(zoom >= kMinZoom)) return kMinZoom;  // NaN too
    return std::min(zoom, kMaxZoom);
}

float ZoomFor(int mode, int32_t clientWidth, int32_t clientHeight, int32_t canvasWidth,
              int32_t canvasHeight, int32_t resolution) {
    float zoom = 1.0f;
    if (mode == kZoomFitOnWindow) {
        if (canvasWidth > 0 && canvasHeight > 0 && clientWidth > 0 && clientHeight > 0)
            zoom = std::min(float(clientWidth) / float(canvasWidth),
                            float(clientHeight) / float(canvasHeight));
    } else if (mode == kZoomPrintSize) {
        // A missing resolution would divide by zero; such an image shows at 1.0.
        if (resolution > 0) zoom = float(72.0 / (double(resolution) * 0.025405787));
    }
    return ClampZoom(zoom);
}

bool WheelZoomStep(float& zoom, int delta, bool buttonHeld, bool polygonBusy) {
    if (delta == 0 || buttonHeld || polygonBusy) return false;
    if (delta < 0)
        zoom = std::min(zoom * kWheelIn, kMaxZoom);
    else
        zoom = std::max(zoom * kWheelOut, kMinZoom);
    return true;
}

int32_t ScrollExtent(int32_t canvas, float zoom) {
    const float z = float(canvas) * zoom;
    const float whole = std::floor(z);
    return int32_t(whole) + (z - whole >= 0.1f ? 1 : 0);
}

int32_t ScrollOrigin(int32_t scrollPosition, float zoom) {
    return int32_t(float(scrollPosition) / zoom);
}

int32_t CentredScroll(int32_t zoomedSize, int32_t client) {
    return zoomedSize > client ? (zoomedSize - client) / 2 : 0;
}

AxisLayout LayOutAxis(int32_t client, int32_t canvas, float zoom, int32_t origin) {
    AxisLayout a;
    // A side zoomed to under a pixel still gets one, or the picture would not show at all.
    const int32_t zoomed = canvas > 0 ? std::max(int32_t(float(canvas) * zoom), 1) : 0;
    int32_t shown = canvas;
    if (client <= zoomed) {
        a.screen0 = 0;
        a.screen1 = client;
        const float f = float(client) / zoom;
        const float whole = std::floor(f);
        shown = int32_t(whole) + (f - whole >= 0.1f ? 1 : 0);
    } else {
        a.screen0 = (client - zoomed) / 2;
        a.screen1 = a.screen0 + zoomed;
    }
    a.visible0 = origin;
    a.visible1 = std::min(origin + shown, canvas);
    return a;
}

void LayOut(ImageGeometry& image, int32_t clientWidth, int32_t clientHeight, int32_t originX,
            int32_t originY) {
    const AxisLayout x = LayOutAxis(clientWidth, image.width, image.zoom, originX);
    const AxisLayout y = LayOutAxis(clientHeight, image.height, image.zoom, originY);
    image.screenRect = {x.screen0, y.screen0, x.screen1, y.screen1};
    image.visible = {x.visible0, y.visible0, x.visible1, y.visible1};
}

Point ClientToCanvas(const ImageGeometry& image, Point client) {
    return {image.visible.left + int32_t(float(client.x - image.screenRect.left) / image.zoom),
            image.visible.top + int32_t(float(client.y - image.screenRect.top) / image.zoom)};
}

Point CanvasToClient(const ImageGeometry& image, Point canvas) {
    return {image.screenRect.left + int32_t(float(canvas.x - image.visible.left) * image.zoom),
            image.screenRect.top + int32_t(float(canvas.y - image.visible.top) * image.zoom)};
}

int32_t CanvasAt(int32_t visibleEdge, int32_t offset, float zoom) {
    if (offset >= 0) return visibleEdge + int32_t(float(offset) / zoom);
    return visibleEdge + int32_t(std::floor(float(offset) / zoom));
}

}  // namespace zelvo
