// Rotate Canvas and Edit > Transform: the pixel turns against the canvas-point mapping, the
// rectangles and anchors of every layer kind, turns that come back to the start, the history
// states and their undo.
#include <gtest/gtest.h>

#include "core/RowBands.h"
#include "geometry/RotateCanvas.h"
#include "geometry/TransformLayer.h"
#include "geometry/tests/GeometryTestSupport.h"
#include "layers/InkBox.h"
#include "selection/SelectionMask.h"

namespace zelvo {
namespace {

using test::Distinct;
using test::Pixels;

class RotateTest : public test::GeometryTest {
protected:
    // The turned picture by the point mapping alone: the pixel at (x, y) goes to Map(x, y).
    static Pixels Expected(const Pixels& p, int code) {
        const int32_t w = int32_t(p[0].size()), h = int32_t(p.size());
        int32_t nw = 0, nh = 0;
        RotatedCanvasSize(code, w, h, nw, nh);
        Pixels out(size_t(nh), std::vector<uint32_t>(static_cast<size_t>(nw)));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const Point q = MapCanvasPoint({x, y}, code, w, h);
                out[size_t(q.y)][size_t(q.x)] = p[size_t(y)][size_t(x)];
            }
        return out;
    }
};

TEST_F(RotateTest, TurnPixelsMatchesThePointMappingForEveryCodeBandSizeAndPath) {
    // A picture lower than a tile of the quarter turn, one with whole tiles of 4, 8 and 16 and
    // a part tile left both ways, one wider than a band of 64 rows and one taller than two runs
    // of 64 source rows; on one thread and in three bands of rows; with every instruction set
    // the processor has.
    struct Size {
        int32_t w, h;
    };
    for (const Size size : {Size{7, 5}, Size{23, 41}, Size{150, 19}, Size{40, 150}}) {
        MakeDocument(size.w, size.h, Distinct);
        const LayerPtr src = layers->LayerAt(0);
        const Pixels p = ReadPixels(*src);
        for (int32_t threads : {1, 3}) {
            const ScopedPassThreads scoped(threads);
            for (int code = kRotateCounterclockwise; code <= kFlipVertical; ++code) {
                const Pixels expected = Expected(p, code);
                for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
                    if (!CpuRuns(level)) continue;
                    // Whole bands, bands of 20 rows (a tile of 16 and a part), of two rows and
                    // of one row (the buffer's smallest).
                    for (size_t band : {kTurnBandBytes, size_t(20 * 4 * size.h),
                                        size_t(2 * 4 * size.h), size_t(1)}) {
                        int32_t w = 0, h = 0;
                        RotatedCanvasSize(code, size.w, size.h, w, h);
                        Layer dst(*store);
                        ASSERT_TRUE(dst.Create(w, h, LayerKind::Pixel, 99));
                        ASSERT_TRUE(TurnPixels(*src, dst, code, band, level));
                        EXPECT_EQ(ReadPixels(dst), expected)
                            << size.w << "x" << size.h << " code " << code << " band " << band
                            << " threads " << threads << " level " << int(level);
                    }
                }
            }
        }
    }
    const LayerPtr src = layers->LayerAt(0);
    Layer wrong(*store);
    ASSERT_TRUE(wrong.Create(23, 41, LayerKind::Pixel, 98));
    EXPECT_FALSE(TurnPixels(*src, wrong, kRotateClockwise));  // needs 41 x 23
    EXPECT_FALSE(TurnPixels(*src, wrong, 6));
}

TEST_F(RotateTest, Clockwise300By200MovesTheLayerAndItsPixels) {
    MakeDocument(300, 200);
    const LayerPtr l = AddPixelLayer({10, 20, 110, 70}, Distinct);
    const Pixels before = ReadPixels(*l);
    ASSERT_EQ(RotateCanvas(*history, kRotateClockwise), 1);
    EXPECT_EQ(image.width, 200);
    EXPECT_EQ(image.height, 300);
    const LayerPtr t = layers->LayerAt(1);
    EXPECT_EQ(t->Bounds(), (Rect{130, 10, 180, 110}));
    EXPECT_EQ(t->Id(), l->Id());
    EXPECT_TRUE(t->IsCurrent());
    // Canvas pixel (x, y) of the old layer is canvas pixel (H - 1 - y, x) now.
    const Pixels after = ReadPixels(*t);
    for (int32_t y = 20; y < 70; y += 7)
        for (int32_t x = 10; x < 110; x += 9)
            EXPECT_EQ(after[size_t(x - 10)][size_t(199 - y - 130)],
                      before[size_t(y - 20)][size_t(x - 10)]);
    EXPECT_EQ(LastStateName(), "Rotate Canvas");
    EXPECT_EQ(history->States().back().kind, kStateWholeImage);
}

TEST_F(RotateTest, FourClockwiseTurnsAndTwoFlipsRestoreEveryPixel) {
    MakeDocument(9, 6, Distinct);
    AddPixelLayer({-2, 1, 5, 4}, [](int32_t x, int32_t y) { return Distinct(x + 50, y); });
    AddPixelLayer({6, 3, 12, 8}, [](int32_t x, int32_t y) { return Distinct(x, y + 50); });
    const auto content = [this] {
        std::vector<std::pair<Rect, Pixels>> c;
        for (const LayerPtr& l : layers->Layers()) c.push_back({l->Bounds(), ReadPixels(*l)});
        return c;
    };
    const auto start = content();
    for (int turn = 0; turn < 4; ++turn) {
        ASSERT_EQ(RotateCanvas(*history, kRotateClockwise), 1);
        if (turn < 3) {
            EXPECT_NE(content(), start);
        }
    }
    EXPECT_EQ(content(), start);
    EXPECT_EQ(image.width, 9);
    for (int code : {kFlipHorizontal, kFlipVertical, kRotate180}) {
        ASSERT_EQ(RotateCanvas(*history, code), 1);
        EXPECT_NE(content(), start);
        ASSERT_EQ(RotateCanvas(*history, code), 1);
        EXPECT_EQ(content(), start) << "code " << code;
    }
    ASSERT_EQ(RotateCanvas(*history, kRotateCounterclockwise), 1);
    ASSERT_EQ(RotateCanvas(*history, kRotateClockwise), 1);
    EXPECT_EQ(content(), start);
}

TEST_F(RotateTest, TextOriginsAndCurveAnchorsAreMappedAndTheSelectionStays) {
    MakeDocument(30, 20);
    const LayerPtr text = AddTextLayer("a", 3, 4, 10);
    AddCurveLayer({{2, 3}, {8, 3}, {8, 6}});
    AddNullLayer();
    const LayerPtr mask = CreateSelectionMask(*layers, {1, 1, 5, 5}, true);
    ASSERT_TRUE(mask);
    layers->SetSelectionObject(mask);
    ASSERT_EQ(RotateCanvas(*history, kRotateCounterclockwise), 1);
    const LayerPtr t = layers->LayerAt(1), c = layers->LayerAt(2), n = layers->LayerAt(3);
    EXPECT_EQ(t->Width(), 20);
    EXPECT_EQ(t->Height(), 30);
    // The text keeps its direction: its ink moves to the top-left of where the old ink's box
    // turns to (its origin alone would carry it to (4, 26), mostly off the canvas).
    Rect before, after;
    ASSERT_TRUE(MaskInkBox(*text, before) && MaskInkBox(*t, after));
    ASSERT_FALSE(before.IsEmpty());
    const Rect turned = MapCanvasRect(before, kRotateCounterclockwise, 30, 20);
    EXPECT_EQ(after, (Rect{turned.left, turned.top, turned.left + before.Width(),
                           turned.top + before.Height()}));
    EXPECT_EQ(t->Text().fontSize, 10);
    EXPECT_EQ(c->Anchors()[1].point, (Point{3, 21}));
    EXPECT_EQ(c->Anchors()[2].out, (Point{6, 21}));
    // The triangle's mask follows: (7, 4) lay inside it and is now (4, 22).
    EXPECT_EQ(ReadMask(*c)[22][4], 1);
    EXPECT_EQ(n->Kind(), LayerKind::Null);
    EXPECT_EQ(layers->Selection(), mask);
    EXPECT_EQ(text->Text().originX, 3);  // the old object is kept as it was
}

TEST_F(RotateTest, UndoOfRotateRestoresTheListAndCanvasExactly) {
    MakeDocument(11, 7, Distinct);
    AddPixelLayer({3, -2, 9, 4}, Distinct);
    AddTextLayer("q", 1, 1, 8);
    const test::DocumentFacts before = Facts();
    ASSERT_EQ(RotateCanvas(*history, kRotateClockwise), 1);
    const test::DocumentFacts after = Facts();
    EXPECT_EQ(after.width, 7);
    EXPECT_EQ(after.height, 11);
    Undo();
    EXPECT_EQ(Facts(), before);
    Redo();
    EXPECT_EQ(Facts(), after);
}

TEST_F(RotateTest, TransformTurnsTheCurrentLayerAboutItsCentre) {
    MakeDocument(20, 20, Distinct);
    const LayerPtr l = AddPixelLayer({10, 20, 16, 23}, Distinct);  // 6 x 3, past the canvas
    const Pixels p = ReadPixels(*l);
    EXPECT_EQ(TransformedLayerRect({10, 20, 16, 23}, kRotateClockwise), (Rect{12, 18, 15, 24}));
    EXPECT_EQ(TransformedLayerRect({10, 20, 16, 23}, kFlipVertical), (Rect{10, 20, 16, 23}));
    const int states = history->StateCount();

    ASSERT_EQ(TransformLayer(*history, kRotateClockwise), 1);
    const LayerPtr t = Current();
    EXPECT_NE(t, l);
    EXPECT_EQ(t->Bounds(), (Rect{12, 18, 15, 24}));
    EXPECT_EQ(ReadPixels(*t), Expected(p, kRotateClockwise));
    EXPECT_EQ(history->StateCount(), states + 1);
    EXPECT_EQ(history->States().back().kind, kStateLayerPixels);
    EXPECT_EQ(LastStateName(), "Transform Layer");
    EXPECT_EQ(image.width, 20);  // the canvas stays

    ASSERT_EQ(TransformLayer(*history, kFlipHorizontal), 1);
    EXPECT_EQ(Current()->Bounds(), (Rect{12, 18, 15, 24}));
    EXPECT_EQ(ReadPixels(*Current()), Expected(Expected(p, kRotateClockwise), kFlipHorizontal));
    Undo();
    Undo();
    EXPECT_EQ(Current(), l);
    EXPECT_EQ(ReadPixels(*l), p);
}

TEST_F(RotateTest, TransformNeedsAPixelLayer) {
    MakeDocument(20, 20);
    AddTextLayer("t", 1, 1, 10);
    const int states = history->StateCount();
    EXPECT_FALSE(GeometryCommandEnabled(GeometryCommand::TransformLayer, *history));
    EXPECT_TRUE(GeometryCommandEnabled(GeometryCommand::RotateCanvas, *history));
    EXPECT_EQ(TransformLayer(*history, kRotateClockwise), 0);
    AddNullLayer();
    EXPECT_EQ(TransformLayer(*history, kRotate180), 0);
    EXPECT_EQ(history->StateCount(), states + 1);  // only the null layer's own state
}

}  // namespace
}  // namespace zelvo
