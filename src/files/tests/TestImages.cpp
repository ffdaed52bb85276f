#include "TestImages.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zelvo::test {

RasterImage SmoothImage(int width, int height, RowOrder order) {
    RasterImage image;
    image.Allocate(width, height, 24, order);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.TopRow(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uint8_t(40 + 160 * x / std::max(1, width - 1));
            row[3 * x + 1] = uint8_t(30 + 180 * y / std::max(1, height - 1));
            row[3 * x + 2] = uint8_t(128 + 60 * std::sin((x + y) * 0.05));
        }
    }
    return image;
}

RasterImage RandomImage(int width, int height, std::mt19937& random, int colourBits) {
    RasterImage image;
    image.Allocate(width, height, 24, RowOrder::BottomUp);
    const int shift = 8 - colourBits;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.StoredRow(y);
        for (int x = 0; x < 3 * width; ++x) row[x] = uint8_t((random() & 0xFF) >> shift << shift);
    }
    return image;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    Put16(v, at, x);
    Put16(v, at + 2, x >> 16);
}

std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                             const std::vector<uint8_t>& palette, const std::vector<uint8_t>& data,
                             const std::vector<uint32_t>& masks) {
    const size_t colours = palette.size() / 3;
    const size_t offset = 54 + masks.size() * 4 + colours * 4;
    std::vector<uint8_t> v(offset);
    v[0] = 'B';
    v[1] = 'M';
    Put32(v, 2, uint32_t(offset + data.size()));
    Put32(v, 10, uint32_t(offset));
    Put32(v, 14, 40);
    Put32(v, 18, uint32_t(width));
    Put32(v, 22, uint32_t(height));
    Put16(v, 26, 1);
    Put16(v, 28, uint32_t(bits));
    Put32(v, 30, compression);
    Put32(v, 34, uint32_t(data.size()));
    Put32(v, 46, uint32_t(colours));
    size_t at = 54;
    for (uint32_t m : masks) {
        Put32(v, at, m);
        at += 4;
    }
    for (size_t i = 0; i < colours; ++i, at += 4) std::memcpy(&v[at], &palette[3 * i], 3);
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

int MaxDifference(const RasterImage& a, const RasterImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 1000;
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < 3 * a.Width(); ++x)
            worst = std::max(worst, std::abs(int(a.TopRow(y)[x]) - int(b.TopRow(y)[x])));
    return worst;
}

bool SamePixels(const RasterImage& a, const RasterImage& b) {
    return MaxDifference(a, b) == 0;
}

}  // namespace zelvo::test
