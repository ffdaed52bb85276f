// Reading the layers in place through the refresher's kept mapping of the scratch file: the
// tiles equal those of a renderer that copies the rows out; a thumb drag builds the layers'
// table once for all its moves; the mapping reaches the file as it grows and is made again
// after another document's close cuts it.
#include "view/ImageView.h"
#include "view/ViewZoom.h"
#include "view/tests/ViewTestSupport.h"

namespace zelvo {
namespace {

using FastScrollTest = test::ViewFixture;

// Every pixel of the client area the grids cover: the two refreshers' tiles agree.
void ExpectSameTiles(DisplayRefresher& a, DisplayRefresher& b, const Image& image,
                     const char* what) {
    const Rect sr = const_cast<Image&>(image).Geometry().screenRect;
    for (int32_t y = sr.top; y < sr.bottom; ++y)
        for (int32_t x = sr.left; x < sr.right; ++x)
            ASSERT_EQ(test::ViewFixture::TileWord(a, x, y), test::ViewFixture::TileWord(b, x, y))
                << what << " at " << x << "," << y;
}

void ExpectTilesShowTheDisplay(DisplayRefresher& refresher, Image& image, const char* what) {
    ASSERT_TRUE(image.Layers().RenderDisplay());
    Layer& display = *image.Layers().DisplayBuffer();
    const Rect sr = image.Geometry().screenRect;
    for (int32_t y = sr.top; y < sr.bottom; ++y)
        for (int32_t x = sr.left; x < sr.right; ++x)
            ASSERT_EQ(test::ViewFixture::TileWord(refresher, x, y) & 0xFFFFFFu,
                      test::ViewFixture::DisplayPixel(display, x, y) & 0xFFFFFFu)
                << what << " at " << x << "," << y;
    display.ReleaseRows();
}

TEST_F(FastScrollTest, InPlaceTilesEqualCopiedTiles) {
    std::mt19937 rng(4242);
    DisplayRefresher inPlace(1024, 768, workspace->Tables());
    DisplayRefresher copied(1024, 768, workspace->Tables());
    copied.Renderer().SetReadInPlace(false);
    for (int trial = 0; trial < 4; ++trial) {
        inPlace.Renderer().SetThreads(1 + trial % 2);
        copied.Renderer().SetThreads(1 + (trial + 1) % 2);
        auto image = RandomDocument(rng, 400 + 131 * trial, 300 + 77 * trial, 3 + trial);
        ImageView view(*image);
        view.Resize(600, 450);
        for (float zoom : {0.27f, 1.0f, 2.5f, 0.6f}) {
            view.SetZoom(zoom);
            view.ScrollTo(int32_t(rng() % 300), int32_t(rng() % 200));
            EXPECT_GT(inPlace.Serve(*image, 1), 0);
            EXPECT_GT(copied.Serve(*image, 1), 0);
            SCOPED_TRACE(testing::Message() << "trial " << trial << " zoom " << zoom);
            ExpectSameTiles(inPlace, copied, *image, "in place vs copied");
        }
    }
    EXPECT_GE(inPlace.Renderer().Mappings(), 1u);
    EXPECT_EQ(copied.Renderer().Mappings(), 0u);
    EXPECT_EQ(copied.Renderer().TablesBuilt(), 0);
}

TEST_F(FastScrollTest, AThumbDragBuildsTheTableOnce) {
    std::mt19937 rng(8);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    auto image = RandomDocument(rng, 1500, 1100, 4);
    ImageView view(*image);
    view.Resize(500, 400);
    view.SetZoomMode(kZoomActualPixels);
    view.ScrollTo(0, 0);
    refresher.Serve(*image, 1);
    // Outside a drag every pass that renders builds its own table.
    const long outside = refresher.Renderer().TablesBuilt();
    view.ScrollTo(300, 0);
    refresher.Serve(*image, 8);
    EXPECT_EQ(refresher.Renderer().TablesBuilt(), outside + 1);

    // The drag: built at its first move, used by every further one.
    image->ViewState().fastScroll.store(true);
    const long before = refresher.Renderer().TablesBuilt();
    int rendered = 0;
    for (int step = 1; step <= 6; ++step) {
        view.ScrollTo(300 + 97 * step, 61 * step);
        // Tiles still in the rings from earlier moves need no rendering.
        rendered += refresher.Serve(*image, 8);
        EXPECT_EQ(refresher.Renderer().TablesBuilt(), before + 1) << "move " << step;
        ExpectTilesShowTheDisplay(refresher, *image, "during the drag");
    }
    EXPECT_GT(rendered, 6);
    // Pixels changed in the middle of the drag: the table is built again.
    test::ViewFixture::Paint(*image->Layers().LayerAt(0), [](int32_t c, int32_t r) {
        return uint32_t(100) << 24 | (uint32_t(c * 5 + r * 3) & 0xFFFFFFu);
    });
    refresher.Serve(*image, 1);
    EXPECT_EQ(refresher.Renderer().TablesBuilt(), before + 2);
    ExpectTilesShowTheDisplay(refresher, *image, "changed during the drag");
    // A layer hidden and handed over with a view move still shows at once: the table no
    // longer describes the layers, so it is built again.
    LayerManager& lm = image->Layers();
    for (const LayerPtr& l : lm.Layers())
        if (l->IsVisible() && l.get() != lm.LayerAt(0).get()) {
            l->SetVisible(false);
            break;
        }
    view.ScrollTo(10, 10);
    refresher.Serve(*image, 8);
    EXPECT_EQ(refresher.Renderer().TablesBuilt(), before + 3);
    ExpectTilesShowTheDisplay(refresher, *image, "hidden during the drag");

    // The release ends the pass: the next move builds its own table again.
    image->ViewState().fastScroll.store(false);
    view.ScrollTo(700, 500);
    refresher.Serve(*image, 8);
    EXPECT_EQ(refresher.Renderer().TablesBuilt(), before + 4);
    EXPECT_FALSE(refresher.Renderer().FastScroll());
    ExpectTilesShowTheDisplay(refresher, *image, "after the drag");
}

TEST_F(FastScrollTest, TheMappingFollowsTheFileThroughGrowthAndCuts) {
    std::mt19937 rng(15);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    auto image = RandomDocument(rng, 600, 400, 3);
    ImageView view(*image);
    view.Resize(640, 480);
    view.SetZoomMode(kZoomFitOnWindow);
    refresher.Serve(*image, 1);
    EXPECT_EQ(refresher.Renderer().Mappings(), 1u);
    refresher.Serve(*image, 1);
    EXPECT_EQ(refresher.Renderer().Mappings(), 1u) << "kept from one pass to the next";

    // Another document grows the file, and a new layer of ours lies past it: the mapping
    // reaches that far already.
    auto other = RandomDocument(rng, 900, 900, 2);
    LayerPtr added = image->Layers().AppendLayer(600, 400, LayerKind::Pixel);
    ASSERT_TRUE(added);
    test::ViewFixture::Paint(*added, [](int32_t c, int32_t r) {
        return uint32_t(60) << 24 | uint32_t(c * 977 + r * 31);
    });
    view.RequestRender(1);
    refresher.Serve(*image, 1);
    EXPECT_EQ(refresher.Renderer().Mappings(), 1u);
    ExpectTilesShowTheDisplay(refresher, *image, "after growth");

    // A third document past all of ours.
    auto last = RandomDocument(rng, 800, 700, 2);
    refresher.Serve(*image, 1);
    EXPECT_EQ(refresher.Renderer().Mappings(), 1u);
    // It closes and the file is cut: the next pass maps the shorter file.
    const uint64_t generation = workspace->Store().Generation();
    const uint64_t longer = workspace->Store().FileBytes();
    last->Release();
    ASSERT_NE(workspace->Store().Generation(), generation);
    ASSERT_LT(workspace->Store().FileBytes(), longer);
    view.RequestRender(1);
    refresher.Serve(*image, 1);
    EXPECT_EQ(refresher.Renderer().Mappings(), 2u);
    ExpectTilesShowTheDisplay(refresher, *image, "after the cut");

    // No active image: the mapping is given back.
    refresher.SetActive(image.get());
    refresher.SetActive(nullptr);
    refresher.Serve(*image, 1);
    EXPECT_EQ(refresher.Renderer().Mappings(), 3u);
}

}  // namespace
}  // namespace zelvo
