#include <gtest/gtest.h>

#include "HistoryTestSupport.h"
#include "history/HistoryCommands.h"
#include "history/LayerOpacity.h"

namespace zelvo {
namespace {

using test::HistoryTest;

class Commands : public HistoryTest {};

TEST_F(Commands, NoDocumentDisablesEverythingAndReadsUndo) {
    EXPECT_FALSE(UndoRedoState(nullptr).enabled);
    EXPECT_EQ(UndoRedoState(nullptr).text, "Undo\tCtrl+Z");
    EXPECT_FALSE(StepForwardState(nullptr).enabled);
    EXPECT_FALSE(StepBackwardState(nullptr).enabled);
}

TEST_F(Commands, WithOneStateUndoIsDisabledAndReadsUndo) {
    OpenImage(Rgb(0, 0, 0));
    EXPECT_FALSE(UndoRedoState(history.get()).enabled);
    EXPECT_EQ(UndoRedoState(history.get()).text, "Undo\tCtrl+Z");
    EXPECT_EQ(UndoRedo(*history), 0);
    EXPECT_FALSE(StepForwardState(history.get()).enabled);
    EXPECT_FALSE(StepBackwardState(history.get()).enabled);
}

TEST_F(Commands, CtrlZTogglesTheLastStep) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerOpacityControl opacity(*history);
    opacity.SetLayerOpacity(30, 1);
    EXPECT_EQ(UndoRedoState(history.get()).text, "Undo\tCtrl+Z");
    EXPECT_TRUE(UndoRedoState(history.get()).enabled);
    EXPECT_EQ(UndoRedo(*history), 1);
    EXPECT_EQ(first->Opacity(), 100);
    EXPECT_EQ(history->CurrentStateIndex(), 1);
    EXPECT_EQ(UndoRedoState(history.get()).text, "Redo\tCtrl+Z");
    EXPECT_EQ(UndoRedo(*history), 1);
    EXPECT_EQ(first->Opacity(), 30);
    EXPECT_EQ(history->CurrentStateIndex(), 2);
    EXPECT_GE(host.redraws, 2);
}

TEST_F(Commands, StepsStopAtStateOneAndAtTheNewest) {
    OpenImage(Rgb(0, 0, 0));
    for (int i = 0; i < 22; ++i) NewPixelLayer(Rgb(0, 0, 0), 100, 1, 1);
    ASSERT_EQ(history->StateCount(), 20);
    EXPECT_FALSE(StepBackwardState(history.get()).enabled);
    EXPECT_EQ(StepBackward(*history), 0);
    int moves = 0;
    while (StepForward(*history) == 1) ++moves;
    EXPECT_EQ(moves, 19);
    EXPECT_EQ(history->CurrentStateIndex(), 1);
    EXPECT_FALSE(history->ShowingStart());  // never the start row
    EXPECT_EQ(layers->LayerCount(), 4);     // the opened layer and the first three kept
    EXPECT_EQ(StepBackward(*history), 1);
    EXPECT_EQ(history->CurrentStateIndex(), 2);
    EXPECT_EQ(layers->LayerCount(), 5);
}

TEST_F(Commands, BusyToolBlocksTheCommands) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(0, 0, 0), 100);
    host.toolBusy = true;
    EXPECT_EQ(UndoRedo(*history), 0);
    EXPECT_EQ(StepForward(*history), 0);
    EXPECT_EQ(history->DeleteCurrentState(), 0);
    EXPECT_EQ(history->CurrentStateIndex(), 2);
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(Commands, DeleteAsksAndNoChangesNothing) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(0, 0, 0), 100);
    messages.QueueAnswer(Answer::No);
    EXPECT_EQ(history->DeleteCurrentState(), 0);
    EXPECT_EQ(messages.Last(), "Whether delete history record?");
    EXPECT_EQ(history->StateCount(), 2);
    EXPECT_EQ(layers->LayerCount(), 2);
}

TEST_F(Commands, DeleteRemovesTheCurrentStateAndEverythingAfterIt) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(0, 0, 0), 100);
    NewPixelLayer(Rgb(0, 0, 0), 100);
    NewPixelLayer(Rgb(0, 0, 0), 100);
    history->GoToState(3, 0);
    EXPECT_EQ(history->DeleteCurrentState(), 1);
    EXPECT_EQ(history->StateCount(), 2);
    EXPECT_EQ(history->CurrentStateIndex(), 2);
    EXPECT_EQ(layers->LayerCount(), 2);
    EXPECT_EQ(store->UsedCount(), 3u);  // two layers and the display buffer
}

TEST_F(Commands, DeletingStateOneLeavesTheStartRowWithAnEmptyList) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    EXPECT_EQ(history->DeleteCurrentState(), 1);
    EXPECT_EQ(history->StateCount(), 0);
    EXPECT_TRUE(history->ShowingStart());
    EXPECT_EQ(HistoryPalette::ShownRow(*history), 0);
    EXPECT_EQ(layers->LayerAt(0), first);
    EXPECT_FALSE(UndoRedoState(history.get()).enabled);
    // The next recorded state becomes state 1.
    NewPixelLayer(Rgb(0, 0, 0), 100);
    EXPECT_EQ(history->StateCount(), 1);
    EXPECT_FALSE(history->ShowingStart());
}

TEST_F(Commands, PaletteRowsTextsAndShownRow) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(0, 0, 0), 100);
    history->RecordState(layers->LayerAt(1), {}, kStateMoveUp, 1, "", ExtraValues({1}));
    ASSERT_EQ(HistoryPalette::RowCount(*history), 4);
    EXPECT_EQ(HistoryPalette::RowText(*history, 0), "##Start:  Open New Image");
    EXPECT_EQ(HistoryPalette::RowText(*history, 1), "New Image");
    EXPECT_EQ(HistoryPalette::RowText(*history, 2), "Duplicate Layer");
    EXPECT_EQ(HistoryPalette::RowText(*history, 3), "Move Up Layer");
    EXPECT_EQ(HistoryPalette::ShownRow(*history), 3);
    history->GoToState(0, 0);
    EXPECT_EQ(HistoryPalette::ShownRow(*history), 0);
    EXPECT_EQ(HistoryPalette::RowRect(*history, 2), (Rect{0, 50, 180, 75}));
}

TEST_F(Commands, PaletteHitTestingUsesTheScrollOffset) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(0, 0, 0), 100);
    // Rows 0..2; row r spans y in (25r, 25r + 25].
    struct Row {
        int y;
        int row;
    };
    for (const Row r :
         {Row{-3, -1}, Row{0, -1}, Row{1, 0}, Row{25, 0}, Row{26, 1}, Row{75, 2}, Row{76, -1}}) {
        EXPECT_EQ(HistoryPalette::RowAt(*history, r.y), r.row) << r.y;
    }
    history->SetScrollOffset(30);
    EXPECT_EQ(HistoryPalette::RowAt(*history, 1), 1);
    EXPECT_EQ(HistoryPalette::RowAt(*history, 45), 2);
    EXPECT_EQ(HistoryPalette::RowAt(*history, 46), -1);
    EXPECT_EQ(HistoryPalette::Click(*history, 1), 1);
    EXPECT_EQ(history->CurrentStateIndex(), 1);
    EXPECT_EQ(HistoryPalette::Click(*history, 46), -1);
    EXPECT_EQ(HistoryPalette::Click(*history, -29), 0);
    EXPECT_TRUE(history->ShowingStart());
}

TEST_F(Commands, ScrollBarNeedsFourStates) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(0, 0, 0), 100);
    NewPixelLayer(Rgb(0, 0, 0), 100);
    EXPECT_FALSE(HistoryPalette::Scroll(*history).enabled);
    NewPixelLayer(Rgb(0, 0, 0), 100);
    const HistoryPalette::ScrollRange s = HistoryPalette::Scroll(*history);
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.minimum, 0);
    EXPECT_EQ(s.maximum, 100);
    EXPECT_EQ(s.page, 75);
}

TEST_F(Commands, OpacityDragRecordsOneStateWithTheValueBeforeTheDrag) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerOpacityControl opacity(*history);
    opacity.SetLayerOpacity(90, 0);
    opacity.SetLayerOpacity(70, 0);
    EXPECT_EQ(history->StateCount(), 1);
    opacity.SetLayerOpacity(140, 1);  // clamped
    EXPECT_EQ(first->Opacity(), 100);
    opacity.SetLayerOpacity(20, 1);
    ASSERT_EQ(history->StateCount(), 2);  // the two final values coalesce
    EXPECT_EQ(history->States()[1].name, "Set Layer Opacity");
    EXPECT_EQ(history->States()[1].opacity, 100);
    EXPECT_EQ(first->Opacity(), 20);
    history->GoToState(1, 0);
    EXPECT_EQ(first->Opacity(), 100);
    // A click on the handle that moves nothing records nothing: the step stays redoable.
    const std::string before = UndoRedoState(history.get()).text;
    opacity.SetLayerOpacity(100, 1);
    EXPECT_EQ(UndoRedoState(history.get()).text, before);
    EXPECT_EQ(history->StateCount(), 2);
    EXPECT_EQ(UndoRedo(*history), 1);
    EXPECT_EQ(first->Opacity(), 20);
}

}  // namespace
}  // namespace zelvo
