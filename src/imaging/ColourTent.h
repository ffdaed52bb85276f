// The tent filter over whole planes and the colour tent blur of a pixel buffer: down every
// column first, then along every row.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/AdjustPass.h"

namespace zelvo {

// In place over a `w` x `h` plane; radius clamped to 1..min(w, h) by the line filter.
void TentBlurPlane(std::vector<int32_t>& plane, int32_t w, int32_t h, int32_t radius);

// B, G and R blurred with radius min(L, width, height) clamped to 0..256; every output pixel
// has A = 100.
PixelBuffer ColourTentBlur(const PixelBuffer& src, int32_t radius);

}  // namespace zelvo
