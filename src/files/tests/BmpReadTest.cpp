// Reading BMP files of every depth and compression, cut-off files and malformed headers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "core/RowBands.h"

#include "TestImages.h"
#include "files/RasterFile.h"
#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

using test::MakeBmp;

RasterReadResult ReadBytesAs(const std::vector<uint8_t>& bytes, const std::string& ext = "bmp") {
    return ReadRasterMemory(bytes.data(), bytes.size(), ext);
}

// Pixel (x, y) with y counted from the top, as b, g, r.
std::array<uint8_t, 3> At(const RasterImage& image, int x, int y) {
    const uint8_t* p = image.TopRow(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

std::array<uint8_t, 3> Bgr(const std::vector<uint8_t>& palette, int index) {
    return {palette[3 * index], palette[3 * index + 1], palette[3 * index + 2]};
}

// A palette of `n` distinct colours.
std::vector<uint8_t> Palette(int n) {
    std::vector<uint8_t> p;
    for (int i = 0; i < n; ++i) {
        p.push_back(uint8_t(i * 7));
        p.push_back(uint8_t(255 - i));
        p.push_back(uint8_t(i * 13 + 5));
    }
    return p;
}

TEST(BmpRead, OneBitOpensAsBlackAndWhite) {
    ScopedRecordingMessages messages;
    const std::vector<uint8_t> palette = {0, 0, 0, 255, 255, 255};
    // Three pixels a row, 4-byte rows, bottom row first: bottom 1 0 1, top 0 1 0.
    const std::vector<uint8_t> data = {0xA0, 0, 0, 0, 0x40, 0, 0, 0};
    auto r = ReadBytesAs(MakeBmp(3, 2, 1, 0, palette, data));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.image.Bits(), 24);
    EXPECT_EQ(r.image.Order(), RowOrder::BottomUp);
    ASSERT_EQ(r.image.Width(), 3);
    ASSERT_EQ(r.image.Height(), 2);
    const std::array<uint8_t, 3> white{255, 255, 255}, black{0, 0, 0};
    EXPECT_EQ(At(r.image, 0, 1), white);
    EXPECT_EQ(At(r.image, 1, 1), black);
    EXPECT_EQ(At(r.image, 2, 1), white);
    EXPECT_EQ(At(r.image, 0, 0), black);
    EXPECT_EQ(At(r.image, 1, 0), white);
    EXPECT_EQ(At(r.image, 2, 0), black);
    EXPECT_TRUE(messages.Entries().empty());
}

TEST(BmpRead, FourAndEightBitPalettes) {
    std::mt19937 random(7);
    for (int bits : {4, 8}) {
        SCOPED_TRACE(bits);
        const int w = 13, h = 5, colours = 1 << bits;
        const auto palette = Palette(colours);
        const int stride = int(DibStride(w, bits));
        std::vector<uint8_t> data(size_t(stride) * h, 0);
        std::vector<std::vector<int>> index(h, std::vector<int>(w));
        for (int fileRow = 0; fileRow < h; ++fileRow)
            for (int x = 0; x < w; ++x) {
                int v = int(random() % colours);
                index[fileRow][x] = v;
                uint8_t& byte = data[size_t(fileRow) * stride + x * bits / 8];
                byte |= bits == 8 ? uint8_t(v) : uint8_t(x % 2 == 0 ? v << 4 : v);
            }
        auto r = ReadBytesAs(MakeBmp(w, h, bits, 0, palette, data));
        ASSERT_TRUE(r.ok);
        for (int fileRow = 0; fileRow < h; ++fileRow)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(At(r.image, x, h - 1 - fileRow), Bgr(palette, index[fileRow][x]));
    }
}

TEST(BmpRead, Rle8AndRle4) {
    const auto palette = Palette(16);
    // 6 x 3. Bottom row: a run of 4 of colour 1, then colour 2 twice in absolute mode... read
    // as: run(4, 1), absolute [2, 3], end of line. Middle row: delta (2, 0) then run(2, 5), end
    // of line. Top row: absolute [6, 7, 8] (padded), run(3, 9), end of bitmap.
    const std::vector<uint8_t> rle8 = {4, 1, 0, 3, 2, 3, 4, 0, 0, 0,  //
                                       0, 2, 2, 0, 2, 5, 0, 0,        //
                                       0, 3, 6, 7, 8, 0, 3, 9, 0, 1};
    // Nibbles: bottom run(6, 0x12) alternates 1,2; middle absolute 4 pixels 3,4,5,6; top run(6,
    // 0x77).
    const std::vector<uint8_t> rle4 = {6, 0x12, 0, 0, 0, 4, 0x34, 0x56, 0, 0, 6, 0x77, 0, 1};
    const int expected8[3][6] = {{6, 7, 8, 9, 9, 9}, {0, 0, 5, 5, 0, 0}, {1, 1, 1, 1, 2, 3}};
    const int expected4[3][6] = {{7, 7, 7, 7, 7, 7}, {3, 4, 5, 6, 0, 0}, {1, 2, 1, 2, 1, 2}};
    for (int bits : {8, 4}) {
        SCOPED_TRACE(bits);
        auto pal = bits == 8 ? Palette(16) : palette;
        auto r = ReadBytesAs(MakeBmp(6, 3, bits, bits == 8 ? 1 : 2, pal, bits == 8 ? rle8 : rle4));
        ASSERT_TRUE(r.ok);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(At(r.image, x, y),
                          Bgr(pal, bits == 8 ? expected8[y][x] : expected4[y][x]))
                    << x << "," << y;
    }
}

TEST(BmpRead, SixteenAndThirtyTwoBits) {
    // 5-5-5: red 31, green 0, blue 16 -> 255, 0, 132.
    std::vector<uint8_t> d16 = {0, 0, 0, 0};
    const uint16_t p555 = uint16_t((31 << 10) | 16);
    d16[0] = uint8_t(p555);
    d16[1] = uint8_t(p555 >> 8);
    auto r16 = ReadBytesAs(MakeBmp(1, 1, 16, 0, {}, d16));
    ASSERT_TRUE(r16.ok);
    EXPECT_EQ(At(r16.image, 0, 0), (std::array<uint8_t, 3>{132, 0, 255}));

    // 5-6-5 bit fields: green 63 -> 255.
    std::vector<uint8_t> d565 = {0xE0, 0x07, 0, 0};
    auto r565 = ReadBytesAs(MakeBmp(1, 1, 16, 3, {}, d565, {0xF800, 0x07E0, 0x001F}));
    ASSERT_TRUE(r565.ok);
    EXPECT_EQ(At(r565.image, 0, 0), (std::array<uint8_t, 3>{0, 255, 0}));

    // 32 bits plain: the fourth byte is ignored.
    std::vector<uint8_t> d32 = {10, 20, 30, 99, 40, 50, 60, 0};
    auto r32 = ReadBytesAs(MakeBmp(2, 1, 32, 0, {}, d32));
    ASSERT_TRUE(r32.ok);
    EXPECT_EQ(At(r32.image, 0, 0), (std::array<uint8_t, 3>{10, 20, 30}));
    EXPECT_EQ(At(r32.image, 1, 0), (std::array<uint8_t, 3>{40, 50, 60}));

    // 32-bit bit fields with red in the low byte.
    std::vector<uint8_t> dbf = {10, 20, 30, 0};
    auto rbf = ReadBytesAs(MakeBmp(1, 1, 32, 3, {}, dbf, {0xFF, 0xFF00, 0xFF0000}));
    ASSERT_TRUE(rbf.ok);
    EXPECT_EQ(At(rbf.image, 0, 0), (std::array<uint8_t, 3>{30, 20, 10}));
}

TEST(BmpRead, TwentyFourBitsBothDirections) {
    // Two rows of two pixels, 8 bytes a row with padding; the first row in the file is (1..6).
    std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    auto up = ReadBytesAs(MakeBmp(2, 2, 24, 0, {}, data));
    ASSERT_TRUE(up.ok);
    EXPECT_EQ(At(up.image, 0, 1), (std::array<uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(At(up.image, 1, 0), (std::array<uint8_t, 3>{10, 11, 12}));
    auto down = ReadBytesAs(MakeBmp(2, -2, 24, 0, {}, data));
    ASSERT_TRUE(down.ok);
    EXPECT_EQ(At(down.image, 0, 0), (std::array<uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(At(down.image, 1, 1), (std::array<uint8_t, 3>{10, 11, 12}));
    EXPECT_EQ(down.image.Order(), RowOrder::BottomUp);
}

TEST(BmpRead, TruncatedFileOpensWithWhiteRowsAndTheMessage) {
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        ScopedRecordingMessages messages;
        const int w = 4, h = 4, stride = int(DibStride(w, bits));
        std::vector<uint8_t> data(size_t(stride) * h);
        for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i % 200);
        auto bytes = MakeBmp(w, h, bits, 0, {}, data);
        bytes.resize(54 + stride + stride / 2);  // one row and a half
        test::TempDir dir;
        test::WriteBytes(dir.File("cut.bmp"), bytes);
        auto r = ReadRasterFile(dir.File("cut.bmp"));
        ASSERT_TRUE(r.ok);
        EXPECT_TRUE(r.incomplete);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Can not open this file integrity!"});
        // The bottom row came whole; the half row and those above are white.
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(r.image.BottomRow(0)[3 * x + c], data[x * bits / 8 + c]);
        for (int y = 1; y < h; ++y)
            for (int x = 0; x < 3 * w; ++x) EXPECT_EQ(r.image.BottomRow(y)[x], 255) << y;
    }
}

TEST(BmpRead, CompleteFileShowsNoMessage) {
    ScopedRecordingMessages messages;
    std::vector<uint8_t> data(size_t(DibStride(3, 24)) * 3, 77);
    auto r = ReadBytesAs(MakeBmp(3, 3, 24, 0, {}, data));
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.incomplete);
    EXPECT_TRUE(messages.Entries().empty());
}

TEST(BmpRead, BadHeadersAreRefused) {
    struct Case {
        const char* name;
        int32_t width, height;
        int bits;
        uint32_t compression;
    };
    const Case cases[] = {
        {"zero width", 0, 4, 24, 0},
        {"zero height", 4, 0, 24, 0},
        {"negative width", -4, 4, 24, 0},
        {"huge width", 0x7FFFFFFF, 1, 24, 0},
        {"most negative height", 4, INT32_MIN, 24, 0},
        {"past a side", 100001, 1, 24, 0},
        {"too many pixels", 20000, 20000, 24, 0},
        {"odd depth", 4, 4, 7, 0},
        {"jpeg inside", 4, 4, 24, 4},
        {"rle8 at 24 bits", 4, 4, 24, 1},
        {"rle top-down", 4, -4, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedRecordingMessages messages;
        auto r = ReadBytesAs(
            MakeBmp(c.width, c.height, c.bits, c.compression, {}, std::vector<uint8_t>(64, 1)));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, "This file should not be opened!");
        EXPECT_TRUE(r.image.IsEmpty());
        EXPECT_TRUE(messages.Entries().empty());
    }
}

TEST(BmpRead, ShortFilesNeverOpen) {
    test::TempDir dir;
    for (size_t size : {size_t(0), size_t(2), size_t(53)}) {
        std::vector<uint8_t> bytes(size, 0);
        if (size >= 2) bytes[0] = 'B', bytes[1] = 'M';
        test::WriteBytes(dir.File("s.bmp"), bytes);
        auto r = ReadRasterFile(dir.File("s.bmp"));
        EXPECT_FALSE(r.ok) << size;
        EXPECT_EQ(r.message, "This file should not be opened!");
    }
    // 54 bytes: a complete header of a 1 x 1 picture whose pixels are all missing.
    auto bytes = MakeBmp(1, 1, 24, 0, {}, {});
    ASSERT_EQ(bytes.size(), 54u);
    ScopedRecordingMessages messages;
    auto r = ReadBytesAs(bytes);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.incomplete);
}

TEST(BmpRead, EveryLayoutStreamsWhatItDecodesWholeOnAnyThreadCount) {
    struct Case {
        test::BmpLayout layout;
        int32_t width, height;
    };
    // Small pictures of every layout, and two of more than the reader's chunk of rows.
    const Case cases[] = {
        {{1, 0, false}, 37, 50},      {{4, 0, false}, 37, 50},     {{8, 0, false}, 37, 50},
        {{8, 0, true}, 37, 50},       {{4, 2, false}, 37, 50},     {{8, 1, false}, 37, 50},
        {{16, 0, false}, 37, 50},     {{16, 3, true}, 37, 50},     {{24, 0, false}, 37, 50},
        {{24, 0, true}, 37, 50},      {{32, 0, false}, 37, 50},    {{32, 3, false}, 37, 50},
        {{24, 0, false}, 1500, 1000}, {{32, 0, true}, 1100, 1000},
    };
    std::mt19937 random(11);
    test::TempDir dir;
    for (const Case& c : cases) {
        for (int32_t kept : {c.height, c.height * 2 / 3, 0}) {
            SCOPED_TRACE(testing::Message()
                         << c.layout.bits << " bits, compression " << c.layout.compression
                         << (c.layout.topDown ? " top-down" : "") << ", " << c.width << " x "
                         << c.height << ", rows kept " << kept);
            const test::BmpCase bmp = test::MakeBmpCase(c.layout, c.width, c.height, kept, random);
            test::WriteBytes(dir.File("v.bmp"), bmp.bytes);
            ScopedRecordingMessages messages;
            const RasterReadResult whole = ReadBytesAs(bmp.bytes);
            ASSERT_TRUE(whole.ok);
            EXPECT_EQ(whole.incomplete, kept < c.height);
            EXPECT_TRUE(test::SamePixels(whole.image, bmp.expected));
            for (int32_t threads : {1, 3}) {
                ScopedPassThreads scoped(threads);
                test::RecordingSink sink;
                const RasterReadResult streamed = ReadRasterFile(dir.File("v.bmp"), &sink);
                ASSERT_TRUE(streamed.ok) << threads;
                EXPECT_TRUE(streamed.image.IsEmpty());
                EXPECT_EQ(streamed.incomplete, kept < c.height);
                EXPECT_EQ(sink.starts, 1);
                EXPECT_EQ(sink.puts, std::vector<int>(size_t(c.height), 1)) << threads;
                EXPECT_EQ(sink.outside, 0);
                EXPECT_EQ(sink.putsAfterFlush, 0);
                EXPECT_TRUE(test::SamePixels(sink.image, bmp.expected)) << threads;
            }
        }
    }
}

// A sink whose rows cannot be kept (a full scratch disk) fails the read; one that cannot start
// fails it before any row.
TEST(BmpRead, ASinkThatFailsFailsTheRead) {
    class Failing : public RasterSink {
    public:
        explicit Failing(bool start) : m_start(start) {}
        bool Start(int32_t, int32_t) override { return m_start; }
        std::unique_ptr<RasterRows> Band(int32_t, int32_t) override {
            ++bands;
            class Rows : public RasterRows {
                bool Put(int32_t, const uint8_t*) override { return false; }
                bool Flush() override { return true; }
            };
            return std::make_unique<Rows>();
        }
        std::atomic<int> bands{0};

    private:
        bool m_start;
    };
    std::mt19937 random(3);
    test::TempDir dir;
    for (const test::BmpLayout layout : {test::BmpLayout{24, 0, false}, {8, 1, false}}) {
        test::WriteBytes(dir.File("f.bmp"), test::MakeBmpCase(layout, 20, 40, 40, random).bytes);
        for (bool start : {false, true}) {
            ScopedRecordingMessages messages;
            Failing sink(start);
            const RasterReadResult r = ReadRasterFile(dir.File("f.bmp"), &sink);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.message, "This file should not be opened!");
            EXPECT_EQ(sink.bands > 0, start);
            EXPECT_TRUE(messages.Entries().empty());
        }
    }
}

TEST(BmpRead, MissingFileFails) {
    auto r = ReadRasterFile("/nonexistent-zelvo-dir/none.bmp");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "This file should not be opened!");
    test::TempDir dir;
    EXPECT_FALSE(ReadRasterFile(dir.Path()).ok);  // a folder
}

}  // namespace
}  // namespace zelvo
