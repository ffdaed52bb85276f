// Pictures and small file builders shared by the codec tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "files/RasterImage.h"

namespace zelvo::test {

// A smooth picture: gradients across and down, with a gentle wave.
RasterImage SmoothImage(int width, int height, RowOrder order = RowOrder::TopDown);
// Random pixels drawn from `colours` (0x00BBGGRR-free: b, g, r triples).
RasterImage RandomImage(int width, int height, std::mt19937& random, int colourBits = 8);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x);
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x);

// A BMP with a 40-byte info header; `palette` holds b, g, r triples; `data` follows the
// headers and the palette (and, for bit fields, the three masks).
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                             const std::vector<uint8_t>& palette, const std::vector<uint8_t>& data,
                             const std::vector<uint32_t>& masks = {});

// One of the pixel layouts a BMP reader takes.
struct BmpLayout {
    int bits;
    uint32_t compression;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    bool topDown;
};
struct BmpCase {
    std::vector<uint8_t> bytes;
    RasterImage expected;  // what a reader must make of `bytes`, bottom row first
};
// A random picture stored as `layout`, with only its first `keptRows` rows in file order in the
// file (an uncompressed file also keeps half of the next row): the rows missing, and for an
// uncompressed file the half row too, are white in `expected`.
BmpCase MakeBmpCase(const BmpLayout& layout, int32_t width, int32_t height, int32_t keptRows,
                    std::mt19937& random);

// Largest difference of any channel between two 24-bit images of the same size, compared by
// picture row (so the row orders may differ).
int MaxDifference(const RasterImage& a, const RasterImage& b);
bool SamePixels(const RasterImage& a, const RasterImage& b);

}  // namespace zelvo::test
