// Shared by the adjustment and filter tests: random small layers with random alpha, random
// feathered selections, and a snapshot of the layer and strengths before a command so that
// its result can be checked pixel by pixel against a reference written from the rule.
#pragma once

#include <functional>
#include <random>

#include "adjust/AdjustPass.h"
#include "testsupport/SelectionTestSupport.h"

namespace zelvo::test {

class AdjustTest : public SelectionTest {
protected:
    std::mt19937 rng{12345};
    int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // A layer over `r` with random colours and alpha: a fifth transparent, a fifth opaque.
    LayerPtr RandomLayer(const Rect& r) {
        std::vector<uint32_t> words;
        for (int i = 0; i < r.Width() * r.Height(); ++i) {
            const int k = Rand(0, 4);
            const int a = k == 0 ? 0 : (k == 1 ? 100 : Rand(1, 100));
            words.push_back(MakePixel(Rand(0, 255), Rand(0, 255), Rand(0, 255), a));
        }
        return AddPixelLayer(
            r, [&](int x, int y) { return words[size_t((y - r.top) * r.Width() + (x - r.left))]; });
    }
    // A feathered-looking selection over a random rectangle: strengths 0..100 with plateaus
    // of 0 and 100.
    void RandomSelection() {
        RandomSelection({Rand(0, 6), Rand(0, 5), Rand(14, kW), Rand(11, kH)});
    }
    void RandomSelection(const Rect& r) {
        Grid g = Canvas();
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const int k = Rand(0, 5);
                g[size_t(y)][size_t(x)] = k == 0 ? 0 : (k == 1 ? 100 : Rand(1, 99));
            }
        Select(r, g);
    }

public:
    // The current layer and the strengths (-1 without a selection) at the moment of the call.
    struct Snapshot {
        Rect bounds;
        PixelBuffer px;
        std::vector<int> strength;  // canvas sized, row major
        int canvasWidth = kW;
        bool selection = false;
        int S(int x, int y) const { return selection ? strength[size_t(y * canvasWidth + x)] : -1; }
        uint32_t Old(int x, int y) const {
            return bounds.Contains({x, y}) ? px.At(x - bounds.left, y - bounds.top) : 0;
        }
    };

protected:
    Snapshot Take() {
        Snapshot s;
        LayerPtr l = Current();
        s.bounds = l->Bounds();
        EXPECT_TRUE(ReadLayerPixels(*l, s.px));
        s.selection = layers->Selection() != nullptr;
        s.canvasWidth = image.width;
        const Grid g = Strengths();
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) s.strength.push_back(g[size_t(y)][size_t(x)]);
        return s;
    }
    // Compares the current layer with `want(x, y)` over its bounds (which must be `bounds`).
    void ExpectLayer(const Rect& bounds, const std::function<uint32_t(int, int)>& want,
                     const std::string& what) {
        LayerPtr l = Current();
        ASSERT_EQ(l->Bounds(), bounds) << what;
        PixelBuffer now;
        ASSERT_TRUE(ReadLayerPixels(*l, now));
        int bad = 0;
        for (int y = bounds.top; y < bounds.bottom; ++y)
            for (int x = bounds.left; x < bounds.right; ++x) {
                const uint32_t got = now.At(x - bounds.left, y - bounds.top), exp = want(x, y);
                if (got != exp && bad++ < 5)
                    ADD_FAILURE() << what << " at " << x << "," << y << std::hex << " got " << got
                                  << " want " << exp;
            }
        EXPECT_EQ(bad, 0) << what;
    }
    // Runs `check` on a fresh random layer without and then with a random selection, a few
    // rounds each.
    void Rounds(const std::function<void(bool)>& check) {
        for (int round = 0; round < 3; ++round) {
            for (bool sel : {false, true}) {
                if (layers->Selection()) SetSelection(*history, nullptr, kSelectionRemove);
                RandomLayer({Rand(0, 5), Rand(0, 4), Rand(12, kW), Rand(10, kH)});
                if (sel) RandomSelection();
                check(sel);
            }
        }
    }
};

// Channel helpers for references.
inline int B_(uint32_t p) {
    return int(p & 0xff);
}
inline int G_(uint32_t p) {
    return int((p >> 8) & 0xff);
}
inline int R_(uint32_t p) {
    return int((p >> 16) & 0xff);
}
inline int A_(uint32_t p) {
    return int(p >> 24);
}
inline uint32_t W_(int b, int g, int r, int a) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
}
inline int Cl(double v) {
    return v < 0 ? 0 : (v > 255 ? 255 : int(v));
}
// v + trunc((r - v) * s / 100) in floating point.
inline int Mix(int v, int r, int s) {
    return v + int(std::trunc(double(r - v) * s / 100));
}

// The smallest t on the 0.001 grid with X(t) >= i, for a monotone cubic: where the stepped
// search lands.
inline double GridParameter(const double x[4], int i) {
    for (int k = 0; k <= 1000; ++k) {
        const double t = k / 1000.0, u = 1 - t;
        const double X =
            u * u * u * x[0] + 3 * u * u * t * x[1] + 3 * u * t * t * x[2] + t * t * t * x[3];
        if (X >= i - 1e-9) return t;
    }
    return 1;
}
inline double CubicAt(const double v[4], double t) {
    const double u = 1 - t;
    return u * u * u * v[0] + 3 * u * u * t * v[1] + 3 * u * t * t * v[2] + t * t * t * v[3];
}

}  // namespace zelvo::test
