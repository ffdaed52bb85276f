// The column pass of the tent filter keeps one running state per column (the weighted sum and
// the sums of the two halves) and walks the rows once, so its cost does not grow with L.
#include "selection/TentFilter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zelvo {

namespace {

template <class Acc>
bool FilterColumns(int32_t width, int32_t height, int32_t L, int32_t first, int32_t end,
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

    // The sums at row `first` straight from their definition: the left half holds rows
    // first-L .. first-1 (the farthest with weight 0), the right half first .. first+L-1.
    Acc wsum = 0;
    for (int32_t k = std::max(0, first - L); k < std::min(height, first + L); ++k) {
        if (!load(k)) return false;
        const uint8_t* row = slot(k);
        const Acc weight = Acc(L - (k < first ? first - k : k - first));
        wsum += weight;
        Acc* half = k < first ? left.data() : right.data();
        for (size_t c = 0; c < w; ++c) {
            s[c] += weight * row[c];
            half[c] += row[c];
        }
    }
    uint8_t* out = outRow(first);
    if (!out) return false;
    for (size_t c = 0; c < w; ++c) out[c] = uint8_t(s[c] / wsum);

    for (int32_t x = first + 1; x < end; ++x) {
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
    return TentFilterColumnBand(width, height, radius, 0, height, inRow, outRow);
}

bool TentFilterColumnBand(int32_t width, int32_t height, int32_t radius, int32_t first, int32_t end,
                          const std::function<const uint8_t*(int32_t)>& inRow,
                          const std::function<uint8_t*(int32_t)>& outRow) {
    first = std::max(first, 0);
    end = std::min(end, height);
    if (width <= 0 || first >= end) return true;
    const int32_t L = radius < 1 ? 1 : (radius > height ? height : radius);
    if (L == 1) {
        std::vector<uint8_t> line(static_cast<size_t>(width));
        for (int32_t y = first; y < end; ++y) {
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
    if (L <= 2048) return FilterColumns<int32_t>(width, height, L, first, end, inRow, outRow);
    return FilterColumns<int64_t>(width, height, L, first, end, inRow, outRow);
}

}  // namespace zelvo
