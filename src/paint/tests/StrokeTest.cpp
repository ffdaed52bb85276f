// Strokes through the stroke session and its commit on a real document: coverage building up
// within one stroke, the dab spacing, the brush and eraser pixels against the formulas (with a
// feathered selection), both commit paths with their undo and redo, the layer growing, and a
// stroke painted by another thread while its points are published.
#include <random>
#include <thread>

#include "paint/tests/PaintTestSupport.h"

namespace zelvo::test {
namespace {

constexpr ColorRef kRed = Rgb(200, 30, 10);
const Px kRedPx{10, 30, 200, 100};

class StrokeTest : public PaintFixture {
protected:
    void SetUp() override {
        PaintFixture::SetUp();
        Open(40, 30);
    }
    // A first whole-layer edit: afterwards the current layer is no longer the start
    // snapshot's object, so small strokes take the rectangle path.
    void LeaveStartLayer() {
        ASSERT_EQ(Stroke(StrokeKind::Brush, BuildTip(1, 100, 100), Rgb(255, 255, 255), {{0, 0}}),
                  1);
        ASSERT_EQ(LastState().kind, kStateLayerPixels);
    }
};

TEST_F(StrokeTest, CoverageBuildsUpWithinOneStrokeButNeverPastOneHundred) {
    // A hard 3 x 3 tip of 50 with spacing 1: pixel (5, 5) is under the dabs at x = 4, 5, 6.
    const BrushTip tip = BuildTip(3, 100, 50);
    ASSERT_EQ(tip.side, 3);
    StrokeSession s;
    s.Start(Target(StrokeKind::Brush, tip, kRed), {4, 5});
    s.Stop();
    EXPECT_EQ(Record(5, 5)[0], 50);
    EXPECT_EQ(s.Painter().Dabs(), 1u);
    DiscardStroke(s);
    StrokeSession s2;
    Paint(s2, StrokeKind::Brush, tip, kRed, {{4, 5}, {6, 5}});
    EXPECT_EQ(Record(5, 5)[0], 75);  // 50 (+) 50
    EXPECT_EQ(Record(7, 5)[0], 0);   // the end point is not walked
    DiscardStroke(s2);
    StrokeSession s3;
    Paint(s3, StrokeKind::Brush, tip, kRed, {{4, 5}, {6, 5}, {7, 5}});
    EXPECT_EQ(Record(5, 5)[0], 87);
    EXPECT_EQ(s3.Painter().Dabs(), 3u);
    EXPECT_EQ(s3.Painter().Touched(), 15u);  // 5 columns x 3 rows
    ASSERT_EQ(CommitStroke(image->History(), s3, "Brush Tool"), 1);
    EXPECT_TRUE(RecordsAllZero());
    EXPECT_EQ(PixelAt(*Current(), 5, 5), BrushOver({255, 255, 255, 100}, kRedPx, 87));
    EXPECT_EQ(PixelAt(*Current(), 4, 4), BrushOver({255, 255, 255, 100}, kRedPx, 75));
}

TEST_F(StrokeTest, DabsAreSpacedAQuarterOfTheTipSideButAtLeastOnePixel) {
    struct Row {
        int d, h;
        Point from, to;
        uint64_t dabs;
    };
    const std::vector<Row> rows = {
        {2, 100, {0, 10}, {9, 10}, 9},  // side 2: spacing 1, every walked pixel
        {2, 100, {0, 0}, {9, 9}, 9},    // diagonal steps of 1.41
        {10, 0, {0, 10}, {20, 10}, 5},  // side 15: spacing 3.75, every 4th pixel
        {10, 0, {0, 0}, {20, 20}, 7},   // every 3rd diagonal step
        {1, 100, {3, 3}, {3, 3}, 1},    // a click
    };
    for (const Row& r : rows) {
        StrokeSession s;
        Paint(s, StrokeKind::Brush, BuildTip(r.d, r.h, 100), kRed, {r.from, r.to});
        EXPECT_EQ(s.Painter().Dabs(), r.dabs) << r.d << " " << r.to.x << "," << r.to.y;
        DiscardStroke(s);
        EXPECT_TRUE(RecordsAllZero());
    }
}

TEST_F(StrokeTest, BrushAndEraserPixelsFollowTheFormulas) {
    // One single-pixel dab per case on a pixel of its own, over a feathered selection.
    struct Row {
        StrokeKind kind;
        int opacity;
        Px under;
        uint8_t strength;  // selection strength at the pixel
    };
    const std::vector<Row> rows = {
        {StrokeKind::Brush, 100, {255, 255, 255, 100}, 100},
        {StrokeKind::Brush, 40, {255, 255, 255, 100}, 100},
        {StrokeKind::Brush, 40, {20, 200, 90, 100}, 55},
        {StrokeKind::Brush, 70, {20, 200, 90, 30}, 100},
        {StrokeKind::Brush, 70, {250, 250, 250, 1}, 80},
        {StrokeKind::Brush, 70, {20, 200, 90, 0}, 100},
        {StrokeKind::Brush, 33, {5, 6, 7, 0}, 20},
        {StrokeKind::Brush, 90, {255, 255, 255, 50}, 0},  // outside: unchanged
        {StrokeKind::Eraser, 100, {20, 200, 90, 100}, 100},
        {StrokeKind::Eraser, 40, {20, 200, 90, 100}, 100},
        {StrokeKind::Eraser, 40, {20, 200, 90, 77}, 50},
        {StrokeKind::Eraser, 60, {20, 200, 90, 0}, 100},
        {StrokeKind::Eraser, 60, {20, 200, 90, 45}, 0},
    };
    LeaveStartLayer();
    auto spot = [](size_t i) {
        return Point{int32_t(2 + 3 * (i % 12)), int32_t(2 + 3 * (i / 12))};
    };
    SetPixels(*Current(), [&](int32_t x, int32_t y) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (spot(i) == Point{x, y}) return rows[i].under;
        return Px{1, 2, 3, 100};
    });
    Select({0, 0, 40, 30}, [&](int32_t x, int32_t y) -> uint8_t {
        for (size_t i = 0; i < rows.size(); ++i)
            if (spot(i) == Point{x, y}) return rows[i].strength;
        return 100;
    });
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const Point at = spot(i);
        ASSERT_EQ(Stroke(r.kind, BuildTip(1, 100, r.opacity), kRed, {at}), 1);
        EXPECT_EQ(LastState().kind, kStateRectPixels);
        const int e = Pct(r.opacity, r.strength);
        const Px want =
            r.kind == StrokeKind::Brush ? BrushOver(r.under, kRedPx, e) : EraserOver(r.under, e);
        EXPECT_EQ(PixelAt(*Current(), at.x, at.y), want) << "row " << i;
        EXPECT_EQ(PixelAt(*Current(), at.x + 1, at.y), (Px{1, 2, 3, 100})) << "row " << i;
    }
    EXPECT_TRUE(RecordsAllZero());
}

TEST_F(StrokeTest, RectanglePathUndoAndRedoRestoreThePixelsExactly) {
    LeaveStartLayer();
    SetPixels(*Current(), [](int32_t x, int32_t y) {
        return Px{uint8_t(x * 6), uint8_t(y * 8), uint8_t(x + y), uint8_t(30 + x)};
    });
    const Rect canvas{0, 0, 40, 30};
    const std::vector<Px> before = Snapshot(canvas);
    ASSERT_EQ(Stroke(StrokeKind::Brush, BuildTip(6, 40, 80), kRed, {{5, 5}, {20, 12}, {30, 6}}), 1);
    EXPECT_EQ(LastState().kind, kStateRectPixels);
    EXPECT_EQ(LastState().name, "Brush Tool");
    const std::vector<Px> after = Snapshot(canvas);
    EXPECT_NE(after, before);
    EXPECT_TRUE(RecordsAllZero());
    HistoryManager& h = image->History();
    const int n = h.StateCount();
    h.GoToState(n - 1, 0);
    EXPECT_EQ(Snapshot(canvas), before);
    h.GoToState(n, 0);
    EXPECT_EQ(Snapshot(canvas), after);
    // The eraser takes the same path.
    ASSERT_EQ(Stroke(StrokeKind::Eraser, BuildTip(4, 100, 100), kRed, {{10, 20}, {14, 20}},
                     "Eraser Tool"),
              1);
    EXPECT_EQ(LastState().name, "Eraser Tool");
    EXPECT_EQ(PixelAt(*Current(), 12, 20).a, 0);
    h.GoToState(n, 0);
    EXPECT_EQ(Snapshot(canvas), after);
}

TEST_F(StrokeTest, AStrokeLeavingTheLayerGrowsItThroughTheWholeLayerPath) {
    LayerManager& lm = Layers();
    LayerPtr small = lm.AppendLayer(10, 8, LayerKind::Pixel);
    ASSERT_TRUE(small);
    small->SetPosition(15, 10);
    ASSERT_TRUE(lm.SelectLayerByIndex(lm.LayerCount()));
    SetPixels(*small, [](int32_t, int32_t) { return Px{0, 255, 0, 100}; });
    ASSERT_EQ(Current(), small);
    const Rect oldBounds = small->Bounds();
    const int states = image->History().StateCount();
    ASSERT_EQ(Stroke(StrokeKind::Brush, BuildTip(3, 100, 100), kRed, {{12, 12}, {20, 12}}), 1);
    EXPECT_EQ(LastState().kind, kStateLayerPixels);
    EXPECT_EQ(LastState().name, "Brush Tool");
    EXPECT_EQ(Current()->Bounds(), (Rect{11, 10, 25, 18}));
    EXPECT_EQ(PixelAt(*Current(), 12, 12), kRedPx);
    EXPECT_EQ(PixelAt(*Current(), 18, 12), kRedPx);
    EXPECT_EQ(PixelAt(*Current(), 24, 17), (Px{0, 255, 0, 100}));
    EXPECT_EQ(PixelAt(*Current(), 11, 16), Px{});
    EXPECT_TRUE(RecordsAllZero());
    image->History().GoToState(states, 0);
    EXPECT_EQ(Current()->Bounds(), oldBounds);
    EXPECT_EQ(PixelAt(*Current(), 16, 12), (Px{0, 255, 0, 100}));
    image->History().GoToState(states + 1, 0);
    EXPECT_EQ(PixelAt(*Current(), 12, 12), kRedPx);
    // The eraser never grows a layer: the part outside is dropped.
    const Rect grown = Current()->Bounds();
    ASSERT_EQ(
        Stroke(StrokeKind::Eraser, BuildTip(3, 100, 100), kRed, {{5, 5}, {13, 12}}, "Eraser Tool"),
        1);
    EXPECT_EQ(Current()->Bounds(), grown);
    EXPECT_EQ(PixelAt(*Current(), 12, 12).a, 0);
    EXPECT_TRUE(RecordsAllZero());
}

TEST_F(StrokeTest, PaintedConcurrentlyPointByPointGivesTheSynchronousPixels) {
    std::mt19937 rng(7);
    std::vector<Point> points{{20, 15}};
    for (int i = 0; i < 2000; ++i) {
        std::uniform_int_distribution<int> step(-3, 3);
        const Point l = points.back();
        points.push_back(
            {std::clamp(l.x + step(rng), -5, 45), std::clamp(l.y + step(rng), -5, 35)});
    }
    const BrushTip tip = BuildTip(7, 20, 35);
    LeaveStartLayer();
    const std::vector<Px> start = Snapshot({0, 0, 40, 30});

    ASSERT_EQ(Stroke(StrokeKind::Brush, tip, kRed, points), 1);
    const std::vector<Px> synchronous = Snapshot({0, 0, 40, 30});
    image->History().GoToState(image->History().StateCount() - 1, 0);
    ASSERT_EQ(Snapshot({0, 0, 40, 30}), start);

    StrokeSession s;
    std::atomic<bool> done{false};
    std::atomic<long> ticks{0};
    s.Start(Target(StrokeKind::Brush, tip, kRed), points.front());
    std::thread painter([&] {
        while (!done.load()) {
            s.PainterTick();
            ticks.fetch_add(1);
        }
    });
    for (size_t i = 1; i < points.size(); ++i) {
        s.Add(points[i]);
        if (i % 50 == 0) std::this_thread::yield();
    }
    // On a loaded machine the painter thread may not have been scheduled yet; the stroke must
    // have been painted concurrently at least once for this test to mean anything.
    while (ticks.load() == 0) std::this_thread::yield();
    s.Stop();
    done.store(true);
    painter.join();
    EXPECT_GT(ticks.load(), 0);
    ASSERT_EQ(CommitStroke(image->History(), s, "Brush Tool"), 1);
    EXPECT_EQ(Snapshot({0, 0, 40, 30}), synchronous);
    EXPECT_TRUE(RecordsAllZero());
}

}  // namespace
}  // namespace zelvo::test
