#include "imaging/ColourTent.h"

#include <algorithm>

#include "imaging/TentFilter.h"

namespace zelvo {

void TentBlurPlane(std::vector<int32_t>& plane, int32_t w, int32_t h, int32_t radius) {
    if (w <= 0 || h <= 0 || radius <= 1) return;
    // Columns through a transposed copy so each line is contiguous.
    std::vector<int32_t> t(plane.size()), line(size_t(std::max(w, h)));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) t[size_t(x) * size_t(h) + size_t(y)] = plane[size_t(y) * size_t(w) + size_t(x)];
    for (int32_t x = 0; x < w; ++x) {
        int32_t* col = &t[size_t(x) * size_t(h)];
        TentFilterLine<int32_t>(col, 1, line.data(), 1, h, radius);
        std::copy(line.begin(), line.begin() + h, col);
    }
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) plane[size_t(y) * size_t(w) + size_t(x)] = t[size_t(x) * size_t(h) + size_t(y)];
    for (int32_t y = 0; y < h; ++y) {
        int32_t* row = &plane[size_t(y) * size_t(w)];
        TentFilterLine<int32_t>(row, 1, line.data(), 1, w, radius);
        std::copy(line.begin(), line.begin() + w, row);
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
