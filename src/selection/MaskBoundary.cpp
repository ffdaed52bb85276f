#include "selection/MaskBoundary.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>

#include "core/RowBands.h"
#include "layers/LayerRows.h"
#include "selection/SelectionMask.h"
#include "store/RowWriter.h"

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
    if (width <= 0) return;
    if (threshold <= 0) threshold = 0;
    if (threshold > 255) return;
    const uint8_t t = uint8_t(threshold);
    if (!above || !below) {
        for (int32_t i = 0; i < width; ++i)
            if (row[i] >= t) xs.push_back(offset + i);
        return;
    }
    if (row[0] >= t) xs.push_back(offset);
    // Inner columns in chunks: the flags are worked out without branches, then read eight at a
    // time, so runs wholly inside or outside cost little.
    constexpr int32_t kChunk = 256;
    uint8_t flags[kChunk];
    for (int32_t i = 1; i < width - 1; i += kChunk) {
        const int32_t n = std::min(kChunk, width - 1 - i);
        for (int32_t k = 0; k < n; ++k) {
            const int32_t j = i + k;
            flags[k] = uint8_t((row[j] >= t) & ((row[j - 1] < t) | (row[j + 1] < t) |
                                                (above[j] < t) | (below[j] < t)));
        }
        int32_t k = 0;
        for (; k + 8 <= n; k += 8) {
            uint64_t word;
            std::memcpy(&word, flags + k, 8);
            if (!word) continue;
            for (int32_t q = 0; q < 8; ++q)
                if (flags[k + q]) xs.push_back(offset + i + k + q);
        }
        for (; k < n; ++k)
            if (flags[k]) xs.push_back(offset + i + k);
    }
    if (width > 1 && row[width - 1] >= t) xs.push_back(offset + width - 1);
}

BoundaryRowSource BoundaryRows(const Rect& bounds, int threshold,
                               std::function<bool(int32_t cy, uint8_t* line)> readLine) {
    // The rows cy - 1, cy and cy + 1 of the last row asked, kept to step on to the next.
    struct Lines {
        int32_t cy = INT32_MIN;
        std::vector<uint8_t> above, row, below;
    };
    auto lines = std::make_shared<Lines>();
    const size_t w = size_t(std::max(0, bounds.Width()));
    lines->above.resize(w);
    lines->row.resize(w);
    lines->below.resize(w);
    return [lines, bounds, threshold, readLine = std::move(readLine)](int32_t cy,
                                                                      std::vector<int32_t>& xs) {
        if (cy < bounds.top || cy >= bounds.bottom || bounds.Width() <= 0) return true;
        Lines& l = *lines;
        const bool top = cy == bounds.top, bottom = cy == bounds.bottom - 1;
        if (cy == l.cy + 1) {
            std::swap(l.above, l.row);
            std::swap(l.row, l.below);
        } else if (!readLine(cy, l.row.data()) || (!top && !readLine(cy - 1, l.above.data()))) {
            l.cy = INT32_MIN;
            return false;
        }
        l.cy = INT32_MIN;
        if (!bottom && !readLine(cy + 1, l.below.data())) return false;
        l.cy = cy;
        BoundaryColumns(top ? nullptr : l.above.data(), l.row.data(),
                        bottom ? nullptr : l.below.data(), bounds.Width(), threshold, bounds.left,
                        xs);
        return true;
    };
}

BoundaryRowSource MaskBoundaryRows(const Layer& mask, RowReader& rows, int threshold) {
    const Layer* m = &mask;
    RowReader* r = &rows;
    return BoundaryRows(mask.Bounds(), threshold, [m, r](int32_t cy, uint8_t* line) {
        const uint8_t* src = r->Row(uint32_t(m->StoredRowOf(cy)));
        if (!src) return false;
        std::memcpy(line, src, size_t(m->Width()));
        return true;
    });
}

bool StampBoundary(const RoundStamp& stamp, const Rect& out, int32_t srcTop, int32_t srcBottom,
                   const BoundaryRowSource& boundaryRow,
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
                if (!boundaryRow(next, window.back().second)) return false;
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

namespace {

// 100 where `old` is inside and, growing, or marked, or, shrinking, not marked; else 0.
// Whether any pixel is set.
bool ThresholdRow(const uint8_t* __restrict old, const uint8_t* __restrict marked,
                  uint8_t* __restrict dst, int32_t w, bool grow) {
    uint8_t any = 0;
    if (grow) {
        for (int32_t i = 0; i < w; ++i) {
            const uint8_t v = uint8_t((old[i] >= kInsideStrength) | (marked[i] != 0));
            dst[i] = uint8_t(v * 100);
            any |= v;
        }
    } else {
        for (int32_t i = 0; i < w; ++i) {
            const uint8_t v = uint8_t((old[i] >= kInsideStrength) & (marked[i] == 0));
            dst[i] = uint8_t(v * 100);
            any |= v;
        }
    }
    return any != 0;
}

}  // namespace

bool ThresholdWithBoundaryDisk(Layer& selection, Layer& mask, const Rect& area, int32_t srcTop,
                               int32_t srcBottom, int32_t n, bool grow, bool& any) {
    const RoundStamp stamp = DiskStamp(n);
    const int32_t w = area.Width(), h = area.Height();
    const size_t pad = mask.Stride() - size_t(w);
    const uint64_t window = BandWindowBytes(RowBandCount(h, kLeastBandRows));
    std::atomic<bool> failed{false}, anyIn{false};
    ForEachRowBand(h, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::unique_ptr<RowReader> edges = OpenRowReader(selection, window);
        const std::unique_ptr<RowReader> old = OpenRowReader(selection, window);
        const std::unique_ptr<RowWriter> out = OpenRowWriter(mask, kWriterWindows * window);
        if (!edges || !old || !out) return void(failed = true);
        std::vector<uint8_t> line(static_cast<size_t>(w));
        bool bandAny = false;
        const bool ok =
            StampBoundary(stamp, Rect{area.left, area.top + first, area.right, area.top + end},
                          srcTop, srcBottom, MaskBoundaryRows(selection, *edges, kInsideStrength),
                          [&](int32_t cy, const uint8_t* marked) {
                              if (!ReadMaskRow(selection, *old, cy, area.left, w, line.data()))
                                  return false;
                              uint8_t* dst = out->Row(uint32_t(mask.StoredRowOf(cy)));
                              if (!dst) return false;
                              bandAny = ThresholdRow(line.data(), marked, dst, w, grow) || bandAny;
                              std::memset(dst + w, 0, pad);
                              return true;
                          });
        if (!ok || !out->Flush()) failed = true;
        if (bandAny) anyIn = true;
    });
    any = anyIn;
    return !failed;
}

}  // namespace zelvo
