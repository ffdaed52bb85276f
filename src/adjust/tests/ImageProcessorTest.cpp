// The dialog protocol: prepare, preview and finish; the per-pixel preview rule of every table
// code gives what the apply step writes; the filter previews over the visible area; the zoom
// table; the Levels sliders.
#include "adjust/ImageProcessor.h"
#include "adjust/LevelsSliders.h"
#include "adjust/tests/AdjustTestSupport.h"

namespace zelvo::test {
namespace {

using ImageProcessorTest = AdjustTest;

TEST_F(ImageProcessorTest, ZoomTableTruncatesOffsetsByTheZoom) {
    RandomLayer({0, 0, kW, kH});
    ImageProcessor ip;
    for (double z : {0.5, 0.3, 0.125}) {
        ASSERT_TRUE(ip.Prepare(*history, kPreviewLevels, z, {0, 0, kW, kH}));
        for (int i = 0; i < 128; ++i)
            EXPECT_EQ(ip.ZoomTable()[size_t(i)], int(i / z)) << z << " " << i;
        EXPECT_EQ(ip.Finish(0), 0);
    }
}

TEST_F(ImageProcessorTest, TablePreviewsShowWhatApplyWrites) {
    struct Case {
        int32_t code;
        std::vector<int32_t> params;
        std::string name;
    };
    Table256 curve{};
    for (int v = 0; v < 256; ++v) curve[size_t(v)] = (v * 3) % 256;
    std::vector<int32_t> curveParams(curve.begin(), curve.end());
    curveParams.push_back(1);
    const std::vector<Case> cases = {
        {kPreviewBrightnessContrast, {-30, 45}, "Brightness/Contrast"},
        {kPreviewLevels, {20, 90, 200, 250, 5}, "Levels"},
        {kPreviewCurves, curveParams, "Curves"},
        {kPreviewSaturation, {-60}, "Saturation"},
        {kPreviewColorBalance, {40, -70, 10}, "Color Balance"},
    };
    for (const Case& c : cases)
        Rounds([&](bool sel) {
            ImageProcessor ip;
            ASSERT_TRUE(ip.Prepare(*history, c.code, 1, {0, 0, kW, kH}));
            EXPECT_EQ(ip.HasSelection(), sel);
            ip.Preview(c.params);
            const Snapshot s = Take();
            std::vector<uint32_t> want;
            for (int y = s.bounds.top; y < s.bounds.bottom; ++y)
                for (int x = s.bounds.left; x < s.bounds.right; ++x)
                    want.push_back(ip.PreviewPixel(s.Old(x, y), s.S(x, y)));
            ASSERT_EQ(ip.Finish(1), 1) << c.name;
            EXPECT_EQ(LastStateName(), c.name);
            EXPECT_EQ(ip.Code(), kPreviewNone);
            ExpectLayer(
                s.bounds,
                [&](int x, int y) {
                    return want[size_t((y - s.bounds.top) * s.bounds.Width() + x - s.bounds.left)];
                },
                c.name);
        });
}

TEST_F(ImageProcessorTest, CancelAndUnchangedDialogsRecordNothing) {
    RandomLayer({2, 2, 12, 12});
    const int states = history->StateCount();
    ImageProcessor ip;
    ASSERT_TRUE(ip.Prepare(*history, kPreviewMosaic, 1, {0, 0, kW, kH}));
    ip.Preview({4});
    EXPECT_EQ(ip.Finish(0), 0);
    for (int32_t code : {kPreviewLevels, kPreviewSaturation, kPreviewColorBalance}) {
        ASSERT_TRUE(ip.Prepare(*history, code, 1, {0, 0, kW, kH}));
        ip.Preview(code == kPreviewLevels ? std::vector<int32_t>{0, 127, 255, 0, 255}
                                          : std::vector<int32_t>{0, 0, 0});
        EXPECT_EQ(ip.Finish(1), 0) << code;
    }
    Table256 id{};
    for (int v = 0; v < 256; ++v) id[size_t(v)] = v;
    std::vector<int32_t> unchanged(id.begin(), id.end());
    unchanged.push_back(0);
    ASSERT_TRUE(ip.Prepare(*history, kPreviewCurves, 1, {0, 0, kW, kH}));
    ip.Preview(unchanged);
    EXPECT_EQ(ip.Finish(1), 0);
    EXPECT_EQ(history->StateCount(), states);
    // A text, curve or null current layer has no dialog.
    auto nullLayer = std::make_shared<Layer>(*store);
    ASSERT_TRUE(nullLayer->Create(0, 0, LayerKind::Null, layers->NextId()));
    layers->InsertAt(layers->CurrentIndex() + 1, nullLayer);
    layers->SelectLayerById(nullLayer->Id(), 0, 0);
    EXPECT_FALSE(ip.Prepare(*history, kPreviewLevels, 1, {0, 0, kW, kH}));
}

TEST_F(ImageProcessorTest, FilterPreviewsRunOnTheVisibleArea) {
    RandomLayer({0, 0, kW, kH});
    PixelBuffer whole;
    ASSERT_TRUE(ReadLayerPixels(*Current(), whole));
    const Rect view{4, 2, 19, 14};  // not on the mosaic grid of 3
    const PixelBuffer visible = PlaceInto(whole, {0, 0, kW, kH}, view);
    ImageProcessor ip;
    ASSERT_TRUE(ip.Prepare(*history, kPreviewMosaic, 1, view));
    EXPECT_EQ(ip.PreviewSource().px, visible.px);
    ip.Preview({3});
    // A mosaic cell wholly in view shows what the filter writes; the grid is the layer's.
    const PixelBuffer cells = ip.PreviewResult();
    const int before = history->CurrentStateIndex();
    ASSERT_EQ(ip.Finish(1), 1);
    PixelBuffer mosaic;
    ASSERT_TRUE(ReadLayerPixels(*Current(), mosaic));
    int wholeCells = 0;
    for (int32_t y = 0; y < view.Height(); ++y)
        for (int32_t x = 0; x < view.Width(); ++x) {
            const int32_t cx = view.left + x, cy = view.top + y;
            const int32_t left = cx - cx % 3, bottom = kH - (kH - 1 - cy) / 3 * 3;
            if (left < view.left || left + 3 > view.right || bottom - 3 < view.top ||
                bottom > view.bottom)
                continue;
            ++wholeCells;
            EXPECT_EQ(cells.At(x, y), mosaic.At(cx, cy)) << cx << "," << cy;
        }
    EXPECT_GT(wholeCells, 0);
    history->GoToState(before, 0);
    ASSERT_TRUE(ip.Prepare(*history, kPreviewBlur, 1, view));
    ip.Preview({13});
    EXPECT_EQ(ip.PreviewResult().px, BoxBlurResult(visible, 3).px);
    ip.Preview({4});
    EXPECT_EQ(ip.PreviewResult().px, GaussianBlurResult(visible, 4).px);
    ip.Finish(0);
    ASSERT_TRUE(ip.Prepare(*history, kPreviewSharpen, 1, view));
    ip.Preview({70, 3});
    EXPECT_EQ(ip.PreviewResult().px, SharpenMoreResult(visible, 70, 3).px);
    ip.Finish(0);
    // Below zoom 1 the source is sampled through the zoom table: every other pixel at 0.5.
    ASSERT_TRUE(ip.Prepare(*history, kPreviewMosaic, 0.5, {0, 0, kW, kH}));
    ASSERT_EQ(ip.PreviewSource().width, kW / 2);
    for (int y = 0; y < kH / 2; ++y)
        for (int x = 0; x < kW / 2; ++x)
            EXPECT_EQ(ip.PreviewSource().At(x, y), whole.At(2 * x, 2 * y));
    ip.Finish(0);
    // The layer itself is never touched by a preview.
    PixelBuffer after;
    ASSERT_TRUE(ReadLayerPixels(*Current(), after));
    EXPECT_EQ(after.px, whole.px);
}

TEST_F(ImageProcessorTest, FilterPreviewsOfTheWholeCanvasShowWhatApplyWrites) {
    const std::vector<std::pair<int32_t, std::vector<int32_t>>> cases = {
        {kPreviewBlur, {5}},
        {kPreviewBlur, {13}},
        {kPreviewSharpen, {70, 3}},
        {kPreviewMosaic, {3}},
        {kPreviewShadowHighlight, {60, 10, 5}}};
    for (bool sel : {false, true})
        for (const auto& [code, params] : cases) {
            if (layers->Selection()) SetSelection(*history, nullptr, kSelectionRemove);
            // A layer that does not fill the canvas: the previews see only the layer, and the
            // mosaic's cells lie on its grid.
            const Rect at{3, 2, kW - 2, kH - 3};
            RandomLayer(at);
            if (sel) RandomSelection();
            ImageProcessor ip;
            ASSERT_TRUE(ip.Prepare(*history, code, 1, {0, 0, kW, kH}));
            ip.Preview(params);
            const PixelBuffer shown = ip.PreviewResult();
            ASSERT_EQ(ip.Finish(1), 1) << code;
            PixelBuffer applied;
            ASSERT_TRUE(ReadLayerPixels(*Current(), applied));
            EXPECT_EQ(PlaceInto(applied, Current()->Bounds(), {0, 0, kW, kH}).px, shown.px)
                << code << " selection " << sel;
        }
}

// Counts the document redraws the history is asked for.
struct CountingHost : ForgettingHost {
    int redraws = 0;
    void Redraw() override { ++redraws; }
};

TEST_F(ImageProcessorTest, FinishRedrawsAndTellsTheViewWhichRectangle) {
    CountingHost counting;
    counting.layers = layers.get();
    history->SetHost(&counting);
    RandomLayer({4, 3, 14, 12});
    ImageProcessor ip;
    // Without a selection the whole visible canvas is previewed.
    ASSERT_TRUE(ip.Prepare(*history, kPreviewBlur, 1, {0, 0, kW, kH}));
    EXPECT_EQ(ip.RedrawRect(), (Rect{0, 0, kW, kH}));
    ip.Preview({13});
    counting.redraws = 0;
    // OK: the box blur grew the layer by 3 on every side; the commit asked for the redraw.
    ASSERT_EQ(ip.Finish(1), 1);
    EXPECT_EQ(ip.RedrawRect(), (Rect{1, 0, 17, 15}));
    EXPECT_GE(counting.redraws, 1);
    // Cancel under a selection: the previewed mask rectangle within the view is redrawn.
    Select({2, 2, 10, 9}, Canvas(60));
    ASSERT_TRUE(ip.Prepare(*history, kPreviewLevels, 1, {5, 0, kW, kH}));
    EXPECT_EQ(ip.RedrawRect(), (Rect{5, 2, 10, 9}));
    ip.Preview({20, 90, 200, 0, 255});
    counting.redraws = 0;
    const int states = history->StateCount();
    EXPECT_EQ(ip.Finish(0), 0);
    EXPECT_EQ(counting.redraws, 1);
    EXPECT_EQ(ip.RedrawRect(), (Rect{5, 2, 10, 9}));
    // OK without a change applies nothing but still takes the preview off the view.
    ASSERT_TRUE(ip.Prepare(*history, kPreviewSaturation, 1, {0, 0, kW, kH}));
    ip.Preview({0});
    counting.redraws = 0;
    EXPECT_EQ(ip.Finish(1), 0);
    EXPECT_EQ(counting.redraws, 1);
    EXPECT_EQ(history->StateCount(), states);
    history->SetHost(&host);
}

TEST_F(ImageProcessorTest, LevelsAndShadowHighlightTakeTheLayersHistogram) {
    RandomLayer({1, 1, 20, 16});
    PixelBuffer whole;
    ASSERT_TRUE(ReadLayerPixels(*Current(), whole));
    const auto want = SampledHistogram(whole.px, whole.width, whole.height);
    for (int32_t code : {kPreviewLevels, kPreviewShadowHighlight}) {
        ImageProcessor ip;
        ASSERT_TRUE(ip.Prepare(*history, code, 1, {0, 0, kW, kH}));
        EXPECT_EQ(ip.Histogram(), want) << code;
        ip.Finish(0);
    }
}

TEST_F(ImageProcessorTest, LevelsInputHandlesKeepTheirOrderAndTheMiddleItsFraction) {
    LevelsInputSlider in;
    EXPECT_EQ(in.MiddleReading(), "1.00");
    EXPECT_EQ(in.Pick(0), LevelsInputSlider::kBlack);
    EXPECT_EQ(in.Pick(120), LevelsInputSlider::kMiddle);
    EXPECT_EQ(in.Pick(250), LevelsInputSlider::kWhite);
    in.Move(LevelsInputSlider::kMiddle, 191);  // f = 0.75
    EXPECT_DOUBLE_EQ(in.Fraction(), 191 / 255.0);
    in.Move(LevelsInputSlider::kBlack, 55);
    EXPECT_EQ(in.Middle(), 55 + int(191 / 255.0 * 200));
    in.Move(LevelsInputSlider::kBlack, 300);
    EXPECT_LT(in.Black(), in.Middle());
    EXPECT_LT(in.Middle(), in.White());
    in.Move(LevelsInputSlider::kWhite, 0);
    EXPECT_LT(in.Black(), in.Middle());
    EXPECT_LT(in.Middle(), in.White());
    in.Move(LevelsInputSlider::kMiddle, -5);
    EXPECT_EQ(in.Middle(), in.Black() + 1);
    // Equal distances: black wins over white, the middle only when strictly nearer.
    LevelsInputSlider fresh;
    fresh.Move(LevelsInputSlider::kMiddle, 50);
    EXPECT_EQ(fresh.Pick(25), LevelsInputSlider::kBlack);
    LevelsOutputSlider out;
    out.Move(0, 200);
    out.Move(1, 20);  // white below black inverts; not constrained
    EXPECT_EQ(out.Black(), 200);
    EXPECT_EQ(out.White(), 20);
    EXPECT_EQ(out.Pick(110), 0);
    EXPECT_EQ(out.Pick(100), 1);
}

}  // namespace
}  // namespace zelvo::test
