// The crop rebuild: every layer becomes its part of the frame scaled to the output size, cut
// to the new canvas; text and curve anchors move and scale alike; one "Crop" state.
#include <gtest/gtest.h>

#include "geometry/CropRebuild.h"
#include "geometry/tests/GeometryTestSupport.h"

namespace zelvo {
namespace {

using test::Distinct;
using test::Pixels;

class CropRebuildTest : public test::GeometryTest {
protected:
    int32_t resolution = 2834;
};

TEST_F(CropRebuildTest, AtScaleOneEachLayerKeepsItsPartOfTheFrame) {
    MakeDocument(20, 15, Distinct);
    AddPixelLayer({2, 2, 8, 6}, [](int32_t x, int32_t y) { return Distinct(x + 100, y); });
    const LayerPtr outside = AddPixelLayer({15, 0, 19, 3}, Distinct);
    const LayerPtr text = AddTextLayer("c", 6, 7, 10);
    const Rect frame{5, 4, 15, 12};
    ASSERT_EQ(CropRebuild(*history, frame, 10, 8, 5669, resolution, ResampleMode::Nearest), 1);
    EXPECT_EQ(image.width, 10);
    EXPECT_EQ(image.height, 8);
    EXPECT_EQ(resolution, 5669);
    EXPECT_EQ(LastStateName(), "Crop");
    EXPECT_EQ(history->States().back().kind, kStateWholeImage);

    const Pixels bottom = ReadPixels(*layers->LayerAt(0));
    ASSERT_EQ(layers->LayerAt(0)->Bounds(), (Rect{0, 0, 10, 8}));
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 10; ++x)
            EXPECT_EQ(bottom[size_t(y)][size_t(x)], Distinct(x + 5, y + 4));
    // The layer reaching into the frame keeps only the part inside it.
    const LayerPtr mid = layers->LayerAt(1);
    EXPECT_EQ(mid->Bounds(), (Rect{0, 0, 3, 2}));
    EXPECT_EQ(ReadPixels(*mid)[1][2], Distinct(7 + 100, 5));
    EXPECT_EQ(layers->LayerAt(2)->Kind(), LayerKind::Null);
    EXPECT_EQ(layers->LayerAt(2)->Id(), outside->Id());
    EXPECT_EQ(layers->LayerAt(3)->Text().originX, 1);
    EXPECT_EQ(layers->LayerAt(3)->Text().originY, 3);
    EXPECT_EQ(layers->LayerAt(3)->Width(), 10);
}

TEST_F(CropRebuildTest, ScalingFollowsTheNearestRuleAndUndoRestores) {
    MakeDocument(12, 10, Distinct);
    AddCurveLayer({{4, 4}, {8, 4}, {8, 8}, {4, 8}});
    const test::DocumentFacts before = Facts();
    ASSERT_EQ(CropRebuild(*history, {2, 2, 8, 7}, 12, 15, 2834, resolution, ResampleMode::Nearest),
              1);
    const Pixels p = ReadPixels(*layers->LayerAt(0));
    for (int32_t y = 0; y < 15; ++y)
        for (int32_t x = 0; x < 12; ++x)
            EXPECT_EQ(p[size_t(y)][size_t(x)], Distinct(2 + x / 2, 2 + y / 3));
    // The whole old layer scaled reaches past the new canvas; only the canvas is kept.
    EXPECT_EQ(layers->LayerAt(0)->Bounds(), (Rect{0, 0, 12, 15}));
    EXPECT_EQ(layers->LayerAt(1)->Anchors()[2].point, (Point{12, 18}));
    Undo();
    EXPECT_EQ(Facts(), before);
}

TEST_F(CropRebuildTest, BadFramesAndSizesChangeNothing) {
    MakeDocument(12, 10);
    const test::DocumentFacts before = Facts();
    EXPECT_EQ(CropRebuild(*history, {5, 5, 5, 9}, 10, 10, 2834, resolution), 0);
    EXPECT_EQ(CropRebuild(*history, {0, 0, 5, 5}, 0, 10, 2834, resolution), 0);
    EXPECT_EQ(CropRebuild(*history, {0, 0, 5, 5}, 5000, 4001, 2834, resolution), 0);
    EXPECT_EQ(Facts(), before);
    EXPECT_EQ(resolution, 2834);
}

}  // namespace
}  // namespace zelvo
