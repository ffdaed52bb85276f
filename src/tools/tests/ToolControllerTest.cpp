// The tool framework without widgets: the letter pairs, the diameter keys, refusals while
// busy, the temporary Hand tool, the colour keys, the options bar's values and messages, the
// right button, the Hand and Zoom tools and the document's tool hooks.
#include "history/HistoryCommands.h"
#include "tools/ZoomTool.h"
#include "tools/tests/ToolsTestSupport.h"
#include "view/ViewZoom.h"

namespace zelvo::test {
namespace {

using ControllerTest = ToolsFixture;

TEST_F(ControllerTest, LetterPairsToggleAndRememberTheMemberLeft) {
    Open(100, 80);
    struct Row {
        int from;
        char letter;
        std::vector<int> expected;  // after each press of the letter
    };
    const std::vector<Row> rows = {
        {kToolBrush, 'M', {kToolRectMarquee, kToolEllipseMarquee, kToolRectMarquee}},
        {kToolBrush, 'l', {kToolLasso, kToolPolygon, kToolLasso}},
        {kToolHand, 'I', {kToolEyedropper, kToolMeasure, kToolEyedropper}},
        {kToolHand, 'R', {kToolBlur, kToolSharpen, kToolBlur}},
        {kToolHand, 'B', {kToolBrush, kToolBrush}},
        {kToolBrush, 'Q', {kToolBrush}},  // no tool's letter
    };
    for (const Row& row : rows) {
        ToolController fresh;
        ASSERT_TRUE(fresh.SelectTool(row.from));
        for (size_t i = 0; i < row.expected.size(); ++i) {
            fresh.SelectByLetter(row.letter);
            EXPECT_EQ(fresh.CurrentTool(), row.expected[i]) << row.letter << " press " << i;
        }
    }
    // Leaving the pair from the elliptical marquee: M comes back to it.
    ASSERT_TRUE(tools.SelectTool(kToolEllipseMarquee));
    ASSERT_TRUE(tools.SelectTool(kToolBrush));
    EXPECT_EQ(tools.RememberedMember(0), kToolEllipseMarquee);
    KeyPress('M');
    EXPECT_EQ(tools.CurrentTool(), kToolEllipseMarquee);
    KeyPress('M');
    EXPECT_EQ(tools.CurrentTool(), kToolRectMarquee);
}

TEST_F(ControllerTest, BracketsStepTheDiameterOnPagesThatShowIt) {
    Open(100, 80);
    ASSERT_TRUE(tools.SelectTool(kToolBrush));
    struct Row {
        int from;
        int key;
        int expected;
    };
    for (const Row& row : std::vector<Row>{{3, ']', 4},
                                           {10, ']', 13},
                                           {10, '}', 13},
                                           {500, ']', 500},
                                           {499, ']', 500},
                                           {1, '[', 1},
                                           {2, '{', 1},
                                           {13, '[', 10},
                                           {100, '[', 70}}) {
        ASSERT_EQ(tools.Options().Set(kToolBrush, "diameter", std::to_string(row.from)),
                  ToolOptions::SetResult::Ok);
        KeyPress(row.key);
        EXPECT_EQ(tools.Options().Diameter(), row.expected) << row.from << " " << char(row.key);
    }
    // The marquee's page has no diameter: the keys change nothing.
    ASSERT_TRUE(tools.SelectTool(kToolRectMarquee));
    KeyPress(']');
    EXPECT_EQ(tools.Options().Diameter(), 70);
    EXPECT_EQ(ToolOptions::BarHint(kToolBrush), " [] key: Increase or Decrease brush size.");
    EXPECT_EQ(ToolOptions::BarHint(kToolRectMarquee), "Alt+1,2,3,4 is accelerator.");
}

TEST_F(ControllerTest, ASwitchIsRefusedWhileBusyAndTheHooksSeeIt) {
    Open(100, 80);
    ASSERT_TRUE(tools.SelectTool(kToolPolygon));
    Click({10, 10});
    ASSERT_TRUE(tools.IsBusy());
    EXPECT_TRUE(image->ToolBusy());
    EXPECT_TRUE(tools.PolygonBusy());
    EXPECT_FALSE(tools.SelectTool(kToolBrush));
    KeyPress('B');
    EXPECT_EQ(tools.CurrentTool(), kToolPolygon);
    // History moves are refused through the document while the tool works.
    EXPECT_EQ(UndoRedo(image->History()), 0);
    // A menu command ends the polygon as a close would.
    Click({60, 10});
    Click({40, 50});
    tools.EndPendingInteraction();
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_FALSE(image->ToolBusy());
    EXPECT_EQ(LastStateName(), "Polygonal Select");
    EXPECT_TRUE(tools.SelectTool(kToolBrush));
}

TEST_F(ControllerTest, SpaceOverABrushPressDragsTheView) {
    image = NewImage(3000, 2000);
    view = std::make_unique<ImageView>(*image);
    view->Resize(600, 400);
    view->SetZoomMode(kZoomActualPixels);
    ASSERT_TRUE(tools.SelectTool(kToolBrush));
    const CursorInfo circle = tools.Cursor(*view);
    EXPECT_EQ(circle.shape, CursorShape::Circle);
    EXPECT_EQ(circle.size, 10);
    tools.Key(*view, kKeySpace, true, 0);
    EXPECT_EQ(tools.Cursor(*view).shape, CursorShape::Hand);
    const int32_t x0 = view->ScrollX(), y0 = view->ScrollY();
    Press({100, 100});
    EXPECT_TRUE(tools.IsBusy());
    MoveTo({70, 120});
    EXPECT_EQ(view->ScrollX(), x0 + 30);
    EXPECT_EQ(view->ScrollY(), y0 - 20);
    Release({70, 120});
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(tools.CurrentTool(), kToolBrush);
    tools.Key(*view, kKeySpace, false, 0);
    EXPECT_EQ(tools.Cursor(*view), circle);
    // The circle follows the zoom within 5 .. 200 pixels.
    view->SetZoom(0.25f);
    EXPECT_EQ(tools.Cursor(*view).size, 5);
    tools.Options().Set(kToolBrush, "diameter", "500");
    EXPECT_EQ(tools.Cursor(*view).size, 125);
    tools.SetPlainCursors(true);
    EXPECT_EQ(tools.Cursor(*view).shape, CursorShape::Arrow);
}

// Moved here with the Hand tool from the view's folder.
TEST_F(ControllerTest, HandToolScrollsByThePointersMove) {
    image = NewImage(3000, 2000);
    view = std::make_unique<ImageView>(*image);
    view->Resize(600, 400);
    view->SetZoomMode(kZoomActualPixels);
    const int32_t x0 = view->ScrollX(), y0 = view->ScrollY();
    EXPECT_FALSE(tools.Busy());
    MoveTo({50, 50});  // no drag yet: nothing moves
    EXPECT_EQ(view->ScrollX(), x0);
    Press({100, 100});
    EXPECT_TRUE(tools.Busy());
    MoveTo({70, 120});
    EXPECT_EQ(view->ScrollX(), x0 + 30);
    EXPECT_EQ(view->ScrollY(), y0 - 20);
    Release({10, 100});
    EXPECT_FALSE(tools.Busy());
    EXPECT_EQ(view->ScrollX(), x0 + 90);
    EXPECT_EQ(view->ScrollY(), y0);
    // Dragging past the canvas edge stops at the edge.
    Press({0, 0});
    MoveTo({-5000, -5000});
    EXPECT_EQ(view->ScrollX(), view->MaxScrollX());
    EXPECT_EQ(view->ScrollY(), view->MaxScrollY());
    Release({-5000, -5000});
    // The right button does not drag.
    tools.MouseDown(*view, {{0, 0}, kRightButton, kRightButton, 0});
    EXPECT_FALSE(tools.Busy());
}

TEST_F(ControllerTest, ColourKeysAndThePair) {
    Open(100, 80);
    int changes = 0;
    tools.Colors().onChange = [&] { ++changes; };
    tools.Colors().SetForeground(Rgb(10, 20, 30));
    KeyPress('X');
    EXPECT_EQ(tools.Colors().Foreground(), Rgb(255, 255, 255));
    EXPECT_EQ(tools.Colors().Background(), Rgb(10, 20, 30));
    KeyPress('d');
    EXPECT_EQ(tools.Colors().Foreground(), Rgb(0, 0, 0));
    EXPECT_EQ(tools.Colors().Background(), Rgb(255, 255, 255));
    EXPECT_EQ(changes, 3);
}

TEST_F(ControllerTest, OptionsBarValuesRangesAndMessages) {
    ToolOptions& o = tools.Options();
    EXPECT_EQ(o.Keys(kToolMagicWand),
              (std::vector<std::string>{"mode", "tolerance", "contiguous"}));
    EXPECT_EQ(o.Get(kToolMagicWand, "tolerance"), "32");
    EXPECT_EQ(o.Get(kToolBrush, "diameter"), "10");
    EXPECT_EQ(o.Get(kToolEraser, "hardness"), "0");
    EXPECT_EQ(o.Get(kToolBrush, "opacity"), "100");
    EXPECT_TRUE(o.Keys(kToolHand).empty());
    using R = ToolOptions::SetResult;
    struct Row {
        int tool;
        std::string key, value;
        R result;
        std::string message;  // shown, if any
        std::string after;    // the value afterwards
    };
    const std::vector<Row> rows = {
        {kToolMagicWand, "tolerance", "0", R::Ok, "", "0"},
        {kToolMagicWand, "tolerance", "256", R::Refused, "Color range is 0~255", "0"},
        {kToolPaintBucket, "tolerance", "255", R::Ok, "", "255"},  // the same control
        {kToolMagicWand, "tolerance", "-1", R::Refused, "Color range is 0~255", "0"},
        {kToolMagicWand, "tolerance", "abc", R::Malformed, "", "0"},
        {kToolBrush, "diameter", "0", R::Refused, "Diameter range is 1~500", "10"},
        {kToolBrush, "diameter", "501", R::Refused, "Diameter range is 1~500", "10"},
        {kToolEraser, "opacity", "40", R::Ok, "", "40"},
        {kToolRectMarquee, "mode", "subtract", R::Ok, "", "subtract"},
        {kToolMagicWand, "mode", "subtract", R::Ok, "", "subtract"},  // shared
        {kToolRectMarquee, "mode", "xor", R::Malformed, "", "subtract"},
        {kToolCurve, "mode", "convert", R::Ok, "", "convert"},
        {kToolRectMarquee, "diameter", "5", R::Malformed, "", ""},
        {kToolText, "color", "#12AB3f", R::Ok, "", "#12AB3f"},
        {kToolText, "color", "red", R::Malformed, "", "#12AB3f"},
        {kToolMagicWand, "contiguous", "2", R::Malformed, "", "1"},  // a check box: 0 or 1
    };
    for (const Row& row : rows) {
        messages.Clear();
        EXPECT_EQ(o.Set(row.tool, row.key, row.value), row.result) << row.key << "=" << row.value;
        EXPECT_EQ(messages.Last(), row.message) << row.key << "=" << row.value;
        EXPECT_EQ(o.Get(row.tool, row.key), row.after) << row.key << "=" << row.value;
    }
    // The brush tools keep their own opacity.
    EXPECT_EQ(o.Get(kToolBrush, "opacity"), "100");
    // Alt+1..4 choose the combine mode, Alt+5 is the curve's only.
    Open(50, 40);
    tools.SelectTool(kToolLasso);
    KeyPress('2', kAlt);
    EXPECT_EQ(o.Get(kToolLasso, "mode"), "add");
    EXPECT_FALSE(tools.SetModeByNumber(5));
    tools.SelectTool(kToolCurve);
    KeyPress('5', kAlt);
    EXPECT_EQ(o.Get(kToolCurve, "mode"), "delete");
}

TEST_F(ControllerTest, RightButtonChoosesTheSubMenuOrTheBrushPopup) {
    Open(100, 80);
    struct Row {
        int tool;
        int modifiers;
        ContextChoice::Kind kind;
        int menu;
    };
    const std::vector<Row> rows = {
        {kToolHand, 0, ContextChoice::SubMenu, 2},
        {kToolRectMarquee, 0, ContextChoice::SubMenu, 1},
        {kToolMagicWand, 0, ContextChoice::SubMenu, 1},
        {kToolRectMarquee, kSpace, ContextChoice::SubMenu, 2},
        {kToolCurve, 0, ContextChoice::SubMenu, 6},
        {kToolZoom, 0, ContextChoice::SubMenu, 4},
        {kToolEyedropper, 0, ContextChoice::SubMenu, 0},
        {kToolBrush, 0, ContextChoice::BrushPopup, 0},
        {kToolSharpen, 0, ContextChoice::BrushPopup, 0},
        {kToolBrush, kControl, ContextChoice::SubMenu, 0},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(tools.SelectTool(row.tool));
        const ContextChoice c = tools.ContextMenu(*view, {5, 5}, row.modifiers);
        EXPECT_EQ(c.kind, row.kind) << row.tool;
        EXPECT_EQ(c.subMenu, row.menu) << row.tool;
    }
    // Busy with a polygon: no menu.
    tools.SelectTool(kToolPolygon);
    Click({10, 10});
    EXPECT_EQ(tools.ContextMenu(*view, {5, 5}, 0).kind, ContextChoice::None);
}

TEST_F(ControllerTest, ZoomToolStepsThreeWheelStepsAClick) {
    Open(400, 300);
    std::vector<std::string> status;
    tools.onStatus = [&](const std::string& s) { status.push_back(s); };
    ASSERT_TRUE(tools.SelectTool(kToolZoom));
    EXPECT_EQ(status.back(), "Click to enlarge or reduce.");
    Click({10, 10});
    EXPECT_NEAR(view->Zoom(), 1.331, 1e-4);
    EXPECT_EQ(status.back(), "Show ratio：133%");
    tools.Options().Set(kToolZoom, "zoom", "out");
    Click({10, 10});
    Click({10, 10});
    EXPECT_NEAR(view->Zoom(), 1.331 * 0.7513148 * 0.7513148, 1e-3);
    for (int i = 0; i < 40; ++i) ZoomClick(*view, true);
    EXPECT_FLOAT_EQ(view->Zoom(), 8.0f);
    EXPECT_EQ(ZoomRatioText(8.0f), "Show ratio：800%");
}

}  // namespace
}  // namespace zelvo::test
