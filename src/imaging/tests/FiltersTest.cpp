// The filters on random small layers with random alpha, with and without a random feathered
// selection, against references written straight from each rule; and their edge cases.
#include <cmath>
#include <cstdlib>

#include "imaging/Filters.h"
#include "imaging/tests/AdjustTestSupport.h"

namespace zelvo::test {
namespace {

using FiltersTest = AdjustTest;

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

TEST_F(FiltersTest, GaussianBlurMatchesTheFivePointRule) {
    Rounds([&](bool) {
        const int b = Rand(1, 10);
        const Snapshot s = Take();
        ASSERT_EQ(ApplyBlur(*history, b), 1);
        EXPECT_EQ(LastStateName(), "Blur");
        const double sg = b * 0.1, w0 = 1 / (2 * M_PI * sg * sg), w1 = w0 * std::exp(-1 / (2 * sg * sg));
        ExpectLayer(s.bounds, [&](int x, int y) {
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
            return W_(Mix(B_(p), B_(r), st), Mix(G_(p), G_(r), st), Mix(R_(p), R_(r), st), Mix(A_(p), A_(r), st));
        }, "gaussian");
    });
}

TEST_F(FiltersTest, BoxBlurGrowsTheLayerWithinTheCanvas) {
    Rounds([&](bool) {
        const int b = Rand(11, 14), r = b - 10;
        const Snapshot s = Take();
        ASSERT_EQ(ApplyBlur(*history, b), 1);
        EXPECT_EQ(LastStateName(), "Blur");
        const Rect g = Rect{s.bounds.left - r, s.bounds.top - r, s.bounds.right + r, s.bounds.bottom + r}
                           .Intersect({0, 0, kW, kH});
        ExpectLayer(g, [&](int x, int y) {
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
        }, "box blur");
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
        ExpectLayer(s.bounds, [&](int x, int y) {
            int g = 0, S[3] = {0, 0, 0}, sa = 0, area = 0;
            for (int yy = y - 1; yy <= y + 1; ++yy)
                for (int xx = x - 1; xx <= x + 1; ++xx) {
                    if (!s.bounds.Contains({xx, yy})) continue;
                    ++area;
                    const uint32_t q = s.Old(xx, yy);
                    sa += A_(q);
                    if (A_(q) == 0) continue;
                    ++g, S[0] += B_(q), S[1] += G_(q), S[2] += R_(q);
                }
            const uint32_t p = s.Old(x, y);
            uint32_t res = 0;
            if (sa / area != 0) {
                const int v[3] = {B_(p), G_(p), R_(p)};
                int o[3];
                for (int c = 0; c < 3; ++c) o[c] = Cl(v[c] + std::trunc((v[c] * g - S[c]) * 10 / 100.0));
                res = W_(o[0], o[1], o[2], A_(p));
            }
            return BoxMixRef(p, res, s.S(x, y));
        }, "sharpen");
    });
}

TEST_F(FiltersTest, SharpenMoreMatchesTheTentRule) {
    Rounds([&](bool) {
        const int a = Rand(1, 100), R = Rand(1, 15);
        const Snapshot s = Take();
        const std::vector<uint32_t> bl = TentRef(s.px, R + 1);
        ASSERT_EQ(ApplySharpenMore(*history, a, R), 1);
        EXPECT_EQ(LastStateName(), "Sharpen");
        ExpectLayer(s.bounds, [&](int x, int y) {
            const uint32_t p = s.Old(x, y), q = bl[size_t((y - s.bounds.top) * s.px.width + x - s.bounds.left)];
            const int st = s.S(x, y);
            if (st == 0) return p;
            auto ch = [&](int v, int b) {
                return st < 0 || st == 100 ? Cl(v + std::trunc(a * (v - b) / 100.0))
                                           : Cl(v + std::trunc(double(a) * st * (v - b) / 10000));
            };
            return W_(ch(B_(p), B_(q)), ch(G_(p), G_(q)), ch(R_(p), R_(q)), A_(p));
        }, "sharpen...");
    });
}

TEST_F(FiltersTest, AddNoiseDrawsOncePerPixelInStoredOrder) {
    Rounds([&](bool) {
        const int amount = Rand(0, 100);
        const bool mono = Rand(0, 1) == 1;
        const unsigned seed = unsigned(Rand(1, 100000));
        const Snapshot s = Take();
        const int w = s.px.width, h = s.px.height;
        std::srand(seed);
        std::vector<int> draw(size_t(w * h));
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x) draw[size_t((h - 1 - row) * w + x)] = std::rand();
        std::srand(seed);
        ASSERT_EQ(ApplyAddNoise(*history, amount, mono), 1);
        EXPECT_EQ(LastStateName(), "Add Noise");
        ExpectLayer(s.bounds, [&](int x, int y) {
            const uint32_t p = s.Old(x, y);
            const int d = draw[size_t((y - s.bounds.top) * w + x - s.bounds.left)];
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
        }, "add noise");
    });
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
            for (int c : {B_(p), G_(p), R_(p)}) EXPECT_TRUE(c == 0 || c == 64 || c == 128 || c == 192 || c == 255) << c;
        }
    EXPECT_GT(noisy, 200);
}

TEST_F(FiltersTest, MosaicMatchesCellsFromTheBottomLeft) {
    Rounds([&](bool) {
        const int n = Rand(2, 6);
        const Snapshot s = Take();
        ASSERT_EQ(ApplyMosaic(*history, n), 1);
        EXPECT_EQ(LastStateName(), "Mosaic");
        ExpectLayer(s.bounds, [&](int x, int y) {
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
            const uint32_t cell = cnt == 0 ? W_(0, 0, 0, sa / area) : W_(sb / cnt, sgn / cnt, sr / cnt, sa / area);
            const uint32_t p = s.Old(x, y);
            const int st = s.S(x, y);
            if (st < 0 || st == 100) return cell;
            if (st == 0) return p;
            if (A_(p) == 0) return cell;
            const int D = A_(cell) * st / 100;
            return W_(Mix(B_(p), B_(cell), st), Mix(G_(p), G_(cell), st), Mix(R_(p), R_(cell), st),
                      D + (100 - D) * A_(p) / 100);
        }, "mosaic");
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
        ExpectLayer(s.bounds, [&](int x, int y) {
            int g = 0, S[3] = {0, 0, 0}, sa = 0, area = 0;
            for (int yy = y - 1; yy <= y + 1; ++yy)
                for (int xx = x - 1; xx <= x + 1; ++xx) {
                    if (!s.bounds.Contains({xx, yy})) continue;
                    ++area;
                    const uint32_t q = s.Old(xx, yy);
                    sa += A_(q);
                    if (A_(q) == 0) continue;
                    ++g, S[0] += B_(q), S[1] += G_(q), S[2] += R_(q);
                }
            const uint32_t p = s.Old(x, y);
            uint32_t res = 0;
            if (sa / area != 0) {
                const int v[3] = {B_(p), G_(p), R_(p)};
                int o[3] = {v[0], v[1], v[2]};
                bool outlier = false;
                for (int c = 0; c < 3; ++c) outlier = outlier || std::abs(v[c] * g - S[c]) > 5 * (g - 1);
                if (outlier) {
                    const int order[8][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, 1}, {-1, -1}, {1, -1}, {1, 1}};
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
                res = W_(o[0], o[1], o[2], sa / area);
            }
            return BoxMixRef(p, res, s.S(x, y));
        }, "reduce small noise");
    });
}

TEST_F(FiltersTest, RadiusReducersMatchTheTwoBlurRule) {
    for (NoiseReducer kind : {NoiseReducer::Medium, NoiseReducer::Big, NoiseReducer::Gray}) {
        const int small = kind == NoiseReducer::Big ? 5 : 3, large = kind == NoiseReducer::Big ? 11 : 7;
        const int limit = kind == NoiseReducer::Gray ? 4 : 3;
        const char* name = kind == NoiseReducer::Medium ? "Reduce Medium Noise"
                           : kind == NoiseReducer::Big  ? "Reduce Big Noise"
                                                        : "Reduce Gray Noise";
        Rounds([&](bool) {
            const Snapshot s = Take();
            const std::vector<uint32_t> a = TentRef(s.px, small), b = TentRef(s.px, large);
            ASSERT_EQ(ApplyReduceNoise(*history, kind), 1);
            EXPECT_EQ(LastStateName(), name);
            ExpectLayer(s.bounds, [&](int x, int y) {
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
            }, name);
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

}  // namespace
}  // namespace zelvo::test
