// The text tool: the edit a click or "Edit Current Text Layer" opens, its commit and cancel,
// the bar's values applied to the edit or to a committed layer, and the keys.
#include <set>

#include "layers/StoredDib.h"
#include "layers/TextLayer.h"
#include "platform/MaskPainter.h"
#include "tools/TextTool.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

constexpr const char* kHint = "Ctrl+Enter key to submit. Esc key to cancel.";

class TextToolTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        Open(240, 120);
        tools.activeView = [this] { return view.get(); };
        tools.onStatus = [this](const std::string& s) { status = s; };
        tools.onTextSession = [this] { ++sessionTold; };
        ASSERT_TRUE(tools.SelectTool(kToolText));
    }
    void TearDown() override {
        tools.activeView = nullptr;
        ToolsFixture::TearDown();
    }
    TextSessionInfo& Session() { return *tools.TextSession(); }
    void Undo() {
        HistoryManager& h = image->History();
        h.GoToState(h.CurrentStateIndex() - 1, 1);
    }
    int States() { return image->History().StateCount(); }
    LayerPtr Current() { return image->Layers().LayerAt(image->Layers().CurrentIndex()); }
    void Set(const std::string& key, const std::string& value) {
        ASSERT_EQ(tools.Options().Set(kToolText, key, value), ToolOptions::SetResult::Ok) << key;
    }
    // A committed text layer typed at `at`.
    LayerPtr Typed(Point at, const std::string& text) {
        Click(at);
        EXPECT_TRUE(tools.IsBusy());
        Session().Type(text);
        KeyPress(kKeyReturn, kControl);
        EXPECT_FALSE(tools.IsBusy());
        return Current();
    }
    static std::set<std::pair<int32_t, int32_t>> Ink(Layer& layer) {
        std::set<std::pair<int32_t, int32_t>> ink;
        for (int32_t y = 0; y < layer.Height(); ++y) {
            const uint8_t* row =
                layer.Rows()->Row(uint32_t(StoredDib::StoredRow(y, layer.Height())));
            for (int32_t x = 0; x < layer.Width(); ++x)
                if ((row[x >> 3] >> (7 - (x & 7))) & 1) ink.insert({x, y});
        }
        layer.ReleaseRows();
        return ink;
    }
    static bool HaveFonts() { return !SystemFontFamilies().empty(); }

    std::string status;
    int sessionTold = 0;
};

TEST_F(TextToolTest, AClickOpensANewTextAndCancelLeavesTheListAsBefore) {
    const std::vector<LayerPtr> before = image->Layers().Layers();
    const int current = image->Layers().CurrentIndex(), states = States();
    for (bool button : {false, true}) {
        Click({30, 40});
        ASSERT_TRUE(tools.IsBusy());
        EXPECT_EQ(status, kHint);
        EXPECT_EQ(image->Layers().LayerCount(), int(before.size()) + 1);
        EXPECT_EQ(Current()->Kind(), LayerKind::Text);
        EXPECT_EQ(Session().EditImage(), image.get());
        EXPECT_FALSE(Session().EditsExisting());
        EXPECT_EQ(Session().Origin(), (Point{30, 40}));
        Session().Type("typed");
        Click({90, 90});  // a click while the box is open opens nothing more
        EXPECT_EQ(image->Layers().LayerCount(), int(before.size()) + 1);
        if (button) {
            EXPECT_TRUE(tools.PressTextButton(TextButton::Cancel));
        } else {
            KeyPress(kKeyEscape);
        }
        EXPECT_FALSE(tools.IsBusy());
        EXPECT_EQ(Session().EditImage(), nullptr);
        EXPECT_EQ(image->Layers().Layers(), before);
        EXPECT_EQ(image->Layers().CurrentIndex(), current);
        EXPECT_EQ(States(), states);
        EXPECT_EQ(status, "Click to input text.");
    }
    EXPECT_FALSE(tools.PressTextButton(TextButton::Cancel));  // nothing open
    Click({-5, 10});                                          // off the canvas
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_GE(sessionTold, 4);
}

TEST_F(TextToolTest, CommitRecordsNewTextLayerWithTheBarsValues) {
    Set("font", "DejaVu Sans");
    Set("size", "30");
    Set("color", "#FF8000");
    const int states = States();
    Click({12, 20});
    Session().Type("one");
    KeyPress(kKeyReturn);  // Enter alone breaks the line
    Session().Type("two");
    KeyPress(kKeyEnter, kControl);
    ASSERT_FALSE(tools.IsBusy());
    EXPECT_EQ(States(), states + 1);
    EXPECT_EQ(LastStateName(), "New Text Layer");
    const LayerPtr l = Current();
    ASSERT_EQ(l->Kind(), LayerKind::Text);
    const TextSettings& t = l->Text();
    EXPECT_EQ(t.text, "one\r\ntwo");
    EXPECT_EQ((Point{t.originX, t.originY}), (Point{12, 20}));
    EXPECT_EQ(t.face, "DejaVu Sans");
    EXPECT_EQ(t.fontSize, 30);
    EXPECT_EQ(t.direction, kTextHorizontal);
    EXPECT_EQ(l->Color(), Rgb(0xFF, 0x80, 0x00));
    if (HaveFonts()) {
        EXPECT_FALSE(Ink(*l).empty());
    }
}

TEST_F(TextToolTest, ABarChangeDuringTheEditGoesIntoTheEditedLayerOnly) {
    const int states = States();
    Click({12, 20});
    Set("size", "40");
    Set("vertical", "1");
    EXPECT_TRUE(tools.PressTextButton(TextButton::Direction));  // flips back to horizontal
    EXPECT_EQ(tools.Options().Get(kToolText, "vertical"), "0");
    Session().SetText("x");
    EXPECT_TRUE(tools.PressTextButton(TextButton::Commit));
    EXPECT_EQ(States(), states + 1);
    EXPECT_EQ(Current()->Text().fontSize, 40);
    EXPECT_EQ(Current()->Text().direction, kTextHorizontal);
    EXPECT_EQ(Current()->Text().text, "x");
}

TEST_F(TextToolTest, EditingTheCurrentTextLayer) {
    Set("size", "30");
    const LayerPtr typed = Typed({10, 10}, "Hi");
    Set("size", "60");  // a committed layer takes the size as its own state
    ASSERT_EQ(LastStateName(), "Text Size");
    const LayerPtr layer = Current();
    const int states = States();

    // Cancel records nothing and leaves the very layer object in place.
    Set("size", "20");  // the bar is loaded back from the layer
    EXPECT_EQ(States(), states + 1);
    Undo();
    ASSERT_EQ(Current(), layer);
    ASSERT_TRUE(tools.PressTextButton(TextButton::EditCurrent));
    EXPECT_TRUE(tools.IsBusy());
    EXPECT_TRUE(Session().EditsExisting());
    EXPECT_EQ(Session().Text(), "Hi");
    EXPECT_EQ(tools.Options().Get(kToolText, "size"), "60");
    EXPECT_FALSE(tools.PressTextButton(TextButton::EditCurrent));  // one edit at a time
    Session().Type(" there");
    KeyPress(kKeyEscape);
    EXPECT_EQ(Current(), layer);
    EXPECT_EQ(layer->Text().text, "Hi");
    EXPECT_EQ(States(), states + 1);  // the undone "Text Size" is still there to redo

    // Ctrl+Enter opens the edit as the button does. Commit records "Edit Text"; undo brings the
    // old layer back.
    KeyPress(kKeyReturn, kControl);
    ASSERT_TRUE(tools.IsBusy());
    ASSERT_TRUE(Session().EditsExisting());
    Session().SetText("Bye\r\nnow");
    KeyPress(kKeyReturn, kControl);
    EXPECT_EQ(LastStateName(), "Edit Text");
    EXPECT_EQ(Current()->Text().text, "Bye\r\nnow");
    EXPECT_EQ(Current()->Text().fontSize, 60);
    Undo();
    EXPECT_EQ(Current(), layer);
    EXPECT_NE(typed, nullptr);
}

TEST_F(TextToolTest, BarChangesOfACommittedLayerAreStatesOfTheirOwn) {
    Typed({20, 20}, "abc");
    struct Row {
        const char* key;
        const char* value;
        const char* state;  // null: nothing recorded
    };
    for (const Row& r : std::vector<Row>{{"vertical", "1", "Text Direction"},
                                         {"vertical", "1", nullptr},
                                         {"font", "DejaVu Serif", "Text Font"},
                                         {"font", "DejaVu Serif", nullptr},
                                         {"size", "90", "Text Size"},
                                         {"color", "#0000FF", nullptr}}) {
        const int states = States();
        Set(r.key, r.value);
        EXPECT_EQ(States(), states + (r.state ? 1 : 0)) << r.key << "=" << r.value;
        if (r.state) {
            EXPECT_EQ(LastStateName(), r.state);
        }
    }
    EXPECT_EQ(Current()->Text().direction, kTextVertical);
    EXPECT_EQ(Current()->Text().face, "DejaVu Serif");
    EXPECT_EQ(Current()->Text().fontSize, 90);
    EXPECT_TRUE(tools.PressTextButton(TextButton::Direction));
    EXPECT_EQ(LastStateName(), "Text Direction");
    EXPECT_EQ(Current()->Text().direction, kTextHorizontal);

    // On a pixel layer the bar only keeps its values.
    image->Layers().SelectLayerById(image->Layers().LayerAt(0)->Id(), 0, 0);
    const int states = States();
    Set("size", "10");
    EXPECT_TRUE(tools.PressTextButton(TextButton::Direction));
    EXPECT_FALSE(tools.PressTextButton(TextButton::EditCurrent));
    EXPECT_EQ(States(), states);
    EXPECT_EQ(tools.Options().Get(kToolText, "vertical"), "1");
}

TEST_F(TextToolTest, AVerticalThreeLineTextDrawsThreeColumnsLeftward) {
    if (!HaveFonts()) GTEST_SKIP() << "no fonts installed";
    Set("size", "30");
    Set("vertical", "1");
    const int32_t ox = 200, oy = 10;
    const LayerPtr l = Typed({ox, oy}, "AB\r\nAB\r\nAB");
    ASSERT_EQ(l->Text().direction, kTextVertical);
    const int32_t h = TextLineHeight(l->Text());
    ASSERT_GT(h, 0);
    std::set<std::pair<int32_t, int32_t>> columns[3];
    for (auto [x, y] : Ink(*l)) {
        ASSERT_LT(x, ox);
        ASSERT_GE(x, ox - 3 * h);
        columns[(ox - 1 - x) / h].insert({x + (ox - 1 - x) / h * h, y});
    }
    ASSERT_FALSE(columns[0].empty());
    EXPECT_EQ(columns[1], columns[0]);  // the same column, one line height further left
    EXPECT_EQ(columns[2], columns[0]);
}

TEST_F(TextToolTest, AMenuCommandKeepsWhatWasTyped) {
    const int layers = image->Layers().LayerCount(), states = States();
    Click({5, 5});
    tools.EndPendingInteraction();  // nothing typed: nothing stays
    EXPECT_EQ(image->Layers().LayerCount(), layers);
    EXPECT_EQ(States(), states);
    Click({5, 5});
    Session().Type("kept");
    tools.EndPendingInteraction();
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(LastStateName(), "New Text Layer");
    EXPECT_EQ(Current()->Text().text, "kept");
}

}  // namespace
}  // namespace zelvo::test
