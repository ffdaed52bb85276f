// Clear, Draw Border and Layer Convert to Selection on small layers, against the rules written
// out pixel by pixel.
#include "selection/SelectionCommands.h"
#include "testsupport/SelectionTestSupport.h"

namespace zelvo::test {
namespace {

using EditCommandsTest = SelectionTest;

uint32_t Word(int b, int g, int r, int a) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
}

TEST_F(EditCommandsTest, ClearCutsAlphaByStrengthAndKeepsColour) {
    LayerPtr layer = AddPixelLayer({2, 2, 12, 10},
                                   [](int x, int y) { return Word(x * 10, y * 10, 200, 100 - x); });
    Grid g = Canvas();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) g[size_t(y)][size_t(x)] = (x * 7 + y * 3) % 101;
    g[2][2] = 100;
    g[3][2] = 0;
    Select({0, 0, kW, kH}, g);
    EXPECT_TRUE(SelectionCommandEnabled(SelectionCommand::Clear, *history));
    ASSERT_EQ(ClearSelection(*history), 1);
    EXPECT_EQ(LastStateName(), "Clear");
    EXPECT_EQ(history->States().back().kind, kStateLayerPixels);
    EXPECT_EQ(history->States().back().layer, layer);
    LayerPtr now = Current();
    ASSERT_NE(now, layer);
    EXPECT_EQ(now->Serial(), layer->Serial());
    for (int y = 2; y < 10; ++y)
        for (int x = 2; x < 12; ++x) {
            const int s = g[size_t(y)][size_t(x)], a = 100 - x;
            const uint32_t want = s == 100 ? 0 : Word(x * 10, y * 10, 200, a * (100 - s) / 100);
            // Pixels outside the kept rectangle were transparent after the rule.
            const uint32_t got = now->Bounds().Contains({x, y}) ? PixelAt(*now, x, y) : 0;
            if ((want >> 24) == 0)
                EXPECT_EQ(got >> 24, 0u) << x << "," << y;
            else
                EXPECT_EQ(got, want) << x << "," << y;
        }
    history->GoToState(history->StateCount() - 1, 0);
    EXPECT_EQ(Current(), layer);
}

TEST_F(EditCommandsTest, ClearWithHalfStrengthHalvesAlphaAndFullSelectionLeavesANullLayer) {
    AddPixelLayer({0, 0, 4, 4}, [](int, int) { return Word(10, 20, 30, 100); });
    Grid g = Canvas(50);
    Select({0, 0, kW, kH}, g);
    ASSERT_EQ(ClearSelection(*history), 1);
    EXPECT_EQ(PixelAt(*Current(), 1, 1), Word(10, 20, 30, 50));
    EXPECT_EQ(Current()->Bounds(), (Rect{0, 0, 4, 4}));

    SelectAll(*history);
    ASSERT_EQ(ClearSelection(*history), 1);
    EXPECT_EQ(Current()->Kind(), LayerKind::Null);
    EXPECT_EQ(LastStateName(), "Clear");
}

TEST_F(EditCommandsTest, ClearKeepsTheTightRectangleOfWhatStaysVisible) {
    AddPixelLayer({0, 0, 10, 8}, [](int x, int) { return Word(1, 2, 3, x < 2 ? 0 : 100); });
    Grid g = Canvas();
    for (int y = 0; y < kH; ++y)
        for (int x = 6; x < kW; ++x) g[size_t(y)][size_t(x)] = 100;
    Select({6, 0, kW, kH}, g);
    ASSERT_EQ(ClearSelection(*history), 1);
    EXPECT_EQ(Current()->Bounds(), (Rect{2, 0, 6, 8}));
    EXPECT_EQ(PixelAt(*Current(), 2, 0), Word(1, 2, 3, 100));

    // A selection beside the layer changes nothing and records nothing.
    Select({12, 0, 14, 2}, Canvas(100));
    const int states = history->StateCount();
    EXPECT_EQ(ClearSelection(*history), 0);
    EXPECT_EQ(history->StateCount(), states);
}

TEST_F(EditCommandsTest, LayerToSelectionTakesAlphaAsStrength) {
    AddPixelLayer({3, 4, 9, 8}, [](int x, int) { return Word(0, 0, 0, x == 3 ? 37 : 100); });
    ASSERT_EQ(LayerToSelection(*history), 1);
    EXPECT_EQ(LastStateName(), "Convert Layer To Slection");
    EXPECT_EQ(history->States().back().kind, kStateNewSelection);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{3, 4, 9, 8}));
    const Grid s = Strengths();
    EXPECT_EQ(s[5][3], 37);
    EXPECT_EQ(s[5][4], 100);
    EXPECT_EQ(s[3][3], 0);
    ASSERT_EQ(LayerToSelection(*history), 1);
    EXPECT_EQ(history->States().back().kind, kStateModifySelection);
}

TEST_F(EditCommandsTest, LayerToSelectionClipsToTheCanvasAndReadsMaskBits) {
    AddPixelLayer({-3, -2, 5, 4}, [](int, int) { return Word(0, 0, 0, 80); });
    ASSERT_EQ(LayerToSelection(*history), 1);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{0, 0, 5, 4}));

    // A curve layer: its set bits, tight, at 100.
    auto curve = std::make_shared<Layer>(*store);
    ASSERT_TRUE(curve->Create(8, 6, LayerKind::Curve, layers->NextId()));
    curve->SetPosition(10, 5);
    const uint32_t storedRow = uint32_t(curve->StoredRowOf(7));
    curve->Rows()->Row(storedRow)[0] = 0x30;  // columns 2 and 3 of canvas row 7
    curve->ReleaseRows();
    layers->InsertAt(layers->LayerCount(), curve);
    layers->SelectLayerById(curve->Id(), 0, 0);

    struct Counting : SelectionRerender {
        int text = 0, forced = 0, plain = 0;
        void RenderText(Layer&) override { ++text; }
        void RenderCurve(Layer&, bool forceFill) override { ++(forceFill ? forced : plain); }
    } rerender;
    ASSERT_EQ(LayerToSelection(*history, &rerender), 1);
    EXPECT_EQ(rerender.forced, 1);
    EXPECT_EQ(rerender.plain, 1);
    EXPECT_EQ(rerender.text, 0);
    EXPECT_EQ(layers->SelectionBounds(), (Rect{12, 7, 14, 8}));
    Grid want = Canvas();
    want[7][12] = want[7][13] = 100;
    EXPECT_EQ(Strengths(), want);
}

// Draw Border by the rule: a w x w stamp (rows in stored order) on every boundary pixel.
TEST_F(EditCommandsTest, DrawBorderStampsEveryBoundaryPixelOfTheSelection) {
    for (int w : {1, 3, 4}) {
        LayerPtr layer = AddPixelLayer({0, 0, kW, kH}, [](int, int) { return Word(9, 9, 9, 100); });
        Grid g = Canvas();
        for (int y = 5; y < 12; ++y)
            for (int x = 6; x < 15; ++x) g[size_t(y)][size_t(x)] = (x == 9 && y == 8) ? 0 : 30;
        Select({5, 4, 16, 13}, g);
        const ColorRef color = Rgb(200, 100, 50);
        ASSERT_EQ(DrawBorder(*history, w, color, 70), 1);
        EXPECT_EQ(LastStateName(), "Draw Border");
        const int h = w / 2;
        Grid painted = Canvas();
        for (int by = 4; by < 13; ++by)
            for (int bx = 5; bx < 16; ++bx) {
                const int s = g[size_t(by)][size_t(bx)];
                if (s == 0) continue;
                auto at = [&](int x, int y) {
                    return (x < 5 || x >= 16 || y < 4 || y >= 13) ? 0 : g[size_t(y)][size_t(x)];
                };
                const bool edge = bx == 5 || bx == 15 || by == 4 || by == 12 || !at(bx - 1, by) ||
                                  !at(bx + 1, by) || !at(bx, by - 1) || !at(bx, by + 1);
                if (!edge) continue;
                for (int j = 0; j < w; ++j)
                    for (int i = 0; i < w; ++i)
                        if ((i - h) * (i - h) + (j - h) * (j - h) <= h * h) {
                            const int x = bx + i - h, y = by - (j - h);  // j counts stored rows
                            if (x >= 0 && y >= 0 && x < kW && y < kH)
                                painted[size_t(y)][size_t(x)] = 1;
                        }
            }
        LayerPtr now = Current();
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(PixelAt(*now, x, y), painted[size_t(y)][size_t(x)]
                                                   ? Word(50, 100, 200, 70)
                                                   : Word(9, 9, 9, 100))
                    << "w=" << w << " at " << x << "," << y;
        Deselect(*history);
        (void)layer;
    }
}

TEST_F(EditCommandsTest, DrawBorderWithoutASelectionOutlinesTheLayerAndGrowsIt) {
    AddPixelLayer({4, 4, 8, 7}, [](int x, int) { return Word(1, 1, 1, x == 4 ? 0 : 100); });
    ASSERT_EQ(DrawBorder(*history, 3, Rgb(255, 0, 0), 100), 1);
    LayerPtr now = Current();
    EXPECT_EQ(now->Bounds(), (Rect{3, 3, 9, 8}));
    const uint32_t red = Word(0, 0, 255, 100);
    // Column 5 is the layer's first opaque column: its pixels are boundary pixels.
    EXPECT_EQ(PixelAt(*now, 4, 5), red);
    EXPECT_EQ(PixelAt(*now, 3, 5), 0u);  // the stamp of radius 1 reaches one pixel out
    EXPECT_EQ(PixelAt(*now, 8, 5), red);
    EXPECT_EQ(PixelAt(*now, 6, 3), red);

    // Refused for a null layer without a selection.
    SelectAll(*history);
    ClearSelection(*history);
    Deselect(*history);
    const int states = history->StateCount();
    EXPECT_EQ(DrawBorder(*history, 3, Rgb(255, 0, 0), 100), 0);
    EXPECT_EQ(history->StateCount(), states);
}

TEST_F(EditCommandsTest, DrawBorderOnANullLayerPaintsTheGrownMaskRectangle) {
    AddPixelLayer({0, 0, 2, 2}, [](int, int) { return Word(1, 1, 1, 100); });
    SelectAll(*history);
    ClearSelection(*history);
    ASSERT_EQ(Current()->Kind(), LayerKind::Null);
    Grid g = Canvas();
    for (int y = 6; y < 9; ++y)
        for (int x = 6; x < 9; ++x) g[size_t(y)][size_t(x)] = 100;
    Select({6, 6, 9, 9}, g);
    ASSERT_EQ(DrawBorder(*history, 1, Rgb(0, 0, 255), 40), 1);
    LayerPtr now = Current();
    EXPECT_EQ(now->Kind(), LayerKind::Pixel);
    EXPECT_EQ(now->Bounds(), (Rect{6, 6, 9, 9}));
    EXPECT_EQ(PixelAt(*now, 6, 6), Word(255, 0, 0, 40));
    EXPECT_EQ(PixelAt(*now, 7, 7), 0u);
}

}  // namespace
}  // namespace zelvo::test
