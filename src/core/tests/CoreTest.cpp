#include <gtest/gtest.h>

#include <iterator>

#include "core/CpuLevel.h"
#include "core/InternalError.h"
#include "core/PercentTables.h"
#include "core/Types.h"
#include "platform/Messages.h"

namespace zelvo {

TEST(PercentTables, MatchFloorOfProducts) {
    PercentTables t;
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j <= 100; ++j) ASSERT_EQ(t.T100(i, j), i * j / 100) << i << "," << j;
        for (int j = 0; j <= 10000; ++j) ASSERT_EQ(t.T10000(i, j), i * j / 10000) << i << "," << j;
        ASSERT_EQ(t.T10000(i, 10000), i);
        ASSERT_EQ(t.T10000(i, 9999), i * 9999 / 10000);
    }
}

TEST(InternalError, ShowsTheCodeAfterTheFixedText) {
    ScopedRecordingMessages m;
    ShowInternalError(1018);
    ASSERT_EQ(m.Entries().size(), 1u);
    EXPECT_EQ(m.Last(), "程序内部出现错误! 1018");
}

TEST(Rect, IntersectAndUnionTreatEmptyAsNothing) {
    Rect a{0, 0, 10, 10}, b{5, 5, 20, 20}, far{30, 30, 40, 40};
    EXPECT_EQ(a.Intersect(b), (Rect{5, 5, 10, 10}));
    EXPECT_EQ(a.Intersect(far), Rect{});
    EXPECT_EQ(a.Union(b), (Rect{0, 0, 20, 20}));
    EXPECT_EQ(Rect{}.Union(b), b);
    EXPECT_TRUE((Rect{3, 3, 3, 9}).IsEmpty());
    EXPECT_FALSE(a.Contains({10, 0}));
    EXPECT_TRUE(a.Contains({9, 9}));
}

// A kernel chosen for a level relies on every level below it: levels nest, and the best one is
// the last this processor runs.
TEST(CpuLevel, LevelsNestAndTheBestIsTheHighestRun) {
    const CpuLevel levels[] = {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4, CpuLevel::Avx512Vbmi};
    EXPECT_TRUE(CpuRuns(CpuLevel::Base));
    for (size_t i = 1; i < std::size(levels); ++i) {
        EXPECT_TRUE(!CpuRuns(levels[i]) || CpuRuns(levels[i - 1])) << i;
        EXPECT_EQ(levels[i] <= BestCpuLevel(), CpuRuns(levels[i])) << i;
    }
}

}  // namespace zelvo
