// The Layers palette model: rows, clicks per column, scrolling, the opacity slider and edit
// box, and the enabling of the Layer menu's commands.
#include "layerops/LayerCommands.h"
#include "layerops/LayersPaletteModel.h"
#include "layerops/LinkGroups.h"
#include "layerops/tests/LayerOpsTestSupport.h"

namespace zelvo::test {
namespace {

using PaletteModelTest = LayerOpsTest;

TEST_F(PaletteModelTest, RowsRunFromTheTopLayer) {
    OpenImage();
    AddText("a", 0, 0, 0);
    NewLayer(History());
    LayerPtr curve = AddCurve({{1, 1}, {5, 5}}, false, false, 0);
    curve->SetVisible(false);
    Lm().SelectLayerByIndex(2);
    ToggleLink(History(), 0);
    LayersPaletteModel palette(History());
    ASSERT_EQ(palette.RowCount(), 4);
    const char* names[] = {"Curve Layer", "Null Layer", "Text Layer", "Pixel Layer"};
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        const auto r = palette.RowAt(row);
        EXPECT_EQ(r.name, names[row]);
        EXPECT_EQ(r.visibility, row == 0 ? "Hide" : "Show");
        EXPECT_EQ(r.current, row == 2);
        EXPECT_EQ(r.linkMark, row == 2 || row == 3);
        EXPECT_EQ(palette.LayerIndexOfRow(row), 3 - row);
        EXPECT_EQ(palette.RowRect(row), (Rect{0, 25 * row, 180, 25 * row + 25}));
    }
    EXPECT_EQ(palette.LayerIndexOfRow(4), -1);
}

TEST_F(PaletteModelTest, ClicksByColumn) {
    LayerPtr first = OpenImage();
    LayerPtr top = AddPixel(0, 0, 4, 4, 0x64000000);
    LayersPaletteModel palette(History());
    using R = LayersPaletteModel::ClickResult;
    // Row 1 is the first layer.
    EXPECT_EQ(palette.Click(10, 30, false), R::ToggledVisibility);
    EXPECT_FALSE(first->IsVisible());
    EXPECT_EQ(palette.Click(50, 30, false), R::ToggledLink);
    EXPECT_EQ(first->LinkCount(), 2);
    EXPECT_EQ(palette.Click(100, 30, false), R::MadeCurrent);
    EXPECT_TRUE(first->IsCurrent());
    EXPECT_EQ(palette.Click(100, 60, false), R::Nothing);  // below the last row
    EXPECT_EQ(palette.Click(190, 5, false), R::Nothing);   // beside the rows
    // Ctrl turns the clicked layer into a selection.
    EXPECT_FALSE(Lm().Selection());
    EXPECT_EQ(palette.Click(100, 5, true), R::MadeCurrent);
    EXPECT_TRUE(top->IsCurrent());
    EXPECT_TRUE(Lm().Selection());
    EXPECT_EQ(Lm().SelectionBounds(), (Rect{0, 0, 4, 4}));
}

TEST_F(PaletteModelTest, ScrollFromSevenLayers) {
    OpenImage();
    LayersPaletteModel palette(History());
    for (int i = 0; i < 5; ++i) NewLayer(History());
    EXPECT_EQ(palette.RowCount(), 6);
    EXPECT_FALSE(palette.ScrollEnabled());
    NewLayer(History());
    EXPECT_TRUE(palette.ScrollEnabled());
    palette.SetScrollOffset(50);
    // Row 0 is now two rows up: a click at the top hits row 2.
    palette.Click(100, 1, false);
    EXPECT_EQ(Lm().CurrentIndex(), 4);
    EXPECT_EQ(palette.RowRect(2).top, 0);
}

TEST_F(PaletteModelTest, OpacitySliderAndEditBox) {
    OpenImage();
    LayerPtr l = AddPixel(0, 0, 1, 1, 0);
    LayersPaletteModel palette(History());
    EXPECT_EQ(palette.SliderValue(), 100);
    EXPECT_EQ(palette.EditText(), "100%");
    const int states = History().StateCount();
    palette.SliderMoved(80);
    palette.SliderMoved(60);
    EXPECT_EQ(l->Opacity(), 60);
    EXPECT_EQ(History().StateCount(), states);  // a preview records nothing
    palette.SliderReleased(50);
    EXPECT_EQ(History().StateCount(), states + 1);
    EXPECT_EQ(StateNames().back(), "Set Layer Opacity");
    EXPECT_EQ(History().States().back().opacity, 100);
    EXPECT_EQ(palette.EditText(), "50%");

    EXPECT_FALSE(palette.EditEntered("50"));   // the slider's value already
    EXPECT_FALSE(palette.EditEntered("abc"));  // no number
    EXPECT_FALSE(palette.EditEntered(" 0"));   // 0 only when written first
    EXPECT_FALSE(palette.EditEntered("101"));
    EXPECT_EQ(l->Opacity(), 50);
    EXPECT_TRUE(palette.EditEntered("0"));
    EXPECT_EQ(l->Opacity(), 0);
    EXPECT_TRUE(palette.EditEntered("75%"));
    EXPECT_EQ(l->Opacity(), 75);
    EXPECT_EQ(LayersPaletteModel::ParseOpacityText("007"), 7);
}

TEST_F(PaletteModelTest, CommandEnabling) {
    EXPECT_FALSE(LayerCommandEnabled(kCmdNewLayer, nullptr));
    OpenImage();
    HistoryManager& h = History();
    EXPECT_TRUE(LayerCommandEnabled(kCmdNewLayer, &h));
    EXPECT_TRUE(LayerCommandEnabled(kCmdDuplicateLayer, &h));
    EXPECT_TRUE(LayerCommandEnabled(kCmdDeleteLayer, &h));
    EXPECT_FALSE(LayerCommandEnabled(kCmdMergeAll, &h));
    EXPECT_FALSE(LayerCommandEnabled(kCmdMergeVisible, &h));
    EXPECT_FALSE(LayerCommandEnabled(kCmdMergeLinked, &h));
    EXPECT_TRUE(LayerCommandEnabled(kCmdClearBorder, &h));
    EXPECT_FALSE(LayerCommandEnabled(kCmdRasterize, &h));
    AddText("t", 0, 0, 0);
    EXPECT_TRUE(LayerCommandEnabled(kCmdMergeAll, &h));
    EXPECT_TRUE(LayerCommandEnabled(kCmdMergeVisible, &h));
    EXPECT_FALSE(LayerCommandEnabled(kCmdClearBorder, &h));
    EXPECT_TRUE(LayerCommandEnabled(kCmdRasterize, &h));
    // Nothing runs while a tool is in the middle of a mouse operation.
    doc->host.toolBusy = true;
    EXPECT_FALSE(LayerCommandEnabled(kCmdNewLayer, &h));
    EXPECT_FALSE(LayerCommandEnabled(kCmdMoveDown, &h));
    EXPECT_EQ(RunLayerCommand(kCmdNewLayer, h), 0);
    EXPECT_EQ(Lm().LayerCount(), 2);
    doc->host.toolBusy = false;
    EXPECT_EQ(RunLayerCommand(kCmdMoveDown, h), 1);
    EXPECT_EQ(Lm().CurrentIndex(), 0);
}

}  // namespace
}  // namespace zelvo::test
