// Canvas Size (the dialog model, the question before cutting, the change keeping the top-left
// corner and the pixels outside, its undo rule for the current layer) and Print Size (the
// dialog model; only the resolution changes).
#include <gtest/gtest.h>

#include "geometry/CanvasSize.h"
#include "geometry/PrintSize.h"
#include "geometry/tests/GeometryTestSupport.h"

namespace zelvo {
namespace {

using test::Distinct;

TEST(CanvasSizeDialog, CurrentSizeLinesFollowTheUnitBox) {
    CanvasSizeDialogModel d(300, 200, 2834);
    EXPECT_EQ(d.Unit(), LengthUnit::Centimeter);
    EXPECT_EQ(d.CurrentWidthText(), "Width:  10.59 Centimeter");
    EXPECT_EQ(d.CurrentHeightText(), "Height:  7.06 Centimeter");
    EXPECT_DOUBLE_EQ(d.ShownWidth(), double(CanvasSizeD2(float(300.0 / 2834 * 100))));
    d.SetUnit(LengthUnit::Pixels);
    EXPECT_EQ(d.CurrentWidthText(), "Width:  300 Pixels");
    EXPECT_EQ(d.CurrentHeightText(), "Height:  200 Pixels");
    EXPECT_EQ(d.ShownWidth(), 300.0);
    d.SetUnit(LengthUnit::Inch);
    EXPECT_EQ(d.CurrentWidthText(), "Width:  4.17 Inch");
}

TEST(CanvasSizeDialog, EditsConvertByTruncationAndCheckTheLimits) {
    ScopedRecordingMessages messages;
    CanvasSizeDialogModel d(300, 200, 2834);
    EXPECT_TRUE(d.EditWidth(5.0));  // 5 cm at 28.34 px/cm = 141.7 -> 141
    EXPECT_EQ(d.NewWidth(), 141);
    d.SetUnit(LengthUnit::Inch);
    EXPECT_TRUE(d.EditHeight(3.0));  // 3 in = 215.95 -> 215
    EXPECT_EQ(d.NewHeight(), 215);
    d.SetUnit(LengthUnit::Pixels);
    EXPECT_FALSE(d.EditWidth(0.02));  // below 0.04: the dialog's range check tells the user
    EXPECT_FALSE(d.EditWidth(10000.5));
    EXPECT_TRUE(messages.Entries().empty());
    // In range but no whole pixel, or a side past 10,000 pixels: refused with a reason.
    EXPECT_FALSE(d.EditWidth(0.5));
    EXPECT_EQ(messages.Last(), "The new image should be at least 1 pixel wide and high!");
    d.SetUnit(LengthUnit::Centimeter);
    EXPECT_FALSE(d.EditWidth(5000));  // 141,700 pixels
    EXPECT_NE(messages.Last().find("not more than 10,000 pixels"), std::string::npos);
    EXPECT_EQ(d.NewWidth(), 141);
    d.SetUnit(LengthUnit::Pixels);
    EXPECT_TRUE(d.EditWidth(10000));
    EXPECT_FALSE(d.EditHeight(2001));  // 20,010,000 pixels
    EXPECT_EQ(messages.Last(),
              "The new image should not more than 20 million pixels, need re-set the size!");
    EXPECT_EQ(d.NewWidth(), 300);
    EXPECT_EQ(d.NewHeight(), 200);
    EXPECT_EQ(d.ShownWidth(), 300.0);
    EXPECT_TRUE(d.EditHeight(2000));  // exactly 20,000,000 with width 10,000 is allowed
    EXPECT_TRUE(d.EditWidth(10000));
    EXPECT_EQ(d.NewWidth(), 10000);
    EXPECT_EQ(d.NewHeight(), 2000);
}

TEST(CanvasSizeDialog, OkAsksBeforeCuttingAndCancelKeepsEverything) {
    ScopedRecordingMessages messages;
    CanvasSizeDialogModel d(300, 200, 2834);
    EXPECT_EQ(d.Ok(), CanvasSizeDialogModel::Outcome::Unchanged);
    d.SetUnit(LengthUnit::Pixels);
    d.EditWidth(400);
    EXPECT_EQ(d.Ok(), CanvasSizeDialogModel::Outcome::Change);
    EXPECT_TRUE(messages.Entries().empty());  // growing asks nothing
    d.EditHeight(150);
    messages.QueueAnswer(Answer::Cancel);
    EXPECT_EQ(d.Ok(), CanvasSizeDialogModel::Outcome::Cancelled);
    EXPECT_EQ(messages.Last(),
              "The new size is less than the current size, the image will be cut! Whether to "
              "continue?");
    EXPECT_EQ(d.Ok(), CanvasSizeDialogModel::Outcome::Change);  // unanswered: OK
}

class CanvasSizeTest : public test::GeometryTest {};

TEST_F(CanvasSizeTest, ASmallerCanvasKeepsThePixelsOutsideAndTheTopLeftCorner) {
    MakeDocument(20, 16, Distinct);
    const LayerPtr bottom = layers->LayerAt(0);
    const LayerPtr mid = AddPixelLayer({12, 3, 19, 9}, Distinct);
    const LayerPtr text = AddTextLayer("T", 3, 4, 10);
    const LayerPtr curve = AddCurveLayer({{1, 1}, {6, 1}, {6, 5}});
    const test::DocumentFacts before = Facts();

    ASSERT_EQ(ChangeCanvasSize(*history, 10, 8), 1);
    EXPECT_EQ(image.width, 10);
    EXPECT_EQ(image.height, 8);
    EXPECT_EQ(LastStateName(), "Canvas Size");
    // Pixel layers go on as they are, their parts outside the canvas included.
    EXPECT_EQ(layers->LayerAt(0), bottom);
    EXPECT_EQ(layers->LayerAt(1), mid);
    EXPECT_EQ(mid->Bounds(), (Rect{12, 3, 19, 9}));
    EXPECT_EQ(ReadPixels(*mid), before.layers[1].pixels);
    // Text and curves are drawn again over the new canvas, their anchors where they were.
    const LayerPtr t = layers->LayerAt(2), c = layers->LayerAt(3);
    EXPECT_NE(t, text);
    EXPECT_EQ(t->Width(), 10);
    EXPECT_EQ(t->Height(), 8);
    EXPECT_EQ(t->Text(), text->Text());
    EXPECT_EQ(c->Anchors(), curve->Anchors());
    EXPECT_EQ(c->Width(), 10);
    EXPECT_TRUE(c->IsCurrent());

    // Growing again shows everything that was kept.
    ASSERT_EQ(ChangeCanvasSize(*history, 20, 16), 1);
    EXPECT_EQ(ReadPixels(*layers->LayerAt(0)), before.layers[0].pixels);
    EXPECT_EQ(ReadPixels(*layers->LayerAt(1)), before.layers[1].pixels);

    Undo();
    Undo();
    EXPECT_EQ(Facts(), before);
    EXPECT_EQ(host.canvasChanges, 4);
}

TEST_F(CanvasSizeTest, UndoMakesTheLayerAtTheRecordedPositionCurrent) {
    MakeDocument(12, 12, Distinct);
    const LayerPtr a = AddPixelLayer({0, 0, 4, 4}, Distinct);
    const LayerPtr b = AddPixelLayer({2, 2, 6, 6}, Distinct);
    layers->SelectLayerById(a->Id(), 0, 0);
    ASSERT_EQ(ChangeCanvasSize(*history, 30, 30), 1);
    EXPECT_EQ(history->States().back().index, 1);
    // The user picks another layer; the pixel objects are shared by both lists.
    layers->SelectLayerById(b->Id(), 0, 0);
    Undo();
    EXPECT_EQ(image.width, 12);
    EXPECT_EQ(layers->CurrentIndex(), 1);
    int current = 0;
    for (const LayerPtr& l : layers->Layers()) current += l->IsCurrent();
    EXPECT_EQ(current, 1);
    Redo();
    EXPECT_EQ(image.width, 30);
    EXPECT_EQ(layers->CurrentIndex(), 1);
}

TEST_F(CanvasSizeTest, SizesOutOfRangeAreRefused) {
    MakeDocument(12, 12);
    const test::DocumentFacts before = Facts();
    EXPECT_EQ(ChangeCanvasSize(*history, 0, 5), 0);
    EXPECT_EQ(ChangeCanvasSize(*history, 10001, 5), 0);
    EXPECT_EQ(ChangeCanvasSize(*history, 5000, 4001), 0);
    EXPECT_EQ(Facts(), before);
    EXPECT_EQ(LastStateName(), "New Image");
}

TEST(PrintSizeDialog, StartsFromTheDocumentResolution) {
    PrintSizeDialogModel d(300, 200, 2834);
    EXPECT_EQ(d.PixelSizeText(), "Width:300 Height:200  (Pixels)");
    EXPECT_EQ(d.ResolutionText(), "72");  // trunc(71.98 + 0.7)
    EXPECT_EQ(d.WidthText(), "10.59");
    EXPECT_EQ(d.HeightText(), "7.06");
    d.SetResolutionUnit(DensityUnit::PixelsPerCentimeter);
    EXPECT_EQ(d.ResolutionText(), "28");  // 2834 / 100
    d.SetUnit(LengthUnit::Inch);
    EXPECT_EQ(d.WidthText(), "4.17");
    // OK without an edit keeps the resolution (the shown 72 would come back as 2835).
    EXPECT_FALSE(d.Ok());
}

TEST(PrintSizeDialog, EditsKeepTheRatioAndGiveTheResolution) {
    PrintSizeDialogModel d(300, 200, 2834);
    ASSERT_TRUE(d.EditWidth(2.54 * 2));  // 300 pixels over 2 inches
    EXPECT_DOUBLE_EQ(d.PrintHeight(), 2.54 * 2 * 200 / 300);
    EXPECT_NEAR(d.ResolutionValue(), 150.0, 1e-9);
    EXPECT_EQ(d.Ok(), int32_t(150 * 39.37008 + 0.5));
    ASSERT_TRUE(d.EditHeight(10.0));  // 200 px over 10 cm = 20 px/cm
    EXPECT_DOUBLE_EQ(d.PrintWidth(), 15.0);
    EXPECT_NEAR(d.ResolutionValue(), 50.8, 1e-9);
    d.SetResolutionUnit(DensityUnit::PixelsPerCentimeter);
    EXPECT_NEAR(d.ResolutionValue(), 20.0, 1e-9);
    EXPECT_EQ(d.Ok(), 2000);
    ASSERT_TRUE(d.EditResolution(100.0));  // 100 px/cm
    EXPECT_DOUBLE_EQ(d.PrintWidth(), 3.0);
    EXPECT_DOUBLE_EQ(d.PrintHeight(), 2.0);
    EXPECT_FALSE(d.EditWidth(3000.0));
    EXPECT_FALSE(d.EditWidth(0.001));
    EXPECT_FALSE(d.EditResolution(10000.0));
}

TEST(PrintSizeDialog, TheSameResolutionOrOneOutOfRangeIsNoChange) {
    PrintSizeDialogModel d(300, 200, 2000);
    d.SetResolutionUnit(DensityUnit::PixelsPerCentimeter);
    ASSERT_TRUE(d.EditResolution(20.0));
    EXPECT_FALSE(d.Ok());  // 2000 already
    ASSERT_TRUE(d.EditResolution(0.004 + 0.01));
    EXPECT_EQ(d.Ok(), 1);  // trunc(1.4 + 0.5)
    ASSERT_TRUE(d.EditResolution(9999.0));
    EXPECT_FALSE(d.Ok());  // 999,900 pixels per metre is past the limit
}

}  // namespace
}  // namespace zelvo
