#include <gtest/gtest.h>

#include "HistoryTestSupport.h"

namespace zelvo {
namespace {

using test::HistoryTest;

class Record : public HistoryTest {
protected:
    // Records a "Move Layer" of `layer` to (x, y) as the move tool does.
    void MoveTo(const LayerPtr& layer, int32_t x, int32_t y) {
        const Point old = layer->Position();
        layer->SetPosition(x, y);
        StateExtra extra;
        extra.values = {old.x, old.y};
        history->RecordState(layer, {}, kStateMoveLayer, layers->IndexOf(layer.get()), "Move Layer",
                             extra);
    }
};

TEST_F(Record, FirstStateTakesTheStartSnapshotAndLeavesTheDocumentUnmodified) {
    LayerPtr first = OpenImage(Rgb(10, 20, 30));
    ASSERT_EQ(history->StateCount(), 1);
    EXPECT_EQ(history->States()[0].id, 1u);
    EXPECT_EQ(history->States()[0].current, 1);
    EXPECT_EQ(history->CurrentStateIndex(), 1);
    EXPECT_EQ(host.modifiedSets, 0);
    ASSERT_TRUE(history->HasStartSnapshot());
    ASSERT_EQ(history->StartLayers().size(), 1u);
    EXPECT_EQ(history->StartLayers()[0].layer, first);
    EXPECT_EQ(history->StartWidth(), kW);
    EXPECT_EQ(history->StartHeight(), kH);

    NewPixelLayer(Rgb(1, 2, 3), 100);
    EXPECT_EQ(host.modifiedSets, 1);
    EXPECT_TRUE(host.modified);
    EXPECT_EQ(history->States()[1].id, 2u);
    EXPECT_EQ(history->CurrentStateIndex(), 2);
    EXPECT_EQ(history->States()[0].current, 0);
}

TEST_F(Record, TwentyFirstStateDropsTheOldestAndIdsAreNeverReused) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    for (int i = 0; i < 20; ++i) NewPixelLayer(Rgb(0, 0, 0), 100, 1, 1);
    ASSERT_EQ(history->StateCount(), HistoryManager::kMaxStates);
    EXPECT_EQ(history->States().front().id, 2u);
    EXPECT_EQ(history->States().back().id, 21u);
    EXPECT_EQ(history->LastId(), 21u);
    // The start row still shows the image as opened: one layer.
    EXPECT_TRUE(history->HasStartSnapshot());
    EXPECT_EQ(history->StartLayers().size(), 1u);
    history->GoToState(0, 0);
    EXPECT_EQ(layers->LayerCount(), 1);
    EXPECT_EQ(layers->LayerAt(0), first);
}

TEST_F(Record, FiveMovesOfOneLayerCoalesceAndUndoRestoresTheFirstPosition) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(255, 0, 0), 100, 2, 2, 1, 1);
    for (int i = 1; i <= 5; ++i) MoveTo(a, 1 + i, 1 + 2 * i);
    ASSERT_EQ(history->StateCount(), 3);
    EXPECT_EQ(history->States().back().kind, kStateMoveLayer);
    EXPECT_EQ(history->States().back().offsetX, 1);
    EXPECT_EQ(history->States().back().offsetY, 1);
    history->GoToState(2, 1);
    EXPECT_EQ(a->Position(), (Point{1, 1}));
    EXPECT_EQ(a->Bounds(), (Rect{1, 1, 3, 3}));
    history->GoToState(3, 1);
    EXPECT_EQ(a->Position(), (Point{6, 11}));
}

TEST_F(Record, MovingAnotherLayerInBetweenGivesSeparateStates) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(255, 0, 0), 100, 2, 2);
    LayerPtr b = NewPixelLayer(Rgb(0, 255, 0), 100, 2, 2);
    MoveTo(a, 1, 0);
    MoveTo(b, 2, 0);
    MoveTo(a, 3, 0);
    EXPECT_EQ(history->StateCount(), 6);
}

TEST_F(Record, TwoMoveUpStepsOfOneLayerGiveOneStateWithTwoSteps) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(1, 1, 1), 100);
    NewPixelLayer(Rgb(2, 2, 2), 100);
    // Move the bottom layer up twice, one step at a time.
    layers->SelectLayerById(first->Id(), 0, 0);
    for (int step = 1; step <= 2; ++step) {
        const int at = layers->IndexOf(first.get());
        LayerPtr l = layers->RemoveAt(at);
        layers->InsertAt(at + 1, l);
        StateExtra extra;
        extra.values = {1};
        history->RecordState(first, {}, kStateMoveUp, at + 1, "", extra);
    }
    ASSERT_EQ(history->StateCount(), 4);
    EXPECT_EQ(history->States().back().steps, 2);
    EXPECT_EQ(history->States().back().index, 2);
    EXPECT_EQ(layers->IndexOf(first.get()), 2);
    history->GoToState(3, 0);
    EXPECT_EQ(layers->IndexOf(first.get()), 0);
    EXPECT_TRUE(first->IsCurrent());
    history->GoToState(4, 0);
    EXPECT_EQ(layers->IndexOf(first.get()), 2);
}

TEST_F(Record, CapIsAppliedBeforeCoalescing) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(255, 0, 0), 100, 2, 2);
    for (int i = 0; i < 17; ++i) NewPixelLayer(Rgb(0, 0, 0), 100, 1, 1);
    layers->SelectLayerById(a->Id(), 0, 0);
    MoveTo(a, 1, 1);
    ASSERT_EQ(history->StateCount(), 20);
    const uint32_t oldestBefore = history->States().front().id;
    MoveTo(a, 2, 2);  // coalesces with the newest state, yet the oldest still goes
    EXPECT_EQ(history->StateCount(), 19);
    EXPECT_EQ(history->States().front().id, oldestBefore + 1);
    EXPECT_EQ(history->States().back().offsetX, 0);
}

TEST_F(Record, OpacityStepsCoalesceKeepingTheValueBeforeTheFirst) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    for (int v : {80, 60, 40}) {
        const int32_t before = first->Opacity();
        first->SetOpacity(v);
        StateExtra extra;
        extra.values = {before};
        history->RecordState(first, {}, kStateLayerOpacity, 0, "Set Layer Opacity", extra);
    }
    ASSERT_EQ(history->StateCount(), 2);
    EXPECT_EQ(history->States().back().opacity, 100);
    history->GoToState(1, 0);
    EXPECT_EQ(first->Opacity(), 100);
    history->GoToState(2, 0);
    EXPECT_EQ(first->Opacity(), 40);
}

TEST_F(Record, GoingBackThenRecordingRemovesTheLaterRowsAndFreesTheirLayers) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(1, 1, 1), 100);
    NewPixelLayer(Rgb(2, 2, 2), 100);
    NewPixelLayer(Rgb(3, 3, 3), 100);
    const uint32_t blocks = store->UsedCount();
    history->GoToState(2, 0);
    EXPECT_EQ(layers->LayerCount(), 2);
    EXPECT_EQ(store->UsedCount(), blocks);  // the undone layers live on in their states
    NewPixelLayer(Rgb(9, 9, 9), 100);
    EXPECT_EQ(history->StateCount(), 3);
    EXPECT_EQ(history->States().back().id, 5u);
    EXPECT_EQ(history->CurrentStateIndex(), 3);
    // Two layers left with the removed rows, one came in.
    EXPECT_EQ(store->UsedCount(), blocks - 1);
}

TEST_F(Record, RecordingWhileTheStartRowIsShownDiscardsEveryState) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(1, 1, 1), 100);
    NewPixelLayer(Rgb(2, 2, 2), 100);
    history->GoToState(0, 1);
    EXPECT_TRUE(history->ShowingStart());
    EXPECT_EQ(layers->LayerCount(), 1);
    NewPixelLayer(Rgb(3, 3, 3), 100);
    EXPECT_FALSE(history->ShowingStart());
    ASSERT_EQ(history->StateCount(), 1);
    EXPECT_EQ(history->CurrentStateIndex(), 1);
    EXPECT_EQ(history->States()[0].kind, kStateDuplicateLayer);
    EXPECT_EQ(layers->LayerCount(), 2);
    EXPECT_EQ(layers->LayerAt(0), first);
    // The start layer, the new layer and the display buffer: the set-aside layers are gone.
    EXPECT_EQ(store->UsedCount(), 3u);
}

TEST_F(Record, PaletteScrollsToTheNewestRowPastThreeStates) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(1, 1, 1), 100);
    NewPixelLayer(Rgb(1, 1, 1), 100);
    EXPECT_EQ(history->ScrollOffset(), 0);
    NewPixelLayer(Rgb(1, 1, 1), 100);
    EXPECT_EQ(history->ScrollOffset(), 25 * 4 - 75);
    NewPixelLayer(Rgb(1, 1, 1), 100);
    EXPECT_EQ(history->ScrollOffset(), 25 * 5 - 75);
}

TEST_F(Record, ConsistencyPassReportsABrokenStateLayer) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    messages.Clear();
    a->SetId(-3);  // out of the valid id range
    NewPixelLayer(Rgb(2, 2, 2), 100);
    EXPECT_TRUE(messages.Contains("程序内部出现错误! 1002"));
    a->SetId(5);
}

TEST_F(Record, ConsistencyPassChoosesACurrentLayerWhenNoneIs) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    first->SetCurrent(false);
    NewPixelLayer(Rgb(1, 1, 1), 100);  // inserted at index 0 and made current anyway
    EXPECT_GE(layers->CurrentIndex(), 0);
    layers->LayerAt(layers->CurrentIndex())->SetCurrent(false);
    history->RecordState(nullptr, {}, kStateCanvasOnly, 0, "x", ExtraValues({kW, kH}));
    EXPECT_EQ(layers->CurrentIndex(), 0);
}

TEST_F(Record, DisplayNamesFollowTheKindWhenTheNameIsEmpty) {
    struct Row {
        int32_t kind;
        const char* expected;
    };
    const Row rows[] = {{kStateOpenImage, "Open Image File"},
                        {kStateNewLayer, "New Layer"},
                        {kStateDeleteLayer, "Delete Layer"},
                        {kStateDuplicateLayer, "Duplicate Layer"},
                        {kStateMoveLayer, "Move Layer"},
                        {kStateLayerOpacity, "Set Layer Opacity"},
                        {kStateMoveUp, "Move Up Layer"},
                        {kStateMoveDown, "Move Down Layer"},
                        {kStateNewSelection, "SelectSection"},
                        {kStateModifySelection, "SelectSection"},
                        {kStateDeselect, "CancelSelectSection"},
                        {kStateNewText, "NewTextLayer"},
                        {kStateModifyText, "ModifyText"},
                        {kStateNewCurve, "New Curve Layer"},
                        {kStateModifyCurve, "ModifyLineLayer"},
                        {kStateMoveLinked, "Move Linked Layers"},
                        {kStateMergeLayers, "Merge Layers"},
                        {kStateLayerPixels, ""},
                        {kStateRectPixels, ""}};
    for (const Row& r : rows) {
        HistoryState s;
        s.kind = r.kind;
        EXPECT_EQ(StateDisplayName(s), r.expected) << r.kind;
        s.name = "Brush Tool";
        EXPECT_EQ(StateDisplayName(s), "Brush Tool") << r.kind;
    }
    HistoryState moveSelection;
    moveSelection.kind = kStateMoveLayer;
    moveSelection.layer = std::make_shared<Layer>(*store);
    ASSERT_TRUE(moveSelection.layer->Create(4, 4, LayerKind::Pixel, 0, 8, true));
    EXPECT_EQ(StateDisplayName(moveSelection), "Move Selection");
}

TEST_F(Record, ClearHistoryReleasesEverythingButTheLiveDocument) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(1, 1, 1), 100);
    NewPixelLayer(Rgb(2, 2, 2), 100);
    history->GoToState(1, 0);  // the two new layers now live only in states
    EXPECT_EQ(store->UsedCount(), 4u);
    history->ClearHistory();
    EXPECT_EQ(history->StateCount(), 0);
    EXPECT_FALSE(history->HasStartSnapshot());
    EXPECT_EQ(store->UsedCount(), 2u);  // the live layer and the display buffer
}

TEST_F(Record, ClearHistoryWhileTheStartRowIsShownPutsTheLiveDocumentBack) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    history->GoToState(0, 0);
    EXPECT_EQ(layers->LayerCount(), 1);
    history->ClearHistory();
    EXPECT_FALSE(history->ShowingStart());
    ASSERT_EQ(layers->LayerCount(), 2);
    EXPECT_EQ(layers->LayerAt(1), a);
}

}  // namespace
}  // namespace zelvo
