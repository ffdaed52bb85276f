// Reading and writing single pixels of a layer's buffer by picture row (from the top), as the
// tests of the layers and of everything built on them set up and check layers.
#pragma once

#include <cstdint>
#include <cstring>

#include "layers/Layer.h"
#include "layers/StoredDib.h"
#include "store/RowCursor.h"

namespace zelvo::test {

// Picture row r (from the top) of a layer's buffer.
inline uint8_t* TopRow(Layer& layer, int32_t r) {
    return layer.Rows()->Row(uint32_t(StoredDib::StoredRow(r, layer.Height())));
}

inline uint32_t PixelAt(Layer& layer, int32_t col, int32_t topRow) {
    uint32_t v;
    std::memcpy(&v, TopRow(layer, topRow) + 4 * size_t(col), 4);
    return v;
}

inline void SetPixel(Layer& layer, int32_t col, int32_t topRow, uint32_t word) {
    std::memcpy(TopRow(layer, topRow) + 4 * size_t(col), &word, 4);
}

// One bit of a mask layer (text and curve layers).
inline bool BitAt(Layer& layer, int32_t col, int32_t topRow) {
    return (TopRow(layer, topRow)[col >> 3] >> (7 - (col & 7))) & 1;
}

inline void SetBit(Layer& layer, int32_t col, int32_t topRow, bool on) {
    uint8_t& byte = TopRow(layer, topRow)[col / 8];
    const uint8_t mask = uint8_t(0x80 >> (col % 8));
    byte = on ? uint8_t(byte | mask) : uint8_t(byte & ~mask);
}

}  // namespace zelvo::test
