#include "tools/VirtualView.h"

#include <algorithm>

#include "view/ImageView.h"
#include "view/ViewZoom.h"

namespace zelvo {

void LayOutVirtualView(ImageView& view, float zoom, int32_t scrollX, int32_t scrollY) {
    Image& image = view.GetImage();
    zoom = ClampZoom(zoom);
    view.SetZoom(zoom);
    const int32_t extentX = ScrollExtent(image.Width(), zoom);
    const int32_t extentY = ScrollExtent(image.Height(), zoom);
    const int32_t sx = std::clamp(int32_t(float(scrollX) * zoom), 0, extentX);
    const int32_t sy = std::clamp(int32_t(float(scrollY) * zoom), 0, extentY);
    view.Resize(std::max(1, extentX - sx), std::max(1, extentY - sy));
    view.ScrollTo(sx, sy);
    view.LayOutAndRequest(1);
}

}  // namespace zelvo
