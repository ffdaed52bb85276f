// Sums over the box window of every pixel of a buffer, kept as running column sums while the
// window slides, so the cost per pixel does not depend on the radius.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/AdjustPass.h"

namespace zelvo {

struct BoxRow {
    // Per pixel of one row: opaque count, channel sums of the opaque pixels, alpha sum of all,
    // and the window's area inside the buffer.
    std::vector<int32_t> count, b, g, r, a, area;
};

// Calls `row(y, sums)` for y = 0..height-1 in order.
template <class F>
void ForEachBoxRow(const PixelBuffer& src, int32_t radius, F row) {
    const int32_t w = src.width, h = src.height;
    std::vector<int32_t> cc(size_t(w), 0), cb(size_t(w), 0), cg(size_t(w), 0), cr(size_t(w), 0),
        ca(size_t(w), 0);
    auto addRow = [&](int32_t y, int sign) {
        const uint32_t* line = &src.px[size_t(y) * size_t(w)];
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = line[x];
            ca[size_t(x)] += sign * ChA(p);
            if (ChA(p) == 0) continue;
            cc[size_t(x)] += sign;
            cb[size_t(x)] += sign * ChB(p);
            cg[size_t(x)] += sign * ChG(p);
            cr[size_t(x)] += sign * ChR(p);
        }
    };
    BoxRow s;
    for (auto* v : {&s.count, &s.b, &s.g, &s.r, &s.a, &s.area}) v->assign(size_t(w), 0);
    for (int32_t y = 0; y < radius && y < h; ++y) addRow(y, 1);
    for (int32_t y = 0; y < h; ++y) {
        if (y + radius < h) addRow(y + radius, 1);
        if (y - radius - 1 >= 0) addRow(y - radius - 1, -1);
        const int32_t rows = std::min(h - 1, y + radius) - std::max(0, y - radius) + 1;
        int64_t n = 0, b = 0, g = 0, r = 0, a = 0;
        for (int32_t x = 0; x < radius && x < w; ++x)
            n += cc[size_t(x)], b += cb[size_t(x)], g += cg[size_t(x)], r += cr[size_t(x)], a += ca[size_t(x)];
        for (int32_t x = 0; x < w; ++x) {
            const int32_t in = x + radius, out = x - radius - 1;
            if (in < w)
                n += cc[size_t(in)], b += cb[size_t(in)], g += cg[size_t(in)], r += cr[size_t(in)], a += ca[size_t(in)];
            if (out >= 0)
                n -= cc[size_t(out)], b -= cb[size_t(out)], g -= cg[size_t(out)], r -= cr[size_t(out)], a -= ca[size_t(out)];
            const int32_t cols = std::min(w - 1, x + radius) - std::max(0, x - radius) + 1;
            s.count[size_t(x)] = int32_t(n), s.b[size_t(x)] = int32_t(b), s.g[size_t(x)] = int32_t(g);
            s.r[size_t(x)] = int32_t(r), s.a[size_t(x)] = int32_t(a), s.area[size_t(x)] = rows * cols;
        }
        row(y, s);
    }
}

// The selection rule of the box filters at strength s: the old pixel at 0, the result at 100;
// between, the old pixel where the result is transparent, a mix of every channel and A where
// the old pixel is opaque, and the result where it is not.
inline uint32_t BoxSelectionMix(uint32_t old, uint32_t res, int s) {
    if (s <= 0) return old;
    if (s >= 100) return res;
    if (ChA(res) == 0) return old;
    if (ChA(old) == 0) return res;
    return MakePixel(StrengthMix(ChB(old), ChB(res), s), StrengthMix(ChG(old), ChG(res), s),
                     StrengthMix(ChR(old), ChR(res), s), StrengthMix(ChA(old), ChA(res), s));
}

}  // namespace zelvo
