// Copy, Cut and Paste through an in-process clipboard: the bitmap's bytes against the
// compositing rule, round trips, foreign bitmaps and malformed data.
#include "clipboard/ClipboardCommands.h"
#include "clipboard/ClipboardDib.h"
#include "selection/SelectionCommands.h"
#include "testsupport/SelectionTestSupport.h"

namespace zelvo::test {
namespace {

uint32_t Word(int b, int g, int r, int a) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
}

// A bitmap written by hand: 40-byte header, rows bottom-up, stride padded to 4 bytes.
std::vector<uint8_t> HandDib(int w, int h, int bits,
                             const std::function<std::vector<uint8_t>(int, int)>& px) {
    const int stride = ((bits * w + 31) / 32) * 4;
    std::vector<uint8_t> d(size_t(40 + stride * std::abs(h)), 0);
    auto put = [&](int at, int32_t v) { std::memcpy(d.data() + at, &v, 4); };
    put(0, 40);
    put(4, w);
    put(8, h);
    d[12] = 1;
    d[14] = uint8_t(bits);
    for (int y = 0; y < std::abs(h); ++y) {
        const int stored = h > 0 ? std::abs(h) - 1 - y : y;
        for (int x = 0; x < w; ++x) {
            const std::vector<uint8_t> p = px(x, y);
            std::memcpy(d.data() + 40 + stored * stride + x * (bits / 8), p.data(),
                        size_t(bits / 8));
        }
    }
    return d;
}

class ClipboardTest : public SelectionTest {
protected:
    // Turns the current layer into a null layer (a full Clear), as the user would.
    void MakeCurrentNull() {
        SelectAll(*history);
        ClearSelection(*history);
        ASSERT_EQ(Current()->Kind(), LayerKind::Null);
        Deselect(*history);
    }
    MemoryClipboard clipboard;
    ClipboardState state;
};

TEST(CopiedPixelTest, OpaqueHalfAndUnselectedPixels) {
    const PercentTables& t = SharedTables();
    CopiedPixel p = EncodeCopiedPixel(t, 10, 20, 30, 100, 100);
    EXPECT_EQ(p.b, 10);
    EXPECT_EQ(p.g, 20);
    EXPECT_EQ(p.r, 30);
    EXPECT_EQ(p.m, 101);
    p = EncodeCopiedPixel(t, 200, 201, 7, 50, 100);
    EXPECT_EQ(p.b, 127 + 100);
    EXPECT_EQ(p.g, 127 + 100);  // 201 * 50 / 100 truncates to 100
    EXPECT_EQ(p.r, 127 + 3);
    EXPECT_EQ(p.m, 51);
    p = EncodeCopiedPixel(t, 1, 2, 3, 100, 0);
    EXPECT_EQ(p.b, 255);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.m, 1);
}

TEST_F(ClipboardTest, CopyWritesEveryPixelOverWhiteWithItsEffectiveOpacity) {
    LayerPtr layer = AddPixelLayer({2, 1, 14, 9}, [](int x, int y) {
        return Word(x * 17 % 256, y * 29 % 256, (x + y) * 11 % 256, (x * 13 + y * 7) % 101);
    });
    Grid g = Canvas();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) g[size_t(y)][size_t(x)] = (x * 5 + y * 9) % 101;
    Select({5, 3, 20, 12}, g);
    ASSERT_TRUE(CopyEnabled(*history));
    ASSERT_EQ(CopySelection(*history, clipboard, state), 1);
    EXPECT_EQ(state.lastCopy, (Rect{5, 3, 14, 9}));
    const auto dib = clipboard.Dib();
    ASSERT_TRUE(dib);
    ASSERT_EQ(dib->size(), 40u + 9 * 6 * 4);
    int32_t w, h;
    std::memcpy(&w, dib->data() + 4, 4);
    std::memcpy(&h, dib->data() + 8, 4);
    EXPECT_EQ(w, 9);
    EXPECT_EQ(h, 6);
    EXPECT_EQ((*dib)[14], 32);
    for (int y = 3; y < 9; ++y)
        for (int x = 5; x < 14; ++x) {
            const uint32_t px = PixelAt(*layer, x, y);
            const int a = int(px >> 24), s = g[size_t(y)][size_t(x)];
            const int e = a * s / 100, white = 255 * (100 - e) / 100;
            const uint8_t* got = dib->data() + 40 + ((8 - y) * 9 + (x - 5)) * 4;  // bottom-up
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(got[c], white + int((px >> (8 * c)) & 0xFF) * e / 100) << x << "," << y;
            EXPECT_EQ(got[3], e + 1);
        }
}

TEST_F(ClipboardTest, OwnCopyPastesBackInPlaceWithColoursAndOpacities) {
    AddPixelLayer({0, 0, 8, 4}, [](int x, int) {
        return x < 4 ? Word(10, 20, 30, 100) : Word(200, 100, 50, 50);
    });
    Grid g = Canvas(100);
    for (int y = 0; y < kH; ++y) g[size_t(y)][7] = 0;  // outside the feathered part
    Select({0, 0, kW, kH}, g);
    ASSERT_EQ(CutSelection(*history, clipboard, state), 1);
    EXPECT_EQ(LastStateName(), "Clear");
    // Column 7 was not selected, so it stays: the layer keeps only that column.
    EXPECT_EQ(Current()->Bounds(), (Rect{7, 0, 8, 4}));
    MakeCurrentNull();

    const int states = history->StateCount();
    ASSERT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Pasted);
    EXPECT_EQ(history->StateCount(), states + 1);
    EXPECT_EQ(LastStateName(), "Paste");
    EXPECT_EQ(history->States().back().kind, kStateLayerPixels);
    LayerPtr now = Current();
    EXPECT_EQ(now->Bounds(), (Rect{0, 0, 8, 4}));
    EXPECT_EQ(PixelAt(*now, 1, 2), Word(10, 20, 30, 100));  // e = 100, m = 101: exact
    // Opacity 50: the colour comes back through the truncations.
    const auto back = [](int c) {
        const int copied = 127 + c * 50 / 100;
        return (copied - 127) * 100 / 50;
    };
    EXPECT_EQ(PixelAt(*now, 5, 0), Word(back(200), back(100), back(50), 50));
    EXPECT_EQ(PixelAt(*now, 7, 3) >> 24, 0u);  // strength 0: transparent
}

TEST_F(ClipboardTest, ForeignBitmapsPasteOpaqueAtTheOrigin) {
    MakeCurrentNull();
    state.lastCopy = {3, 3, 8, 8};
    // 24-bit, 3 x 2, its size unlike the last copy.
    clipboard.SetForeign(HandDib(3, 2, 24, [](int x, int y) {
        return std::vector<uint8_t>{uint8_t(x), uint8_t(y), 9};
    }));
    ASSERT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Pasted);
    LayerPtr now = Current();
    EXPECT_EQ(now->Bounds(), (Rect{0, 0, 3, 2}));
    EXPECT_EQ(PixelAt(*now, 2, 1), Word(2, 1, 9, 100));
    EXPECT_EQ(PixelAt(*now, 0, 0), Word(0, 0, 9, 100));

    // 32-bit with a fourth byte of 0 (as other programs write it), top-down rows.
    MakeCurrentNull();
    clipboard.SetForeign(HandDib(2, -2, 32, [](int x, int y) {
        return std::vector<uint8_t>{uint8_t(40 + x), uint8_t(50 + y), 60, 0};
    }));
    ASSERT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Pasted);
    EXPECT_EQ(PixelAt(*Current(), 1, 0), Word(41, 50, 60, 100));
    EXPECT_EQ(PixelAt(*Current(), 0, 1), Word(40, 51, 60, 100));
}

TEST_F(ClipboardTest, AForeignBitmapOfTheLastCopySizeIsDecodedThere) {
    MakeCurrentNull();
    state.lastCopy = {4, 5, 6, 6};
    clipboard.SetForeign(HandDib(2, 1, 32, [](int x, int) {
        // m = 255 is outside 1..101: the pixel stays opaque; m = 1 is transparent.
        return std::vector<uint8_t>{7, 8, 9, uint8_t(x == 0 ? 255 : 1)};
    }));
    ASSERT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Pasted);
    EXPECT_EQ(Current()->Bounds(), (Rect{4, 5, 6, 6}));
    EXPECT_EQ(PixelAt(*Current(), 4, 5), Word(7, 8, 9, 100));
    EXPECT_EQ(PixelAt(*Current(), 5, 5), Word(7, 8, 9, 0));
}

TEST_F(ClipboardTest, ACopyOutsideTheShrunkCanvasIsMovedToTheOrigin) {
    MakeCurrentNull();
    state.lastCopy = {20, 10, 22, 12};
    clipboard.SetForeign(HandDib(2, 2, 32, [](int, int) {
        return std::vector<uint8_t>{1, 2, 3, 101};
    }));
    image.width = 10;
    ASSERT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Pasted);
    EXPECT_EQ(Current()->Bounds(), (Rect{0, 0, 2, 2}));
    EXPECT_EQ(PixelAt(*Current(), 1, 1), Word(1, 2, 3, 100));
    image.width = kW;
}

TEST_F(ClipboardTest, AHugeBitmapWarnsAndIsCutToTheCanvas) {
    MakeCurrentNull();
    // 5000 x 4001 is just over 20 million pixels.
    std::vector<uint8_t> big = HandDib(1, 1, 24, [](int, int) {
        return std::vector<uint8_t>{0, 0, 0};
    });
    const int32_t w = 5000, h = 4001, stride = ((24 * w + 31) / 32) * 4;
    big.assign(40 + size_t(stride) * h, 0);
    const uint8_t header[] = {40, 0, 0, 0};
    std::memcpy(big.data(), header, 4);
    std::memcpy(big.data() + 4, &w, 4);
    std::memcpy(big.data() + 8, &h, 4);
    big[12] = 1;
    big[14] = 24;
    // Top-left pixel (stored in the last row) in a colour of its own.
    uint8_t* topLeft = big.data() + 40 + size_t(stride) * (h - 1);
    topLeft[0] = 5;
    topLeft[2] = 6;
    clipboard.SetForeign(big);
    messages.Clear();
    ASSERT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Pasted);
    EXPECT_EQ(messages.Last(), "Images more than 20 million pixels,Will be cut!");
    EXPECT_EQ(Current()->Bounds(), (Rect{0, 0, kW, kH}));
    EXPECT_EQ(PixelAt(*Current(), 0, 0), Word(5, 0, 6, 100));
}

TEST_F(ClipboardTest, MalformedDataDoesNothingWithoutAMessage) {
    MakeCurrentNull();
    const auto good = HandDib(4, 3, 24, [](int, int) { return std::vector<uint8_t>{1, 1, 1}; });
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back({});
    bad.push_back(std::vector<uint8_t>(39, 0));
    bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 1));  // one byte short
    auto with = [&](int at, int32_t v) {
        auto d = good;
        std::memcpy(d.data() + at, &v, 4);
        return d;
    };
    bad.push_back(with(0, 12));         // header too small
    bad.push_back(with(0, 1 << 30));    // header past the data
    bad.push_back(with(4, 0));          // no width
    bad.push_back(with(4, -4));         // negative width
    bad.push_back(with(8, 0));          // no height
    bad.push_back(with(8, INT32_MIN));  // a height that cannot be negated
    bad.push_back(with(8, 1 << 28));    // rows the data does not hold
    bad.push_back(with(4, 1 << 30));    // a row the data does not hold
    bad.push_back(with(16, 1));         // compressed
    {
        auto d = good;
        d[14] = 16;  // another depth
        bad.push_back(d);
    }
    const int states = history->StateCount();
    for (size_t i = 0; i < bad.size(); ++i) {
        clipboard.SetForeign(bad[i]);
        messages.Clear();
        EXPECT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Nothing) << i;
        EXPECT_TRUE(messages.Entries().empty()) << i;
        EXPECT_EQ(history->StateCount(), states) << i;
    }
    clipboard.Empty();
    EXPECT_FALSE(PasteEnabled(clipboard));
    EXPECT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::Nothing);
}

TEST_F(ClipboardTest, PasteOntoAPixelLayerIsLeftToTheNewLayerOperation) {
    clipboard.SetForeign(HandDib(2, 2, 24, [](int, int) { return std::vector<uint8_t>{1, 2, 3}; }));
    const int states = history->StateCount();
    EXPECT_EQ(PasteClipboard(*history, clipboard, state), PasteResult::NeedsNewLayer);
    EXPECT_EQ(history->StateCount(), states);
}

TEST_F(ClipboardTest, CopyNeedsAPixelLayerASelectionAndAnOpenClipboard) {
    EXPECT_FALSE(CopyEnabled(*history));
    EXPECT_EQ(CopySelection(*history, clipboard, state), 0);
    Select({0, 0, 4, 4}, Canvas(100));
    clipboard.SetLocked(true);
    EXPECT_EQ(CopySelection(*history, clipboard, state), 0);
    clipboard.SetLocked(false);
    EXPECT_EQ(CopySelection(*history, clipboard, state), 1);
    EXPECT_TRUE(PasteEnabled(clipboard));
    EXPECT_EQ(CleanClipboard(clipboard), 1);
    EXPECT_FALSE(clipboard.HasDib());
    MakeCurrentNull();
    Select({0, 0, 4, 4}, Canvas(100));
    EXPECT_EQ(CopySelection(*history, clipboard, state), 0);
}

}  // namespace
}  // namespace zelvo::test
