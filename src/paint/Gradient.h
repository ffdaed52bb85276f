// The gradient fill: linear, radial or reflected from a start to an end point, eased by an
// S-shaped Bezier ramp, in one of three colour modes, laid over the current layer (grown to
// the canvas, or to the selection's rectangle) and recorded by its type's name.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Types.h"

namespace zelvo {

class HistoryManager;

enum class GradientType { Linear, Radial, Reflected };
enum class GradientColors { ForeToBack, ForeToTransparent, TransparentToFore };

struct GradientFill {
    Point start, end;  // canvas points
    GradientType type = GradientType::Linear;
    GradientColors colors = GradientColors::ForeToBack;
    int opacity = 100;
    ColorRef foreground = 0;
    ColorRef background = 0xFFFFFF;
};

// n entries eased from 0 to 1 along the Bezier (0,0) (2n/5,0) (3n/5,1) (n,1): entry i is the
// curve's height where it passes x = i. Only the first `count` are made when fewer are asked.
std::vector<double> GradientEasing(int64_t n, int64_t count = INT64_MAX);

// The gradient's B, G, R, A at each canvas pixel, before the selection and the layer.
class GradientShader {
public:
    // `reach`: no pixel asked for lies further than this from the start point, so the easing
    // entries past it are never looked up and not made (a line dragged far past the canvas
    // would otherwise take memory by its length).
    explicit GradientShader(const GradientFill& g, double reach = 1e300);
    // One pixel by the formulas.
    void Pixel(int32_t x, int32_t y, uint8_t out[4]) const;
    // The words (B, G, R, A from the low byte) of canvas columns [left, right) of row y, the
    // same as Pixel gives: the colour of every easing entry is made once, and a pixel costs
    // its distance along the line and a lookup.
    void Row(int32_t y, int32_t left, int32_t right, uint8_t* out) const;
    void Row(int32_t y, int32_t left, int32_t right, uint32_t* out) const {
        Row(y, left, right, reinterpret_cast<uint8_t*>(out));
    }
    // The line's length in canvas pixels (1 for a line of no length).
    double Length() const { return m_d; }
    // Whether every pixel comes out fully opaque (it then replaces the layer's pixel).
    bool Opaque() const { return m_g.colors == GradientColors::ForeToBack && m_opacity >= 100; }

private:
    size_t EaseIndex(double a) const {
        const double i = std::floor(a);
        return i <= 0 ? 0 : std::min(m_easing.size() - 1, size_t(i));
    }
    double Ease(double a) const { return m_easing[EaseIndex(a)]; }
    // The pixel of ramp position t (0 the start colour, 1 the end colour).
    void Colour(double t, uint8_t out[4]) const;
    uint32_t Word(double t) const;

    GradientFill m_g;
    double m_d = 1, m_ux = 1, m_uy = 0;
    int m_opacity = 100;
    std::vector<double> m_easing;
    // The words of t = 0, t = 1, t = each easing entry and t = 1 - each entry.
    uint32_t m_start = 0, m_end = 0;
    std::vector<uint32_t> m_eased, m_back;
    // The start word, the end word, then m_eased and m_back: what a row's entry codes index.
    std::vector<uint32_t> m_words;
    int64_t m_d2 = 0;  // the line's squared length, exact
};

// Returns 1 when a state ("Linear Gradient", "Radial Gradient", "Reflected Gradient") was
// recorded. Text and curve layers are refused with "This layer must be rasterized before
// proceeding!".
int ApplyGradient(HistoryManager& history, const GradientFill& g);

}  // namespace zelvo
