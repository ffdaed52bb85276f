// New, duplicate, copy from another document, delete, move and show/hide of layers, with the
// history each records and the 100-layer limit.
#include "core/InternalError.h"
#include "layerops/LinkGroups.h"
#include "layerops/tests/LayerOpsTestSupport.h"

namespace zelvo::test {
namespace {

constexpr const char* kFull = "More than 100 layers, should not create a new layer!";

using StackOpsTest = LayerOpsTest;

TEST_F(StackOpsTest, NewLayerGoesAboveTheCurrentOneAndUndoes) {
    LayerPtr first = OpenImage();
    LayerPtr top = AddPixel(0, 0, 2, 2, 0x64000000);
    Lm().SelectLayerByIndex(1);
    ASSERT_EQ(NewLayer(History()), 1);
    ASSERT_EQ(Lm().LayerCount(), 3);
    const LayerPtr made = Lm().LayerAt(1);
    EXPECT_EQ(made->Kind(), LayerKind::Null);
    EXPECT_EQ(made->Width(), 0);
    EXPECT_TRUE(made->IsCurrent());
    EXPECT_EQ(made->Id(), Lm().LastId());
    EXPECT_EQ(made->Serial(), Lm().LastSerial());
    EXPECT_EQ(StateNames().back(), "New Layer");
    EXPECT_EQ(History().States().back().index, 0);
    History().GoToState(History().StateCount() - 1, 0);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{first.get(), top.get()}));
    EXPECT_TRUE(first->IsCurrent());
}

TEST_F(StackOpsTest, TheHundredthLayerIsTheLast) {
    OpenImage();
    for (int i = 1; i < 100; ++i) ASSERT_EQ(NewLayer(History()), 1) << i;
    ASSERT_EQ(Lm().LayerCount(), 100);
    const int states = History().StateCount();
    messages.Clear();
    EXPECT_EQ(NewLayer(History()), 0);
    EXPECT_EQ(DuplicateLayer(History()), 0);
    EXPECT_EQ(PasteAsLayer(History(), 2, 2), nullptr);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{kFull, kFull, kFull}));
    EXPECT_EQ(Lm().LayerCount(), 100);
    EXPECT_EQ(History().StateCount(), states);
}

TEST_F(StackOpsTest, DuplicateCopiesPixelsAndProperties) {
    OpenImage();
    LayerPtr src = AddPixel(-2, 3, 3, 2, 0x40102030);
    SetPixel(*src, 1, 1, 0x64FFEEDD);
    src->SetOpacity(55);
    src->SetVisible(false);
    ASSERT_EQ(DuplicateLayer(History()), 1);
    ASSERT_EQ(Lm().LayerCount(), 3);
    LayerPtr copy = Lm().LayerAt(2);
    EXPECT_NE(copy, src);
    EXPECT_GT(copy->Id(), src->Id());
    EXPECT_TRUE(copy->IsCurrent());
    EXPECT_EQ(copy->Kind(), LayerKind::Pixel);
    EXPECT_EQ(copy->Bounds(), (Rect{-2, 3, 1, 5}));
    EXPECT_EQ(copy->Opacity(), 55);
    EXPECT_FALSE(copy->IsVisible());
    EXPECT_EQ(Bytes(*copy), Bytes(*src));
    EXPECT_EQ(copy->LinkCount(), 0);
    EXPECT_EQ(StateNames().back(), "Duplicate Layer");
    // Its own pixels: a change of the original does not reach it.
    SetPixel(*src, 0, 0, 0);
    EXPECT_EQ(PixelAt(*copy, 0, 0), 0x40102030u);
}

TEST_F(StackOpsTest, DuplicateCopiesTextAndCurves) {
    OpenImage();
    LayerPtr text = AddText("Ab\r\ncd", 1, 2, Rgb(200, 10, 20));
    text->SetOpacity(40);
    ASSERT_EQ(DuplicateLayer(History()), 1);
    LayerPtr textCopy = Lm().CurrentLayer();
    EXPECT_EQ(textCopy->Kind(), LayerKind::Text);
    EXPECT_EQ(textCopy->Text(), text->Text());
    EXPECT_EQ(textCopy->Color(), text->Color());
    EXPECT_EQ(textCopy->Opacity(), 40);
    EXPECT_EQ(Bytes(*textCopy), Bytes(*text));

    LayerPtr curve = AddCurve({{1, 1}, {10, 2}, {8, 9}}, true, false, Rgb(1, 2, 3));
    curve->Anchors()[1].mode = kAnchorIndependent;
    curve->Anchors()[1].out = {12, 4};
    ASSERT_EQ(DuplicateLayer(History()), 1);
    LayerPtr curveCopy = Lm().CurrentLayer();
    EXPECT_EQ(curveCopy->Kind(), LayerKind::Curve);
    EXPECT_EQ(curveCopy->Anchors(), curve->Anchors());
    EXPECT_TRUE(curveCopy->IsClosed());
    EXPECT_FALSE(curveCopy->IsFilled());
    EXPECT_EQ(curveCopy->Color(), Rgb(1, 2, 3));
    EXPECT_EQ(Bytes(*curveCopy), Bytes(*curve));
}

TEST_F(StackOpsTest, DuplicateOfANullLayerIsANullLayer) {
    OpenImage();
    NewLayer(History());
    ASSERT_EQ(DuplicateLayer(History()), 1);
    EXPECT_EQ(Lm().CurrentLayer()->Kind(), LayerKind::Null);
    EXPECT_EQ(Lm().LayerCount(), 3);
}

TEST_F(StackOpsTest, CopyLayerFromAnotherDocument) {
    OpenImage();
    Doc other(*store, 30, 20);
    ASSERT_TRUE(other.layers->CreateFirstLayer(30, 20));
    other.layers->LayerAt(0)->FillColor(Rgb(1, 2, 3), 100, 70, false);
    other.layers->LayerAt(0)->SetPosition(5, -4);
    auto text = std::make_shared<Layer>(*store);
    ASSERT_TRUE(text->Create(30, 20, LayerKind::Text, other.layers->NextId()));
    text->Text().text = "x";
    other.layers->InsertAt(1, text);

    messages.Clear();
    EXPECT_EQ(CopyLayerFrom(History(), nullptr, 1), 0);
    EXPECT_EQ(messages.Last(), InternalErrorText(1036));

    ASSERT_EQ(CopyLayerFrom(History(), other.layers->LayerAt(0).get(), 1), 1);
    LayerPtr pixels = Lm().CurrentLayer();
    EXPECT_EQ(pixels->Width(), 30);
    EXPECT_EQ(pixels->Position(), (Point{5, -4}));
    EXPECT_EQ(pixels->Opacity(), 70);
    EXPECT_EQ(Bytes(*pixels), Bytes(*other.layers->LayerAt(0)));
    ASSERT_EQ(CopyLayerFrom(History(), text.get(), 1), 1);
    LayerPtr textCopy = Lm().CurrentLayer();
    EXPECT_EQ(textCopy->Kind(), LayerKind::Text);
    EXPECT_EQ(textCopy->Width(), kW);  // this canvas, not the other one
    EXPECT_EQ(textCopy->Height(), kH);
    EXPECT_EQ(textCopy->Text().text, "x");
    EXPECT_EQ(StateNames().back(), "Duplicate Layer");
    EXPECT_EQ(Lm().LayerCount(), 3);
}

TEST_F(StackOpsTest, DeleteRules) {
    LayerPtr a = OpenImage();
    EXPECT_EQ(DeleteLayer(History()), 0);  // the only layer stays
    EXPECT_EQ(History().StateCount(), 1);
    LayerPtr b = AddPixel(0, 0, 1, 1, 0);
    LayerPtr c = AddPixel(0, 0, 1, 1, 0);
    LayerPtr d = AddPixel(0, 0, 1, 1, 0);
    // Links are all cleared by a delete.
    Lm().SelectLayerByIndex(1);
    ToggleLink(History(), 3);
    ASSERT_EQ(a->LinkCount(), 2);

    // A middle layer: the one above becomes current.
    Lm().SelectLayerByIndex(2);
    ASSERT_EQ(DeleteLayer(History()), 1);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{a.get(), c.get(), d.get()}));
    EXPECT_TRUE(c->IsCurrent());
    EXPECT_EQ(a->LinkCount(), 0);
    EXPECT_EQ(d->LinkCount(), 0);
    EXPECT_EQ(StateNames().back(), "Delete Layer");
    EXPECT_EQ(History().States().back().index, 1);

    // The top layer: the one below becomes current.
    Lm().SelectLayerByIndex(3);
    ASSERT_EQ(DeleteLayer(History()), 1);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{a.get(), c.get()}));
    EXPECT_TRUE(c->IsCurrent());

    // Both come back in their places.
    History().GoToState(History().StateCount() - 2, 0);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{a.get(), b.get(), c.get(), d.get()}));
    EXPECT_TRUE(b->IsCurrent());
}

TEST_F(StackOpsTest, MoveUpAndDown) {
    LayerPtr a = OpenImage();
    LayerPtr b = AddPixel(0, 0, 1, 1, 0);
    LayerPtr c = AddPixel(0, 0, 1, 1, 0);
    const int states = History().StateCount();
    EXPECT_EQ(MoveLayer(History(), MoveDirection::Up, 1), 0);  // already the top
    EXPECT_EQ(History().StateCount(), states);
    EXPECT_EQ(MoveLayer(History(), MoveDirection::Down, 3), 0);  // the list ends first
    EXPECT_EQ(Order(), (std::vector<const Layer*>{a.get(), b.get(), c.get()}));

    ASSERT_EQ(MoveLayer(History(), MoveDirection::Down, 1), 1);
    ASSERT_EQ(MoveLayer(History(), MoveDirection::Down, 1), 1);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{c.get(), a.get(), b.get()}));
    EXPECT_TRUE(c->IsCurrent());
    ASSERT_EQ(History().StateCount(), states + 1);  // one state with two steps
    EXPECT_EQ(StateNames().back(), "Move Down Layer");
    EXPECT_EQ(History().States().back().steps, 2);
    History().GoToState(states, 0);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{a.get(), b.get(), c.get()}));

    Lm().SelectLayerByIndex(1);
    ASSERT_EQ(MoveLayer(History(), MoveDirection::Up, 2), 1);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{b.get(), c.get(), a.get()}));
    EXPECT_EQ(StateNames().back(), "Move Up Layer");
    EXPECT_EQ(History().States().back().index, 2);
}

TEST_F(StackOpsTest, VisibilityToggleRecordsNothing) {
    OpenImage();
    LayerPtr b = AddPixel(0, 0, 1, 1, 0);
    const int states = History().StateCount();
    ASSERT_EQ(ToggleLayerVisible(History(), 1), 1);
    EXPECT_FALSE(b->IsVisible());
    ASSERT_EQ(ToggleLayerVisible(History(), 1), 1);
    EXPECT_TRUE(b->IsVisible());
    EXPECT_EQ(ToggleLayerVisible(History(), 5), 0);
    EXPECT_EQ(History().StateCount(), states);
}

TEST_F(StackOpsTest, PasteAsLayerRecordsPaste) {
    OpenImage();
    LayerPtr l = PasteAsLayer(History(), 5, 4);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Kind(), LayerKind::Pixel);
    EXPECT_EQ(l->Width(), 5);
    EXPECT_TRUE(l->IsCurrent());
    EXPECT_EQ(Lm().IndexOf(l.get()), 1);
    EXPECT_EQ(StateNames().back(), "Paste");
    EXPECT_EQ(History().States().back().kind, kStateDuplicateLayer);
}

}  // namespace
}  // namespace zelvo::test
