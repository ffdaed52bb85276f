#include "imaging/ColourTent.h"

#include <algorithm>

#include "imaging/TentFilter.h"

namespace zelvo {

namespace {

// The tent filter down every column at once: the running sums of the line filter kept per
// column, so each step reads and writes whole rows.
void TentColumns(std::vector<int32_t>& plane, int32_t w, int32_t h, int32_t L) {
    const size_t W = size_t(w);
    std::vector<int32_t> in(plane);  // the source rows stay readable while rows are written
    std::vector<int32_t> s(W, 0), right(W, 0), left(W, 0);
    auto row = [&](int64_t y) -> const int32_t* { return (y >= 0 && y < h) ? &in[size_t(y) * W] : nullptr; };
    for (int32_t k = 0; k < L; ++k) {
        const int32_t* r = row(k);
        if (!r) continue;
        for (size_t x = 0; x < W; ++x) {
            s[x] += (L - k) * r[x];
            right[x] += r[x];
        }
    }
    int64_t wsum = int64_t(L) * (L + 1) / 2;
    for (size_t x = 0; x < W; ++x) plane[x] = int32_t(s[x] / wsum);
    for (int32_t y = 1; y < h; ++y) {
        const int32_t* moving = row(y - 1);
        const int32_t* enter = row(int64_t(y) + L - 1);
        const int32_t* leave = row(int64_t(y) - L - 1);
        for (size_t x = 0; x < W; ++x) {
            const int32_t m = moving[x];
            right[x] += (enter ? enter[x] : 0) - m;
            left[x] += m - (leave ? leave[x] : 0);
            s[x] += right[x] - left[x];
        }
        if (y < L) wsum += L - y;
        if (y > h - L) wsum += h - y - L;
        int32_t* out = &plane[size_t(y) * W];
        const int32_t d = int32_t(wsum);
        for (size_t x = 0; x < W; ++x) out[x] = s[x] / d;
    }
}

}  // namespace

void TentBlurPlane(std::vector<int32_t>& plane, int32_t w, int32_t h, int32_t radius) {
    if (w <= 0 || h <= 0) return;
    const int32_t L = std::min({radius, h});
    if (L > 1) TentColumns(plane, w, h, L);
    if (std::min(radius, w) <= 1) return;
    std::vector<int32_t> line(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        int32_t* row = &plane[size_t(y) * size_t(w)];
        TentFilterLine<int32_t>(row, 1, line.data(), 1, w, radius);
        std::copy(line.begin(), line.end(), row);
    }
}

PixelBuffer ColourTentBlur(const PixelBuffer& src, int32_t radius) {
    const int32_t w = src.width, h = src.height;
    const int32_t L = std::clamp(std::min({radius, w, h}), 0, 256);
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    std::vector<int32_t> plane(src.px.size());
    for (int c = 0; c < 3; ++c) {
        const int shift = 8 * c;
        for (size_t i = 0; i < plane.size(); ++i) plane[i] = int32_t((src.px[i] >> shift) & 0xff);
        TentBlurPlane(plane, w, h, L);
        for (size_t i = 0; i < plane.size(); ++i) out.px[i] |= uint32_t(plane[i]) << shift;
    }
    for (uint32_t& p : out.px) p |= 100u << 24;
    return out;
}

}  // namespace zelvo
