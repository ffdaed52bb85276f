// Free transform: the frame's rules (pointer angle, rotation centre, corner drags, buttons),
// the 0.2 .. 0.8 sampling rule, and commits against exact pixels and against a reference
// built from the inverse of the frame's affine map.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "geometry/FreeTransform.h"
#include "geometry/tests/GeometryTestSupport.h"

namespace zelvo {
namespace {

using test::Pixels;

void ExpectFrame(const FrameCorners& f, const std::vector<PointD>& want, const char* what) {
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(f[i].x, want[i].x, 1e-9) << what << " corner " << i;
        EXPECT_NEAR(f[i].y, want[i].y, 1e-9) << what << " corner " << i;
    }
}

TEST(FreeTransformRules, PointerAngleCountsCounterClockwiseOnScreen) {
    const struct {
        PointD p;
        double angle;
    } cases[] = {{{1, 0}, 0},    {{1, -1}, 45}, {{0, -1}, 90}, {{-1, -1}, 135}, {{-1, 0}, 180},
                 {{-1, 1}, 225}, {{0, 1}, 270}, {{1, 1}, 315}, {{0, 0}, 0},     {{2, -1}, 26.565}};
    for (const auto& c : cases)
        EXPECT_NEAR(PointerAngle({0, 0}, c.p), c.angle, 1e-3) << c.p.x << "," << c.p.y;
    EXPECT_NEAR(PointerAngle({5, 5}, {6, 4}), 45, 1e-3);
}

TEST(FreeTransformRules, CentreBoundsAndCornerDrags) {
    EXPECT_EQ(RotationCentre(RectFrame({0, 0, 10, 2})), (PointD{4.5, 1.0}));
    EXPECT_EQ(RotationCentre(RectFrame({4, 4, 6, 7})), (PointD{5.0, 5.0}));
    EXPECT_EQ(FrameBounds({PointD{0.5, -0.2}, {3.0000001, 0}, {2.9999999, 4.5}, {0, 2}}),
              (Rect{0, -1, 3, 5}));

    const FrameCorners square = RectFrame({0, 0, 10, 10});
    ExpectFrame(DragCorner(square, 2, {20, 15}, false, false), {{0, 0}, {20, 0}, {20, 15}, {0, 15}},
                "scale");
    ExpectFrame(DragCorner(square, 2, {20, 15}, false, true),
                {{0, 0}, {17.5, 0}, {17.5, 17.5}, {0, 17.5}}, "proportional");
    ExpectFrame(DragCorner(square, 0, {-4, 3}, false, false),
                {{-4, 3}, {10, 3}, {10, 10}, {-4, 10}}, "scale from the top-left");
    ExpectFrame(DragCorner(square, 1, {13, -2}, true, false), {{0, 0}, {13, -2}, {10, 10}, {0, 10}},
                "distort");

    // A turned frame scales along its own edges: every edge keeps its direction (up to the
    // program's degree constants, which turn the corners a hair unevenly).
    const FrameCorners turned = RotateFrame(square, {5, 5}, 30);
    const FrameCorners scaled = DragCorner(turned, 2, {30, 12}, false, false);
    EXPECT_EQ(scaled[2], (PointD{30, 12}));
    EXPECT_EQ(scaled[0], turned[0]);
    for (size_t i = 0; i < 4; ++i) {
        const PointD a{turned[(i + 1) % 4].x - turned[i].x, turned[(i + 1) % 4].y - turned[i].y};
        const PointD b{scaled[(i + 1) % 4].x - scaled[i].x, scaled[(i + 1) % 4].y - scaled[i].y};
        EXPECT_NEAR(a.x * b.y - a.y * b.x, 0, 1e-3) << "edge " << i;
        EXPECT_GT(a.x * b.x + a.y * b.y, 0) << "edge " << i;
    }

    // A distorted frame (no longer a parallelogram) keeps its edge directions as well.
    const FrameCorners distorted =
        DragCorner(RectFrame({10, 20, 60, 50}), 2, {80, 60}, true, false);
    ExpectFrame(DragCorner(distorted, 2, {90, 70}, false, false),
                {{10, 20}, {65, 20}, {90, 70}, {10, 20 + 270.0 / 7}}, "scale a distorted frame");
}

TEST(FreeTransformRules, TheFrameStaysWithinTheCoordinateLimit) {
    const double limit = 1 << 24;
    const FrameCorners f = RectFrame({0, 0, 100, 50});
    EXPECT_TRUE(FrameFits(f));
    ExpectFrame(
        ShiftFrame(f, 1e9, -1e9),
        {{limit - 100, -limit}, {limit, -limit}, {limit, 50 - limit}, {limit - 100, 50 - limit}},
        "a far shift stops at the limit");
    ExpectFrame(ShiftFrame(f, 7, -3), {{7, -3}, {107, -3}, {107, 47}, {7, 47}}, "a near shift");
    EXPECT_FALSE(FrameFits(DragCorner(f, 2, {limit + 1, 10}, false, false)));
    const std::vector<CurveAnchor> far =
        MapAnchors({CurveAnchor{{0, 0}, {100, 50}, {100, 50}, 0}}, {0, 0, 100, 50},
                   {PointD{0, 0}, {3e9, 0}, {3e9, 3e9}, {0, 3e9}});
    EXPECT_EQ(far[0].point, (Point{1 << 24, 1 << 24}));
}

TEST(FreeTransformRules, ButtonsTurnAndMirrorAboutTheFramesMiddle) {
    const FrameCorners f = RectFrame({0, 0, 4, 2});
    const struct {
        FrameButton button;
        std::vector<PointD> want;
    } cases[] = {
        {FrameButton::Turn90, {{3, -1}, {3, 3}, {1, 3}, {1, -1}}},
        {FrameButton::TurnMinus90, {{1, 3}, {1, -1}, {3, -1}, {3, 3}}},
        {FrameButton::Turn180, {{4, 2}, {0, 2}, {0, 0}, {4, 0}}},
        {FrameButton::Horizontal, {{4, 0}, {0, 0}, {0, 2}, {4, 2}}},
        {FrameButton::Vertical, {{0, 2}, {4, 2}, {4, 0}, {0, 0}}},
    };
    for (const auto& c : cases) ExpectFrame(TurnFrame(f, c.button), c.want, "button");
    // The drag's rotation by a quarter turn agrees with the button up to the program's
    // degree constant.
    const FrameCorners q = RotateFrame(RectFrame({0, 0, 4, 4}), {2, 2}, 270);
    const FrameCorners b = TurnFrame(RectFrame({0, 0, 4, 4}), FrameButton::Turn90);
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(q[i].x, b[i].x, 1e-4);
}

TEST(FreeTransformRules, SamplingInterpolatesOnlyBetweenTwoTenthsAndEightTenths) {
    const struct {
        double position;
        int32_t size;
        SampleAxis want;
    } cases[] = {
        {0.0, 4, {0, 0, 0}},   {0.1, 4, {0, 0, 0}},   {0.19, 4, {0, 0, 0}},
        {0.25, 4, {0, 1, 64}}, {0.5, 4, {0, 1, 128}}, {0.75, 4, {0, 1, 192}},
        {0.85, 4, {1, 1, 0}},  {2.6, 4, {2, 3, 154}}, {-0.25, 4, {0, 0, 192}},
        {3.25, 4, {3, 3, 64}}, {3.9, 4, {3, 3, 0}},   {-7, 4, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        const SampleAxis s = SampleAt(c.position, c.size);
        EXPECT_EQ(s.first, c.want.first) << c.position;
        EXPECT_EQ(s.second, c.want.second) << c.position;
        EXPECT_EQ(s.weight, c.want.weight) << c.position;
    }
}

class FreeTransformCommit : public test::GeometryTest {
protected:
    static uint32_t Smooth(int32_t x, int32_t y) {
        return 0x64000000u | uint32_t((x * 20) & 0xFF) << 16 | uint32_t((y * 30) & 0xFF) << 8 |
               uint32_t((x + y) * 7 & 0xFF);
    }
};

TEST_F(FreeTransformCommit, MovesTurnsAndMirrorsGiveExactPixels) {
    // A 4 x 2 layer at (6, 5) on a 20 x 20 canvas; the expected layers written by hand from
    // the source's columns (c) and rows (r).
    const struct {
        const char* what;
        FrameCorners frame;
        Rect bounds;
        // Source pixel (c, r) of each destination pixel (col, row).
        Point (*source)(int32_t col, int32_t row);
    } cases[] = {
        {"move",
         [] {
             FrameCorners f = RectFrame({6, 5, 10, 7});
             for (PointD& p : f) p = {p.x + 3, p.y - 2};
             return f;
         }(),
         {9, 3, 13, 5},
         [](int32_t col, int32_t row) {
             return Point{col, row};
         }},
        {"quarter turn",
         TurnFrame(RectFrame({6, 5, 10, 7}), FrameButton::Turn90),
         {7, 4, 9, 8},
         [](int32_t col, int32_t row) {
             return Point{row, 1 - col};
         }},
        {"half turn",
         TurnFrame(RectFrame({6, 5, 10, 7}), FrameButton::Turn180),
         {6, 5, 10, 7},
         [](int32_t col, int32_t row) {
             return Point{3 - col, 1 - row};
         }},
        {"mirror",
         TurnFrame(RectFrame({6, 5, 10, 7}), FrameButton::Horizontal),
         {6, 5, 10, 7},
         [](int32_t col, int32_t row) {
             return Point{3 - col, row};
         }},
    };
    for (const auto& c : cases) {
        MakeDocument(20, 20);
        const LayerPtr l = AddPixelLayer({6, 5, 10, 7}, test::Distinct);
        const Pixels before = ReadPixels(*l);
        const int states = history->StateCount();
        ASSERT_EQ(CommitFreeTransform(*history, c.frame), 1) << c.what;
        const LayerPtr t = Current();
        EXPECT_EQ(t->Bounds(), c.bounds) << c.what;
        const Pixels after = ReadPixels(*t);
        for (int32_t row = 0; row < c.bounds.Height(); ++row)
            for (int32_t col = 0; col < c.bounds.Width(); ++col) {
                const Point s = c.source(col, row);
                EXPECT_EQ(after[size_t(row)][size_t(col)], before[size_t(s.y)][size_t(s.x)])
                    << c.what << " " << col << "," << row;
            }
        EXPECT_EQ(history->StateCount(), states + 1);
        EXPECT_EQ(LastStateName(), "Free Transform");
        EXPECT_EQ(history->States().back().kind, kStateLayerPixels);
        Undo();
        EXPECT_EQ(Current(), l);
        history.reset();
        layers.reset();
    }
}

TEST_F(FreeTransformCommit, DoubleWidthInterpolatesByTheRule) {
    MakeDocument(20, 20);
    const uint32_t a = 0x64000000u, b = 0x64C8C8C8u;
    AddPixelLayer({0, 0, 2, 1}, [&](int32_t x, int32_t) { return x == 0 ? a : b; });
    ASSERT_EQ(CommitFreeTransform(*history, RectFrame({0, 0, 4, 2})), 1);
    // Centres at source columns -0.25, 0.25, 0.75, 1.25: the edge pixel, a quarter and three
    // quarters of the way (50 and 150 of 200), the edge pixel.
    const std::vector<uint32_t> row = {a, 0x64323232u, 0x64969696u, b};
    EXPECT_EQ(ReadPixels(*Current()), (Pixels{row, row}));
}

TEST_F(FreeTransformCommit, ThirtyDegreesAndScaleMatchTheInverseAffineReference) {
    MakeDocument(40, 40);
    const Rect src{5, 6, 17, 14};  // 12 x 8
    const LayerPtr l = AddPixelLayer(src, [](int32_t x, int32_t y) { return Smooth(x, y); });
    const Pixels before = ReadPixels(*l);
    FrameCorners f = DragCorner(RectFrame(src), 2, {23, 18}, false, false);  // 1.5 x
    f = RotateFrame(f, RotationCentre(f), 30);
    ASSERT_EQ(CommitFreeTransform(*history, f), 1);
    const LayerPtr t = Current();
    const Rect box = t->Bounds();
    EXPECT_EQ(box, FrameBounds(f));
    const Pixels after = ReadPixels(*t);

    // The frame is a parallelogram, so the row mapping is its affine map: invert it.
    const PointD e1{(f[1].x - f[0].x) / 12, (f[1].y - f[0].y) / 12};
    const PointD e2{(f[3].x - f[0].x) / 8, (f[3].y - f[0].y) / 8};
    const double det = e1.x * e2.y - e1.y * e2.x;
    int compared = 0, inside = 0;
    for (int32_t row = 0; row < box.Height(); ++row)
        for (int32_t col = 0; col < box.Width(); ++col) {
            const double dx = box.left + col + 0.5 - f[0].x, dy = box.top + row + 0.5 - f[0].y;
            const double u = (dx * e2.y - dy * e2.x) / det, v = (e1.x * dy - e1.y * dx) / det;
            const uint32_t got = after[size_t(row)][size_t(col)];
            const double margin = 1e-6;
            if (u < -margin || u > 12 + margin || v < -margin || v > 8 + margin) {
                if (u < -0.01 || u > 12.01 || v < -0.01 || v > 8.01) {
                    EXPECT_EQ(got, 0u) << col << "," << row;
                    ++compared;
                }
                continue;
            }
            const double fu = u - 0.5 - std::floor(u - 0.5), fv = v - 0.5 - std::floor(v - 0.5);
            const auto nearThreshold = [](double fr) {
                return std::abs(fr - 0.2) < 1e-6 || std::abs(fr - 0.8) < 1e-6 ||
                       std::abs(fr - 0.5) < 1e-6;
            };
            if (nearThreshold(fu) || nearThreshold(fv)) continue;
            const SampleAxis ax = SampleAt(u - 0.5, 12), ay = SampleAt(v - 0.5, 8);
            uint32_t want = 0;
            for (int ch = 0; ch < 32; ch += 8) {
                const auto at = [&](int32_t c, int32_t r) {
                    return double((before[size_t(r)][size_t(c)] >> ch) & 0xFF);
                };
                const double wx = ax.weight / 256.0, wy = ay.weight / 256.0;
                const double top = at(ax.first, ay.first) * (1 - wx) + at(ax.second, ay.first) * wx;
                const double bottom =
                    at(ax.first, ay.second) * (1 - wx) + at(ax.second, ay.second) * wx;
                want |= uint32_t(std::lround(top * (1 - wy) + bottom * wy)) << ch;
            }
            EXPECT_EQ(got, want) << col << "," << row;
            ++compared;
            ++inside;
        }
    EXPECT_GT(inside, 12 * 8 * 2);  // 1.5 x 1.5 of the source's 96 pixels, less the edges
    EXPECT_GT(compared, box.Width() * box.Height() * 3 / 4);
}

// The row mapping written out plainly, one pixel at a time through SampleAt: what the commit
// must give bit for bit however it is computed.
Pixels RowMappingReference(const Pixels& src, Point at, const FrameCorners& frame, Rect area) {
    const int32_t sw = int32_t(src[0].size()), sh = int32_t(src.size());
    const std::array<PointD, 4> corners = {PointD{0, 0}, PointD{double(sw), 0},
                                           PointD{double(sw), double(sh)}, PointD{0, double(sh)}};
    const auto lerp = [](PointD a, PointD b, double t) {
        return PointD{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
    };
    Pixels out(size_t(area.Height()), std::vector<uint32_t>(size_t(area.Width()), 0u));
    for (int32_t r = 0; r < area.Height(); ++r) {
        const double y = area.top + r + 0.5 - at.y;
        bool any = false;
        double lx = 0, rx = 0;
        PointD ls, rs;
        for (size_t k = 0; k < 4; ++k) {
            const PointD a{frame[k].x - at.x, frame[k].y - at.y};
            const PointD b{frame[(k + 1) % 4].x - at.x, frame[(k + 1) % 4].y - at.y};
            if (a.y == b.y || y < std::min(a.y, b.y) || y > std::max(a.y, b.y)) continue;
            const double t = (y - a.y) / (b.y - a.y);
            const double x = a.x + (b.x - a.x) * t;
            const PointD s = lerp(corners[k], corners[(k + 1) % 4], t);
            if (!any || x < lx) lx = x, ls = s;
            if (!any || x > rx) rx = x, rs = s;
            any = true;
        }
        if (!any) continue;
        const int32_t first = std::max(0, int32_t(std::ceil(lx - 0.5 + at.x - area.left)));
        const int32_t last =
            std::min(area.Width() - 1, int32_t(std::floor(rx - 0.5 + at.x - area.left)));
        for (int32_t c = first; c <= last; ++c) {
            const double x = area.left + c + 0.5 - at.x;
            const PointD p = lerp(ls, rs, rx - lx > 0 ? (x - lx) / (rx - lx) : 0);
            const SampleAxis ax = SampleAt(p.x - 0.5, sw), ay = SampleAt(p.y - 0.5, sh);
            uint32_t word = 0;
            for (int ch = 0; ch < 32; ch += 8) {
                const auto channel = [&](int32_t col, int32_t row) {
                    return int64_t((src[size_t(row)][size_t(col)] >> ch) & 0xFF);
                };
                const int64_t top = channel(ax.first, ay.first) * (256 - ax.weight) +
                                    channel(ax.second, ay.first) * ax.weight;
                const int64_t bottom = channel(ax.first, ay.second) * (256 - ax.weight) +
                                       channel(ax.second, ay.second) * ax.weight;
                word |= uint32_t((top * (256 - ay.weight) + bottom * ay.weight + 32768) >> 16)
                        << ch;
            }
            out[size_t(r)][size_t(c)] = word;
        }
    }
    return out;
}

TEST_F(FreeTransformCommit, EveryFrameGivesTheRowMappingBitForBit) {
    const Rect src{7, 9, 38, 30};  // 31 x 21
    const FrameCorners rect = RectFrame(src);
    struct Case {
        std::string what;
        FrameCorners frame;
        Rect source;
    };
    std::vector<Case> cases = {
        {"1.5 x, 30 degrees",
         RotateFrame(DragCorner(rect, 2, {53.5, 40.5}, false, false), {22, 19}, 30), src},
        {"0.6 x, 117 degrees",
         RotateFrame(DragCorner(rect, 0, {19, 17}, false, true), {25, 24}, 117), src},
        {"distorted",
         DragCorner(DragCorner(rect, 1, {50.3, 2.7}, true, false), 3, {1.2, 44.9}, true, false),
         src},
        {"mirrored and turned",
         RotateFrame(TurnFrame(rect, FrameButton::Vertical), {22, 19}, -71.3), src},
        {"moved by fractions",
         [&] {
             FrameCorners f = rect;
             for (PointD& p : f) p = {p.x + 0.3, p.y - 0.55};
             return f;
         }(),
         src},
    };
    // Moved by odd multiples of 1/512 over a source of powers of two, so that the sums are exact
    // and weights fall on the half step that rounds up.
    const Rect even{8, 4, 40, 20};
    for (const double step : {155.0 / 512, -155.0 / 512, 357.0 / 512}) {
        FrameCorners f = RectFrame(even);
        for (PointD& p : f) p = {p.x + step, p.y - step};
        cases.push_back({"moved by " + std::to_string(step), f, even});
    }
    // Random scales, turns and free distortions of a layer wide and tall enough to be drawn in
    // several bands and tiles, including frames reaching past the canvas.
    const Rect wide{5, 3, 205, 83};
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 40; ++i) {
        const PointD corner{5 + unit(random) * 400 - 60, 3 + unit(random) * 200 - 40};
        FrameCorners f = DragCorner(RectFrame(wide), 2, corner, false, i % 3 == 0);
        if (i % 4 == 1)
            for (PointD& p : f) p = {p.x + unit(random) * 12 - 6, p.y + unit(random) * 12 - 6};
        f = RotateFrame(f, RotationCentre(f), unit(random) * 360);
        cases.push_back({"random frame " + std::to_string(i), f, wide});
    }
    // Every row kernel this processor runs.
    for (const CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
        if (!CpuRuns(level)) continue;
        for (const auto& [what, frame, source] : cases) {
            MakeDocument(256, 256);
            uint32_t seed = 12345;
            const LayerPtr l = AddPixelLayer(source, [&seed](int32_t, int32_t) {
                seed = seed * 1103515245u + 12345u;
                return (seed >> 1) % 101u << 24 | (seed * 2654435761u >> 8);
            });
            const Pixels before = ReadPixels(*l);
            const std::string at = what + " at level " + std::to_string(int(level));
            ASSERT_EQ(CommitFreeTransform(*history, frame, level), 1) << at;
            const LayerPtr t = Current();
            EXPECT_EQ(t->Bounds(), FrameBounds(frame)) << at;
            EXPECT_EQ(ReadPixels(*t), RowMappingReference(before, {source.left, source.top}, frame,
                                                          FrameBounds(frame)))
                << at;
            history.reset();
            layers.reset();
        }
    }
}

TEST_F(FreeTransformCommit, AFrameOverTwentyMillionPixelsIsCutToTheCanvas) {
    MakeDocument(30, 20);
    AddPixelLayer({0, 0, 10, 10}, test::Distinct);
    const FrameCorners f = RectFrame({-2000, -2000, 3000, 2001});
    ASSERT_EQ(CommitFreeTransform(*history, f), 1);
    EXPECT_EQ(messages.Last(), "Images more than 20 million pixels,Will be cut!");
    EXPECT_EQ(Current()->Bounds(), (Rect{0, 0, 30, 20}));
}

}  // namespace
}  // namespace zelvo
