// Image Size: the dialog model's coupling, conversions and checks, and the resize of every
// layer kind (nearest neighbour against the trunc(i / s) rule, the smooth resampler against a
// direct average and bilinear formula), its history state and its undo.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/ImageSize.h"
#include "geometry/Resample.h"
#include "geometry/tests/GeometryTestSupport.h"
#include "selection/SelectionMask.h"

namespace zelvo {
namespace {

using test::Distinct;
using test::Pixels;

TEST(ImageSizeDialog, ScaleStylesKeepsTheCanvasRatioWithR4) {
    ScopedRecordingMessages messages;
    ImageSizeDialogModel d(100, 1, 2834);
    EXPECT_TRUE(d.EditPixelWidth(135));
    EXPECT_EQ(d.Width(), 135);
    EXPECT_EQ(d.Height(), 1);  // 1.35 does not round up at 0.4
    ImageSizeDialogModel e(100, 10, 2834);
    EXPECT_TRUE(e.EditPixelHeight(25));
    EXPECT_EQ(e.Width(), 250);
    e.scaleStyles = false;
    EXPECT_TRUE(e.EditPixelWidth(300));
    EXPECT_EQ(e.Height(), 25);            // uncoupled
    EXPECT_FALSE(e.EditPixelWidth(300));  // the same value is no edit
    EXPECT_FALSE(e.EditPixelWidth(0));
    EXPECT_FALSE(e.EditPixelWidth(10001));
    EXPECT_TRUE(messages.Entries().empty());
}

TEST(ImageSizeDialog, DocumentSizeAndResolutionConvertThroughR4) {
    ImageSizeDialogModel d(100, 50, 2834);  // 72 pixels per inch
    // 100 px at 28.34 px/cm is 3.5286 cm, shown as 3.53.
    EXPECT_FLOAT_EQ(d.DocumentWidth(), 3.53f);
    EXPECT_FLOAT_EQ(d.DocumentHeight(), 1.76f);
    EXPECT_FLOAT_EQ(d.ResolutionValue(), 71.98f);
    EXPECT_TRUE(d.EditDocumentWidth(7.0));
    EXPECT_EQ(d.Width(), RoundR4(7.0f * 2834.0f * 0.01f));  // 198.38 -> 198
    EXPECT_EQ(d.Height(), RoundR4(50.0f * (float(d.Width()) / 100.0f)));
    d.documentUnit = LengthUnit::Inch;
    EXPECT_TRUE(d.EditDocumentHeight(2.0));
    EXPECT_EQ(d.Height(), RoundR4(2.0f * 2834.0f * 0.0254f));  // 143.97 -> 144
    EXPECT_EQ(d.Width(), 288);

    // A new resolution keeps the document size and recomputes the pixels.
    ImageSizeDialogModel r(100, 50, 2834);
    const float docW = r.DocumentWidth(), docH = r.DocumentHeight();
    EXPECT_TRUE(r.EditResolution(144.0));
    EXPECT_EQ(r.Resolution(), RoundR4(144.0f * 39.37008f));
    EXPECT_EQ(r.Width(), RoundR4(docW * float(r.Resolution()) * 0.01f));
    EXPECT_EQ(r.Height(), RoundR4(docH * float(r.Resolution()) * 0.01f));
    r.resolutionUnit = DensityUnit::PixelsPerCentimeter;
    EXPECT_TRUE(r.EditResolution(10.0));
    EXPECT_EQ(r.Resolution(), 1000);
    EXPECT_FALSE(r.EditResolution(0.01));  // below 0.04
}

TEST(ImageSizeDialog, AnInvalidStateReturnsToTheCanvasValuesAndSaysWhy) {
    ScopedRecordingMessages messages;
    ImageSizeDialogModel d(4000, 4000, 2834);
    EXPECT_FALSE(d.EditPixelWidth(6000));  // 6000 x 6000 is past 20 million pixels
    EXPECT_EQ(d.Width(), 4000);
    EXPECT_EQ(d.Height(), 4000);
    EXPECT_EQ(messages.Last(), kImageLimitsMessage);
    EXPECT_FALSE(d.EditDocumentWidth(5000.0));  // 5000 cm: 141,700 pixels a side
    EXPECT_EQ(d.Width(), 4000);
    EXPECT_EQ(messages.Entries().size(), 2u);
    d.SetValues(10, 0, 2834);
    EXPECT_FALSE(d.CheckState());
    EXPECT_EQ(d.Height(), 4000);
    d.SetValues(10, 10, -5);
    EXPECT_FALSE(d.CheckState());
    EXPECT_EQ(d.Resolution(), 2834);
}

TEST(ImageSizeDialog, OkDoesNothingUnchangedAndRefusesTooManyPixels) {
    ScopedRecordingMessages messages;
    ImageSizeDialogModel d(100, 100, 2834);
    EXPECT_FALSE(d.Ok());
    d.SetValues(5000, 4001, 2834);
    EXPECT_FALSE(d.Ok());
    EXPECT_EQ(messages.Last(), "The new image should not more than 20 million pixels!");
    d.SetValues(150, 150, 2834);
    d.scaleStyles = false;
    const auto r = d.Ok();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->width, 150);
    EXPECT_EQ(r->height, 150);
    EXPECT_EQ(r->resolution, 2834);
    EXPECT_FALSE(r->scaleStyles);
}

class ImageSizeTest : public test::GeometryTest {
protected:
    int Resize(int32_t w, int32_t h, bool smooth, int32_t res = 2834) {
        return ResizeImage(*history, {w, h, res, smooth}, resolution);
    }
    int32_t resolution = 2834;
};

TEST_F(ImageSizeTest, NearestTo150PercentRepeatsEveryOtherRowAndColumn) {
    MakeDocument(100, 100, Distinct);
    ASSERT_EQ(Resize(150, 150, false), 1);
    EXPECT_EQ(image.width, 150);
    EXPECT_EQ(image.height, 150);
    const LayerPtr l = layers->LayerAt(0);
    EXPECT_EQ(l->Bounds(), (Rect{0, 0, 150, 150}));
    const Pixels p = ReadPixels(*l);
    for (int32_t j = 0; j < 150; ++j)
        for (int32_t i = 0; i < 150; ++i)
            ASSERT_EQ(p[size_t(j)][size_t(i)],
                      Distinct(int32_t(float(i) / 1.5f), int32_t(float(j) / 1.5f)))
                << i << "," << j;
    // Outputs 0 and 1 read source 0, 2 reads 1, 3 and 4 read 2: every other source repeats.
    EXPECT_EQ(p[0][0], p[0][1]);
    EXPECT_NE(p[0][1], p[0][2]);
    EXPECT_EQ(p[3][0], p[4][0]);
    EXPECT_EQ(LastStateName(), "Image Size");
    EXPECT_EQ(history->States().back().kind, kStateWholeImage);
    EXPECT_EQ(host.canvasChanges, 1);
}

TEST_F(ImageSizeTest, LayerRectanglesRoundUpFromThreeTenths) {
    MakeDocument(100, 100);
    const LayerPtr small = AddPixelLayer({20, 40, 21, 41}, Distinct);
    ASSERT_EQ(Resize(135, 135, false), 1);
    // 1 x 1.35 rounds up to 2 in a layer (R3), while the dialog keeps 1 for the same fraction.
    const LayerPtr l = layers->LayerAt(1);
    EXPECT_EQ(l->Bounds(), (Rect{27, 54, 29, 56}));
    const Pixels p = ReadPixels(*l);
    for (const auto& row : p)
        for (uint32_t v : row) EXPECT_EQ(v, Distinct(20, 40));  // clamped to the one source pixel
    ImageSizeDialogModel d(100, 1, 2834);
    d.EditPixelWidth(135);
    EXPECT_EQ(d.Height(), 1);
}

TEST_F(ImageSizeTest, ALayerThatShrinksToNothingBecomesANullLayer) {
    MakeDocument(100, 100);
    const LayerPtr dot = AddPixelLayer({50, 50, 51, 51}, Distinct);
    dot->SetOpacity(40);
    ASSERT_EQ(Resize(10, 10, false), 1);
    const LayerPtr l = layers->LayerAt(1);
    EXPECT_EQ(l->Kind(), LayerKind::Null);
    EXPECT_EQ(l->Id(), dot->Id());
    EXPECT_EQ(l->Opacity(), 40);
    EXPECT_TRUE(l->IsCurrent());
}

TEST_F(ImageSizeTest, SmoothReductionAveragesTheOpaquePixelsItCovers) {
    MakeDocument(8, 6, [](int32_t x, int32_t y) {
        // One transparent pixel with a colour that must not bleed in.
        if (x == 3 && y == 2) return 0x00FFFFFFu;
        return 0x64000000u | uint32_t(10 * x) << 16 | uint32_t(20 * y) << 8 | uint32_t(x + y);
    });
    ASSERT_EQ(Resize(4, 3, true), 1);
    const Pixels p = ReadPixels(*layers->LayerAt(0));
    ASSERT_EQ(p.size(), 3u);
    for (int32_t j = 0; j < 3; ++j)
        for (int32_t i = 0; i < 4; ++i) {
            int n = 0, a = 0, r = 0, g = 0, b = 0;
            for (int32_t y = 2 * j; y < 2 * j + 2; ++y)
                for (int32_t x = 2 * i; x < 2 * i + 2; ++x) {
                    if (x == 3 && y == 2) continue;
                    ++n;
                    a += 100;
                    r += 10 * x;
                    g += 20 * y;
                    b += x + y;
                }
            const uint32_t v = p[size_t(j)][size_t(i)];
            EXPECT_EQ(int(v >> 24), (a + 2) / 4) << i << "," << j;
            EXPECT_EQ(int((v >> 16) & 0xFF), (r + n / 2) / n);
            EXPECT_EQ(int((v >> 8) & 0xFF), (g + n / 2) / n);
            EXPECT_EQ(int(v & 0xFF), (b + n / 2) / n);
        }
}

TEST_F(ImageSizeTest, SmoothEnlargementInterpolatesColourAndTakesTheUpperLeftAlpha) {
    const auto word = [](int32_t x, int32_t y) {
        return uint32_t(40 + 10 * ((x + y) % 7)) << 24 | uint32_t(30 * x) << 16 |
               uint32_t(40 * y) << 8 | uint32_t((x * y * 13) % 256);
    };
    MakeDocument(5, 4, word);
    ASSERT_EQ(Resize(8, 7, true), 1);
    const Pixels p = ReadPixels(*layers->LayerAt(0));
    const float sx = 8.0f / 5.0f, sy = 7.0f / 4.0f;
    for (int32_t j = 0; j < 7; ++j)
        for (int32_t i = 0; i < 8; ++i) {
            const double u = double(float(i) / sx), v = double(float(j) / sy);
            const int32_t x0 = int32_t(u), y0 = int32_t(v);
            const int32_t x1 = std::min(x0 + 1, 4), y1 = std::min(y0 + 1, 3);
            const double fx = x1 == x0 ? 0 : u - x0, fy = y1 == y0 ? 0 : v - y0;
            const uint32_t out = p[size_t(j)][size_t(i)];
            EXPECT_EQ(out >> 24, word(x0, y0) >> 24) << i << "," << j;
            for (int shift : {0, 8, 16}) {
                const auto c = [&](int32_t x, int32_t y) {
                    return double((word(x, y) >> shift) & 0xFF);
                };
                const double want = (1 - fy) * ((1 - fx) * c(x0, y0) + fx * c(x1, y0)) +
                                    fy * ((1 - fx) * c(x0, y1) + fx * c(x1, y1));
                EXPECT_NEAR(double((out >> shift) & 0xFF), want, 1.0)
                    << i << "," << j << " " << shift;
            }
        }
}

// The smooth resampler's vector paths give the plain path's words on every shape: reductions
// and enlargements on either axis, one axis unscaled, a part of the scaled rectangle kept,
// transparent pixels that keep a colour, partial alpha, widths on both sides of the vectors'.
TEST_F(ImageSizeTest, SmoothVectorPathsGiveThePlainPathsWords) {
    MakeDocument(4, 4);
    struct Case {
        int32_t w, h, dw, dh;
        bool cut;  // keep the scaled rectangle less a margin only
    };
    const Case cases[] = {{40, 30, 26, 20, false}, {37, 23, 61, 40, true}, {50, 9, 17, 14, false},
                          {5, 40, 33, 7, true},    {100, 3, 7, 3, false},  {31, 31, 31, 62, true},
                          {1, 1, 19, 5, false},    {64, 48, 16, 12, true}, {300, 10, 11, 10, false},
                          {17, 2, 40, 1, false}};
    std::mt19937 rng(27);
    const ResampleArithmetic paths[] = {ResampleArithmetic::Best, ResampleArithmetic::Base,
                                        ResampleArithmetic::Avx2, ResampleArithmetic::V4};
    int compared = 0;
    for (const Case& c : cases) {
        Layer src(*store);
        ASSERT_TRUE(src.Create(c.w, c.h, LayerKind::Pixel, 900));
        Fill(src, [&](int32_t, int32_t) {
            const uint32_t colour = rng() & 0xFFFFFFu, kind = rng() % 4;
            const uint32_t alpha = kind == 0 ? 0 : kind == 1 ? 100 : 1 + rng() % 100;
            return alpha << 24 | colour;
        });
        const float sx = float(c.dw) / float(c.w), sy = float(c.dh) / float(c.h);
        const Rect full{-3, -2, c.dw - 3, c.dh - 2};
        const Rect kept =
            c.cut ? Rect{full.left + 1, full.top, full.right - 2, full.bottom - 1} : full;
        const auto resample = [&](ResampleArithmetic arithmetic) {
            Layer dst(*store);
            EXPECT_TRUE(dst.Create(kept.Width(), kept.Height(), LayerKind::Pixel, 901));
            dst.SetPosition(kept.left, kept.top);
            EXPECT_TRUE(ResamplePixels(src, dst, full, sx, sy, ResampleMode::Smooth, arithmetic));
            return ReadPixels(dst);
        };
        const Pixels plain = resample(ResampleArithmetic::Plain);
        ASSERT_EQ(plain.size(), size_t(kept.Height()));
        for (ResampleArithmetic path : paths) {
            if (!ResampleArithmeticAvailable(path)) continue;
            ASSERT_EQ(resample(path), plain)
                << c.w << "x" << c.h << " to " << c.dw << "x" << c.dh << " path " << int(path);
            ++compared;
        }
    }
    EXPECT_GE(compared, 2 * int(std::size(cases)));  // Best and Base everywhere
}

TEST_F(ImageSizeTest, AResolutionOnlyChangeCopiesThePixels) {
    MakeDocument(6, 5, Distinct);
    const Pixels before = ReadPixels(*layers->LayerAt(0));
    ASSERT_EQ(Resize(6, 5, true, 5669), 1);
    EXPECT_EQ(resolution, 5669);
    EXPECT_EQ(ReadPixels(*layers->LayerAt(0)), before);
    EXPECT_EQ(LastStateName(), "Image Size");
}

TEST_F(ImageSizeTest, TextAndCurveLayersAreRebuiltWithScaledAnchors) {
    MakeDocument(40, 30);
    const LayerPtr text = AddTextLayer("Ab", 4, 6, 20);
    const LayerPtr curve = AddCurveLayer({{2, 2}, {10, 2}, {10, 12}, {2, 12}});
    curve->SetColor(Rgb(0, 0, 255));
    const LayerPtr nothing = AddNullLayer();
    ASSERT_EQ(Resize(80, 45, false), 1);
    const LayerPtr t = layers->LayerAt(1), c = layers->LayerAt(2), n = layers->LayerAt(3);
    EXPECT_NE(t, text);
    EXPECT_EQ(t->Id(), text->Id());
    EXPECT_EQ(t->Kind(), LayerKind::Text);
    EXPECT_EQ(t->Width(), 80);
    EXPECT_EQ(t->Height(), 45);
    EXPECT_EQ(t->Text().originX, 8);
    EXPECT_EQ(t->Text().originY, 9);
    EXPECT_EQ(t->Text().fontSize, 30);  // in proportion to the height for horizontal text
    EXPECT_EQ(t->Text().text, "Ab");
    EXPECT_EQ(c->Kind(), LayerKind::Curve);
    EXPECT_EQ(c->Color(), Rgb(0, 0, 255));
    ASSERT_EQ(c->Anchors().size(), 4u);
    EXPECT_EQ(c->Anchors()[2].point, (Point{20, 18}));
    EXPECT_EQ(c->Anchors()[2].in, (Point{20, 18}));
    // The filled curve covers its scaled rectangle in the new mask.
    const auto mask = ReadMask(*c);
    EXPECT_EQ(mask[10][10], 1);
    EXPECT_EQ(mask[2][30], 0);
    EXPECT_EQ(n->Kind(), LayerKind::Null);
    EXPECT_TRUE(n->IsCurrent());
    // The old objects are left as they were for undo.
    EXPECT_EQ(text->Text().originX, 4);
    EXPECT_EQ(curve->Anchors()[2].point, (Point{10, 12}));
}

// What the layered file reads back bounds what Image Size makes: sizes keep their sign and stop
// at the largest, positions stop where coordinates end, as a move's do.
TEST_F(ImageSizeTest, ScaledSizesAndPositionsStayWithinTheFilesLimits) {
    MakeDocument(10, 10);
    const LayerPtr big = AddTextLayer("A", 1, 1, 900);
    const LayerPtr height = AddTextLayer("B", 1, 1, -20);
    const LayerPtr standard = AddTextLayer("C", 1, 1, 0);
    const LayerPtr far = AddCurveLayer({{1, 1}, {kMaxCoordinate / 2, 3}});
    AddPixelLayer({kMaxCoordinate - 5, -kMaxCoordinate, kMaxCoordinate - 2, 3 - kMaxCoordinate},
                  Distinct);
    ASSERT_EQ(Resize(1000, 1000, false), 1);
    EXPECT_EQ(layers->LayerAt(1)->Text().fontSize, kMaxLayerFontSize);
    EXPECT_EQ(layers->LayerAt(2)->Text().fontSize, -2000);
    EXPECT_EQ(layers->LayerAt(3)->Text().fontSize, 0);
    EXPECT_EQ(layers->LayerAt(4)->Anchors()[1].point, (Point{kMaxCoordinate, 300}));
    EXPECT_EQ(layers->LayerAt(5)->Bounds().left, kMaxCoordinate);
    EXPECT_EQ(layers->LayerAt(5)->Bounds().top, -kMaxCoordinate);
}

TEST_F(ImageSizeTest, TheSelectionIsRemovedFirstAndUndoRestoresListAndCanvasExactly) {
    MakeDocument(30, 20, Distinct);
    AddPixelLayer({-5, 3, 12, 9}, Distinct);
    AddTextLayer("x", 1, 2, 10);
    LayerPtr mask = CreateSelectionMask(*layers, {2, 2, 6, 6}, true);
    SetSelection(*history, mask, kSelectionNew);
    const int states = history->StateCount();
    const test::DocumentFacts before = Facts();

    ASSERT_EQ(Resize(45, 13, true), 1);
    EXPECT_FALSE(layers->Selection());
    ASSERT_EQ(history->StateCount(), states + 2);
    EXPECT_EQ(history->States()[size_t(states)].kind, kStateDeselect);
    EXPECT_EQ(LastStateName(), "Image Size");
    const test::DocumentFacts after = Facts();
    EXPECT_EQ(after.width, 45);

    Undo();
    EXPECT_EQ(Facts(), before);
    Redo();
    EXPECT_EQ(Facts(), after);
}

TEST_F(ImageSizeTest, AScaledLayerPastTwentyMillionPixelsIsCutToTheCanvas) {
    MakeDocument(1000, 1000);
    AddPixelLayer({0, 0, 3000, 3000}, [](int32_t x, int32_t y) {
        return 0x64000000u | uint32_t(x % 251) << 8 | uint32_t(y % 241);
    });
    ASSERT_EQ(Resize(1500, 1500, false), 1);  // 4500 x 4500 would be 20.25 million
    EXPECT_EQ(messages.Last(), "Images more than 20 million pixels,Will be cut!");
    const LayerPtr l = layers->LayerAt(1);
    EXPECT_EQ(l->Bounds(), (Rect{0, 0, 1500, 1500}));
    const Pixels p = ReadPixels(*l);
    for (int32_t j : {0, 1, 2, 777, 1499})
        for (int32_t i : {0, 1, 2, 1001, 1499}) {
            const int32_t x = int32_t(float(i) / 1.5f), y = int32_t(float(j) / 1.5f);
            EXPECT_EQ(p[size_t(j)][size_t(i)],
                      0x64000000u | uint32_t(x % 251) << 8 | uint32_t(y % 241));
        }
}

TEST_F(ImageSizeTest, OutOfRangeSizesAreRefusedAndChangeNothing) {
    MakeDocument(10, 10);
    const test::DocumentFacts before = Facts();
    EXPECT_EQ(Resize(0, 10, false), 0);
    EXPECT_EQ(Resize(10001, 10, false), 0);
    EXPECT_EQ(Resize(5000, 5000, false), 0);
    EXPECT_EQ(messages.Last(), "The new image should not more than 20 million pixels!");
    EXPECT_EQ(Facts(), before);
    EXPECT_EQ(LastStateName(), "New Image");
}

}  // namespace
}  // namespace zelvo
