// The tone and detail dabs against references written from their rules: the lighten/darken
// strength tables (Bezier solved by bisection), the dark and light extremes, the sponge, and
// blur and sharpen dabs on a small layer with transparent neighbours, including a second blur
// dab that reads what the first one painted.
#include <cmath>
#include <numbers>

#include "paint/StrokeGeometry.h"
#include "paint/tests/PaintTestSupport.h"

namespace zelvo::test {
namespace {

// y of the cubic Bezier at the x given, t found by bisection (x grows with t on every curve).
double CurveY(const double (&xs)[4], const double (&ys)[4], double x) {
    auto b = [](const double(&c)[4], double t) {
        const double u = 1 - t;
        return u * u * u * c[0] + 3 * u * u * t * c[1] + 3 * u * t * t * c[2] + t * t * t * c[3];
    };
    double lo = 0, hi = 1;
    for (int i = 0; i < 60; ++i) (b(xs, (lo + hi) / 2) < x ? lo : hi) = (lo + hi) / 2;
    return b(ys, hi);
}

TEST(ToneTable, FollowsItsCurveRoundedFromThreeTenthsAndCapped) {
    struct Row {
        ToneRange range;
        bool dark;
        double xs[4], ys[4];
        int cap;
    };
    const Row rows[] = {
        {ToneRange::Highlights, false, {0, 0, 256, 256}, {0, 0, 85, 85}, 85},
        {ToneRange::Shadows, true, {0, 0, 256, 256}, {0, 0, 85, 85}, 85},
        {ToneRange::Shadows, false, {0, 0, 256, 256}, {85, 85, 0, 0}, 85},
        {ToneRange::Highlights, true, {0, 0, 256, 256}, {85, 85, 0, 0}, 85},
        {ToneRange::Midtones, false, {0, 50, 225, 256}, {0, 100, 0, 0}, 70},
        {ToneRange::Midtones, true, {0, 50, 225, 256}, {0, 100, 0, 0}, 70},
    };
    for (const Row& r : rows) {
        const std::array<int, 256> table = ToneTable(r.range, r.dark);
        for (int x = 1; x <= 256; ++x) {
            const double y = CurveY(r.xs, r.ys, x);
            const int want = std::min(r.cap, int(std::floor(y)) + (y - std::floor(y) >= 0.3));
            // The walk's 0.001 steps may land a hair past x.
            EXPECT_NEAR(table[size_t(x - 1)], want, 1) << int(r.range) << r.dark << " x=" << x;
            EXPECT_LE(table[size_t(x - 1)], r.cap);
        }
    }
    EXPECT_EQ(ToneTable(ToneRange::Highlights, false)[255], 85);
    EXPECT_EQ(ToneTable(ToneRange::Shadows, false)[0], 85);
}

class RetouchTest : public PaintFixture {
protected:
    void SetUp() override {
        PaintFixture::SetUp();
        Open(8, 6);
    }
    int Retouch(StrokeKind kind, const BrushTip& tip, const RetouchParams& params,
                const std::vector<Point>& points) {
        StrokeSession s;
        StrokeTarget t = Target(kind, tip, 0);
        t.retouch = params;
        s.Start(t, points.front());
        for (size_t i = 1; i < points.size(); ++i) s.Add(points[i]);
        s.Stop();
        return CommitStroke(image->History(), s, "Retouch");
    }
};

TEST_F(RetouchTest, ToneAndSpongePixelsFollowTheRules) {
    const Px white{255, 255, 255, 100}, black{0, 0, 0, 100}, colour{10, 30, 201, 100};
    auto tone = [](ToneRange r, bool dark) {
        RetouchParams p;
        p.table = ToneTable(r, dark);
        return p;
    };
    auto sponge = [](Px p, int e, bool de) {
        const double g = (p.r + p.g + p.b) / 3.0, u = 1 + (de ? -e : e) / 100.0;
        auto ch = [&](int v) { return uint8_t(std::clamp(int(g + u * (v - g)), 0, 255)); };
        return Px{ch(p.b), ch(p.g), ch(p.r), p.a};
    };
    struct Row {
        StrokeKind kind;
        RetouchParams params;
        Px before;
        int opacity, selection;  // selection 0: none
        Px after;
    };
    const RetouchParams none;
    const Row rows[] = {
        // Dark on white in the highlights and light on black in the shadows move by 85 at most.
        {StrokeKind::Darken,
         tone(ToneRange::Highlights, true),
         white,
         100,
         0,
         {170, 170, 170, 100}},
        {StrokeKind::Lighten, tone(ToneRange::Shadows, false), black, 100, 0, {85, 85, 85, 100}},
        {StrokeKind::Lighten, tone(ToneRange::Highlights, false), white, 100, 0, white},
        {StrokeKind::Darken, tone(ToneRange::Shadows, true), black, 100, 0, black},
        // 30% of 85 is 25; a half selection halves the coverage: 50% of 85 is 42.
        {StrokeKind::Darken, tone(ToneRange::Highlights, true), white, 30, 0, {230, 230, 230, 100}},
        {StrokeKind::Lighten, tone(ToneRange::Shadows, false), black, 100, 50, {42, 42, 42, 100}},
        // Desaturate at full coverage: the truncated mean (241 / 3).
        {StrokeKind::SpongeDesaturate, none, colour, 100, 0, {80, 80, 80, 100}},
        {StrokeKind::SpongeDesaturate, none, colour, 40, 0, sponge(colour, 40, true)},
        {StrokeKind::SpongeSaturate, none, colour, 50, 0, sponge(colour, 50, false)},
        {StrokeKind::SpongeSaturate,
         none,
         {40, 90, 120, 70},
         100,
         0,
         sponge({40, 90, 120, 70}, 100, false)},
        // A transparent pixel stays as it was.
        {StrokeKind::SpongeSaturate, none, {40, 90, 120, 0}, 100, 0, {40, 90, 120, 0}},
        {StrokeKind::Lighten,
         tone(ToneRange::Midtones, false),
         {40, 90, 120, 0},
         100,
         0,
         {40, 90, 120, 0}},
    };
    for (const Row& r : rows) {
        Open(8, 6);
        SetPixels(*Current(), [&](int32_t, int32_t) { return r.before; });
        if (r.selection) Select({0, 0, 8, 6}, [&](int32_t, int32_t) { return r.selection; });
        ASSERT_EQ(Retouch(r.kind, BuildTip(1, 100, r.opacity), r.params, {{3, 2}}), 1);
        EXPECT_EQ(PixelAt(*Current(), 3, 2), r.after) << int(r.kind) << " " << r.before;
        EXPECT_EQ(PixelAt(*Current(), 4, 2), r.before);
        EXPECT_TRUE(RecordsAllZero());
    }
}

// A reference image of the canvas: colour and alpha per pixel, and which pixels this stroke
// has painted so far.
struct Grid {
    int w, h;
    std::vector<Px> px;
    std::vector<bool> painted;
    Px& At(int x, int y) { return px[size_t(y * w + x)]; }
    bool In(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
};

// One 3 x 3 hard dab at full coverage by the rules: blur reads the grid as painted so far,
// sharpen the pre-stroke layer `before`.
void ReferenceDab(Grid& g, const Grid& before, int cx, int cy, bool blur) {
    const double w0 = 1 / (2 * std::numbers::pi), w1 = w0 * std::exp(-0.5),
                 w2 = w0 * std::exp(-1.0);
    Grid next = g;
    for (int y = cy - 1; y <= cy + 1; ++y)
        for (int x = cx - 1; x <= cx + 1; ++x) {
            if (!g.In(x, y) || before.px[size_t(y * g.w + x)].a == 0) continue;
            const Grid& src = blur ? g : before;
            const Px v = src.px[size_t(y * g.w + x)];
            double acc[3] = {w0 * v.b, w0 * v.g, w0 * v.r}, wsum = w0;
            int n = 0, sum[3] = {0, 0, 0};
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if ((dx == 0 && dy == 0) || !g.In(x + dx, y + dy)) continue;
                    const Px q = src.px[size_t((y + dy) * g.w + x + dx)];
                    if (q.a == 0) continue;
                    const double w = dx && dy ? w2 : w1;
                    wsum += w;
                    acc[0] += w * q.b, acc[1] += w * q.g, acc[2] += w * q.r;
                    ++n, sum[0] += q.b, sum[1] += q.g, sum[2] += q.r;
                }
            const int vc[3] = {v.b, v.g, v.r};
            uint8_t out[3];
            for (int k = 0; k < 3; ++k)
                out[k] = blur ? uint8_t(int(acc[k] / wsum + 1e-9))
                              : uint8_t(std::clamp(vc[k] + (n * vc[k] - sum[k]) / 4, 0, 255));
            next.At(x, y) = {out[0], out[1], out[2], v.a};
        }
    g.px = next.px;
}

TEST_F(RetouchTest, BlurAndSharpenDabsOnASmallLayerWithTransparentNeighbours) {
    // An 8 x 6 layer: a pattern with a transparent column and pixels on the layer's edge, so
    // dabs meet both transparent neighbours and the outside of the layer.
    auto pattern = [](int32_t x, int32_t y) {
        if (x == 2) return Px{};
        return Px{uint8_t(37 * x + 11 * y), uint8_t(200 - 23 * y), uint8_t((x * y * 29) % 256),
                  uint8_t(x == 5 ? 60 : 100)};
    };
    struct Row {
        StrokeKind kind;
        std::vector<Point> points;  // a hard 3 x 3 tip: every line pixel is a dab
    };
    const Row rows[] = {
        {StrokeKind::Sharpen, {{1, 1}}},
        {StrokeKind::Sharpen, {{0, 0}, {3, 0}}},
        {StrokeKind::Blur, {{1, 1}}},
        {StrokeKind::Blur, {{0, 5}}},
        {StrokeKind::Blur, {{3, 2}, {4, 2}, {4, 3}}},
    };
    for (const Row& r : rows) {
        Open(8, 6);
        SetPixels(*Current(), pattern);
        Grid before{8, 6, {}, {}};
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) before.px.push_back(pattern(x, y));
        Grid want = before;
        Point last = r.points.front();
        ReferenceDab(want, before, last.x, last.y, r.kind == StrokeKind::Blur);
        // Spacing 1: a dab on every walked pixel that differs from the one before; the line
        // walk leaves out each segment's end.
        for (size_t i = 1; i < r.points.size(); ++i)
            WalkLine(r.points[i - 1], r.points[i], [&](Point q) {
                if (q.x == last.x && q.y == last.y) return;
                ReferenceDab(want, before, q.x, q.y, r.kind == StrokeKind::Blur);
                last = q;
            });
        RetouchParams params;
        BlurKernel(100, params);
        ASSERT_EQ(Retouch(r.kind, BuildTip(3, 100, 100), params, r.points), 1);
        int changed = 0;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                EXPECT_EQ(PixelAt(*Current(), x, y), want.At(x, y))
                    << int(r.kind) << " dab from " << r.points.front().x << "," << x << "," << y;
                changed += !(want.At(x, y) == before.At(x, y));
            }
        EXPECT_GT(changed, 0);
        EXPECT_TRUE(RecordsAllZero());
    }
}

TEST_F(RetouchTest, BlurKernelAtZeroStrengthLeavesThePixels) {
    RetouchParams p;
    BlurKernel(0, p);
    EXPECT_EQ(p.w1, 0);
    EXPECT_EQ(p.w2, 0);
    BlurKernel(50, p);
    EXPECT_NEAR(p.w0, 1 / (2 * std::numbers::pi * 0.25), 1e-12);
    EXPECT_NEAR(p.w1 / p.w0, std::exp(-2.0), 1e-12);
    EXPECT_NEAR(p.w2 / p.w0, std::exp(-4.0), 1e-12);
}

}  // namespace
}  // namespace zelvo::test
