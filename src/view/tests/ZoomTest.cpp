// The zoom rules, the scroll extents, the paint layout and the coordinate mapping.
#include <cmath>

#include "view/ImageView.h"
#include "view/ViewZoom.h"
#include "view/tests/ViewTestSupport.h"

namespace zelvo {
namespace {

TEST(ZoomRules, ModesAndLimits) {
    EXPECT_FLOAT_EQ(ZoomFor(kZoomFitOnWindow, 800, 600, 4000, 3000, 2834), 0.2f);
    EXPECT_FLOAT_EQ(ZoomFor(kZoomFitOnWindow, 800, 600, 200, 100, 2834), 4.0f);
    EXPECT_FLOAT_EQ(ZoomFor(kZoomActualPixels, 800, 600, 4000, 3000, 2834), 1.0f);
    EXPECT_FLOAT_EQ(ZoomFor(7, 800, 600, 4000, 3000, 2834), 1.0f);
    // 300 pixels per inch.
    EXPECT_NEAR(ZoomFor(kZoomPrintSize, 800, 600, 4000, 3000, 11811), 72.0 / (11811 * 0.025405787),
                1e-6);
    EXPECT_NEAR(ZoomFor(kZoomPrintSize, 800, 600, 4000, 3000, 11811), 0.24, 0.001);
    // 72 pixels per inch shows at about 1.
    EXPECT_NEAR(ZoomFor(kZoomPrintSize, 800, 600, 4000, 3000, 2834), 1.0, 0.001);
    // A missing resolution does not divide by zero.
    EXPECT_FLOAT_EQ(ZoomFor(kZoomPrintSize, 800, 600, 4000, 3000, 0), 1.0f);
    // Held within 0.05 .. 8.
    EXPECT_FLOAT_EQ(ZoomFor(kZoomFitOnWindow, 800, 600, 10000, 10000, 2834), 0.06f);
    EXPECT_FLOAT_EQ(ZoomFor(kZoomFitOnWindow, 100, 100, 10000, 10000, 2834), 0.05f);
    EXPECT_FLOAT_EQ(ZoomFor(kZoomFitOnWindow, 1000, 1000, 10, 10, 2834), 8.0f);
    EXPECT_FLOAT_EQ(ZoomFor(kZoomPrintSize, 800, 600, 10, 10, 1), 8.0f);
    EXPECT_FLOAT_EQ(ClampZoom(NAN), kMinZoom);
}

TEST(ZoomRules, WheelSteps) {
    float zoom = 1.0f;
    double reference = 1.0;
    for (int step = 1; step <= 21; ++step) {
        ASSERT_TRUE(WheelZoomStep(zoom, -120, false, false));
        reference *= 1.1;
        EXPECT_NEAR(zoom, reference, 1e-4 * reference) << step;
        if (step == 20) {
            EXPECT_NEAR(zoom, 6.73, 0.005);
        }
    }
    EXPECT_LT(zoom, 8.0f);
    ASSERT_TRUE(WheelZoomStep(zoom, -120, false, false));  // the 22nd
    EXPECT_FLOAT_EQ(zoom, 8.0f);
    ASSERT_TRUE(WheelZoomStep(zoom, -1, false, false));
    EXPECT_FLOAT_EQ(zoom, 8.0f);

    zoom = 1.0f;
    float last = zoom;
    for (int step = 0; step < 60; ++step) {
        ASSERT_TRUE(WheelZoomStep(zoom, 120, false, false));
        EXPECT_GE(zoom, kMinZoom);
        EXPECT_LE(zoom, last);
        last = zoom;
    }
    EXPECT_FLOAT_EQ(zoom, kMinZoom);

    // Refused: a button held, no delta, a polygon in the middle of a selection.
    zoom = 1.0f;
    EXPECT_FALSE(WheelZoomStep(zoom, -120, true, false));
    EXPECT_FALSE(WheelZoomStep(zoom, 0, false, false));
    EXPECT_FALSE(WheelZoomStep(zoom, 120, false, true));
    EXPECT_FLOAT_EQ(zoom, 1.0f);
}

TEST(ZoomRules, ScrollExtentRoundsUpFromATenth) {
    EXPECT_EQ(ScrollExtent(1000, 1.0f), 1000);
    EXPECT_EQ(ScrollExtent(1000, 0.2f), 200);
    EXPECT_EQ(ScrollExtent(101, 0.5f), 51);     // 50.5
    EXPECT_EQ(ScrollExtent(1001, 0.25f), 251);  // 250.25
    EXPECT_EQ(ScrollExtent(1003, 0.05f), 51);   // 50.15
    EXPECT_EQ(ScrollExtent(1001, 0.05f), 50);   // 50.05
    EXPECT_EQ(ScrollOrigin(300, 0.5f), 600);
    EXPECT_EQ(ScrollOrigin(299, 3.0f), 99);
    EXPECT_EQ(CentredScroll(1000, 600), 200);
    EXPECT_EQ(CentredScroll(500, 600), 0);
}

TEST(ZoomRules, LayoutFillsOrCentres) {
    ImageGeometry g;
    g.width = 400;
    g.height = 300;
    g.zoom = 0.5f;  // 200 x 150 zoomed, in 500 x 100
    LayOut(g, 500, 100, 0, 40);
    EXPECT_EQ(g.screenRect, (Rect{150, 0, 350, 100}));
    EXPECT_EQ(g.visible, (Rect{0, 40, 400, 240}));
    g.zoom = 3.0f;  // 1200 x 900 in 500 x 400: 166.67 and 133.33 canvas pixels shown
    LayOut(g, 500, 400, 250, 290);
    EXPECT_EQ(g.screenRect, (Rect{0, 0, 500, 400}));
    EXPECT_EQ(g.visible, (Rect{250, 290, 400, 300}));
    g.width = g.height = 2000;
    LayOut(g, 500, 400, 250, 290);
    EXPECT_EQ(g.visible, (Rect{250, 290, 250 + 167, 290 + 134}));
    g.zoom = 3.125f;  // 1022 / zoom = 327.04: a fraction below 0.1 is dropped
    LayOut(g, 1022, 1022, 0, 0);
    EXPECT_EQ(g.visible.right, 327);
    // A side that zooms to less than a pixel still shows as one row (6000 x 2 at 18 %).
    g.width = 6000;
    g.height = 2;
    g.zoom = 0.18f;
    LayOut(g, 1500, 800, 0, 0);
    EXPECT_EQ(g.screenRect, (Rect{210, 399, 1290, 400}));
    EXPECT_EQ(g.visible, (Rect{0, 0, 6000, 2}));
}

TEST(ZoomRules, MappingBothWays) {
    ImageGeometry g;
    g.width = 1000;
    g.height = 800;
    g.zoom = 2.5f;
    LayOut(g, 640, 480, 100, 50);
    EXPECT_EQ(ClientToCanvas(g, {0, 0}), (Point{100, 50}));
    EXPECT_EQ(ClientToCanvas(g, {5, 4}), (Point{102, 51}));
    EXPECT_EQ(CanvasToClient(g, {102, 51}), (Point{5, 2}));
    // Both ways truncate: a client point lands in the canvas pixel whose client span holds it.
    for (int32_t x = 0; x < 200; ++x) {
        const Point c = ClientToCanvas(g, {x, 7});
        EXPECT_LE(CanvasToClient(g, c).x, x);
        EXPECT_GT(CanvasToClient(g, {c.x + 1, c.y}).x + 1, x);
    }
    g.zoom = 2.0f;
    LayOut(g, 640, 480, 100, 50);
    for (int32_t cx = 100; cx < 300; cx += 7) {
        const Point p = CanvasToClient(g, {cx, 60});
        EXPECT_EQ(ClientToCanvas(g, p), (Point{cx, 60}));
    }
    // Centred: the margin maps before the canvas.
    g.zoom = 0.25f;
    LayOut(g, 640, 480, 0, 0);
    EXPECT_EQ(g.screenRect.left, (640 - 250) / 2);
    EXPECT_EQ(ClientToCanvas(g, {g.screenRect.left + 10, g.screenRect.top}), (Point{40, 0}));
}

using ImageViewTest = test::ViewFixture;

TEST_F(ImageViewTest, FirstDrawFitsButNeverEnlarges) {
    auto big = NewImage(4000, 3000);
    ImageView view(*big);
    view.Resize(800, 600);
    EXPECT_TRUE(view.FirstDraw());
    EXPECT_FLOAT_EQ(view.Zoom(), 0.2f);
    EXPECT_FALSE(view.FirstDraw());
    EXPECT_EQ(big->Geometry().screenRect, (Rect{0, 0, 800, 600}));

    auto small = NewImage(200, 100);
    ImageView view2(*small);
    view2.Resize(800, 600);
    view2.FirstDraw();
    EXPECT_FLOAT_EQ(view2.Zoom(), 1.0f);
    EXPECT_EQ(small->Geometry().screenRect, (Rect{300, 250, 500, 350}));
    EXPECT_EQ(small->ViewState().pendingRender.load(), 1);
}

TEST_F(ImageViewTest, ZoomModesCentreAndScroll) {
    auto image = NewImage(2000, 1000, 11811);
    ImageView view(*image);
    view.Resize(500, 400);
    view.FirstDraw();
    view.SetZoomMode(kZoomActualPixels);
    EXPECT_FLOAT_EQ(view.Zoom(), 1.0f);
    EXPECT_EQ(view.ScrollX(), (2000 - 500) / 2);
    EXPECT_EQ(view.ScrollY(), (1000 - 400) / 2);
    EXPECT_EQ(image->ViewState().scrollOriginX, 750);
    EXPECT_EQ(image->Geometry().visible, (Rect{750, 300, 1250, 700}));
    view.SetZoomMode(kZoomFitOnWindow);
    EXPECT_FLOAT_EQ(view.Zoom(), 0.25f);
    EXPECT_EQ(view.ScrollX(), 0);
    EXPECT_EQ(image->Geometry().visible, (Rect{0, 0, 2000, 1000}));
    view.SetZoomMode(kZoomPrintSize);
    EXPECT_NEAR(view.Zoom(), 0.24, 0.001);
    // Scrolling is clamped to the extent less the client.
    view.SetZoomMode(kZoomActualPixels);
    image->ViewState().pendingRender.store(0);  // served
    view.ScrollTo(99999, -5);
    EXPECT_EQ(view.ScrollX(), 1500);
    EXPECT_EQ(view.ScrollY(), 0);
    EXPECT_EQ(image->ViewState().pendingRender.load(), 8);
    // A move does not downgrade a full redraw that is still due.
    view.RequestRender(1);
    view.ScrollTo(0, 0);
    EXPECT_EQ(image->ViewState().pendingRender.load(), 1);
    // Wheel zoom with a button held does nothing.
    EXPECT_FALSE(view.WheelZoom(-120, true, false));
    EXPECT_FLOAT_EQ(view.Zoom(), 1.0f);
    EXPECT_TRUE(view.WheelZoom(-120, false, false));
    EXPECT_FLOAT_EQ(view.Zoom(), 1.1f);
    EXPECT_FALSE(view.SetZoom(1.1f));
    EXPECT_TRUE(view.SetZoom(100.0f));
    EXPECT_FLOAT_EQ(view.Zoom(), 8.0f);
}

}  // namespace
}  // namespace zelvo
