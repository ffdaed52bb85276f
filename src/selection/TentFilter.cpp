// The column pass of the tent filter keeps one running state per column (the weighted sum and
// the sums of the two halves) and walks the rows once, so its cost does not grow with L.
#include "selection/TentFilter.h"

#include <cstring>
#include <vector>

namespace zelvo {

namespace {

template <class Acc>
bool FilterColumns(int32_t width, int32_t height, int32_t L,
                   const std::function<const uint8_t*(int32_t)>& inRow,
                   const std::function<uint8_t*(int32_t)>& outRow) {
    const size_t w = size_t(width);
    const int32_t ringRows = 2 * L + 1;
    // Rows x-L-1 .. x+L-1 of the input, row r at slot r % ringRows.
    std::vector<uint8_t> ring(size_t(ringRows) * w);
    std::vector<Acc> s(w, 0), right(w, 0), left(w, 0);
    auto slot = [&](int32_t r) { return ring.data() + size_t(r % ringRows) * w; };
    auto load = [&](int32_t r) {
        const uint8_t* src = inRow(r);
        if (!src) return false;
        std::memcpy(slot(r), src, w);
        return true;
    };

    for (int32_t k = 0; k < L; ++k) {
        if (!load(k)) return false;
        const uint8_t* row = slot(k);
        const Acc weight = Acc(L - k);
        for (size_t c = 0; c < w; ++c) {
            s[c] += weight * row[c];
            right[c] += row[c];
        }
    }
    Acc wsum = Acc(L) * Acc(L + 1) / 2;
    uint8_t* out = outRow(0);
    if (!out) return false;
    for (size_t c = 0; c < w; ++c) out[c] = uint8_t(s[c] / wsum);

    for (int32_t x = 1; x < height; ++x) {
        const int32_t entering = x + L - 1;
        const int32_t leaving = x - L - 1;
        if (entering < height && !load(entering)) return false;
        const uint8_t* moving = slot(x - 1);
        const uint8_t* in = entering < height ? slot(entering) : nullptr;
        const uint8_t* gone = leaving >= 0 ? slot(leaving) : nullptr;
        if (in && gone) {
            for (size_t c = 0; c < w; ++c) {
                right[c] += Acc(in[c]) - moving[c];
                left[c] += Acc(moving[c]) - gone[c];
                s[c] += right[c] - left[c];
            }
        } else {
            for (size_t c = 0; c < w; ++c) {
                right[c] += Acc(in ? in[c] : 0) - moving[c];
                left[c] += Acc(moving[c]) - (gone ? gone[c] : 0);
                s[c] += right[c] - left[c];
            }
        }
        if (x < L) wsum += L - x;
        if (x > height - L) wsum += height - x - L;
        out = outRow(x);
        if (!out) return false;
        for (size_t c = 0; c < w; ++c) out[c] = uint8_t(s[c] / wsum);
    }
    return true;
}

}  // namespace

bool TentFilterColumns(int32_t width, int32_t height, int32_t radius,
                       const std::function<const uint8_t*(int32_t)>& inRow,
                       const std::function<uint8_t*(int32_t)>& outRow) {
    if (width <= 0 || height <= 0) return true;
    const int32_t L = radius < 1 ? 1 : (radius > height ? height : radius);
    if (L == 1) {
        std::vector<uint8_t> line(static_cast<size_t>(width));
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* src = inRow(y);
            if (!src) return false;
            std::memcpy(line.data(), src, size_t(width));
            uint8_t* dst = outRow(y);
            if (!dst) return false;
            std::memcpy(dst, line.data(), size_t(width));
        }
        return true;
    }
    // 255 * L * L stays within 32 bits up to L = 2048.
    if (L <= 2048) return FilterColumns<int32_t>(width, height, L, inRow, outRow);
    return FilterColumns<int64_t>(width, height, L, inRow, outRow);
}

}  // namespace zelvo
