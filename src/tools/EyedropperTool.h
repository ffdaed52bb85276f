// What the eyedropper reads: the colour the view shows at a client point.
#pragma once

#include <optional>

#include "core/Types.h"

namespace zelvo {

class ImageView;

// The per-channel integer mean of the size x size screen pixels around `client` (1, 3 or 5) as
// the view shows the picture; screen pixels off the picture are left out, and none on it gives
// nothing.
std::optional<ColorRef> DisplayedColor(ImageView& view, Point client, int size);

}  // namespace zelvo
