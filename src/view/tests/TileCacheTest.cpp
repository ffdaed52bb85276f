// The tile cache against the display composite: tiles show exactly what RenderDisplay shows,
// scrolling rolls the rings and renders only what it exposed, the split buffers recompose by
// their rule, and the outline marks follow the selection.
#include <algorithm>
#include <cstring>
#include <set>

#include "view/ImageView.h"
#include "view/ViewZoom.h"
#include "view/tests/ViewTestSupport.h"

namespace zelvo {
namespace {

using TileTest = test::ViewFixture;

TEST(TileCacheRings, GridSizeAndRolling) {
    TileCache cache(1920, 1080);
    EXPECT_EQ(cache.Columns(), 1920 / 128 + 4);
    EXPECT_EQ(cache.Rows(), 1080 / 128 + 4);
    ASSERT_TRUE(cache.IsAllocated());
    // Every tile once, with its own buffers.
    std::set<int32_t> seen;
    std::set<const uint32_t*> buffers;
    for (int32_t r = 0; r < cache.Rows(); ++r)
        for (int32_t c = 0; c < cache.Columns(); ++c) {
            seen.insert(cache.IndexAt(r, c));
            TileCache::Tile& t = cache.At(r, c);
            buffers.insert(t.out);
            buffers.insert(t.below);
            buffers.insert(t.above);
            EXPECT_EQ(cache.TileByIndex(t.right).left, cache.IndexAt(r, c));
            EXPECT_EQ(cache.TileByIndex(t.down).up, cache.IndexAt(r, c));
        }
    EXPECT_EQ(seen.size(), size_t(cache.Rows() * cache.Columns()));
    EXPECT_EQ(buffers.size(), 3 * seen.size());
    // Rolling moves every slot onto its neighbour; the ring closes on itself.
    const int32_t before = cache.IndexAt(2, 3);
    cache.Roll(1, 0);
    EXPECT_EQ(cache.IndexAt(2, 2), before);
    cache.Roll(0, -1);
    EXPECT_EQ(cache.IndexAt(3, 2), before);
    cache.Roll(cache.Columns() - 1, cache.Rows() + 1);
    EXPECT_EQ(cache.IndexAt(2, 3), before);
}

// Every pixel of screenRect: the tile placed there equals the display buffer.
void ExpectTilesEqualDisplay(DisplayRefresher& refresher, Image& image, const char* what) {
    ASSERT_TRUE(image.Layers().RenderDisplay());
    Layer& display = *image.Layers().DisplayBuffer();
    const Rect sr = image.Geometry().screenRect;
    for (int32_t y = sr.top; y < sr.bottom; ++y)
        for (int32_t x = sr.left; x < sr.right; ++x) {
            const uint32_t want = test::ViewFixture::DisplayPixel(display, x, y) & 0xFFFFFFu;
            const uint32_t got = test::ViewFixture::TileWord(refresher, x, y) & 0xFFFFFFu;
            ASSERT_EQ(got, want) << what << " at " << x << "," << y << " zoom "
                                 << image.Geometry().zoom;
        }
    display.ReleaseRows();
}

TEST_F(TileTest, TilesEqualTheDisplayComposite) {
    std::mt19937 rng(1234);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    for (int trial = 0; trial < 6; ++trial) {
        auto image = RandomDocument(rng, 150 + 97 * trial, 120 + 61 * trial, 2 + trial % 4);
        ImageView view(*image);
        view.Resize(300 + 37 * trial, 200 + 29 * trial);
        view.FirstDraw();
        for (float zoom : {1.0f, 0.27f, 0.5f, 2.0f, 3.3f, 0.07f}) {
            view.SetZoom(zoom);
            for (int scroll = 0; scroll < 3; ++scroll) {
                view.ScrollTo(int32_t(rng() % 400), int32_t(rng() % 300));
                refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
                SCOPED_TRACE(testing::Message() << "trial " << trial << " scroll " << scroll);
                ExpectTilesEqualDisplay(refresher, *image, "tile");
            }
        }
        // The current layer moved: the content is new, every tile is rendered again.
        image->Layers().SelectLayerByIndex(1);
        view.RequestRender(2);
        EXPECT_GT(refresher.Serve(*image, 2), 0);
        ExpectTilesEqualDisplay(refresher, *image, "after layer change");
    }
}

TEST_F(TileTest, TwoThreadsRenderTheSamePixels) {
    std::mt19937 rng(77);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    refresher.Renderer().SetThreads(2);
    auto image = RandomDocument(rng, 900, 700, 5);
    ImageView view(*image);
    view.Resize(800, 600);
    view.FirstDraw();
    for (float zoom : {1.0f, 0.4f, 1.7f}) {
        view.SetZoom(zoom);
        view.ScrollTo(37, 51);
        refresher.Serve(*image, 1);
        ExpectTilesEqualDisplay(refresher, *image, "two threads");
    }
}

TEST_F(TileTest, ScrollingRendersOnlyTheExposedTiles) {
    std::mt19937 rng(5);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    auto image = RandomDocument(rng, 2000, 1500, 3);
    ImageView view(*image);
    view.Resize(700, 500);
    view.SetZoomMode(kZoomActualPixels);
    view.ScrollTo(0, 0);
    refresher.Serve(*image, 1);
    const TilePlacement first = refresher.Renderer().Grid();
    EXPECT_EQ(first.columns, 6);  // 700 / 128 rounded up
    EXPECT_EQ(first.rows, 4);
    EXPECT_EQ(refresher.LastTilesRendered(), 24);
    // Nothing moved: nothing to render.
    EXPECT_EQ(refresher.Serve(*image, 8), 0);

    // One tile to the right: one new column of tiles.
    view.ScrollTo(128, 0);
    EXPECT_EQ(refresher.Serve(*image, 8), 4);
    ExpectTilesEqualDisplay(refresher, *image, "after one tile right");
    // One tile down: one new row.
    view.ScrollTo(128, 128);
    EXPECT_EQ(refresher.Serve(*image, 8), 6);
    ExpectTilesEqualDisplay(refresher, *image, "after one tile down");
    // Back again: the tiles that were rolled out are still there... or were reused for the new
    // ones; only those are rendered.
    view.ScrollTo(0, 128);
    EXPECT_LE(refresher.Serve(*image, 8), 4);
    ExpectTilesEqualDisplay(refresher, *image, "back left");
    // A move inside a tile shows tiles that are all laid out already but one column and row.
    view.ScrollTo(50, 170);
    EXPECT_LE(refresher.Serve(*image, 8), 6 + 5);
    ExpectTilesEqualDisplay(refresher, *image, "part of a tile");
    // A change of the pixels renders everything again.
    EXPECT_EQ(refresher.Serve(*image, 1),
              refresher.Renderer().Grid().columns * refresher.Renderer().Grid().rows);

    // At zoom 0.5 and 2 the tile edges still follow the canvas.
    for (float zoom : {0.5f, 2.0f}) {
        view.SetZoom(zoom);
        view.ScrollTo(0, 0);
        refresher.Serve(*image, 1);
        const TilePlacement g = refresher.Renderer().Grid();
        view.ScrollTo(128, 0);
        EXPECT_EQ(refresher.Serve(*image, 8), g.rows) << zoom;
        ExpectTilesEqualDisplay(refresher, *image, "zoomed scroll");
    }
}

TEST_F(TileTest, AnotherDocumentOrZoomRendersAgain) {
    std::mt19937 rng(9);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    auto a = RandomDocument(rng, 300, 200, 2);
    auto b = RandomDocument(rng, 300, 200, 2);
    ImageView va(*a), vb(*b);
    va.Resize(256, 256);
    vb.Resize(256, 256);
    va.SetZoomMode(kZoomActualPixels);
    vb.SetZoomMode(kZoomActualPixels);
    const int all = refresher.Serve(*a, 1);
    EXPECT_GT(all, 0);
    EXPECT_EQ(refresher.Serve(*a, 8), 0);
    EXPECT_EQ(refresher.Serve(*b, 8), all);
    ExpectTilesEqualDisplay(refresher, *b, "document b");
    EXPECT_EQ(refresher.Serve(*a, 8), all);
    va.SetZoom(1.5f);
    EXPECT_GT(refresher.Serve(*a, 8), 0);
    ExpectTilesEqualDisplay(refresher, *a, "zoomed");
}

// The split rule by its definition, pixel by pixel, with plain integer arithmetic.
struct SplitReference {
    static void Blend(uint32_t p, int32_t opacity, int32_t& cov, int32_t& b, int32_t& g,
                      int32_t& r) {
        const int32_t a = int32_t(p >> 24);
        const int32_t in = cov * a * opacity / 10000;
        b += int32_t(p & 0xFF) * in / 100;
        g += int32_t((p >> 8) & 0xFF) * in / 100;
        r += int32_t((p >> 16) & 0xFF) * in / 100;
        cov -= in;
    }
};

uint32_t LayerWord(Layer& l, int32_t cx, int32_t cy) {
    const int32_t c = cx - l.Position().x, row = l.StoredRowOf(cy);
    if (c < 0 || c >= l.Width() || row < 0 || row >= l.Height()) return 0;
    const uint8_t* p = l.Rows()->Row(uint32_t(row));
    if (l.BitsPerPixel() == 1)
        return (p[c / 8] >> (7 - c % 8)) & 1 ? StoredDib::PixelWord(l.Color(), 100) : 0u;
    uint32_t w;
    std::memcpy(&w, p + 4 * size_t(c), 4);
    return w;
}

TEST_F(TileTest, CurrentLayerRefreshRecomposesFromTheSplit) {
    std::mt19937 rng(31);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    for (int trial = 0; trial < 4; ++trial) {
        auto image = RandomDocument(rng, 260, 190, 4);
        LayerManager& lm = image->Layers();
        lm.SelectLayerByIndex(1 + trial % lm.LayerCount());
        ImageView view(*image);
        view.Resize(300, 240);
        view.SetZoomMode(trial % 2 ? kZoomFitOnWindow : kZoomActualPixels);
        view.RequestRender(3);
        EXPECT_GT(refresher.Serve(*image, 3), 0);
        const int current = lm.CurrentIndex();
        const ImageGeometry g = image->Geometry();
        for (int32_t y = g.screenRect.top; y < g.screenRect.bottom; y += 3)
            for (int32_t x = g.screenRect.left; x < g.screenRect.right; x += 2) {
                const Point cp = ClientToCanvas(g, {x, y});
                uint32_t want = 0xB1B1B1u;
                if (cp.x >= 0 && cp.y >= 0 && cp.x < g.width && cp.y < g.height) {
                    int32_t u = 100, ab = 0, ag = 0, ar = 0;
                    for (int i = lm.LayerCount() - 1; i > current; --i) {
                        Layer& l = *lm.LayerAt(i);
                        if (!l.IsVisible() || u <= 0) continue;
                        SplitReference::Blend(LayerWord(l, cp.x, cp.y), l.Opacity(), u, ab, ag, ar);
                    }
                    u = std::max(u, 0);
                    int32_t cov = 100, bb = 0, bg = 0, br = 0;
                    for (int i = current - 1; i >= 0; --i) {
                        Layer& l = *lm.LayerAt(i);
                        if (!l.IsVisible() || cov <= 0) continue;
                        SplitReference::Blend(LayerWord(l, cp.x, cp.y), l.Opacity(), cov, bb, bg,
                                              br);
                    }
                    if (cov > 0)
                        bb += 255 * cov / 100, bg += 255 * cov / 100, br += 255 * cov / 100;
                    Layer& cur = *lm.LayerAt(current);
                    const uint32_t p = cur.IsVisible() ? LayerWord(cur, cp.x, cp.y) : 0u;
                    int32_t h = int32_t(p >> 24);
                    if (cur.Opacity() < 100) h = h * cur.Opacity() / 100;
                    const int32_t k = h * u / 100;
                    auto ch = [&](int32_t a, int32_t c, int32_t be) {
                        return uint32_t((a + (k * c + (u - k) * be) / 100) & 0xFF);
                    };
                    want = ch(ab & 0xFF, int32_t(p & 0xFF), bb & 0xFF) |
                           ch(ag & 0xFF, int32_t((p >> 8) & 0xFF), bg & 0xFF) << 8 |
                           ch(ar & 0xFF, int32_t((p >> 16) & 0xFF), br & 0xFF) << 16;
                }
                ASSERT_EQ(test::ViewFixture::TileWord(refresher, x, y) & 0xFFFFFFu, want)
                    << "trial " << trial << " at " << x << "," << y;
            }
        for (const LayerPtr& l : lm.Layers()) l->ReleaseRows();
        // A full redraw afterwards shows the composite again.
        refresher.Serve(*image, 1);
        ExpectTilesEqualDisplay(refresher, *image, "full after split");
    }
}

// A selection reaching the canvas's edges is outlined on all four sides at any zoom, and not
// along a client edge the canvas goes on past.
TEST_F(TileTest, OutlineReachesTheCanvasEdgesAtEveryZoom) {
    std::mt19937 rng(5);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    auto image = RandomDocument(rng, 200, 100, 1);
    LayerManager& lm = image->Layers();
    auto mask = std::make_shared<Layer>(workspace->Store());
    ASSERT_TRUE(mask->Create(200, 100, LayerKind::Pixel, lm.NextId(), 8, true));
    for (int32_t r = 0; r < 100; ++r) std::memset(mask->Rows()->Row(uint32_t(r)), 100, 200);
    mask->ReleaseRows();
    lm.SetSelectionObject(mask);
    ImageView view(*image);
    view.Resize(400, 300);
    for (float zoom : {1.0f, 1.1f, 1.331f, 1.61051f, 1.95f, 3.0f}) {
        view.SetZoom(zoom);
        view.ScrollTo(0, 0);
        refresher.Serve(*image, 1);
        const ImageGeometry g = image->Geometry();
        const bool endsX = g.visible.right >= g.width, endsY = g.visible.bottom >= g.height;
        auto marked = [&](int32_t x, int32_t y) {
            return test::ViewFixture::TileWord(refresher, x, y) >> 24 == 101u;
        };
        const int32_t midX = (g.screenRect.left + g.screenRect.right) / 2;
        const int32_t midY = (g.screenRect.top + g.screenRect.bottom) / 2;
        EXPECT_TRUE(marked(g.screenRect.left, midY)) << zoom;
        EXPECT_TRUE(marked(midX, g.screenRect.top)) << zoom;
        EXPECT_EQ(marked(g.screenRect.right - 1, midY), endsX) << zoom;
        EXPECT_EQ(marked(midX, g.screenRect.bottom - 1), endsY) << zoom;
        EXPECT_FALSE(marked(midX, midY)) << zoom;
    }
}

TEST_F(TileTest, OutlineMarksFollowTheSelection) {
    std::mt19937 rng(3);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    auto image = RandomDocument(rng, 240, 180, 2);
    LayerManager& lm = image->Layers();
    auto mask = std::make_shared<Layer>(workspace->Store());
    ASSERT_TRUE(mask->Create(120, 90, LayerKind::Pixel, lm.NextId(), 8, true));
    mask->SetPosition(30, 20);
    // An ellipse of strengths around the threshold.
    auto strength = [](int32_t c, int32_t r) {
        const double dx = (c - 60) / 50.0, dy = (r - 45) / 35.0;
        const double d = dx * dx + dy * dy;
        return d < 1.0 ? (d < 0.8 ? 100 : 50) : (d < 1.1 ? 49 : 0);
    };
    for (int32_t r = 0; r < 90; ++r) {
        uint8_t* row = mask->Rows()->Row(uint32_t(StoredDib::StoredRow(r, 90)));
        for (int32_t c = 0; c < 120; ++c) row[c] = uint8_t(strength(c, r));
    }
    mask->ReleaseRows();
    lm.SetSelectionObject(mask);
    auto at = [&](int32_t cx, int32_t cy) {
        if (cx < 30 || cy < 20 || cx >= 150 || cy >= 110) return 0;
        return strength(cx - 30, cy - 20);
    };
    ImageView view(*image);
    view.Resize(400, 300);
    for (float zoom : {1.0f, 2.5f, 0.6f}) {
        view.SetZoom(zoom);
        view.ScrollTo(10, 10);
        refresher.Serve(*image, 1);
        EXPECT_TRUE(image->ViewState().outlinePrepared.load());
        const ImageGeometry g = image->Geometry();
        int marked = 0;
        for (int32_t y = g.screenRect.top; y < g.screenRect.bottom; ++y)
            for (int32_t x = g.screenRect.left; x < g.screenRect.right; ++x) {
                // Neighbours off the client area are the canvas pixels next to the edge.
                auto s = [&](int32_t px, int32_t py) {
                    const Point c{CanvasAt(g.visible.left, px - g.screenRect.left, g.zoom),
                                  CanvasAt(g.visible.top, py - g.screenRect.top, g.zoom)};
                    return c.x >= 0 && c.y >= 0 && c.x < g.width && c.y < g.height ? at(c.x, c.y)
                                                                                   : 0;
                };
                const bool on = s(x, y) >= 50 && (s(x - 1, y) < 50 || s(x + 1, y) < 50 ||
                                                  s(x, y - 1) < 50 || s(x, y + 1) < 50);
                const uint32_t marker = test::ViewFixture::TileWord(refresher, x, y) >> 24;
                ASSERT_EQ(marker, on ? 101u : 0u) << x << "," << y << " zoom " << zoom;
                marked += on;
            }
        EXPECT_GT(marked, 100);
    }
    lm.SetSelectionObject(nullptr);
    view.RequestRender(1);
    refresher.Serve(*image, 1);
    EXPECT_FALSE(image->ViewState().outlinePrepared.load());
    const Rect sr = image->Geometry().screenRect;
    EXPECT_EQ(test::ViewFixture::TileWord(refresher, sr.left + 60, sr.top + 40) >> 24, 0u);
}

}  // namespace
}  // namespace zelvo

namespace zelvo {
namespace {

// The grid slots whose client squares show part of canvas rectangle `r`, counted pixel by
// pixel through the view mapping.
int SlotsShowing(DisplayRefresher& refresher, const Image& image, const Rect& r) {
    const TileRenderer& tr = refresher.Renderer();
    const ImageGeometry g = const_cast<Image&>(image).Geometry();
    int count = 0;
    for (int32_t row = 0; row < tr.Grid().rows; ++row)
        for (int32_t col = 0; col < tr.Grid().columns; ++col) {
            bool shows = false;
            for (int32_t y = tr.SlotY(row); y < tr.SlotY(row) + TileCache::kTileSize && !shows; ++y)
                for (int32_t x = tr.SlotX(col); x < tr.SlotX(col) + TileCache::kTileSize && !shows;
                     ++x) {
                    if (!g.screenRect.Contains({x, y})) continue;
                    shows = r.Contains(ClientToCanvas(g, {x, y}));
                }
            count += shows ? 1 : 0;
        }
    return count;
}

void FillRect(Layer& layer, const Rect& r, uint32_t word) {
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) {
            const int32_t row = layer.StoredRowOf(y), c = x - layer.Position().x;
            if (row < 0 || row >= layer.Height() || c < 0 || c >= layer.Width()) continue;
            std::memcpy(layer.Rows()->Row(uint32_t(row)) + 4 * size_t(c), &word, 4);
        }
    layer.ReleaseRows();
}

TEST_F(TileTest, RefreshOfARectangleRendersOnlyTheTilesShowingIt) {
    std::mt19937 rng(12);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    auto image = RandomDocument(rng, 2000, 1500, 3);
    Layer& top = *image->Layers().LayerAt(image->Layers().LayerCount() - 1);
    top.SetPosition(0, 0);
    top.SetVisible(true);
    top.SetOpacity(100);
    ImageView view(*image);
    view.Resize(700, 500);
    for (float zoom : {1.0f, 0.5f, 1.6f}) {
        view.SetZoom(zoom);
        view.ScrollTo(40, 30);
        refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
        SCOPED_TRACE(testing::Message() << "zoom " << zoom);
        const Rect changed{300, 140, 420, 200};
        FillRect(*image->Layers().LayerAt(0), changed, 0x64102030u);
        FillRect(top, changed, 0x3C405060u);
        view.RequestRenderRect(changed);
        ASSERT_EQ(image->ViewState().pendingRender.load(), DisplayRefresher::kRefreshRect);
        const int expected = SlotsShowing(refresher, *image, changed);
        ASSERT_GT(expected, 0);
        ASSERT_LT(expected, refresher.Renderer().Grid().columns * refresher.Renderer().Grid().rows);
        EXPECT_EQ(refresher.Serve(*image, image->ViewState().pendingRender.exchange(0)), expected);
        ExpectTilesEqualDisplay(refresher, *image, "after a rectangle");
        // A rectangle outside the view renders nothing.
        view.RequestRenderRect({1900, 1400, 1950, 1450});
        EXPECT_EQ(refresher.Serve(*image, image->ViewState().pendingRender.exchange(0)), 0);
    }

    // A change off the grid reaches tiles kept in the rings: scrolled back, they show it.
    view.SetZoom(1.0f);
    view.ScrollTo(0, 0);
    refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
    view.ScrollTo(3 * TileCache::kTileSize, 0);
    refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
    const Rect hidden{10, 10, 90, 60};
    FillRect(*image->Layers().LayerAt(0), hidden, 0x64FF00FFu);
    FillRect(top, hidden, 0x64FF00FFu);
    view.RequestRenderRect(hidden);
    EXPECT_EQ(refresher.Serve(*image, image->ViewState().pendingRender.exchange(0)), 0);
    view.ScrollTo(0, 0);
    refresher.Serve(*image, image->ViewState().pendingRender.exchange(0));
    ExpectTilesEqualDisplay(refresher, *image, "scrolled back over a change made off the grid");
}

TEST_F(TileTest, RequestsMeetWithoutLosingAChange) {
    auto image = NewImage(400, 300);
    ImageViewState& vs = image->ViewState();
    vs.pendingRender.store(0);
    // Rectangles pending together are joined; a move keeps the rectangle.
    HandToRefresher(*image, 12, {10, 10, 20, 20});
    HandToRefresher(*image, 12, {50, 5, 60, 15});
    HandToRefresher(*image, 8);
    EXPECT_EQ(vs.pendingRender.load(), 12);
    EXPECT_EQ(vs.renderRect, (Rect{10, 5, 60, 20}));
    // A rectangle after a move needs the move's layout too, which its pass does.
    vs.pendingRender.store(8);
    HandToRefresher(*image, 12, {1, 2, 3, 4});
    EXPECT_EQ(vs.pendingRender.load(), 12);
    EXPECT_EQ(vs.renderRect, (Rect{1, 2, 3, 4}));
    // With a current-layer refresh either way round, only a full redraw holds both.
    HandToRefresher(*image, 3);
    EXPECT_EQ(vs.pendingRender.load(), 1);
    vs.pendingRender.store(3);
    HandToRefresher(*image, 12, {1, 2, 3, 4});
    EXPECT_EQ(vs.pendingRender.load(), 1);
    // A full redraw is never lowered to a rectangle; an empty rectangle changes nothing.
    HandToRefresher(*image, 12, {1, 2, 3, 4});
    EXPECT_EQ(vs.pendingRender.load(), 1);
    vs.pendingRender.store(0);
    HandToRefresher(*image, 12, {});
    EXPECT_EQ(vs.pendingRender.load(), 12);
    EXPECT_TRUE(vs.renderRect.IsEmpty());
}

}  // namespace
}  // namespace zelvo
