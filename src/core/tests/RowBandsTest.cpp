#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "core/RowBands.h"

namespace zelvo {

TEST(RowBands, CoverEveryRowOnceInContiguousBands) {
    struct Case {
        int32_t threads, rows, minRows, bands;
    };
    for (const Case c :
         {Case{1, 100, 1, 1}, Case{2, 100, 1, 2}, Case{8, 100, 1, 8}, Case{8, 5, 1, 5},
          Case{8, 100, 30, 3}, Case{3, 7, 8, 1}, Case{8, 0, 1, 0}}) {
        const ScopedPassThreads threads(c.threads);
        EXPECT_EQ(RowBandCount(c.rows, c.minRows), c.bands) << c.threads << " " << c.rows;
        std::mutex lock;
        std::vector<std::pair<int32_t, int32_t>> seen;
        std::atomic<int32_t> callers{0};
        ForEachRowBand(c.rows, c.minRows, [&](int32_t first, int32_t end, bool caller) {
            if (caller) ++callers;
            const std::lock_guard<std::mutex> hold(lock);
            seen.emplace_back(first, end);
        });
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(int32_t(seen.size()), c.bands);
        int32_t next = 0;
        for (const auto& [first, end] : seen) {
            EXPECT_EQ(first, next);
            EXPECT_LT(first, end);
            EXPECT_GE(end - first, std::min(c.minRows, c.rows));
            next = end;
        }
        EXPECT_EQ(next, c.rows);
        EXPECT_EQ(callers.load() >= 1, c.bands > 0);
    }
}

TEST(RowBands, ABandsExceptionReachesTheCallerAfterEveryBandEnded) {
    const ScopedPassThreads threads(4);
    std::atomic<int32_t> ended{0};
    EXPECT_THROW(ForEachRowBand(40, 1,
                                [&](int32_t first, int32_t, bool) {
                                    ++ended;
                                    if (first == 10) throw std::runtime_error("band");
                                }),
                 std::runtime_error);
    EXPECT_EQ(ended.load(), 4);
}

TEST(RowBands, ThreadCountsFromSettingsAreWholeNumbersInRange) {
    const int32_t cores = MachineCores();
    struct Case {
        const char* text;
        int32_t expected;
    };
    for (const Case c : {Case{"1", 1}, Case{"256", 256}, Case{"257", 0}, Case{"0", 0},
                         Case{"-2", 0}, Case{"2x", 0}, Case{"", 0}, Case{" 2", 0}, Case{nullptr, 0},
                         Case{"99999999999999999999", 0}})
        EXPECT_EQ(ParseThreadCount(c.text), c.expected) << (c.text ? c.text : "null");
    const ScopedPassThreads none(0);
    EXPECT_EQ(PassThreads(), cores);
}

}  // namespace zelvo
