// A stroke in progress on screen: the tiles showing the painted rectangle take the records
// over the stroke layer and then show what a refresh of the layer with the records written
// into it shows; a hidden layer shows none of the stroke.
#include <algorithm>
#include <thread>

#include "store/RowCursor.h"
#include "view/ImageView.h"
#include "view/StrokeOverlay.h"
#include "view/ViewZoom.h"
#include "view/tests/ViewTestSupport.h"

namespace zelvo {
namespace {

using StrokeOverlayTest = test::ViewFixture;

// The composite as the display buffer shows it, read at every shown pixel.
std::vector<uint32_t> Composite(Image& image) {
    EXPECT_TRUE(image.Layers().RenderDisplay());
    Layer& display = *image.Layers().DisplayBuffer();
    const Rect sr = image.Geometry().screenRect;
    std::vector<uint32_t> out;
    for (int32_t y = sr.top; y < sr.bottom; ++y)
        for (int32_t x = sr.left; x < sr.right; ++x)
            out.push_back(test::ViewFixture::DisplayPixel(display, x, y) & 0xFFFFFFu);
    display.ReleaseRows();
    return out;
}

std::vector<uint32_t> Tiles(DisplayRefresher& refresher, Image& image) {
    const Rect sr = image.Geometry().screenRect;
    std::vector<uint32_t> out;
    for (int32_t y = sr.top; y < sr.bottom; ++y)
        for (int32_t x = sr.left; x < sr.right; ++x)
            out.push_back(test::ViewFixture::TileWord(refresher, x, y) & 0xFFFFFFu);
    return out;
}

TEST_F(StrokeOverlayTest, PaintedTilesShowTheRecordsOverTheLayer) {
    std::mt19937 rng(4242);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    struct Case {
        float zoom;
        int layers;
        Rect painted;  // canvas rectangle of covered records (inside the canvas)
    };
    const Case cases[] = {
        {1.0f, 3, {40, 30, 90, 70}},
        {0.37f, 4, {0, 0, 300, 10}},
        {2.5f, 2, {100, 100, 160, 130}},
        {1.0f, 1, {250, 180, 310, 230}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << k.zoom << " layers " << k.layers);
        auto image = RandomDocument(rng, 310, 230, k.layers);
        LayerManager& lm = image->Layers();
        // The background covers the canvas and is always a pixel layer; it is painted on.
        lm.SelectLayerByIndex(1);
        const LayerPtr layer = lm.CurrentLayer();
        layer->SetVisible(true);
        ImageView view(*image);
        view.Resize(420, 330);
        view.FirstDraw();
        view.SetZoom(k.zoom);
        // Every tile composed from its split, as a refresh of the current layer draws it.
        view.RequestRender(3);
        refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));

        ASSERT_TRUE(workspace->EnsureStrokeCapacity(image->Width(), image->Height()));
        const BlockHandle block = workspace->StrokeBlock();
        const uint32_t rowBytes = uint32_t(image->Width()) * 5;
        {
            RowCursor rec(workspace->Store(), block, 0, rowBytes, uint32_t(image->Height()));
            for (int32_t y = k.painted.top; y < k.painted.bottom; ++y) {
                uint8_t* r = rec.Row(uint32_t(y));
                ASSERT_NE(r, nullptr);
                for (int32_t x = k.painted.left; x < k.painted.right; ++x) {
                    uint8_t* p = r + 5 * size_t(x);
                    // Some records of the rectangle stay uncovered: the layer shows there.
                    p[0] = rng() % 4 == 0 ? 0 : uint8_t(1 + rng() % 100);
                    for (int i = 1; i < 4; ++i) p[i] = uint8_t(rng());
                    p[4] = uint8_t(rng() % 101);
                }
            }
        }
        auto overlay = std::make_shared<StrokeOverlay>(workspace->Store(), block, image->Width(),
                                                       image->Height(), layer);
        overlay->Grow(k.painted);
        ShowStroke(*image, overlay);
        view.RequestRenderRect(k.painted);
        const int tiles = refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        EXPECT_GT(tiles, 0);
        const std::vector<uint32_t> shown = Tiles(refresher, *image);

        // What the commit will show: the covered records written into the layer.
        {
            RowCursor rec(workspace->Store(), block, 0, rowBytes, uint32_t(image->Height()));
            for (int32_t y = k.painted.top; y < k.painted.bottom; ++y) {
                uint8_t* r = rec.Row(uint32_t(y));
                uint8_t* l = layer->Rows()->Row(uint32_t(layer->StoredRowOf(y)));
                ASSERT_TRUE(r && l);
                for (int32_t x = k.painted.left; x < k.painted.right; ++x) {
                    uint8_t* p = r + 5 * size_t(x);
                    if (p[0] != 0) std::copy(p + 1, p + 5, l + 4 * size_t(x - layer->Position().x));
                    std::fill(p, p + 5, uint8_t(0));
                }
            }
            layer->ReleaseRows();
        }
        view.RequestRender(3);
        refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        EXPECT_EQ(shown, Tiles(refresher, *image));

        // A hidden stroke layer shows nothing of the stroke.
        layer->SetVisible(false);
        view.RequestRender(1);
        refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        overlay->Grow({0, 0, image->Width(), image->Height()});
        view.RequestRenderRect(k.painted);
        refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        EXPECT_EQ(Tiles(refresher, *image), Composite(*image));
        ShowStroke(*image, nullptr);
        EXPECT_FALSE(image->ViewState().renderStroke);
    }
}

// A stroke painted over several ticks, each refreshing only the rectangle it painted (over
// records already shown, across tile edges): the tiles end showing what the commit shows.
TEST_F(StrokeOverlayTest, AStrokePaintedTickByTickShowsWhatItsCommitShows) {
    std::mt19937 rng(777);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    for (const float zoom : {1.0f, 0.37f, 2.5f}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom);
        auto image = RandomDocument(rng, 310, 230, 3);
        LayerManager& lm = image->Layers();
        lm.SelectLayerByIndex(1);
        const LayerPtr layer = lm.CurrentLayer();
        layer->SetVisible(true);
        ImageView view(*image);
        view.Resize(420, 330);
        view.FirstDraw();
        view.SetZoom(zoom);
        view.RequestRender(3);
        refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        ASSERT_TRUE(workspace->EnsureStrokeCapacity(image->Width(), image->Height()));
        const BlockHandle block = workspace->StrokeBlock();
        const uint32_t rowBytes = uint32_t(image->Width()) * 5;
        auto overlay = std::make_shared<StrokeOverlay>(workspace->Store(), block, image->Width(),
                                                       image->Height(), layer);
        ShowStroke(*image, overlay);
        RowCursor rec(workspace->Store(), block, 0, rowBytes, uint32_t(image->Height()));
        for (int tick = 0; tick < 6; ++tick) {
            const int32_t x = int32_t(rng() % 250), y = int32_t(rng() % 180);
            const Rect painted{x, y, x + 20 + int32_t(rng() % 40), y + 10 + int32_t(rng() % 40)};
            for (int32_t row = painted.top; row < painted.bottom; ++row) {
                uint8_t* r = rec.Row(uint32_t(row));
                ASSERT_NE(r, nullptr);
                for (int32_t col = painted.left; col < painted.right; ++col) {
                    uint8_t* p = r + 5 * size_t(col);
                    p[0] = uint8_t(1 + rng() % 100);
                    for (int i = 1; i < 4; ++i) p[i] = uint8_t(rng());
                    p[4] = uint8_t(rng() % 101);
                }
            }
            overlay->Grow(painted);
            view.RequestRenderRect(painted);
            refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        }
        const std::vector<uint32_t> shown = Tiles(refresher, *image);

        const Rect all = overlay->Bounds();
        for (int32_t row = all.top; row < all.bottom; ++row) {
            uint8_t* r = rec.Row(uint32_t(row));
            uint8_t* l = layer->Rows()->Row(uint32_t(layer->StoredRowOf(row)));
            ASSERT_TRUE(r && l);
            for (int32_t col = all.left; col < all.right; ++col) {
                uint8_t* p = r + 5 * size_t(col);
                if (p[0] != 0) std::copy(p + 1, p + 5, l + 4 * size_t(col - layer->Position().x));
                std::fill(p, p + 5, uint8_t(0));
            }
        }
        layer->ReleaseRows();
        ShowStroke(*image, nullptr);
        view.RequestRender(3);
        refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        EXPECT_EQ(shown, Tiles(refresher, *image));
    }
}

TEST_F(StrokeOverlayTest, BoundsGrowFromTwoThreadsToTheUnion) {
    StrokeOverlay overlay(workspace->Store(), 0, 100, 100, nullptr);
    EXPECT_TRUE(overlay.Bounds().IsEmpty());
    overlay.Grow({});
    EXPECT_TRUE(overlay.Bounds().IsEmpty());
    // Each thread's dabs widen a different edge; none may undo the other's.
    std::thread a([&] {
        for (int32_t i = 0; i < 2000; ++i) overlay.Grow({50 - i / 40, 50, 51, 51 + i / 40});
    });
    for (int32_t i = 0; i < 2000; ++i) overlay.Grow({50, 50 - i / 50, 51 + i / 50, 51});
    a.join();
    EXPECT_EQ(overlay.Bounds(), (Rect{1, 11, 90, 100}));
}

}  // namespace
}  // namespace zelvo
