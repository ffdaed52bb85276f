// The measure tool's read-outs and line gestures, and the eyedropper's samples of the picture
// as the view shows it.
#include "tools/EyedropperTool.h"
#include "tools/MeasureTool.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

TEST(MeasureReadouts, TheBarTexts) {
    struct Row {
        Point a, b;
        const char* unit;
        int32_t resolution;
        std::array<std::string, 6> expected;
    };
    const std::vector<Row> rows = {
        {{10, 10}, {10, 0}, "px", 2834, {"X:10", "Y:10", "W:0", "H:-10", "A:90.00", "D:10"}},
        {{0, 0}, {-10, 0}, "px", 2834, {"X:0", "Y:0", "W:-10", "H:0", "A:180.00", "D:10"}},
        {{0, 0}, {30, 40}, "px", 2834, {"X:0", "Y:0", "W:30", "H:40", "A:-53.13", "D:50"}},
        {{3, 4}, {-27, -36}, "px", 2834, {"X:3", "Y:4", "W:-30", "H:-40", "A:126.87", "D:50"}},
        {{-5, 3}, {10, 3}, "px", 2834, {"X:", "Y:", "W:15", "H:0", "A:0.00", "D:15"}},
        {{20, 99}, {20, 120}, "px", 2834, {"X:20", "Y:99", "W:0", "H:21", "A:-90.00", "D:21"}},
        {{0, 100}, {5, 5}, "px", 2834, {"X:", "Y:", "W:5", "H:-95", "A:86.99", "D:95"}},
        {{0, 0},
         {2834, 0},
         "cm",
         2834,
         {"X:0.00", "Y:0.00", "W:100.00", "H:0.00", "A:0.00", "D:100.00"}},
        {{50, 0},
         {50, 3937},
         "in",
         3937,
         {"X:0.50", "Y:0.00", "W:0.00", "H:39.37", "A:-90.00", "D:39.37"}},
        {{0, 0}, {1, 0}, "cm", 0, {"X:0.00", "Y:0.00", "W:100.00", "H:0.00", "A:0.00", "D:100.00"}},
        {{7, 7}, {7, 7}, "px", 2834, {"X:7", "Y:7", "W:0", "H:0", "A:0.00", "D:0"}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(MeasureReadouts(r.a, r.b, r.unit, 100, 100, r.resolution), r.expected)
            << r.a.x << "," << r.a.y << " -> " << r.b.x << "," << r.b.y << " " << r.unit;
}

class MeasureTool : public ToolsFixture, public ::testing::WithParamInterface<float> {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        zoom = GetParam();
        Open(200, 160, zoom);
        ASSERT_TRUE(tools.SelectTool(kToolMeasure));
    }
    Point V(int32_t x, int32_t y) const { return {int32_t(x * zoom), int32_t(y * zoom)}; }
    std::optional<std::pair<Point, Point>> Line() { return tools.Measure()->Line(*image); }
    float zoom = 1;
};

TEST_P(MeasureTool, EndsAndTheLineAreDraggedWithinSixScreenPixels) {
    Drag({V(40, 40), V(60, 50), V(120, 40)});
    EXPECT_FALSE(tools.IsBusy());
    ASSERT_EQ(Line(), std::make_pair(Point{40, 40}, Point{120, 40}));
    struct Row {
        Point press;  // screen offset from the canvas point `from`
        Point from, to;
        Point a, b;  // the line afterwards
    };
    const std::vector<Row> rows = {
        {{4, 4}, {40, 40}, {40, 80}, {40, 80}, {120, 40}},       // near the start
        {{-4, 4}, {120, 40}, {120, 80}, {40, 80}, {120, 80}},    // near the end
        {{0, 5}, {80, 80}, {80, 100}, {40, 100}, {120, 100}},    // on the line: moves it
        {{0, 0}, {80, 140}, {100, 150}, {80, 140}, {100, 150}},  // elsewhere: a new line
    };
    for (const Row& r : rows) {
        const Point p = V(r.from.x, r.from.y), to = V(r.to.x, r.to.y);
        // A whole line moves by the pointer's movement, so the drag keeps the press's offset.
        const bool whole = r.from == Point{80, 80};
        Drag({{p.x + r.press.x, p.y + r.press.y},
              {to.x + (whole ? r.press.x : 0), to.y + (whole ? r.press.y : 0)}});
        EXPECT_EQ(Line(), std::make_pair(r.a, r.b)) << r.from.x << "," << r.from.y;
    }
    EXPECT_EQ((*tools.Measure()->Readouts(*image))[0], "X:80");
    // Another document has no line; Clear removes this one.
    auto other = NewImage(50, 50);
    EXPECT_FALSE(tools.Measure()->Line(*other));
    tools.Measure()->Clear(*image);
    EXPECT_FALSE(Line());
}

INSTANTIATE_TEST_SUITE_P(Zooms, MeasureTool, ::testing::Values(1.0f, 2.0f));

class Eyedropper : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        Open(40, 30);
        // Red 10 x column, green 10 x row, blue 7; the right half 50 % transparent.
        Paint(*image->Layers().LayerAt(0), [](int32_t x, int32_t y) -> uint32_t {
            const uint32_t alpha = x < 20 ? 100 : 50;
            return alpha << 24 | uint32_t(x * 6) << 16 | uint32_t(y * 8) << 8 | 7;
        });
        ASSERT_TRUE(tools.SelectTool(kToolEyedropper));
    }
    // The colour the picture shows at a canvas pixel: over white where not opaque.
    static ColorRef Shown(int32_t x, int32_t y) {
        const int a = x < 20 ? 100 : 50;
        auto channel = [a](int v) { return v * a / 100 + 255 * (100 - a) / 100; };
        return Rgb(uint8_t(channel(x * 6)), uint8_t(channel(y * 8)), uint8_t(channel(7)));
    }
    static ColorRef Mean(int32_t cx, int32_t cy, int half, int32_t w, int32_t h) {
        int sum[3] = {0, 0, 0}, n = 0;
        for (int32_t y = cy - half; y <= cy + half; ++y)
            for (int32_t x = cx - half; x <= cx + half; ++x) {
                if (x < 0 || y < 0 || x >= w || y >= h) continue;
                const ColorRef c = Shown(x, y);
                sum[0] += RedOf(c);
                sum[1] += GreenOf(c);
                sum[2] += BlueOf(c);
                ++n;
            }
        return Rgb(uint8_t(sum[0] / n), uint8_t(sum[1] / n), uint8_t(sum[2] / n));
    }
};

TEST_F(Eyedropper, PointAndMeansOfTheShownPicture) {
    struct Row {
        const char* sample;
        Point at;
    };
    for (const Row& r : std::vector<Row>{{"point", {5, 5}},
                                         {"point", {30, 12}},
                                         {"3x3", {5, 5}},
                                         {"3x3", {20, 10}},  // across the transparent edge
                                         {"5x5", {19, 29}},
                                         {"5x5", {0, 0}},  // only the part on the canvas
                                         {"3x3", {39, 15}}}) {
        ASSERT_EQ(tools.Options().Set(kToolEyedropper, "sample", r.sample),
                  ToolOptions::SetResult::Ok);
        tools.Colors().Reset();
        Click(r.at);
        const int half = std::string(r.sample) == "5x5" ? 2 : std::string(r.sample) == "3x3";
        EXPECT_EQ(tools.Colors().Foreground(), Mean(r.at.x, r.at.y, half, 40, 30))
            << r.sample << " at " << r.at.x << "," << r.at.y;
    }
}

TEST_F(Eyedropper, DraggingFollowsThePointerAndOffThePictureKeepsTheColour) {
    tools.Colors().Reset();
    Press({2, 2});
    EXPECT_EQ(tools.Colors().Foreground(), Shown(2, 2));
    MoveTo({12, 25});
    EXPECT_EQ(tools.Colors().Foreground(), Shown(12, 25));
    MoveTo({300, 300});
    EXPECT_EQ(tools.Colors().Foreground(), Shown(12, 25));
    Release({300, 300});
    EXPECT_FALSE(tools.IsBusy());
    // Zoomed in, the screen pixels around a point show the same canvas pixel.
    LayOutVirtualView(*view, 4.0f, 0, 0);
    tools.Options().Set(kToolEyedropper, "sample", "3x3");
    Click({4 * 7 + 2, 4 * 9 + 2});
    EXPECT_EQ(tools.Colors().Foreground(), Shown(7, 9));
}

}  // namespace
}  // namespace zelvo::test
