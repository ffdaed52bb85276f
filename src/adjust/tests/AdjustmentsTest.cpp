// The adjustments on random small layers with random alpha, with and without a random
// feathered selection, against references written straight from each rule; and their edge
// cases, history names and "OK without a change" rules.
#include <cmath>

#include "adjust/Adjustments.h"
#include "adjust/CurvesModel.h"
#include "adjust/tests/AdjustTestSupport.h"

namespace zelvo::test {
namespace {

using AdjustmentsTest = AdjustTest;

// Applies the common strength rule channel by channel; s < 0 is "no selection".
uint32_t Common(uint32_t p, int s, const std::function<int(int)>& rule) {
    if (s == 0) return p;
    const int ss = s < 0 ? 100 : s;
    return W_(Mix(B_(p), rule(B_(p)), ss), Mix(G_(p), rule(G_(p)), ss), Mix(R_(p), rule(R_(p)), ss),
              A_(p));
}

TEST_F(AdjustmentsTest, InvertAndDesaturateMatchTheRuleAndKeepTransparentPixels) {
    Rounds([&](bool) {
        Snapshot s = Take();
        ASSERT_EQ(ApplyInvert(*history), 1);
        EXPECT_EQ(LastStateName(), "Invert Color");
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t p = s.Old(x, y);
                if (A_(p) == 0) return p;
                return Common(p, s.S(x, y), [](int v) { return 255 - v; });
            },
            "invert");
        s = Take();
        ASSERT_EQ(ApplyDesaturate(*history), 1);
        EXPECT_EQ(LastStateName(), "Desaturate");
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t p = s.Old(x, y);
                if (A_(p) == 0) return p;
                const int grey = (B_(p) + G_(p) + R_(p)) / 3;
                return Common(p, s.S(x, y), [grey](int) { return grey; });
            },
            "desaturate");
    });
}

TEST_F(AdjustmentsTest, HalfStrengthInvertOfZeroGives127) {
    AddPixelLayer({0, 0, 4, 4}, [](int, int) { return W_(0, 0, 0, 100); });
    Select({0, 0, kW, kH}, Canvas(50));
    ASSERT_EQ(ApplyInvert(*history), 1);
    EXPECT_EQ(PixelAt(*Current(), 2, 2), W_(127, 127, 127, 100));
}

int BrightnessContrastRef(int v, int b, int k, int i) {
    const int t = std::min(255, std::max(0, v + b));
    int u;
    if (t < k) {
        u = 0;
    } else if (t > 255 - k) {
        u = 255;
    } else {
        u = std::min(255, std::max(0, int(std::floor(double(t - k) * 255 / (255 - 2 * k)))));
    }
    return std::min(255, std::max(0, v + int(std::trunc(double(u - v) * i / 100))));
}

TEST_F(AdjustmentsTest, BrightnessContrastMatchesTheRuleAndTouchesTransparentPixels) {
    Rounds([&](bool) {
        const int b = Rand(-100, 100), k = Rand(-100, 100);
        const Snapshot s = Take();
        ASSERT_EQ(ApplyBrightnessContrast(*history, b, k), 1);
        EXPECT_EQ(LastStateName(), "Brightness/Contrast");
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t p = s.Old(x, y);
                const int st = s.S(x, y) < 0 ? 100 : s.S(x, y);
                if (st == 0) return p;
                return W_(BrightnessContrastRef(B_(p), b, k, st),
                          BrightnessContrastRef(G_(p), b, k, st),
                          BrightnessContrastRef(R_(p), b, k, st), A_(p));
            },
            "brightness/contrast");
    });
}

TEST_F(AdjustmentsTest, BrightnessContrastEdgeCases) {
    const BrightnessContrastTable id = BuildBrightnessContrastTable(0, 0);
    const BrightnessContrastTable c = BuildBrightnessContrastTable(0, 100);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(id[100][size_t(v)], v);
        if (v < 100) {
            EXPECT_EQ(c[100][size_t(v)], 0) << v;
        }
        if (v > 155) {
            EXPECT_EQ(c[100][size_t(v)], 255) << v;
        }
    }
    EXPECT_EQ(c[100][100], 0);
    EXPECT_EQ(c[100][155], 255);
    for (int v = 101; v < 155; ++v) EXPECT_LT(c[100][size_t(v - 1)], c[100][size_t(v)]);
    // A transparent pixel is processed, and "OK without a change" still records a state.
    AddPixelLayer({0, 0, 2, 2}, [](int, int) { return W_(120, 130, 140, 0); });
    const int states = history->StateCount();
    ASSERT_EQ(ApplyBrightnessContrast(*history, 0, 0), 1);
    EXPECT_EQ(history->StateCount(), states + 1);
    ASSERT_EQ(ApplyBrightnessContrast(*history, 0, 100), 1);
    // (t - 100) * 255 / 55 for t = 120, 130, 140.
    EXPECT_EQ(PixelAt(*Current(), 0, 0), W_(20 * 255 / 55, 30 * 255 / 55, 40 * 255 / 55, 0));
}

TEST_F(AdjustmentsTest, SaturationMatchesBothBranches) {
    Rounds([&](bool) {
        const int value = Rand(-100, 100) | 1;
        const int w = value <= 0 ? value : 2 * value;
        const Snapshot s = Take();
        ASSERT_EQ(ApplySaturation(*history, value), 1);
        EXPECT_EQ(LastStateName(), "Saturation");
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t p = s.Old(x, y);
                const int st = s.S(x, y);
                const int v[3] = {B_(p), G_(p), R_(p)};
                int o[3];
                if (st == 0) return p;
                for (int c = 0; c < 3; ++c) {
                    if (st < 0) {
                        const int grey = (v[0] + v[1] + v[2]) / 3;
                        o[c] = Cl(grey + std::trunc((1 + w / 100.0) * (v[c] - grey)));
                    } else {
                        const double grey = (v[0] + v[1] + v[2]) / 3.0;
                        o[c] = Cl(std::trunc(grey + (1 + st * w / 10000.0) * (v[c] - grey)));
                    }
                }
                return W_(o[0], o[1], o[2], A_(p));
            },
            "saturation");
    });
}

TEST_F(AdjustmentsTest, SaturationMinus100GreysAndZeroAppliesNothing) {
    AddPixelLayer({0, 0, 3, 3}, [](int x, int y) { return W_(10 * x, 200 - 9 * y, 77, 100); });
    const int states = history->StateCount();
    EXPECT_EQ(ApplySaturation(*history, 0), 0);
    EXPECT_EQ(history->StateCount(), states);
    ASSERT_EQ(ApplySaturation(*history, -100), 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const uint32_t p = PixelAt(*Current(), x, y);
            EXPECT_EQ(B_(p), G_(p));
            EXPECT_EQ(G_(p), R_(p));
        }
}

// The offset curve by its definition, the parameter taken on the 0.001 grid.
int OffsetRef(int a, int i) {
    if (a <= 0) return 0;
    a = std::min(a, 200);
    double x1, y1;
    if (a <= 100) {
        x1 = 142 - 64 * (a / 100.0), y1 = 77 * (a / 100.0);
    } else {
        x1 = 78 - 25 * ((a - 100) / 100.0), y1 = 77 + 71 * ((a - 100) / 100.0);
    }
    const double xs[4] = {0, x1, 202, 257}, ys[4] = {0, y1, 0, 0};
    return int(std::min(200.0, std::max(0.0, CubicAt(ys, GridParameter(xs, i)))));
}

TEST_F(AdjustmentsTest, OffsetCurveFollowsTheBezier) {
    for (int a : {-5, 0, 1, 37, 100, 150, 200, 260}) {
        const Table256 o = OffsetCurve(a);
        EXPECT_EQ(o[0], 0) << a;
        for (int i = 0; i < 256; ++i)
            EXPECT_NEAR(o[size_t(i)], OffsetRef(a, i), 1) << a << " " << i;
    }
}

TEST_F(AdjustmentsTest, ColorBalanceMatchesTheRule) {
    Rounds([&](bool) {
        const int vr = Rand(-100, 100), vg = Rand(-100, 100), vb = Rand(-100, 100);
        const int m = std::max({vr, vg, vb}) + std::min({vr, vg, vb});
        const Table256 oR = OffsetCurve(std::abs(2 * vr - m)),
                       oG = OffsetCurve(std::abs(2 * vg - m)),
                       oB = OffsetCurve(std::abs(2 * vb - m));
        auto t = [](int a, const Table256& o, int v) {
            return a > 0 ? Cl(v + o[size_t(v)]) : Cl(v - o[size_t(v)]);
        };
        const Snapshot s = Take();
        ASSERT_EQ(ApplyColorBalance(*history, vr, vg, vb), 1);
        EXPECT_EQ(LastStateName(), "Color Balance");
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t p = s.Old(x, y);
                const int st = s.S(x, y) < 0 ? 100 : s.S(x, y);
                if (st == 0) return p;
                return W_(Mix(B_(p), t(2 * vb - m, oB, B_(p)), st),
                          Mix(G_(p), t(2 * vg - m, oG, G_(p)), st),
                          Mix(R_(p), t(2 * vr - m, oR, R_(p)), st), A_(p));
            },
            "color balance");
    });
    const int states = history->StateCount();
    EXPECT_EQ(ApplyColorBalance(*history, 0, 0, 0), 0);
    EXPECT_EQ(history->StateCount(), states);
    // Cyan-Red +100 alone: red up by O(100), green and blue down by it.
    const ChannelTables c = BuildColorBalanceTables(100, 0, 0);
    const Table256 o = OffsetCurve(100);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(c.r[size_t(v)], Cl(v + o[size_t(v)]));
        EXPECT_EQ(c.g[size_t(v)], Cl(v - o[size_t(v)]));
        EXPECT_EQ(c.b[size_t(v)], Cl(v - o[size_t(v)]));
    }
}

int LevelsRef(int v, const LevelsValues& l) {
    if (v < l.inBlack) return l.outBlack;
    if (v > l.inWhite) return l.outWhite;
    const double mid = (l.outBlack + l.outWhite) / 2.0;
    double o;
    if (v <= l.inMiddle)
        o = l.outBlack + (mid - l.outBlack) * (v - l.inBlack) / double(l.inMiddle - l.inBlack);
    else
        o = mid + (l.outWhite - mid) * (v - l.inMiddle) / double(l.inWhite - l.inMiddle);
    return Cl(o);
}

TEST_F(AdjustmentsTest, LevelsMatchesTheRule) {
    Rounds([&](bool) {
        LevelsValues l;
        l.inBlack = Rand(0, 100);
        l.inWhite = Rand(150, 255);
        l.inMiddle = Rand(l.inBlack + 1, l.inWhite - 1);
        l.outBlack = Rand(0, 255);
        l.outWhite = Rand(0, 255);
        const Snapshot s = Take();
        ASSERT_EQ(ApplyLevels(*history, l), 1);
        EXPECT_EQ(LastStateName(), "Levels");
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t p = s.Old(x, y);
                const int st = s.S(x, y);
                if (st == 0) return p;
                auto ch = [&](int v) {
                    return st < 0 ? LevelsRef(v, l)
                                  : Cl(v + std::trunc((LevelsRef(v, l) - v) * st / 100.0));
                };
                return W_(ch(B_(p)), ch(G_(p)), ch(R_(p)), A_(p));
            },
            "levels");
    });
}

TEST_F(AdjustmentsTest, LevelsEdgeCasesAndReading) {
    LevelsValues l;
    l.inBlack = 100;
    const Table256 t = BuildLevelsTable(l);
    for (int v = 0; v <= 100; ++v) EXPECT_EQ(t[size_t(v)], 0);
    EXPECT_EQ(BuildLevelsTable(LevelsValues{})[255], 255);
    const int states = history->StateCount();
    EXPECT_EQ(ApplyLevels(*history, LevelsValues{}), 0);
    EXPECT_EQ(history->StateCount(), states);
    EXPECT_EQ(LevelsMiddleReading(0, 127, 255), "1.00");
    EXPECT_EQ(LevelsMiddleReading(0, 0, 100), "10.00");
    EXPECT_EQ(LevelsMiddleReading(0, 100, 100), "0.00");
    EXPECT_EQ(LevelsMiddleReading(0, 25, 100), "5.50");
    EXPECT_EQ(LevelsMiddleReading(0, 75, 100), "0.50");
}

TEST_F(AdjustmentsTest, HistogramSamplesRowsAndBarsAreCapped) {
    std::vector<uint32_t> px(size_t(600) * 3, W_(1, 2, 3, 100));
    auto c = SampledHistogram(px, 600, 3);  // every (600 / 512) = 1st row
    EXPECT_EQ(c[1], 1800);
    px.assign(size_t(4) * 1200, W_(7, 7, 7, 0));
    c = SampledHistogram(px, 4, 1200);  // every 2nd row: 600 rows of 4 pixels, 3 channels
    EXPECT_EQ(c[7], 600 * 4 * 3);
    const auto bars = HistogramBars(c);
    EXPECT_EQ(bars[7], 80);
    EXPECT_EQ(bars[8], 0);
    // A layer's histogram reads only the sampled rows: 1100 columns sample every 2nd stored
    // row, from the bottom one; each stored row holds its own number in every channel.
    LayerPtr l =
        AddPixelLayer({0, 0, 1100, 7}, [](int, int y) { return W_(6 - y, 6 - y, 6 - y, 100); });
    c = LayerHistogram(*l);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(c[size_t(v)], v <= 6 && v % 2 == 0 ? 1100 * 3 : 0) << v;
}

TEST_F(AdjustmentsTest, CurvesEditorRules) {
    CurvesModel m;
    EXPECT_FALSE(m.Changed());
    // The straight default is close to the identity.
    const Table256 id = m.TransferTable();
    for (int v = 0; v < 256; ++v) EXPECT_NEAR(id[size_t(v)], v, 2) << v;
    EXPECT_EQ(id[0], 0);
    EXPECT_EQ(id[255], 255);
    // A press near an anchor picks it; far from everything, nothing.
    EXPECT_EQ(m.Press(10, 170), 0);
    EXPECT_EQ(m.Press(100, 20), -1);
    EXPECT_FALSE(m.Changed());
    // A press near the segment inserts an anchor there.
    EXPECT_EQ(m.Press(90, 95), 1);
    ASSERT_EQ(m.Anchors().size(), 3u);
    EXPECT_EQ(m.Anchors()[1], (Point{90, 95}));
    EXPECT_TRUE(m.Changed());
    // x kept one pixel inside the neighbours.
    m.Drag(1, 500, 60);
    EXPECT_EQ(m.Anchors()[1], (Point{179, 60}));
    m.Drag(1, -4, 60);
    EXPECT_EQ(m.Anchors()[1], (Point{2, 60}));
    m.Drag(1, 60, 60);
    // Inner controls: x-midpoints of the segments, on the chord's slope through the anchor.
    const Bezier& left = m.Segments()[0];
    const Bezier& right = m.Segments()[1];
    const double slope = (1.0 - 180) / (180 - 1);
    EXPECT_EQ(left.x[1], 1);
    EXPECT_EQ(left.y[1], 180);
    EXPECT_EQ(left.x[2], 1 + (60 - 1) / 2);
    EXPECT_DOUBLE_EQ(left.y[2], 60 + slope * (30 - 60));
    EXPECT_EQ(right.x[1], 60 + (180 - 60) / 2);
    EXPECT_DOUBLE_EQ(right.y[1], 60 + slope * (120 - 60));
    EXPECT_EQ(right.x[2], 180);
    // The samples pass through the anchor and the table follows the samples.
    EXPECT_EQ(m.Samples()[59], 60);
    const Table256 t = m.TransferTable();
    EXPECT_EQ(t, CurvesTableFromSamples(m.Samples()));
    // An end anchor moved inwards clips beyond it, whatever way it went there.
    for (const std::vector<int32_t>& path : {std::vector<int32_t>{90}, {37, 90}, {150, 90}}) {
        CurvesModel ends;
        for (int32_t x : path) ends.Drag(0, x, 180);
        for (int32_t x : path) ends.Drag(1, 180 - x / 2, 1);
        const auto& p = ends.Samples();
        for (int32_t x = 1; x < 90; ++x) EXPECT_EQ(p[size_t(x - 1)], 180) << x;
        for (int32_t x = 180 - 90 / 2 + 1; x <= 180; ++x) EXPECT_EQ(p[size_t(x - 1)], 1) << x;
        const Table256 clipped = ends.TransferTable();
        EXPECT_EQ(clipped[0], 0);
        EXPECT_EQ(clipped[100], 0);
        EXPECT_EQ(clipped[255], 255);
        EXPECT_EQ(clipped[200], 255);
    }
    // FreeLine samples drawn by hand.
    m.SetFreeLine(true);
    m.DrawFree(1, 1, 180, 1);
    for (int v : m.Samples()) EXPECT_EQ(v, 1);
    for (int v : m.TransferTable()) EXPECT_EQ(v, 255);
}

TEST_F(AdjustmentsTest, CurvesTableFromSamplesFollowsTheInterpolation) {
    std::array<int32_t, 180> p{};
    for (int i = 0; i < 180; ++i) p[size_t(i)] = 1 + (i * 37) % 180;
    const Table256 t = CurvesTableFromSamples(p);
    const double k = 255.0 / 179;
    EXPECT_EQ(t[0], 255 - int((p[0] - 1) * k));
    EXPECT_EQ(t[255], 255 - int((p[179] - 1) * k));
    for (int v = 1; v < 255; ++v) {
        const double x = v * 179.0 / 255;
        const int j = int(x);
        const double y = p[size_t(j)] + (x - j) * (p[size_t(j + 1)] - p[size_t(j)]);
        EXPECT_EQ(t[size_t(v)], std::min(255, std::max(0, 255 - int(std::trunc((y - 1) * k)))))
            << v;
    }
    // Applying goes through the table as Levels does.
    Rounds([&](bool) {
        const Snapshot s = Take();
        ASSERT_EQ(ApplyTransfer(*history, t, "Curves"), 1);
        EXPECT_EQ(LastStateName(), "Curves");
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t q = s.Old(x, y);
                const int st = s.S(x, y);
                if (st == 0) return q;
                auto ch = [&](int v) {
                    return st < 0 ? t[size_t(v)]
                                  : Cl(v + std::trunc((t[size_t(v)] - v) * st / 100.0));
                };
                return W_(ch(B_(q)), ch(G_(q)), ch(R_(q)), A_(q));
            },
            "curves");
    });
}

int ToneRef(int a, int i) {
    if (a < 1) return 0;
    a = std::min(a, 100);
    int x1, y1;
    if (a <= 10)
        x1 = 168 - int(30 * a * 0.1), y1 = 19 + int(30 * a * 0.1);
    else if (a <= 50)
        x1 = 138 - int(30 * (a - 10) * 0.025), y1 = 49 + int(88 * (a - 10) * 0.025);
    else
        x1 = 108 - int(27 * (a - 50) * 0.02), y1 = 137 + int(84 * (a - 50) * 0.02);
    const double xs[4] = {0, double(x1), 90, 269}, ys[4] = {0, double(y1), -10, 4};
    return int(std::min(200.0, std::max(0.0, CubicAt(ys, GridParameter(xs, i)))));
}

TEST_F(AdjustmentsTest, ToneCurvesFollowTheBezier) {
    for (int a : {0, 1, 10, 11, 30, 50, 51, 100, 120}) {
        const Table256 t = ToneCurve(a);
        for (int i = 0; i < 256; ++i) EXPECT_NEAR(t[size_t(i)], ToneRef(a, i), 1) << a << " " << i;
    }
}

// Shadow/Highlight by its rule over a snapshot: the histogram of every row (small layers),
// bounds at a thousandth of the total, the stretched channels tent-blurred by the definition;
// gives the expected pixel at canvas (x, y).
std::function<uint32_t(int, int)> ShadowHighlightRef(const AdjustTest::Snapshot& s, int sh, int hi,
                                                     int radius) {
    const int w = s.px.width, h = s.px.height;
    int64_t counts[256] = {};
    for (uint32_t p : s.px.px) ++counts[R_(p)], ++counts[G_(p)], ++counts[B_(p)];
    const int64_t limit = int64_t(3) * w * h / 1000;
    int low = 0, high = 255;
    for (int64_t run = 0; low < 256 && (run += counts[low]) < limit;) ++low;
    for (int64_t run = 0; high >= 0 && (run += counts[high]) < limit;) --high;
    auto S = [low, high](int v) {
        if (v < low) return 0;
        if (v > high) return 255;
        return int(double(v - low) / (high - low) * 255 + 0.5);
    };
    const Table256 cs = ToneCurve(sh), ch = ToneCurve(hi);
    const int L = std::min({radius, w, h});
    std::vector<std::vector<int>> blur(3, std::vector<int>(size_t(w * h)));
    for (int c = 0; c < 3; ++c) {
        std::vector<int> col(static_cast<size_t>(h)), row(static_cast<size_t>(w));
        for (int i = 0; i < w * h; ++i)
            blur[size_t(c)][size_t(i)] = S(int((s.px.px[size_t(i)] >> (8 * c)) & 0xff));
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y) col[size_t(y)] = blur[size_t(c)][size_t(y * w + x)];
            col = DirectTent(col, L);
            for (int y = 0; y < h; ++y) blur[size_t(c)][size_t(y * w + x)] = col[size_t(y)];
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) row[size_t(x)] = blur[size_t(c)][size_t(y * w + x)];
            row = DirectTent(row, L);
            for (int x = 0; x < w; ++x) blur[size_t(c)][size_t(y * w + x)] = row[size_t(x)];
        }
    }
    return [=](int x, int y) {
        const uint32_t p = s.Old(x, y);
        const int st = s.S(x, y) < 0 ? 100 : s.S(x, y);
        if (st == 0 || (st < 100 && A_(p) == 0)) return p;
        const int i = (y - s.bounds.top) * w + (x - s.bounds.left);
        const int v[3] = {B_(p), G_(p), R_(p)}, sv[3] = {S(v[0]), S(v[1]), S(v[2])};
        const int c = (sv[2] >= sv[1] && sv[2] >= sv[0]) ? 2 : (sv[1] >= sv[0] ? 1 : 0);
        const int m = sv[c], T = cs[size_t(m)] - ch[size_t(255 - m)];
        const int bl = blur[size_t(c)][size_t(i)];
        double g = m == 0 ? 0 : (bl != 0 ? double(T) / bl : (T > 0 ? 1 : 0));
        g = std::min(g, 1.0);
        int o[3];
        for (int k = 0; k < 3; ++k)
            o[k] = st == 100 ? Cl(sv[k] + std::trunc(g * sv[k]))
                             : Cl(v[k] + std::trunc(((1 + g) * sv[k] - v[k]) * st * 0.01));
        return W_(o[0], o[1], o[2], A_(p));
    };
}

TEST_F(AdjustmentsTest, ShadowHighlightMatchesTheRule) {
    Rounds([&](bool) {
        const int sh = Rand(0, 100), hi = Rand(0, 100), radius = Rand(1, 12);
        const Snapshot s = Take();
        const auto want = ShadowHighlightRef(s, sh, hi, radius);
        ASSERT_EQ(ApplyShadowHighlight(*history, sh, hi, radius), 1);
        EXPECT_EQ(LastStateName(), "Shadow/Highlight");
        ExpectLayer(s.bounds, want, "shadow/highlight");
    });
}

// The adjustments go row by row, Shadow/Highlight over a ring of 2L + 1 rows: layers far
// taller than the ring, one row, one column, a radius beyond the layer, and selections cut by
// the layer's and the canvas's edges.
class AdjustRowsTest : public AdjustmentsTest {
protected:
    static constexpr int32_t kTallW = 29;
    static constexpr int32_t kTallH = 300;
    void SetUp() override { MakeDocument(kTallW, kTallH); }

    void EveryShapeMatches(const std::function<void(const std::string&)>& check) {
        const Rect shapes[] = {
            {1, 0, 27, 296}, {0, 120, 29, 121}, {13, 2, 14, 300}, {3, 200, 26, 206}};
        for (const Rect& r : shapes)
            for (bool sel : {false, true}) {
                if (layers->Selection()) SetSelection(*history, nullptr, kSelectionRemove);
                RandomLayer(r);
                if (sel) RandomSelection({0, 5, 18, kTallH});
                check("layer " + std::to_string(r.left) + "," + std::to_string(r.top) + " " +
                      std::to_string(r.Width()) + "x" + std::to_string(r.Height()) +
                      (sel ? " selection" : ""));
            }
    }
};

TEST_F(AdjustRowsTest, ShadowHighlightOnEveryShapeMatchesTheRule) {
    EveryShapeMatches([&](const std::string& what) {
        for (int radius : {1, 9, 256}) {
            const Snapshot s = Take();
            const auto want = ShadowHighlightRef(s, 70, 30, radius);
            ASSERT_EQ(ApplyShadowHighlight(*history, 70, 30, radius), 1) << what;
            ExpectLayer(s.bounds, want, what + " radius " + std::to_string(radius));
        }
    });
}

TEST_F(AdjustRowsTest, RowAdjustmentsOnEveryShapeMatchTheRule) {
    EveryShapeMatches([&](const std::string& what) {
        const Snapshot s = Take();
        ASSERT_EQ(ApplyInvert(*history), 1) << what;
        ExpectLayer(
            s.bounds,
            [&](int x, int y) {
                const uint32_t p = s.Old(x, y);
                if (A_(p) == 0) return p;
                return Common(p, s.S(x, y), [](int v) { return 255 - v; });
            },
            what + " invert");
    });
}

}  // namespace
}  // namespace zelvo::test

namespace zelvo::test {
namespace {

// The passes without a selection skip the strength mix: the same words as the mix at 100, over
// every B, G, R triple on a grid through both ends and every kind of alpha.
TEST(FullStrength, InvertAndDesaturateGiveTheMixAt100) {
    for (int a : {0, 1, 57, 100})
        for (int b = 0; b < 256; b += 3)
            for (int g = 0; g < 256; g += 5)
                for (int r : {0, 1, 2, 127, 128, 253, 254, 255}) {
                    const uint32_t p = MakePixel(b, g, r, a);
                    ASSERT_EQ(InvertFull(p), InvertPixel(p, 100)) << std::hex << p;
                    ASSERT_EQ(DesaturateFull(p), DesaturatePixel(p, 100)) << std::hex << p;
                }
}

}  // namespace
}  // namespace zelvo::test
