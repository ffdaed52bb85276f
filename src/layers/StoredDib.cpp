#include "layers/StoredDib.h"

#include <cstring>

namespace zelvo {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

}  // namespace

uint32_t StoredDib::PaletteEntries(int32_t bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1:
            return 2;
        case 2:
            return 4;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

uint32_t StoredDib::Stride(int32_t width, int32_t bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0) return 0;
    return uint32_t((uint64_t(width) * uint64_t(bitsPerPixel) + 31) / 32 * 4);
}

uint32_t StoredDib::RowsOffset(int32_t bitsPerPixel) {
    return kHeaderBytes + 4 * PaletteEntries(bitsPerPixel);
}

uint64_t StoredDib::PayloadBytes(int32_t width, int32_t height, int32_t bitsPerPixel) {
    if (width <= 0 || height <= 0) return 0;
    return RowsOffset(bitsPerPixel) + uint64_t(Stride(width, bitsPerPixel)) * uint64_t(height);
}

void StoredDib::WriteHeader(uint8_t* dst, int32_t width, int32_t height, int32_t bitsPerPixel) {
    std::memset(dst, 0, kHeaderBytes);
    Put32(dst + 0, kHeaderBytes);
    Put32(dst + 4, uint32_t(width));
    Put32(dst + 8, uint32_t(height));  // positive: rows bottom-up
    dst[12] = 1;                       // planes
    dst[14] = uint8_t(bitsPerPixel);
    Put32(dst + 20,
          uint32_t(uint64_t(Stride(width, bitsPerPixel)) * uint64_t(height > 0 ? height : 0)));
    const uint32_t entries = PaletteEntries(bitsPerPixel);
    uint8_t* table = dst + kHeaderBytes;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t grey = uint8_t(i * (256 / entries));
        table[4 * i + 0] = grey;
        table[4 * i + 1] = grey;
        table[4 * i + 2] = grey;
        table[4 * i + 3] = 0;
    }
    // A set bit of a mask is drawn white, not the 128 that the even steps would give.
    if (entries == 2) std::memset(table + 4, 255, 3);
}

}  // namespace zelvo
