// Curve layers in the history: new layers, anchor edits as curve snapshots (their block layout
// and their undo and redo), cancel, and the fill and colour options.
#include <gtest/gtest.h>

#include "core/InternalError.h"
#include "curves/CurveSnapshot.h"
#include "curves/tests/CurvesTestSupport.h"
#include "store/RowCursor.h"

namespace zelvo {
namespace {

using test::MaskInk;

class CurveHistory : public test::VectorTest {
protected:
    // A new closed, filled curve layer holding a 4-anchor rectangle.
    LayerPtr RectangleLayer(ColorRef color = Rgb(0, 0, 255)) {
        LayerPtr l = curves->NewCurveLayer("", color, true);
        EXPECT_TRUE(l);
        l->SetClosed(true);
        l->Anchors() = {Corner(4, 4), Corner(4, 20), Corner(30, 20), Corner(30, 4)};
        RenderCurve(*l);
        return l;
    }
    const HistoryState& Newest() const { return history->States().back(); }
};

TEST_F(CurveHistory, NewCurveLayerGoesAboveTheCurrentAndUndoesLikeANewLayer) {
    const LayerPtr first = layers->LayerAt(0);
    LayerPtr l = curves->NewCurveLayer("", Rgb(1, 2, 3), false);
    ASSERT_TRUE(l);
    EXPECT_EQ(layers->Layers(), (std::vector<LayerPtr>{first, l}));
    EXPECT_TRUE(l->IsCurrent());
    EXPECT_EQ(l->Kind(), LayerKind::Curve);
    EXPECT_EQ(l->Width(), 64);
    EXPECT_EQ(l->Height(), 48);
    EXPECT_EQ(l->Color(), Rgb(1, 2, 3));
    EXPECT_FALSE(l->IsFilled());
    EXPECT_FALSE(l->IsClosed());
    EXPECT_EQ(Newest().kind, kStateNewCurve);
    EXPECT_EQ(Newest().index, 0);
    EXPECT_EQ(StateNames().back(), "New Curve Layer");

    Undo();
    EXPECT_EQ(layers->Layers(), (std::vector<LayerPtr>{first}));
    EXPECT_TRUE(first->IsCurrent());
    Redo();
    EXPECT_EQ(layers->Layers(), (std::vector<LayerPtr>{first, l}));
}

TEST_F(CurveHistory, TheHundredthLayerIsRefused) {
    while (layers->LayerCount() < LayerManager::kMaxLayers) {
        auto n = std::make_shared<Layer>(*store);
        n->Create(0, 0, LayerKind::Null, layers->NextId());
        layers->InsertAt(layers->LayerCount(), n);
    }
    const int states = history->StateCount();
    EXPECT_FALSE(curves->NewCurveLayer(""));
    EXPECT_EQ(messages.Last(), "More than 100 layers, should not create a new layer!");
    EXPECT_EQ(layers->LayerCount(), LayerManager::kMaxLayers);
    EXPECT_EQ(history->StateCount(), states);
}

TEST_F(CurveHistory, FillOffThenOnGivesTwoNamedStatesAndTheSameColourNothing) {
    LayerPtr l = RectangleLayer(Rgb(0, 0, 255));
    const size_t filledInk = MaskInk(*l).size();
    EXPECT_TRUE(curves->SetCurveStyle(false, Rgb(0, 0, 255)));
    EXPECT_LT(MaskInk(*l).size(), filledInk);
    EXPECT_TRUE(curves->SetCurveStyle(true, Rgb(0, 0, 255)));
    EXPECT_FALSE(curves->SetCurveStyle(true, Rgb(0, 0, 255)));
    std::vector<std::string> names = StateNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "Cancel curve filling");
    EXPECT_EQ(names.back(), "Fill Curves");
    const int n = history->StateCount();

    EXPECT_TRUE(curves->SetCurveStyle(true, Rgb(255, 0, 0)));
    EXPECT_EQ(StateNames().back(), "Change the curve color");
    EXPECT_EQ(history->StateCount(), n + 1);

    Undo();
    EXPECT_EQ(l->Color(), Rgb(0, 0, 255));
    Undo();
    EXPECT_FALSE(l->IsFilled());  // undoing "Fill Curves" goes back to the outline
    Undo();
    EXPECT_TRUE(l->IsFilled());  // undoing "Cancel curve filling" fills it again
    EXPECT_EQ(MaskInk(*l).size(), filledInk);
    Redo();
    EXPECT_FALSE(l->IsFilled());
    EXPECT_LT(MaskInk(*l).size(), filledInk);
}

TEST_F(CurveHistory, StyleOfANonCurveLayerDoesNothing) {
    const int n = history->StateCount();
    EXPECT_FALSE(curves->SetCurveStyle(false, Rgb(9, 9, 9)));
    EXPECT_FALSE(curves->BeginCurveEdit());
    EXPECT_FALSE(curves->CommitCurveEdit("Draw Line"));
    EXPECT_EQ(history->StateCount(), n);
}

TEST_F(CurveHistory, UndoingDeleteAnchorRestoresCountAndPositions) {
    LayerPtr l = RectangleLayer();
    const std::vector<CurveAnchor> before = l->Anchors();
    const test::Ink inkBefore = MaskInk(*l);
    ASSERT_TRUE(curves->BeginCurveEdit());
    l->Anchors().erase(l->Anchors().begin() + 1);
    RenderCurve(*l);
    ASSERT_TRUE(curves->CommitCurveEdit("Delete Anchor Point"));
    EXPECT_EQ(StateNames().back(), "Delete Anchor Point");
    const std::vector<CurveAnchor> after = l->Anchors();

    for (int round = 0; round < 2; ++round) {
        Undo();
        EXPECT_EQ(l->Anchors(), before);
        EXPECT_EQ(MaskInk(*l), inkBefore);
        EXPECT_TRUE(l->IsCurrent());
        Redo();
        EXPECT_EQ(l->Anchors(), after);
    }
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(CurveHistory, UndoingAConvertGivesTheAnchorItsModeBack) {
    LayerPtr l = RectangleLayer();
    ASSERT_TRUE(curves->BeginCurveEdit());
    l->Anchors()[2].mode = kAnchorIndependent;
    l->Anchors()[2].out = {40, 25};
    ASSERT_TRUE(curves->CommitCurveEdit("Convert Anchor Point"));
    Undo();
    EXPECT_EQ(l->Anchors()[2], Corner(30, 20));
    Redo();
    EXPECT_EQ(l->Anchors()[2].mode, kAnchorIndependent);
    EXPECT_EQ(l->Anchors()[2].out, (Point{40, 25}));
}

TEST_F(CurveHistory, AddingAnAnchorGrowsOnRedoAndShrinksOnUndo) {
    LayerPtr l = RectangleLayer();
    ASSERT_TRUE(curves->BeginCurveEdit());
    l->Anchors().insert(l->Anchors().begin() + 2, CurveAnchor{{10, 25}, {17, 25}, {24, 25}, 1});
    ASSERT_TRUE(curves->CommitCurveEdit("Add Anchor Point"));
    Undo();
    EXPECT_EQ(l->Anchors().size(), 4u);
    Redo();
    ASSERT_EQ(l->Anchors().size(), 5u);
    EXPECT_EQ(l->Anchors()[2].point, (Point{17, 25}));
}

// The snapshot block as the layout describes it, written here int by int.
std::vector<uint8_t> ExpectedBlock(const CurveShape& b, const CurveShape& a) {
    std::vector<uint8_t> bytes;
    auto put = [&](int32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    };
    for (const CurveShape* s : {&b, &a}) {
        put(s->closed);
        put(s->filled);
        put(int32_t(s->color));
        put(int32_t(s->anchors.size()));
    }
    put(int32_t(b.anchors.size()));
    put(int32_t(a.anchors.size()));
    for (const CurveShape* s : {&b, &a})
        for (const CurveAnchor& c : s->anchors) {
            put(0);
            put(c.in.x), put(c.in.y), put(c.point.x), put(c.point.y), put(c.out.x), put(c.out.y);
            put(c.mode);
        }
    return bytes;
}

TEST_F(CurveHistory, SnapshotBlockMatchesTheLayoutByteForByte) {
    LayerPtr l = RectangleLayer(Rgb(0x12, 0x34, 0x56));
    l->Anchors()[0] = {{-3, 5}, {4, 4}, {11, -7}, kAnchorIndependent};
    const CurveShape before = CurveShape::Of(*l);
    ASSERT_TRUE(curves->BeginCurveEdit());
    l->Anchors().pop_back();
    l->Anchors()[1].point = {-100000, 70000};
    l->SetClosed(false);
    l->SetFilled(false);
    l->SetColor(Rgb(0xAB, 0xCD, 0xEF));
    const CurveShape after = CurveShape::Of(*l);
    ASSERT_TRUE(curves->CommitCurveEdit("Modify curves"));

    const HistoryState& s = Newest();
    ASSERT_NE(s.curveBlock, 0u);
    const std::vector<uint8_t> want = ExpectedBlock(before, after);
    ASSERT_EQ(want.size(), 40u + 32u * (4u + 3u));
    const FileDynamicStore::Span span = store->Payload(s.curveBlock);
    ASSERT_GE(span.length, want.size());
    MappedView view(*store, span.offset, want.size());
    ASSERT_TRUE(view.IsValid());
    EXPECT_EQ(std::vector<uint8_t>(view.Data(), view.Data() + want.size()), want);
}

TEST_F(CurveHistory, ADamagedSnapshotIsInternalError1003OnUndoAnd1005OnRedo) {
    LayerPtr l = RectangleLayer();
    ASSERT_TRUE(curves->BeginCurveEdit());
    l->Anchors().pop_back();
    ASSERT_TRUE(curves->CommitCurveEdit("Delete Anchor Point"));
    // The repeated "before" count no longer agrees with the first.
    const FileDynamicStore::Span span = store->Payload(Newest().curveBlock);
    {
        MappedView view(*store, span.offset, 40);
        ASSERT_TRUE(view.IsValid());
        view.Data()[32] = 99;
        view.Flush();
    }
    Undo();
    EXPECT_EQ(messages.Last(), InternalErrorText(1003));
    EXPECT_EQ(l->Anchors().size(), 3u);  // left as it was
    Redo();
    EXPECT_EQ(messages.Last(), InternalErrorText(1005));
}

TEST_F(CurveHistory, CancelPutsTheCopiedCurveBack) {
    LayerPtr l = RectangleLayer();
    const std::vector<CurveAnchor> before = l->Anchors();
    const test::Ink ink = MaskInk(*l);
    const int n = history->StateCount();
    ASSERT_TRUE(curves->BeginCurveEdit());
    TranslateCurve(*l, 5, 5);
    l->Anchors().push_back(Corner(1, 1));
    l->SetFilled(false);
    RenderCurve(*l);
    curves->CancelCurveEdit();
    EXPECT_EQ(l->Anchors(), before);
    EXPECT_TRUE(l->IsFilled());
    EXPECT_EQ(MaskInk(*l), ink);
    EXPECT_FALSE(curves->IsOpen());
    EXPECT_EQ(history->StateCount(), n);
}

TEST_F(CurveHistory, LinkedMovesOfACurveGoThroughTheDocument) {
    LayerPtr l = RectangleLayer();
    TranslateCurve(*l, 3, 2);
    RenderCurve(*l);
    StateExtra extra;
    extra.records.push_back({0, 3, 2, l});
    history->RecordState(l, {}, kStateMoveLinked, layers->CurrentIndex(), "Move Linked Layers",
                         extra);
    Undo();
    EXPECT_EQ(l->Anchors()[0].point, (Point{4, 4}));
    EXPECT_TRUE(MaskInk(*l).count({4, 4}));
    Redo();
    EXPECT_EQ(l->Anchors()[0].point, (Point{7, 6}));
}

}  // namespace
}  // namespace zelvo
