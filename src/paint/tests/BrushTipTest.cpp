// Brush tips against a reference written from the formulas (a disc of hard radius, then a
// plain double-loop tent blur with edge normalisation), and the stroke geometry: the rounding
// of view points, the Shift constraint at its boundaries, dab rectangles and the line walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "paint/BrushTip.h"
#include "paint/StrokeGeometry.h"

namespace zelvo::test {
namespace {

std::vector<int> ReferenceTip(int d, int h, int o, int& side) {
    const double s = (100 - h) * 0.01, e = (1 + 0.5 * s) * d;
    side = int(std::floor(e));
    const double big = e / 2, f = s * big / 2, r = big - f;
    std::vector<int> v(size_t(side * side), 0);
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j)
            if (std::hypot(j - side / 2, side - 1 - i - side / 2) <= r) v[size_t(i * side + j)] = o;
    if (d == 2) v[0] = v[1] = v[size_t(side)] = v[size_t(side + 1)] = o;
    const int L = int(std::floor(f)) + 1;
    if (L <= 1) return v;
    auto pass = [&](const std::vector<int>& in, bool rows) {
        std::vector<int> out(in.size());
        for (int a = 0; a < side; ++a)
            for (int k = 0; k < side; ++k) {
                long sum = 0, wsum = 0;
                for (int q = 0; q < side; ++q) {
                    if (std::abs(k - q) >= L) continue;
                    const int w = L - std::abs(k - q);
                    sum += long(w) * (rows ? in[size_t(a * side + q)] : in[size_t(q * side + a)]);
                    wsum += w;
                }
                (rows ? out[size_t(a * side + k)] : out[size_t(k * side + a)]) = int(sum / wsum);
            }
        return out;
    };
    return pass(pass(v, true), false);
}

TEST(BrushTip, SidesAndValuesFollowTheFormulas) {
    struct Row {
        int d, h, o, side;
    };
    const std::vector<Row> rows = {
        {1, 0, 100, 1}, {2, 0, 100, 3},  {2, 100, 40, 2},   {10, 0, 100, 15}, {10, 100, 60, 10},
        {7, 50, 80, 8}, {3, 100, 50, 3}, {25, 30, 100, 33}, {40, 0, 0, 60},   {120, 0, 100, 180},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "D=" << r.d << " H=" << r.h << " O=" << r.o);
        const BrushTip tip = BuildTip(r.d, r.h, r.o);
        int side = 0;
        const std::vector<int> want = ReferenceTip(r.d, r.h, r.o, side);
        ASSERT_EQ(tip.side, r.side);
        ASSERT_EQ(side, r.side);
        int mismatches = 0, maxValue = 0;
        for (int i = 0; i < side * side; ++i) {
            mismatches += tip.values[size_t(i)] != want[size_t(i)];
            maxValue = std::max<int>(maxValue, tip.values[size_t(i)]);
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_LE(maxValue, r.o);
        if (r.o > 0 && r.h == 100) {
            EXPECT_EQ(maxValue, r.o);
        }
    }
}

TEST(BrushTip, TheLargestTipIsOneAndAHalfTimesFiveHundred) {
    const BrushTip tip = BuildTip(500, 0, 100);
    EXPECT_EQ(tip.side, 750);
    EXPECT_GT(tip.At(375, 375), 90);
    EXPECT_LT(tip.At(0, 0), 5);
}

TEST(BrushTip, DiameterTwoIsATwoByTwoSquare) {
    for (int h : {0, 50, 100}) {
        const BrushTip tip = BuildTip(2, h, 70);
        int nonZero = 0;
        for (int i = 0; i < tip.side; ++i)
            for (int j = 0; j < tip.side; ++j) nonZero += tip.At(i, j) != 0;
        EXPECT_EQ(nonZero, 4) << "H=" << h;
        EXPECT_EQ(tip.At(0, 0), 70);
        EXPECT_EQ(tip.At(1, 1), 70);
    }
}

TEST(StrokeGeometry, Near01AndViewToImage) {
    for (auto [v, want] : std::vector<std::pair<double, int>>{
             {0.0, 0}, {0.09, 0}, {0.1, 1}, {2.5, 3}, {3.0, 3}, {-0.5, 0}, {-1.0, -1}}) {
        EXPECT_EQ(RoundNear01(v), want) << v;
    }
    ImageGeometry g;
    g.screenRect = {10, 20, 500, 500};
    g.visible = {3, 4, 200, 200};
    struct Row {
        float zoom;
        Point client, want;
    };
    for (const Row& r : std::vector<Row>{{1.0f, {10, 20}, {3, 4}},
                                         {2.0f, {11, 21}, {4, 5}},
                                         {3.0f, {13, 23}, {4, 5}},
                                         {3.0f, {10, 20}, {3, 4}},
                                         {0.5f, {15, 20}, {13, 4}},
                                         {1.0f, {5, 10}, {-2, -6}}}) {
        g.zoom = r.zoom;
        EXPECT_EQ(StrokeViewToImage(g, r.client), r.want) << r.zoom;
    }
}

TEST(StrokeGeometry, ShiftSnapsAtTheBoundaryAngles) {
    const Point press{1000, 1000};
    struct Row {
        Point offset;
        Point want;  // relative to the press
    };
    const std::vector<Row> rows = {
        {{100, 40}, {100, 0}},                                // 21.8 degrees: horizontal either way
        {{-100, 40}, {-100, 0}},      {{100, 42}, {100, 0}},  // 22.8: below 23 going right ...
        {{-100, 42}, {-100, 100}},  // ... but above 22 going left: diagonal
        {{100, 43}, {100, 100}},    // 23.3: diagonal
        {{100, -43}, {100, -100}},    {{100, 235}, {100, 100}},  // 66.95: still diagonal
        {{-100, -235}, {-100, -100}}, {{100, 236}, {0, 236}},    // 67.04: vertical either way
        {{-100, 236}, {0, 236}},      {{0, -5}, {0, -5}},        // straight up
    };
    for (const Row& r : rows) {
        const Point got = SnapToAngle(press, {press.x + r.offset.x, press.y + r.offset.y});
        EXPECT_EQ(got, (Point{press.x + r.want.x, press.y + r.want.y}))
            << r.offset.x << "," << r.offset.y;
    }
}

TEST(StrokeGeometry, DabRectanglesAndTheLineWalk) {
    struct DabRow {
        int side;
        Rect want;
    };
    for (const DabRow& r : std::vector<DabRow>{{1, {5, 5, 6, 6}},
                                               {2, {5, 5, 7, 7}},
                                               {3, {4, 4, 7, 7}},
                                               {4, {4, 4, 8, 8}},
                                               {15, {-2, -2, 13, 13}}}) {
        const Rect got = DabRect({5, 5}, r.side);
        EXPECT_EQ(got, r.want) << r.side;
        EXPECT_EQ(got.Width(), r.side);
    }
    // Every walk: max(|dx|, |dy|) pixels from the start, each next to the last, the end left
    // out; shallow lines step one pixel across per pixel along.
    const std::vector<std::pair<Point, Point>> lines = {
        {{0, 0}, {3, 1}}, {{0, 0}, {-7, 3}}, {{2, 2}, {2, -6}}, {{0, 0}, {5, 5}}, {{4, 4}, {4, 4}}};
    for (const auto& [from, to] : lines) {
        std::vector<Point> seen;
        WalkLine(from, to, [&](Point p) { seen.push_back(p); });
        const int32_t n = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y));
        ASSERT_EQ(int32_t(seen.size()), n);
        if (n == 0) continue;
        EXPECT_EQ(seen.front(), from);
        Point last = seen.back();
        EXPECT_LE(std::max(std::abs(to.x - last.x), std::abs(to.y - last.y)), 1);
        for (size_t i = 1; i < seen.size(); ++i) {
            EXPECT_LE(std::abs(seen[i].x - seen[i - 1].x), 1);
            EXPECT_LE(std::abs(seen[i].y - seen[i - 1].y), 1);
        }
    }
    std::vector<Point> seen;
    WalkLine({0, 0}, {3, 1}, [&](Point p) { seen.push_back(p); });
    EXPECT_EQ(seen, (std::vector<Point>{{0, 0}, {1, 0}, {2, 1}}));
}

}  // namespace
}  // namespace zelvo::test
