// Files that lie about themselves: every PNG layout libpng can write opens with its colours;
// headers that claim huge pictures are refused, or asked about, before anything is allocated;
// a chunk that claims gigabytes costs no more memory than the file.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include <png.h>
#include <tiffio.h>

#include "TestImages.h"
#include "files/Codecs.h"
#include "files/RasterFile.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

// ---- Every colour type and bit depth, with and without tRNS, interlaced or not -------------

struct Rgb8 {
    uint8_t r, g, b;
};

// The colour pixel i of the test picture has, at 8 bits a channel; for grey pictures the grey
// level in r, g and b. Depths below 8 take levels their scale can hold.
Rgb8 Expected(int colorType, int depth, int i) {
    const int levels = (1 << std::min(depth, 8)) - 1;
    const int v = (i * 37 + 11) % (levels + 1);
    const int grey = v * 255 / levels;
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        return {uint8_t(grey), uint8_t(grey), uint8_t(grey)};
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        // Palette entry v.
        return {uint8_t(v * 7), uint8_t(255 - v), uint8_t(v * 3 + 1)};
    }
    return {uint8_t(i * 29 + 3), uint8_t(i * 53 + 100), uint8_t(250 - i * 11)};
}

// Writes the picture with libpng; 16-bit samples are the 8-bit value twice, so that any
// reduction to 8 bits gives it back.
bool WritePng(const std::string& path, int colorType, int depth, bool trns, bool interlaced, int w,
              int h) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, depth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> palette(size_t(1) << depth);
        for (size_t v = 0; v < palette.size(); ++v)
            palette[v] = {uint8_t(v * 7), uint8_t(255 - v), uint8_t(v * 3 + 1)};
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        if (trns) {
            // Every other entry transparent, some half so.
            std::vector<png_byte> alpha(palette.size());
            for (size_t v = 0; v < alpha.size(); ++v) alpha[v] = v % 2 ? 0 : (v % 3 ? 128 : 255);
            png_set_tRNS(png, info, alpha.data(), int(alpha.size()), nullptr);
        }
    } else if (trns) {
        png_color_16 key{};
        const Rgb8 c = Expected(colorType, depth, 1);  // pixel 1's colour is the key
        const int scale = depth == 16 ? 257 : 1;
        if (colorType == PNG_COLOR_TYPE_GRAY) {
            key.gray = png_uint_16(((1 * 37 + 11) % (1 << std::min(depth, 8))) * scale);
        } else {
            key.red = png_uint_16(c.r * scale);
            key.green = png_uint_16(c.g * scale);
            key.blue = png_uint_16(c.b * scale);
        }
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    const int channels = colorType == PNG_COLOR_TYPE_GRAY         ? 1
                         : colorType == PNG_COLOR_TYPE_PALETTE    ? 1
                         : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                         : colorType == PNG_COLOR_TYPE_RGB        ? 3
                                                                  : 4;
    const size_t rowBytes = (size_t(w) * channels * depth + 7) / 8;
    std::vector<std::vector<png_byte>> rows(size_t(h), std::vector<png_byte>(rowBytes, 0));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            std::vector<int> samples;
            if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_PALETTE ||
                colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
                samples.push_back((i * 37 + 11) % (1 << std::min(depth, 8)));
            } else {
                const Rgb8 c = Expected(colorType, depth, i);
                samples = {c.r, c.g, c.b};
            }
            if (colorType & PNG_COLOR_MASK_ALPHA) samples.push_back(i % 2 ? 0 : 200);
            for (size_t s = 0; s < samples.size(); ++s) {
                const size_t sample = size_t(x) * channels + s;
                if (depth == 16) {
                    rows[y][2 * sample] = rows[y][2 * sample + 1] = png_byte(samples[s]);
                } else if (depth == 8) {
                    rows[y][sample] = png_byte(samples[s]);
                } else {
                    const size_t bit = sample * depth;
                    rows[y][bit / 8] |= png_byte(samples[s] << (8 - depth - bit % 8));
                }
            }
        }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

TEST(PngMatrix, EveryColourTypeAndDepthOpensWithItsColours) {
    test::TempDir dir;
    struct Layout {
        int colorType;
        std::vector<int> depths;
        bool trnsAllowed;
    };
    const std::vector<Layout> layouts = {
        {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}, true}, {PNG_COLOR_TYPE_RGB, {8, 16}, true},
        {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}, true},  {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}, false},
        {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}, false},
    };
    const int w = 13, h = 9;  // odd sizes: partial bytes at low depths, every Adam7 pass
    int files = 0;
    for (const Layout& layout : layouts)
        for (int depth : layout.depths)
            for (bool trns : {false, true})
                for (bool interlaced : {false, true}) {
                    if (trns && !layout.trnsAllowed) continue;
                    SCOPED_TRACE(testing::Message()
                                 << "type " << layout.colorType << " depth " << depth << " tRNS "
                                 << trns << " interlaced " << interlaced);
                    const std::string path = dir.File("m.png");
                    ASSERT_TRUE(WritePng(path, layout.colorType, depth, trns, interlaced, w, h));
                    const RasterReadResult r = ReadRasterFile(path);
                    ASSERT_TRUE(r.ok) << r.message;
                    ASSERT_EQ(r.image.Width(), w);
                    ASSERT_EQ(r.image.Height(), h);
                    for (int i = 0; i < w * h; ++i) {
                        const uint8_t* p = r.image.TopRow(i / w) + 3 * (i % w);
                        const Rgb8 want = Expected(layout.colorType, depth, i);
                        ASSERT_EQ(p[2], want.r) << i;
                        ASSERT_EQ(p[1], want.g) << i;
                        ASSERT_EQ(p[0], want.b) << i;
                    }
                    ++files;
                }
    EXPECT_EQ(files, 2 * (5 * 2 + 2 * 2 + 4 * 2) + 2 * (2 + 2));
}

// Counts the bytes a decoder reads.
class CountingSource : public MemorySource {
public:
    explicit CountingSource(const std::vector<uint8_t>& bytes)
        : MemorySource(bytes.data(), bytes.size()) {}
    size_t ReadAt(uint64_t offset, void* data, size_t size) override {
        const size_t n = MemorySource::ReadAt(offset, data, size);
        read += n;
        return n;
    }
    size_t read = 0;
};

TEST(SourceCursor, ReadingAheadGivesTheBytesOfTheSourceInFewerCalls) {
    std::vector<uint8_t> bytes(200000);
    std::mt19937 random(9);
    for (uint8_t& b : bytes) b = uint8_t(random());
    // Reads of sub-block sizes, one past the buffer, back and forward jumps, and reads over the
    // end of the data.
    struct Step {
        int64_t seek;  // -1: read on from where the cursor is
        size_t size;
    };
    std::vector<Step> steps;
    for (int i = 0; i < 600; ++i) steps.push_back({-1, size_t(i % 2 ? 255 : 1)});
    steps.insert(steps.end(), {{-1, 70000},
                               {100, 5},
                               {150000, 3},
                               {10, 100000},
                               {-1, 65536},
                               {199990, 40},
                               {-1, 8},
                               {5, 2}});
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead);
        struct Calls : MemorySource {
            using MemorySource::MemorySource;
            size_t ReadAt(uint64_t offset, void* data, size_t size) override {
                ++calls;
                return MemorySource::ReadAt(offset, data, size);
            }
            int calls = 0;
        } source(bytes.data(), bytes.size());
        SourceCursor cursor(source, ahead);
        uint64_t at = 0;
        for (const Step& step : steps) {
            if (step.seek >= 0) cursor.SetPosition(at = uint64_t(step.seek));
            std::vector<uint8_t> got(step.size, 0xEE);
            const size_t n = cursor.Read(got.data(), got.size());
            const size_t expected = std::min<size_t>(step.size, bytes.size() - at);
            ASSERT_EQ(n, expected) << at;
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + long(n), bytes.begin() + long(at)));
            at += n;
            EXPECT_EQ(cursor.Position(), at);
        }
        if (ahead)
            EXPECT_LT(source.calls, 20);
        else
            EXPECT_GE(source.calls, int(steps.size()));
    }
}

TEST(PngInterlaced, ReadBandByBandItIsThePictureWrittenPlain) {
    test::TempDir dir;
    struct Layout {
        int colorType, depth;
    };
    for (const Layout layout : {Layout{PNG_COLOR_TYPE_RGB, 8}, Layout{PNG_COLOR_TYPE_PALETTE, 2},
                                Layout{PNG_COLOR_TYPE_GRAY_ALPHA, 16}})
        for (int h = 1; h <= 9; ++h)
            for (int w : {1, 6, 13}) {
                SCOPED_TRACE(testing::Message()
                             << "type " << layout.colorType << " " << w << "x" << h);
                ASSERT_TRUE(WritePng(dir.File("p.png"), layout.colorType, layout.depth, false,
                                     false, w, h));
                ASSERT_TRUE(
                    WritePng(dir.File("i.png"), layout.colorType, layout.depth, false, true, w, h));
                const RasterReadResult plain = ReadRasterFile(dir.File("p.png"));
                ASSERT_TRUE(plain.ok);
                const auto bytes = test::ReadBytes(dir.File("i.png"));
                // Bands of one row up to the whole picture, and a size between whole rows.
                for (size_t band : {size_t(1), size_t(w) * 3 * 2, size_t(w) * 3 * 3 + 2,
                                    size_t(w) * 3 * size_t(h)}) {
                    SCOPED_TRACE(band);
                    MemorySource source(bytes.data(), bytes.size());
                    test::RecordingSink sink;
                    ASSERT_TRUE(DecodePng(source, {}, sink, band));
                    EXPECT_EQ(sink.starts, 1);
                    EXPECT_EQ(sink.puts, std::vector<int>(size_t(h), 1));
                    EXPECT_EQ(sink.putsAfterFlush, 0);
                    EXPECT_TRUE(test::SamePixels(sink.image, plain.image));
                    // Cut short, it fails in any band.
                    MemorySource cut(bytes.data(), bytes.size() - 20);
                    test::RecordingSink cutSink;
                    EXPECT_FALSE(DecodePng(cut, {}, cutSink, band));
                }
                // With scratch room the even rows wait there and the file is read once; without
                // room it is read band by band; a failing scratch fails the read.
                for (int failAfter : {-1, 0, 3}) {
                    for (bool refuse : {false, true}) {
                        SCOPED_TRACE(testing::Message()
                                     << "fail after " << failAfter << " refuse " << refuse);
                        CountingSource source(bytes);
                        test::ScratchSink sink;
                        sink.scratch.refuse = refuse;
                        sink.scratch.transfersLeft = failAfter;
                        const bool ok = DecodePng(source, {}, sink, 1);
                        EXPECT_EQ(sink.scratch.outside, 0);
                        if (!refuse && failAfter >= 0) {
                            EXPECT_FALSE(ok);
                            EXPECT_EQ(sink.scratch.transfers, failAfter);
                            continue;
                        }
                        ASSERT_TRUE(ok);
                        EXPECT_EQ(sink.puts, std::vector<int>(size_t(h), 1));
                        EXPECT_TRUE(test::SamePixels(sink.image, plain.image));
                        // (and its signature once more first)
                        EXPECT_EQ(source.read <= bytes.size() + 8, !refuse || h <= 2);
                    }
                }
            }
}

// ---- Sizes claimed by headers ---------------------------------------------------------------

uint32_t Crc(const uint8_t* p, size_t n) {
    return uint32_t(crc32(0, p, uInt(n)));
}

void PutBig32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int k = 0; k < 4; ++k) v[at + k] = uint8_t(x >> (24 - 8 * k));
}

// A small valid PNG whose IHDR then claims `w` x `h` (CRC made right).
std::vector<uint8_t> PngClaiming(uint32_t w, uint32_t h) {
    test::TempDir dir;
    const auto image = test::SmoothImage(8, 8);
    EXPECT_TRUE(WriteRasterFile(dir.File("s.png"), image, kFilePng, 0, 0));
    auto bytes = test::ReadBytes(dir.File("s.png"));
    PutBig32(bytes, 16, w);
    PutBig32(bytes, 20, h);
    PutBig32(bytes, 29, Crc(&bytes[12], 17));
    return bytes;
}

// A baseline JPEG whose frame header claims `w` x `h`.
std::vector<uint8_t> JpegClaiming(uint16_t w, uint16_t h) {
    test::TempDir dir;
    const auto image = test::SmoothImage(16, 16);
    EXPECT_TRUE(WriteRasterFile(dir.File("s.jpg"), image, kFileJpeg, 8, 0));
    auto bytes = test::ReadBytes(dir.File("s.jpg"));
    for (size_t i = 2; i + 9 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
            bytes[i + 5] = uint8_t(h >> 8);
            bytes[i + 6] = uint8_t(h);
            bytes[i + 7] = uint8_t(w >> 8);
            bytes[i + 8] = uint8_t(w);
            break;
        }
    return bytes;
}

// A GIF whose logical screen and frame claim `w` x `h`.
std::vector<uint8_t> GifClaiming(uint16_t w, uint16_t h) {
    test::TempDir dir;
    const auto image = test::SmoothImage(8, 8);
    EXPECT_TRUE(WriteRasterFile(dir.File("s.gif"), image, kFileGif, 0, 0));
    auto bytes = test::ReadBytes(dir.File("s.gif"));
    test::Put16(bytes, 6, w);
    test::Put16(bytes, 8, h);
    for (size_t i = 13; i + 9 < bytes.size(); ++i)
        if (bytes[i] == 0x2C && bytes[i + 1] == 0 && bytes[i + 2] == 0 && bytes[i + 3] == 0 &&
            bytes[i + 4] == 0) {
            test::Put16(bytes, i + 5, w);
            test::Put16(bytes, i + 7, h);
            break;
        }
    return bytes;
}

// A TIFF whose one strip holds a few bytes of a picture that claims `w` x `h`.
std::vector<uint8_t> TiffClaiming(uint32_t w, uint32_t h) {
    test::TempDir dir;
    const std::string path = dir.File("s.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<uint8_t> strip(64, 0x80);
    TIFFWriteRawStrip(tif, 0, strip.data(), tmsize_t(strip.size()));
    TIFFClose(tif);
    return test::ReadBytes(path);
}

TEST(RasterSizeRule, HugeHeadersAreRefusedOrAskedAboutBeforeDecoding) {
    enum Want { kOpens, kAsked, kRefused };
    struct Case {
        int64_t w, h;
        Want want;
    };
    // Within 20 million pixels nothing is asked; up to the side limit the user decides; past
    // it, or past 10 000 a side, nothing is read.
    const Case cases[] = {
        {2000, 1000, kOpens},     {5000, 5000, kAsked},   {10000, 10000, kAsked},
        {10001, 100, kRefused},   {100, 10001, kRefused}, {15811, 15811, kRefused},
        {65535, 65535, kRefused},
    };
    struct Format {
        const char* ext;
        std::vector<uint8_t> (*make)(int64_t, int64_t);
    };
    const Format formats[] = {
        {"bmp",
         [](int64_t w, int64_t h) {
             return test::MakeBmp(int32_t(w), int32_t(h), 24, 0, {}, std::vector<uint8_t>(64));
         }},
        {"png", [](int64_t w, int64_t h) { return PngClaiming(uint32_t(w), uint32_t(h)); }},
        {"jpg", [](int64_t w, int64_t h) { return JpegClaiming(uint16_t(w), uint16_t(h)); }},
        {"gif", [](int64_t w, int64_t h) { return GifClaiming(uint16_t(w), uint16_t(h)); }},
        {"tif", [](int64_t w, int64_t h) { return TiffClaiming(uint32_t(w), uint32_t(h)); }},
    };
    for (const Format& f : formats)
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << f.ext << " " << c.w << " x " << c.h);
            const std::vector<uint8_t> bytes = f.make(c.w, c.h);
            int asked = 0;
            ReadLimits limits;
            // Declined: what a user who is asked first can always do.
            limits.confirmLarge = [&](int64_t w, int64_t h) {
                EXPECT_EQ(w, c.w);
                EXPECT_EQ(h, c.h);
                return ++asked, false;
            };
            const RasterReadResult r = ReadRasterMemory(bytes.data(), bytes.size(), f.ext, limits);
            EXPECT_EQ(asked, c.want == kAsked ? 1 : 0);
            if (c.want == kAsked) {
                EXPECT_FALSE(r.ok);
                EXPECT_TRUE(r.declined);
            }
            if (c.want == kRefused) {
                EXPECT_FALSE(r.ok);
            }
            if (!r.ok) {
                EXPECT_TRUE(r.image.IsEmpty());
            }
            // The small files' data run out long before such a picture is complete; only the
            // BMP reader opens what it has (white below), which for the quiet size it must.
            if (c.want == kOpens && std::string(f.ext) == "bmp") {
                EXPECT_TRUE(r.ok);
                EXPECT_TRUE(r.incomplete);
            }
        }
}

TEST(RasterSizeRule, ALargePictureAgreedToOpens) {
    const std::vector<uint8_t> bytes = test::MakeBmp(5000, 4001, 24, 0, {}, {});
    ReadLimits limits;
    limits.confirmLarge = [](int64_t, int64_t) { return true; };
    const RasterReadResult r = ReadRasterMemory(bytes.data(), bytes.size(), "bmp", limits);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.image.Width(), 5000);
    EXPECT_EQ(r.image.Height(), 4001);
    // Without anyone to ask (fuzzing, memory reads) such a picture is not read.
    EXPECT_FALSE(ReadRasterMemory(bytes.data(), bytes.size(), "bmp").ok);
}

// ---- Chunks claiming more than the file holds -----------------------------------------------

// A PNG with one ancillary chunk of `type` before the image data, whose length field says
// `claimed` while the file carries only a few bytes of it.
std::vector<uint8_t> PngWithChunk(const char* type, uint32_t claimed, bool afterData) {
    auto bytes = PngClaiming(8, 8);
    std::vector<uint8_t> chunk(12 + 16, 'x');
    PutBig32(chunk, 0, claimed);
    std::memcpy(&chunk[4], type, 4);
    chunk[8] = 'k';
    chunk[9] = 0;  // a keyword, then "text"
    PutBig32(chunk, chunk.size() - 4, Crc(&chunk[4], chunk.size() - 8));
    // After the 33 bytes of signature and IHDR, or just before IEND.
    const size_t at = afterData ? bytes.size() - 12 : 33;
    bytes.insert(bytes.begin() + std::ptrdiff_t(at), chunk.begin(), chunk.end());
    return bytes;
}

TEST(PngChunks, AChunkClaimingGigabytesCostsNoMoreThanItsFile) {
    for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "prIv"})
        for (uint32_t claimed : {0x7FFFFFF0u, 0x10000000u, 0x01000001u})
            for (bool after : {false, true}) {
                SCOPED_TRACE(testing::Message() << type << " " << claimed << " " << after);
                const auto bytes = PngWithChunk(type, claimed, after);
                ResetPngDecoderPeakBytes();
                const RasterReadResult r = ReadRasterMemory(bytes.data(), bytes.size(), "png");
                EXPECT_LT(PngDecoderPeakBytes(), size_t(100) << 20);
                // Refused, or opened without the chunk; never half a picture.
                if (r.ok) {
                    EXPECT_EQ(r.image.Width(), 8);
                } else {
                    EXPECT_TRUE(r.image.IsEmpty());
                }
            }
}

}  // namespace
}  // namespace zelvo
