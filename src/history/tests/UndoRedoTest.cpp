#include <gtest/gtest.h>

#include "HistoryTestSupport.h"
#include "history/LayerListOps.h"

namespace zelvo {
namespace {

using test::HistoryTest;
using test::PixelAt;
using test::SetPixel;

class UndoRedo : public HistoryTest {
protected:
    // Undo the newest state, check, redo it, check again, twice over (a swap must invert).
    template <typename Before, typename After>
    void UndoRedoTwice(Before before, After after) {
        const int n = history->StateCount();
        for (int round = 0; round < 2; ++round) {
            history->GoToState(n - 1, 1);
            before();
            history->GoToState(n, 1);
            after();
        }
    }
    std::vector<LayerPtr> List() const { return layers->Layers(); }
    LayerPtr MakeLayer(LayerKind kind, int32_t w = 2, int32_t h = 2) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(w, h, kind, layers->NextId()));
        return l;
    }
};

TEST_F(UndoRedo, NewLayerKindsRemoveAndReinsertAboveTheIndex) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    for (int32_t kind : {kStateNewLayer, kStateDuplicateLayer, kStateNewText, kStateNewCurve}) {
        LayerPtr l = MakeLayer(LayerKind::Null);
        const int at = layers->CurrentIndex();
        layers->InsertAt(at + 1, l);
        MakeCurrentAt(*layers, at + 1);
        history->RecordState(l, {}, kind, at, "");
        const std::vector<LayerPtr> withIt = List();
        std::vector<LayerPtr> without = withIt;
        without.erase(without.begin() + at + 1);
        UndoRedoTwice(
            [&] {
                EXPECT_EQ(List(), without) << kind;
                EXPECT_EQ(layers->CurrentIndex(), at);
            },
            [&] {
                EXPECT_EQ(List(), withIt) << kind;
                EXPECT_TRUE(l->IsCurrent());
            });
    }
}

TEST_F(UndoRedo, DeleteLayerPutsItBackAndRemovesItAgain) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    LayerPtr b = NewPixelLayer(Rgb(2, 2, 2), 100);
    layers->SelectLayerById(a->Id(), 0, 0);
    layers->RemoveAt(1);
    MakeCurrentAt(*layers, 1);
    history->RecordState(a, {}, kStateDeleteLayer, 1, "Delete Layer");
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(List(), (std::vector<LayerPtr>{first, a, b}));
            EXPECT_TRUE(a->IsCurrent());
        },
        [&] {
            EXPECT_EQ(List(), (std::vector<LayerPtr>{first, b}));
            EXPECT_TRUE(first->IsCurrent());  // the layer at index - 1
        });
}

TEST_F(UndoRedo, MoveSwapsPositionAndBoundsAndATextLayerAsksTheHost) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100, 2, 3, 1, 1);
    a->SetPosition(4, 2);
    history->RecordState(a, {}, kStateMoveLayer, 1, "Move Layer", ExtraValues({1, 1}));
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(a->Bounds(), (Rect{1, 1, 3, 4}));
        },
        [&] {
            EXPECT_EQ(a->Bounds(), (Rect{4, 2, 6, 5}));
        });

    struct TextHost : test::CountingHost {
        Point origin{7, 7};
        bool SwapTextOrigin(Layer&, Point& o) override {
            std::swap(origin, o);
            ++textSwaps;
            return true;
        }
    } textHost;
    history->SetHost(&textHost);
    LayerPtr text = MakeLayer(LayerKind::Text, kW, kH);
    layers->InsertAt(2, text);
    MakeCurrentAt(*layers, 2);
    history->RecordState(text, {}, kStateNewText, 1, "New Text Layer");
    textHost.origin = {9, 9};  // the move tool moved the text from (7, 7)
    history->RecordState(text, {}, kStateMoveLayer, 2, "Move Text", ExtraValues({7, 7}));
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(textHost.origin, (Point{7, 7}));
        },
        [&] {
            EXPECT_EQ(textHost.origin, (Point{9, 9}));
        });
    EXPECT_EQ(textHost.textSwaps, 4);
    EXPECT_EQ(text->Position(), (Point{0, 0}));  // the layer itself did not move
    history->SetHost(&host);
}

TEST_F(UndoRedo, MovingTheSelectionCarriesItsBounds) {
    OpenImage(Rgb(0, 0, 0));
    auto mask = std::make_shared<Layer>(*store);
    ASSERT_TRUE(mask->Create(3, 3, LayerKind::Pixel, 0, 8, true));
    mask->SetPosition(1, 1);
    layers->SetSelectionObject(mask);
    layers->SetSelectionBounds(mask->Bounds());
    history->RecordState(mask, {}, kStateNewSelection, 0, "New Selection");
    mask->SetPosition(3, 2);
    layers->SetSelectionBounds(mask->Bounds());
    history->RecordState(mask, {}, kStateMoveLayer, 0, "", ExtraValues({1, 1}));
    EXPECT_EQ(StateDisplayName(history->States().back()), "Move Selection");
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(layers->SelectionBounds(), (Rect{1, 1, 4, 4}));
        },
        [&] {
            EXPECT_EQ(layers->SelectionBounds(), (Rect{3, 2, 6, 5}));
        });
}

TEST_F(UndoRedo, OpacitySwapsWithTheSavedValue) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    first->SetOpacity(30);
    history->RecordState(first, {}, kStateLayerOpacity, 0, "Set Layer Opacity", ExtraValues({100}));
    UndoRedoTwice([&] { EXPECT_EQ(first->Opacity(), 100); },
                  [&] { EXPECT_EQ(first->Opacity(), 30); });
}

TEST_F(UndoRedo, MoveDownWalksBackAndForth) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    LayerPtr b = NewPixelLayer(Rgb(2, 2, 2), 100);
    // b moves down two positions to the bottom.
    layers->RemoveAt(2);
    layers->InsertAt(0, b);
    history->RecordState(b, {}, kStateMoveDown, 0, "", ExtraValues({2}));
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(List(), (std::vector<LayerPtr>{first, a, b}));
            EXPECT_EQ(history->States().back().index, 2);
        },
        [&] {
            EXPECT_EQ(List(), (std::vector<LayerPtr>{b, first, a}));
            EXPECT_EQ(history->States().back().index, 0);
            EXPECT_TRUE(b->IsCurrent());
        });
}

TEST_F(UndoRedo, MovesThatRunOffTheListReportTheirCodeAndStopAtTheEnd) {
    struct Row {
        int32_t kind;
        bool redo;
        int code;
    };
    for (const Row r : {Row{kStateMoveDown, false, 1007}, Row{kStateMoveDown, true, 1008},
                        Row{kStateMoveUp, false, 1009}, Row{kStateMoveUp, true, 1010}}) {
        HistoryManager h(*layers);
        if (layers->LayerCount() == 0) {
            ASSERT_TRUE(layers->CreateFirstLayer(kW, kH));
            layers->InsertAt(1, MakeLayer(LayerKind::Null));
        }
        h.RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "");
        LayerPtr top = layers->LayerAt(1);
        // A state claiming five steps where the list has room for one.
        h.RecordState(top, {}, r.kind, 1, "", ExtraValues({5}));
        if (r.redo) h.GoToState(1, 0);
        messages.Clear();
        h.GoToState(r.redo ? 2 : 1, 0);
        EXPECT_TRUE(messages.Contains("程序内部出现错误! " + std::to_string(r.code))) << r.code;
        const bool towardTail = (r.kind == kStateMoveDown) != r.redo;
        EXPECT_EQ(layers->IndexOf(top.get()), towardTail ? 1 : 0) << r.code;
        if (layers->IndexOf(top.get()) == 0) {  // put it back on top for the next row
            layers->RemoveAt(0);
            layers->InsertAt(1, top);
        }
    }
}

TEST_F(UndoRedo, WholeLayerSwapHandsTheLinkGroupOver) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    // first and a are linked.
    for (const LayerPtr& l : {first, a}) {
        l->LinkIds()[0] = uint16_t(first->Id());
        l->LinkIds()[1] = uint16_t(a->Id());
        l->SetLinkCount(2);
    }
    LayerPtr edited = MakeLayer(LayerKind::Pixel, kW, kH);
    layers->ReplaceAt(1, edited);
    TakeOverLinkGroup(*layers, *edited, *a);
    history->RecordState(a, {}, kStateLayerPixels, 1, "Invert Color");
    EXPECT_EQ(first->LinkIds()[1], uint16_t(edited->Id()));
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(layers->LayerAt(1), a);
            EXPECT_EQ(first->LinkIds()[1], uint16_t(a->Id()));
            EXPECT_EQ(a->LinkCount(), 2);
            EXPECT_TRUE(a->IsCurrent());
        },
        [&] {
            EXPECT_EQ(layers->LayerAt(1), edited);
            EXPECT_EQ(first->LinkIds()[1], uint16_t(edited->Id()));
            EXPECT_EQ(edited->LinkIds()[0], uint16_t(first->Id()));
        });
}

TEST_F(UndoRedo, SelectionKindsSetSwapAndClear) {
    OpenImage(Rgb(0, 0, 0));
    auto mask1 = MakeLayer(LayerKind::Pixel, 2, 2);
    auto mask2 = MakeLayer(LayerKind::Pixel, 3, 3);
    layers->SetSelectionObject(mask1);
    history->RecordState(mask1, {}, kStateNewSelection, 0, "Select All");
    UndoRedoTwice([&] { EXPECT_EQ(layers->Selection(), nullptr); },
                  [&] { EXPECT_EQ(layers->Selection(), mask1); });
    layers->SetSelectionObject(mask2);
    history->RecordState(mask1, {}, kStateModifySelection, 0, "Feather");
    UndoRedoTwice([&] { EXPECT_EQ(layers->Selection(), mask1); },
                  [&] { EXPECT_EQ(layers->Selection(), mask2); });
    layers->SetSelectionObject(nullptr);
    history->RecordState(mask2, {}, kStateDeselect, 0, "Deselect");
    UndoRedoTwice([&] { EXPECT_EQ(layers->Selection(), mask2); },
                  [&] { EXPECT_EQ(layers->Selection(), nullptr); });
    // Discarding the deselect state tells the host to forget that selection for Reselect.
    history->GoToState(history->StateCount() - 1, 0);
    history->RecordState(nullptr, {}, kStateCanvasOnly, 0, "x", ExtraValues({kW, kH}));
    ASSERT_EQ(host.forgotten.size(), 1u);
    EXPECT_EQ(host.forgotten[0], mask2.get());
}

TEST_F(UndoRedo, WholeImageSwapsListAndCanvasAndCanvasSizePicksTheCurrentLayer) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    const std::vector<LayerPtr> before = List();
    // "Canvas Size" replaced both layers by bigger ones and grew the canvas.
    LayerPtr b1 = MakeLayer(LayerKind::Pixel, 10, 9);
    LayerPtr b2 = MakeLayer(LayerKind::Pixel, 10, 9);
    layers->RemoveAt(1);
    layers->RemoveAt(0);
    layers->InsertAt(0, b1);
    layers->InsertAt(1, b2);
    b2->SetCurrent(true);
    image.width = 10;
    image.height = 9;
    const int changes = host.canvasChanges;
    history->RecordState(nullptr, before, kStateWholeImage, 0, "Canvas Size",
                         ExtraValues({kW, kH}));
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(List(), before);
            EXPECT_EQ(image.width, kW);
            EXPECT_EQ(image.height, kH);
            EXPECT_TRUE(first->IsCurrent());  // the layer at `index`
            EXPECT_FALSE(a->IsCurrent());
        },
        [&] {
            EXPECT_EQ(List(), (std::vector<LayerPtr>{b1, b2}));
            EXPECT_EQ(image.width, 10);
            EXPECT_EQ(image.height, 9);
            EXPECT_TRUE(b1->IsCurrent());
        });
    EXPECT_EQ(host.canvasChanges, changes + 4);
}

TEST_F(UndoRedo, CanvasOnlySwapsTheSize) {
    OpenImage(Rgb(0, 0, 0));
    image.width = 20;
    history->RecordState(nullptr, {}, kStateCanvasOnly, 0, "Canvas", ExtraValues({kW, kH}));
    UndoRedoTwice([&] { EXPECT_EQ(image.width, kW); }, [&] { EXPECT_EQ(image.width, 20); });
}

TEST_F(UndoRedo, CurveStatesAskTheHostAndReportAnchorMismatch) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr curve = MakeLayer(LayerKind::Curve, kW, kH);
    layers->InsertAt(1, curve);
    MakeCurrentAt(*layers, 1);
    history->RecordState(curve, {}, kStateNewCurve, 0, "");
    history->RecordState(curve, {}, kStateModifyCurve, 1, "Draw Line");
    history->GoToState(2, 0);
    history->GoToState(3, 0);
    EXPECT_EQ(host.curveLoads, 2);
    host.curveLoadOk = false;
    messages.Clear();
    history->GoToState(2, 0);
    EXPECT_TRUE(messages.Contains("程序内部出现错误! 1003"));
    history->GoToState(3, 0);
    EXPECT_TRUE(messages.Contains("程序内部出现错误! 1005"));
}

TEST_F(UndoRedo, RectangleSwapExchangesOnlyTouchedPixels) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    const uint32_t black = StoredDib::PixelWord(Rgb(0, 0, 0), 100);
    const uint32_t red = StoredDib::PixelWord(Rgb(255, 0, 0), 100);
    const uint32_t blue = StoredDib::PixelWord(Rgb(0, 0, 255), 60);
    // A stroke touched (2,1) and (3,2) inside the rectangle (2,1)-(5,3).
    auto rect = std::make_shared<Layer>(*store);
    ASSERT_TRUE(rect->Create(3, 2, LayerKind::Pixel, 0));
    rect->SetPosition(2, 1);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) SetPixel(*rect, c, r, uint32_t(kUntouchedAlpha) << 24);
    SetPixel(*rect, 0, 0, black);
    SetPixel(*rect, 1, 1, black);
    SetPixel(*first, 2, 1, red);
    SetPixel(*first, 3, 2, red);
    history->RecordState(rect, {}, kStateRectPixels, 0, "Brush Tool");
    history->GoToState(1, 1);
    EXPECT_EQ(PixelAt(*first, 2, 1), black);
    EXPECT_EQ(PixelAt(*first, 3, 2), black);
    // An untouched pixel inside the rectangle changes later; undo and redo leave it alone.
    SetPixel(*first, 4, 1, blue);
    history->GoToState(2, 1);
    EXPECT_EQ(PixelAt(*first, 2, 1), red);
    EXPECT_EQ(PixelAt(*first, 3, 2), red);
    EXPECT_EQ(PixelAt(*first, 4, 1), blue);
    history->GoToState(1, 1);
    EXPECT_EQ(PixelAt(*first, 4, 1), blue);
    for (int r = 0; r < kH; ++r)
        for (int c = 0; c < kW; ++c) {
            if (c == 4 && r == 1) continue;
            EXPECT_EQ(PixelAt(*first, c, r), black) << c << "," << r;
        }
}

TEST_F(UndoRedo, RectangleSwapOnAnOffsetLayerMapsRowsFromTheBottom) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(0, 0, 0), 100, 5, 4, 2, 1);  // covers (2,1)-(7,5)
    auto rect = std::make_shared<Layer>(*store);
    ASSERT_TRUE(rect->Create(2, 2, LayerKind::Pixel, 0));
    rect->SetPosition(4, 3);  // layer columns 2..3, layer rows 2..3
    uint32_t word = 1;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) SetPixel(*rect, c, r, word++);
    history->RecordState(rect, {}, kStateRectPixels, 1, "");
    history->GoToState(2, 0);
    word = 1;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) EXPECT_EQ(PixelAt(*a, 2 + c, 2 + r), word++);
    EXPECT_EQ(PixelAt(*rect, 0, 0), StoredDib::PixelWord(0, 100));
}

TEST_F(UndoRedo, MoveLinkedSwapsPositionsAndMovesCurvesBack) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100, 2, 2, 0, 0);
    LayerPtr curve = MakeLayer(LayerKind::Curve, kW, kH);
    layers->InsertAt(2, curve);
    a->SetPosition(3, 4);
    StateExtra extra;
    extra.records = {{0, 0, 0, a}, {0, 5, -2, curve}};
    history->RecordState(a, {}, kStateMoveLinked, 1, "Align Layers", extra);
    history->GoToState(2, 0);
    EXPECT_EQ(a->Position(), (Point{0, 0}));
    history->GoToState(3, 0);
    EXPECT_EQ(a->Position(), (Point{3, 4}));
    ASSERT_EQ(host.curveMoves.size(), 2u);
    EXPECT_EQ(host.curveMoves[0], (std::pair<int32_t, int32_t>{-5, 2}));
    EXPECT_EQ(host.curveMoves[1], (std::pair<int32_t, int32_t>{5, -2}));
}

TEST_F(UndoRedo, MergeUndoPutsEachLayerBackAtItsPosition) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);
    LayerPtr b = NewPixelLayer(Rgb(2, 2, 2), 100);
    LayerPtr c = NewPixelLayer(Rgb(3, 3, 3), 100);
    // a and c merge into m, which stands above the one layer below a that is not merged.
    LayerPtr m = MakeLayer(LayerKind::Pixel, kW, kH);
    layers->RemoveAt(3);
    layers->RemoveAt(1);
    layers->InsertAt(1, m);
    MakeCurrentAt(*layers, 1);
    StateExtra extra;
    extra.pairs = {{a, 1}, {c, 3}};
    history->RecordState(m, {}, kStateMergeLayers, 1, "Merge Layers", extra);
    UndoRedoTwice(
        [&] {
            EXPECT_EQ(List(), (std::vector<LayerPtr>{first, a, b, c}));
            EXPECT_TRUE(c->IsCurrent());
        },
        [&] {
            EXPECT_EQ(List(), (std::vector<LayerPtr>{first, m, b}));
            EXPECT_TRUE(m->IsCurrent());
        });
}

TEST_F(UndoRedo, StartRowSetsTheLiveDocumentAsideAndBringsItBack) {
    LayerPtr first = OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100, 2, 2, 1, 1);
    first->SetOpacity(40);
    history->RecordState(first, {}, kStateLayerOpacity, 0, "Set Layer Opacity", ExtraValues({100}));
    first->SetVisible(false);  // not recorded, but the set-aside keeps it
    image.width = 12;
    history->RecordState(nullptr, {}, kStateCanvasOnly, 0, "Canvas", ExtraValues({kW, kH}));
    host.busyAnswers = host.busyPolls + 2;

    history->GoToState(0, 1);
    EXPECT_TRUE(history->ShowingStart());
    EXPECT_EQ(List(), (std::vector<LayerPtr>{first}));
    EXPECT_EQ(first->Opacity(), 100);
    EXPECT_TRUE(first->IsVisible());
    EXPECT_TRUE(first->IsCurrent());
    EXPECT_EQ(image.width, kW);
    EXPECT_EQ(host.stops, 1);
    EXPECT_EQ(host.resumes, 1);
    EXPECT_GE(host.busyPolls, host.busyAnswers + 1);  // polled until the compositor was idle
    EXPECT_EQ(history->CurrentStateIndex(), 4);       // the current mark stays
    EXPECT_EQ(Flat(), std::vector<uint8_t>(size_t(kW) * kH * 3, 0));

    history->GoToState(4, 1);
    EXPECT_FALSE(history->ShowingStart());
    EXPECT_EQ(List(), (std::vector<LayerPtr>{first, a}));
    EXPECT_EQ(first->Opacity(), 40);
    EXPECT_FALSE(first->IsVisible());
    EXPECT_TRUE(a->IsCurrent());
    EXPECT_FALSE(first->IsCurrent());
    EXPECT_EQ(image.width, 12);

    // From the start row straight to state 2: set-aside back, then two undos.
    history->GoToState(0, 0);
    history->GoToState(2, 0);
    EXPECT_EQ(List(), (std::vector<LayerPtr>{first, a}));
    EXPECT_EQ(first->Opacity(), 100);
    EXPECT_EQ(image.width, kW);
}

TEST_F(UndoRedo, NavigatingWithoutACurrentStateIsInternalError1012) {
    OpenImage(Rgb(0, 0, 0));
    NewPixelLayer(Rgb(1, 1, 1), 100);
    const_cast<HistoryState&>(history->States()[1]).current = 0;
    messages.Clear();
    history->GoToState(1, 0);
    EXPECT_TRUE(messages.Contains("程序内部出现错误! 1012"));
}

TEST_F(UndoRedo, ALayerObjectHeldByTwoStatesSurvivesTheReleaseOfOne) {
    OpenImage(Rgb(0, 0, 0));
    LayerPtr a = NewPixelLayer(Rgb(1, 1, 1), 100);  // state 2 holds a
    a->SetOpacity(50);
    history->RecordState(a, {}, kStateLayerOpacity, 1, "Set Layer Opacity",
                         ExtraValues({100}));  // 3
    layers->RemoveAt(1);
    MakeCurrentAt(*layers, 0);
    history->RecordState(a, {}, kStateDeleteLayer, 1, "Delete Layer");  // 4
    const BlockHandle block = a->Block();
    std::weak_ptr<Layer> weak = a;
    a.reset();
    const uint32_t used = store->UsedCount();

    // Back to state 3 (a in the list again), then a new state discards state 4.
    history->GoToState(3, 0);
    history->RecordState(nullptr, {}, kStateCanvasOnly, 0, "x", ExtraValues({kW, kH}));
    ASSERT_FALSE(weak.expired());
    EXPECT_EQ(store->UsedCount(), used);

    // Back to state 1: only states 2 and 3 hold a now.
    history->GoToState(1, 0);
    EXPECT_EQ(layers->LayerCount(), 1);
    ASSERT_FALSE(weak.expired());
    EXPECT_TRUE(store->CheckBlock(block));
    EXPECT_EQ(store->UsedCount(), used);

    // A new state discards states 2 to 4: nothing refers to a any more.
    history->RecordState(nullptr, {}, kStateCanvasOnly, 0, "y", ExtraValues({kW, kH}));
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(store->UsedCount(), used - 1);
}

}  // namespace
}  // namespace zelvo
