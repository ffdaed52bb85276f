// The filters on random small layers with random alpha, with and without a random feathered
// selection, against references written straight from each rule; and their edge cases.
#include <climits>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "adjust/ColourTent.h"
#include "adjust/Filters.h"
#include "adjust/tests/AdjustTestSupport.h"

namespace zelvo::test {
namespace {

// The selection rule of the box filters.
uint32_t BoxMixRef(uint32_t old, uint32_t res, int s) {
    if (s < 0 || s >= 100) return res;
    if (s == 0) return old;
    if (A_(res) == 0) return old;
    if (A_(old) == 0) return res;
    return W_(Mix(B_(old), B_(res), s), Mix(G_(old), G_(res), s), Mix(R_(old), R_(res), s),
              Mix(A_(old), A_(res), s));
}

// Colour tent blur by the definition, over a snapshot buffer.
std::vector<uint32_t> TentRef(const PixelBuffer& b, int L) {
    const int w = b.width, h = b.height;
    L = std::max(1, std::min({L, w, h, 256}));
    std::vector<uint32_t> out(b.px.size(), 100u << 24);
    for (int c = 0; c < 3; ++c) {
        std::vector<int> plane(b.px.size());
        for (size_t i = 0; i < plane.size(); ++i) plane[i] = int((b.px[i] >> (8 * c)) & 0xff);
        for (int x = 0; x < w; ++x) {
            std::vector<int> col;
            for (int y = 0; y < h; ++y) col.push_back(plane[size_t(y * w + x)]);
            col = DirectTent(col, L);
            for (int y = 0; y < h; ++y) plane[size_t(y * w + x)] = col[size_t(y)];
        }
        for (int y = 0; y < h; ++y) {
            std::vector<int> row(plane.begin() + y * w, plane.begin() + (y + 1) * w);
            row = DirectTent(row, L);
            for (int x = 0; x < w; ++x) plane[size_t(y * w + x)] = row[size_t(x)];
        }
        for (size_t i = 0; i < plane.size(); ++i) out[i] |= uint32_t(plane[i]) << (8 * c);
    }
    return out;
}

// The references of every filter, each giving the expected pixel at canvas (x, y) from a
// snapshot taken before the command.
class FiltersTest : public AdjustTest {
protected:
    static uint32_t GaussianRef(const Snapshot& s, int b, int x, int y) {
        const double sg = b * 0.1, w0 = 1 / (2 * M_PI * sg * sg),
                     w1 = w0 * std::exp(-1 / (2 * sg * sg));
        const uint32_t p = s.Old(x, y);
        double sum[4] = {w0 * B_(p), w0 * G_(p), w0 * R_(p), w0 * A_(p)}, wt = w0;
        const int nb[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
        for (auto& n : nb) {
            if (!s.bounds.Contains({n[0], n[1]})) continue;
            const uint32_t q = s.Old(n[0], n[1]);
            if (A_(q) == 0) continue;
            sum[0] += w1 * B_(q), sum[1] += w1 * G_(q), sum[2] += w1 * R_(q), sum[3] += w1 * A_(q);
            wt += w1;
        }
        const uint32_t r = W_(int(sum[0] / wt), int(sum[1] / wt), int(sum[2] / wt),
                              std::min(100, int(sum[3] / wt + 0.5)));
        const int st = s.S(x, y);
        if (st < 0 || st == 100) return r;
        return W_(Mix(B_(p), B_(r), st), Mix(G_(p), G_(r), st), Mix(R_(p), R_(r), st),
                  Mix(A_(p), A_(r), st));
    }

    // The box blur of radius r over the grown rectangle g.
    static uint32_t BoxBlurRef(const Snapshot& s, const Rect& g, int r, int x, int y) {
        int n = 0, sb = 0, sgn = 0, sr = 0, sa = 0, area = 0;
        for (int yy = y - r; yy <= y + r; ++yy)
            for (int xx = x - r; xx <= x + r; ++xx) {
                if (!g.Contains({xx, yy})) continue;
                ++area;
                const uint32_t q = s.Old(xx, yy);
                sa += A_(q);
                if (A_(q) == 0) continue;
                ++n, sb += B_(q), sgn += G_(q), sr += R_(q);
            }
        const int a = sa / area;
        const uint32_t res = (a == 0 || n == 0) ? W_(0, 0, 0, a) : W_(sb / n, sgn / n, sr / n, a);
        return BoxMixRef(s.Old(x, y), res, s.S(x, y));
    }

    // Opaque count, channel sums and alpha sum over the window of radius r cut at the layer.
    struct Window {
        int g = 0, S[3] = {0, 0, 0}, sa = 0, area = 0;
    };
    static Window WindowOf(const Snapshot& s, int r, int x, int y) {
        Window w;
        for (int yy = y - r; yy <= y + r; ++yy)
            for (int xx = x - r; xx <= x + r; ++xx) {
                if (!s.bounds.Contains({xx, yy})) continue;
                ++w.area;
                const uint32_t q = s.Old(xx, yy);
                w.sa += A_(q);
                if (A_(q) == 0) continue;
                ++w.g, w.S[0] += B_(q), w.S[1] += G_(q), w.S[2] += R_(q);
            }
        return w;
    }
    static int SmallRadiusOf(const Snapshot& s) {
        return std::max(0, std::min(1, std::min(s.bounds.Width(), s.bounds.Height()) - 1));
    }

    static uint32_t SharpenRef(const Snapshot& s, int x, int y) {
        const Window win = WindowOf(s, SmallRadiusOf(s), x, y);
        const uint32_t p = s.Old(x, y);
        uint32_t res = 0;
        if (win.sa / win.area != 0) {
            const int v[3] = {B_(p), G_(p), R_(p)};
            int o[3];
            for (int c = 0; c < 3; ++c)
                o[c] = Cl(v[c] + std::trunc((v[c] * win.g - win.S[c]) * 10 / 100.0));
            res = W_(o[0], o[1], o[2], A_(p));
        }
        return BoxMixRef(p, res, s.S(x, y));
    }

    // `bl` is the tent blur of radius R + 1 of the snapshot.
    static uint32_t SharpenMoreRef(const Snapshot& s, const std::vector<uint32_t>& bl, int a, int x,
                                   int y) {
        const uint32_t p = s.Old(x, y),
                       q = bl[size_t((y - s.bounds.top) * s.px.width + x - s.bounds.left)];
        const int st = s.S(x, y);
        if (st == 0) return p;
        auto ch = [&](int v, int b) {
            return st < 0 || st == 100 ? Cl(v + std::trunc(a * (v - b) / 100.0))
                                       : Cl(v + std::trunc(double(a) * st * (v - b) / 10000));
        };
        return W_(ch(B_(p), B_(q)), ch(G_(p), G_(q)), ch(R_(p), R_(q)), A_(p));
    }

    static uint32_t MosaicRef(const Snapshot& s, int n, int x, int y) {
        const int lx = x - s.bounds.left, row = s.bounds.bottom - 1 - y;  // stored row
        const int cx = lx / n * n, cr = row / n * n;
        int cnt = 0, sb = 0, sgn = 0, sr = 0, sa = 0, area = 0;
        for (int rr = cr; rr < std::min(cr + n, s.px.height); ++rr)
            for (int xx = cx; xx < std::min(cx + n, s.px.width); ++xx) {
                const uint32_t q = s.Old(s.bounds.left + xx, s.bounds.bottom - 1 - rr);
                ++area, sa += A_(q);
                if (A_(q) == 0) continue;
                ++cnt, sb += B_(q), sgn += G_(q), sr += R_(q);
            }
        const uint32_t cell =
            cnt == 0 ? W_(0, 0, 0, sa / area) : W_(sb / cnt, sgn / cnt, sr / cnt, sa / area);
        const uint32_t p = s.Old(x, y);
        const int st = s.S(x, y);
        if (st < 0 || st == 100) return cell;
        if (st == 0) return p;
        if (A_(p) == 0) return cell;
        const int D = A_(cell) * st / 100;
        return W_(Mix(B_(p), B_(cell), st), Mix(G_(p), G_(cell), st), Mix(R_(p), R_(cell), st),
                  D + (100 - D) * A_(p) / 100);
    }

    static uint32_t ReduceSmallRef(const Snapshot& s, int x, int y) {
        const Window win = WindowOf(s, SmallRadiusOf(s), x, y);
        const int g = win.g;
        const int* S = win.S;
        const uint32_t p = s.Old(x, y);
        uint32_t res = 0;
        if (win.sa / win.area != 0) {
            const int v[3] = {B_(p), G_(p), R_(p)};
            int o[3] = {v[0], v[1], v[2]};
            bool outlier = false;
            for (int c = 0; c < 3; ++c)
                outlier = outlier || std::abs(v[c] * g - S[c]) > 5 * (g - 1);
            if (outlier) {
                const int order[8][2] = {{-1, 0}, {1, 0},   {0, -1}, {0, 1},
                                         {-1, 1}, {-1, -1}, {1, -1}, {1, 1}};
                int cnt[3] = {0, 0, 0};
                bool two = false;
                for (auto& d : order) {
                    if (two) break;
                    if (!s.bounds.Contains({x + d[0], y + d[1]})) continue;
                    const uint32_t q = s.Old(x + d[0], y + d[1]);
                    if (A_(q) == 0) continue;
                    const int qv[3] = {B_(q), G_(q), R_(q)};
                    for (int c = 0; c < 3; ++c)
                        if (std::abs(qv[c] - v[c]) <= 4 && ++cnt[c] >= 2) two = true;
                }
                if (!two && g > 1)
                    for (int c = 0; c < 3; ++c) o[c] = (S[c] - v[c]) / (g - 1);
            }
            res = W_(o[0], o[1], o[2], win.sa / win.area);
        }
        return BoxMixRef(p, res, s.S(x, y));
    }

    struct Reducer {
        int small, large, limit;
        const char* name;
    };
    static Reducer ReducerOf(NoiseReducer kind) {
        return {kind == NoiseReducer::Big ? 5 : 3, kind == NoiseReducer::Big ? 11 : 7,
                kind == NoiseReducer::Gray ? 4 : 3,
                kind == NoiseReducer::Medium ? "Reduce Medium Noise"
                : kind == NoiseReducer::Big  ? "Reduce Big Noise"
                                             : "Reduce Gray Noise"};
    }
    // `a` and `b` are the tent blurs of the small and the large radius of the snapshot.
    static uint32_t ReduceRef(const Snapshot& s, const std::vector<uint32_t>& a,
                              const std::vector<uint32_t>& b, int limit, int x, int y) {
        const size_t i = size_t((y - s.bounds.top) * s.px.width + x - s.bounds.left);
        const uint32_t p = s.Old(x, y);
        int v[3] = {B_(p), G_(p), R_(p)};
        const int va[3] = {B_(a[i]), G_(a[i]), R_(a[i])}, vb[3] = {B_(b[i]), G_(b[i]), R_(b[i])};
        int k = 0;
        for (int c = 0; c < 3; ++c) k += std::abs(va[c] - vb[c]) > 10;
        if (k == 0 || k >= limit) return p;
        int r[3];
        for (int c = 0; c < 3; ++c) r[c] = std::abs(va[c] - vb[c]) > 10 ? vb[c] : v[c];
        const int st = s.S(x, y);
        if (st == 0) return p;
        if (st > 0 && st < 100)
            for (int c = 0; c < 3; ++c) r[c] = Mix(v[c], r[c], st);
        return W_(r[0], r[1], r[2], A_(p));
    }

    // Add Noise with the draws of `seed`, one per pixel in stored order.
    static std::vector<int> NoiseDraws(const Snapshot& s, unsigned seed) {
        const int w = s.px.width, h = s.px.height;
        std::srand(seed);
        std::vector<int> draw(size_t(w * h));
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x) draw[size_t((h - 1 - row) * w + x)] = std::rand();
        return draw;
    }
    static uint32_t AddNoiseRef(const Snapshot& s, const std::vector<int>& draw, int amount,
                                bool mono, int x, int y) {
        const uint32_t p = s.Old(x, y);
        const int d = draw[size_t((y - s.bounds.top) * s.px.width + x - s.bounds.left)];
        int nb, ng, nr;
        if (mono) {
            if (d % 11 == 10) return p;
            nb = ng = nr = 26 * (d % 11);
        } else {
            const int n = d % 150;
            if (n >= 125) return p;
            const int steps[5] = {0, 64, 128, 192, 255};
            nr = steps[n / 25], ng = steps[n / 5 % 5], nb = steps[n % 5];
        }
        const int st = s.S(x, y);
        const int G = st < 0 || st == 100 ? amount : amount * st / 100;
        if (G <= 0) return p;
        return W_((nb * G + B_(p) * (100 - G)) / 100, (ng * G + G_(p) * (100 - G)) / 100,
                  (nr * G + R_(p) * (100 - G)) / 100, A_(p));
    }

    // Every filter on the current layer against its reference, each undone afterwards so the
    // next starts from the same pixels. `bigRadius` is the large box and Sharpen... radius tried.
    void EveryFilterMatches(const std::string& where, int bigRadius) {
        const Snapshot s = Take();
        const int states = history->StateCount();
        auto undo = [&]() { history->GoToState(states, 0); };
        const Rect canvas{0, 0, image.width, image.height};
        for (int b : {1, 7, 10}) {
            ASSERT_EQ(ApplyBlur(*history, b), 1) << where;
            ExpectLayer(
                s.bounds, [&](int x, int y) { return GaussianRef(s, b, x, y); },
                where + " gaussian");
            undo();
        }
        for (int slider : {11, 13, 10 + bigRadius}) {
            const int r = std::max(0, std::min(slider - 10, std::min(s.px.width, s.px.height) - 1));
            const Rect g =
                Rect{s.bounds.left - r, s.bounds.top - r, s.bounds.right + r, s.bounds.bottom + r}
                    .Intersect(canvas);
            ASSERT_EQ(ApplyBlur(*history, slider), 1) << where;
            ExpectLayer(
                g, [&](int x, int y) { return BoxBlurRef(s, g, r, x, y); },
                where + " box blur " + std::to_string(slider));
            undo();
        }
        ASSERT_EQ(ApplySharpen(*history), 1) << where;
        ExpectLayer(
            s.bounds, [&](int x, int y) { return SharpenRef(s, x, y); }, where + " sharpen");
        undo();
        for (int R : {1, bigRadius}) {
            const std::vector<uint32_t> bl = TentRef(s.px, R + 1);
            ASSERT_EQ(ApplySharpenMore(*history, 60, R), 1) << where;
            ExpectLayer(
                s.bounds, [&](int x, int y) { return SharpenMoreRef(s, bl, 60, x, y); },
                where + " sharpen... " + std::to_string(R));
            undo();
        }
        for (int n : {2, 7, 200}) {
            ASSERT_EQ(ApplyMosaic(*history, n), 1) << where;
            ExpectLayer(
                s.bounds, [&](int x, int y) { return MosaicRef(s, n, x, y); },
                where + " mosaic " + std::to_string(n));
            undo();
        }
        const std::vector<int> draw = NoiseDraws(s, 99);
        std::srand(99);
        ASSERT_EQ(ApplyAddNoise(*history, 70, false), 1) << where;
        ExpectLayer(
            s.bounds, [&](int x, int y) { return AddNoiseRef(s, draw, 70, false, x, y); },
            where + " add noise");
        undo();
        ASSERT_EQ(ApplyReduceNoise(*history, NoiseReducer::Small), 1) << where;
        ExpectLayer(
            s.bounds, [&](int x, int y) { return ReduceSmallRef(s, x, y); },
            where + " reduce small");
        undo();
        for (NoiseReducer kind : {NoiseReducer::Medium, NoiseReducer::Big, NoiseReducer::Gray}) {
            const Reducer r = ReducerOf(kind);
            const std::vector<uint32_t> a = TentRef(s.px, r.small), b = TentRef(s.px, r.large);
            ASSERT_EQ(ApplyReduceNoise(*history, kind), 1) << where;
            ExpectLayer(
                s.bounds, [&](int x, int y) { return ReduceRef(s, a, b, r.limit, x, y); },
                where + " " + r.name);
            undo();
        }
    }
};

TEST_F(FiltersTest, GaussianBlurMatchesTheFivePointRule) {
    Rounds([&](bool) {
        const int b = Rand(1, 10);
        const Snapshot s = Take();
        ASSERT_EQ(ApplyBlur(*history, b), 1);
        EXPECT_EQ(LastStateName(), "Blur");
        ExpectLayer(
            s.bounds, [&](int x, int y) { return GaussianRef(s, b, x, y); }, "gaussian");
    });
}

// The Gaussian's row kernel takes eight pixels at a time in double precision: at every level the
// processor has, on every slider,
// on flat areas (where a sum can land a hair under the value itself), on transparent holes and
// on every width past the vector's, it gives the scalar rule's words (GaussianRef's sums).
TEST_F(FiltersTest, GaussianRowsMatchTheScalarSumsOnEveryShape) {
    struct Case {
        int32_t w, h;
        int flat;  // 0: random colours; 1: one colour everywhere; 2: few colours, many holes
    };
    const Case cases[] = {{1, 1, 0},  {2, 3, 0},  {5, 2, 1},  {6, 4, 0}, {9, 5, 2},
                          {13, 3, 1}, {37, 6, 0}, {64, 4, 2}, {71, 3, 1}};
    for (const Case& c : cases)
        for (int value = 0; value < (c.flat == 1 ? 256 : 1); value += 3) {
            PixelBuffer in{c.w, c.h, std::vector<uint32_t>(size_t(c.w) * size_t(c.h))};
            for (uint32_t& p : in.px) {
                if (c.flat == 1) {
                    p = W_(value, 255 - value, value / 2, 1 + value % 100);
                } else if (c.flat == 2) {
                    const int k = Rand(0, 2);
                    p = k == 0 ? 0u : W_(k * 100, 255, 17, k == 1 ? 100 : Rand(1, 100));
                } else {
                    p = W_(Rand(0, 255), Rand(0, 255), Rand(0, 255), Rand(0, 3) ? Rand(0, 100) : 0);
                }
            }
            Snapshot s;
            s.bounds = {0, 0, c.w, c.h};
            s.px = in;
            for (int slider = 1; slider <= 10; ++slider)
                for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
                    if (!CpuRuns(level)) continue;
                    const PixelBuffer out = GaussianBlurResult(in, slider, level);
                    for (int32_t y = 0; y < c.h; ++y)
                        for (int32_t x = 0; x < c.w; ++x)
                            ASSERT_EQ(out.At(x, y), GaussianRef(s, slider, x, y))
                                << c.w << "x" << c.h << " value " << value << " slider " << slider
                                << " level " << int(level) << " at " << x << "," << y;
                }
        }
}

TEST_F(FiltersTest, BoxBlurGrowsTheLayerWithinTheCanvas) {
    Rounds([&](bool) {
        const int b = Rand(11, 14), r = b - 10;
        const Snapshot s = Take();
        ASSERT_EQ(ApplyBlur(*history, b), 1);
        EXPECT_EQ(LastStateName(), "Blur");
        const Rect g =
            Rect{s.bounds.left - r, s.bounds.top - r, s.bounds.right + r, s.bounds.bottom + r}
                .Intersect({0, 0, kW, kH});
        ExpectLayer(
            g, [&](int x, int y) { return BoxBlurRef(s, g, r, x, y); }, "box blur");
    });
}

TEST_F(FiltersTest, BlurTenKeepsTheRectangleAndElevenGrowsIt) {
    AddPixelLayer({5, 5, 10, 10}, [](int x, int y) { return W_(x * 20, y * 20, 90, 100); });
    ASSERT_EQ(ApplyBlur(*history, 10), 1);
    EXPECT_EQ(Current()->Bounds(), (Rect{5, 5, 10, 10}));
    ASSERT_EQ(ApplyBlur(*history, 11), 1);
    EXPECT_EQ(Current()->Bounds(), (Rect{4, 4, 11, 11}));
    EXPECT_EQ(history->States().back().kind, kStateLayerPixels);
}

TEST_F(FiltersTest, SharpenMatchesTheBoxRule) {
    Rounds([&](bool) {
        const Snapshot s = Take();
        ASSERT_EQ(ApplySharpen(*history), 1);
        EXPECT_EQ(LastStateName(), "Sharpen");
        ExpectLayer(
            s.bounds, [&](int x, int y) { return SharpenRef(s, x, y); }, "sharpen");
    });
}

// The colour tent blur row by row against its definition, from a single pixel to radii as wide
// as the picture, where the sums and weights are largest, with each level's kernels.
TEST_F(FiltersTest, ColourTentBlurMatchesTheDefinition) {
    const struct {
        int32_t w, h, radius;
    } cases[] = {{1, 1, 1}, {5, 3, 2}, {64, 40, 17}, {70, 300, 256}, {301, 9, 300}};
    for (const auto& c : cases) {
        PixelBuffer b{c.w, c.h, std::vector<uint32_t>(size_t(c.w) * size_t(c.h))};
        // Random colours and every fourth pixel white, around which quotients come out whole.
        for (uint32_t& p : b.px)
            p = Rand(0, 3) == 0 ? W_(255, 255, 255, 100)
                                : W_(Rand(0, 255), Rand(0, 255), Rand(0, 255), Rand(0, 100));
        const std::vector<uint32_t> want = TentRef(b, c.radius);
        for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
            if (!CpuRuns(level)) continue;
            EXPECT_TRUE(ColourTentBlur(b, c.radius, level).px == want)
                << c.w << " x " << c.h << " radius " << c.radius << " level " << int(level);
        }
    }
}

// The tent's quotients by a reciprocal against integer division where they are hardest: whole
// quotients (49 x 1 / 49 falls short of 1), one below and one past them, and the largest sums,
// on every level this processor runs and the plain one, over lengths off the vector width.
TEST(FloorQuotientsTest, EveryLevelGivesTheIntegerQuotient) {
    for (int32_t w : {1, 3, 7, 49, 100, 961, 65536, 2048 * 2048}) {
        std::vector<int32_t> sums;
        const int32_t top = (INT32_MAX - w) / w;
        for (int32_t k : {0, 1, 2, 255, top / 2, top - 1, top})
            for (int32_t d : {-1, 0, 1}) {
                const int64_t v = int64_t(k) * w + d;
                if (v >= 0 && v + w < INT32_MAX) sums.push_back(int32_t(v));
            }
        sums.push_back(INT32_MAX - w - 1);
        for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
            if (!CpuRuns(level)) continue;
            std::vector<int32_t> q(sums.size(), -1);
            FloorQuotients(level, sums.data(), w, q.data(), sums.size());
            for (size_t i = 0; i < sums.size(); ++i)
                ASSERT_EQ(q[i], sums[i] / w)
                    << "weight " << w << " sum " << sums[i] << " level " << int(level);
        }
    }
}

TEST_F(FiltersTest, SharpenMoreMatchesTheTentRule) {
    Rounds([&](bool) {
        const int a = Rand(1, 100), R = Rand(1, 15);
        const Snapshot s = Take();
        const std::vector<uint32_t> bl = TentRef(s.px, R + 1);
        ASSERT_EQ(ApplySharpenMore(*history, a, R), 1);
        EXPECT_EQ(LastStateName(), "Sharpen");
        ExpectLayer(
            s.bounds, [&](int x, int y) { return SharpenMoreRef(s, bl, a, x, y); }, "sharpen...");
    });
}

TEST_F(FiltersTest, AddNoiseDrawsOncePerPixelInStoredOrder) {
    Rounds([&](bool) {
        const int amount = Rand(0, 100);
        const bool mono = Rand(0, 1) == 1;
        const unsigned seed = unsigned(Rand(1, 100000));
        const Snapshot s = Take();
        const std::vector<int> draw = NoiseDraws(s, seed);
        std::srand(seed);
        ASSERT_EQ(ApplyAddNoise(*history, amount, mono), 1);
        EXPECT_EQ(LastStateName(), "Add Noise");
        ExpectLayer(
            s.bounds, [&](int x, int y) { return AddNoiseRef(s, draw, amount, mono, x, y); },
            "add noise");
    });
}

// The draws are rand()'s own sequence and use it up: after the command (and after a preview
// field) rand() goes on with the number that follows the last draw, for either kind of noise
// and with a generator reseeded in between.
TEST_F(FiltersTest, AddNoiseLeavesRandWhereItsDrawsStopped) {
    AddPixelLayer({0, 0, 23, 9}, [](int x, int y) { return W_(x, y, 7, 100); });
    const auto after = [](unsigned seed, size_t draws) {
        std::srand(seed);
        for (size_t i = 0; i < draws; ++i) std::rand();
        return std::rand();
    };
    for (const bool mono : {false, true})
        for (const unsigned seed : {1u, 12345u}) {
            std::srand(seed);
            ASSERT_EQ(ApplyAddNoise(*history, 40, mono), 1);
            const int next = std::rand();
            EXPECT_EQ(next, after(seed, 23 * 9)) << mono << " " << seed;
            std::srand(seed + 1);
            const std::vector<uint32_t> field = DrawNoiseField(17, 5, mono);
            const int nextAfterField = std::rand();
            EXPECT_EQ(nextAfterField, after(seed + 1, 17 * 5)) << mono << " " << seed;
            ASSERT_EQ(field.size(), size_t(17 * 5));
        }
}

// Fields drawn on two threads at once take their numbers from the one sequence, each draw once:
// afterwards rand() stands exactly as far on as all the fields' pixels together.
TEST_F(FiltersTest, AddNoiseFieldsOnTwoThreadsShareTheOneSequence) {
    constexpr int kFields = 40, kW = 301, kH = 67;
    std::srand(99);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < kFields; ++i) DrawNoiseField(kW, kH, i % 2 != 0);
        });
    for (std::thread& t : threads) t.join();
    const int next = std::rand();
    std::srand(99);
    for (int i = 0; i < 2 * kFields * kW * kH; ++i) std::rand();
    EXPECT_EQ(next, std::rand());
}

TEST_F(FiltersTest, AddNoiseAmountZeroChangesNothingAndHundredGivesPaletteColours) {
    LayerPtr l = AddPixelLayer({0, 0, 20, 15}, [](int x, int y) { return W_(x, y, 33, 100); });
    std::srand(7);
    ASSERT_EQ(ApplyAddNoise(*history, 0, false), 1);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) EXPECT_EQ(PixelAt(*Current(), x, y), W_(x, y, 33, 100));
    ASSERT_EQ(ApplyAddNoise(*history, 100, false), 1);
    int noisy = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint32_t p = PixelAt(*Current(), x, y);
            if (p == W_(x, y, 33, 100)) continue;
            ++noisy;
            for (int c : {B_(p), G_(p), R_(p)})
                EXPECT_TRUE(c == 0 || c == 64 || c == 128 || c == 192 || c == 255) << c;
        }
    EXPECT_GT(noisy, 200);
}

TEST_F(FiltersTest, MosaicMatchesCellsFromTheBottomLeft) {
    Rounds([&](bool) {
        const int n = Rand(2, 6);
        const Snapshot s = Take();
        ASSERT_EQ(ApplyMosaic(*history, n), 1);
        EXPECT_EQ(LastStateName(), "Mosaic");
        ExpectLayer(
            s.bounds, [&](int x, int y) { return MosaicRef(s, n, x, y); }, "mosaic");
    });
}

TEST_F(FiltersTest, MosaicTwoOnFiveByFiveLeavesOnePixelCellsAtTheTopAndRight) {
    AddPixelLayer({0, 0, 5, 5}, [](int x, int y) { return W_(x * 10 + y, 0, 0, 100); });
    ASSERT_EQ(ApplyMosaic(*history, 2), 1);
    // Canvas row 0 is the top: the last stored row, a cell one pixel high.
    EXPECT_EQ(B_(PixelAt(*Current(), 0, 0)), (0 + 10) / 2);
    EXPECT_EQ(B_(PixelAt(*Current(), 4, 0)), 40);
    EXPECT_EQ(B_(PixelAt(*Current(), 4, 4)), (44 + 43) / 2);
    EXPECT_EQ(B_(PixelAt(*Current(), 0, 4)), (4 + 14 + 3 + 13) / 4);
}

TEST_F(FiltersTest, ReduceSmallNoiseMatchesTheOutlierRule) {
    Rounds([&](bool) {
        const Snapshot s = Take();
        ASSERT_EQ(ApplyReduceNoise(*history, NoiseReducer::Small), 1);
        EXPECT_EQ(LastStateName(), "Reduce Small Noise");
        ExpectLayer(
            s.bounds, [&](int x, int y) { return ReduceSmallRef(s, x, y); }, "reduce small noise");
    });
}

TEST_F(FiltersTest, RadiusReducersMatchTheTwoBlurRule) {
    for (NoiseReducer kind : {NoiseReducer::Medium, NoiseReducer::Big, NoiseReducer::Gray}) {
        const Reducer r = ReducerOf(kind);
        Rounds([&](bool) {
            const Snapshot s = Take();
            const std::vector<uint32_t> a = TentRef(s.px, r.small), b = TentRef(s.px, r.large);
            ASSERT_EQ(ApplyReduceNoise(*history, kind), 1);
            EXPECT_EQ(LastStateName(), r.name);
            ExpectLayer(
                s.bounds, [&](int x, int y) { return ReduceRef(s, a, b, r.limit, x, y); }, r.name);
        });
    }
}

TEST_F(FiltersTest, GrayMayChangeAllThreeChannelsMediumNeverDoes) {
    // Sharp colour edges in every channel at once.
    const auto word = [](int x, int y) {
        const int v = ((x / 3 + y / 3) % 2) ? 255 : 0;
        return W_(v, v, v, 100);
    };
    AddPixelLayer({0, 0, kW, kH}, word);
    const Snapshot s = Take();
    ASSERT_EQ(ApplyReduceNoise(*history, NoiseReducer::Medium), 1);
    auto changedAll = [&]() {
        int all = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint32_t p = PixelAt(*Current(), x, y), o = s.Old(x, y);
                all += B_(p) != B_(o) && G_(p) != G_(o) && R_(p) != R_(o);
            }
        return all;
    };
    EXPECT_EQ(changedAll(), 0);
    history->GoToState(history->StateCount() - 2, 0);
    ASSERT_EQ(ApplyReduceNoise(*history, NoiseReducer::Gray), 1);
    EXPECT_GT(changedAll(), 0);
}

TEST_F(FiltersTest, LargeLayerQuestionAboveFiveMillionPixels) {
    // 5 000 001 pixels: asked, and No records nothing.
    AddPixelLayer({0, 0, 1, 5000001}, [](int, int) { return W_(1, 2, 3, 100); });
    const int states = history->StateCount();
    messages.QueueAnswer(Answer::No);
    EXPECT_EQ(ApplyReduceNoise(*history, NoiseReducer::Big), 0);
    EXPECT_EQ(messages.Last(), kLargeLayerQuestion);
    EXPECT_EQ(history->StateCount(), states);
    // 5 000 000 pixels: no question.
    messages.Clear();
    AddPixelLayer({0, 0, 2500, 2000}, [](int, int) { return W_(1, 2, 3, 100); });
    ASSERT_EQ(ApplyReduceNoise(*history, NoiseReducer::Medium), 1);
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(FiltersTest, CommandsRefuseANonPixelLayer) {
    history->RecordState(nullptr, {}, kStateLayerPixels, 0, "x");  // any state; layer list kept
    auto nullLayer = std::make_shared<Layer>(*store);
    ASSERT_TRUE(nullLayer->Create(0, 0, LayerKind::Null, layers->NextId()));
    layers->InsertAt(layers->CurrentIndex() + 1, nullLayer);
    layers->SelectLayerById(nullLayer->Id(), 0, 0);
    EXPECT_EQ(ApplyBlur(*history, 5), 0);
    EXPECT_EQ(ApplyMosaic(*history, 5), 0);
    EXPECT_EQ(ApplyReduceNoise(*history, NoiseReducer::Gray), 0);
}

// The filters work through a ring of a few rows: on a tall canvas the layers are far taller
// than any ring, and the odd shapes (one row, one column, radius beyond the layer, selections
// cut by the layer's and the canvas's edges) meet every edge of the row-wise form.
class FilterRowsTest : public FiltersTest {
protected:
    static constexpr int32_t kTallW = 37;
    static constexpr int32_t kTallH = 330;
    void SetUp() override { MakeDocument(kTallW, kTallH); }
};

TEST_F(FilterRowsTest, LayersTallerThanTheRingMatchTheReferences) {
    // On the canvas's top edge, so the box blur's grown rectangle is cut there.
    RandomLayer({2, 0, 31, 318});
    EveryFilterMatches("tall", 20);
    // A selection touching the canvas's top, bottom and left edges, cut by the layer's edges.
    RandomSelection({0, 0, 20, kTallH});
    EveryFilterMatches("tall, selection at the edges", 20);
}

TEST_F(FilterRowsTest, RadiusBeyondTheLayerMatchesTheReferences) {
    // Nine rows: the radius 100 of Sharpen... and the box blur's 110 reach past every edge.
    RandomLayer({1, 150, 36, 159});
    EveryFilterMatches("short", 100);
    RandomSelection({10, 140, 30, 155});
    EveryFilterMatches("short, selection", 100);
}

TEST_F(FilterRowsTest, OneRowAndOneColumnLayersMatchTheReferences) {
    RandomLayer({3, 100, 34, 101});
    EveryFilterMatches("one row", 100);
    RandomLayer({17, 4, 18, 326});
    EveryFilterMatches("one column", 100);
    RandomSelection({0, 60, 25, 300});
    EveryFilterMatches("one column, selection", 100);
}

// 1100 x 1000 pixels are more than one 4 MB window of the store's row readers and writers.
class WideFilterRowsTest : public FiltersTest {
protected:
    void SetUp() override { MakeDocument(1100, 1000); }
};

TEST_F(WideFilterRowsTest, ALayerOverSeveralRowWindowsMatchesTheReferences) {
    RandomLayer({0, 0, 1100, 1000});
    RandomSelection({100, 0, 1100, 700});
    const Snapshot s = Take();
    const int states = history->StateCount();
    ASSERT_EQ(ApplyBlur(*history, 12), 1);
    const Rect g{0, 0, 1100, 1000};
    ExpectLayer(
        g, [&](int x, int y) { return BoxBlurRef(s, g, 2, x, y); }, "box blur");
    history->GoToState(states, 0);
    ASSERT_EQ(ApplyMosaic(*history, 9), 1);
    ExpectLayer(
        s.bounds, [&](int x, int y) { return MosaicRef(s, 9, x, y); }, "mosaic");
    history->GoToState(states, 0);
    const Reducer r = ReducerOf(NoiseReducer::Gray);
    const std::vector<uint32_t> a = TentRef(s.px, r.small), b = TentRef(s.px, r.large);
    ASSERT_EQ(ApplyReduceNoise(*history, NoiseReducer::Gray), 1);
    ExpectLayer(
        s.bounds, [&](int x, int y) { return ReduceRef(s, a, b, r.limit, x, y); }, r.name);
}

}  // namespace
}  // namespace zelvo::test
