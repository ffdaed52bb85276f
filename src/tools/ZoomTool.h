// The Zoom tool's step, shared with the Zoom In and Zoom Out menu commands.
#pragma once

#include <string>

namespace zelvo {

class ImageView;

// The wheel's step applied three times (at most 8.0, at least 0.05 after each); false when the
// zoom stayed.
bool ZoomClick(ImageView& view, bool in);
// "Show ratio：%d%%" for a zoom factor.
std::string ZoomRatioText(float zoom);

}  // namespace zelvo
