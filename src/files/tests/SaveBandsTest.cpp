// Writers take their rows a band at a time: the file must not depend on where the bands fall
// or on the row order the picture is held in, and a source that fails part way leaves the
// previous file as it was.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>

#include "TestImages.h"
#include "files/RasterFile.h"
#include "files/RowSource.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

struct Output {
    const char* name;
    int type, quality, compression;
};
const Output kOutputs[] = {
    {"a.bmp", kFileBmp, 0, 0},          {"a.png", kFilePng, 0, 0},
    {"a.tif", kFileTiff, 9, kTiffNone}, {"b.tif", kFileTiff, 9, kTiffLzw},
    {"c.tif", kFileTiff, 3, kTiffJpeg}, {"d.tif", kFileTiff, 9, kTiffDeflate},
    {"a.jpg", kFileJpeg, 8, 0},         {"b.jpg", kFileJpeg, 12, 0},
    {"a.gif", kFileGif, 0, 0},
};

std::vector<uint8_t> Written(const test::TempDir& dir, const Output& o, const RasterImage& image) {
    const std::string path = dir.File(o.name);
    EXPECT_TRUE(WriteRasterFile(path, image, o.type, o.quality, o.compression));
    return test::ReadBytes(path);
}

TEST(SaveBands, FilesDoNotDependOnTheBandsOrTheRowOrderHeld) {
    std::mt19937 random(17);
    const int sizes[][2] = {{1, 1}, {7, 5}, {61, 37}};
    for (const auto& size : sizes) {
        const RasterImage up = test::RandomImage(size[0], size[1], random, 5);
        RasterImage down;
        ASSERT_TRUE(down.Allocate(size[0], size[1], 24, RowOrder::TopDown));
        for (int32_t y = 0; y < size[1]; ++y)
            std::memcpy(down.TopRow(y), up.TopRow(y), size_t(size[0]) * 3);
        for (const Output& o : kOutputs) {
            SCOPED_TRACE(testing::Message() << o.name << " " << size[0] << "x" << size[1]);
            test::TempDir dir;
            const std::vector<uint8_t> whole = Written(dir, o, up);
            ASSERT_FALSE(whole.empty());
            // One row a band, then bands of three rows that end inside the picture.
            for (const size_t bandBytes : {size_t(1), size_t(3 * 3 * size[0] + 1)}) {
                const ScopedSaveBandBytes bands(bandBytes);
                EXPECT_EQ(Written(dir, o, up), whole) << "bands of " << bandBytes << " bytes";
                // The GIF palette follows the order the picture is held in; the rest must not.
                if (o.type != kFileGif) {
                    EXPECT_EQ(Written(dir, o, down), whole);
                }
            }
        }
    }
}

// The rows of an image until more than `budget` rows have been asked for in all.
class FailingRows : public RasterImageRows {
public:
    FailingRows(const RasterImage& image, int32_t budget)
        : RasterImageRows(image), m_budget(budget) {}
    bool Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
              size_t stride) const override {
        m_asked += end - first;
        return m_asked <= m_budget && RasterImageRows::Fill(first, end, order, dst, stride);
    }
    int32_t Asked() const { return m_asked; }

private:
    int32_t m_budget;
    mutable std::atomic<int32_t> m_asked{0};
};

TEST(SaveBands, ASourceFailingPartWayLeavesThePreviousFile) {
    const RasterImage image = test::SmoothImage(120, 80, RowOrder::BottomUp);
    const std::vector<uint8_t> previous = {'k', 'e', 'e', 'p'};
    const ScopedSaveBandBytes bands(120 * 3 * 4);
    for (const Output& o : kOutputs) {
        // GIF reads the rows twice: the failure comes while the indices are written.
        const int32_t budget = o.type == kFileGif ? 80 + 40 : 40;
        SCOPED_TRACE(o.name);
        test::TempDir dir;
        const std::string path = dir.File(o.name);
        test::WriteBytes(path, previous);
        const FailingRows rows(image, budget);
        EXPECT_FALSE(WriteRasterFile(path, rows, o.type, o.quality, o.compression));
        EXPECT_GT(rows.Asked(), budget);
        EXPECT_EQ(test::ReadBytes(path), previous);
        // Nothing but the previous file is left in the folder.
        using Entries = std::filesystem::directory_iterator;
        EXPECT_EQ(std::distance(Entries(dir.Path()), Entries()), 1);
    }
}

}  // namespace
}  // namespace zelvo
