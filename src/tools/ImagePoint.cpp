#include "tools/ImagePoint.h"

#include <cmath>

#include "view/ImageView.h"
#include "view/ViewZoom.h"

namespace zelvo {

int32_t Near01(double v) {
    const double whole = std::trunc(v);
    // The fraction of a negative value is negative, so it never rounds up.
    return int32_t(whole) + (v - whole >= 0.1 ? 1 : 0);
}

double EffectiveZoom(float zoom) {
    return zoom < 0.01f ? 0.05 : double(zoom);
}

Point ViewToImage(const ImageView& view, Point client) {
    const ImageGeometry& g = const_cast<ImageView&>(view).GetImage().Geometry();
    const double z = EffectiveZoom(g.zoom);
    return {Near01(double(client.x - g.screenRect.left) / z) + g.visible.left,
            Near01(double(client.y - g.screenRect.top) / z) + g.visible.top};
}

Point ImageToView(const ImageView& view, Point image) {
    return CanvasToClient(const_cast<ImageView&>(view).GetImage().Geometry(), image);
}

}  // namespace zelvo
