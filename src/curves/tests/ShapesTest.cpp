// Predefined shapes: the list, the templates as placed, and that every shape draws.
#include <gtest/gtest.h>

#include "curves/Shapes.h"
#include "curves/tests/CurvesTestSupport.h"
#include "platform/Feedback.h"

namespace zelvo {
namespace {

using test::MaskInk;

struct StatusRecorder : ProgressCounter {
    std::vector<std::string> texts;
    int waits = 0;
    void StatusText(const std::string& t) override { texts.push_back(t); }
    void BeginWait() override { ++waits; }
};

class Shapes : public test::VectorTest {
protected:
    void SetUp() override {
        VectorTest::SetUp();
        SetAppFeedback(&status);
    }
    void TearDown() override {
        SetAppFeedback(nullptr);
        VectorTest::TearDown();
    }
    StatusRecorder status;
};

TEST(ShapeList, NamesInListOrder) {
    const std::vector<std::string> want = {"Freeform Line",     "Rectangle",     "Ellipse",
                                           "Rounded Rectangle", "Pentagon",      "Hexagonal",
                                           "4 point stars",     "5 point stars", "Heart-shaped",
                                           "Arrow-shaped",      "Prompt box",    "Hook-shaped"};
    EXPECT_EQ(ShapeNames(), want);
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(ShapeIndex(want[i]), int(i));
    EXPECT_EQ(ShapeIndex("Star"), -1);
}

TEST(ShapeList, TemplatesHaveTheirAnchorCounts) {
    const size_t counts[] = {0, 4, 4, 8, 5, 6, 8, 10, 2, 7, 6, 6};
    for (int i = 0; i <= kShapeCount; ++i) EXPECT_EQ(ShapeTemplate(i).size(), counts[i]) << i;
    EXPECT_TRUE(ShapeTemplate(12).empty());
    EXPECT_TRUE(ShapeTemplate(-1).empty());
    // The curved ones keep their handles and modes.
    EXPECT_EQ(ShapeTemplate(8)[0], (CurveAnchor{{118, -21}, {50, 18}, {-18, -21}, 0}));
    EXPECT_EQ(ShapeTemplate(8)[1], (CurveAnchor{{-17, 68}, {50, 95}, {117, 68}, 0}));
    EXPECT_EQ(ShapeTemplate(10)[2], (CurveAnchor{{33, 68}, {28, 71}, {38, 71}, 0}));
    EXPECT_EQ(ShapeTemplate(11)[3], (CurveAnchor{{95, 11}, {98, 0}, {63, 16}, 0}));
    EXPECT_EQ(ShapeTemplate(11)[5], (CurveAnchor{{28, 48}, {28, 48}, {28, 48}, 1}));
    EXPECT_EQ(ShapeTemplate(2)[3], (CurveAnchor{{77, 0}, {50, 0}, {23, 0}, 1}));
}

TEST_F(Shapes, RectangleAtTenTwentyHasItsCornersThere) {
    LayerPtr l = PlaceShape(*curves, 1, {10, 20}, Rgb(200, 0, 0), true);
    ASSERT_TRUE(l);
    std::vector<Point> points;
    for (const CurveAnchor& a : l->Anchors()) {
        EXPECT_EQ(a.in, a.point);
        EXPECT_EQ(a.out, a.point);
        points.push_back(a.point);
    }
    EXPECT_EQ(points, (std::vector<Point>{{10, 20}, {10, 120}, {110, 120}, {110, 20}}));
    EXPECT_TRUE(l->IsClosed());
    EXPECT_TRUE(l->IsFilled());
    EXPECT_EQ(l->Color(), Rgb(200, 0, 0));
    EXPECT_TRUE(l->IsCurrent());
    EXPECT_EQ(history->States().back().kind, kStateNewCurve);
    EXPECT_EQ(history->States().back().name, "Rectangle");
    ASSERT_FALSE(status.texts.empty());
    EXPECT_EQ(status.texts.back(), "Using Free Transform adjust the size of Curves.");
    EXPECT_EQ(status.waits, 1);
}

TEST_F(Shapes, EveryShapeDrawsFilledAndOutlined) {
    Canvas(300, 300);
    for (int i = 1; i <= kShapeCount; ++i)
        for (bool filled : {true, false}) {
            LayerPtr l = PlaceShape(*curves, i, {50, 50}, 0, filled);
            ASSERT_TRUE(l) << i;
            const test::Ink ink = MaskInk(*l);
            EXPECT_FALSE(ink.empty()) << ShapeNames()[size_t(i)] << " filled=" << filled;
            // The ink stays near the template's box (the heart's handles reach past it).
            for (auto [x, y] : ink) {
                EXPECT_GE(x, 50 - 20) << i;
                EXPECT_LE(y, 50 + 120) << i;
            }
            EXPECT_EQ(history->States().back().name, ShapeNames()[size_t(i)]);
        }
}

TEST_F(Shapes, OutlineLeavesTheInsideEmpty) {
    Canvas(300, 300);
    LayerPtr filled = PlaceShape(*curves, 1, {50, 50}, 0, true);
    LayerPtr outline = PlaceShape(*curves, 1, {50, 50}, 0, false);
    EXPECT_TRUE(MaskInk(*filled).count({100, 100}));
    EXPECT_FALSE(MaskInk(*outline).count({100, 100}));
    EXPECT_TRUE(MaskInk(*outline).count({50, 100}));
}

TEST_F(Shapes, NearTheEdgeTheAnchorsStayOutsideAndOnlyTheInsideIsDrawn) {
    Canvas(300, 300);
    LayerPtr l = PlaceShape(*curves, 1, {250, 260}, 0, true);
    EXPECT_EQ(l->Anchors()[2].point, (Point{350, 360}));
    const test::Ink ink = MaskInk(*l);
    EXPECT_EQ(ink.size(), size_t(50 * 40));
    EXPECT_TRUE(ink.count({299, 299}));
}

TEST_F(Shapes, FreeformAndUnknownIndicesDoNothing) {
    const int layersBefore = layers->LayerCount(), states = history->StateCount();
    EXPECT_FALSE(PlaceShape(*curves, 0, {1, 1}, 0, true));
    EXPECT_FALSE(PlaceShape(*curves, 12, {1, 1}, 0, true));
    EXPECT_EQ(layers->LayerCount(), layersBefore);
    EXPECT_EQ(history->StateCount(), states);
    EXPECT_TRUE(status.texts.empty());
}

}  // namespace
}  // namespace zelvo
