// What the tone and detail tools (lighten/darken, sponge, blur, sharpen) need besides the tip:
// the lighten/darken strength table and the blur kernel, fixed at the stroke's press, and the
// per-pixel rules their dabs apply. The dabs change the layer's own pixels; the records hold the
// finished pixels as for the brush.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelvo {

enum class ToneRange { Highlights, Midtones, Shadows };

struct RetouchParams {
    // Lighten/darken: the strength per channel value (already arranged for reading backwards
    // in the dark mode, see ToneTable).
    std::array<int, 256> table{};
    // Blur: the 3 x 3 Gaussian's centre, edge and corner weights.
    double w0 = 1, w1 = 0, w2 = 0;
};

// The 256 strengths of the range's curve (x = 1..256 into entries 0..255). The dark mode takes
// the opposite curve for highlights and shadows; it indexes the table by 255 - v.
std::array<int, 256> ToneTable(ToneRange range, bool dark);

// The blur tool's kernel for strength 0..100 (sigma = strength / 100); at 0 only the centre
// counts, which leaves every pixel as it was.
void BlurKernel(int strength, RetouchParams& params);

// One channel lightened (or darkened) with coverage e (0..100).
inline int LightenChannel(const RetouchParams& p, int v, int e) {
    const int add = p.table[std::size_t(v)] * e / 100;
    return v + add > 255 ? 255 : v + add;
}
inline int DarkenChannel(const RetouchParams& p, int v, int e) {
    const int sub = e * p.table[std::size_t(255 - v)] / 100;
    return v - sub < 0 ? 0 : v - sub;
}

// The sponge on a B, G, R pixel with coverage e: each channel pushed away from (saturate) or
// toward (desaturate) the mean of the three by e percent, truncated and clamped. Exact integer
// arithmetic, so a zero coverage gives the pixel back unchanged.
void SpongePixel(const uint8_t* in, int e, bool desaturate, uint8_t* out);

}  // namespace zelvo
