// The pixel buffer layout every layer keeps in its store block: a 40-byte BITMAPINFOHEADER, a
// grey colour table for 1, 2, 4 and 8 bits per pixel, then the rows bottom-up, each padded to
// a multiple of 4 bytes. 32-bit pixels are B, G, R, A with A on the 0..100 scale.
#pragma once

#include <cstdint>

namespace zelvo {

struct StoredDib {
    static constexpr uint32_t kHeaderBytes = 40;

    // 2, 4, 16 or 256 for 1, 2, 4 or 8 bits per pixel; 0 otherwise (no table for 24 and 32).
    static uint32_t PaletteEntries(int32_t bitsPerPixel);
    static uint32_t Stride(int32_t width, int32_t bitsPerPixel);
    // Bytes from the start of the payload to the first stored row: 40 (32 bits), 48, 56, 104 or
    // 1064.
    static uint32_t RowsOffset(int32_t bitsPerPixel);
    // Header, colour table and rows; 0 for a non-positive size.
    static uint64_t PayloadBytes(int32_t width, int32_t height, int32_t bitsPerPixel);
    // Writes the header and the colour table (RowsOffset(bits) bytes) at `dst`.
    static void WriteHeader(uint8_t* dst, int32_t width, int32_t height, int32_t bitsPerPixel);
    // The stored row index of picture row `topRow` counted from the top.
    static int32_t StoredRow(int32_t topRow, int32_t height) { return height - 1 - topRow; }
    // An opaque-or-not 32-bit pixel word from a 0x00BBGGRR colour and an alpha 0..100.
    static uint32_t PixelWord(uint32_t colorRef, uint32_t alpha) {
        return (alpha << 24) | ((colorRef & 0xFF) << 16) | (colorRef & 0xFF00) |
               ((colorRef >> 16) & 0xFF);
    }
};

}  // namespace zelvo
