// The live preview of the adjustment and filter dialogs in the tiles: what the view shows
// while a dialog previews equals what it shows once OK has applied the same values, at zoom 1
// and at a fitted zoom, with and without a feathered selection; the layer is never written by
// a preview, and taking the preview off shows the layer as it is.
#include <cmath>

#include "adjust/ImageProcessor.h"
#include "view/ImageView.h"
#include "view/ViewZoom.h"
#include "view/tests/ViewTestSupport.h"

namespace zelvo {
namespace {

constexpr int32_t kW = 300, kH = 200;

uint32_t Noise(std::mt19937& rng) {
    return uint32_t(rng() & 0xFFFFFF);
}

std::vector<uint32_t> Shown(DisplayRefresher& refresher, Image& image) {
    std::vector<uint32_t> words;
    const Rect sr = image.Geometry().screenRect;
    for (int32_t y = sr.top; y < sr.bottom; ++y)
        for (int32_t x = sr.left; x < sr.right; ++x)
            words.push_back(test::ViewFixture::TileWord(refresher, x, y) & 0xFFFFFFu);
    return words;
}

std::vector<uint32_t> LayerWords(const Layer& layer) {
    PixelBuffer buffer;
    EXPECT_TRUE(ReadLayerPixels(layer, buffer));
    return buffer.px;
}

struct Case {
    int32_t code;
    std::vector<int32_t> params;
    bool filter;  // drawn from the visible area's buffer: compared with the whole canvas shown
};

std::vector<Case> Cases() {
    std::vector<int32_t> curve;
    for (int v = 0; v < 256; ++v) curve.push_back(255 - (v * v) / 255);
    curve.push_back(1);
    return {
        {kPreviewBrightnessContrast, {-30, 45}, false},
        {kPreviewLevels, {20, 90, 200, 250, 5}, false},
        {kPreviewCurves, curve, false},
        {kPreviewSaturation, {-60}, false},
        {kPreviewSaturation, {70}, false},
        {kPreviewColorBalance, {40, -70, 10}, false},
        {kPreviewBlur, {4}, true},
        {kPreviewBlur, {13}, true},
        {kPreviewSharpen, {70, 3}, true},
        {kPreviewMosaic, {5}, true},
        {kPreviewShadowHighlight, {60, 20, 5}, true},
    };
}

// Background, the current layer (opaque, over the whole canvas, smooth enough for the filters
// to matter) and a half-transparent layer above part of it; optionally a feathered selection.
class PreviewTest : public test::ViewFixture {
protected:
    std::unique_ptr<Image> Document(std::mt19937& rng, bool selection) {
        std::unique_ptr<Image> image = NewImage(kW, kH);
        LayerManager& lm = image->Layers();
        Paint(*lm.LayerAt(0), [&](int32_t, int32_t) { return 100u << 24 | Noise(rng); });
        LayerPtr current = lm.AppendLayer(kW, kH, LayerKind::Pixel);
        LayerPtr top = lm.AppendLayer(120, 90, LayerKind::Pixel);
        if (!current || !top) return nullptr;
        Paint(*current, [&](int32_t c, int32_t r) {
            return 100u << 24 | uint32_t((c * 3 + r) & 0xFF) << 16 | uint32_t((c ^ r) & 0xFF) << 8 |
                   uint32_t(rng() & 0x3F);
        });
        top->SetPosition(150, 40);
        top->SetOpacity(60);
        Paint(*top, [&](int32_t c, int32_t) { return uint32_t(c % 101) << 24 | Noise(rng); });
        lm.SelectLayerById(current->Id(), 0, 0);
        if (selection) {
            auto mask = std::make_shared<Layer>(current->Store());
            if (!mask->Create(200, 140, LayerKind::Pixel, lm.NextId(), 8, true)) return nullptr;
            mask->SetPosition(40, 30);
            // A feathered ellipse: 100 inside, falling to 0 at its rim.
            Paint(*mask, [](int32_t c, int32_t r) {
                const double dx = (c - 100) / 90.0, dy = (r - 70) / 60.0;
                const double d = std::sqrt(dx * dx + dy * dy);
                return uint32_t(d < 0.6 ? 100 : (d < 1.0 ? int((1.0 - d) * 250) : 0));
            });
            lm.SetSelectionObject(mask);
        }
        return image;
    }
};

TEST_F(PreviewTest, ThePreviewShowsWhatOkApplies) {
    std::mt19937 rng(77);
    for (const Case& c : Cases())
        for (bool selection : {false, true})
            for (int zoomMode : {kZoomActualPixels, kZoomFitOnWindow}) {
                // Filters preview the visible area: the whole canvas at zoom 1 shows all of it.
                if (c.filter && zoomMode != kZoomActualPixels) continue;
                SCOPED_TRACE(testing::Message() << "code " << c.code << " selection " << selection
                                                << " zoom mode " << zoomMode);
                auto image = Document(rng, selection);
                ASSERT_TRUE(image);
                DisplayRefresher refresher(1024, 768, workspace->Tables());
                refresher.Renderer().SetThreads(1 + int(selection));
                ImageView view(*image);
                if (zoomMode == kZoomActualPixels)
                    view.Resize(c.filter ? 420 : 250, c.filter ? 260 : 170);
                else
                    view.Resize(130, 110);
                view.SetZoomMode(zoomMode);
                ASSERT_TRUE(zoomMode == kZoomActualPixels || view.Zoom() < 0.5f);
                refresher.Serve(*image, 1);
                const std::vector<uint32_t> before = Shown(refresher, *image);
                const LayerPtr layer = image->Layers().LayerAt(1);
                const std::vector<uint32_t> pixels = LayerWords(*layer);

                ImageProcessor ip;
                ASSERT_TRUE(
                    ip.Prepare(image->History(), c.code, view.Zoom(), image->Geometry().visible));
                ip.Preview(c.params);
                refresher.SetPreview(image.get(), &ip);
                EXPECT_GT(refresher.Serve(*image, 3), 0);
                const std::vector<uint32_t> previewed = Shown(refresher, *image);
                EXPECT_NE(previewed, before);
                EXPECT_EQ(LayerWords(*layer), pixels) << "a preview wrote the layer";
                // A second change redraws from the kept words.
                refresher.Serve(*image, 3);
                EXPECT_EQ(Shown(refresher, *image), previewed);

                refresher.SetPreview(image.get(), nullptr);
                ASSERT_EQ(ip.Finish(1), 1);
                // The edit replaced the layer object: the refresher takes the new list.
                view.RequestRender(1);
                refresher.Serve(*image, 1);
                if (!c.filter) {
                    // An opaque current layer: the full composite gives the same pixels.
                    EXPECT_EQ(Shown(refresher, *image), previewed);
                }
                // The refresh of the current layer blends the same way as the preview.
                refresher.Serve(*image, 3);
                EXPECT_EQ(Shown(refresher, *image), previewed);
            }
}

TEST_F(PreviewTest, CancelShowsTheLayerAsItIs) {
    std::mt19937 rng(5);
    auto image = Document(rng, true);
    ASSERT_TRUE(image);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    ImageView view(*image);
    view.Resize(200, 150);
    view.SetZoomMode(kZoomFitOnWindow);
    refresher.Serve(*image, 1);
    const std::vector<uint32_t> before = Shown(refresher, *image);
    const int states = image->History().StateCount();
    for (int32_t code : {kPreviewLevels, kPreviewMosaic}) {
        ImageProcessor ip;
        ASSERT_TRUE(ip.Prepare(image->History(), code, view.Zoom(), image->Geometry().visible));
        ip.Preview(code == kPreviewLevels ? std::vector<int32_t>{60, 100, 180, 0, 255}
                                          : std::vector<int32_t>{6});
        refresher.SetPreview(image.get(), &ip);
        refresher.Serve(*image, 3);
        EXPECT_NE(Shown(refresher, *image), before) << code;
        EXPECT_TRUE(refresher.Renderer().PreviewShown());
        refresher.SetPreview(image.get(), nullptr);
        EXPECT_EQ(ip.Finish(0), 0);
        // Even a pass that would only move the view draws every tile anew.
        refresher.Serve(*image, 8);
        EXPECT_FALSE(refresher.Renderer().PreviewShown());
        EXPECT_EQ(Shown(refresher, *image), before) << code;
    }
    EXPECT_EQ(image->History().StateCount(), states);
}

TEST_F(PreviewTest, ABufferPreviewFollowsTheViewsSamplingBelowZoomOne) {
    // Mosaic of cell 2 over a fitted view: each shown pixel is one of the buffer's, whose
    // columns and rows sample the canvas as the view does.
    std::mt19937 rng(9);
    auto image = Document(rng, false);
    ASSERT_TRUE(image);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    ImageView view(*image);
    view.Resize(170, 140);
    view.SetZoom(0.37f);
    refresher.Serve(*image, 1);
    ImageProcessor ip;
    ASSERT_TRUE(
        ip.Prepare(image->History(), kPreviewMosaic, view.Zoom(), image->Geometry().visible));
    const ImageGeometry& g = image->Geometry();
    for (int32_t i = 0; i < ip.PreviewSource().width; ++i)
        ASSERT_EQ(g.visible.left + ip.PreviewOffset(i), CanvasAt(g.visible.left, i, g.zoom)) << i;
    ip.Preview({2});
    refresher.SetPreview(image.get(), &ip);
    refresher.Serve(*image, 3);
    // With the top layer hidden the shown pixel is the buffer's pixel over the background.
    const PixelBuffer& result = ip.PreviewResult();
    int checked = 0;
    for (int32_t y = g.screenRect.top; y < g.screenRect.bottom; ++y)
        for (int32_t x = g.screenRect.left; x < g.screenRect.right; ++x) {
            const int32_t bx = x - g.screenRect.left, by = y - g.screenRect.top;
            const Point cp = ClientToCanvas(g, {x, y});
            if (cp.x >= 150 && cp.x < 270 && cp.y >= 40 && cp.y < 130) continue;  // under the top
            ASSERT_LT(bx, result.width);
            ASSERT_LT(by, result.height);
            EXPECT_EQ(test::ViewFixture::TileWord(refresher, x, y) & 0xFFFFFFu,
                      result.At(bx, by) & 0xFFFFFFu)
                << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 1000);
    refresher.SetPreview(image.get(), nullptr);
    ip.Finish(0);
}

}  // namespace
}  // namespace zelvo
