// JPEG writing: the quality mapping, the own baseline writer at the top level and the library
// below it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>

#include <jpeglib.h>

#include "BaselineJpegReference.h"
#include "TestImages.h"
#include "core/RowBands.h"
#include "files/BaselineJpegWriter.h"
#include "files/Codecs.h"
#include "files/RasterFile.h"
#include "files/SafeFile.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

// The marker segments of a JPEG file up to the start of scan: marker -> payloads.
std::multimap<uint8_t, std::vector<uint8_t>> Segments(const std::vector<uint8_t>& bytes) {
    std::multimap<uint8_t, std::vector<uint8_t>> out;
    size_t at = 2;
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF) {
        const uint8_t marker = bytes[at + 1];
        const size_t length = size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (at + 2 + length > bytes.size()) break;
        out.emplace(marker,
                    std::vector<uint8_t>(bytes.begin() + at + 4, bytes.begin() + at + 2 + length));
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return out;
}

// The 64 entries of each quantisation table, by table id, in the file's (zig-zag) order.
std::map<int, std::vector<int>> QuantTables(const std::vector<uint8_t>& bytes) {
    std::map<int, std::vector<int>> tables;
    auto segments = Segments(bytes);
    auto range = segments.equal_range(0xDB);
    for (auto it = range.first; it != range.second; ++it) {
        const auto& p = it->second;
        for (size_t at = 0; at + 65 <= p.size(); at += 65)
            tables[p[at] & 15] = std::vector<int>(p.begin() + at + 1, p.begin() + at + 65);
    }
    return tables;
}

TEST(JpegQuality, LevelsMapToLibraryQualities) {
    for (int q = 1; q <= 12; ++q) {
        const int expected = std::min(100, std::max(65, q >= 5 ? 2 * q + 76 : 6 * q + 64));
        EXPECT_EQ(JpegLibraryQuality(q), expected) << q;
    }
    EXPECT_EQ(JpegLibraryQuality(4), 88);
    EXPECT_EQ(JpegLibraryQuality(5), 86);
    EXPECT_EQ(JpegLibraryQuality(1), 70);
    EXPECT_EQ(JpegLibraryQuality(11), 98);
    EXPECT_EQ(JpegLibraryQuality(12), 100);
    EXPECT_EQ(JpegLibraryQuality(0), 65);
    EXPECT_EQ(JpegLibraryQuality(13), 100);
}

TEST(JpegQuality, TablesScaleAsTheLibraryDoes) {
    for (int q : {1, 25, 50, 75, 98, 100}) {
        const int scale = q >= 50 ? 200 - 2 * q : 5000 / q;
        const auto t = ScaledQuantTable(kJpegLuminanceBase, q);
        for (int i = 0; i < 64; ++i)
            EXPECT_EQ(t[i], std::clamp((kJpegLuminanceBase[i] * scale + 50) / 100, 1, 255))
                << q << " " << i;
    }
    for (uint8_t v : ScaledQuantTable(kJpegChrominanceBase, 101)) EXPECT_EQ(v, 1);
    for (uint8_t v : ScaledQuantTable(kJpegChrominanceBase, 0)) EXPECT_EQ(v, 255);
}

TEST(JpegWrite, TopLevelIsBaseline444WithAllOnesTables) {
    test::TempDir dir;
    for (auto [w, h] : {std::pair{64, 48}, std::pair{77, 35}, std::pair{1, 1}}) {
        SCOPED_TRACE(w);
        const auto image = test::SmoothImage(w, h, RowOrder::BottomUp);
        ASSERT_TRUE(WriteRasterFile(dir.File("b.jpg"), image, kFileJpeg, 12, 0));
        const auto bytes = test::ReadBytes(dir.File("b.jpg"));
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xD8);
        EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
        EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
        auto segments = Segments(bytes);
        ASSERT_EQ(segments.count(0xE0), 1u);
        const auto& app0 = segments.find(0xE0)->second;
        EXPECT_EQ(app0, (std::vector<uint8_t>{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
        const auto tables = QuantTables(bytes);
        ASSERT_EQ(tables.size(), 2u);
        for (const auto& [id, entries] : tables) EXPECT_EQ(entries, std::vector<int>(64, 1)) << id;
        ASSERT_EQ(segments.count(0xC0), 1u);
        EXPECT_EQ(segments.count(0xC2), 0u);
        const auto& sof = segments.find(0xC0)->second;
        ASSERT_EQ(sof.size(), 15u);
        EXPECT_EQ(sof[0], 8);
        EXPECT_EQ(sof[1] << 8 | sof[2], h);
        EXPECT_EQ(sof[3] << 8 | sof[4], w);
        EXPECT_EQ(sof[5], 3);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(sof[6 + 3 * c], c + 1);
            EXPECT_EQ(sof[7 + 3 * c], 0x11);
            EXPECT_EQ(sof[8 + 3 * c], c == 0 ? 0 : 1);
        }
        EXPECT_EQ(segments.count(0xC4), 4u);
        const auto& sos = segments.find(0xDA)->second;
        EXPECT_EQ(sos, (std::vector<uint8_t>{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}));

        // The colour conversion truncates (it never rounds up), so blue, which takes 1.77 times
        // the Cb error, can come back up to 4 levels low; on average the picture is kept.
        auto r = ReadRasterFile(dir.File("b.jpg"));
        ASSERT_TRUE(r.ok);
        EXPECT_LE(test::MaxDifference(r.image, image), 4);
        double sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 3 * w; ++x)
                sum += int(r.image.TopRow(y)[x]) - int(image.TopRow(y)[x]);
        EXPECT_LT(std::abs(sum / (3.0 * w * h)), 1.5);
    }
}

// The DCT coefficients stored by the own writer against the textbook DCT of the luminance
// plane, quantised by 1 with the writer's rounding (add 0.5, truncate toward zero).
TEST(JpegWrite, CoefficientsMatchTheDirectDct) {
    test::TempDir dir;
    const int w = 24, h = 16;
    const auto image = test::SmoothImage(w, h, RowOrder::BottomUp);
    ASSERT_TRUE(WriteRasterFile(dir.File("k.jpg"), image, kFileJpeg, 12, 0));
    FILE* f = std::fopen(dir.File("k.jpg").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    int exact = 0, total = 0, worst = 0;
    for (int by = 0; by < h / 8; ++by) {
        JBLOCKARRAY row = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                           arrays[0], JDIMENSION(by), 1, FALSE);
        for (int bx = 0; bx < w / 8; ++bx) {
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    double sum = 0;
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x) {
                            const uint8_t* p = image.TopRow(by * 8 + y) + 3 * (bx * 8 + x);
                            const int luma = (299 * p[2] + 587 * p[1] + 114 * p[0]) / 1000;
                            sum += (luma - 128) * std::cos((2 * x + 1) * u * M_PI / 16) *
                                   std::cos((2 * y + 1) * v * M_PI / 16);
                        }
                    const double cu = u ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
                    const int expected = int(sum * cu * cv / 4 + 0.5);
                    const int got = row[0][bx][v * 8 + u];
                    worst = std::max(worst, std::abs(got - expected));
                    exact += got == expected;
                    ++total;
                }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    EXPECT_LE(worst, 1);
    EXPECT_GE(exact * 100, total * 98);
}

TEST(JpegWrite, TopLevelTakesEitherRowOrder) {
    test::TempDir dir;
    const auto up = test::SmoothImage(30, 20, RowOrder::BottomUp);
    const auto down = test::SmoothImage(30, 20, RowOrder::TopDown);
    ASSERT_TRUE(WriteRasterFile(dir.File("u.jpg"), up, kFileJpeg, 12, 0));
    ASSERT_TRUE(WriteRasterFile(dir.File("d.jpg"), down, kFileJpeg, 12, 0));
    EXPECT_EQ(test::ReadBytes(dir.File("u.jpg")), test::ReadBytes(dir.File("d.jpg")));
    ASSERT_TRUE(WriteRasterFile(dir.File("u8.jpg"), up, kFileJpeg, 8, 0));
    ASSERT_TRUE(WriteRasterFile(dir.File("d8.jpg"), down, kFileJpeg, 8, 0));
    EXPECT_EQ(test::ReadBytes(dir.File("u8.jpg")), test::ReadBytes(dir.File("d8.jpg")));
}

TEST(JpegWrite, ExtremeColoursStayInRange) {
    // Black and white checks give the largest coefficients and DC steps there are.
    test::TempDir dir;
    RasterImage image;
    ASSERT_TRUE(image.Allocate(64, 64, 24, RowOrder::BottomUp));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            std::memset(image.TopRow(y) + 3 * x, ((x / 8 + y / 8) % 2) ^ ((x + y) % 2) ? 255 : 0,
                        3);
    ASSERT_TRUE(WriteRasterFile(dir.File("c.jpg"), image, kFileJpeg, 12, 0));
    auto r = ReadRasterFile(dir.File("c.jpg"));
    ASSERT_TRUE(r.ok);
    EXPECT_LE(test::MaxDifference(r.image, image), 2);
}

TEST(JpegWrite, LowerLevelsGoThroughTheLibrary) {
    test::TempDir dir;
    const auto image = test::SmoothImage(48, 32, RowOrder::TopDown);
    ASSERT_TRUE(WriteRasterFile(dir.File("l.jpg"), image, kFileJpeg, 11, 0));
    const auto bytes = test::ReadBytes(dir.File("l.jpg"));
    const auto tables = QuantTables(bytes);
    ASSERT_EQ(tables.count(0), 1u);
    // Quality 98 scales the Annex K tables by 4 %.
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(tables.at(0)[k], std::max(1, (kJpegLuminanceBase[kJpegZigZag[k]] * 4 + 50) / 100))
            << k;
    auto segments = Segments(bytes);
    ASSERT_EQ(segments.count(0xC0), 1u);
    EXPECT_EQ(segments.find(0xC0)->second[7], 0x22);  // the library's default chroma halving
    auto r = ReadRasterFile(dir.File("l.jpg"));
    ASSERT_TRUE(r.ok);
    EXPECT_LE(test::MaxDifference(r.image, image), 12);
}

// The picture kinds that stress different parts of the writer.
enum class Content { Smooth, Random, Extremes, ManyColours };

RasterImage MakePicture(Content content, int w, int h, std::mt19937& random) {
    switch (content) {
        case Content::Smooth:
            return test::SmoothImage(w, h, RowOrder::TopDown);
        case Content::Random:
            return test::RandomImage(w, h, random);
        case Content::Extremes: {
            // Flat blocks of black, white and pure colours over fine black and white checks:
            // the largest DC values and steps, the largest AC values, many 0xFF bytes.
            static const uint8_t kColours[4][3] = {
                {0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};
            RasterImage image;
            image.Allocate(w, h, 24, RowOrder::BottomUp);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint8_t* p = image.TopRow(y) + 3 * x;
                    if (y < h / 2)
                        std::memcpy(p, kColours[(x / 8 + y / 8 * 3) % 4], 3);
                    else
                        std::memset(p, (x / 3 + y / 5 + x * y) % 2 ? 255 : 0, 3);
                }
            return image;
        }
        case Content::ManyColours: {
            // Consecutive pixels step through the colour cube, hitting every exact quotient of
            // the colour conversion many times.
            RasterImage image;
            image.Allocate(w, h, 24, RowOrder::TopDown);
            uint32_t colour = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x, colour += 40503) {
                    uint8_t* p = image.TopRow(y) + 3 * x;
                    p[0] = uint8_t(colour);
                    p[1] = uint8_t(colour >> 8);
                    p[2] = uint8_t(colour >> 16);
                }
            return image;
        }
    }
    return {};
}

// Read back from the temporary file: committing would sync hundreds of files to the disk.
std::vector<uint8_t> OwnWriterBytes(const RasterImage& image, int quality,
                                    const std::string& path) {
    SafeFile file(path);
    if (!file.Open() || !EncodeBaselineJpeg(file, RasterImageRows(image), quality)) return {};
    std::vector<uint8_t> bytes(file.Size());
    bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
}

// The vectorised writer against the scalar one it replaced, byte for byte, with every
// instruction set the CPU has.
TEST(JpegWrite, OwnWriterMatchesTheScalarReference) {
    test::TempDir dir;
    const std::pair<int, int> sizes[] = {{1, 1},    {2, 3},   {7, 9},   {8, 8},   {9, 7},
                                         {16, 16},  {17, 33}, {31, 15}, {33, 8},  {63, 65},
                                         {257, 19}, {40, 1},  {1, 40},  {129, 9}, {135, 17}};
    int levels = 0;
    for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
        if (!CpuRuns(level)) continue;
        ++levels;
        ScopedJpegLevel scoped(level);
        std::mt19937 random(7);
        for (Content content :
             {Content::Smooth, Content::Random, Content::Extremes, Content::ManyColours})
            for (auto [w, h] : sizes) {
                const RasterImage image = MakePicture(content, w, h, random);
                for (int quality : {0, 1, 10, 50, 75, 90, 99, 100, 101}) {
                    SCOPED_TRACE(testing::Message() << "level " << int(level) << " " << int(content)
                                                    << " " << w << "x" << h << " q" << quality);
                    const auto expected = test::ReferenceBaselineJpeg(image, quality);
                    ASSERT_GT(expected.size(), 600u);
                    EXPECT_EQ(OwnWriterBytes(image, quality, dir.File("o.jpg")), expected);
                }
            }
        // Large enough for the writer to hand its buffer to the file several times.
        for (Content content : {Content::Random, Content::ManyColours}) {
            SCOPED_TRACE(testing::Message() << "level " << int(level) << " " << int(content));
            const RasterImage image = MakePicture(content, 703, 495, random);
            const auto expected = test::ReferenceBaselineJpeg(image, 100);
            ASSERT_GT(expected.size(), size_t(1) << 20);
            EXPECT_EQ(OwnWriterBytes(image, 100, dir.File("big.jpg")), expected);
        }
    }
    EXPECT_GE(levels, 1);
    RasterImage indexed;
    ASSERT_TRUE(indexed.Allocate(8, 8, 8));
    EXPECT_TRUE(test::ReferenceBaselineJpeg(indexed, 100).empty());
    EXPECT_TRUE(OwnWriterBytes(indexed, 100, dir.File("i.jpg")).empty());
}

// Stripes coded on several threads and joined at whatever bit the stream reached: the file is
// the one-thread file, byte for byte, whatever the split (a stripe of one MCU row, a picture of
// one, joins inside 0xFF runs, a file larger than the writer's buffer).
TEST(JpegWrite, AnyThreadCountWritesTheSameFile) {
    test::TempDir dir;
    const std::pair<int, int> sizes[] = {{1, 1},   {40, 1},   {1, 40},   {17, 33},
                                         {63, 65}, {257, 19}, {129, 9},  {135, 17},
                                         {9, 130}, {33, 71},  {200, 57}, {24, 24}};
    {
        const ScopedPassThreads eight(8);
        ASSERT_EQ(RowBandCount(130 / 8 + 1, 1), 8);  // the tallest picture really splits in 8
    }
    for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
        if (!CpuRuns(level)) continue;
        ScopedJpegLevel scoped(level);
        std::mt19937 random(11);
        for (Content content :
             {Content::Smooth, Content::Random, Content::Extremes, Content::ManyColours})
            for (auto [w, h] : sizes) {
                const RasterImage image = MakePicture(content, w, h, random);
                for (int quality : {0, 100}) {
                    const auto expected = test::ReferenceBaselineJpeg(image, quality);
                    ASSERT_GT(expected.size(), 600u);
                    for (int threads : {1, 2, 8}) {
                        SCOPED_TRACE(testing::Message()
                                     << "level " << int(level) << " " << int(content) << " " << w
                                     << "x" << h << " q" << quality << " on " << threads);
                        const ScopedPassThreads scopedThreads(threads);
                        EXPECT_EQ(OwnWriterBytes(image, quality, dir.File("t.jpg")), expected);
                    }
                }
            }
        const RasterImage image = MakePicture(Content::Random, 703, 495, random);
        const auto expected = test::ReferenceBaselineJpeg(image, 100);
        for (int threads : {2, 8}) {
            SCOPED_TRACE(testing::Message() << "level " << int(level) << " on " << threads);
            const ScopedPassThreads scopedThreads(threads);
            EXPECT_EQ(OwnWriterBytes(image, 100, dir.File("big.jpg")), expected);
        }
    }
}

// Bands held small make stripes of one MCU row, many more than the threads and than the
// buffers they wait in; a short picture makes fewer stripes than threads.
TEST(JpegWrite, StripesOfAnySizeWriteTheSameFile) {
    test::TempDir dir;
    struct Case {
        int width, height, threads;
        size_t bandBytes;  // 0: the default
    };
    const Case cases[] = {{40, 200, 2, 1}, {40, 200, 3, 1},      {40, 200, 8, 1},
                          {257, 24, 8, 1}, {33, 17, 8, 0},       {135, 160, 2, 0},
                          {16, 200, 1, 1}, {703, 480, 2, 135000}};
    std::mt19937 random(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " on " << c.threads
                                        << " in bands of " << c.bandBytes);
        const RasterImage image = MakePicture(Content::Random, c.width, c.height, random);
        const auto expected = test::ReferenceBaselineJpeg(image, 100);
        const ScopedPassThreads threads(c.threads);
        const ScopedSaveBandBytes bands(c.bandBytes ? c.bandBytes : size_t(4) << 20);
        EXPECT_EQ(OwnWriterBytes(image, 100, dir.File("s.jpg")), expected);
    }
}

// The rows of an image, failing from row `failFrom` on, whichever thread asks.
class RowsFailingFrom : public RasterImageRows {
public:
    RowsFailingFrom(const RasterImage& image, int32_t failFrom)
        : RasterImageRows(image), m_failFrom(failFrom) {}
    bool Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
              size_t stride) const override {
        return end <= m_failFrom && RasterImageRows::Fill(first, end, order, dst, stride);
    }

private:
    int32_t m_failFrom;
};

TEST(JpegWrite, RowsFailingInAnyStripeFailTheWriter) {
    test::TempDir dir;
    const auto image = test::SmoothImage(40, 200, RowOrder::TopDown);
    const ScopedSaveBandBytes bands(1);
    for (int threads : {1, 2, 8})
        for (int32_t failFrom : {0, 7, 8, 100, 199}) {
            SCOPED_TRACE(testing::Message() << "row " << failFrom << " on " << threads);
            const ScopedPassThreads scopedThreads(threads);
            SafeFile file(dir.File("f.jpg"));
            ASSERT_TRUE(file.Open());
            EXPECT_FALSE(EncodeBaselineJpeg(file, RowsFailingFrom(image, failFrom), 100));
        }
}

// Fails the first write of the first file only, as a full disk would during the own writer.
class FailFirstFile : public FileOps {
public:
    ssize_t PWrite(int fd, const void* data, size_t size, off_t offset) override {
        if (m_firstFd < 0) m_firstFd = fd;
        if (fd == m_firstFd && !m_failed) {
            m_failed = true;
            errno = ENOSPC;
            return -1;
        }
        return FileOps::PWrite(fd, data, size, offset);
    }

private:
    int m_firstFd = -1;
    bool m_failed = false;
};

TEST(JpegWrite, OwnWriterFailureFallsBackToTheLibrary) {
    for (int threads : {1, 8}) {
        SCOPED_TRACE(threads);
        const ScopedPassThreads scopedThreads(threads);
        test::TempDir dir;
        const auto image = test::SmoothImage(40, 40, RowOrder::BottomUp);
        FailFirstFile ops;
        {
            ScopedFileOps scoped(&ops);
            ASSERT_TRUE(WriteRasterFile(dir.File("f.jpg"), image, kFileJpeg, 12, 0));
        }
        const auto bytes = test::ReadBytes(dir.File("f.jpg"));
        auto segments = Segments(bytes);
        ASSERT_EQ(segments.count(0xC0), 1u);
        EXPECT_EQ(segments.find(0xC0)->second[7], 0x22);  // written by the library
        for (const auto& [id, entries] : QuantTables(bytes))
            EXPECT_EQ(entries, std::vector<int>(64, 1)) << id;
        auto r = ReadRasterFile(dir.File("f.jpg"));
        ASSERT_TRUE(r.ok);
        EXPECT_LE(test::MaxDifference(r.image, image), 6);
    }
}

}  // namespace
}  // namespace zelvo
