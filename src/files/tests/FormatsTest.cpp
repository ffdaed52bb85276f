// Reading and writing PNG and GIF, and recognising a file by its bytes or its name.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include <gif_lib.h>
#include <png.h>

#include "TestImages.h"
#include "core/RowBands.h"
#include "files/Codecs.h"
#include "files/RasterFile.h"
#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

// An RGBA PNG written straight with libpng: pixel i has colour (i*40, 255-i*40, 7) and alpha 0
// for even i, 255 for odd.
void WriteRgbaPng(const std::string& path, int width, int height) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> rows(size_t(width) * height * 4);
    for (int i = 0; i < width * height; ++i) {
        rows[4 * i] = uint8_t(i * 40);
        rows[4 * i + 1] = uint8_t(255 - i * 40);
        rows[4 * i + 2] = 7;
        rows[4 * i + 3] = i % 2 ? 255 : 0;
    }
    std::vector<png_bytep> pointers(height);
    for (int y = 0; y < height; ++y) pointers[y] = rows.data() + size_t(y) * width * 4;
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

TEST(PngRead, AlphaIsDroppedAndThePictureIsOpaque) {
    test::TempDir dir;
    WriteRgbaPng(dir.File("a.png"), 3, 2);
    auto r = ReadRasterFile(dir.File("a.png"));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.image.Bits(), 24);
    ASSERT_EQ(r.image.Width(), 3);
    ASSERT_EQ(r.image.Height(), 2);
    for (int i = 0; i < 6; ++i) {
        const uint8_t* p = r.image.TopRow(i / 3) + 3 * (i % 3);
        EXPECT_EQ(p[2], uint8_t(i * 40)) << i;
        EXPECT_EQ(p[1], uint8_t(255 - i * 40)) << i;
        EXPECT_EQ(p[0], 7) << i;
    }
}

TEST(RasterRoundTrip, PngAndBmpKeepEveryPixelInEitherRowOrder) {
    test::TempDir dir;
    for (RowOrder order : {RowOrder::TopDown, RowOrder::BottomUp}) {
        const auto image = test::SmoothImage(37, 23, order);
        for (int type : {kFilePng, kFileBmp}) {
            SCOPED_TRACE(type);
            const std::string path = dir.File(type == kFilePng ? "r.png" : "r.bmp");
            ASSERT_TRUE(WriteRasterFile(path, image, type, 0, 0));
            auto r = ReadRasterFile(path);
            ASSERT_TRUE(r.ok);
            EXPECT_TRUE(test::SamePixels(r.image, image));
        }
    }
}

// What libpng writes for the picture with its default settings, as the files of earlier
// versions were written.
std::vector<uint8_t> LibpngDefaultBytes(const RasterImage& image) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t size) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + size);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, png_uint_32(image.Width()), png_uint_32(image.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < image.Height(); ++y) png_write_row(png, image.TopRow(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(PngWrite, BytesAreThoseOfLibpngsDefaults) {
    test::TempDir dir;
    std::mt19937 random(17);
    struct Case {
        int width, height, colourBits;  // 0: a smooth picture
    };
    // Single rows and columns (fewer filters), pictures small enough for a smaller zlib window,
    // flat areas where filters tie, noise over many windows and many IDAT chunks.
    const Case cases[] = {{1, 1, 8},   {1, 9, 8},   {9, 1, 8},     {2, 2, 3},     {5, 3, 8},
                          {40, 30, 0}, {64, 64, 2}, {300, 200, 8}, {257, 190, 0}, {180, 150, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bits " << c.colourBits);
        const RasterImage image = c.colourBits
                                      ? test::RandomImage(c.width, c.height, random, c.colourBits)
                                      : test::SmoothImage(c.width, c.height);
        const std::vector<uint8_t> theirs = LibpngDefaultBytes(image);
        // Bands of a few rows, read and filtered beside the deflating of the band before.
        const ScopedSaveBandBytes smallBands(4000);
        for (const CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
            if (!CpuRuns(level)) continue;
            const ScopedPassThreads threads(level == CpuLevel::Base ? 1 : 2);
            SCOPED_TRACE(int(level));
            const std::string path = dir.File("p.png");
            SafeFile file(path);
            ASSERT_TRUE(file.Open());
            ASSERT_TRUE(EncodePng(file, RasterImageRows(image), level));
            ASSERT_TRUE(file.Commit());
            const std::vector<uint8_t> ours = test::ReadBytes(path);
            ASSERT_EQ(ours.size(), theirs.size());
            EXPECT_TRUE(ours == theirs);
        }
    }
}

TEST(BmpWrite, HeadersAndRowsAsADibFile) {
    test::TempDir dir;
    const auto image = test::SmoothImage(5, 3, RowOrder::BottomUp);
    ASSERT_TRUE(WriteRasterFile(dir.File("h.bmp"), image, kFileBmp, 0, 0));
    const auto bytes = test::ReadBytes(dir.File("h.bmp"));
    const size_t stride = 16;  // ((5 * 24 + 31) / 32) * 4
    ASSERT_EQ(bytes.size(), 54 + stride * 3);
    auto le32 = [&](size_t at) {
        return uint32_t(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24);
    };
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(le32(2), 54 + stride * 3);
    EXPECT_EQ(le32(6), 0u);
    EXPECT_EQ(le32(10), 54u);
    EXPECT_EQ(le32(14), 40u);
    EXPECT_EQ(le32(18), 5u);
    EXPECT_EQ(le32(22), 3u);
    EXPECT_EQ(bytes[26] | bytes[27] << 8, 1);
    EXPECT_EQ(bytes[28] | bytes[29] << 8, 24);
    EXPECT_EQ(le32(30), 0u);
    EXPECT_EQ(le32(34), stride * 3);
    for (size_t at = 38; at < 54; ++at) EXPECT_EQ(bytes[at], 0) << at;
    EXPECT_EQ(0, std::memcmp(bytes.data() + 54, image.Data(), stride * 3));
}

// A GIF written with giflib directly: a frame of w x h at (left, top) on a screen of sw x sh
// whose background is grey 80 * 3, with a local palette of 4 greys; pixel (x, y) of the frame
// is grey 80 * ((x + y) % 4).
void WriteGif(const std::string& path, int sw, int sh, int left, int top, int w, int h,
              bool interlaced) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr);
    GifColorType colours[4] = {{0, 0, 0}, {80, 80, 80}, {160, 160, 160}, {240, 240, 240}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifPutScreenDesc(gif, sw, sh, 2, 3, map);
    EGifPutImageDesc(gif, left, top, w, h, interlaced, map);
    std::vector<GifPixelType> line(w);
    auto put = [&](int y) {
        for (int x = 0; x < w; ++x) line[x] = GifPixelType((x + y) % 4);
        EGifPutLine(gif, line.data(), w);
    };
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass)
        for (int y = interlaced ? kStart[pass] : 0; y < h; y += interlaced ? kStep[pass] : 1)
            put(y);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
}

TEST(GifRead, InterlacedRowsLandInPlace) {
    test::TempDir dir;
    struct Frame {
        int sw, sh, left, top, w;
    };
    // The whole screen, and a frame inside a larger one with background all round.
    for (const Frame f : {Frame{9, 0, 0, 0, 9}, Frame{12, 5, 2, 3, 7}})
        for (int h = 1; h <= 9; ++h) {
            SCOPED_TRACE(testing::Message() << "frame at " << f.left << "," << f.top << " " << h);
            const int sh = f.sh + h;
            WriteGif(dir.File("i.gif"), f.sw, sh, f.left, f.top, f.w, h, true);
            test::RecordingSink sink;
            auto r = ReadRasterFile(dir.File("i.gif"), &sink);
            ASSERT_TRUE(r.ok);
            ASSERT_EQ(sink.image.Width(), f.sw);
            ASSERT_EQ(sink.image.Height(), sh);
            EXPECT_EQ(sink.puts, std::vector<int>(size_t(sh), 1));
            for (int y = 0; y < sh; ++y)
                for (int x = 0; x < f.sw; ++x) {
                    const int fx = x - f.left, fy = y - f.top;
                    const bool inFrame = fx >= 0 && fx < f.w && fy >= 0 && fy < h;
                    const uint8_t grey = uint8_t(80 * (inFrame ? (fx + fy) % 4 : 3));
                    const uint8_t* p = sink.image.TopRow(y) + 3 * x;
                    ASSERT_EQ(p[0], grey) << x << "," << y;
                    ASSERT_EQ(p[1], grey);
                    ASSERT_EQ(p[2], grey);
                }
            // The same frame stored plainly reads the same.
            WriteGif(dir.File("p.gif"), f.sw, sh, f.left, f.top, f.w, h, false);
            auto plain = ReadRasterFile(dir.File("p.gif"));
            ASSERT_TRUE(plain.ok);
            EXPECT_TRUE(test::SamePixels(plain.image, sink.image));
        }
}

TEST(GifWrite, FewColoursRoundTripExactly) {
    test::TempDir dir;
    RasterImage image;
    ASSERT_TRUE(image.Allocate(17, 9, 24, RowOrder::BottomUp));
    const uint8_t colours[3][3] = {{10, 200, 30}, {250, 5, 5}, {0, 0, 0}};
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 17; ++x)
            std::memcpy(image.TopRow(y) + 3 * x, colours[(x * y + x) % 3], 3);
    ASSERT_TRUE(WriteRasterFile(dir.File("f.gif"), image, kFileGif, 0, 0));
    const auto bytes = test::ReadBytes(dir.File("f.gif"));
    ASSERT_GT(bytes.size(), 13u + 768u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
    EXPECT_EQ(bytes[10] & 0x87, 0x87);  // a global colour table of 256 entries
    auto r = ReadRasterFile(dir.File("f.gif"));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(test::SamePixels(r.image, image));
}

// What giflib writes for an indexed picture and its palette, called as earlier versions called
// it to write their files.
std::vector<uint8_t> GiflibBytes(const RasterImage& image) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* data, int size) {
            auto* v = static_cast<std::vector<uint8_t>*>(g->UserData);
            v->insert(v->end(), data, data + size);
            return size;
        },
        &error);
    EGifSetGifVersion(gif, true);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {image.Palette()[i].red, image.Palette()[i].green, image.Palette()[i].blue};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(gif, image.Width(), image.Height(), 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, image.Width(), image.Height(), false, nullptr);
    std::vector<GifPixelType> line(size_t(image.Width()));
    for (int y = 0; y < image.Height(); ++y) {
        std::memcpy(line.data(), image.TopRow(y), line.size());
        EGifPutLine(gif, line.data(), image.Width());
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

TEST(GifWrite, BytesAreThoseOfGiflib) {
    test::TempDir dir;
    std::mt19937 random(5);
    struct Case {
        int width, height, colours;
    };
    // One pixel; noise of 256 colours (a new code almost every pixel: many clears, and single
    // rows ending on either side of the first widening); two colours (long strings, twelve-bit
    // codes); one colour (ever longer strings of one pixel across rows).
    std::vector<Case> cases = {{1, 1, 1},     {1, 1, 256},  {3, 2, 2},    {300, 200, 256},
                               {257, 190, 2}, {7, 4000, 3}, {640, 480, 1}};
    for (int width = 245; width <= 265; ++width) cases.push_back({width, 1, 256});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " of " << c.colours);
        RasterImage image;
        ASSERT_TRUE(image.Allocate(c.width, c.height, 8, RowOrder::TopDown));
        for (int i = 0; i < 256; ++i)
            image.Palette()[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) image.TopRow(y)[x] = uint8_t(random() % c.colours);
        const std::string path = dir.File("g.gif");
        SafeFile file(path);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(EncodeGif(file, RasterImageRows(image), image.Palette()));
        ASSERT_TRUE(file.Commit());
        const std::vector<uint8_t> ours = test::ReadBytes(path), theirs = GiflibBytes(image);
        ASSERT_EQ(ours.size(), theirs.size());
        EXPECT_TRUE(ours == theirs);
    }
}

TEST(RasterRead, JpegIsRecognisedByItsBytesWhateverItsName) {
    test::TempDir dir;
    const auto image = test::SmoothImage(20, 20);
    ASSERT_TRUE(WriteRasterFile(dir.File("p.jpg"), image, kFileJpeg, 8, 0));
    ASSERT_EQ(std::rename(dir.File("p.jpg").c_str(), dir.File("p.dat").c_str()), 0);
    auto r = ReadRasterFile(dir.File("p.dat"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.image.Width(), 20);
}

TEST(RasterRead, PngNeedsItsName) {
    test::TempDir dir;
    const auto image = test::SmoothImage(20, 20);
    ASSERT_TRUE(WriteRasterFile(dir.File("p.png"), image, kFilePng, 0, 0));
    EXPECT_TRUE(ReadRasterFile(dir.File("p.png")).ok);
    EXPECT_TRUE(ReadRasterFile(dir.File("p.png")).message.empty());
    ASSERT_EQ(std::rename(dir.File("p.png").c_str(), dir.File("p.dat").c_str()), 0);
    auto r = ReadRasterFile(dir.File("p.dat"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "This file should not be opened!");
    // Named for another of the library formats it is still found; the case does not matter.
    ASSERT_EQ(std::rename(dir.File("p.dat").c_str(), dir.File("p.TIFF").c_str()), 0);
    EXPECT_TRUE(ReadRasterFile(dir.File("p.TIFF")).ok);
    // No extension at all: the dot of a folder name does not count.
    ASSERT_EQ(mkdir(dir.File("d.png").c_str(), 0700), 0);
    ASSERT_EQ(std::rename(dir.File("p.TIFF").c_str(), dir.File("d.png/plain").c_str()), 0);
    EXPECT_FALSE(ReadRasterFile(dir.File("d.png/plain")).ok);
}

TEST(RasterRead, EveryFormatStreamsTheRowsItWouldDecodeWhole) {
    test::TempDir dir;
    struct Format {
        const char* ext;
        int type, compression;
    };
    for (const Format& format : {Format{"jpg", kFileJpeg, 0}, Format{"tif", kFileTiff, kTiffLzw},
                                 Format{"tif", kFileTiff, kTiffJpeg}, Format{"png", kFilePng, 0},
                                 Format{"gif", kFileGif, 0}}) {
        SCOPED_TRACE(format.ext);
        std::vector<std::vector<uint8_t>> files;
        const std::string corpus = format.type == kFileJpeg   ? "/jpeg"
                                   : format.type == kFileTiff ? "/tiff"
                                   : format.type == kFileGif  ? "/gif"
                                                              : "/png";
        for (const auto& e :
             std::filesystem::directory_iterator(std::string(ZELVO_FUZZ_CORPUS_DIR) + corpus))
            files.push_back(test::ReadBytes(e.path().string()));
        if (format.type == kFilePng) {  // an interlaced one
            WriteRgbaPng(dir.File("i.png"), 40, 30);
            files.push_back(test::ReadBytes(dir.File("i.png")));
        }
        if (format.type == kFileGif) {  // an interlaced frame with background round it
            WriteGif(dir.File("i.gif"), 40, 30, 3, 5, 30, 20, true);
            files.push_back(test::ReadBytes(dir.File("i.gif")));
        }
        ASSERT_FALSE(files.empty());
        // A larger one of our own, whole, cut short and damaged past its header.
        const std::string path = dir.File(std::string("s.") + format.ext);
        ASSERT_TRUE(
            WriteRasterFile(path, test::SmoothImage(300, 200), format.type, 8, format.compression));
        const std::vector<uint8_t> own = test::ReadBytes(path);
        files.push_back(own);
        files.push_back({own.begin(), own.begin() + ptrdiff_t(own.size() / 2)});
        std::vector<uint8_t> damaged = own;
        for (size_t i = own.size() / 3; i < own.size() / 3 + 64; ++i) damaged[i] = uint8_t(i * 77);
        files.push_back(damaged);
        size_t opened = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(i);
            test::WriteBytes(path, files[i]);
            const RasterReadResult whole =
                ReadRasterMemory(files[i].data(), files[i].size(), format.ext);
            test::RecordingSink sink;
            const RasterReadResult streamed = ReadRasterFile(path, &sink);
            ASSERT_EQ(streamed.ok, whole.ok);
            if (!whole.ok) continue;
            ++opened;
            EXPECT_TRUE(streamed.image.IsEmpty());
            EXPECT_EQ(sink.starts, 1);
            EXPECT_EQ(sink.puts, std::vector<int>(size_t(whole.image.Height()), 1));
            EXPECT_EQ(sink.outside, 0);
            EXPECT_EQ(sink.putsAfterFlush, 0);
            EXPECT_TRUE(test::SamePixels(sink.image, whole.image));
        }
        EXPECT_GE(opened, files.size() - 2);
    }
}

// The bytes of a file whose reads fail from `failAt` on, as a disk that cannot be read would.
class UnreadableFrom : public ByteSource {
public:
    UnreadableFrom(const std::vector<uint8_t>& bytes, uint64_t failAt)
        : m_bytes(bytes.data(), bytes.size()), m_failAt(failAt) {}
    uint64_t Size() const override { return m_bytes.Size(); }
    size_t ReadAt(uint64_t offset, void* data, size_t size) override {
        if (offset >= m_failAt) return 0;
        return m_bytes.ReadAt(offset, data, size_t(std::min<uint64_t>(size, m_failAt - offset)));
    }

private:
    MemorySource m_bytes;
    uint64_t m_failAt;
};

// `bytes` with an APP1 segment of `length` bytes after the start-of-image marker.
std::vector<uint8_t> WithApp1(std::vector<uint8_t> bytes, size_t length) {
    std::vector<uint8_t> payload(length);
    for (size_t i = 0; i < length; ++i) payload[i] = uint8_t(i * 13);
    return test::WithApp1Segment(std::move(bytes), payload);
}

TEST(JpegRead, ChunksOfAnySizeDecodeAsTheWholeFileAtOnce) {
    test::TempDir dir;
    std::vector<std::vector<uint8_t>> bases;
    for (const auto& e :
         std::filesystem::directory_iterator(std::string(ZELVO_FUZZ_CORPUS_DIR) + "/jpeg"))
        bases.push_back(test::ReadBytes(e.path().string()));
    ASSERT_TRUE(WriteRasterFile(dir.File("s.jpg"), test::SmoothImage(90, 70), kFileJpeg, 8, 0));
    // Large segments that libjpeg skips, across chunks and, cut short, past the end.
    const size_t plainSize = test::ReadBytes(dir.File("s.jpg")).size();
    bases.push_back(WithApp1(WithApp1(test::ReadBytes(dir.File("s.jpg")), 30000), 40000));
    std::vector<std::vector<uint8_t>> files;
    for (const auto& base : bases) {
        files.push_back(base);
        for (size_t k = 1; k < 8; ++k)
            files.push_back({base.begin(), base.begin() + ptrdiff_t(base.size() * k / 8)});
        std::vector<uint8_t> damaged = base;
        for (size_t i = base.size() / 2; i < base.size() / 2 + 16; ++i) damaged[i] ^= uint8_t(i);
        files.push_back(damaged);
    }
    size_t opened = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        MemorySource whole(files[i].data(), files[i].size());
        test::RecordingSink expected;
        const bool ok = DecodeJpeg(whole, {}, expected, files[i].size());
        opened += ok;
        for (size_t chunk : {size_t(1), size_t(2), size_t(7), size_t(4096)}) {
            SCOPED_TRACE(chunk);
            MemorySource source(files[i].data(), files[i].size());
            test::RecordingSink sink;
            ASSERT_EQ(DecodeJpeg(source, {}, sink, chunk), ok);
            if (!ok) continue;
            EXPECT_EQ(sink.puts, expected.puts);
            EXPECT_TRUE(test::SamePixels(sink.image, expected.image));
        }
    }
    // Files cut short in their pictures still open, with libjpeg's fill for what is missing.
    EXPECT_GT(opened, bases.size());
    // A file that cannot be read to its end is refused, though the same bytes cut there open,
    // marked as ending early and, when opened, with the message a cut BMP gives.
    const std::vector<uint8_t>& own = bases.back();
    const std::vector<uint8_t> half(own.begin(), own.end() - ptrdiff_t(plainSize / 3));
    // Cut the same way with an end marker put back after the cut (as "repairing" tools do): the
    // picture data still ends early.
    std::vector<uint8_t> sealed = half;
    sealed.push_back(0xFF);
    sealed.push_back(0xD9);
    for (const std::vector<uint8_t>* file :
         std::initializer_list<const std::vector<uint8_t>*>{&own, &half, &sealed}) {
        const bool cutShort = file != &own;
        SCOPED_TRACE(cutShort);
        MemorySource cut(file->data(), file->size());
        test::RecordingSink cutSink;
        JpegNotes notes;
        notes.endedEarly = !cutShort;
        EXPECT_TRUE(DecodeJpeg(cut, {}, cutSink, 4096, &notes));
        EXPECT_EQ(notes.endedEarly, cutShort);
        ScopedRecordingMessages messages;
        test::WriteBytes(dir.File("cut.jpg"), *file);
        const RasterReadResult r = ReadRasterFile(dir.File("cut.jpg"));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.incomplete, cutShort);
        EXPECT_EQ(messages.Texts(), cutShort ? std::vector<std::string>{kIncompleteFileText}
                                             : std::vector<std::string>{});
    }
    UnreadableFrom unreadable(own, half.size());
    test::RecordingSink failSink;
    EXPECT_FALSE(DecodeJpeg(unreadable, {}, failSink, 4096));
}

// The orientation comes from the first Exif segment's first directory, and is 1 for whatever
// cannot be one; the rows are as without the segment, read in chunks of any size.
TEST(JpegRead, ExifOrientationComesFromTheFirstExifSegment) {
    test::TempDir dir;
    ASSERT_TRUE(WriteRasterFile(dir.File("s.jpg"), test::SmoothImage(40, 30), kFileJpeg, 8, 0));
    const std::vector<uint8_t> base = test::ReadBytes(dir.File("s.jpg"));
    MemorySource plain(base.data(), base.size());
    test::RecordingSink expected;
    ASSERT_TRUE(DecodeJpeg(plain, {}, expected));
    std::vector<uint8_t> cutShort = test::ExifPayload(6);
    cutShort.resize(cutShort.size() - 8);  // ends inside the orientation's entry
    std::vector<uint8_t> farDirectory = test::ExifPayload(6);
    farDirectory[10] = 200;  // the directory's offset, past the end
    std::vector<uint8_t> long5 = test::ExifPayload(5);
    long5.resize(60000, 0xAB);
    const std::vector<uint8_t> xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
    struct Case {
        std::vector<uint8_t> file;
        int orientation;
    };
    const Case cases[] = {
        {base, 1},
        {test::WithApp1Segment(base, test::ExifPayload(6)), 6},
        {test::WithApp1Segment(base, test::ExifPayload(8, true)), 8},
        {test::WithApp1Segment(base, long5), 5},
        {test::WithApp1Segment(base, test::ExifPayload(0)), 1},
        {test::WithApp1Segment(base, test::ExifPayload(9)), 1},
        {test::WithApp1Segment(base, test::ExifPayload(6, false, 4)), 1},
        {test::WithApp1Segment(base, test::ExifPayload(6, false, 3, 2)), 1},
        {test::WithApp1Segment(base, cutShort), 1},
        {test::WithApp1Segment(base, farDirectory), 1},
        {test::WithApp1Segment(base, {'E', 'x', 'i', 'f', 0, 0}), 1},
        // An XMP segment first, then two Exif segments: the first Exif one counts.
        {test::WithApp1Segment(
             test::WithApp1Segment(test::WithApp1Segment(base, test::ExifPayload(6)),
                                   test::ExifPayload(3)),
             xmp),
         3},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        for (size_t chunk : {size_t(1), size_t(4096)}) {
            SCOPED_TRACE(testing::Message() << "case " << i << ", chunk " << chunk);
            MemorySource source(cases[i].file.data(), cases[i].file.size());
            test::RecordingSink sink;
            JpegNotes notes;
            ASSERT_TRUE(DecodeJpeg(source, {}, sink, chunk, &notes));
            EXPECT_EQ(notes.orientation, cases[i].orientation);
            EXPECT_TRUE(test::SamePixels(sink.image, expected.image));
        }
    }
}

// A picture taller than a band of a megabyte is decoded a band ahead on a second core while the
// rows before go to the sink: whole, cut short (libjpeg's fill), and failing to read in the
// first band (on the caller) or in a later one (on the second core), it ends as on one thread.
TEST(JpegRead, TallPicturesDecodeBandsAheadAsOnOneThread) {
    test::TempDir dir;
    ASSERT_TRUE(WriteRasterFile(dir.File("t.jpg"), test::SmoothImage(40, 9000), kFileJpeg, 8, 0));
    const std::vector<uint8_t> bytes = test::ReadBytes(dir.File("t.jpg"));
    struct Case {
        size_t size;    // the bytes the file keeps
        size_t failAt;  // reading fails from here on
    };
    const size_t n = bytes.size();
    const Case cases[] = {
        {n, n}, {n / 2, n / 2}, {n * 7 / 8, n * 7 / 8}, {n, n / 4}, {n, n * 3 / 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " " << c.failAt);
        const std::vector<uint8_t> file(bytes.begin(), bytes.begin() + ptrdiff_t(c.size));
        test::RecordingSink expected;
        bool ok;
        {
            const ScopedPassThreads one(1);
            UnreadableFrom source(file, c.failAt);
            ok = DecodeJpeg(source, {}, expected, 4096);
        }
        EXPECT_EQ(ok, c.failAt == c.size);
        for (const int threads : {2, 8}) {
            SCOPED_TRACE(threads);
            const ScopedPassThreads scoped(threads);
            UnreadableFrom source(file, c.failAt);
            test::RecordingSink sink;
            ASSERT_EQ(DecodeJpeg(source, {}, sink, 4096), ok);
            if (!ok) continue;
            EXPECT_EQ(sink.puts, expected.puts);
            EXPECT_TRUE(test::SamePixels(sink.image, expected.image));
        }
    }
}

// A progressive file keeps its coefficients in the scratch, a window of block rows at a time,
// and decodes exactly as libjpeg does with them all in memory: whole, cut short (where libjpeg
// smooths blocks across five rows) and damaged; grey, colour and CMYK; with windows of the
// fewest rows libjpeg needs and of several.
TEST(JpegRead, ProgressiveCoefficientsInTheScratchDecodeAsInMemory) {
    std::mt19937 random(7);
    struct Case {
        int width, height, components;
    };
    for (const Case c : {Case{300, 200, 3}, Case{161, 131, 1}, Case{130, 90, 4}}) {
        const std::vector<uint8_t> whole =
            test::ProgressiveJpeg(c.width, c.height, c.components, random);
        std::vector<std::vector<uint8_t>> files = {whole};
        for (size_t k : {3, 6})
            files.push_back({whole.begin(), whole.begin() + ptrdiff_t(whole.size() * k / 8)});
        std::vector<uint8_t> damaged = whole;
        for (size_t i = whole.size() / 2; i < whole.size() / 2 + 16; ++i) damaged[i] ^= uint8_t(i);
        files.push_back(damaged);
        for (size_t f = 0; f < files.size(); ++f) {
            SCOPED_TRACE(testing::Message() << c.components << " components, file " << f);
            MemorySource plain(files[f].data(), files[f].size());
            test::RecordingSink expected;
            const bool ok = DecodeJpeg(plain, {}, expected);
            EXPECT_TRUE(ok || f == 3);
            for (size_t window : {size_t(1), size_t(20000)}) {
                MemorySource source(files[f].data(), files[f].size());
                test::ScratchSink sink;
                sink.scratch.window = window;
                ASSERT_EQ(DecodeJpeg(source, {}, sink), ok);
                EXPECT_EQ(sink.scratch.areas.size(), size_t(c.components));
                EXPECT_GT(sink.scratch.transfers, c.components);
                EXPECT_EQ(sink.scratch.outside, 0);
                if (!ok) continue;
                EXPECT_EQ(sink.puts, expected.puts);
                EXPECT_TRUE(test::SamePixels(sink.image, expected.image));
            }
        }
    }
    // No room: the coefficients stay in memory. A scratch that fails fails the read.
    const std::vector<uint8_t> file = test::ProgressiveJpeg(200, 150, 3, random);
    MemorySource plain(file.data(), file.size());
    test::RecordingSink expected;
    ASSERT_TRUE(DecodeJpeg(plain, {}, expected));
    MemorySource source(file.data(), file.size());
    test::ScratchSink refused;
    refused.scratch.refuse = true;
    ASSERT_TRUE(DecodeJpeg(source, {}, refused));
    EXPECT_EQ(refused.scratch.transfers, 0);
    EXPECT_TRUE(test::SamePixels(refused.image, expected.image));
    for (int after : {0, 5}) {
        MemorySource again(file.data(), file.size());
        test::ScratchSink failing;
        failing.scratch.transfersLeft = after;
        EXPECT_FALSE(DecodeJpeg(again, {}, failing));
        EXPECT_EQ(failing.scratch.transfers, after);
    }
}

TEST(RasterRead, DamagedLibraryFilesFailCleanly) {
    test::TempDir dir;
    const auto image = test::SmoothImage(40, 30);
    struct Case {
        int type;
        const char* ext;
    };
    for (const Case& c : {Case{kFilePng, "png"}, Case{kFileTiff, "tif"}, Case{kFileGif, "gif"},
                          Case{kFileJpeg, "jpg"}}) {
        SCOPED_TRACE(c.ext);
        const std::string path = dir.File(std::string("d.") + c.ext);
        ASSERT_TRUE(WriteRasterFile(path, image, c.type, 8, kTiffLzw));
        auto bytes = test::ReadBytes(path);
        // Keep the signature, wipe the rest.
        for (size_t i = 16; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31);
        auto r = ReadRasterMemory(bytes.data(), bytes.size(), c.ext);
        EXPECT_EQ(r.ok, r.message.empty());
        // Cut to the header alone.
        bytes = test::ReadBytes(path);
        bytes.resize(60);
        auto cut = ReadRasterMemory(bytes.data(), bytes.size(), c.ext);
        EXPECT_FALSE(cut.ok);
        EXPECT_TRUE(cut.image.IsEmpty());
    }
}

TEST(RasterRead, OversizedLibraryImagesAreRefusedBeforeDecoding) {
    // The caller's own pixel limit, and the side and pixel caps.
    test::TempDir dir;
    const auto image = test::SmoothImage(8, 8);
    ASSERT_TRUE(WriteRasterFile(dir.File("s.png"), image, kFilePng, 0, 0));
    auto bytes = test::ReadBytes(dir.File("s.png"));
    ReadLimits small;
    small.maxPixels = 63;
    EXPECT_FALSE(ReadRasterMemory(bytes.data(), bytes.size(), "png", small).ok);
    small.maxPixels = 64;
    EXPECT_TRUE(ReadRasterMemory(bytes.data(), bytes.size(), "png", small).ok);
    EXPECT_FALSE(IsAcceptableRasterSize(10001, 1));
    EXPECT_TRUE(IsAcceptableRasterSize(10000, 10000));
    EXPECT_FALSE(IsAcceptableRasterSize(10000, 10001));
    EXPECT_FALSE(IsAcceptableRasterSize(-1, 5));
}

}  // namespace
}  // namespace zelvo
