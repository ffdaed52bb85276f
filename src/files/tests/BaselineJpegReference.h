// The scalar baseline JPEG writer kept as the reference for the fast one.
#pragma once

#include <cstdint>
#include <vector>

#include "files/RasterImage.h"

namespace zelvo::test {

// The whole file the scalar writer makes, or nothing when it refuses the picture.
std::vector<uint8_t> ReferenceBaselineJpeg(const RasterImage& image, int libraryQuality);

}  // namespace zelvo::test
