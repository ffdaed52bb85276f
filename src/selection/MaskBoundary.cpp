#include "selection/MaskBoundary.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <utility>

#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

// Collects the set cells of a size x size grid into per-row spans. `set(i, j)` says whether
// cell (i, j) is set; it stands for column offset i - centre and row offset
// rowSign * (j - centre). The round grids here have contiguous rows.
template <class Pred>
RoundStamp FromGrid(int32_t size, int32_t centre, int32_t rowSign, Pred set) {
    RoundStamp s;
    if (size <= 0) return s;
    int32_t dyMin = INT32_MAX, dyMax = INT32_MIN;
    std::vector<std::pair<int32_t, std::pair<int32_t, int32_t>>> rows;
    for (int32_t j = 0; j < size; ++j) {
        int32_t lo = INT32_MAX, hi = INT32_MIN;
        for (int32_t i = 0; i < size; ++i) {
            if (!set(i, j)) continue;
            lo = std::min(lo, i - centre);
            hi = std::max(hi, i - centre);
        }
        if (lo > hi) continue;
        const int32_t dy = rowSign * (j - centre);
        dyMin = std::min(dyMin, dy);
        dyMax = std::max(dyMax, dy);
        rows.push_back({dy, {lo, hi}});
    }
    if (rows.empty()) return s;
    s.dyMin = dyMin;
    s.lo.assign(size_t(dyMax - dyMin + 1), 1);
    s.hi.assign(size_t(dyMax - dyMin + 1), 0);
    for (const auto& r : rows) {
        s.lo[size_t(r.first - dyMin)] = r.second.first;
        s.hi[size_t(r.first - dyMin)] = r.second.second;
    }
    return s;
}

}  // namespace

RoundStamp DiskStamp(int32_t n) {
    const int64_t r2 = int64_t(n - 1) * (n - 1);
    return FromGrid(2 * n, n, 1, [&](int32_t i, int32_t j) {
        const int64_t di = i - n, dj = j - n;
        return n >= 1 && di * di + dj * dj <= r2;
    });
}

RoundStamp BorderStamp(int32_t w) {
    const int32_t h = w / 2;
    const int64_t r2 = int64_t(h) * h;
    return FromGrid(w, h, -1, [&](int32_t i, int32_t j) {
        const int64_t di = i - h, dj = j - h;
        return di * di + dj * dj <= r2;
    });
}

void BoundaryColumns(const uint8_t* above, const uint8_t* row, const uint8_t* below, int32_t width,
                     int threshold, int32_t offset, std::vector<int32_t>& xs) {
    const bool edgeRow = !above || !below;
    for (int32_t i = 0; i < width; ++i) {
        if (row[i] < threshold) continue;
        if (edgeRow || i == 0 || i == width - 1 || row[i - 1] < threshold ||
            row[i + 1] < threshold || above[i] < threshold || below[i] < threshold)
            xs.push_back(offset + i);
    }
}

std::function<void(int32_t cy, std::vector<int32_t>& xs)> MaskBoundaryRows(Layer& mask,
                                                                           int threshold) {
    struct Lines {
        std::vector<uint8_t> above, row, below;
    };
    auto lines = std::make_shared<Lines>();
    Layer* m = &mask;
    return [lines, m, threshold](int32_t cy, std::vector<int32_t>& xs) {
        const Rect b = m->Bounds();
        if (cy < b.top || cy >= b.bottom) return;
        const size_t w = size_t(b.Width());
        lines->above.resize(w);
        lines->row.resize(w);
        lines->below.resize(w);
        ReadMaskRow(*m, cy, b.left, b.Width(), lines->row.data());
        const bool top = cy == b.top, bottom = cy == b.bottom - 1;
        if (!top) ReadMaskRow(*m, cy - 1, b.left, b.Width(), lines->above.data());
        if (!bottom) ReadMaskRow(*m, cy + 1, b.left, b.Width(), lines->below.data());
        BoundaryColumns(top ? nullptr : lines->above.data(), lines->row.data(),
                        bottom ? nullptr : lines->below.data(), b.Width(), threshold, b.left, xs);
    };
}

bool StampBoundary(const RoundStamp& stamp, const Rect& out, int32_t srcTop, int32_t srcBottom,
                   const std::function<void(int32_t cy, std::vector<int32_t>& xs)>& boundaryRow,
                   const std::function<bool(int32_t cy, const uint8_t* covered)>& emitRow) {
    const int32_t width = out.Width();
    if (width <= 0) return true;
    std::vector<int32_t> diff(size_t(width) + 1);
    std::vector<uint8_t> covered(static_cast<size_t>(width));
    std::deque<std::pair<int32_t, std::vector<int32_t>>> window;  // source rows in reach
    int32_t next = srcTop;
    for (int32_t y = out.top; y < out.bottom; ++y) {
        std::fill(covered.begin(), covered.end(), 0);
        if (!stamp.IsEmpty()) {
            // Output row y is reached by source rows y - dyMax .. y - dyMin.
            const int32_t lo = std::max(srcTop, y - stamp.DyMax());
            const int32_t hi = std::min(srcBottom - 1, y - stamp.dyMin);
            while (!window.empty() && window.front().first < lo) window.pop_front();
            if (next < lo) next = lo;
            for (; next <= hi; ++next) {
                window.emplace_back(next, std::vector<int32_t>{});
                boundaryRow(next, window.back().second);
            }
            std::fill(diff.begin(), diff.end(), 0);
            bool any = false;
            for (const auto& [cy, xs] : window) {
                const int32_t dy = y - cy;
                if (dy < stamp.dyMin || dy > stamp.DyMax()) continue;
                const int32_t dxLo = stamp.lo[size_t(dy - stamp.dyMin)];
                const int32_t dxHi = stamp.hi[size_t(dy - stamp.dyMin)];
                if (dxLo > dxHi) continue;
                for (const int32_t x : xs) {
                    const int32_t a = std::max(0, x + dxLo - out.left);
                    const int32_t b = std::min(width, x + dxHi + 1 - out.left);
                    if (a >= b) continue;
                    ++diff[size_t(a)];
                    --diff[size_t(b)];
                    any = true;
                }
            }
            if (any) {
                int32_t run = 0;
                for (int32_t i = 0; i < width; ++i) {
                    run += diff[size_t(i)];
                    covered[size_t(i)] = run > 0;
                }
            }
        }
        if (!emitRow(y, covered.data())) return false;
    }
    return true;
}

bool ThresholdWithBoundaryDisk(Layer& selection, Layer& mask, const Rect& area, int32_t srcTop,
                               int32_t srcBottom, int32_t n, bool grow, bool& any) {
    std::vector<uint8_t> old(size_t(area.Width()));
    any = false;
    const bool ok = StampBoundary(
        DiskStamp(n), area, srcTop, srcBottom, MaskBoundaryRows(selection, kInsideStrength),
        [&](int32_t cy, const uint8_t* marked) {
            ReadMaskRow(selection, cy, area.left, area.Width(), old.data());
            uint8_t* dst = MaskRow(mask, cy);
            if (!dst) return false;
            for (int32_t i = 0; i < area.Width(); ++i) {
                const bool inside = old[size_t(i)] >= kInsideStrength;
                const bool in = grow ? (marked[i] || inside) : (!marked[i] && inside);
                dst[i] = in ? 100 : 0;
                any = any || in;
            }
            return true;
        });
    selection.ReleaseRows();
    return ok;
}

}  // namespace zelvo
