// The curve tool's modes through gestures on a small closed curve: the anchors afterwards, the
// state's name, and undo and redo of each.
#include "curves/CurveDraw.h"
#include "history/HistoryCommands.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

using A = CurveAnchor;

class CurveTool : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        Open(200, 160);
        ASSERT_TRUE(tools.SelectTool(kToolCurve));
    }
    std::vector<A> Anchors() { return image->Layers().CurrentLayer()->Anchors(); }
};

TEST_F(CurveTool, DrawWithTheMouseAndCloseOnTheFirstAnchor) {
    Click({20, 20});
    Drag({{100, 20}, {110, 20}, {120, 20}});
    Click({100, 100});
    Click({22, 18});  // within 5 pixels of the first anchor
    ASSERT_EQ(image->Layers().CurrentLayer()->Kind(), LayerKind::Curve);
    EXPECT_TRUE(image->Layers().CurrentLayer()->IsClosed());
    const std::vector<A> want = {{{20, 20}, {20, 20}, {20, 20}, 1},
                                 {{80, 20}, {100, 20}, {120, 20}, 1},
                                 {{100, 100}, {100, 100}, {100, 100}, 1}};
    EXPECT_EQ(Anchors(), want);
    EXPECT_EQ(LastStateName(), "Draw Line");
}

TEST_F(CurveTool, EveryModeOnASmallCurveUndoesAndRedoes) {
    const std::vector<A> start = {{{20, 20}, {20, 20}, {20, 20}, 1},
                                  {{80, 20}, {100, 20}, {120, 20}, 1},
                                  {{100, 100}, {100, 100}, {100, 100}, 1}};
    struct Row {
        const char* mode;
        std::vector<Point> select;  // a click in Select mode first (its own state)
        std::vector<Point> drag;
        const char* state;
        std::vector<A> expected;
    };
    const std::vector<Row> rows = {
        {"select",
         {},
         {{100, 100}, {110, 110}},
         "Select Anchor Point",
         {start[0], start[1], {{110, 110}, {110, 110}, {110, 110}, 1}}},
        // The linked partner turns opposite, keeping its length of 20.
        {"select",
         {{100, 20}},
         {{120, 20}, {100, 40}},
         "Select Anchor Point",
         {start[0], {{100, 0}, {100, 20}, {100, 40}, 1}, start[2]}},
        {"select",
         {},
         {{70, 40}, {75, 45}},
         "Select Anchor Point",
         {{{25, 25}, {25, 25}, {25, 25}, 1},
          {{85, 25}, {105, 25}, {125, 25}, 1},
          {{105, 105}, {105, 105}, {105, 105}, 1}}},
        {"convert",
         {},
         {{100, 20}},
         "Convert Anchor Point",
         {start[0], {{100, 20}, {100, 20}, {100, 20}, 1}, start[2]}},
        {"convert",
         {{100, 20}},
         {{80, 20}, {80, 0}},
         "Convert Anchor Point",
         {start[0], {{80, 0}, {100, 20}, {120, 20}, 0}, start[2]}},
        {"add",
         {},
         {{60, 60}, {70, 60}},
         "Add Anchor Point",
         {start[0], start[1], start[2], {{50, 60}, {60, 60}, {70, 60}, 1}}},
        {"delete", {}, {{101, 99}}, "Delete Anchor Point", {start[0], start[1]}},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(tools.SelectTool(kToolCurve));
        tools.Options().Set(kToolCurve, "mode", "draw");
        image->Layers().SelectLayerByIndex(1);
        Click({20, 20});
        Drag({{100, 20}, {120, 20}});
        Click({100, 100});
        Click({20, 20});
        ASSERT_EQ(Anchors(), start) << r.mode;
        tools.Options().Set(kToolCurve, "mode", "select");
        for (Point p : r.select) Click(p);
        tools.Options().Set(kToolCurve, "mode", r.mode);
        const std::vector<A> was = Anchors();
        Drag({r.drag.front(), r.drag.back()});
        EXPECT_EQ(Anchors(), r.expected) << r.mode << " " << r.state;
        EXPECT_EQ(LastStateName(), r.state);
        ASSERT_TRUE(UndoRedo(image->History()));
        EXPECT_EQ(Anchors(), was) << r.mode << " undone";
        ASSERT_TRUE(UndoRedo(image->History()));
        EXPECT_EQ(Anchors(), r.expected) << r.mode << " redone";
        tools.SelectTool(kToolHand);  // a fresh selection for the next row
    }
}

TEST_F(CurveTool, AltNumbersPickTheModeAndAPixelLayerIsRefusedAfterTheRelease) {
    for (int n = 1; n <= 5; ++n) {
        KeyPress('0' + n, kAlt);
        static const char* const modes[] = {"draw", "select", "convert", "add", "delete"};
        EXPECT_EQ(tools.Options().Get(kToolCurve, "mode"), modes[n - 1]);
    }
    Press({5, 5});
    EXPECT_TRUE(messages.Entries().empty() ||
                messages.Last() != "Current layer is not curve layer.");
    Release({5, 5});
    EXPECT_EQ(messages.Last(), "Current layer is not curve layer.");
}

TEST_F(CurveTool, AChosenShapeIsPlacedWithAClick) {
    tools.Options().Set(kToolCurve, "shape", "1");
    Click({10, 20});
    const std::vector<Point> corners = {{10, 20}, {10, 120}, {110, 120}, {110, 20}};
    ASSERT_EQ(Anchors().size(), corners.size());
    for (size_t i = 0; i < corners.size(); ++i) EXPECT_EQ(Anchors()[i].point, corners[i]);
    EXPECT_EQ(LastStateName(), "Rectangle");
}

}  // namespace
}  // namespace zelvo::test
