// Row conversions between the codecs' 24-bit pixels and the four-byte pixels of layers.
#pragma once

#include <cstdint>

namespace zelvo {

// Copies `width` b, g, r triples into b, g, r, `fourth` quadruples.
void ExpandBgrRow(const uint8_t* bgr, uint8_t* bgrx, int32_t width, uint8_t fourth);

}  // namespace zelvo
