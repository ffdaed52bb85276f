// Reading and writing TIFF: compressions, orientations, tiles, and bands decoded ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include <tiffio.h>

#include "TestImages.h"
#include "core/RowBands.h"
#include "files/Codecs.h"
#include "files/RasterFile.h"
#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

uint16_t TiffCompressionOf(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return 0;
    uint16_t c = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &c);
    TIFFClose(tif);
    return c;
}

TEST(TiffWrite, EveryCompressionRoundTrips) {
    test::TempDir dir;
    const auto image = test::SmoothImage(61, 45, RowOrder::TopDown);
    struct Case {
        int compression;
        uint16_t tag;
        int tolerance;
    };
    const Case cases[] = {{kTiffNone, COMPRESSION_NONE, 0},
                          {kTiffLzw, COMPRESSION_LZW, 0},
                          {kTiffDeflate, COMPRESSION_ADOBE_DEFLATE, 0},
                          {kTiffJpeg, COMPRESSION_JPEG, 4},
                          {3, COMPRESSION_NONE, 0}};  // anything else is written uncompressed
    for (const Case& c : cases) {
        SCOPED_TRACE(c.compression);
        const std::string path = dir.File("t.tif");
        ASSERT_TRUE(WriteRasterFile(path, image, kFileTiff, 12, c.compression));
        EXPECT_EQ(TiffCompressionOf(path), c.tag);
        auto r = ReadRasterFile(path);
        ASSERT_TRUE(r.ok);
        EXPECT_LE(test::MaxDifference(r.image, image), c.tolerance);
    }
}

// A libtiff file open for 8-bit contiguous RGB rows (with `extra` samples after them).
TIFF* OpenRgbTiff(const std::string& path, int width, int height, int extra = 0) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return nullptr;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3 + extra);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    return tif;
}

// The picture's rows as RGB scanlines, top row first.
void WriteRgbRows(TIFF* tif, const RasterImage& image) {
    std::vector<uint8_t> row(size_t(image.Width()) * 3);
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.TopRow(y);
        for (size_t i = 0; i < row.size(); i += 3)
            row[i] = p[i + 2], row[i + 1] = p[i + 1], row[i + 2] = p[i];
        TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
    }
}

// What libtiff writes for the picture in strips of its default size, a scanline at a time.
std::vector<uint8_t> LibtiffBytes(const RasterImage& image, uint16_t compression,
                                  const std::string& path) {
    TIFF* tif = OpenRgbTiff(path, image.Width(), image.Height());
    EXPECT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGQUALITY, TiffJpegQuality(0));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    WriteRgbRows(tif, image);
    TIFFClose(tif);
    return test::ReadBytes(path);
}

// A picture stored from its bottom (or right) edge reads the right way up, however many bands
// of rows the reader takes it in.
TEST(TiffRead, EveryOrientationTallerThanABand) {
    test::TempDir dir;
    std::mt19937 random(7);
    const RasterImage image = test::RandomImage(600, 1000, random);  // bands of 873 rows
    const uint16_t orientations[] = {ORIENTATION_TOPLEFT, ORIENTATION_TOPRIGHT, ORIENTATION_BOTLEFT,
                                     ORIENTATION_BOTRIGHT};
    for (uint16_t orientation : orientations) {
        SCOPED_TRACE(orientation);
        const bool bottom = orientation >= ORIENTATION_BOTRIGHT;
        const bool right =
            orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;
        const std::string path = dir.File("o.tif");
        TIFF* tif = OpenRgbTiff(path, image.Width(), image.Height());
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 7);
        std::vector<uint8_t> row(size_t(image.Width()) * 3);
        for (int y = 0; y < image.Height(); ++y) {
            const uint8_t* p = image.TopRow(bottom ? image.Height() - 1 - y : y);
            for (int x = 0; x < image.Width(); ++x) {
                const uint8_t* q = p + 3 * (right ? image.Width() - 1 - x : x);
                row[3 * x] = q[2], row[3 * x + 1] = q[1], row[3 * x + 2] = q[0];
            }
            TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
        }
        TIFFClose(tif);
        auto r = ReadRasterFile(path);
        ASSERT_TRUE(r.ok);
        EXPECT_TRUE(test::SamePixels(r.image, image));
        EXPECT_EQ(r.orientation, 1);
    }
    // Turned on its side, it is read as stored with its orientation, which the document turns
    // upright as it does a JPEG's Exif orientation (libtiff alone would only mirror it).
    for (uint16_t orientation :
         {ORIENTATION_LEFTTOP, ORIENTATION_RIGHTTOP, ORIENTATION_RIGHTBOT, ORIENTATION_LEFTBOT}) {
        SCOPED_TRACE(orientation);
        const std::string path = dir.File("s.tif");
        TIFF* tif = OpenRgbTiff(path, image.Width(), image.Height());
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 7);
        WriteRgbRows(tif, image);
        TIFFClose(tif);
        auto r = ReadRasterFile(path);
        ASSERT_TRUE(r.ok);
        EXPECT_TRUE(test::SamePixels(r.image, image));
        EXPECT_EQ(r.orientation, int(orientation));
    }

    // Its transparency goes as in every format: an unassociated alpha leaves the colour stored.
    const std::string path = dir.File("a.tif");
    TIFF* tif = OpenRgbTiff(path, 1, 1, 1);
    ASSERT_NE(tif, nullptr);
    const uint16_t alpha[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, alpha);
    uint8_t pixel[] = {200, 100, 50, 64};
    TIFFWriteScanline(tif, pixel, 0, 0);
    TIFFClose(tif);
    auto r = ReadRasterFile(path);
    ASSERT_TRUE(r.ok);
    const uint8_t* p = r.image.TopRow(0);
    EXPECT_EQ(p[2] * 65536 + p[1] * 256 + p[0], 200 * 65536 + 100 * 256 + 50);
}

// Tiles of any size in bytes, plain or coded, read as strips do; a plain tile stored short is
// refused.
TEST(TiffRead, TilesOfAnySizeReadAsStrips) {
    test::TempDir dir;
    std::mt19937 random(11);
    const RasterImage image = test::RandomImage(37, 21, random);  // no whole number of tiles
    struct Case {
        uint32_t tile;  // 0: strips of 5 rows
        uint16_t compression;
        bool firstShort;  // the first tile stored with half its bytes
    };
    // Plain tiles of 768 and 3072 bytes, only the second a whole number of kilobytes.
    const Case cases[] = {{0, COMPRESSION_NONE, false},
                          {16, COMPRESSION_NONE, false},
                          {32, COMPRESSION_NONE, false},
                          {16, COMPRESSION_LZW, false},
                          {32, COMPRESSION_NONE, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tile " << c.tile << ", compression " << c.compression
                                        << (c.firstShort ? ", first short" : ""));
        const std::string path = dir.File("t.tif");
        TIFF* tif = OpenRgbTiff(path, image.Width(), image.Height());
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, c.compression);
        const uint32_t w = uint32_t(image.Width()), h = uint32_t(image.Height());
        const uint32_t across = c.tile ? c.tile : w, down = c.tile ? c.tile : 5;
        if (c.tile) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, across);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, down);
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, down);
        }
        // Each tile or strip as r, g, b, black past the picture's edges.
        std::vector<uint8_t> block(size_t(across) * down * 3);
        uint32_t index = 0;
        for (uint32_t y0 = 0; y0 < h; y0 += down) {
            for (uint32_t x0 = 0; x0 < w; x0 += across, ++index) {
                std::fill(block.begin(), block.end(), uint8_t(0));
                for (uint32_t y = y0; y < std::min(y0 + down, h); ++y)
                    for (uint32_t x = x0; x < std::min(x0 + across, w); ++x) {
                        const uint8_t* q = image.TopRow(int(y)) + 3 * x;
                        uint8_t* b = block.data() + 3 * ((y - y0) * across + x - x0);
                        b[0] = q[2], b[1] = q[1], b[2] = q[0];
                    }
                tmsize_t bytes =
                    c.tile ? tmsize_t(block.size()) : tmsize_t(std::min(down, h - y0) * w * 3);
                if (c.firstShort && index == 0) bytes /= 2;
                ASSERT_EQ(c.tile ? TIFFWriteEncodedTile(tif, index, block.data(), bytes)
                                 : TIFFWriteEncodedStrip(tif, index, block.data(), bytes),
                          bytes);
            }
        }
        TIFFClose(tif);
        auto r = ReadRasterFile(path);
        ASSERT_EQ(r.ok, !c.firstShort);
        EXPECT_TRUE(c.firstShort ? r.image.IsEmpty() : test::SamePixels(r.image, image));
    }
}

// LZW and JPEG strips, and deflate strips of one row (rows of more than 4096 bytes), are coded
// on every core apart from libtiff.
TEST(TiffWrite, CodedStripsAreThoseOfLibtiffOnAnyThreads) {
    test::TempDir dir;
    std::mt19937 random(23);
    struct Case {
        // 0: a smooth picture; -1: flat, two levels, noise; -2: bytes 0 to 252, then 0 and 1,
        // which end with the next code at the limit of nine bits
        int width, height, colourBits;
    };
    // One pixel; strips of many rows with a short last one; noise that fills the table every
    // few thousand bytes; rows whose flat first third codes so well that the two levels after
    // it make the coder start over at a check; a smooth picture; a row whose end code is the
    // first of ten bits; the widest rows libtiff deflates two to a strip, and the narrowest
    // it deflates one to a strip.
    const Case cases[] = {{1, 1, 8},      {5, 3, 8},     {1, 5000, 8}, {300, 200, 2}, {10000, 2, 8},
                          {10000, 3, -1}, {257, 190, 0}, {85, 1, -2},  {1365, 3, 8},  {1366, 3, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bits " << c.colourBits);
        RasterImage image = c.colourBits ? test::RandomImage(c.width, c.height, random,
                                                             c.colourBits < 0 ? 8 : c.colourBits)
                                         : test::SmoothImage(c.width, c.height);
        for (int y = 0; c.colourBits == -1 && y < c.height; ++y)
            for (int i = 0; i < 2 * c.width; ++i) image.TopRow(y)[i] &= i < c.width ? 0 : 0x80;
        for (int i = 0; c.colourBits == -2 && i < 3 * c.width; ++i)  // as r, g, b
            image.TopRow(0)[i / 3 * 3 + 2 - i % 3] = uint8_t(i < 253 ? i : i - 253);
        for (const auto& [compression, tag] : {std::pair{kTiffLzw, COMPRESSION_LZW},
                                               std::pair{kTiffDeflate, COMPRESSION_ADOBE_DEFLATE},
                                               std::pair{kTiffJpeg, COMPRESSION_JPEG}}) {
            const std::vector<uint8_t> theirs = LibtiffBytes(image, tag, dir.File("theirs.tif"));
            // Bands of a few strips, so that strips are coded in bands on several threads.
            const ScopedSaveBandBytes smallBands(40000);
            for (const int threads : {1, 2, 8}) {
                SCOPED_TRACE(testing::Message()
                             << "compression " << compression << ", threads " << threads);
                const ScopedPassThreads scoped(threads);
                ASSERT_TRUE(
                    WriteRasterFile(dir.File("ours.tif"), image, kFileTiff, 0, compression));
                const std::vector<uint8_t> ours = test::ReadBytes(dir.File("ours.tif"));
                EXPECT_EQ(ours.size(), theirs.size());
                EXPECT_TRUE(ours == theirs);
            }
        }
    }
}

// A picture of more than one band (half a million pixels) is decoded a band ahead on a second
// core while the rows before go to the sink: whole and cut short, plain and LZW, it reads as on
// one thread, and whole as it was written.
TEST(TiffRead, TallPicturesDecodeBandsAheadAsOnOneThread) {
    test::TempDir dir;
    const auto image = test::SmoothImage(60, 9500, RowOrder::TopDown);
    for (const int compression : {kTiffNone, kTiffLzw}) {
        SCOPED_TRACE(compression);
        ASSERT_TRUE(WriteRasterFile(dir.File("t.tif"), image, kFileTiff, 0, compression));
        const std::vector<uint8_t> bytes = test::ReadBytes(dir.File("t.tif"));
        for (const size_t size : {bytes.size(), bytes.size() * 3 / 4}) {
            SCOPED_TRACE(size);
            test::RecordingSink expected;
            bool ok;
            {
                const ScopedPassThreads one(1);
                MemorySource source(bytes.data(), size);
                ok = DecodeTiff(source, {}, expected);
            }
            if (size == bytes.size()) {
                ASSERT_TRUE(ok);
                EXPECT_TRUE(test::SamePixels(expected.image, image));
            }
            for (const int threads : {2, 8}) {
                SCOPED_TRACE(threads);
                const ScopedPassThreads scoped(threads);
                MemorySource source(bytes.data(), size);
                test::RecordingSink sink;
                ASSERT_EQ(DecodeTiff(source, {}, sink), ok);
                if (!ok) continue;
                EXPECT_EQ(sink.puts, expected.puts);
                EXPECT_TRUE(test::SamePixels(sink.image, expected.image));
            }
        }
    }
}

TEST(TiffWrite, JpegQualityFollowsTheLevel) {
    test::TempDir dir;
    std::mt19937 random(3);
    const auto image = test::RandomImage(64, 64, random);
    ASSERT_TRUE(WriteRasterFile(dir.File("low.tif"), image, kFileTiff, 1, kTiffJpeg));
    ASSERT_TRUE(WriteRasterFile(dir.File("high.tif"), image, kFileTiff, 12, kTiffJpeg));
    EXPECT_LT(test::ReadBytes(dir.File("low.tif")).size(),
              test::ReadBytes(dir.File("high.tif")).size());
    EXPECT_EQ(TiffJpegQuality(1), 89);
    EXPECT_EQ(TiffJpegQuality(12), 100);
}

}  // namespace
}  // namespace zelvo
