// The paint bucket and the gradient on small documents: which pixels a fill takes (tolerance
// box, contiguity, a transparent seed reaching past the layer, the selection), with what
// colour; the gradient's easing ramp, each type and colour mode against the formulas, its
// composition over the layer and the selection, and the area it grows the layer to.
#include <random>

#include "paint/Gradient.h"
#include "paint/PaintBucket.h"
#include "paint/tests/PaintTestSupport.h"

namespace zelvo::test {
namespace {

constexpr ColorRef kBlue = Rgb(0, 0, 255);
const Px kBluePx{255, 0, 0, 100};
const Px kWhite{255, 255, 255, 100};

class FillTest : public PaintFixture {
protected:
    void SetUp() override {
        PaintFixture::SetUp();
        Open(20, 10);
    }
    int Bucket(Point seed, int tolerance = 32, bool contiguous = true, int opacity = 100) {
        BucketFill f;
        f.seed = seed;
        f.tolerance = tolerance;
        f.contiguous = contiguous;
        f.opacity = opacity;
        f.foreground = kBlue;
        return PaintBucket(image->History(), *workspace, f);
    }
    // Which canvas pixels of the current layer equal `p`, as rows of '#' and '.'.
    std::vector<std::string> Where(const Px& p) {
        std::vector<std::string> rows;
        for (int32_t y = 0; y < image->Height(); ++y) {
            std::string row;
            for (int32_t x = 0; x < image->Width(); ++x)
                row += PixelAt(*Current(), x, y) == p ? '#' : '.';
            rows.push_back(row);
        }
        return rows;
    }
};

TEST_F(FillTest, BucketTakesTheToleranceBoxJoinedToTheSeedOrEverywhere) {
    // A wall at x = 10 splits the white; some pixels lie just inside or outside the box.
    SetPixels(*Current(), [](int32_t x, int32_t y) -> Px {
        if (x == 10) return {0, 0, 0, 100};
        if (x == 3 && y == 3) return {223, 223, 223, 100};  // 32 below in every channel
        if (x == 4 && y == 3) return {255, 222, 255, 100};  // 33 below in green
        if (x == 5 && y == 3) return {255, 255, 255, 0};    // transparent: never a colour match
        return kWhite;
    });
    struct Row {
        bool contiguous;
        std::vector<std::string> filled;
    };
    const std::string left = "##########..........", both = "##########.#########";
    const std::vector<Row> rows = {
        {true, {left, left, left, "####..####..........", left, left, left, left, left, left}},
        {false, {both, both, both, "####..####.#########", both, both, both, both, both, both}},
    };
    for (const Row& r : rows) {
        ASSERT_EQ(Bucket({1, 1}, 32, r.contiguous), 1);
        EXPECT_EQ(LastState().name, "Paint Bucket Tool");
        const std::vector<std::string> got = Where(kBluePx);
        EXPECT_EQ(got, r.filled) << "contiguous " << r.contiguous;
        image->History().GoToState(image->History().StateCount() - 1, 0);
    }
}

// Walls at every offset within the long runs the fill scans in blocks: the contiguous fill
// against a plain 4-connected flood of the same picture.
TEST_F(FillTest, ContiguousFillMatchesAPlainFloodAcrossLongRuns) {
    constexpr int32_t kW = 83, kH = 9;
    Open(kW, kH);
    std::mt19937 rng(4242);
    std::vector<std::string> wall(kH, std::string(kW, '.'));
    for (int32_t y = 0; y < kH; ++y)
        for (int i = 0; i < 4; ++i) wall[size_t(y)][rng() % kW] = '#';
    wall[4][40] = '.';
    SetPixels(*Current(), [&](int32_t x, int32_t y) -> Px {
        return wall[size_t(y)][size_t(x)] == '#' ? Px{0, 0, 0, 100} : kWhite;
    });
    std::vector<std::string> want(kH, std::string(kW, '.'));
    std::vector<Point> todo{{40, 4}};
    while (!todo.empty()) {
        const Point p = todo.back();
        todo.pop_back();
        if (p.x < 0 || p.y < 0 || p.x >= kW || p.y >= kH) continue;
        char& c = want[size_t(p.y)][size_t(p.x)];
        if (c == '#' || wall[size_t(p.y)][size_t(p.x)] == '#') continue;
        c = '#';
        todo.insert(todo.end(), {{p.x + 1, p.y}, {p.x - 1, p.y}, {p.x, p.y + 1}, {p.x, p.y - 1}});
    }
    ASSERT_EQ(Bucket({40, 4}, 0), 1);
    EXPECT_EQ(Where(kBluePx), want);
    EXPECT_TRUE(RecordsAllZero());
}

TEST_F(FillTest, TheToleranceBoxEndsExactlyAtItsEdgesAndAtZeroAnd255) {
    // Row 0 holds the seed (r 10, g 128, b 250) and then one pixel per probe colour.
    const std::vector<Px> probes = {{230, 108, 0, 100},  {255, 148, 30, 100}, {229, 128, 10, 100},
                                    {250, 107, 10, 100}, {250, 149, 10, 100}, {250, 128, 31, 100},
                                    {250, 128, 10, 0},   {250, 128, 10, 100}};
    SetPixels(*Current(), [&](int32_t x, int32_t y) -> Px {
        if (y > 0 || x > int32_t(probes.size())) return {0, 0, 0, 100};
        return x == 0 ? Px{250, 128, 10, 100} : probes[size_t(x - 1)];
    });
    const struct {
        int tolerance;
        std::string row0;  // of the first nine pixels
    } cases[] = {
        {20, "###.....#"},
        {0, "#.......#"},
        {-1, "........."},
        {255, "#######.#"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Bucket({0, 0}, c.tolerance, false), 1) << c.tolerance;
        EXPECT_EQ(Where(kBluePx)[0].substr(0, 9), c.row0) << c.tolerance;
        image->History().GoToState(image->History().StateCount() - 1, 0);
    }
}

TEST_F(FillTest, ATransparentSeedFillsPastTheLayerAndGrowsIt) {
    LayerPtr small = Layers().AppendLayer(8, 6, LayerKind::Pixel);
    small->SetPosition(4, 2);
    ASSERT_TRUE(Layers().SelectLayerByIndex(Layers().LayerCount()));
    // Opaque except a transparent notch open to the layer's left edge.
    SetPixels(*small, [](int32_t x, int32_t y) -> Px {
        return (y == 4 && x < 8) ? Px{} : Px{0, 200, 0, 100};
    });
    ASSERT_EQ(Bucket({5, 4}), 1);
    EXPECT_EQ(Current()->Bounds(), (Rect{0, 0, 20, 10}));
    const std::string open = "####################";
    const std::vector<std::string> want = {open,
                                           open,
                                           "####........########",
                                           "####........########",
                                           "########....########",
                                           "####........########",
                                           "####........########",
                                           "####........########",
                                           open,
                                           open};
    EXPECT_EQ(Where(kBluePx), want);
}

TEST_F(FillTest, BucketOpacityAndSelectionStrength) {
    Select({2, 2, 12, 8}, [](int32_t x, int32_t) -> uint8_t { return x < 7 ? 100 : 40; });
    ASSERT_EQ(Bucket({0, 0}), 0);  // outside the selection: nothing happens
    EXPECT_EQ(image->History().StateCount(), 1);
    ASSERT_EQ(Bucket({3, 3}, 32, true, 60), 1);
    EXPECT_EQ(PixelAt(*Current(), 3, 3), BrushOver(kWhite, kBluePx, 60));
    EXPECT_EQ(PixelAt(*Current(), 9, 7), BrushOver(kWhite, kBluePx, Pct(60, 40)));
    EXPECT_EQ(PixelAt(*Current(), 12, 7), kWhite);
    EXPECT_EQ(PixelAt(*Current(), 1, 3), kWhite);
    EXPECT_TRUE(RecordsAllZero());
}

TEST(GradientEasing, RisesFromZeroToOneSymmetrically) {
    for (int n : {1, 2, 5, 11, 100, 401}) {
        const std::vector<double> t = GradientEasing(n);
        ASSERT_EQ(int(t.size()), n);
        EXPECT_NEAR(t[0], 0.0, 1e-9);
        for (int i = 1; i < n; ++i) EXPECT_GE(t[size_t(i)] + 1e-12, t[size_t(i - 1)]);
        for (int i = 1; i < n; ++i) EXPECT_NEAR(t[size_t(i)] + t[size_t(n - i)], 1.0, 1e-6);
        EXPECT_LE(t.back(), 1.0);
    }
}

TEST_F(FillTest, GradientTypesAndColourModesFollowTheFormulas) {
    const Point start{4, 5}, end{14, 5};
    const std::vector<double> ramp = GradientEasing(11), half = GradientEasing(6);
    struct Row {
        GradientType type;
        GradientColors colors;
        // t at canvas x on row 5 (0 start colour, 1 end colour).
        double (*t)(int32_t x, const std::vector<double>& ramp, const std::vector<double>& half);
        const char* name;
    };
    const std::vector<Row> rows = {
        {GradientType::Linear, GradientColors::ForeToBack,
         [](int32_t x, const auto& r, const auto&) {
             return x < 4 ? 0.0 : x > 14 ? 1.0 : r[size_t(x - 4)];
         },
         "Linear Gradient"},
        {GradientType::Radial, GradientColors::ForeToTransparent,
         [](int32_t x, const auto& r, const auto&) {
             const int a = std::abs(x - 4);
             return a >= 10 ? 1.0 : r[size_t(a)];
         },
         "Radial Gradient"},
        {GradientType::Reflected, GradientColors::TransparentToFore,
         [](int32_t x, const auto&, const auto& h) {
             if (x < 4 || x > 14) return 0.0;
             return x - 4 < 5 ? h[size_t(x - 4)] : 1 - h[size_t(x - 9)];
         },
         "Reflected Gradient"},
    };
    for (const Row& r : rows) {
        GradientFill g;
        g.start = start;
        g.end = end;
        g.type = r.type;
        g.colors = r.colors;
        g.opacity = 80;
        g.foreground = Rgb(200, 0, 0);
        g.background = Rgb(0, 0, 100);
        ASSERT_EQ(ApplyGradient(image->History(), g), 1);
        EXPECT_EQ(LastState().name, r.name);
        for (int32_t x = 0; x < 20; ++x) {
            const double t = r.t(x, ramp, half);
            Px want;
            if (r.colors == GradientColors::ForeToBack) {
                want = {uint8_t(100 * t), 0, uint8_t(200 * (1 - t)), 80};
            } else {
                const int l = int(80 * (r.colors == GradientColors::ForeToTransparent ? 1 - t : t));
                // Laid over opaque white.
                want = {uint8_t((100 - l) * 255 / 100), uint8_t((100 - l) * 255 / 100),
                        uint8_t((l * 200 + (100 - l) * 255) / 100), uint8_t(l + (100 - l))};
                if (l >= 100) want = {0, 0, 200, uint8_t(l)};
            }
            if (r.colors == GradientColors::ForeToBack) {
                // 80 over opaque white.
                want = {uint8_t((80 * want.b + 20 * 255) / 100),
                        uint8_t((80 * want.g + 20 * 255) / 100),
                        uint8_t((80 * want.r + 20 * 255) / 100), 100};
            }
            EXPECT_EQ(PixelAt(*Current(), x, 5), want) << r.name << " x=" << x;
        }
        image->History().GoToState(image->History().StateCount() - 1, 0);
    }
}

TEST_F(FillTest, GradientSelectionTransparencyAndArea) {
    LayerPtr small = Layers().AppendLayer(4, 4, LayerKind::Pixel);
    small->SetPosition(1, 1);
    ASSERT_TRUE(Layers().SelectLayerByIndex(Layers().LayerCount()));
    SetPixels(*small, [](int32_t x, int32_t) -> Px { return x == 1 ? Px{10, 20, 30, 40} : Px{}; });
    Select({3, 0, 9, 10}, [](int32_t x, int32_t) -> uint8_t {
        return x == 3 ? 0 : x == 4 ? 50 : 100;
    });
    GradientFill g;
    g.start = {0, 0};
    g.end = {0, 1};  // every pixel from row 1 on is past the end: the end colour
    g.foreground = Rgb(0, 0, 0);
    g.background = Rgb(250, 250, 250);
    g.opacity = 60;
    ASSERT_EQ(ApplyGradient(image->History(), g), 1);
    // The layer's bounds joined with the selection's rectangle.
    EXPECT_EQ(Current()->Bounds(), (Rect{1, 0, 9, 10}));
    EXPECT_EQ(PixelAt(*Current(), 1, 2), (Px{10, 20, 30, 40}));     // outside the selection
    EXPECT_EQ(PixelAt(*Current(), 3, 2), Px{});                     // strength 0
    EXPECT_EQ(PixelAt(*Current(), 4, 2), (Px{250, 250, 250, 30}));  // 60 at half strength
    EXPECT_EQ(PixelAt(*Current(), 8, 9), (Px{250, 250, 250, 60}));
    // Over a partly transparent pixel.
    SetPixels(*Current(), [](int32_t, int32_t) -> Px { return {100, 100, 100, 50}; });
    ASSERT_EQ(ApplyGradient(image->History(), g), 1);
    EXPECT_EQ(PixelAt(*Current(), 6, 5),
              (Px{uint8_t((60 * 250 + 40 * 100) / 100), uint8_t((60 * 250 + 40 * 100) / 100),
                  uint8_t((60 * 250 + 40 * 100) / 100), uint8_t(60 + 40 * 50 / 100)}));
}

// Layers of several write windows (4 MiB each) of the new block, filled going up the stored
// rows as the fills go: every row lands in its place.
TEST_F(FillTest, FillsOfLayersLargerThanAWriteWindowPutEveryRowInPlace) {
    Open(1100, 1000);
    const auto pixels = [&] {
        std::vector<uint32_t> all;
        const LayerPtr l = Current();
        const std::unique_ptr<RowCursor> rows = l->OpenRows();
        for (int32_t y = 0; y < l->Height(); ++y) {
            const uint8_t* row = rows->Row(uint32_t(l->StoredRowOf(y)));
            if (!row) return std::vector<uint32_t>{};
            all.resize(all.size() + size_t(l->Width()));
            std::memcpy(&all[all.size() - size_t(l->Width())], row, 4 * size_t(l->Width()));
        }
        return all;
    };
    GradientFill g;
    g.start = {-30, 20};
    g.end = {1000, 940};
    g.foreground = Rgb(250, 3, 128);
    g.background = Rgb(1, 200, 77);
    ASSERT_EQ(ApplyGradient(image->History(), g), 1);
    const GradientShader shader(g);
    std::vector<uint32_t> want(1100 * 1000);
    for (int32_t y = 0; y < 1000; ++y)
        for (int32_t x = 0; x < 1100; ++x) {
            uint8_t p[4];
            shader.Pixel(x, y, p);
            std::memcpy(&want[size_t(y) * 1100 + size_t(x)], p, 4);
        }
    ASSERT_EQ(pixels(), want);
    // Every pixel of the seed's colour, wherever it lies, and no other.
    ASSERT_EQ(Bucket({0, 0}, 0, false), 1);
    const uint32_t seed = want[0];
    uint32_t blue;
    std::memcpy(&blue, &kBluePx, 4);
    int taken = 0;
    for (uint32_t& w : want)
        if (w == seed) w = blue, ++taken;
    EXPECT_GT(taken, 1000);
    EXPECT_LT(taken, 1100 * 1000 / 10);
    EXPECT_EQ(pixels(), want);
}

// The row shader against the per-pixel formulas, on lines where rounding is most likely to
// tell them apart: distances that are whole numbers (3-4-5 lines, axis lines), points exactly
// on the circle of the radial gradient, lines of no length, reversed ones and a line reaching
// far past the pixels (whose easing table is made only as far as they reach).
TEST(GradientShaderRows, EqualThePixelFormulas) {
    struct Line {
        Point start, end;
    };
    const Line lines[] = {{{0, 0}, {30, 40}},   {{25, 25}, {25, 25}},  {{60, 10}, {0, 10}},
                          {{7, 90}, {7, 3}},    {{-40, -9}, {85, 77}}, {{50, 50}, {53, 54}},
                          {{10, 80}, {90, 21}}, {{0, 0}, {1, 0}},      {{30, 30}, {400000, 90000}}};
    constexpr int32_t kWideLeft = -600, kWideRight = 621;
    uint32_t row[kWideRight - kWideLeft];
    for (const Line& line : lines)
        for (GradientType type :
             {GradientType::Linear, GradientType::Radial, GradientType::Reflected})
            for (GradientColors colors :
                 {GradientColors::ForeToBack, GradientColors::ForeToTransparent,
                  GradientColors::TransparentToFore})
                for (int opacity : {100, 37}) {
                    GradientFill g;
                    g.start = line.start;
                    g.end = line.end;
                    g.type = type;
                    g.colors = colors;
                    g.opacity = opacity;
                    g.foreground = Rgb(250, 3, 128);
                    g.background = Rgb(1, 200, 77);
                    const GradientShader shader(g);
                    // Made only as far as the grid's furthest corner, as a fill makes it.
                    double reach = 0;
                    for (int32_t x : {-20, 119, kWideLeft, kWideRight - 1})
                        for (int32_t y : {-20, 109})
                            reach = std::max(reach, std::hypot(x - g.start.x, y - g.start.y));
                    const GradientShader near(g, reach + 1);
                    auto check = [&](int32_t y, int32_t left, int32_t right) {
                        near.Row(y, left, right, row);
                        for (int32_t x = left; x < right; ++x) {
                            uint8_t want[4];
                            shader.Pixel(x, y, want);
                            uint32_t w;
                            std::memcpy(&w, want, 4);
                            ASSERT_EQ(row[x - left], w)
                                << "type " << int(type) << " colours " << int(colors) << " line "
                                << line.start.x << "," << line.start.y << " " << line.end.x << ","
                                << line.end.y << " at " << x << "," << y;
                        }
                    };
                    for (int32_t y = -20; y < 110; ++y) check(y, -20, 120);
                    // Rows longer than the shader's runs, and runs of one pixel.
                    for (int32_t y : {-20, 37, 109}) {
                        check(y, kWideLeft, kWideRight);
                        check(y, 5, 6);
                    }
                }
}

// Rows where a distance rounded once, as a fused multiply-add gives it, lands on the other
// side of a whole number or of the middle than the formulas' product-then-sum: the row shader
// must not be built to fuse them.
TEST(GradientShaderRows, RoundLikeTheFormulasWhereAFusedSumWouldNot) {
    struct Case {
        GradientType type;
        Point start, end;
        int32_t y, x;
    };
    const Case cases[] = {
        {GradientType::Reflected, {213, 722}, {1194, 1034}, 707, 1298},
        {GradientType::Reflected, {728, 1175}, {1120, 881}, 35, 3},
        {GradientType::Linear, {144, 353}, {36, 434}, 457, 187},
        {GradientType::Reflected, {790, 86}, {532, -86}, 147, 563},
        {GradientType::Linear, {-15, 673}, {156, 874}, 19, 1161},
        {GradientType::Reflected, {105, 1311}, {1205, 431}, 631, 1365},
    };
    for (const Case& c : cases) {
        GradientFill g;
        g.type = c.type;
        g.start = c.start;
        g.end = c.end;
        g.foreground = Rgb(255, 0, 0);
        g.background = Rgb(0, 0, 255);
        const GradientShader shader(g);
        uint32_t row[64];
        shader.Row(c.y, c.x - 32, c.x + 32, row);
        for (int32_t x = c.x - 32; x < c.x + 32; ++x) {
            uint8_t want[4];
            shader.Pixel(x, c.y, want);
            uint32_t w;
            std::memcpy(&w, want, 4);
            EXPECT_EQ(row[x - c.x + 32], w) << c.start.x << "," << c.start.y << " at " << x;
        }
    }
}

}  // namespace
}  // namespace zelvo::test
