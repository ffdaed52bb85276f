#include "TestImages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace zelvo::test {

std::vector<uint8_t> ProgressiveJpeg(int width, int height, int components, std::mt19937& random) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * size_t(components));
    while (c.next_scanline < c.image_height) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = JSAMPLE((i * 3 + c.next_scanline * 5) / 8 % 224 + random() % 32);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    jpeg_destroy_compress(&c);
    return bytes;
}

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

namespace {

// The value of a `bits`-wide channel on 0..255, rounded.
uint8_t Scale(uint32_t value, int bits) {
    const uint32_t max = (1u << bits) - 1;
    return uint8_t((value * 255 + max / 2) / max);
}

// One row of palette indices in RLE8 or RLE4 form, ending with an end of line: runs where the
// index repeats, literal stretches elsewhere.
void EncodeRleRow(const std::vector<int>& index, bool four, std::vector<uint8_t>& out) {
    const size_t w = index.size();
    size_t i = 0;
    while (i < w) {
        size_t run = 1;
        while (i + run < w && run < 255 && index[i + run] == index[i]) ++run;
        if (run >= 3 || w - i < 3) {
            out.push_back(uint8_t(run));
            out.push_back(uint8_t(four ? index[i] * 17 : index[i]));
            i += run;
            continue;
        }
        const size_t n = std::min<size_t>(w - i, 20);
        out.push_back(0);
        out.push_back(uint8_t(n));
        const size_t bytes = four ? (n + 1) / 2 : n;
        for (size_t b = 0; b < bytes; ++b) {
            if (four) {
                const int lo = 2 * b + 1 < n ? index[i + 2 * b + 1] : 0;
                out.push_back(uint8_t(index[i + 2 * b] << 4 | lo));
            } else {
                out.push_back(uint8_t(index[i + b]));
            }
        }
        if (bytes & 1) out.push_back(0);
        i += n;
    }
    out.push_back(0);
    out.push_back(0);
}

}  // namespace

BmpCase MakeBmpCase(const BmpLayout& layout, int32_t width, int32_t height, int32_t keptRows,
                    std::mt19937& random) {
    BmpCase c;
    c.expected.Allocate(width, height, 24, RowOrder::BottomUp);
    const bool rle = layout.compression == 1 || layout.compression == 2;
    const bool paletted = layout.bits <= 8;
    std::vector<uint8_t> palette;
    if (paletted)
        for (int i = 0; i < 3 << layout.bits; ++i) palette.push_back(uint8_t(random()));
    std::vector<uint32_t> masks;
    if (layout.compression == 3)
        masks = layout.bits == 16 ? std::vector<uint32_t>{0xF800, 0x07E0, 0x001F}
                                  : std::vector<uint32_t>{0x000000FF, 0x0000FF00, 0x00FF0000};
    const size_t stride = size_t(DibStride(width, layout.bits));
    std::vector<uint8_t> data;
    size_t keptBytes = 0;
    for (int32_t f = 0; f < height; ++f) {
        // File row f is picture row f from the bottom, or from the top in a top-down file.
        uint8_t* out = layout.topDown ? c.expected.TopRow(f) : c.expected.BottomRow(f);
        std::vector<int> index(size_t(width), 0);
        std::vector<uint8_t> row(rle ? 0 : stride, 0);
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* px = out + 3 * x;
            if (paletted) {
                // Repeats now and then, so that RLE has runs to make.
                int v = x > 0 && random() % 3 == 0 ? index[size_t(x) - 1]
                                                   : int(random() % (1u << layout.bits));
                index[size_t(x)] = v;
                std::memcpy(px, &palette[3 * size_t(v)], 3);
                if (!rle)
                    row[size_t(x) * layout.bits / 8] |=
                        uint8_t(v << (8 - layout.bits - (x * layout.bits) % 8));
            } else if (layout.bits == 16) {
                const uint32_t v = random() & 0xFFFF;
                row[2 * size_t(x)] = uint8_t(v);
                row[2 * size_t(x) + 1] = uint8_t(v >> 8);
                if (layout.compression == 3) {
                    px[0] = Scale(v & 31, 5), px[1] = Scale((v >> 5) & 63, 6);
                    px[2] = Scale(v >> 11, 5);
                } else {
                    px[0] = Scale(v & 31, 5), px[1] = Scale((v >> 5) & 31, 5);
                    px[2] = Scale((v >> 10) & 31, 5);
                }
            } else {
                const int size = layout.bits / 8;
                for (int k = 0; k < size; ++k) row[size_t(x) * size + k] = uint8_t(random());
                const uint8_t* p = &row[size_t(x) * size];
                // Bit fields here hold red in the low byte.
                if (layout.compression == 3)
                    px[0] = p[2], px[1] = p[1], px[2] = p[0];
                else
                    std::memcpy(px, p, 3);
            }
        }
        if (rle)
            EncodeRleRow(index, layout.compression == 2, data);
        else
            data.insert(data.end(), row.begin(), row.end());
        if (f < keptRows) keptBytes = data.size();
        if (f >= keptRows) std::memset(out, 255, size_t(width) * 3);
    }
    if (rle) data.insert(data.end(), {0, 1});
    if (keptRows < height) data.resize(rle ? keptBytes : keptBytes + stride / 2);
    c.bytes = MakeBmp(width, layout.topDown ? -height : height, layout.bits, layout.compression,
                      palette, data, masks);
    return c;
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

std::vector<uint8_t> ExifPayload(uint32_t orientation, bool bigEndian, uint32_t type,
                                 uint32_t count) {
    std::vector<uint8_t> tiff(8 + 2 + 2 * 12 + 4);
    auto put = [&](size_t at, uint32_t x, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff[at + size_t(i)] = uint8_t(x >> (8 * (bigEndian ? bytes - 1 - i : i)));
    };
    tiff[0] = tiff[1] = bigEndian ? 'M' : 'I';
    put(2, 42, 2);
    put(4, 8, 4);
    put(8, 2, 2);
    // Make, "Cam", then the orientation.
    put(10, 0x010F, 2);
    put(12, 2, 2);
    put(14, 4, 4);
    std::memcpy(&tiff[18], "Cam", 4);
    put(22, 0x0112, 2);
    put(24, type, 2);
    put(26, count, 4);
    put(30, orientation, 2);
    std::vector<uint8_t> payload(6 + tiff.size());
    std::memcpy(payload.data(), "Exif\0", 6);
    std::copy(tiff.begin(), tiff.end(), payload.begin() + 6);
    return payload;
}

std::vector<uint8_t> WithApp1Segment(std::vector<uint8_t> jpeg,
                                     const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> segment = {0xFF, 0xE1, uint8_t((payload.size() + 2) >> 8),
                                    uint8_t(payload.size() + 2)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

}  // namespace zelvo::test
