// The free-transform mode through the controller: entering and leaving it, the handles picked
// by a press, Enter, Esc, the buttons, a menu command ending it, and a curve layer's anchors.
#include <gtest/gtest.h>

#include "curves/Curve.h"
#include "layers/TextLayer.h"
#include "tools/FreeTransformTool.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

class FreeTransformToolTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        Open(100, 80);
        tools.SelectTool(kToolMove);
    }
    LayerPtr AddPixel(const Rect& r) {
        LayerManager& lm = image->Layers();
        LayerPtr l = lm.AppendLayer(r.Width(), r.Height(), LayerKind::Pixel);
        l->FillColor(Rgb(0, 200, 0), 100, 100, true);
        l->SetPosition(r.left, r.top);
        lm.SelectLayerByIndex(lm.LayerCount());
        return l;
    }
    FrameCorners Frame() {
        const FrameCorners* f = PendingFreeTransform(tools);
        EXPECT_NE(f, nullptr);
        return f ? *f : FrameCorners{};
    }
};

TEST_F(FreeTransformToolTest, HandlesMoveScaleAndTurnTheFrameUntilEnter) {
    LayerPtr l = AddPixel({20, 20, 40, 30});
    ASSERT_TRUE(EnterFreeTransform(tools, *view));
    EXPECT_EQ(tools.CurrentTool(), kToolFreeTransform);
    EXPECT_TRUE(tools.IsBusy());
    EXPECT_FALSE(tools.SelectTool(kToolHand));

    const struct {
        Point from, to;
        int mods;
        FrameCorners want;
    } cases[] = {
        // Inside: a move.
        {{30, 25}, {35, 27}, 0, RectFrame({25, 22, 45, 32})},
        // The bottom-right handle, a little off: a scale from the top-left, the corner on the
        // pointer.
        {{43, 31}, {63, 41}, 0, RectFrame({25, 22, 63, 41})},
        // Ctrl: the top-right corner alone.
        {{62, 23}, {70, 20}, kControl, FrameCorners{PointD{25, 22}, {70, 20}, {63, 41}, {25, 41}}},
    };
    for (const auto& c : cases) {
        Drag({c.from, c.to}, c.mods);
        const FrameCorners f = Frame();
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(f[i].x, c.want[i].x, 1e-9) << c.from.x << " corner " << i;
            EXPECT_NEAR(f[i].y, c.want[i].y, 1e-9) << c.from.x << " corner " << i;
        }
        EXPECT_TRUE(tools.IsBusy());
    }
    // Outside: a turn about the centre by the pointer's angle, here a quarter turn.
    const FrameCorners before = Frame();
    const PointD centre = RotationCentre(before);
    Press({int32_t(centre.x) + 40, int32_t(centre.y)});
    MoveTo({int32_t(centre.x), int32_t(centre.y) - 40});
    Release({int32_t(centre.x), int32_t(centre.y) - 40});
    const FrameCorners turned = Frame();
    const FrameCorners expected = RotateFrame(before, centre, 90);
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(turned[i].x, expected[i].x, 1e-9);

    const int states = image->History().StateCount();
    KeyPress(kKeyReturn);
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(tools.CurrentTool(), kToolMove);
    EXPECT_EQ(image->History().StateCount(), states + 1);
    EXPECT_EQ(LastStateName(), "Free Transform");
    EXPECT_NE(image->Layers().CurrentLayer(), l);
    EXPECT_EQ(image->Layers().CurrentLayer()->Bounds(), FrameBounds(turned));
}

TEST_F(FreeTransformToolTest, EscAndCancelLeaveLayerAndHistoryAlone) {
    LayerPtr l = AddPixel({20, 20, 40, 30});
    const int states = image->History().StateCount();
    for (const bool key : {true, false}) {
        ASSERT_TRUE(EnterFreeTransform(tools, *view));
        Drag({{39, 29}, {80, 70}});
        ASSERT_TRUE(FreeTransformButton(tools, FrameButton::Turn90));
        if (key)
            KeyPress(kKeyEscape);
        else
            ASSERT_TRUE(EndFreeTransform(tools, false));
        EXPECT_FALSE(tools.IsBusy());
        EXPECT_EQ(tools.CurrentTool(), kToolMove);
        EXPECT_EQ(image->Layers().CurrentLayer(), l);
        EXPECT_EQ(l->Bounds(), (Rect{20, 20, 40, 30}));
        EXPECT_EQ(image->History().StateCount(), states);
        EXPECT_EQ(PendingFreeTransform(tools), nullptr);
    }
    EXPECT_FALSE(FreeTransformButton(tools, FrameButton::Turn180));
}

TEST_F(FreeTransformToolTest, AMenuCommandCommitsThePendingFrame) {
    AddPixel({20, 20, 40, 30});
    ASSERT_TRUE(EnterFreeTransform(tools, *view));
    ASSERT_TRUE(FreeTransformButton(tools, FrameButton::Turn90));
    tools.EndPendingInteraction();
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(LastStateName(), "Free Transform");
    EXPECT_EQ(image->Layers().CurrentLayer()->Bounds(), (Rect{25, 15, 35, 35}));
}

TEST_F(FreeTransformToolTest, ACurveLayersAnchorsFollowTheFrame) {
    LayerPtr l = image->Curves().NewCurveLayer("", Rgb(0, 0, 255), true);
    ASSERT_TRUE(l);
    for (Point p : {Point{10, 10}, Point{30, 10}, Point{20, 30}}) l->Anchors().push_back({p, p, p});
    l->SetClosed(true);
    RenderCurve(*l);
    const auto original = l->Anchors();

    // Esc puts the anchors back.
    ASSERT_TRUE(EnterFreeTransform(tools, *view));
    Drag({{30, 30}, {50, 50}});
    EXPECT_EQ(l->Anchors()[1].point, (Point{50, 10}));
    KeyPress(kKeyEscape);
    EXPECT_EQ(l->Anchors(), original);

    // The bottom-right corner dragged from (30, 30) to (50, 50) doubles the curve from (10, 10).
    const int states = image->History().StateCount();
    ASSERT_TRUE(EnterFreeTransform(tools, *view));
    Drag({{30, 30}, {50, 50}});
    KeyPress(kKeyReturn);
    ASSERT_EQ(l->Anchors().size(), 3u);
    EXPECT_EQ(l->Anchors()[0].point, (Point{10, 10}));
    EXPECT_EQ(l->Anchors()[1].point, (Point{50, 10}));
    EXPECT_EQ(l->Anchors()[2].point, (Point{30, 50}));
    EXPECT_EQ(l->Anchors()[2].in, (Point{30, 50}));
    EXPECT_EQ(image->History().StateCount(), states + 1);
    EXPECT_EQ(LastStateName(), "Free Transform Curves");
    image->History().GoToState(image->History().CurrentStateIndex() - 1, 0);
    EXPECT_EQ(l->Anchors(), original);
}

TEST_F(FreeTransformToolTest, TextAndNullLayersCannotBeTransformed) {
    LayerPtr t = image->Texts().BeginNewText(image->Width(), image->Height());
    ASSERT_TRUE(t);
    t->Text().text = "Ab";
    RenderText(*t);
    ASSERT_EQ(image->Texts().EndText(1), 1);
    EXPECT_FALSE(EnterFreeTransform(tools, *view));
    EXPECT_EQ(messages.Last(), "This layer must be rasterized before proceeding!");
    EXPECT_EQ(tools.CurrentTool(), kToolMove);
    EXPECT_FALSE(tools.IsBusy());
    LayerPtr null = image->Layers().AppendLayer(0, 0, LayerKind::Null);
    image->Layers().SelectLayerByIndex(image->Layers().LayerCount());
    EXPECT_FALSE(EnterFreeTransform(tools, *view));
    EXPECT_FALSE(tools.IsBusy());
}

}  // namespace
}  // namespace zelvo::test
