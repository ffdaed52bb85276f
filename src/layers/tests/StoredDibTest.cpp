#include <gtest/gtest.h>

#include <vector>

#include "layers/Layer.h"
#include "layers/StoredDib.h"
#include "layers/tests/LayersTestSupport.h"
#include "store/RowCursor.h"

namespace zelvo {
namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

TEST(StoredDib, StridesArePaddedToFourBytes) {
    struct Row {
        int32_t width, bits;
        uint32_t stride;
    } rows[] = {{1, 32, 4}, {3, 32, 12}, {1, 1, 4},  {32, 1, 4},  {33, 1, 8}, {5, 8, 8},
                {4, 8, 4},  {3, 24, 12}, {1, 24, 4}, {17, 4, 12}, {16, 2, 4}};
    for (const Row& r : rows)
        EXPECT_EQ(StoredDib::Stride(r.width, r.bits), r.stride) << r.width << "x" << r.bits;
    EXPECT_EQ(StoredDib::Stride(0, 32), 0u);
}

TEST(StoredDib, RowsFollowHeaderAndColourTable) {
    EXPECT_EQ(StoredDib::RowsOffset(32), 40u);
    EXPECT_EQ(StoredDib::RowsOffset(24), 40u);
    EXPECT_EQ(StoredDib::RowsOffset(1), 48u);
    EXPECT_EQ(StoredDib::RowsOffset(2), 56u);
    EXPECT_EQ(StoredDib::RowsOffset(4), 104u);
    EXPECT_EQ(StoredDib::RowsOffset(8), 1064u);
    EXPECT_EQ(StoredDib::PayloadBytes(3, 2, 32), 40u + 24u);
    EXPECT_EQ(StoredDib::PayloadBytes(9, 5, 1), 48u + 20u);
    EXPECT_EQ(StoredDib::PayloadBytes(0, 5, 1), 0u);
}

TEST(StoredDib, HeaderFieldsInFileOrder) {
    std::vector<uint8_t> buf(40, 0xCD);
    StoredDib::WriteHeader(buf.data(), 7, 3, 32);
    EXPECT_EQ(Le32(&buf[0]), 40u);
    EXPECT_EQ(Le32(&buf[4]), 7u);
    EXPECT_EQ(Le32(&buf[8]), 3u);  // positive height: bottom-up rows
    EXPECT_EQ(Le16(&buf[12]), 1u);
    EXPECT_EQ(Le16(&buf[14]), 32u);
    EXPECT_EQ(Le32(&buf[16]), 0u);       // no compression
    EXPECT_EQ(Le32(&buf[20]), 28u * 3);  // stride x height
    for (int off = 24; off < 40; off += 4) EXPECT_EQ(Le32(&buf[off]), 0u) << off;
}

TEST(StoredDib, GreyColourTables) {
    for (int bits : {1, 2, 4, 8}) {
        const uint32_t entries = 1u << bits;
        ASSERT_EQ(StoredDib::PaletteEntries(bits), entries);
        std::vector<uint8_t> buf(40 + 4 * entries, 0xCD);
        StoredDib::WriteHeader(buf.data(), 10, 2, bits);
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* e = &buf[40 + 4 * i];
            uint8_t grey = uint8_t(i * (256 / entries));
            if (bits == 1 && i == 1) grey = 255;  // the mask's set bit is white
            EXPECT_EQ(e[0], grey) << bits << ":" << i;
            EXPECT_EQ(e[1], grey) << bits << ":" << i;
            EXPECT_EQ(e[2], grey) << bits << ":" << i;
            EXPECT_EQ(e[3], 0) << bits << ":" << i;
        }
    }
    std::vector<uint8_t> eight(1064);
    StoredDib::WriteHeader(eight.data(), 1, 1, 8);
    EXPECT_EQ(eight[40 + 4 * 255], 255);
    EXPECT_EQ(eight[40 + 4 * 128 + 1], 128);
}

TEST(StoredDib, PixelWordTakesColourRefApart) {
    EXPECT_EQ(StoredDib::PixelWord(Rgb(0x11, 0x22, 0x33), 100), 0x64112233u);
    EXPECT_EQ(StoredDib::PixelWord(Rgb(255, 0, 0), 0), 0x00FF0000u);
}

using StoredDibInStore = test::StoreTest;

TEST_F(StoredDibInStore, LayerBlocksHoldHeaderTableAndRows) {
    struct Case {
        LayerKind kind;
        int32_t width, height, bits;
    } cases[] = {
        {LayerKind::Pixel, 5, 4, 32}, {LayerKind::Text, 9, 3, 1}, {LayerKind::Curve, 40, 2, 1}};
    for (const Case& c : cases) {
        Layer layer(*store);
        ASSERT_TRUE(layer.Create(c.width, c.height, c.kind, 1));
        EXPECT_EQ(layer.BitsPerPixel(), c.bits);
        const uint32_t stride = ((c.width * c.bits + 31) / 32) * 4;
        const uint32_t table = c.bits == 1 ? 8 : 0;
        const FileDynamicStore::Span span = store->Payload(layer.Block());
        ASSERT_GE(span.length, 40 + table + stride * c.height);
        MappedView view(*store, span.offset, 40 + table);
        ASSERT_TRUE(view.IsValid());
        const uint8_t* h = view.Data();
        EXPECT_EQ(Le32(h), 40u);
        EXPECT_EQ(int32_t(Le32(h + 4)), c.width);
        EXPECT_EQ(int32_t(Le32(h + 8)), c.height);
        EXPECT_EQ(Le16(h + 14), uint32_t(c.bits));
        EXPECT_EQ(Le32(h + 20), stride * c.height);
        if (c.bits == 1) {
            EXPECT_EQ(Le32(h + 40), 0u);
            EXPECT_EQ(Le32(h + 44), 0x00FFFFFFu);
        }
        EXPECT_TRUE(store->CheckBlock(layer.Block()));
    }
}

}  // namespace
}  // namespace zelvo
