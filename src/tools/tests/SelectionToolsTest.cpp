// The selection tools through gestures in view coordinates at zooms 1, 0.25 and 3: shapes,
// clicks, combine modes with their names and warnings, the outline moved and nudged, the lasso
// and the polygon, and the magic wand over painted layers.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <random>

#include "selection/SelectionCommands.h"
#include "store/RowCursor.h"
#include "tools/MagicWand.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

class SelectionTools : public ToolsFixture, public ::testing::WithParamInterface<float> {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        zoom = GetParam();
        Open(600, 480, zoom);
    }
    // The view point showing canvas point (x, y); canvas points are chosen as multiples of 12
    // so that every zoom maps them exactly.
    Point V(int32_t x, int32_t y) const {
        return {int32_t(std::lround(x * zoom)), int32_t(std::lround(y * zoom))};
    }
    void Rectangle(Point a, Point b, const char* mode = "new") {
        tools.Options().Set(kToolRectMarquee, "mode", mode);
        tools.SelectTool(kToolRectMarquee);
        Drag({V(a.x, a.y), V((a.x + b.x) / 2, (a.y + b.y) / 2), V(b.x, b.y)});
    }
    float zoom = 1.0f;
};

TEST_P(SelectionTools, ReversedDragsGiveTheSameRectangle) {
    for (int tool : {kToolRectMarquee, kToolEllipseMarquee}) {
        tools.SelectTool(tool);
        Drag({V(24, 36), V(60, 60), V(120, 72)});
        const Rect forward = SelectionRect();
        EXPECT_EQ(LastStateName(),
                  tool == kToolRectMarquee ? "Rectangular Select" : "Elliptical Select");
        Click(V(300, 300));  // a click off the selection deselects
        EXPECT_EQ(SelectionRect(), Rect{});
        Drag({V(120, 72), V(60, 60), V(24, 36)});
        EXPECT_EQ(SelectionRect(), forward);
        if (tool == kToolRectMarquee) {
            EXPECT_EQ(forward, (Rect{24, 36, 120, 72}));
        }
        Click(V(300, 300));
    }
}

TEST_P(SelectionTools, ADragShorterThanFourScreenPixelsIsAClick) {
    Rectangle({24, 24}, {240, 240});
    ASSERT_NE(SelectionRect(), Rect{});
    tools.SelectTool(kToolEllipseMarquee);
    Drag({{400, 10}, {402, 12}, {403, 10}});  // 3 pixels away at most
    EXPECT_EQ(SelectionRect(), Rect{});
    EXPECT_EQ(LastStateName(), "Deselect");
    // Four pixels start the shape.
    Drag({{12, 12}, {16, 12}, {36, 36}});
    EXPECT_NE(SelectionRect(), Rect{});
}

TEST_P(SelectionTools, CombineModesAndTheirWarnings) {
    const Rect a{24, 24, 240, 240}, b{120, 120, 360, 360};
    struct Row {
        const char* mode;
        bool (*inside)(bool inA, bool inB);
    };
    const std::vector<Row> rows = {
        {"new", [](bool, bool inB) { return inB; }},
        {"add", [](bool inA, bool inB) { return inA || inB; }},
        {"subtract", [](bool inA, bool inB) { return inA && !inB; }},
        {"intersect", [](bool inA, bool inB) { return inA && inB; }},
    };
    for (const Row& row : rows) {
        Rectangle({a.left, a.top}, {a.right, a.bottom});
        EXPECT_EQ(image->History().States().back().kind, kSelectionNew);
        // From the far corner: a press inside the selection in New mode would move it.
        Rectangle({b.right, b.bottom}, {b.left, b.top}, row.mode);
        EXPECT_EQ(LastStateName(), "Rectangular Select");
        EXPECT_EQ(image->History().States().back().kind, kSelectionModify);
        for (int32_t y = 0; y < 400; y += 12)
            for (int32_t x = 0; x < 400; x += 12)
                ASSERT_EQ(Strength(x, y) != 0, row.inside(a.Contains({x, y}), b.Contains({x, y})))
                    << row.mode << " " << x << "," << y;
        if (HasSelection(image->Layers())) Deselect(image->History());
    }
    // Subtracting a shape that covers everything warns and removes the selection.
    Rectangle({a.left, a.top}, {a.right, a.bottom});
    messages.Clear();
    Rectangle({0, 0}, {300, 300}, "subtract");
    EXPECT_EQ(messages.Last(), "Warning:No pixels were selected.");
    EXPECT_FALSE(HasSelection(image->Layers()));
    EXPECT_EQ(LastStateName(), "Deselect");
}

TEST_P(SelectionTools, ThePressInsideMovesTheOutlineAndRecordsOneState) {
    Rectangle({24, 24}, {120, 96});
    const int states = image->History().StateCount();
    tools.SelectTool(kToolLasso);
    Click(V(48, 48));  // no movement: nothing recorded, the selection stays
    EXPECT_EQ(image->History().StateCount(), states);
    EXPECT_EQ(SelectionRect(), (Rect{24, 24, 120, 96}));
    Drag({V(48, 48), V(60, 60), V(72, 84)});
    EXPECT_EQ(SelectionRect(), (Rect{48, 60, 144, 132}));
    EXPECT_EQ(image->History().StateCount(), states + 1);
    EXPECT_EQ(image->History().States().back().kind, kStateMoveLayer);
}

TEST_P(SelectionTools, ArrowsNudgeByOneScreenPixel) {
    Rectangle({24, 24}, {120, 96});
    const int states = image->History().StateCount();
    const int32_t step = zoom >= 1.0f ? 1 : int32_t(1.0f / zoom);
    tools.Key(*view, kKeyRight, true, 0);
    tools.Key(*view, kKeyRight, true, 0);  // auto-repeat
    tools.Key(*view, kKeyUp, true, 0);
    EXPECT_EQ(SelectionRect(), (Rect{24 + 2 * step, 24 - step, 120 + 2 * step, 96 - step}));
    EXPECT_EQ(image->History().StateCount(), states);
    tools.Key(*view, kKeyRight, false, 0);
    EXPECT_EQ(image->History().StateCount(), states + 1);
    tools.Key(*view, kKeyUp, false, 0);  // nothing pending any more
    EXPECT_EQ(image->History().StateCount(), states + 1);
    if (zoom == 0.25f) {
        EXPECT_EQ(step, 4);
    }
}

TEST_P(SelectionTools, LassoAndPolygon) {
    tools.SelectTool(kToolLasso);
    Drag({V(24, 24), V(240, 24), V(240, 240), V(24, 240)});
    EXPECT_EQ(LastStateName(), "Freeform Select");
    EXPECT_EQ(Strength(36, 36), 100);
    EXPECT_EQ(Strength(300, 300), 0);
    Click(V(300, 300));  // collects nothing: deselects in New mode
    EXPECT_FALSE(HasSelection(image->Layers()));

    tools.SelectTool(kToolPolygon);
    for (Point p : {V(24, 24), V(240, 24), V(240, 240)}) Click(p);
    EXPECT_TRUE(tools.IsBusy());
    tools.Key(*view, kKeyEscape, true, 0);  // abandoned
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_FALSE(HasSelection(image->Layers()));
    // Closed by a release in the box around the first vertex.
    for (Point p : {V(24, 24), V(240, 24), V(240, 240)}) Click(p);
    const Point first = V(24, 24);
    Click({first.x + 3, first.y - 4});
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(LastStateName(), "Polygonal Select");
    EXPECT_EQ(Strength(228, 36), 100);
    EXPECT_EQ(Strength(36, 228), 0);
    // Closed by a double-click.
    tools.Options().Set(kToolPolygon, "mode", "add");
    for (Point p : {V(300, 300), V(360, 300), V(360, 360)}) Click(p);
    tools.DoubleClick(*view, {V(360, 360), kLeftButton, kLeftButton, 0});
    Release(V(360, 360));
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(Strength(355, 310), 100);
    EXPECT_EQ(Strength(228, 36), 100);
}

INSTANTIATE_TEST_SUITE_P(Zooms, SelectionTools, ::testing::Values(1.0f, 0.25f, 3.0f));

using MarqueeModifiers = ToolsFixture;

TEST_F(MarqueeModifiers, ShiftSquaresAndAltCentres) {
    Open(600, 480);
    struct Row {
        int tool;
        int mods;
        Point press, end;
        Rect expected;
    };
    const std::vector<Row> rows = {
        {kToolRectMarquee, kShift, {100, 100}, {200, 140}, {100, 100, 140, 140}},
        {kToolRectMarquee, kShift, {200, 140}, {100, 100}, {160, 100, 200, 140}},
        {kToolRectMarquee, kAlt, {300, 200}, {400, 240}, {200, 160, 400, 240}},
        // Centred near the corner: the mirrored corner is cut at the picture's edge.
        {kToolRectMarquee, kAlt, {50, 30}, {150, 70}, {0, 0, 150, 70}},
        {kToolRectMarquee, kAlt | kShift, {300, 200}, {400, 240}, {260, 160, 340, 240}},
        {kToolEllipseMarquee, kShift, {100, 100}, {200, 140}, {100, 100, 140, 140}},
        // Past the picture: the rectangle stops at its edge.
        {kToolRectMarquee, 0, {500, 400}, {900, 900}, {500, 400, 600, 480}},
    };
    for (const Row& row : rows) {
        tools.SelectTool(row.tool);
        Drag({row.press, row.end}, row.mods);
        const LayerPtr mask = image->Layers().Selection();
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask->Bounds(), row.expected) << row.press.x << "," << row.mods;
        Deselect(image->History());
    }
}

// The wand over a layer with a red block, a separate red block, a near-red block and a
// transparent hole.
TEST_F(MarqueeModifiers, MagicWandToleranceAndContiguity) {
    Open(120, 60);
    Layer& layer = *image->Layers().LayerAt(0);
    const uint32_t red = StoredDib::PixelWord(Rgb(200, 0, 0), 100);
    const uint32_t nearRed = StoredDib::PixelWord(Rgb(210, 5, 0), 100);
    const uint32_t white = StoredDib::PixelWord(Rgb(255, 255, 255), 100);
    Paint(layer, [&](int32_t x, int32_t y) -> uint32_t {
        if (x >= 100 && y < 10) return 0;  // transparent
        if (x < 30) return red;
        if (x >= 60 && x < 80) return red;
        if (x >= 40 && x < 50) return nearRed;
        return white;
    });
    tools.SelectTool(kToolMagicWand);
    struct Row {
        const char* tolerance;
        const char* contiguous;
        std::vector<int32_t> selectedColumns, clearColumns;
    };
    const std::vector<Row> rows = {
        {"0", "1", {0, 29}, {30, 40, 60}},
        {"0", "0", {0, 29, 60, 79}, {30, 40, 49}},
        {"10", "0", {0, 40, 49, 60}, {30, 55}},
        {"255", "1", {0, 30, 99, 119}, {}},
    };
    for (const Row& row : rows) {
        tools.Options().Set(kToolMagicWand, "tolerance", row.tolerance);
        tools.Options().Set(kToolMagicWand, "contiguous", row.contiguous);
        tools.Options().Set(kToolMagicWand, "mode", "new");
        if (HasSelection(image->Layers())) Deselect(image->History());
        Click({5, 30});
        EXPECT_EQ(LastStateName(), "Magic Wand Select");
        for (int32_t x : row.selectedColumns) EXPECT_EQ(Strength(x, 30), 100) << x;
        for (int32_t x : row.clearColumns) EXPECT_EQ(Strength(x, 30), 0) << x;
    }
    // With everything at 255 the transparent pixels stay out.
    EXPECT_EQ(Strength(110, 5), 0);
    // A transparent seed warns and changes nothing.
    const int states = image->History().StateCount();
    messages.Clear();
    tools.Options().Set(kToolMagicWand, "mode", "add");
    Click({105, 5});
    EXPECT_EQ(messages.Last(), "Warning:No pixels were selected.");
    EXPECT_EQ(image->History().StateCount(), states);
    // Any layer but a pixel layer is refused.
    LayerPtr text = image->Layers().AppendLayer(10, 10, LayerKind::Text);
    ASSERT_TRUE(text);
    image->Layers().SelectLayerByIndex(image->Layers().LayerCount());
    Click({5, 30});
    EXPECT_EQ(messages.Last(), "Could not use the magic wand because the target is a curve layer!");
}

// The wand's search against a plain one (every pixel tested, a breadth-first fill) on a layer
// of few colours with transparent holes, wider than a multiple of sixteen, taller than several
// bands of rows, lying partly off the canvas; the work bytes are all zero afterwards.
TEST_F(MarqueeModifiers, MagicWandSearchEqualsAPlainSearch) {
    Open(180, 150);
    constexpr int32_t lw = 203, lh = 190;
    LayerPtr layer = image->Layers().AppendLayer(lw, lh, LayerKind::Pixel);
    ASSERT_TRUE(layer);
    layer->SetPosition(-7, -20);
    std::mt19937 rng(17);
    std::vector<uint32_t> pixels(size_t(lw) * lh);
    const uint8_t levels[] = {0, 40, 120, 200, 255};
    for (uint32_t& p : pixels) {
        const auto level = [&] { return uint8_t(levels[rng() % 5] ^ (rng() % 4)); };
        p = rng() % 20 == 0 ? 0 : StoredDib::PixelWord(Rgb(level(), level(), level()), 100);
    }
    Paint(*layer, [&](int32_t x, int32_t y) { return pixels[size_t(y) * lw + size_t(x)]; });
    const Rect canvas{0, 0, 180, 150};
    auto channel = [&](size_t i, int c) { return int(pixels[i] >> (8 * c) & 0xFF); };
    for (int tolerance : {0, 3, 45, 255})
        for (bool contiguous : {true, false})
            for (Point seed : {Point{0, 0}, Point{100, 70}, Point{172, 149}, Point{37, 101}}) {
                const Point l{seed.x + 7, seed.y + 20};
                const size_t s = size_t(l.y) * lw + size_t(l.x);
                WandResult r =
                    MagicWandSearch(*workspace, *layer, seed, tolerance, contiguous, canvas);
                if (pixels[s] >> 24 == 0) {
                    EXPECT_EQ(r.status, WandResult::NoSeed);
                    continue;
                }
                ASSERT_EQ(r.status, WandResult::Ok);
                std::vector<uint8_t> in(pixels.size(), 0);
                for (size_t i = 0; i < pixels.size(); ++i) {
                    bool ok = pixels[i] >> 24 != 0;
                    for (int c = 0; c < 3; ++c)
                        ok &= std::abs(channel(i, c) - channel(s, c)) <= tolerance;
                    in[i] = ok;
                }
                if (contiguous) {
                    std::vector<uint8_t> reached(pixels.size(), 0);
                    std::deque<Point> queue{l};
                    reached[s] = 1;
                    while (!queue.empty()) {
                        const Point p = queue.front();
                        queue.pop_front();
                        for (Point n : {Point{p.x - 1, p.y}, Point{p.x + 1, p.y},
                                        Point{p.x, p.y - 1}, Point{p.x, p.y + 1}}) {
                            if (n.x < 0 || n.y < 0 || n.x >= lw || n.y >= lh) continue;
                            const size_t i = size_t(n.y) * lw + size_t(n.x);
                            if (in[i] && !reached[i]) {
                                reached[i] = 1;
                                queue.push_back(n);
                            }
                        }
                    }
                    in = reached;
                }
                Rect bounds;
                for (int32_t y = 0; y < lh; ++y)
                    for (int32_t x = 0; x < lw; ++x)
                        if (in[size_t(y) * lw + size_t(x)])
                            bounds = bounds.Union({x, y, x + 1, y + 1});
                const std::string where = std::to_string(tolerance) + (contiguous ? " c " : " n ") +
                                          std::to_string(seed.x) + "," + std::to_string(seed.y);
                ASSERT_EQ(r.shape.Bounds(), bounds.Offset(-7, -20).Intersect(canvas)) << where;
                int wrong = 0;
                for (int32_t y = 0; y < 150; ++y)
                    for (int32_t x = 0; x < 180; ++x)
                        wrong += r.shape.Bit(x, y) != bool(in[size_t(y + 20) * lw + size_t(x + 7)]);
                EXPECT_EQ(wrong, 0) << where;
                FileDynamicStore& store = workspace->Store();
                MappedView work(store, store.Payload(workspace->StrokeBlock()).offset,
                                uint64_t(lw) * lh);
                ASSERT_TRUE(work.IsValid());
                EXPECT_TRUE(std::all_of(work.Data(), work.Data() + size_t(lw) * lh, [](uint8_t b) {
                    return b == 0;
                })) << where;
            }
}

}  // namespace
}  // namespace zelvo::test
