// The reader as the fuzz targets and the corpus replay test drive it: in memory, with a
// smaller pixel limit so that a header claiming a huge picture costs no more than a few
// megabytes, and with every successful result checked for consistency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelvo {

constexpr int64_t kFuzzMaxPixels = 4000000;

// Reads `data` as a file named "*.<extension>"; aborts if the result is inconsistent.
void FuzzReadRaster(const uint8_t* data, size_t size, const std::string& extension);

}  // namespace zelvo
