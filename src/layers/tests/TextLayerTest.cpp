// Text layers: mask structure (not glyph shapes, which depend on the font), line splitting, the
// face and size lists of the options bar, and the stored face name.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "core/InternalError.h"
#include "layers/Layer.h"
#include "layers/TextLayer.h"
#include "layers/tests/LayersTestSupport.h"
#include "platform/MaskPainter.h"

namespace zelvo {
namespace {

using Ink = std::set<std::pair<int32_t, int32_t>>;

Ink InkOf(Layer& layer) {
    Ink ink;
    for (int32_t y = 0; y < layer.Height(); ++y) {
        const uint8_t* row = test::TopRow(layer, y);
        for (int32_t x = 0; x < layer.Width(); ++x)
            if ((row[x >> 3] >> (7 - (x & 7))) & 1) ink.insert({x, y});
    }
    return ink;
}

Ink Shifted(const Ink& ink, int32_t dx, int32_t dy) {
    Ink out;
    for (auto [x, y] : ink) out.insert({x + dx, y + dy});
    return out;
}

bool HaveFonts() {
    return !SystemFontFamilies().empty();
}

class TextLayerTest : public test::StoreTest {
protected:
    Layer& MakeText(int32_t w, int32_t h, const std::string& text, int32_t x, int32_t y,
                    int32_t size, int32_t direction) {
        layer = std::make_unique<Layer>(*store);
        EXPECT_TRUE(layer->Create(w, h, LayerKind::Text, 1));
        TextSettings& t = layer->Text();
        t.text = text;
        t.originX = x;
        t.originY = y;
        t.fontSize = size;
        t.direction = direction;
        return *layer;
    }
    std::unique_ptr<Layer> layer;
};

TEST_F(TextLayerTest, EmptyTextClearsTheWholeMask) {
    Layer& l = MakeText(33, 9, "", 2, 2, 20, kTextHorizontal);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 33; ++x) test::SetBit(l, x, y, true);
    EXPECT_TRUE(RenderText(l));
    EXPECT_TRUE(InkOf(l).empty());
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(TextLayerTest, VerticalLinesMakeColumnsOneLineHeightApartToTheLeft) {
    if (!HaveFonts()) GTEST_SKIP() << "no fonts installed";
    const int32_t ox = 200, oy = 10;
    Layer& l = MakeText(240, 120, "AB\r\nAB\r\nAB", ox, oy, 30, kTextVertical);
    ASSERT_TRUE(RenderText(l));
    const int32_t h = TextLineHeight(l.Text());
    ASSERT_GT(h, 0);
    const Ink ink = InkOf(l);
    Ink cols[3];
    for (auto [x, y] : ink) {
        // Each column lies in its cell: x in [ox - (k + 1) h, ox - k h), running downward.
        const int32_t k = (ox - 1 - x) / h;
        ASSERT_GE(x, ox - 3 * h) << x;
        ASSERT_LT(x, ox) << x;
        ASSERT_GE(y, oy);
        cols[k].insert({x, y});
    }
    ASSERT_FALSE(cols[0].empty());
    EXPECT_EQ(cols[1], Shifted(cols[0], -h, 0));
    EXPECT_EQ(cols[2], Shifted(cols[0], -2 * h, 0));
}

TEST_F(TextLayerTest, HorizontalLinesStepDownByTheLineHeight) {
    if (!HaveFonts()) GTEST_SKIP() << "no fonts installed";
    const int32_t ox = 5, oy = 7;
    Layer& l = MakeText(120, 100, "HX\r\nHX", ox, oy, 25, kTextHorizontal);
    ASSERT_TRUE(RenderText(l));
    const int32_t h = TextLineHeight(l.Text());
    Ink first, second;
    for (auto [x, y] : InkOf(l)) {
        ASSERT_GE(y, oy);
        ASSERT_LT(y, oy + 2 * h);
        ASSERT_GE(x, ox);
        (y < oy + h ? first : second).insert({x, y});
    }
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(second, Shifted(first, 0, h));
}

TEST_F(TextLayerTest, SwappingTheOriginMovesTheInkAndSwapsBack) {
    if (!HaveFonts()) GTEST_SKIP() << "no fonts installed";
    Layer& l = MakeText(100, 60, "W", 10, 5, 20, kTextHorizontal);
    ASSERT_TRUE(RenderText(l));
    const Ink before = InkOf(l);
    Point origin{40, 25};
    SwapTextOrigin(l, origin);
    EXPECT_EQ(origin, (Point{10, 5}));
    EXPECT_EQ(l.Text().originX, 40);
    EXPECT_EQ(InkOf(l), Shifted(before, 30, 20));
    SwapTextOrigin(l, origin);
    EXPECT_EQ(InkOf(l), before);
}

TEST_F(TextLayerTest, TextOffTheCanvasDrawsNothing) {
    if (!HaveFonts()) GTEST_SKIP() << "no fonts installed";
    Layer& l = MakeText(50, 50, "Far away", 500, 500, 20, kTextHorizontal);
    EXPECT_TRUE(RenderText(l));
    EXPECT_TRUE(InkOf(l).empty());
}

TEST_F(TextLayerTest, OnlyTextLayersRenderAndAMissingMaskIsInternalError1014) {
    Layer pixel(*store);
    ASSERT_TRUE(pixel.Create(4, 4, LayerKind::Pixel, 1));
    EXPECT_FALSE(RenderText(pixel));
    EXPECT_TRUE(messages.Entries().empty());

    Layer broken(*store);
    EXPECT_FALSE(broken.Create(0, 0, LayerKind::Text, 2));  // a text layer left without a block
    EXPECT_FALSE(RenderText(broken));
    EXPECT_EQ(messages.Last(), InternalErrorText(1014));
}

TEST(TextLines, SplitAtCarriageReturnsWithoutBreakCharacters) {
    EXPECT_EQ(TextLines(""), (std::vector<std::string>{""}));
    EXPECT_EQ(TextLines("one"), (std::vector<std::string>{"one"}));
    EXPECT_EQ(TextLines("a\r\nb\r\n\r\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
    // A lone LF is no line break; it is dropped from the line.
    EXPECT_EQ(TextLines("x\ny"), (std::vector<std::string>{"xy"}));
    EXPECT_EQ(TextLines("end\r"), (std::vector<std::string>{"end", ""}));
}

TEST(TextFace, StoredFaceHoldsAtMost31BytesOfWholeCharacters) {
    TextSettings t;
    SetTextFace(t, std::string(40, 'a'));
    EXPECT_EQ(t.face, std::string(31, 'a'));
    SetTextFace(t, "Liberation Sans");
    EXPECT_EQ(t.face, "Liberation Sans");
    // 30 ASCII bytes then a two-byte character: the character does not fit whole.
    SetTextFace(t, std::string(30, 'b') + "\xC3\xA9" + "z");
    EXPECT_EQ(t.face, std::string(30, 'b'));
}

TEST(FontFaceList, HighByteFamiliesFirstAgencyBeforeArial) {
    const std::string cjk1 = "\xE5\xAE\x8B\xE4\xBD\x93", cjk2 = "\xE9\xBB\x91\xE4\xBD\x93";
    struct Row {
        std::vector<std::string> in, out;
        int selected;
    } rows[] = {
        {{"Arial", cjk1, "Agency FB", "Courier", cjk2},
         {cjk1, cjk2, "Agency FB", "Arial", "Courier"},
         3},
        {{"Agency FB", "Courier", "Arial"}, {"Courier", "Agency FB", "Arial"}, 2},
        {{"Courier", "Agency FB", "Verdana"}, {"Courier", "Agency FB", "Verdana"}, 0},
        {{cjk1, "Verdana"}, {cjk1, "Verdana"}, 0},
        {{}, {}, -1},
    };
    for (const Row& r : rows) {
        const std::vector<std::string> list = FontFaceList(r.in);
        EXPECT_EQ(list, r.out);
        EXPECT_EQ(DefaultFontFaceIndex(list), r.selected);
    }
}

TEST(FontSizeList, ThirtyTwoSizesSixtySelected) {
    const std::vector<int32_t>& sizes = FontSizeList();
    ASSERT_EQ(sizes.size(), 32u);
    EXPECT_EQ(sizes[kDefaultFontSizeIndex], 60);
    for (size_t i = 0; i < sizes.size(); ++i) {
        const int32_t want = i < 20 ? 10 * int32_t(i + 1) : 200 + 25 * int32_t(i - 19);
        EXPECT_EQ(sizes[i], want) << i;
    }
    EXPECT_EQ(sizes.back(), 500);
}

}  // namespace
}  // namespace zelvo
