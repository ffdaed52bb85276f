#include <gtest/gtest.h>

#include "HistoryTestSupport.h"
#include "history/PixelEdit.h"

namespace zelvo {
namespace {

using test::HistoryTest;
using test::PixelAt;
using test::SetPixel;

class PixelEditTest : public HistoryTest {
protected:
    void SetUp() override {
        HistoryTest::SetUp();
        edit = std::make_unique<PixelEdit>(*layers, *history);
    }
    void TearDown() override {
        edit.reset();
        HistoryTest::TearDown();
    }
    std::unique_ptr<PixelEdit> edit;
};

TEST_F(PixelEditTest, LayerEditReplacesTheCurrentLayerAndUndoSwapsItBack) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    first->SetOpacity(70);
    first->SetPosition(1, 2);
    first->SetSerial(33);
    LayerPtr fresh = edit->BeginLayerEdit();
    ASSERT_TRUE(fresh);
    EXPECT_EQ(layers->LayerAt(0), fresh);
    EXPECT_NE(fresh->Id(), first->Id());
    EXPECT_EQ(fresh->Serial(), 33);
    EXPECT_EQ(fresh->Opacity(), 70);
    EXPECT_EQ(fresh->Position(), (Point{1, 2}));
    EXPECT_EQ(fresh->Width(), kW);
    EXPECT_TRUE(fresh->IsCurrent());
    ASSERT_TRUE(fresh->FillColor(Rgb(255, 255, 255), 100, 70, false));
    EXPECT_EQ(edit->CommitLayerEdit(1, ""), 1);
    EXPECT_FALSE(edit->IsOpen());
    ASSERT_EQ(history->StateCount(), 2);
    EXPECT_EQ(history->States()[1].kind, kStateLayerPixels);
    EXPECT_EQ(history->States()[1].name, "Modify");
    EXPECT_EQ(history->States()[1].layer, first);

    history->GoToState(1, 1);
    EXPECT_EQ(layers->LayerAt(0), first);
    EXPECT_EQ(PixelAt(*first, 0, 0), StoredDib::PixelWord(0, 100));
    history->GoToState(2, 1);
    EXPECT_EQ(layers->LayerAt(0), fresh);
    EXPECT_EQ(PixelAt(*fresh, 0, 0), StoredDib::PixelWord(Rgb(255, 255, 255), 100));
}

TEST_F(PixelEditTest, CancelledLayerEditPutsTheOldObjectBackAndFreesTheNew) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    const uint32_t used = store->UsedCount();
    std::weak_ptr<Layer> weak = edit->BeginLayerEdit();
    EXPECT_EQ(store->UsedCount(), used + 1);
    EXPECT_EQ(edit->CommitLayerEdit(0), 1);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(layers->LayerAt(0), first);
    EXPECT_EQ(store->UsedCount(), used);
    EXPECT_EQ(history->StateCount(), 1);
}

TEST_F(PixelEditTest, RectEditKeepsTheOldPixelsWhereTheyOverlap) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    SetPixel(*first, 3, 2, StoredDib::PixelWord(Rgb(9, 8, 7), 55));
    LayerPtr grown = edit->BeginRectEdit(2, 1, 12, 4, 1);
    ASSERT_TRUE(grown);
    EXPECT_EQ(grown->Bounds(), (Rect{2, 1, 12, 4}));
    EXPECT_EQ(PixelAt(*grown, 1, 1), StoredDib::PixelWord(Rgb(9, 8, 7), 55));
    EXPECT_EQ(PixelAt(*grown, 0, 0), StoredDib::PixelWord(0, 100));
    EXPECT_EQ(PixelAt(*grown, 9, 2), 0u);  // past the old layer: transparent
    EXPECT_EQ(edit->CommitLayerEdit(1, "Paint Bucket Tool"), 1);
    EXPECT_EQ(history->States().back().name, "Paint Bucket Tool");
}

TEST_F(PixelEditTest, RectEditOfKindZeroMakesANullLayer) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr null = edit->BeginRectEdit(0, 0, 0, 0, 0, 0);
    ASSERT_TRUE(null);
    EXPECT_EQ(null->Kind(), LayerKind::Null);
    EXPECT_FALSE(null->HasPixels());
    EXPECT_EQ(edit->CommitLayerEdit(1, "Clear transparent border"), 1);
    history->GoToState(1, 0);
    EXPECT_EQ(layers->LayerAt(0)->Kind(), LayerKind::Pixel);
}

TEST_F(PixelEditTest, StrokeRectRecordsTheOldPixelsAndUndoRestoresThem) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    const uint32_t black = StoredDib::PixelWord(0, 100);
    const uint32_t paint = StoredDib::PixelWord(Rgb(200, 0, 0), 100);
    LayerPtr rect = edit->BeginStrokeRect(1, 1, 4, 3);
    ASSERT_TRUE(rect);
    EXPECT_EQ(layers->LayerCount(), 1);  // not in the list
    // The tool: touched pixels keep the old value in the rectangle, the layer takes the paint.
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) {
            if (c == r) {
                SetPixel(*rect, c, r, PixelAt(*first, 1 + c, 1 + r));
                SetPixel(*first, 1 + c, 1 + r, paint);
            } else {
                SetPixel(*rect, c, r, uint32_t(kUntouchedAlpha) << 24);
            }
        }
    EXPECT_EQ(edit->CommitRectEdit(1, "Brush Tool"), 1);
    ASSERT_EQ(history->States().back().kind, kStateRectPixels);
    EXPECT_EQ(history->States().back().name, "Brush Tool");
    history->GoToState(1, 1);
    for (int r = 0; r < kH; ++r)
        for (int c = 0; c < kW; ++c) EXPECT_EQ(PixelAt(*first, c, r), black);
    history->GoToState(2, 1);
    EXPECT_EQ(PixelAt(*first, 1, 1), paint);
    EXPECT_EQ(PixelAt(*first, 2, 2), paint);
    EXPECT_EQ(PixelAt(*first, 2, 1), black);
}

TEST_F(PixelEditTest, MisuseShowsItsInternalError) {
    OpenImage(Rgb(0, 0, 0));
    EXPECT_EQ(edit->CommitRectEdit(1), 0);
    EXPECT_EQ(messages.Last(), "程序内部出现错误! 1024");
    EXPECT_EQ(edit->CommitLayerEdit(1), 0);
    EXPECT_EQ(messages.Last(), "程序内部出现错误! 1027");
    ASSERT_TRUE(edit->BeginLayerEdit());
    EXPECT_FALSE(edit->BeginRectEdit(0, 0, 2, 2, 1));
    EXPECT_EQ(messages.Last(), "程序内部出现错误! 1025");
    EXPECT_FALSE(edit->BeginLayerEdit());
    EXPECT_EQ(messages.Last(), "程序内部出现错误! 1026");
    // A layer edit is not committed as a rectangle.
    EXPECT_EQ(edit->CommitRectEdit(1), 0);
    EXPECT_EQ(messages.Last(), "程序内部出现错误! 1024");
    EXPECT_EQ(edit->CommitLayerEdit(0), 1);
    EXPECT_EQ(history->StateCount(), 1);
}

TEST_F(PixelEditTest, CommitHandsTheLinkGroupToTheNewObject) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    for (const LayerPtr& l : {first, a}) {
        l->LinkIds()[0] = uint16_t(first->Id());
        l->LinkIds()[1] = uint16_t(a->Id());
        l->SetLinkCount(2);
    }
    LayerPtr fresh = edit->BeginLayerEdit();
    ASSERT_TRUE(fresh);
    edit->CommitLayerEdit(1, "Invert Color");
    EXPECT_EQ(fresh->LinkCount(), 2);
    EXPECT_EQ(fresh->LinkIds()[1], uint16_t(fresh->Id()));
    EXPECT_EQ(first->LinkIds()[1], uint16_t(fresh->Id()));
    EXPECT_EQ(first->LinkCount(), 2);
}

}  // namespace
}  // namespace zelvo
