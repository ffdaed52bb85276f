// The running-sum tent filter against its definition computed directly, sample by sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "selection/TentFilter.h"

namespace zelvo {
namespace {

// out[x] = floor(sum (L-|k|) in[x+k] / sum (L-|k|)) over |k| <= L-1 inside the line.
std::vector<int> DirectTent(const std::vector<int>& in, int L) {
    const int n = int(in.size());
    std::vector<int> out(static_cast<size_t>(n));
    for (int x = 0; x < n; ++x) {
        long long s = 0, w = 0;
        for (int k = -(L - 1); k <= L - 1; ++k) {
            if (x + k < 0 || x + k >= n) continue;
            const int weight = L - (k < 0 ? -k : k);
            s += (long long)weight * in[size_t(x + k)];
            w += weight;
        }
        out[size_t(x)] = int(s / w);
    }
    return out;
}

TEST(TentFilterTest, LineMatchesTheDefinitionForEveryRadiusUpToTheLength) {
    std::mt19937 rng(1234);
    for (int n = 1; n <= 70; ++n) {
        for (int trial = 0; trial < 3; ++trial) {
            std::vector<int> in(static_cast<size_t>(n));
            std::uniform_int_distribution<int> value(0, trial == 2 ? 255 : 100);
            for (int& v : in) v = value(rng);
            std::vector<uint8_t> bytes(in.begin(), in.end());
            for (int L = 1; L <= n; ++L) {
                const std::vector<int> want = DirectTent(in, L);
                std::vector<int> got(static_cast<size_t>(n));
                TentFilterLine(in.data(), 1, got.data(), 1, n, L);
                ASSERT_EQ(got, want) << "n=" << n << " L=" << L;
                std::vector<uint8_t> gotBytes(static_cast<size_t>(n));
                TentFilterLine(bytes.data(), 1, gotBytes.data(), 1, n, L);
                ASSERT_EQ(std::vector<int>(gotBytes.begin(), gotBytes.end()), want)
                    << "bytes n=" << n << " L=" << L;
            }
        }
    }
}

TEST(TentFilterTest, LongLinesWithLargeRadiiMatchTheDefinition) {
    std::mt19937 rng(99);
    for (int n : {237, 500, 1000}) {
        std::vector<int> in(static_cast<size_t>(n));
        std::uniform_int_distribution<int> value(0, 100);
        for (int& v : in) v = value(rng) < 50 ? 0 : 100;  // hard edges, as masks have
        for (int L : {2, 3, 24, 71, 237, n}) {
            if (L > n) continue;
            std::vector<int> got(static_cast<size_t>(n));
            TentFilterLine(in.data(), 1, got.data(), 1, n, L);
            ASSERT_EQ(got, DirectTent(in, L)) << "n=" << n << " L=" << L;
        }
    }
}

TEST(TentFilterTest, RadiusOneIsTheIdentityAndLargerRadiiAreClampedToTheLength) {
    std::vector<int> in = {0, 100, 7, 55, 3};
    std::vector<int> out(in.size());
    TentFilterLine(in.data(), 1, out.data(), 1, 5, 1);
    EXPECT_EQ(out, in);
    TentFilterLine(in.data(), 1, out.data(), 1, 5, 0);
    EXPECT_EQ(out, in);
    TentFilterLine(in.data(), 1, out.data(), 1, 5, 40);
    EXPECT_EQ(out, DirectTent(in, 5));
}

TEST(TentFilterTest, StridedLinesReadAndWriteEveryStepthElement) {
    // A column of a 3-wide image: elements 1, 4, 7, ...
    std::vector<int> image(3 * 9);
    for (size_t i = 0; i < image.size(); ++i) image[i] = int(i * 37 % 101);
    std::vector<int> column, out(image.size(), -1);
    for (int y = 0; y < 9; ++y) column.push_back(image[size_t(3 * y + 1)]);
    TentFilterLine(image.data() + 1, 3, out.data() + 1, 3, 9, 4);
    const std::vector<int> want = DirectTent(column, 4);
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(out[size_t(3 * y + 1)], want[size_t(y)]);
        EXPECT_EQ(out[size_t(3 * y)], -1);  // neighbours untouched
    }
}

// Columns of a random image, filtered in place through row callbacks, against the direct
// definition applied to each column.
TEST(TentFilterTest, ColumnsInPlaceMatchTheDefinitionPerColumn) {
    std::mt19937 rng(7);
    for (int height : {1, 2, 5, 17, 64}) {
        for (int width : {1, 3, 13}) {
            std::vector<uint8_t> image(size_t(width * height));
            std::uniform_int_distribution<int> value(0, 255);
            for (uint8_t& v : image) v = uint8_t(value(rng));
            for (int L = 1; L <= height; L += (L < 6 ? 1 : 7)) {
                std::vector<uint8_t> work = image;
                int lastIn = -1, lastOut = -1;
                bool ordered = true;
                const bool ok = TentFilterColumns(
                    width, height, L,
                    [&](int32_t y) -> const uint8_t* {
                        ordered = ordered && y > lastIn;
                        lastIn = y;
                        return work.data() + size_t(y * width);
                    },
                    [&](int32_t y) {
                        ordered = ordered && y > lastOut;
                        lastOut = y;
                        return work.data() + size_t(y * width);
                    });
                ASSERT_TRUE(ok);
                EXPECT_TRUE(ordered);
                for (int c = 0; c < width; ++c) {
                    std::vector<int> col;
                    for (int y = 0; y < height; ++y) col.push_back(image[size_t(y * width + c)]);
                    const std::vector<int> want = DirectTent(col, L);
                    for (int y = 0; y < height; ++y)
                        ASSERT_EQ(work[size_t(y * width + c)], want[size_t(y)])
                            << "w=" << width << " h=" << height << " L=" << L << " c=" << c;
                }
            }
        }
    }
}

// Any cut into bands of rows, each band filtered apart from a shared input, gives the
// definition's columns (L clamped to the height); a band reads only the rows within L of its
// own.
TEST(TentFilterTest, ColumnBandsMatchTheDefinitionWhereverTheyAreCut) {
    std::mt19937 random(11);
    for (int height : {1, 5, 17, 40}) {
        const int width = 3;
        std::vector<uint8_t> image(size_t(width * height));
        for (uint8_t& v : image) v = uint8_t(random());
        for (int L : {1, 2, 3, 7, 40}) {
            const int Lc = std::min(L, height);
            for (int cut : {1, 2, 6, height}) {
                std::vector<uint8_t> out(image.size(), 0);
                for (int first = 0; first < height; first += cut) {
                    const int end = std::min(height, first + cut);
                    int lowest = height, highest = -1;
                    ASSERT_TRUE(TentFilterColumnBand(
                        width, height, L, first, end,
                        [&](int32_t y) -> const uint8_t* {
                            lowest = std::min(lowest, y);
                            highest = std::max(highest, y);
                            return image.data() + size_t(y * width);
                        },
                        [&](int32_t y) { return out.data() + size_t(y * width); }));
                    EXPECT_GE(lowest, first - Lc);
                    EXPECT_LE(highest, end + Lc - 2);
                }
                for (int c = 0; c < width; ++c) {
                    std::vector<int> col;
                    for (int y = 0; y < height; ++y) col.push_back(image[size_t(y * width + c)]);
                    const std::vector<int> want = DirectTent(col, Lc);
                    for (int y = 0; y < height; ++y)
                        ASSERT_EQ(out[size_t(y * width + c)], want[size_t(y)])
                            << "h=" << height << " L=" << L << " cut=" << cut << " y=" << y;
                }
            }
        }
    }
}

TEST(TentFilterTest, ColumnsStopWhenARowCannotBeHad) {
    std::vector<uint8_t> image(4 * 4, 50);
    EXPECT_FALSE(TentFilterColumns(
        4, 4, 2, [&](int32_t y) -> const uint8_t* { return y < 2 ? image.data() : nullptr; },
        [&](int32_t) { return image.data(); }));
}

}  // namespace
}  // namespace zelvo
