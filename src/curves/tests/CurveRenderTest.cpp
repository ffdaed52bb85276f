// Curve geometry and masks: the poly-Bézier point list against the rule written out by hand,
// fills and outlines against the pixel-centre rule, and the handle rules.
#include <gtest/gtest.h>

#include <cmath>

#include "core/InternalError.h"
#include "curves/tests/CurvesTestSupport.h"

namespace zelvo {
namespace {

using test::Ink;
using test::MaskInk;

CurveAnchor A(Point in, Point p, Point out, int32_t mode = 1) {
    return {in, p, out, mode};
}

const std::vector<CurveAnchor> kThree = {A({1, 2}, {3, 4}, {5, 6}), A({7, 8}, {9, 10}, {11, 12}),
                                         A({13, 14}, {15, 16}, {17, 18})};

TEST(CurvePoints, OpenPathHas3nMinus2ClosedHas3nPlus1) {
    EXPECT_EQ(CurvePoints(kThree, false),
              (std::vector<Point>{{3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, 12}, {13, 14}, {15, 16}}));
    EXPECT_EQ(CurvePoints(kThree, true), (std::vector<Point>{{3, 4},
                                                             {5, 6},
                                                             {7, 8},
                                                             {9, 10},
                                                             {11, 12},
                                                             {13, 14},
                                                             {15, 16},
                                                             {17, 18},
                                                             {1, 2},
                                                             {3, 4}}));
    for (size_t n = 1; n <= 6; ++n) {
        std::vector<CurveAnchor> anchors(n, A({0, 0}, {1, 1}, {2, 2}));
        EXPECT_EQ(CurvePoints(anchors, false).size(), 3 * n - 2) << n;
        EXPECT_EQ(CurvePoints(anchors, true).size(), 3 * n + 1) << n;
    }
    EXPECT_TRUE(CurvePoints({}, true).empty());
}

class CurveRender : public test::VectorTest {
protected:
    Layer& Curve(std::vector<CurveAnchor> anchors, bool closed, bool filled) {
        layer = std::make_unique<Layer>(*store);
        EXPECT_TRUE(layer->Create(64, 48, LayerKind::Curve, 9));
        layer->Anchors() = std::move(anchors);
        layer->SetClosed(closed);
        layer->SetFilled(filled);
        return *layer;
    }
    std::vector<CurveAnchor> Rectangle(int32_t l, int32_t t, int32_t r, int32_t b) {
        return {Corner(l, t), Corner(l, b), Corner(r, b), Corner(r, t)};
    }
    std::unique_ptr<Layer> layer;
};

TEST_F(CurveRender, OneAnchorDrawsNothingAndItsBoundsHoldItsThreePoints) {
    Layer& l = Curve({A({3, 4}, {10, 12}, {20, 2})}, true, true);
    l.Rows()->Row(uint32_t(l.Height() - 1))[0] = 0x80;  // a stale bit is cleared
    EXPECT_TRUE(RenderCurve(l));
    EXPECT_TRUE(MaskInk(l).empty());
    const Rect b = l.CurveBounds();
    EXPECT_EQ(b, (Rect{3, 2, 21, 13}));
    for (Point p : {Point{3, 4}, Point{10, 12}, Point{20, 2}}) EXPECT_TRUE(b.Contains(p));
}

TEST_F(CurveRender, FilledRectangleCoversItsInteriorOpenOrClosed) {
    Ink want;
    for (int32_t y = 8; y < 30; ++y)
        for (int32_t x = 10; x < 40; ++x) want.insert({x, y});
    for (bool closed : {true, false}) {
        Layer& l = Curve(Rectangle(10, 8, 40, 30), closed, true);
        EXPECT_TRUE(RenderCurve(l));
        EXPECT_EQ(MaskInk(l), want) << closed;
        EXPECT_EQ(l.CurveBounds(), (Rect{10, 8, 41, 31}));
    }
}

// Distance from a pixel centre to the rectangle's border.
double BorderDistance(int32_t x, int32_t y, double l, double t, double r, double b) {
    const double cx = x + 0.5, cy = y + 0.5;
    auto seg = [&](double x0, double y0, double x1, double y1) {
        const double dx = x1 - x0, dy = y1 - y0;
        double u = ((cx - x0) * dx + (cy - y0) * dy) / (dx * dx + dy * dy);
        u = u < 0 ? 0 : (u > 1 ? 1 : u);
        return std::hypot(cx - (x0 + u * dx), cy - (y0 + u * dy));
    };
    return std::min({seg(l, t, l, b), seg(l, b, r, b), seg(r, b, r, t), seg(r, t, l, t)});
}

TEST_F(CurveRender, OutlineIsATwoPixelBandAlongTheBorder) {
    Layer& l = Curve(Rectangle(10, 8, 40, 30), true, false);
    EXPECT_TRUE(RenderCurve(l));
    const Ink ink = MaskInk(l);
    for (auto [x, y] : ink) EXPECT_LE(BorderDistance(x, y, 10, 8, 40, 30), 1.2) << x << "," << y;
    // The pixels straddling the border on both sides are drawn: a band two pixels wide.
    for (int32_t y = 9; y < 29; ++y) {
        EXPECT_TRUE(ink.count({9, y}) && ink.count({10, y})) << y;
        EXPECT_TRUE(ink.count({39, y}) && ink.count({40, y})) << y;
        EXPECT_FALSE(ink.count({11, y}) || ink.count({38, y})) << y;
    }
    for (int32_t x = 11; x < 39; ++x) {
        EXPECT_TRUE(ink.count({x, 7}) && ink.count({x, 8})) << x;
        EXPECT_TRUE(ink.count({x, 29}) && ink.count({x, 30})) << x;
    }
}

TEST_F(CurveRender, PartOutsideTheCanvasIsClipped) {
    Layer& l = Curve(Rectangle(50, 40, 150, 140), true, true);
    EXPECT_TRUE(RenderCurve(l));
    Ink want;
    for (int32_t y = 40; y < 48; ++y)
        for (int32_t x = 50; x < 64; ++x) want.insert({x, y});
    EXPECT_EQ(MaskInk(l), want);
    EXPECT_EQ(l.CurveBounds(), (Rect{50, 40, 151, 141}));
}

TEST_F(CurveRender, MovingTranslatesEveryPointAndTheInk) {
    Layer& l = Curve({A({1, 2}, {3, 4}, {5, 6}), A({7, 8}, {9, 10}, {11, 12})}, false, true);
    TranslateCurve(l, 10, -1);
    EXPECT_EQ(l.Anchors()[0], A({11, 1}, {13, 3}, {15, 5}));
    EXPECT_EQ(l.Anchors()[1], A({17, 7}, {19, 9}, {21, 11}));

    Layer& r = Curve(Rectangle(5, 5, 15, 12), true, true);
    RenderCurve(r);
    const Ink before = MaskInk(r);
    MoveCurve(r, 7, 3);
    Ink want;
    for (auto [x, y] : before) want.insert({x + 7, y + 3});
    EXPECT_EQ(MaskInk(r), want);
}

TEST_F(CurveRender, OnlyCurveLayersRenderAndAMissingMaskIsInternalError1016) {
    Layer pixel(*store);
    ASSERT_TRUE(pixel.Create(4, 4, LayerKind::Pixel, 1));
    EXPECT_FALSE(RenderCurve(pixel));
    EXPECT_TRUE(messages.Entries().empty());
    Layer broken(*store);
    EXPECT_FALSE(broken.Create(0, 0, LayerKind::Curve, 2));
    EXPECT_FALSE(RenderCurve(broken));
    EXPECT_EQ(messages.Last(), InternalErrorText(1016));
}

TEST(CurveHandles, LinkedHandleTurnsTheOtherKeepingItsLength) {
    CurveAnchor a = A({0, 10}, {10, 10}, {20, 10});
    DragHandle(a, Handle::Out, {10, 30});
    EXPECT_EQ(a.out, (Point{10, 30}));
    EXPECT_EQ(a.in, (Point{10, 0}));  // length 10, pointing away from the dragged handle

    CurveAnchor b = A({10, 13}, {10, 10}, {10, 20});
    DragHandle(b, Handle::In, {13, 14});  // direction (3, 4): the out handle goes (-3, -4) * 10/5
    EXPECT_EQ(b.out, (Point{4, 2}));
}

TEST(CurveHandles, IndependentHandleMovesAlone) {
    CurveAnchor a = A({0, 10}, {10, 10}, {20, 10}, kAnchorIndependent);
    DragHandle(a, Handle::In, {3, 3});
    EXPECT_EQ(a.in, (Point{3, 3}));
    EXPECT_EQ(a.out, (Point{20, 10}));
}

TEST(CurveHandles, HandleDraggedOntoItsPointLeavesTheOtherAlone) {
    CurveAnchor a = A({0, 10}, {10, 10}, {20, 10});
    DragHandle(a, Handle::In, {10, 10});
    EXPECT_EQ(a.out, (Point{20, 10}));
}

TEST(CurveHandles, ConvertToCornerAndReverse) {
    CurveAnchor a = A({0, 1}, {5, 6}, {9, 9}, kAnchorIndependent);
    ConvertToCorner(a);
    EXPECT_EQ(a, A({5, 6}, {5, 6}, {5, 6}, kAnchorLinked));

    std::vector<CurveAnchor> path = {A({1, 1}, {2, 2}, {3, 3}, 0), A({4, 4}, {5, 5}, {6, 6}, 1)};
    ReverseAnchors(path);
    EXPECT_EQ(path, (std::vector<CurveAnchor>{A({6, 6}, {5, 5}, {4, 4}, 1),
                                              A({3, 3}, {2, 2}, {1, 1}, 0)}));
}

}  // namespace
}  // namespace zelvo
