// Clear transparent layer border and Rasterize.
#include "layerops/BorderRasterize.h"
#include "layerops/LayerCommands.h"
#include "layerops/tests/LayerOpsTestSupport.h"

namespace zelvo::test {
namespace {

constexpr const char* kNothingToClear =
    "This function is used to clear the boundary layer around the transparent.\nCurrent layer "
    "does not require clean-up.";

using BorderRasterizeTest = LayerOpsTest;

TEST_F(BorderRasterizeTest, ClearBorderCutsToTheOpaqueBox) {
    OpenImage();
    LayerPtr l = AddPixel(-3, 2, 10, 8, 0x00FFFFFF);  // colour but alpha 0 everywhere
    SetPixel(*l, 2, 3, 0x01000000);
    SetPixel(*l, 6, 5, 0x64123456);
    SetPixel(*l, 4, 4, 0x32ABCDEF);
    ASSERT_TRUE(LayerCommandEnabled(kCmdClearBorder, &History()));
    ASSERT_EQ(ClearTransparentBorder(History()), 1);
    LayerPtr cut = Lm().CurrentLayer();
    ASSERT_NE(cut, l);
    EXPECT_EQ(cut->Bounds(), (Rect{-1, 5, 4, 8}));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(*cut, x, y), PixelAt(*l, x + 2, y + 3));
    EXPECT_EQ(StateNames().back(), "Clear transparent border");
    History().GoToState(History().StateCount() - 1, 0);
    EXPECT_EQ(Lm().CurrentLayer(), l);
}

TEST_F(BorderRasterizeTest, NothingToClear) {
    OpenImage();
    LayerPtr l = AddPixel(0, 0, 3, 3, 0x00000000);
    SetPixel(*l, 0, 0, 0x64000000);
    SetPixel(*l, 2, 2, 0x64000000);
    const int states = History().StateCount();
    EXPECT_EQ(ClearTransparentBorder(History()), 0);
    EXPECT_EQ(messages.Last(), kNothingToClear);
    EXPECT_EQ(History().StateCount(), states);
    EXPECT_EQ(Lm().CurrentLayer(), l);
}

TEST_F(BorderRasterizeTest, AFullyTransparentLayerBecomesANullLayerInOneStep) {
    OpenImage();
    LayerPtr l = AddPixel(0, 0, 4, 4, 0x00FFFFFF);
    const int states = History().StateCount();
    ASSERT_EQ(ClearTransparentBorder(History()), 1);
    EXPECT_EQ(Lm().CurrentLayer()->Kind(), LayerKind::Null);
    EXPECT_EQ(History().StateCount(), states + 1);
    History().GoToState(states, 0);
    EXPECT_EQ(Lm().CurrentLayer(), l);
    // Only for pixel layers.
    EXPECT_EQ(ClearTransparentBorder(History()), 1);
    EXPECT_FALSE(LayerCommandEnabled(kCmdClearBorder, &History()));
    EXPECT_EQ(ClearTransparentBorder(History()), 0);
}

TEST_F(BorderRasterizeTest, RasterizeTextAtOpacity40) {
    OpenImage();
    LayerPtr text = AddText("Hi", 3, 1, Rgb(200, 30, 10), 8);
    text->SetOpacity(40);
    // The box of the ink, from the mask as drawn.
    Rect ink;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            if (BitAt(*text, x, y)) ink = ink.Union({x, y, x + 1, y + 1});
    if (ink.IsEmpty()) GTEST_SKIP() << "no font draws here";
    const Rect box =
        Rect{ink.left - 1, ink.top - 1, ink.right + 1, ink.bottom + 1}.Intersect({0, 0, kW, kH});
    ASSERT_TRUE(LayerCommandEnabled(kCmdRasterize, &History()));
    ASSERT_EQ(RasterizeLayer(History()), 1);
    LayerPtr px = Lm().CurrentLayer();
    ASSERT_EQ(px->Kind(), LayerKind::Pixel);
    EXPECT_EQ(px->Opacity(), 100);
    ASSERT_EQ(px->Bounds(), box);
    for (int32_t y = box.top; y < box.bottom; ++y)
        for (int32_t x = box.left; x < box.right; ++x)
            EXPECT_EQ(PixelAt(*px, x - box.left, y - box.top),
                      BitAt(*text, x, y) ? StoredDib::PixelWord(Rgb(200, 30, 10), 40) : 0u)
                << x << "," << y;
    EXPECT_EQ(StateNames().back(), "Rasterize Layer");
    // Undo gives the text layer back as it was, opacity included.
    History().GoToState(History().StateCount() - 1, 0);
    EXPECT_EQ(Lm().CurrentLayer(), text);
    EXPECT_EQ(text->Opacity(), 40);
}

TEST_F(BorderRasterizeTest, RasterizeCurveAtOpacityZeroIsAllClear) {
    OpenImage();
    LayerPtr curve = AddCurve({{2, 2}, {10, 2}, {10, 8}, {2, 8}}, true, true, Rgb(0, 0, 255));
    curve->SetOpacity(0);
    ASSERT_EQ(RasterizeLayer(History()), 1);
    LayerPtr px = Lm().CurrentLayer();
    ASSERT_EQ(px->Kind(), LayerKind::Pixel);
    EXPECT_FALSE(px->Bounds().IsEmpty());
    for (int32_t y = 0; y < px->Height(); ++y)
        for (int32_t x = 0; x < px->Width(); ++x) EXPECT_EQ(PixelAt(*px, x, y), 0u);
    EXPECT_FALSE(LayerCommandEnabled(kCmdRasterize, &History()));
    EXPECT_EQ(RasterizeLayer(History()), 0);
}

TEST_F(BorderRasterizeTest, RasterizeAnEmptyTextGivesANullLayer) {
    OpenImage();
    LayerPtr text = AddText("", 3, 1, Rgb(200, 30, 10));
    ASSERT_EQ(RasterizeLayer(History()), 1);
    EXPECT_EQ(Lm().CurrentLayer()->Kind(), LayerKind::Null);
    EXPECT_EQ(StateNames().back(), "Rasterize Layer");
}

}  // namespace
}  // namespace zelvo::test
