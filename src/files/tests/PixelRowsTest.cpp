// The vectorised row expansion against the plain per-pixel copy, at every width around its
// sixteen-pixel steps.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "files/PixelRows.h"

namespace zelvo {
namespace {

TEST(PixelRows, ExpandMatchesThePlainCopy) {
    std::mt19937 random(3);
    for (int32_t width : {0, 1, 2, 15, 16, 17, 31, 32, 33, 47, 48, 63, 100, 1001}) {
        for (uint8_t fourth : {uint8_t(0), uint8_t(100), uint8_t(255)}) {
            SCOPED_TRACE(testing::Message() << width << " " << int(fourth));
            // Exactly sized buffers, so that ASan sees any read or write past the row.
            std::vector<uint8_t> src(size_t(3 * width));
            for (uint8_t& b : src) b = uint8_t(random());
            std::vector<uint8_t> expected(size_t(4 * width)), got(size_t(4 * width), 7);
            for (int32_t x = 0; x < width; ++x) {
                for (int c = 0; c < 3; ++c) expected[size_t(4 * x + c)] = src[size_t(3 * x + c)];
                expected[size_t(4 * x + 3)] = fourth;
            }
            ExpandBgrRow(src.data(), got.data(), width, fourth);
            EXPECT_EQ(got, expected);
        }
    }
}

}  // namespace
}  // namespace zelvo
