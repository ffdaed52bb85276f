// The clipboard bitmap: a 40-byte header and bottom-up rows of 32-bit pixels B, G, R, m. A copy
// composites every pixel over white and hides its effective opacity e (0..100) in m = e + 1,
// so other programs see a picture on white while a paste of our own copy gets colours and
// opacities back. Reading accepts any 24- or 32-bit bitmap and refuses everything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/PercentTables.h"

namespace zelvo {

// The copy of one pixel: colour c (each channel), opacity a, selection strength s.
struct CopiedPixel {
    uint8_t b, g, r, m;
};
CopiedPixel EncodeCopiedPixel(const PercentTables& t, uint8_t b, uint8_t g, uint8_t r,
                              uint8_t alpha, uint8_t strength);

// A 32-bit bitmap of width x height with its header written and the rows zeroed.
std::vector<uint8_t> NewCopyDib(int32_t width, int32_t height);
// Start of stored row `row` (0 = bottom) of a bitmap made by NewCopyDib.
inline uint8_t* CopyDibRow(std::vector<uint8_t>& dib, int32_t width, int32_t row) {
    return dib.data() + 40 + size_t(row) * size_t(width) * 4;
}

// What Paste reads of a bitmap.
struct DibLayout {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits = 0;        // 24 or 32
    bool topDown = false;    // a negative height: rows stored top first
    size_t pixelOffset = 0;  // where the rows start
    size_t stride = 0;
};
// Nothing unless the bytes hold a whole uncompressed 24- or 32-bit bitmap.
std::optional<DibLayout> ReadDibLayout(const std::vector<uint8_t>& dib);

// Picture row `topRow` (0 = top) of the bitmap as 32-bit layer pixels (B, G, R, opacity):
// 24-bit pixels are opaque; with `decode`, a fourth byte m in 1..101 gives opacity m - 1 and
// the colour taken back off white, otherwise the pixel is opaque with its colour.
void DecodeDibRow(const std::vector<uint8_t>& dib, const DibLayout& layout, int32_t topRow,
                  bool decode, uint8_t* out);

}  // namespace zelvo
