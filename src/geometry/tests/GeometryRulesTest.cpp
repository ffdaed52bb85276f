// The rules the geometry dialogs and commands share: the R3/R4 rounding, the two-decimal
// displays, the unit conversions and the canvas mapping of the five rotate and flip codes.
#include <gtest/gtest.h>

#include <random>

#include "geometry/Geometry.h"

namespace zelvo {
namespace {

TEST(GeometryRules, R3RoundsUpFromThreeTenthsAndR4FromFourTenths) {
    struct Row {
        float x;
        int32_t r3, r4;
    };
    const Row rows[] = {
        {1.35f, 2, 1}, {1.45f, 2, 2},      {1.25f, 1, 1},   {2.0f, 2, 2},    {0.5f, 1, 1},
        {0.1f, 0, 0},  {150.0f, 150, 150}, {13.5f, 14, 14}, {-2.5f, -2, -2},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(RoundR3(r.x), r.r3) << r.x;
        EXPECT_EQ(RoundR4(r.x), r.r4) << r.x;
    }
}

TEST(GeometryRules, TwoDecimalsRoundForImageSizeAndCutForCanvasSize) {
    EXPECT_FLOAT_EQ(ImageSizeD2(3.5286f), 3.53f);
    EXPECT_FLOAT_EQ(CanvasSizeD2(3.5286f), 3.52f);
    EXPECT_FLOAT_EQ(ImageSizeD2(3.521f), 3.52f);
    EXPECT_FLOAT_EQ(CanvasSizeD2(7.0f), 7.0f);
}

TEST(GeometryRules, UnitConversionsFollowTheResolutionInPixelsPerMetre) {
    // 2834 pixels per metre is 72 pixels per inch.
    EXPECT_NEAR(PixelsToLength(2834, 2834, LengthUnit::Centimeter), 100.0, 1e-9);
    EXPECT_NEAR(PixelsToLength(72, 2834, LengthUnit::Inch), 72.0 / 2834 * 39.37008, 1e-9);
    EXPECT_EQ(PixelsToLength(300, 2834, LengthUnit::Pixels), 300.0);
    EXPECT_EQ(PixelsToLength(300, 0, LengthUnit::Centimeter), 0.0);  // no resolution
    EXPECT_NEAR(ResolutionIn(2834, DensityUnit::PixelsPerInch), 71.9836, 1e-4);
    EXPECT_NEAR(ResolutionIn(2834, DensityUnit::PixelsPerCentimeter), 28.34, 1e-9);
}

TEST(GeometryRules, RotateClockwiseOf300By200MovesTheExampleRectangle) {
    int32_t w = 0, h = 0;
    RotatedCanvasSize(kRotateClockwise, 300, 200, w, h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 300);
    EXPECT_EQ(MapCanvasRect({10, 20, 110, 70}, kRotateClockwise, 300, 200),
              (Rect{130, 10, 180, 110}));
    RotatedCanvasSize(kFlipVertical, 300, 200, w, h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);
}

// A rectangle maps onto exactly the pixels its pixels map to, for every code.
TEST(GeometryRules, RectangleMappingAgreesWithThePointMapping) {
    std::mt19937 rng(7);
    const int32_t W = 23, H = 17;
    for (int code = kRotateCounterclockwise; code <= kFlipVertical; ++code) {
        for (int n = 0; n < 40; ++n) {
            std::uniform_int_distribution<int32_t> d(-5, 30);
            int32_t a = d(rng), b = d(rng), c = d(rng), e = d(rng);
            const Rect r{std::min(a, b), std::min(c, e), std::max(a, b) + 1, std::max(c, e) + 1};
            Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
            for (int32_t y = r.top; y < r.bottom; ++y)
                for (int32_t x = r.left; x < r.right; ++x) {
                    const Point p = MapCanvasPoint({x, y}, code, W, H);
                    box = {std::min(box.left, p.x), std::min(box.top, p.y),
                           std::max(box.right, p.x + 1), std::max(box.bottom, p.y + 1)};
                }
            EXPECT_EQ(MapCanvasRect(r, code, W, H), box) << "code " << code;
        }
    }
}

TEST(GeometryRules, FourQuarterTurnsAndTwoFlipsComeBackToTheStart) {
    const int32_t W = 9, H = 5;
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const Point start{x, y};
            for (int code : {kRotateClockwise, kRotateCounterclockwise}) {
                Point p = start;
                int32_t w = W, h = H;
                for (int turn = 0; turn < 4; ++turn) {
                    p = MapCanvasPoint(p, code, w, h);
                    std::swap(w, h);
                }
                EXPECT_EQ(p, start);
            }
            for (int code : {kRotate180, kFlipHorizontal, kFlipVertical})
                EXPECT_EQ(MapCanvasPoint(MapCanvasPoint(start, code, W, H), code, W, H), start);
            // A clockwise turn is undone by a counterclockwise one.
            EXPECT_EQ(MapCanvasPoint(MapCanvasPoint(start, kRotateClockwise, W, H),
                                     kRotateCounterclockwise, H, W),
                      start);
        }
}

}  // namespace
}  // namespace zelvo
