// The gradient fill: linear, radial or reflected from a start to an end point, eased by an
// S-shaped Bezier ramp, in one of three colour modes, laid over the current layer (grown to
// the canvas, or to the selection's rectangle) and recorded by its type's name.
#pragma once

#include <algorithm>
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
// curve's height where it passes x = i.
std::vector<double> GradientEasing(int n);

// The gradient's B, G, R, A at each canvas pixel, before the selection and the layer.
class GradientShader {
public:
    explicit GradientShader(const GradientFill& g);
    void Pixel(int32_t x, int32_t y, uint8_t out[4]) const;
    // The line's length in canvas pixels (1 for a line of no length).
    double Length() const { return m_d; }

private:
    double Ease(double a) const {
        const double i = std::floor(a);
        return m_easing[i <= 0 ? 0 : std::min(m_easing.size() - 1, size_t(i))];
    }

    GradientFill m_g;
    double m_d = 1, m_ux = 1, m_uy = 0;
    int m_opacity = 100;
    std::vector<double> m_easing;
};

// Returns 1 when a state ("Linear Gradient", "Radial Gradient", "Reflected Gradient") was
// recorded. Text and curve layers are refused with "This layer must be rasterized before
// proceeding!".
int ApplyGradient(HistoryManager& history, const GradientFill& g);

}  // namespace zelvo
