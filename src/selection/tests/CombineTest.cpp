// Shapes rasterised into planes, and the four combine modes against a per-pixel reference on
// random masks and shapes.
#include <random>

#include "selection/SelectionCommands.h"
#include "selection/SelectionShape.h"
#include "testsupport/SelectionTestSupport.h"

namespace zelvo::test {
namespace {

using CombineTest = SelectionTest;

Grid PlaneGrid(const ShapePlane& p, int w, int h) {
    Grid g(size_t(h), std::vector<int>(size_t(w), 0));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g[size_t(y)][size_t(x)] = p.Bit(x, y);
    return g;
}

// Runs and byte-matched rows set exactly the bits of pixel-by-pixel setting: every start and end
// column around the byte edges, clipped to the plane, over bits already set.
TEST(ShapeRasterTest, RunsAndMatchedRowsEqualSettingEachPixel) {
    const Rect plane{-3, 0, 27, 2};
    std::vector<uint8_t> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 3 == 0 || i % 7 == 0 ? 2 : 1);
    for (int32_t from = -6; from <= 28; ++from)
        for (int32_t to = from; to <= 31; ++to) {
            ShapePlane run(plane), matched(plane), expected(plane);
            for (ShapePlane* p : {&run, &matched, &expected}) p->Set(10, 1);
            run.SetRun(1, from, to);
            matched.SetRowWhere(1, from, bytes.data(), to - from, 2);
            for (int32_t x = from; x < to; ++x) {
                if (x < plane.left || x >= plane.right) continue;
                expected.Set(x, 1);
            }
            ShapePlane expectedMatch(plane);
            expectedMatch.Set(10, 1);
            for (int32_t x = from; x < to; ++x)
                if (bytes[size_t(x - from)] == 2) expectedMatch.Set(x, 1);
            // The same row read back as bytes, outside the plane as zeros.
            std::vector<uint8_t> got(size_t(to - from), 9);
            matched.RowBytes(1, from, to - from, got.data());
            for (int32_t x = from; x < to; ++x)
                ASSERT_EQ(got[size_t(x - from)], expectedMatch.Bit(x, 1) ? 1 : 0)
                    << from << ".." << to << " at " << x;
            for (int32_t x = plane.left; x < plane.right; ++x) {
                ASSERT_EQ(run.Bit(x, 1), expected.Bit(x, 1)) << from << ".." << to << " at " << x;
                ASSERT_EQ(matched.Bit(x, 1), expectedMatch.Bit(x, 1))
                    << from << ".." << to << " at " << x;
                ASSERT_FALSE(run.Bit(x, 0) || matched.Bit(x, 0));
            }
        }
}

// A cropped plane keeps exactly the bits inside its rectangle, for every left edge against the
// byte boundaries and widths that end inside a byte or on it.
TEST(ShapeRasterTest, CroppedKeepsTheBitsInsideItsRectangle) {
    const Rect plane{-5, 2, 30, 5};
    std::mt19937 rng(3);
    ShapePlane p(plane);
    for (int32_t y = plane.top; y < plane.bottom; ++y)
        for (int32_t x = plane.left; x < plane.right; ++x)
            if (rng() % 2) p.Set(x, y);
    for (int32_t left = -7; left < 30; ++left)
        for (int32_t right = left + 1; right <= 32; ++right) {
            const Rect want = Rect{left, 3, right, 5}.Intersect(plane);
            const ShapePlane c = p.Cropped({left, 3, right, 5});
            ASSERT_EQ(c.Bounds(), want);
            bool any = false;
            for (int32_t y = 1; y < 6; ++y)
                for (int32_t x = -8; x < 34; ++x) {
                    const bool in = want.Contains({x, y}) && p.Bit(x, y);
                    any = any || in;
                    ASSERT_EQ(c.Bit(x, y), in) << left << ".." << right << " at " << x << "," << y;
                }
            // No bit past the right edge is left set in the last byte of a row.
            ASSERT_EQ(c.AnySet(), any) << left << ".." << right;
        }
}

TEST(ShapeRasterTest, RectangleFillsItsPixelsOnly) {
    const ShapePlane p = RasterizeRectangle({2, 3, 5, 4});
    EXPECT_EQ(p.Bounds(), (Rect{2, 3, 5, 4}));
    EXPECT_TRUE(p.Bit(2, 3));
    EXPECT_TRUE(p.Bit(4, 3));
    EXPECT_FALSE(p.Bit(5, 3));
    EXPECT_FALSE(p.Bit(2, 4));
    EXPECT_FALSE(RasterizeRectangle({2, 3, 2, 9}).AnySet());
}

TEST(ShapeRasterTest, EllipseIsTheInscribedOneSymmetricAndCentreSampled) {
    const ShapePlane p = RasterizeEllipse({0, 0, 9, 5});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) {
            const double dx = (x + 0.5 - 4.5) / 4.5, dy = (y + 0.5 - 2.5) / 2.5;
            EXPECT_EQ(p.Bit(x, y), dx * dx + dy * dy <= 1.0) << x << "," << y;
            EXPECT_EQ(p.Bit(x, y), p.Bit(8 - x, y));
            EXPECT_EQ(p.Bit(x, y), p.Bit(x, 4 - y));
        }
    EXPECT_FALSE(p.Bit(0, 0));
    EXPECT_TRUE(p.Bit(4, 2));
    EXPECT_TRUE(p.Bit(0, 2));  // the ends of the long axis

    // Cut by a clip (the canvas edge), the ellipse keeps its shape: the clipped plane holds the
    // whole ellipse's bits inside the clip and nothing else.
    const ShapePlane cut = RasterizeEllipse({0, 0, 9, 5}, {4, 2, 20, 20});
    EXPECT_EQ(cut.Bounds(), (Rect{4, 2, 9, 5}));
    for (int y = 2; y < 5; ++y)
        for (int x = 4; x < 9; ++x) EXPECT_EQ(cut.Bit(x, y), p.Bit(x, y)) << x << "," << y;
    // As far out as coordinates go, the products still fit.
    const int32_t far = 1 << 24;
    const ShapePlane huge = RasterizeEllipse({-far, -far, far, far}, {-2, -2, 2, 2});
    for (int y = -2; y < 2; ++y)
        for (int x = -2; x < 2; ++x) EXPECT_TRUE(huge.Bit(x, y));
}

TEST(ShapeRasterTest, PolygonFillsByTheAlternateRule) {
    // A square drawn twice round: the even-odd rule leaves it empty; a square alone is full.
    const std::vector<Point> square = {{1, 1}, {7, 1}, {7, 7}, {1, 7}};
    const ShapePlane full = RasterizePolygon(square, PolygonBounds(square));
    EXPECT_EQ(PolygonBounds(square), (Rect{1, 1, 8, 8}));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(full.Bit(x, y), x >= 1 && x < 7 && y >= 1 && y < 7) << x << "," << y;

    // Two overlapping squares in one outline: their overlap is outside.
    const std::vector<Point> two = {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {0, 0},
                                    {3, 3}, {9, 3}, {9, 9}, {3, 9}, {3, 3}};
    const ShapePlane p = RasterizePolygon(two, PolygonBounds(two));
    EXPECT_TRUE(p.Bit(1, 1));
    EXPECT_TRUE(p.Bit(7, 7));
    EXPECT_FALSE(p.Bit(4, 4));
    // A line is no area.
    const std::vector<Point> line = {{0, 0}, {5, 5}, {0, 0}};
    EXPECT_FALSE(RasterizePolygon(line, PolygonBounds(line)).AnySet());
}

TEST(ShapeRasterTest, ReversedDragsGiveTheSameShape) {
    // The tools normalise corners; the same rectangle must give the same bits every time.
    const std::vector<Point> cw = {{2, 1}, {11, 3}, {6, 10}};
    const std::vector<Point> ccw = {{6, 10}, {11, 3}, {2, 1}};
    EXPECT_EQ(PlaneGrid(RasterizePolygon(cw, PolygonBounds(cw)), 12, 12),
              PlaneGrid(RasterizePolygon(ccw, PolygonBounds(ccw)), 12, 12));
}

TEST_F(CombineTest, EveryModeMatchesThePerPixelRuleOnRandomMasks) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> coord(-3, kW + 2), val(0, 100), coin(0, 3);
    for (int trial = 0; trial < 40; ++trial) {
        const CombineMode mode = CombineMode(trial % 4);
        // The current selection: a random rectangle of random strengths (never empty).
        Rect m{coord(rng), coord(rng), 0, 0};
        m.right = m.left + 1 + std::abs(coord(rng)) % 10;
        m.bottom = m.top + 1 + std::abs(coord(rng)) % 8;
        m = m.Intersect({0, 0, kW, kH});
        if (m.IsEmpty()) m = {1, 1, 3, 3};
        Grid cur = Canvas();
        for (int y = m.top; y < m.bottom; ++y)
            for (int x = m.left; x < m.right; ++x)
                cur[size_t(y)][size_t(x)] = val(rng) % 2 ? 100 : val(rng);
        cur[size_t(m.top)][size_t(m.left)] = 77;
        Select(m, cur);

        Rect s{coord(rng), coord(rng), 0, 0};
        s.right = s.left + 1 + std::abs(coord(rng)) % 12;
        s.bottom = s.top + 1 + std::abs(coord(rng)) % 9;
        ShapePlane shape(s);
        for (int y = s.top; y < s.bottom; ++y)
            for (int x = s.left; x < s.right; ++x)
                if (coin(rng)) shape.Set(x, y);

        const Rect canvas{0, 0, kW, kH};
        Rect area;
        if (mode == CombineMode::New) area = s.Intersect(canvas);
        if (mode == CombineMode::Add) area = m.Union(s).Intersect(canvas);
        if (mode == CombineMode::Subtract) area = m;
        if (mode == CombineMode::Intersect) area = m.Intersect(s);
        Grid want = Canvas();
        bool any = false;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) {
                const int old = cur[size_t(y)][size_t(x)];
                const bool bit = shape.Bit(x, y);
                int v = 0;
                if (mode == CombineMode::New) v = bit ? 100 : 0;
                if (mode == CombineMode::Add) v = bit ? 100 : old;
                if (mode == CombineMode::Subtract) v = bit ? 0 : old;
                if (mode == CombineMode::Intersect) v = bit ? old : 0;
                want[size_t(y)][size_t(x)] = v;
                any = any || v;
            }
        messages.Clear();
        ASSERT_EQ(CombineSelection(*history, shape, mode, "Rectangular Select"), 1);
        if (!any) {
            EXPECT_FALSE(layers->Selection()) << trial;
            EXPECT_EQ(messages.Last(), "Warning:No pixels were selected.");
            EXPECT_EQ(LastStateName(), "Deselect");
            continue;
        }
        EXPECT_TRUE(messages.Entries().empty());
        EXPECT_EQ(LastStateName(), "Rectangular Select");
        EXPECT_EQ(history->States().back().kind, kStateModifySelection);
        EXPECT_EQ(layers->SelectionBounds(), area) << trial;
        ASSERT_EQ(Strengths(), want) << "trial " << trial << " mode " << int(mode);
    }
}

// The elliptical marquee past the canvas edge selects the ellipse its outline showed, cut at
// the edge: the corner of the 24 x 18 canvas lies at the middle of one centred on it.
TEST_F(CombineTest, AnEllipseReachingPastTheCanvasKeepsItsShape) {
    ASSERT_EQ(
        MarqueeSelect(*history, {kW - 10, kH - 10}, {kW + 10, kH + 10}, true, CombineMode::New), 1);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{kW - 10, kH - 10, kW, kH}));
    const Grid g = Strengths();
    EXPECT_EQ(g[size_t(kH - 1)][size_t(kW - 1)], 100);
    EXPECT_EQ(g[size_t(kH - 10)][size_t(kW - 10)], 0);
}

TEST_F(CombineTest, WithoutASelectionEveryModeActsAsNew) {
    for (CombineMode mode : {CombineMode::Add, CombineMode::Subtract, CombineMode::Intersect}) {
        ASSERT_FALSE(layers->Selection());
        ASSERT_EQ(
            CombineSelection(*history, RasterizeEllipse({2, 2, 8, 6}), mode, "Elliptical Select"),
            1);
        EXPECT_EQ(history->States().back().kind, kStateNewSelection);
        EXPECT_EQ(LastStateName(), "Elliptical Select");
        EXPECT_EQ(Strengths(), [&] {
            Grid g = Canvas();
            const ShapePlane p = RasterizeEllipse({2, 2, 8, 6});
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) g[size_t(y)][size_t(x)] = p.Bit(x, y) ? 100 : 0;
            return g;
        }());
        Deselect(*history);
    }
}

TEST_F(CombineTest, EmptyShapesWarnAndDeselect) {
    // New with nothing: the warning; without a selection nothing is recorded.
    const int states = history->StateCount();
    EXPECT_EQ(CombineSelection(*history, ShapePlane({3, 3, 6, 6}), CombineMode::New), 0);
    EXPECT_EQ(messages.Last(), "Warning:No pixels were selected.");
    EXPECT_EQ(history->StateCount(), states);
    // With one, it is removed.
    Select({1, 1, 4, 4}, Canvas(100));
    EXPECT_EQ(CombineSelection(*history, ShapePlane({3, 3, 6, 6}), CombineMode::New), 1);
    EXPECT_FALSE(layers->Selection());
    // Subtracting a shape that covers the whole selection.
    Select({1, 1, 4, 4}, Canvas(100));
    EXPECT_EQ(CombineSelection(*history, RasterizeRectangle({0, 0, 5, 5}), CombineMode::Subtract),
              1);
    EXPECT_FALSE(layers->Selection());
    // A shape off the canvas.
    Select({1, 1, 4, 4}, Canvas(100));
    EXPECT_EQ(
        CombineSelection(*history, RasterizeRectangle({kW, 0, kW + 5, 5}), CombineMode::Intersect),
        1);
    EXPECT_FALSE(layers->Selection());
    EXPECT_EQ(messages.Last(), "Warning:No pixels were selected.");
}

}  // namespace
}  // namespace zelvo::test
