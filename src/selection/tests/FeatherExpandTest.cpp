// Feather, Expand and Contract against references written from their rules on whole-canvas
// arrays: the tent filter by its definition, and disks laid pixel by pixel.
#include <random>

#include "selection/SelectionCommands.h"
#include "testsupport/SelectionTestSupport.h"

namespace zelvo::test {
namespace {

class FeatherExpandTest : public SelectionTest {
protected:
    static Rect Tight(const Grid& g) {
        Rect t{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        bool any = false;
        for (int y = 0; y < int(g.size()); ++y)
            for (int x = 0; x < int(g[0].size()); ++x)
                if (g[size_t(y)][size_t(x)]) {
                    any = true;
                    t = {std::min(t.left, x), std::min(t.top, y), std::max(t.right, x + 1),
                         std::max(t.bottom, y + 1)};
                }
        return any ? t : Rect{};
    }
    Rect Canvas_() const { return {0, 0, image.width, image.height}; }

    // Feather by the rule: grown tight rectangle, rows then columns through the definition.
    Grid FeatherReference(const Grid& g, int L) {
        const Rect t = Tight(g);
        const Rect a = Rect{t.left - L, t.top - L, t.right + L, t.bottom + L}.Intersect(Canvas_());
        L = std::min({L, a.Width(), a.Height()});
        Grid work = Canvas();
        for (int y = a.top; y < a.bottom; ++y) {
            std::vector<int> row(g[size_t(y)].begin() + a.left, g[size_t(y)].begin() + a.right);
            row = DirectTent(row, L);
            for (int x = a.left; x < a.right; ++x)
                work[size_t(y)][size_t(x)] = row[size_t(x - a.left)];
        }
        for (int x = a.left; x < a.right; ++x) {
            std::vector<int> col;
            for (int y = a.top; y < a.bottom; ++y) col.push_back(work[size_t(y)][size_t(x)]);
            col = DirectTent(col, L);
            for (int y = a.top; y < a.bottom; ++y)
                work[size_t(y)][size_t(x)] = col[size_t(y - a.top)];
        }
        return work;
    }

    // Boundary pixels of a selection over rectangle m: inside (>= 50) with an edge of m or a
    // neighbour below 50.
    std::vector<Point> Boundary(const Grid& g, const Rect& m) {
        std::vector<Point> b;
        auto at = [&](int x, int y) { return m.Contains({x, y}) ? g[size_t(y)][size_t(x)] : 0; };
        for (int y = m.top; y < m.bottom; ++y)
            for (int x = m.left; x < m.right; ++x) {
                if (at(x, y) < 50) continue;
                if (x == m.left || y == m.top || x == m.right - 1 || y == m.bottom - 1 ||
                    at(x - 1, y) < 50 || at(x + 1, y) < 50 || at(x, y - 1) < 50 ||
                    at(x, y + 1) < 50)
                    b.push_back({x, y});
            }
        return b;
    }
    bool NearBoundary(const std::vector<Point>& b, int x, int y, int n) {
        if (n < 1) return false;
        for (const Point& p : b)
            if ((p.x - x) * (p.x - x) + (p.y - y) * (p.y - y) <= (n - 1) * (n - 1)) return true;
        return false;
    }
    Grid ExpandReference(const Grid& g, const Rect& m, int n) {
        const Rect t = Tight(g);
        const Rect a = Rect{t.left - n, t.top - n, t.right + n, t.bottom + n}.Intersect(Canvas_());
        const std::vector<Point> b = Boundary(g, m);
        Grid out = Canvas();
        for (int y = a.top; y < a.bottom; ++y)
            for (int x = a.left; x < a.right; ++x)
                out[size_t(y)][size_t(x)] =
                    (g[size_t(y)][size_t(x)] >= 50 || NearBoundary(b, x, y, n)) ? 100 : 0;
        return out;
    }
    Grid ContractReference(const Grid& g, const Rect& m, int n) {
        const Rect t = Tight(g);
        const Rect a = Rect{t.left + n, t.top + n, t.right - n, t.bottom - n};
        const std::vector<Point> b = Boundary(g, m);
        Grid out = Canvas();
        for (int y = a.top; y < a.bottom; ++y)
            for (int x = a.left; x < a.right; ++x)
                out[size_t(y)][size_t(x)] =
                    (g[size_t(y)][size_t(x)] >= 50 && !NearBoundary(b, x, y, n)) ? 100 : 0;
        return out;
    }
    Grid RandomBlobs(std::mt19937& rng, const Rect& m) {
        Grid g = Canvas();
        std::uniform_int_distribution<int> v(0, 100);
        for (int y = m.top; y < m.bottom; ++y)
            for (int x = m.left; x < m.right; ++x) {
                const int r = v(rng);
                // Values at the threshold's edge (49, 50, 51) included.
                g[size_t(y)][size_t(x)] = r < 40 ? 0 : r < 70 ? 100 : r < 80 ? 49 + r % 3 : r;
            }
        return g;
    }
};

TEST_F(FeatherExpandTest, FeatherSpreadsAsTheSinglePrecisionRuleGives) {
    EXPECT_EQ(FeatherSpread(1), 3);
    EXPECT_EQ(FeatherSpread(10), 24);
    EXPECT_EQ(FeatherSpread(30), 71);
    EXPECT_EQ(FeatherSpread(100), 237);
    for (int r = 1; r <= 100; ++r) {
        const double exact = r * 2.37 + 0.9;
        // Only where the exact value lands on (or a hair above) a whole number may the single
        // precision constants take it one lower.
        EXPECT_TRUE(FeatherSpread(r) == int(exact) || FeatherSpread(r) == int(exact) - 1) << r;
    }
}

TEST_F(FeatherExpandTest, FeatherMatchesTheTentFilterOfTheGrownTightRectangle) {
    std::mt19937 rng(5);
    for (int radius : {0, 1, 2, 3}) {
        Grid g = RandomBlobs(rng, {8, 6, 14, 11});
        Select({8, 6, 14, 11}, g);
        ASSERT_EQ(FeatherSelection(*history, radius), 1);
        EXPECT_EQ(LastStateName(), "Feather");
        const int L = FeatherSpread(std::max(radius, 1));
        EXPECT_EQ(Strengths(), FeatherReference(g, L)) << "radius " << radius;
        const Rect t = Tight(g);
        EXPECT_EQ(layers->SelectionBounds(),
                  (Rect{t.left - L, t.top - L, t.right + L, t.bottom + L}.Intersect(Canvas_())));
    }
}

TEST_F(FeatherExpandTest, FeatherZeroIsFeatherOneAndLargeRadiiClampToTheArea) {
    Grid g = Canvas();
    for (int y = 7; y < 11; ++y)
        for (int x = 9; x < 15; ++x) g[size_t(y)][size_t(x)] = 100;
    Select({0, 0, kW, kH}, g);
    FeatherSelection(*history, 0);
    const Grid zero = Strengths();
    Select({0, 0, kW, kH}, g);
    FeatherSelection(*history, 1);
    EXPECT_EQ(Strengths(), zero);
    EXPECT_EQ(Strengths(), FeatherReference(g, 3));

    Select({0, 0, kW, kH}, g);
    ASSERT_EQ(FeatherSelection(*history, 30), 1);  // spread 71, far wider than the canvas
    EXPECT_EQ(layers->SelectionBounds(), (Rect{0, 0, kW, kH}));
    EXPECT_EQ(Strengths(), FeatherReference(g, 71));
}

TEST_F(FeatherExpandTest, FeatherOfAnEmptyMaskDeselectsAndWarns) {
    Select({2, 2, 5, 5}, Canvas(0));
    ASSERT_EQ(FeatherSelection(*history, 2), 1);
    EXPECT_FALSE(layers->Selection());
    EXPECT_EQ(messages.Last(), "Warning:No pixels were selected!");
}

TEST_F(FeatherExpandTest, FeatherThatLeavesNothingAboveFortyNineWarnsButKeepsTheMask) {
    Grid g = Canvas();
    g[9][12] = 100;
    Select({12, 9, 13, 10}, g);
    messages.Clear();
    ASSERT_EQ(FeatherSelection(*history, 4), 1);
    EXPECT_TRUE(layers->Selection());
    EXPECT_EQ(LastStateName(), "Feather");
    EXPECT_EQ(messages.Last(), "Feather selection, the selection will not be visible!");
}

TEST_F(FeatherExpandTest, ExpandByOneThresholdsAtFiftyInARectangleOneLargerPerSide) {
    Grid g = Canvas();
    for (int y = 6; y < 12; ++y)
        for (int x = 8; x < 16; ++x) g[size_t(y)][size_t(x)] = 100;
    Select({0, 0, kW, kH}, g);
    FeatherSelection(*history, 1);
    const Grid feathered = Strengths();
    const Rect t = Tight(feathered);
    ASSERT_EQ(ExpandSelection(*history, 1), 1);
    EXPECT_EQ(LastStateName(), "Expand Selection");
    EXPECT_EQ(layers->SelectionBounds(), (Rect{t.left - 1, t.top - 1, t.right + 1, t.bottom + 1}));
    Grid want = Canvas();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            want[size_t(y)][size_t(x)] = feathered[size_t(y)][size_t(x)] >= 50 ? 100 : 0;
    EXPECT_EQ(Strengths(), want);
}

TEST_F(FeatherExpandTest, ExpandAndContractMatchDisksLaidOnEveryBoundaryPixel) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 6; ++trial) {
        for (int n : {1, 2, 3, 5}) {
            const Rect m{5 + trial % 3, 4, 17, 13 - trial % 2};
            Grid g = RandomBlobs(rng, m);
            Select(m, g);
            ASSERT_EQ(ExpandSelection(*history, n), 1);
            ASSERT_EQ(Strengths(), ExpandReference(g, m, n))
                << "expand " << n << " trial " << trial;

            Select(m, g);
            const Rect t = Tight(g);
            ASSERT_EQ(ContractSelection(*history, n), 1);
            if (t.Width() - 2 * n <= 0 || t.Height() - 2 * n <= 0) {
                EXPECT_FALSE(layers->Selection());
                continue;
            }
            EXPECT_EQ(LastStateName(), "Contract Selection");
            ASSERT_EQ(Strengths(), ContractReference(g, m, n))
                << "contract " << n << " trial " << trial;
            EXPECT_EQ(layers->SelectionBounds(),
                      (Rect{t.left + n, t.top + n, t.right - n, t.bottom - n}));
        }
    }
}

TEST_F(FeatherExpandTest, ExpandGrowsASolidRectangleByABandNMinusOneWide) {
    Grid g = Canvas();
    for (int y = 7; y < 10; ++y)
        for (int x = 10; x < 13; ++x) g[size_t(y)][size_t(x)] = 100;
    Select({10, 7, 13, 10}, g);
    ASSERT_EQ(ExpandSelection(*history, 3), 1);
    const Grid s = Strengths();
    // Straight out from the middle of an edge: two more pixels, not three.
    EXPECT_EQ(s[8][14], 100);
    EXPECT_EQ(s[8][15], 0);
    EXPECT_EQ(s[8][8], 100);
    EXPECT_EQ(s[8][7], 0);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{7, 4, 16, 13}));
}

TEST_F(FeatherExpandTest, ContractOfASelectionTwoNWideDeselects) {
    Grid g = Canvas();
    for (int y = 2; y < 14; ++y)
        for (int x = 4; x < 10; ++x) g[size_t(y)][size_t(x)] = 100;
    Select({4, 2, 10, 14}, g);
    ASSERT_EQ(ContractSelection(*history, 3), 1);  // 6 wide
    EXPECT_FALSE(layers->Selection());
    EXPECT_EQ(LastStateName(), "Deselect");

    Select({4, 2, 10, 14}, g);
    ASSERT_EQ(ContractSelection(*history, 2), 1);
    EXPECT_TRUE(layers->Selection());
    EXPECT_EQ(layers->SelectionBounds(), (Rect{6, 4, 8, 12}));
}

TEST_F(FeatherExpandTest, ResultsWithNothingLeftWarnAndAreCommitted) {
    Grid g = Canvas();
    for (int y = 2; y < 14; ++y)
        for (int x = 4; x < 14; ++x) g[size_t(y)][size_t(x)] = 40;  // all below the threshold
    Select({4, 2, 14, 14}, g);
    ASSERT_EQ(ContractSelection(*history, 1), 1);
    EXPECT_EQ(messages.Last(), "Contract selection, the selection will not be visible!");
    EXPECT_EQ(LastStateName(), "Contract Selection");
    Select({4, 2, 14, 14}, g);
    ASSERT_EQ(ExpandSelection(*history, 2), 1);
    EXPECT_EQ(messages.Last(), "Expand selection, the selection will not be visible!");
    EXPECT_EQ(LastStateName(), "Expand Selection");
    EXPECT_EQ(Strengths(), Canvas(0));
    // Moved wholly off the canvas, a selection has nothing left to widen: it goes.
    Grid block = Canvas();
    for (int y = 2; y < 14; ++y)
        for (int x = 4; x < 10; ++x) block[size_t(y)][size_t(x)] = 100;
    Select({4, 2, 10, 14}, block);
    layers->Selection()->SetPosition(500, 500);
    messages.Clear();
    ASSERT_EQ(ExpandSelection(*history, 3), 1);
    EXPECT_EQ(messages.Last(), "Expand selection, the selection will not be visible!");
    EXPECT_FALSE(layers->Selection());
    EXPECT_EQ(LastStateName(), "Deselect");
}

}  // namespace
}  // namespace zelvo::test
