#include <gtest/gtest.h>

#include <cstring>

#include "layers/Layer.h"
#include "layers/StoredDib.h"
#include "layers/tests/LayersTestSupport.h"
#include "store/RowCursor.h"

namespace zelvo {
namespace {

using test::PixelAt;
using test::SetBit;
using test::SetPixel;
using test::TopRow;

class LayerTest : public test::StoreTest {
protected:
    // Hands back a block of `bytes` filled with 0xFF, so the next block of that size is dirty.
    void DirtyFreeBlock(uint64_t bytes) {
        const BlockHandle h = store->Allocate(bytes);
        ASSERT_NE(h, 0u);
        store->Fill(h, 0xFF, false);
        store->Free(h);
    }
};

TEST_F(LayerTest, CreationRulePerKind) {
    Layer pixel(*store), text(*store), curve(*store), null(*store);
    ASSERT_TRUE(pixel.Create(6, 4, LayerKind::Pixel, 3));
    EXPECT_EQ(pixel.BitsPerPixel(), 32);
    EXPECT_EQ(pixel.Id(), 3);
    EXPECT_EQ(pixel.Kind(), LayerKind::Pixel);
    EXPECT_EQ(pixel.Position(), (Point{0, 0}));
    EXPECT_EQ(pixel.Bounds(), (Rect{0, 0, 6, 4}));
    EXPECT_NE(pixel.Block(), 0u);
    EXPECT_TRUE(pixel.IsVisible());
    EXPECT_EQ(pixel.Opacity(), 100);
    EXPECT_EQ(pixel.LinkCount(), 0);

    ASSERT_TRUE(text.Create(20, 3, LayerKind::Text, 4));
    EXPECT_EQ(text.BitsPerPixel(), 1);
    EXPECT_EQ(text.Stride(), 4u);

    curve.SetColor(Rgb(1, 2, 3));
    ASSERT_TRUE(curve.Create(10, 10, LayerKind::Curve, 5));
    EXPECT_EQ(curve.BitsPerPixel(), 1);
    EXPECT_EQ(curve.Color(), Rgb(0, 0, 0));
    EXPECT_TRUE(curve.IsFilled());
    EXPECT_FALSE(curve.IsClosed());

    ASSERT_TRUE(null.Create(50, 50, LayerKind::Null, 6));
    EXPECT_EQ(null.Id(), 6);
    EXPECT_EQ(null.Width(), 0);
    EXPECT_EQ(null.Height(), 0);
    EXPECT_EQ(null.Block(), 0u);
    EXPECT_FALSE(null.HasPixels());
}

TEST_F(LayerTest, MaskLayersStartClearEvenInReusedSpace) {
    const uint64_t bytes = StoredDib::PayloadBytes(100, 30, 1);
    for (LayerKind kind : {LayerKind::Text, LayerKind::Curve}) {
        DirtyFreeBlock(bytes);
        Layer layer(*store);
        ASSERT_TRUE(layer.Create(100, 30, kind, 1));
        for (int32_t r = 0; r < 30; ++r) {
            const uint8_t* row = TopRow(layer, r);
            for (uint32_t i = 0; i < layer.Stride(); ++i) ASSERT_EQ(row[i], 0) << r << "," << i;
        }
    }
}

TEST_F(LayerTest, RowsAreStoredBottomUpAfterTheHeader) {
    Layer layer(*store);
    ASSERT_TRUE(layer.Create(3, 4, LayerKind::Pixel, 1));
    layer.FillColor(Rgb(0, 0, 0), 0, 100, false);
    SetPixel(layer, 2, 0, 0x64ABCDEF);  // top row, last column
    layer.ReleaseRows();
    const FileDynamicStore::Span span = store->Payload(layer.Block());
    MappedView view(*store, span.offset, 40 + 12 * 4);
    ASSERT_TRUE(view.IsValid());
    uint32_t v;
    std::memcpy(&v, view.Data() + 40 + 3 * 12 + 8, 4);  // stored row 3 = picture row 0
    EXPECT_EQ(v, 0x64ABCDEFu);
    std::memcpy(&v, view.Data() + 40 + 8, 4);
    EXPECT_EQ(v, 0u);
}

TEST_F(LayerTest, FillColorWritesTheWordEverywhere) {
    Layer layer(*store);
    ASSERT_TRUE(layer.Create(7, 5, LayerKind::Pixel, 1));
    EXPECT_TRUE(layer.FillColor(Rgb(0x12, 0x34, 0x56), 100, 42, true));
    EXPECT_EQ(layer.Opacity(), 42);
    for (int32_t r = 0; r < 5; ++r)
        for (int32_t c = 0; c < 7; ++c)
            ASSERT_EQ(PixelAt(layer, c, r), 0x64123456u) << c << "," << r;
    EXPECT_TRUE(layer.FillColor(Rgb(255, 255, 255), 0, 100, false));
    EXPECT_EQ(PixelAt(layer, 6, 4), 0x00FFFFFFu);
    EXPECT_TRUE(store->CheckBlock(layer.Block()));
}

TEST_F(LayerTest, FillColorLeavesOtherKindsAlone) {
    Layer text(*store);
    ASSERT_TRUE(text.Create(16, 2, LayerKind::Text, 1));
    text.SetOpacity(30);
    EXPECT_FALSE(text.FillColor(Rgb(255, 0, 0), 100, 90, false));
    EXPECT_EQ(text.Opacity(), 30);
    EXPECT_EQ(TopRow(text, 0)[0], 0);
}

TEST_F(LayerTest, ClearZeroesRowsButKeepsHeader) {
    Layer layer(*store);
    ASSERT_TRUE(layer.Create(4, 3, LayerKind::Pixel, 1));
    layer.FillColor(Rgb(9, 9, 9), 100, 100, false);
    ASSERT_TRUE(layer.Clear());
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 4; ++c) EXPECT_EQ(PixelAt(layer, c, r), 0u);
    layer.ReleaseRows();
    MappedView view(*store, store->Payload(layer.Block()).offset, 40);
    uint32_t size, width;
    std::memcpy(&size, view.Data(), 4);
    std::memcpy(&width, view.Data() + 4, 4);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(width, 4u);
}

TEST_F(LayerTest, OpacityIsClampedOnSet) {
    Layer layer(*store);
    layer.SetOpacity(150);
    EXPECT_EQ(layer.Opacity(), 100);
    layer.SetOpacity(-5);
    EXPECT_EQ(layer.Opacity(), 0);
    layer.SetOpacity(63);
    EXPECT_EQ(layer.Opacity(), 63);
}

TEST_F(LayerTest, PositionMovesBounds) {
    Layer layer(*store);
    ASSERT_TRUE(layer.Create(10, 6, LayerKind::Pixel, 1));
    layer.SetPosition(-3, 8);
    EXPECT_EQ(layer.Position(), (Point{-3, 8}));
    EXPECT_EQ(layer.Bounds(), (Rect{-3, 8, 7, 14}));
    layer.ToggleVisible();
    EXPECT_FALSE(layer.IsVisible());
    layer.ToggleVisible();
    EXPECT_TRUE(layer.IsVisible());
}

TEST_F(LayerTest, ContainsOpaquePixelReadsMaskBitsMostSignificantFirst) {
    Layer mask(*store);
    ASSERT_TRUE(mask.Create(19, 4, LayerKind::Text, 1));
    mask.SetPosition(5, 2);
    const int32_t on[][2] = {{0, 0}, {7, 1}, {8, 1}, {18, 3}, {9, 2}};
    for (auto& p : on) SetBit(mask, p[0], p[1], true);
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t c = 0; c < 19; ++c) {
            bool expected = false;
            for (auto& p : on) expected |= p[0] == c && p[1] == r;
            EXPECT_EQ(mask.ContainsOpaquePixel(c + 5, r + 2), expected) << c << "," << r;
        }
    EXPECT_FALSE(mask.ContainsOpaquePixel(4, 2));   // left of bounds
    EXPECT_FALSE(mask.ContainsOpaquePixel(5, 6));   // below
    EXPECT_FALSE(mask.ContainsOpaquePixel(24, 5));  // right of bounds
    mask.SetVisible(false);
    EXPECT_FALSE(mask.ContainsOpaquePixel(5, 2));
}

TEST_F(LayerTest, ContainsOpaquePixelReadsAlphaOfPixelLayers) {
    Layer layer(*store);
    ASSERT_TRUE(layer.Create(3, 3, LayerKind::Pixel, 1));
    layer.FillColor(Rgb(255, 255, 255), 0, 100, false);
    SetPixel(layer, 1, 2, 0x01000000);
    EXPECT_TRUE(layer.ContainsOpaquePixel(1, 2));
    EXPECT_FALSE(layer.ContainsOpaquePixel(1, 1));
    EXPECT_FALSE(layer.ContainsOpaquePixel(-1, 0));
    Layer null(*store);
    null.Create(0, 0, LayerKind::Null, 2);
    EXPECT_FALSE(null.ContainsOpaquePixel(0, 0));
}

TEST_F(LayerTest, BlockGoesBackWhenFreedOrDestroyed) {
    const uint32_t before = store->UsedCount();
    {
        Layer a(*store), b(*store);
        ASSERT_TRUE(a.Create(30, 30, LayerKind::Pixel, 1));
        ASSERT_TRUE(b.Create(30, 30, LayerKind::Curve, 2));
        EXPECT_EQ(store->UsedCount(), before + 2);
        a.Free();
        EXPECT_EQ(a.Block(), 0u);
        EXPECT_EQ(store->UsedCount(), before + 1);
        a.Free();  // twice is harmless
    }
    EXPECT_EQ(store->UsedCount(), before);
}

TEST_F(LayerTest, RefusedSizesLeaveNoBlock) {
    Layer layer(*store);
    EXPECT_FALSE(layer.Create(0, 10, LayerKind::Pixel, 1));
    EXPECT_FALSE(layer.Create(10, -1, LayerKind::Text, 1));
    EXPECT_EQ(layer.Block(), 0u);
    EXPECT_FALSE(layer.HasPixels());
    EXPECT_EQ(layer.Rows(), nullptr);
}

TEST(LayerKindName, PaletteNames) {
    EXPECT_STREQ(LayerKindName(LayerKind::Null), "Null Layer");
    EXPECT_STREQ(LayerKindName(LayerKind::Pixel), "Pixel Layer");
    EXPECT_STREQ(LayerKindName(LayerKind::Text), "Text Layer");
    EXPECT_STREQ(LayerKindName(LayerKind::Curve), "Curve Layer");
}

}  // namespace
}  // namespace zelvo
