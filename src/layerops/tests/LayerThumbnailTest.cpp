// The Layers palette's picture of a layer: fitted and centred, the layer's pixels where it lies,
// percent alpha over the checkerboard, text masks in their colour, nothing drawn for a null
// layer but the board.
#include "layerops/LayerCommands.h"
#include "layerops/LayerThumbnail.h"
#include "layerops/tests/LayerOpsTestSupport.h"

namespace zelvo::test {
namespace {

using LayerThumbnailTest = LayerOpsTest;

uint32_t At(const std::vector<uint32_t>& t, int side, int x, int y) {
    return t[size_t(y) * size_t(side) + size_t(x)];
}

TEST_F(LayerThumbnailTest, PixelsWhereTheLayerLies) {
    LayerPtr first = OpenImage(Rgb(255, 0, 0));
    // An opaque blue square in the canvas's top-left quarter, and a half-transparent one.
    LayerPtr blue = AddPixel(0, 0, kW / 2, kH / 2, 0x640000FFu);
    LayerPtr half = AddPixel(kW / 2, kH / 2, kW / 2, kH / 2, 0x32000000u);
    const int side = 20;
    const double s = std::min(double(side) / kW, double(side) / kH);
    const int tw = std::max(1, int(kW * s)), th = std::max(1, int(kH * s));
    const int ox = (side - tw) / 2, oy = (side - th) / 2;
    const std::vector<uint32_t> red = LayerThumbnail(*first, kW, kH, side);
    const std::vector<uint32_t> b = LayerThumbnail(*blue, kW, kH, side);
    const std::vector<uint32_t> h = LayerThumbnail(*half, kW, kH, side);
    ASSERT_EQ(red.size(), size_t(side * side));
    const struct {
        const std::vector<uint32_t>& picture;
        int x, y;
        uint32_t expected;
    } cases[] = {
        {red, ox, oy, 0xFFFF0000u},
        {red, ox + tw - 1, oy + th - 1, 0xFFFF0000u},
        {b, ox, oy, 0xFF0000FFu},
        {b, ox + tw - 1, oy + th - 1, 0xFFCCCCCCu},  // the board's dark square
        {h, ox, oy, 0xFFFFFFFFu},
        {h, ox + tw - 1, oy + th - 1, 0xFF666666u},  // 50 % black over the board's 0xCC
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(At(c.picture, side, c.x, c.y), c.expected);
    }
    // Outside the fitted canvas nothing is drawn.
    if (ox > 0 || oy > 0) {
        EXPECT_EQ(At(red, side, 0, 0), 0u);
    }
}

TEST_F(LayerThumbnailTest, KindsAndSizes) {
    OpenImage();
    LayerPtr text = AddText("W", 0, 0, Rgb(0, 128, 0));
    NewLayer(History());
    LayerPtr null = Lm().CurrentLayer();
    ASSERT_EQ(null->Kind(), LayerKind::Null);
    const std::vector<uint32_t> board = LayerThumbnail(*null, kW, kH, 16);
    for (uint32_t px : board) EXPECT_TRUE(px == 0 || px == 0xFFFFFFFFu || px == 0xFFCCCCCCu);
    const std::vector<uint32_t> t = LayerThumbnail(*text, kW, kH, 16);
    EXPECT_NE(std::count(t.begin(), t.end(), 0xFF008000u), 0);
    EXPECT_TRUE(LayerThumbnail(*null, kW, kH, 0).empty());
    EXPECT_TRUE(LayerThumbnail(*null, 0, kH, 16).empty());
}

}  // namespace
}  // namespace zelvo::test
