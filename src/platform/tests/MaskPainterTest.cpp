// The mask painter's packing and fill rules against plain references: a pixel is ink when its
// centre lies inside the shape; rows come top first, one bit per pixel, most significant first.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/MaskPainter.h"

namespace zelvo {
namespace {

// The painted mask as rows of 0/1, rows that were not handed over left at 0.
std::vector<std::vector<int>> PaintAll(MaskPainter& painter, int32_t w, int32_t h) {
    std::vector<std::vector<int>> px(size_t(h), std::vector<int>(size_t(w), 0));
    std::vector<int32_t> seen;
    EXPECT_TRUE(painter.Paint([&](int32_t y, const uint8_t* bits) {
        EXPECT_GE(y, 0);
        EXPECT_LT(y, h);
        seen.push_back(y);
        for (int32_t x = 0; x < w; ++x)
            px[size_t(y)][size_t(x)] = (bits[x >> 3] >> (7 - (x & 7))) & 1;
        return true;
    }));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    return px;
}

std::vector<MaskPoint> Polygon(const std::vector<MaskPoint>& corners) {
    // Straight segments as Béziers whose control points lie on the ends.
    std::vector<MaskPoint> pts{corners[0]};
    for (size_t i = 1; i <= corners.size(); ++i) {
        const MaskPoint& p = corners[i % corners.size()];
        pts.insert(pts.end(), {pts.back(), p, p});
    }
    return pts;
}

TEST(MaskPainter, FilledRectangleCoversExactlyThePixelsWhoseCentresAreInside) {
    const int32_t w = 37, h = 300;  // taller than one band, width not a multiple of 8
    MaskPainter painter(w, h);
    painter.AddBezierFill(Polygon({{3, 250}, {3, 270}, {30, 270}, {30, 250}}), MaskFill::Alternate);
    const auto px = PaintAll(painter, w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int want = x >= 3 && x < 30 && y >= 250 && y < 270;
            ASSERT_EQ(px[size_t(y)][size_t(x)], want) << x << "," << y;
        }
}

TEST(MaskPainter, BandBoundaryDoesNotSplitAShape) {
    const int32_t w = 16, h = 600;
    MaskPainter painter(w, h);
    painter.AddBezierFill(Polygon({{2, 200}, {2, 520}, {10, 520}, {10, 200}}), MaskFill::Winding);
    const auto px = PaintAll(painter, w, h);
    for (int32_t y = 0; y < h; ++y) EXPECT_EQ(px[size_t(y)][5], y >= 200 && y < 520) << y;
}

TEST(MaskPainter, AlternateLeavesTheDoublyWoundCoreEmptyWindingFillsIt) {
    // Two nested squares drawn the same way round in one path.
    std::vector<MaskPoint> outer = Polygon({{0, 0}, {0, 20}, {20, 20}, {20, 0}});
    std::vector<MaskPoint> inner = Polygon({{5, 5}, {5, 15}, {15, 15}, {15, 5}});
    // One path: the inner square continues the outer one from its last point.
    std::vector<MaskPoint> both = outer;
    both.insert(both.end(), {both.back(), inner[0], inner[0]});
    both.insert(both.end(), inner.begin() + 1, inner.end());
    both.insert(both.end(), {inner[0], outer[0], outer[0]});
    for (MaskFill rule : {MaskFill::Alternate, MaskFill::Winding}) {
        MaskPainter painter(24, 24);
        painter.AddBezierFill(both, rule);
        const auto px = PaintAll(painter, 24, 24);
        EXPECT_EQ(px[2][2], 1);
        EXPECT_EQ(px[10][10], rule == MaskFill::Winding ? 1 : 0);
    }
}

TEST(MaskPainter, StrokeStaysWithinOnePixelOfTheLine) {
    MaskPainter painter(40, 40);
    painter.AddBezierStroke({{5, 20}, {5, 20}, {35, 20}, {35, 20}}, 2);
    const auto px = PaintAll(painter, 40, 40);
    int ink = 0;
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x)
            if (px[size_t(y)][size_t(x)]) {
                ++ink;
                EXPECT_GE(y, 19);
                EXPECT_LE(y, 20);
                EXPECT_GE(x, 4);
                EXPECT_LE(x, 35);
            }
    // Two rows of 30 pixels along the line, give or take the round caps.
    EXPECT_GE(ink, 2 * 29);
}

// A long outline is stroked in runs (a file may hold a curve of 100 000 anchors): a serpentine
// of 9 999 straight pieces, 4 pixels each along rows 4 pixels apart, is inked at the middle of
// every piece, those where runs meet included.
TEST(MaskPainter, LongOutlinesLeaveNoPieceOut) {
    constexpr int32_t kPieces = 9999, kAcross = 45, kWidth = 200, kHeight = 900;
    std::vector<MaskPoint> corners = {{10, 10}};
    for (int32_t i = 1; i <= kPieces; ++i) {
        const MaskPoint p = corners.back();
        const int32_t row = int32_t(corners.size() - 1) / (kAcross + 1);
        const bool down = int32_t(corners.size() - 1) % (kAcross + 1) == kAcross;
        corners.push_back(down ? MaskPoint{p.x, p.y + 4}
                               : MaskPoint{p.x + (row % 2 ? -4 : 4), p.y});
    }
    std::vector<MaskPoint> serpentine = {corners[0]};
    for (size_t i = 1; i < corners.size(); ++i)
        serpentine.insert(serpentine.end(), {corners[i - 1], corners[i], corners[i]});
    MaskPainter painter(kWidth, kHeight);
    painter.AddBezierStroke(serpentine, 1);
    const auto px = PaintAll(painter, kWidth, kHeight);
    for (size_t i = 1; i < corners.size(); ++i) {
        const MaskPoint a = corners[i - 1], b = corners[i];
        EXPECT_TRUE(px[size_t((a.y + b.y) / 2)][size_t((a.x + b.x) / 2)]) << "piece " << i;
    }
}

TEST(MaskPainter, NothingQueuedHandsOverNoRow) {
    MaskPainter painter(10, 10);
    int rows = 0;
    EXPECT_TRUE(painter.Paint([&](int32_t, const uint8_t*) { return ++rows, true; }));
    EXPECT_EQ(rows, 0);
}

TEST(MaskPainter, AFailingSinkStopsThePaint) {
    MaskPainter painter(10, 10);
    painter.AddBezierFill(Polygon({{0, 0}, {0, 10}, {10, 10}, {10, 0}}), MaskFill::Alternate);
    int rows = 0;
    EXPECT_FALSE(painter.Paint([&](int32_t, const uint8_t*) { return ++rows, false; }));
    EXPECT_EQ(rows, 1);
}

TEST(MaskPainter, ShapesOutsideTheCanvasAreClipped) {
    MaskPainter painter(10, 10);
    painter.AddBezierFill(Polygon({{-50, -50}, {-50, 5}, {5, 5}, {5, -50}}), MaskFill::Alternate);
    const auto px = PaintAll(painter, 10, 10);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(px[size_t(y)][size_t(x)], x < 5 && y < 5);
}

// A tall narrow canvas with a path of a hundred thousand corners far outside it, and one with
// a small shape: the first covers every row, the second only its own. Painting must follow
// the rows the items reach, not paint the whole path again for every band.
TEST(MaskPainter, TallCanvasAndFarCornersArePaintedOncePerReach) {
    const int32_t w = 3, h = 300000;
    constexpr int32_t kFar = 1 << 24;
    struct Case {
        bool huge;
        int32_t firstRow, lastRow;  // rows expected to hold ink
    };
    for (const Case& c : {Case{true, 0, h}, Case{false, 200000, 200010}}) {
        MaskPainter painter(w, h);
        std::vector<MaskPoint> corners;
        if (c.huge) {
            // The square (-kFar, -kFar)..(kFar, kFar), its left side cut into many corners.
            for (int32_t i = 0; i < 99996; ++i)
                corners.push_back({-kFar, -kFar + int32_t(int64_t(2 * kFar) * i / 99996)});
            corners.insert(corners.end(), {{-kFar, kFar}, {kFar, kFar}, {kFar, -kFar}});
        } else {
            corners = {{0, c.firstRow}, {0, c.lastRow}, {w, c.lastRow}, {w, c.firstRow}};
        }
        painter.AddBezierFill(Polygon(corners), MaskFill::Alternate);
        int64_t rows = 0;
        int32_t first = -1, last = -1;
        EXPECT_TRUE(painter.Paint([&](int32_t y, const uint8_t* bits) {
            if (first < 0) first = y;
            last = y;
            ++rows;
            return (bits[0] & 0xE0) == 0xE0;  // all three pixels of the row
        }));
        EXPECT_EQ(first, c.firstRow);
        EXPECT_EQ(last, c.lastRow - 1);
        EXPECT_EQ(rows, c.lastRow - c.firstRow);
    }
}

TEST(MaskPainter, TextFarBelowTheTopIsFoundAndTextOffTheCanvasCostsNothing) {
    if (SystemFontFamilies().empty()) GTEST_SKIP() << "no fonts installed";
    const int32_t w = 200, h = 100000;
    MaskPainter painter(w, h);
    MaskText inside;
    inside.face = "Arial";
    inside.size = 40;
    inside.x = 10;
    inside.y = 90000;
    inside.lines = {"Hg"};
    MaskText outside = inside;
    outside.y = -(1 << 24);
    outside.lines.assign(2000, std::string(50, 'W'));
    MaskText column = inside;
    column.vertical = true;
    column.x = 150;
    column.y = 50000;
    painter.AddText(inside);
    painter.AddText(outside);
    painter.AddText(column);
    std::vector<int32_t> rows;
    EXPECT_TRUE(painter.Paint([&](int32_t y, const uint8_t*) { return rows.push_back(y), true; }));
    ASSERT_FALSE(rows.empty());
    // The vertical column runs down from its origin; the line sits in its 40-row cell.
    EXPECT_GE(rows.front(), 50000);
    EXPECT_LT(rows.front(), 50000 + 40);
    EXPECT_GE(rows.back(), 90000);
    EXPECT_LT(rows.back(), 90000 + 40);
}

TEST(MaskFonts, CellHeightIsTheRequestedSize) {
    if (SystemFontFamilies().empty()) GTEST_SKIP() << "no fonts installed";
    for (int32_t size : {10, 20, 60, 150}) {
        const int32_t h = MaskPainter::LineHeight("Arial", size);
        EXPECT_LE(h, size) << size;
        EXPECT_GE(h, size - 2) << size;
    }
}

TEST(MaskFonts, ArialIsListedWhenItsStandInIsInstalled) {
    const std::vector<std::string> families = SystemFontFamilies();
    if (std::find(families.begin(), families.end(), "Liberation Sans") == families.end())
        GTEST_SKIP() << "fonts-liberation2 is not installed";
    EXPECT_NE(std::find(families.begin(), families.end(), "Arial"), families.end());
}

}  // namespace
}  // namespace zelvo
