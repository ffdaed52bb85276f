// Setting the selection, Select All, Deselect, Reselect, Inverse, moving the mask, the menu's
// enabling rules and the dialog models.
#include <algorithm>

#include "selection/SelectionCommands.h"
#include "selection/SelectionDialogs.h"
#include "testsupport/SelectionTestSupport.h"

namespace zelvo::test {
namespace {

using SelectionStateTest = SelectionTest;

TEST_F(SelectionStateTest, MaskIsAnEightBitObjectWithAGreyPaletteAtItsRectangle) {
    LayerPtr m = CreateSelectionMask(*layers, {3, 4, 10, 9});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->BitsPerPixel(), 8);
    EXPECT_EQ(m->Bounds(), (Rect{3, 4, 10, 9}));
    EXPECT_EQ(m->Id(), layers->LastId());
    // The palette sits between the header and the rows: entry i is grey i.
    MappedView view(*store, store->Payload(m->Block()).offset, StoredDib::RowsOffset(8));
    ASSERT_TRUE(view.IsValid());
    for (int i : {0, 50, 100, 255}) {
        const uint8_t* e = view.Data() + 40 + 4 * i;
        EXPECT_EQ(e[0], i);
        EXPECT_EQ(e[1], i);
        EXPECT_EQ(e[2], i);
        EXPECT_EQ(e[3], 0);
    }
    EXPECT_FALSE(CreateSelectionMask(*layers, {5, 5, 5, 9}));
}

TEST_F(SelectionStateTest, TightRectangleHoldsEveryNonZeroByte) {
    Grid g(6, std::vector<int>(8, 0));
    LayerPtr m = MakeMask({2, 3, 10, 9}, g);
    EXPECT_EQ(TightRect(*m), (Rect{}));
    g[1][2] = 1;
    g[4][6] = 100;
    m = MakeMask({2, 3, 10, 9}, g);
    EXPECT_EQ(TightRect(*m), (Rect{4, 4, 9, 8}));
    EXPECT_TRUE(AnyByteAbove(*m, 49));
    EXPECT_FALSE(AnyByteAbove(*m, 100));
    // Single bytes on either side of every eight-byte step of a row of 21.
    for (int x : {0, 6, 7, 8, 9, 15, 16, 19, 20}) {
        Grid row(2, std::vector<int>(21, 0));
        row[1][size_t(x)] = 255;
        m = MakeMask({10, 20, 31, 22}, row);
        EXPECT_EQ(TightRect(*m), (Rect{10 + x, 21, 11 + x, 22})) << x;
        EXPECT_TRUE(AnyByteAbove(*m, 254)) << x;
        row[0][size_t(20 - x)] = 3;
        m = MakeMask({10, 20, 31, 22}, row);
        EXPECT_EQ(TightRect(*m), (Rect{10 + std::min(x, 20 - x), 20, 11 + std::max(x, 20 - x), 22}))
            << x;
    }
}

TEST_F(SelectionStateTest, SetSelectionRecordsNewModifyAndDeselectAndUndoSwapsThem) {
    Grid g = Canvas();
    g[2][3] = 100;
    LayerPtr first = MakeMask({3, 2, 4, 3}, {{100}});
    SetSelection(*history, first, kSelectionNew);
    EXPECT_EQ(layers->Selection(), first);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{3, 2, 4, 3}));
    EXPECT_EQ(LastStateName(), "New Selection");

    LayerPtr second = MakeMask({0, 0, 2, 2}, {{50, 50}, {50, 50}});
    SetSelection(*history, second, kSelectionModify);
    EXPECT_EQ(LastStateName(), "Modify Selection");
    EXPECT_EQ(history->States().back().layer, first);

    SetSelection(*history, nullptr, kSelectionRemove);
    EXPECT_EQ(LastStateName(), "Deselect");
    EXPECT_FALSE(layers->Selection());
    EXPECT_EQ(layers->LastDeselected(), second);
    EXPECT_EQ(layers->DeselectWidth(), kW);

    history->GoToState(history->StateCount() - 1, 0);
    EXPECT_EQ(layers->Selection(), second);
    history->GoToState(history->StateCount() - 2, 0);
    EXPECT_EQ(layers->Selection(), first);
    history->GoToState(history->StateCount() - 3, 0);
    EXPECT_FALSE(layers->Selection());
    history->GoToState(history->StateCount(), 0);
    EXPECT_FALSE(layers->Selection());
}

TEST_F(SelectionStateTest, SelectAllCoversTheCanvasAndInverseThenDeselects) {
    EXPECT_TRUE(SelectionCommandEnabled(SelectionCommand::SelectAll, *history));
    EXPECT_FALSE(SelectionCommandEnabled(SelectionCommand::Inverse, *history));
    ASSERT_EQ(SelectAll(*history), 1);
    EXPECT_EQ(LastStateName(), "Select All");
    EXPECT_EQ(history->States().back().kind, kStateNewSelection);
    EXPECT_EQ(Strengths(), Canvas(100));
    ASSERT_EQ(SelectAll(*history), 1);
    EXPECT_EQ(history->States().back().kind, kStateModifySelection);

    ASSERT_EQ(InverseSelection(*history), 1);
    EXPECT_FALSE(layers->Selection());
    EXPECT_EQ(LastStateName(), "Deselect");
}

TEST_F(SelectionStateTest, InverseGivesOneHundredMinusTheStrengthOverTheNotFullySelected) {
    // Everything at 100 but a feathered patch and the pixels outside the mask.
    Grid g = Canvas(100);
    g[5][6] = 30;
    g[7][9] = 0;
    g[7][10] = 99;
    Select({0, 0, kW, kH}, g);
    ASSERT_EQ(InverseSelection(*history), 1);
    EXPECT_EQ(LastStateName(), "Inverse Selection");
    EXPECT_EQ(layers->SelectionBounds(), (Rect{6, 5, 11, 8}));
    Grid want = Canvas();
    want[5][6] = 70;
    want[7][9] = 100;
    want[7][10] = 1;
    EXPECT_EQ(Strengths(), want);

    // Outside the mask's rectangle the strength is 0, so it inverts to 100.
    Select({2, 2, 4, 4}, Canvas(100));
    ASSERT_EQ(InverseSelection(*history), 1);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{0, 0, kW, kH}));
    Grid inv = Canvas(100);
    for (int y = 2; y < 4; ++y)
        for (int x = 2; x < 4; ++x) inv[size_t(y)][size_t(x)] = 0;
    EXPECT_EQ(Strengths(), inv);
}

TEST_F(SelectionStateTest, ReselectBringsBackACopyOfTheDeselectedMask) {
    Grid g = Canvas();
    g[4][4] = 60;
    g[5][7] = 100;
    Select({4, 4, 8, 6}, g);
    EXPECT_FALSE(SelectionCommandEnabled(SelectionCommand::Reselect, *history));
    ASSERT_EQ(Deselect(*history), 1);
    EXPECT_EQ(Deselect(*history), 0);
    ASSERT_TRUE(SelectionCommandEnabled(SelectionCommand::Reselect, *history));
    const LayerPtr removed = layers->LastDeselected();
    ASSERT_EQ(Reselect(*history), 1);
    EXPECT_EQ(LastStateName(), "Reselect");
    EXPECT_EQ(history->States().back().kind, kStateNewSelection);
    EXPECT_NE(layers->Selection(), removed);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{4, 4, 8, 6}));
    EXPECT_EQ(Strengths(), g);
    // The reselect was itself a selection change: nothing is remembered any more.
    EXPECT_FALSE(layers->LastDeselected());
}

TEST_F(SelectionStateTest, ReselectIsUnavailableAfterACanvasChangeOrAnotherSelectionChange) {
    Select({1, 1, 3, 3}, Canvas(100));
    Deselect(*history);
    image.width = kW + 1;
    EXPECT_FALSE(SelectionCommandEnabled(SelectionCommand::Reselect, *history));
    EXPECT_EQ(Reselect(*history), 0);
    image.width = kW;
    EXPECT_TRUE(SelectionCommandEnabled(SelectionCommand::Reselect, *history));

    SelectAll(*history);
    Deselect(*history);
    Select({1, 1, 3, 3}, Canvas(100));  // another change forgets the deselected mask
    Deselect(*history);
    SelectAll(*history);
    EXPECT_FALSE(layers->LastDeselected());
    Deselect(*history);
    EXPECT_TRUE(layers->LastDeselected());
}

TEST_F(SelectionStateTest, DeselectAgainAfterUndoingADeselectStillOffersReselect) {
    Select({1, 1, 3, 3}, Canvas(100));
    Deselect(*history);
    history->GoToState(history->StateCount() - 1, 0);  // undo: the same mask is current again
    ASSERT_TRUE(layers->Selection());
    // Recording discards the undone deselect state of this very mask; the new one is kept.
    Deselect(*history);
    EXPECT_TRUE(SelectionCommandEnabled(SelectionCommand::Reselect, *history));
    EXPECT_EQ(Reselect(*history), 1);
}

TEST_F(SelectionStateTest, DroppingTheDeselectStateFromTheHistoryForgetsTheMask) {
    Select({1, 1, 3, 3}, Canvas(100));
    Deselect(*history);
    ASSERT_TRUE(layers->LastDeselected());
    history->ClearHistory();
    EXPECT_FALSE(layers->LastDeselected());
}

TEST_F(SelectionStateTest, MovingTheMaskRecordsOneMoveSelectionAndUndoPutsItBack) {
    Select({2, 3, 6, 5}, Canvas(100));
    const int before = history->StateCount();
    EXPECT_EQ(MoveSelection(*history, 0, 0), 0);
    ASSERT_EQ(MoveSelection(*history, 3, -1), 1);
    ASSERT_EQ(MoveSelection(*history, 1, 0), 1);  // a drag coalesces
    EXPECT_EQ(history->StateCount(), before + 1);
    EXPECT_EQ(LastStateName(), "Move Selection");
    EXPECT_EQ(layers->SelectionBounds(), (Rect{6, 2, 10, 4}));
    history->GoToState(before, 0);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{2, 3, 6, 5}));
    EXPECT_EQ(layers->Selection()->Bounds(), (Rect{2, 3, 6, 5}));
}

TEST_F(SelectionStateTest, EnablingFollowsTheSelectionTheLayerKindAndTheTool) {
    using C = SelectionCommand;
    for (C c : {C::Deselect, C::Inverse, C::Feather, C::Expand, C::Contract, C::Clear})
        EXPECT_FALSE(SelectionCommandEnabled(c, *history));
    EXPECT_TRUE(SelectionCommandEnabled(C::DrawBorder, *history));  // a pixel layer
    EXPECT_TRUE(SelectionCommandEnabled(C::LayerToSelection, *history));
    SelectAll(*history);
    for (C c : {C::Deselect, C::Inverse, C::Feather, C::Expand, C::Contract, C::Clear})
        EXPECT_TRUE(SelectionCommandEnabled(c, *history));
    host.toolBusy = true;
    for (C c : {C::SelectAll, C::Deselect, C::Clear, C::DrawBorder, C::LayerToSelection})
        EXPECT_FALSE(SelectionCommandEnabled(c, *history));
    host.toolBusy = false;

    // A null layer: Draw Border only with a selection, no Clear, no conversion.
    auto null = std::make_shared<Layer>(*store);
    null->Create(0, 0, LayerKind::Null, layers->NextId());
    layers->InsertAt(1, null);
    layers->SelectLayerById(null->Id(), 0, 0);
    EXPECT_TRUE(SelectionCommandEnabled(C::DrawBorder, *history));
    EXPECT_FALSE(SelectionCommandEnabled(C::Clear, *history));
    EXPECT_FALSE(SelectionCommandEnabled(C::LayerToSelection, *history));
    Deselect(*history);
    EXPECT_FALSE(SelectionCommandEnabled(C::DrawBorder, *history));
}

TEST(SelectionDialogsTest, RangesDefaultsAndTheRangeCheck) {
    ScopedRecordingMessages messages;
    FeatherDialogModel feather;
    EXPECT_EQ(feather.radius, 2);
    EXPECT_EQ(std::string(feather.kHint), "( 0---100 Pixels )");
    EXPECT_EQ(feather.Ok(), 2);
    feather.radius = 0;
    EXPECT_EQ(feather.Ok(), 0);
    feather.radius = 101;
    EXPECT_EQ(feather.Ok(), std::nullopt);
    EXPECT_EQ(messages.Last(), "Please enter an integer between 0 and 100.");

    ExpandContractDialogModel expand(false), contract(true);
    EXPECT_EQ(expand.Title(), "Expand Selection");
    EXPECT_EQ(expand.Label(), "Expand:");
    EXPECT_EQ(contract.Title(), "Contract Selection");
    EXPECT_EQ(contract.Label(), "Contract:");
    EXPECT_EQ(std::string(expand.kHint), "( 1---50 Pixels )");
    EXPECT_EQ(expand.Ok(), 1);
    contract.pixels = 50;
    EXPECT_EQ(contract.Ok(), 50);
    contract.pixels = 0;
    EXPECT_EQ(contract.Ok(), std::nullopt);
    EXPECT_EQ(messages.Last(), "Please enter an integer between 1 and 50.");

    DrawBorderDialogModel border(Rgb(1, 2, 3));
    EXPECT_EQ(border.width, 1);
    EXPECT_EQ(border.opacity, 100);
    auto values = border.Ok();
    ASSERT_TRUE(values);
    EXPECT_EQ(values->color, Rgb(1, 2, 3));
    border.opacity = 101;
    EXPECT_FALSE(border.Ok());
    border.opacity = 0;
    border.width = 51;
    EXPECT_FALSE(border.Ok());
    border.width = 50;
    EXPECT_TRUE(border.Ok());
}

}  // namespace
}  // namespace zelvo::test
