// The Move tool through the controller: drags of every layer kind, Shift, Alt copies, linked
// groups, arrow nudges at several zooms, the Ctrl pick and drops on another document.
#include <gtest/gtest.h>

#include "curves/Curve.h"
#include "layerops/LinkGroups.h"
#include "layers/TextLayer.h"
#include "tools/MoveTool.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

class MoveToolTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        Open(200, 150);
        tools.SelectTool(kToolMove);
    }

    // A red pixel layer of w x h at (x, y) on top of `img`, made current.
    LayerPtr AddPixel(Image& img, Point at, int32_t w = 10, int32_t h = 10) {
        LayerManager& lm = img.Layers();
        LayerPtr l = lm.AppendLayer(w, h, LayerKind::Pixel);
        EXPECT_TRUE(l);
        l->FillColor(Rgb(255, 0, 0), 100, 100, true);
        l->SetPosition(at.x, at.y);
        lm.SelectLayerByIndex(lm.LayerCount());
        return l;
    }
    LayerPtr AddText(Point origin) {
        LayerPtr l = image->Texts().BeginNewText(image->Width(), image->Height());
        EXPECT_TRUE(l);
        l->Text().text = "Ab";
        l->Text().originX = origin.x;
        l->Text().originY = origin.y;
        l->Text().fontSize = 20;
        RenderText(*l);
        EXPECT_EQ(image->Texts().EndText(1), 1);
        return l;
    }
    LayerPtr AddCurve() {
        LayerPtr l = image->Curves().NewCurveLayer("", Rgb(0, 0, 255), true);
        EXPECT_TRUE(l);
        for (Point p : {Point{20, 20}, Point{60, 20}, Point{40, 60}})
            l->Anchors().push_back({p, p, p, kAnchorLinked});
        l->SetClosed(true);
        RenderCurve(*l);
        return l;
    }
    void Link(const std::vector<LayerPtr>& members) {
        LayerManager& lm = image->Layers();
        lm.SelectLayerByIndex(lm.IndexOf(members[0].get()) + 1);
        for (size_t i = 1; i < members.size(); ++i)
            ASSERT_EQ(ToggleLink(image->History(), lm.IndexOf(members[i].get())), 1);
    }
    void Undo() { image->History().GoToState(image->History().CurrentStateIndex() - 1, 0); }
    void Redo() { image->History().GoToState(image->History().CurrentStateIndex() + 1, 0); }
    int States() { return image->History().StateCount(); }
    int LastKind() { return image->History().States().back().kind; }
};

TEST(MoveToolRules, NudgeStepIsOneScreenStepInImagePixels) {
    const struct {
        float zoom;
        int32_t pixels;
    } cases[] = {{3.0f, 1},  {2.0f, 1}, {1.5f, 1}, {1.0f, 1},  {0.5f, 2},
                 {0.25f, 4}, {0.3f, 3}, {8.0f, 1}, {0.05f, 20}};
    for (const auto& c : cases) EXPECT_EQ(NudgeStep(c.zoom), c.pixels) << c.zoom;
}

TEST_F(MoveToolTest, DragMovesAPixelLayerByTheTruncatedViewOffset) {
    const struct {
        float zoom;
        Point to;
        int mods;
        Point expected;
    } cases[] = {
        {1.0f, {50, 45}, 0, {60, 55}},       // (20, 15) offset from the press at (30, 30)
        {2.0f, {45, 37}, 0, {47, 43}},       // 15 / 2 = 7, 7 / 2 = 3
        {0.5f, {20, 35}, 0, {20, 50}},       // -10 * 2, 5 * 2
        {1.0f, {70, 36}, kShift, {80, 40}},  // nearly horizontal snaps to it
        {1.0f, {33, 70}, kShift, {40, 80}},  // nearly vertical snaps to it
    };
    for (const auto& c : cases) {
        Open(200, 150, c.zoom);
        LayerPtr l = AddPixel(*image, {40, 40});
        const int before = States();
        Drag({{30, 30}, {35, 35}, c.to}, c.mods);
        EXPECT_EQ(l->Position(), c.expected) << c.zoom << " " << c.to.x << "," << c.to.y;
        ASSERT_EQ(States(), before + 1);
        EXPECT_EQ(LastStateName(), "Move Layer");
        EXPECT_EQ(LastKind(), kStateMoveLayer);
        EXPECT_FALSE(tools.IsBusy());
        Undo();
        EXPECT_EQ(l->Position(), (Point{40, 40}));
        Redo();
        EXPECT_EQ(l->Position(), c.expected);
    }
}

TEST_F(MoveToolTest, AClickWithoutMovementRecordsNothing) {
    LayerPtr l = AddPixel(*image, {40, 40});
    const int before = States();
    Click({30, 30});
    EXPECT_EQ(States(), before);
    EXPECT_EQ(l->Position(), (Point{40, 40}));
}

// Let go over no document (a palette, the desktop): no drop, the layer goes back, nothing is
// recorded and a step that could be redone stays.
TEST_F(MoveToolTest, ADragLetGoOverNoDocumentPutsTheLayerBack) {
    LayerPtr l = AddPixel(*image, {40, 40});
    Drag({{30, 30}, {50, 50}});
    Undo();
    const int before = States();
    Press({30, 30});
    MoveTo({90, 80});
    EXPECT_EQ(l->Position(), (Point{100, 90}));
    ASSERT_TRUE(tools.DragCrossesViews());
    tools.DropNowhere(*view);
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(l->Position(), (Point{40, 40}));
    EXPECT_EQ(States(), before);
    Redo();
    EXPECT_EQ(l->Position(), (Point{60, 60}));
}

TEST_F(MoveToolTest, TextAndCurveLayersMoveThroughTheirEditors) {
    LayerPtr text = AddText({10, 20});
    Drag({{0, 0}, {7, -4}});
    EXPECT_EQ(text->Text().originX, 17);
    EXPECT_EQ(text->Text().originY, 16);
    EXPECT_EQ(LastStateName(), "Move Text");
    EXPECT_EQ(LastKind(), kStateMoveLayer);
    Undo();
    EXPECT_EQ(text->Text().originX, 10);
    EXPECT_EQ(text->Text().originY, 20);

    LayerPtr curve = AddCurve();
    Drag({{0, 0}, {5, 6}});
    ASSERT_EQ(curve->Anchors().size(), 3u);
    EXPECT_EQ(curve->Anchors()[1].point.x, 65);
    EXPECT_EQ(curve->Anchors()[1].point.y, 26);
    EXPECT_EQ(curve->Anchors()[1].in.x, 65);
    EXPECT_EQ(LastStateName(), "Move Curves");
    EXPECT_EQ(LastKind(), kStateModifyCurve);
    Undo();
    EXPECT_EQ(curve->Anchors()[1].point.x, 60);
    EXPECT_EQ(curve->Anchors()[1].point.y, 20);
}

TEST_F(MoveToolTest, AltDragLeavesTheLayerAndAddsACopyAtTheDrop) {
    LayerPtr l = AddPixel(*image, {40, 40});
    const int count = image->Layers().LayerCount();
    Drag({{30, 30}, {55, 40}}, kAlt);
    EXPECT_EQ(l->Position(), (Point{40, 40}));
    ASSERT_EQ(image->Layers().LayerCount(), count + 1);
    LayerPtr copy = image->Layers().CurrentLayer();
    EXPECT_NE(copy, l);
    EXPECT_EQ(copy->Position(), (Point{65, 50}));
    EXPECT_EQ(LastStateName(), "Duplicate Layer");
    EXPECT_TRUE(copy->ContainsOpaquePixel(65, 50));
}

TEST_F(MoveToolTest, ALinkedGroupMovesAsOneStateAndUndoesExactly) {
    LayerPtr a = AddPixel(*image, {10, 10});
    LayerPtr b = AddPixel(*image, {50, 20}, 20, 5);
    LayerPtr text = AddText({30, 30});
    LayerPtr curve = AddCurve();
    Link({a, b, text, curve});
    const int before = States();
    Drag({{5, 5}, {9, 12}}, kAlt);  // Alt does not copy a group
    EXPECT_EQ(image->Layers().LayerCount(), 5);
    ASSERT_EQ(States(), before + 1);
    EXPECT_EQ(LastStateName(), "Move Linked Layers");
    EXPECT_EQ(LastKind(), kStateMoveLinked);
    auto check = [&](int k) {
        EXPECT_EQ(a->Position(), (Point{10 + 4 * k, 10 + 7 * k}));
        EXPECT_EQ(b->Position(), (Point{50 + 4 * k, 20 + 7 * k}));
        EXPECT_EQ(text->Text().originX, 30 + 4 * k);
        EXPECT_EQ(text->Text().originY, 30 + 7 * k);
        EXPECT_EQ(curve->Anchors()[0].point.x, 20 + 4 * k);
        EXPECT_EQ(curve->Anchors()[0].out.y, 20 + 7 * k);
    };
    check(1);
    Undo();
    check(0);
    Redo();
    check(1);
    // Linked layers do not nudge.
    KeyPress(kKeyRight);
    check(1);
    EXPECT_EQ(States(), before + 1);
}

TEST_F(MoveToolTest, ArrowsNudgeByOneScreenStepAndRecordEachPress) {
    const struct {
        float zoom;
        int key;
        Point expected;
    } cases[] = {{3.0f, kKeyRight, {41, 40}},
                 {0.5f, kKeyDown, {40, 42}},
                 {2.0f, kKeyLeft, {39, 40}},
                 {0.25f, kKeyUp, {40, 36}}};
    for (const auto& c : cases) {
        Open(200, 150, c.zoom);
        LayerPtr l = AddPixel(*image, {40, 40});
        const int before = States();
        KeyPress(c.key);
        EXPECT_EQ(l->Position(), c.expected) << c.zoom;
        KeyPress(c.key);
        // The history folds successive moves of one layer into one state.
        EXPECT_EQ(States(), before + 1);
        EXPECT_EQ(LastStateName(), "Move Layer");
        Undo();
        EXPECT_EQ(l->Position(), (Point{40, 40}));
    }
    LayerPtr text = AddText({5, 5});
    KeyPress(kKeyRight);
    EXPECT_EQ(text->Text().originX, 9);
    EXPECT_EQ(LastStateName(), "Move Text");
}

TEST_F(MoveToolTest, CtrlPicksTheTopmostVisibleLayerUnderThePointer) {
    tools.SelectTool(kToolHand);
    LayerPtr low = AddPixel(*image, {0, 0}, 100, 100);
    LayerPtr high = AddPixel(*image, {50, 50}, 20, 20);
    LayerPtr hidden = AddPixel(*image, {0, 0}, 100, 100);
    hidden->SetVisible(false);
    // Ctrl turns the Hand into the Move tool for one press: the pick, then the drag.
    Drag({{10, 10}, {12, 13}}, kControl);
    EXPECT_EQ(image->Layers().CurrentLayer(), low);
    EXPECT_EQ(low->Position(), (Point{2, 3}));
    Drag({{60, 60}, {61, 60}}, kControl);
    EXPECT_EQ(image->Layers().CurrentLayer(), high);
    EXPECT_EQ(high->Position(), (Point{51, 50}));
    EXPECT_EQ(tools.CurrentTool(), kToolHand);
    EXPECT_FALSE(tools.IsBusy());
}

TEST_F(MoveToolTest, ADropOnAnotherDocumentCopiesTheLayerThereAndActivatesIt) {
    LayerPtr l = AddPixel(*image, {40, 40});
    std::unique_ptr<Image> other = NewImage(80, 60);
    ImageView otherView(*other);
    LayOutVirtualView(otherView, 1.0f, 0, 0);
    Image* activated = nullptr;
    tools.onActivateDocument = [&](Image& img) { activated = &img; };
    const int sourceStates = States();

    Press({30, 30});
    MoveTo({40, 35});
    EXPECT_EQ(l->Position(), (Point{50, 45}));
    tools.MouseMove(otherView, {{10, 10}, 0, kLeftButton, 0});
    EXPECT_EQ(l->Position(), (Point{40, 40}));  // back home while over the other document
    tools.MouseUp(otherView, {{10, 10}, kLeftButton, 0, 0});

    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(l->Position(), (Point{40, 40}));
    EXPECT_EQ(States(), sourceStates);
    EXPECT_EQ(activated, other.get());
    ASSERT_EQ(other->Layers().LayerCount(), 2);
    LayerPtr copy = other->Layers().CurrentLayer();
    EXPECT_EQ(copy->Kind(), LayerKind::Pixel);
    EXPECT_EQ(copy->Position(), (Point{40, 40}));
    EXPECT_EQ(StateDisplayName(other->History().States().back()), "Duplicate Layer");

    // A linked group is refused and goes back.
    LayerPtr m = AddPixel(*image, {5, 5});
    Link({l, m});
    activated = nullptr;
    Press({30, 30});
    MoveTo({40, 35});
    tools.MouseUp(otherView, {{10, 10}, kLeftButton, 0, 0});
    EXPECT_EQ(messages.Last(), "The current version should not duplicate the linked layers!");
    EXPECT_EQ(other->Layers().LayerCount(), 2);
    EXPECT_EQ(l->Position(), (Point{40, 40}));
    EXPECT_EQ(m->Position(), (Point{5, 5}));
    EXPECT_EQ(activated, nullptr);
    tools.ViewClosing(otherView);
}

}  // namespace
}  // namespace zelvo::test
