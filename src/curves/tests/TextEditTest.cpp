// Text layers in the history: the new-text and edit transactions, committed and cancelled, the
// direction, face and size changes and moving the origin.
#include <gtest/gtest.h>

#include "curves/tests/CurvesTestSupport.h"

namespace zelvo {
namespace {

using test::MaskInk;

class TextEditTest : public test::VectorTest {
protected:
    // A committed text layer.
    LayerPtr NewText(const std::string& text, int32_t x, int32_t y) {
        LayerPtr l = texts->BeginNewText(image.width, image.height);
        EXPECT_TRUE(l);
        l->Text().text = text;
        l->Text().originX = x;
        l->Text().originY = y;
        l->Text().fontSize = 20;
        l->SetColor(Rgb(0, 128, 0));
        RenderText(*l);
        EXPECT_EQ(texts->EndText(1), 1);
        return l;
    }
    static bool HaveFonts() { return !SystemFontFamilies().empty(); }
};

TEST_F(TextEditTest, CancellingANewTextLayerLeavesTheListAsBefore) {
    const LayerPtr first = layers->LayerAt(0);
    NewText("below", 1, 1);
    const std::vector<LayerPtr> before = layers->Layers();
    layers->SelectLayerById(first->Id(), 0, 0);  // the new layer goes in between
    const int states = history->StateCount();

    LayerPtr l = texts->BeginNewText(64, 48);
    ASSERT_TRUE(l);
    EXPECT_EQ(layers->LayerAt(1), l);
    EXPECT_TRUE(l->IsCurrent());
    EXPECT_EQ(texts->EditMode(), TextEdit::Mode::New);
    EXPECT_FALSE(texts->BeginNewText(64, 48));  // one edit at a time
    EXPECT_EQ(texts->EndText(0), 1);
    EXPECT_EQ(layers->Layers(), before);
    EXPECT_TRUE(first->IsCurrent());
    EXPECT_EQ(layers->CurrentIndex(), 0);
    EXPECT_EQ(history->StateCount(), states);
    EXPECT_EQ(texts->EditMode(), TextEdit::Mode::None);
    EXPECT_EQ(texts->EndText(0), 0);
}

TEST_F(TextEditTest, CommittingANewTextLayerRecordsIt) {
    const LayerPtr first = layers->LayerAt(0);
    LayerPtr l = NewText("Hello", 3, 4);
    EXPECT_EQ(l->Kind(), LayerKind::Text);
    EXPECT_EQ(l->BitsPerPixel(), 1);
    const HistoryState& s = history->States().back();
    EXPECT_EQ(s.kind, kStateNewText);
    EXPECT_EQ(s.name, "New Text Layer");
    EXPECT_EQ(s.index, 0);
    Undo();
    EXPECT_EQ(layers->Layers(), (std::vector<LayerPtr>{first}));
    Redo();
    EXPECT_EQ(layers->Layers(), (std::vector<LayerPtr>{first, l}));
    EXPECT_TRUE(l->IsCurrent());
}

TEST_F(TextEditTest, ChangingOnlyTheDirectionGivesOneTextDirectionState) {
    LayerPtr l = NewText("A\r\nB", 30, 2);
    const int states = history->StateCount();
    ASSERT_TRUE(texts->FlipTextDirection());
    EXPECT_EQ(history->StateCount(), states + 1);
    EXPECT_EQ(StateNames().back(), "Text Direction");
    EXPECT_EQ(history->States().back().kind, kStateModifyText);
    const LayerPtr flipped = layers->LayerAt(1);
    EXPECT_NE(flipped, l);  // a copy took the layer's place
    EXPECT_EQ(flipped->Text().direction, kTextVertical);
    EXPECT_EQ(flipped->Text().text, l->Text().text);
    EXPECT_EQ(flipped->Color(), l->Color());
    EXPECT_EQ(l->Text().direction, kTextHorizontal);  // the old object is untouched
    Undo();
    EXPECT_EQ(layers->LayerAt(1), l);
    Redo();
    EXPECT_EQ(layers->LayerAt(1), flipped);
}

TEST_F(TextEditTest, FaceAndSizeChangesAreNamedAndSameValuesRecordNothing) {
    NewText("x", 1, 1);
    const int states = history->StateCount();
    EXPECT_FALSE(texts->SetTextSize(20));
    EXPECT_FALSE(texts->SetTextFont("Arial"));
    EXPECT_EQ(history->StateCount(), states);
    EXPECT_TRUE(texts->SetTextSize(40));
    EXPECT_EQ(StateNames().back(), "Text Size");
    EXPECT_TRUE(texts->SetTextFont("DejaVu Sans"));
    EXPECT_EQ(StateNames().back(), "Text Font");
    EXPECT_EQ(layers->CurrentLayer()->Text().face, "DejaVu Sans");
    EXPECT_EQ(layers->CurrentLayer()->Text().fontSize, 40);
}

TEST_F(TextEditTest, ChangesNeedATextLayer) {
    const int states = history->StateCount();
    EXPECT_FALSE(texts->FlipTextDirection());
    EXPECT_FALSE(texts->SetTextSize(30));
    EXPECT_FALSE(texts->BeginEditText());
    EXPECT_FALSE(texts->MoveText(1, 1));
    EXPECT_EQ(history->StateCount(), states);
}

TEST_F(TextEditTest, CancellingAnEditLeavesTheLayerAndRecordsNothing) {
    LayerPtr l = NewText("keep", 2, 2);
    const TextSettings settings = l->Text();
    const int states = history->StateCount();
    LayerPtr copy = texts->BeginEditText();
    ASSERT_TRUE(copy);
    EXPECT_EQ(layers->LayerAt(1), copy);
    copy->Text().text = "changed";
    RenderText(*copy);
    EXPECT_EQ(texts->EndText(0), 1);
    EXPECT_EQ(layers->LayerAt(1), l);
    EXPECT_TRUE(l->IsCurrent());
    EXPECT_EQ(l->Text(), settings);
    EXPECT_EQ(history->StateCount(), states);
}

TEST_F(TextEditTest, CommittingAnEditRecordsEditText) {
    LayerPtr l = NewText("old", 2, 2);
    l->SetOpacity(40);
    l->SetVisible(false);
    LayerPtr copy = texts->BeginEditText();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->Opacity(), 40);
    EXPECT_FALSE(copy->IsVisible());
    EXPECT_EQ(copy->Serial(), l->Serial());
    copy->Text().text = "new";
    EXPECT_EQ(texts->EndText(1), 1);
    EXPECT_EQ(StateNames().back(), "Edit Text");
    Undo();
    EXPECT_EQ(layers->LayerAt(1)->Text().text, "old");
    Redo();
    EXPECT_EQ(layers->LayerAt(1)->Text().text, "new");
}

TEST_F(TextEditTest, MovingTheTextRecordsMoveTextAndUndoPutsTheOriginBack) {
    LayerPtr l = NewText("M", 5, 6);
    const test::Ink before = MaskInk(*l);
    ASSERT_TRUE(texts->MoveText(10, 3));
    ASSERT_TRUE(texts->MoveText(2, 2));  // a drag coalesces into one state
    EXPECT_EQ(StateNames().back(), "Move Text");
    EXPECT_EQ(history->States().back().kind, kStateMoveLayer);
    EXPECT_EQ(l->Text().originX, 17);
    EXPECT_EQ(l->Position(), (Point{0, 0}));  // the layer itself stays put
    Undo();
    EXPECT_EQ(l->Text().originX, 5);
    EXPECT_EQ(l->Text().originY, 6);
    EXPECT_EQ(MaskInk(*l), before);
    Redo();
    EXPECT_EQ(l->Text().originX, 17);
    EXPECT_EQ(l->Text().originY, 11);
    if (HaveFonts()) {
        test::Ink want;
        for (auto [x, y] : before) want.insert({x + 12, y + 5});
        EXPECT_EQ(MaskInk(*l), want);
    }
}

}  // namespace
}  // namespace zelvo
