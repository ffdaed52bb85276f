// Tables of the own baseline JPEG writer, shared with its tests.
#pragma once

#include <array>
#include <cstdint>

namespace zelvo {

// Zig-zag position k -> natural (row-major) index of the coefficient.
extern const std::array<uint8_t, 64> kJpegZigZag;
// The example tables of ITU T.81 Annex K in natural order.
extern const std::array<uint8_t, 64> kJpegLuminanceBase;
extern const std::array<uint8_t, 64> kJpegChrominanceBase;

// An Annex K table scaled by the library quality Q, in natural order.
std::array<uint8_t, 64> ScaledQuantTable(const std::array<uint8_t, 64>& base, int quality);

}  // namespace zelvo
