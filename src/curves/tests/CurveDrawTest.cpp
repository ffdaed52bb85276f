// The Draw mode: the states it records, the handles a drag shapes, continuing from either end of
// an open curve, closing, and refused anchors.
#include <gtest/gtest.h>

#include "core/Limits.h"
#include "curves/CurveDraw.h"
#include "curves/tests/CurvesTestSupport.h"

namespace zelvo {
namespace {

class CurveDrawing : public test::VectorTest {
protected:
    size_t States() const { return StateNames().size(); }
};

TEST_F(CurveDrawing, ScriptedCurvesRecordOneStateAnAnchorAndOneForTheClose) {
    struct Case {
        std::vector<Point> points;
        bool closed;
        std::vector<std::string> added;
        bool closedAfter;
    };
    const std::vector<std::string> three = {"New Curve Layer", "Draw Line", "Draw Line"};
    std::vector<std::string> threeClosed = three;
    threeClosed.push_back("Draw Line");
    const Case cases[] = {
        {{{4, 4}, {30, 4}, {30, 20}}, false, three, false},
        {{{4, 4}, {30, 4}, {30, 20}}, true, threeClosed, true},
        {{{9, 9}}, true, {"New Curve Layer"}, false},  // one anchor cannot close
    };
    for (const Case& c : cases) {
        Canvas(64, 48);
        const LayerPtr l = DrawCurve(*layers, *curves, c.points, c.closed, Rgb(9, 8, 7), false);
        ASSERT_TRUE(l);
        std::vector<std::string> names = StateNames();
        names.erase(names.begin());
        EXPECT_EQ(names, c.added);
        EXPECT_EQ(l->IsClosed(), c.closedAfter);
        EXPECT_EQ(l->Color(), Rgb(9, 8, 7));
        EXPECT_FALSE(l->IsFilled());
        ASSERT_EQ(l->Anchors().size(), c.points.size());
        for (size_t i = 0; i < c.points.size(); ++i)
            EXPECT_EQ(l->Anchors()[i], Corner(c.points[i].x, c.points[i].y));
        EXPECT_EQ(test::MaskInk(*l).empty(), c.points.size() < 2);
    }
}

TEST_F(CurveDrawing, UndoingTheCloseReopensTheCurve) {
    const LayerPtr l = DrawCurve(*layers, *curves, {{4, 4}, {30, 4}, {30, 20}}, true, 0, true);
    ASSERT_TRUE(l);
    Undo();
    EXPECT_FALSE(l->IsClosed());
    EXPECT_EQ(l->Anchors().size(), 3u);
    Undo();
    EXPECT_EQ(l->Anchors().size(), 2u);
}

TEST_F(CurveDrawing, ADragMirrorsTheHandlesOfTheAnchorBeingPlaced) {
    CurveDraw draw(*layers, *curves);
    ASSERT_TRUE(draw.Press({10, 10}, false, false, 0, false));
    draw.Drag({14, 7});
    ASSERT_TRUE(draw.Release());
    const LayerPtr l = draw.DrawnLayer();
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Anchors()[0], (CurveAnchor{{6, 13}, {10, 10}, {14, 7}, kAnchorLinked}));
    ASSERT_TRUE(draw.Press({40, 10}, false, false, 0, false));
    draw.Drag({40, 20});
    ASSERT_TRUE(draw.Release());
    EXPECT_EQ(l->Anchors()[1], (CurveAnchor{{40, 0}, {40, 10}, {40, 20}, kAnchorLinked}));
    // Closing moves no handle.
    ASSERT_TRUE(draw.Press({10, 10}, true, false, 0, false));
    draw.Drag({0, 0});
    ASSERT_TRUE(draw.Release());
    EXPECT_TRUE(l->IsClosed());
    EXPECT_EQ(l->Anchors()[0].out, (Point{14, 7}));
    EXPECT_FALSE(draw.Drawing());
}

TEST_F(CurveDrawing, APressOnAnEndOfAnOpenCurveContinuesFromThatEnd) {
    struct Case {
        bool first, last;
        Point end;    // the anchor the drag shapes, last in the list afterwards
        Point start;  // first in the list afterwards
        Point middleIn;
    };
    for (const Case c : {Case{false, true, {30, 20}, {4, 4}, {30, 4}},
                         Case{true, false, {4, 4}, {30, 20}, {34, 4}}}) {
        Canvas(64, 48);
        const LayerPtr l =
            DrawCurve(*layers, *curves, {{4, 4}, {30, 4}, {30, 20}}, false, 0, false);
        ASSERT_TRUE(l);
        l->Anchors()[1].out = {34, 4};  // to see the handles exchanged
        const size_t states = States();
        CurveDraw draw(*layers, *curves);
        ASSERT_TRUE(draw.Press(c.end, c.first, c.last, Rgb(1, 1, 1), true));
        draw.Drag({c.end.x, c.end.y + 2});
        ASSERT_TRUE(draw.Release());
        EXPECT_EQ(draw.DrawnLayer(), l);
        EXPECT_EQ(States(), states + 1);
        EXPECT_EQ(StateNames().back(), "Draw Line");
        ASSERT_EQ(l->Anchors().size(), 3u);
        EXPECT_EQ(l->Anchors().back().point, c.end);
        EXPECT_EQ(l->Anchors().back().out, (Point{c.end.x, c.end.y + 2}));
        EXPECT_EQ(l->Anchors()[0].point, c.start);
        EXPECT_EQ(l->Anchors()[1].in, c.middleIn);
        ASSERT_TRUE(draw.Press({50, 40}, false, false, 0, true));
        ASSERT_TRUE(draw.Release());
        EXPECT_EQ(l->Anchors().size(), 4u);
        EXPECT_EQ(l->Color(), Rgb(0, 0, 0));  // options apply to new layers only
    }
}

TEST_F(CurveDrawing, ARefusedFirstAnchorEndsDrawingWithNoState) {
    while (layers->LayerCount() < LayerManager::kMaxLayers) {
        auto n = std::make_shared<Layer>(*store);
        n->Create(0, 0, LayerKind::Null, layers->NextId());
        layers->InsertAt(layers->LayerCount(), n);
    }
    const size_t states = States();
    CurveDraw draw(*layers, *curves);
    ASSERT_TRUE(draw.Press({1, 1}, false, false, 0, true));
    EXPECT_FALSE(draw.Release());
    EXPECT_FALSE(draw.Drawing());
    EXPECT_EQ(States(), states);
    EXPECT_EQ(messages.Last(), "More than 100 layers, should not create a new layer!");
    EXPECT_FALSE(DrawCurve(*layers, *curves, {{1, 1}, {5, 5}}, false, 0, true));
}

// The layered file reads back at most kMaxCurveAnchors anchors: a curve that has them takes no
// more, and can still be closed.
TEST_F(CurveDrawing, AFullCurveTakesNoMoreAnchorsButCloses) {
    Canvas(64, 48);
    const LayerPtr l = DrawCurve(*layers, *curves, {{4, 4}, {30, 4}}, false, 0, false);
    ASSERT_TRUE(l);
    l->Anchors().resize(kMaxCurveAnchors, l->Anchors().back());
    CurveDraw draw(*layers, *curves);
    ASSERT_TRUE(draw.Press(l->Anchors().back().point, false, true, 0, true));
    ASSERT_TRUE(draw.Release());
    const size_t states = States();
    EXPECT_FALSE(draw.Press({50, 40}, false, false, 0, true));
    EXPECT_EQ(l->Anchors().size(), kMaxCurveAnchors);
    EXPECT_EQ(States(), states);
    ASSERT_TRUE(draw.Press({4, 4}, true, false, 0, true));
    ASSERT_TRUE(draw.Release());
    EXPECT_TRUE(l->IsClosed());
}

}  // namespace
}  // namespace zelvo
