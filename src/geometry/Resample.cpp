#include "geometry/Resample.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "core/CpuLevel.h"
#include "core/Limits.h"
#include "core/RowBands.h"
#include "geometry/Geometry.h"
#include "platform/Messages.h"
#include "store/RowCursor.h"
#include "store/RowWriter.h"

namespace zelvo {

namespace {

int32_t ClampIndex(int32_t v, int32_t n) {
    return v < 0 ? 0 : (v >= n ? n - 1 : v);
}

// The source index output index i samples: trunc(i / s), kept inside the source (R3 may give
// one more output pixel than i / s reaches).
int32_t NearestIndex(int32_t i, float s, int32_t n) {
    return ClampIndex(int32_t(float(i) / s), n);
}

// Per output index along one axis, the source indices it reads and their weights. Colour taps
// weigh `weight`; alpha taps (`alpha` 1) are the upper-left sample when enlarging and every
// covered sample when reducing.
struct AxisTaps {
    std::vector<int32_t> start;  // taps of output o are [start[o], start[o + 1])
    std::vector<int32_t> index;
    std::vector<uint32_t> weight;
    std::vector<uint8_t> alpha;
    std::vector<uint32_t> alphaCount;  // per output: how many alpha taps
    int32_t lowest = 0;                // the source indices used
    int32_t highest = 0;

    void Add(int32_t i, uint32_t w, bool a) {
        index.push_back(i);
        weight.push_back(w);
        alpha.push_back(a ? 1 : 0);
    }
};

// Taps for outputs first .. first + count - 1 (counted from the scaled picture's edge).
AxisTaps BuildTaps(int32_t first, int32_t count, float s, int32_t n) {
    AxisTaps t;
    t.lowest = n;
    t.highest = -1;
    for (int32_t o = 0; o < count; ++o) {
        t.start.push_back(int32_t(t.index.size()));
        const int32_t i = first + o;
        if (s == 1.0f) {
            t.Add(ClampIndex(i, n), 1, true);
        } else if (s > 1.0f) {
            const float u = float(i) / s;
            const int32_t b = ClampIndex(int32_t(u), n);
            const uint32_t w1 = uint32_t(std::lround((u - float(b)) * 256.0f));
            if (b + 1 >= n || w1 == 0) {
                // The last source row and column are copied.
                t.Add(b, 256, true);
            } else {
                t.Add(b, 256 - std::min<uint32_t>(w1, 256), true);
                t.Add(b + 1, std::min<uint32_t>(w1, 256), false);
            }
        } else {
            const int32_t lo = ClampIndex(int32_t(float(i) / s), n);
            int32_t hi = int32_t(std::ceil(float(i + 1) / s));
            hi = std::clamp(hi, lo + 1, n);
            for (int32_t k = lo; k < hi; ++k) t.Add(k, 1, true);
        }
        uint32_t alphas = 0;
        for (size_t k = size_t(t.start.back()); k < t.index.size(); ++k) {
            alphas += t.alpha[k];
            t.lowest = std::min(t.lowest, t.index[k]);
            t.highest = std::max(t.highest, t.index[k]);
        }
        t.alphaCount.push_back(alphas);
    }
    t.start.push_back(int32_t(t.index.size()));
    return t;
}

// Runs body(first, end, in, out) over bands of the output's stored rows [first, end), each band
// with its own reader of `src` and writer of `dst` (whole rows by pwrite: the new block's pages
// are never mapped, so they never fault); false when any band failed.
constexpr uint64_t kCachedWindowBytes = 256u << 10;

bool InRowBands(const Layer& src, const Layer& dst,
                const std::function<bool(int32_t, int32_t, RowReader&, RowWriter&)>& body) {
    if (!src.HasPixels() || !dst.HasPixels()) return false;
    const int32_t rows = dst.Height();
    const uint64_t window =
        BandWindowBytes(RowCursor::kDefaultWindowBytes, RowBandCount(rows, kLeastBandRows));
    std::atomic<bool> ok{true};
    ForEachRowBand(rows, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        // Every row is used as soon as it is read: a reading window that stays in the core's
        // cache is filled and emptied there. The writer holds a few of them, for fewer writes.
        const uint64_t cached = std::min<uint64_t>(window, kCachedWindowBytes);
        RowReader in(src.Store(), src.Block(), src.RowsOffset(), src.Stride(),
                     uint32_t(src.Height()), cached);
        RowWriter out(dst.Store(), dst.Block(), dst.RowsOffset(), dst.Stride(), uint32_t(rows),
                      kWriterWindows * cached);
        if (!body(first, end, in, out) || !out.Flush()) ok = false;
    });
    return ok;
}

bool ResampleNearest(Layer& src, Layer& dst, const Rect& full, float sx, float sy) {
    const Rect kept = dst.Bounds();
    const int32_t w = src.Width(), h = src.Height(), kw = kept.Width();
    std::vector<int32_t> column(static_cast<size_t>(kw));
    for (int32_t o = 0; o < kw; ++o)
        column[size_t(o)] = NearestIndex(kept.left - full.left + o, sx, w);
    return InRowBands(src, dst, [&](int32_t first, int32_t end, RowReader& in, RowWriter& out) {
        std::vector<uint32_t> line(static_cast<size_t>(kw));
        int32_t lineSource = -1;
        // Stored rows bottom-up, so both blocks are walked forward.
        for (int32_t r = first; r < end; ++r) {
            const int32_t y = kept.bottom - 1 - r;
            const int32_t source = h - 1 - NearestIndex(y - full.top, sy, h);
            if (source != lineSource) {
                const uint8_t* s = in.Row(uint32_t(source));
                if (!s) return false;
                const uint32_t* sp = reinterpret_cast<const uint32_t*>(s);
                for (int32_t o = 0; o < kw; ++o) line[size_t(o)] = sp[column[size_t(o)]];
                lineSource = source;
            }
            uint8_t* d = out.Row(uint32_t(r));
            if (!d) return false;
            std::memcpy(d, line.data(), 4 * size_t(kw));
        }
        return true;
    });
}

bool ResampleCopy(Layer& src, Layer& dst, const Rect& full) {
    const Rect kept = dst.Bounds();
    const int32_t h = src.Height();
    const size_t from = 4 * size_t(kept.left - full.left);
    return InRowBands(src, dst, [&](int32_t first, int32_t end, RowReader& in, RowWriter& out) {
        for (int32_t r = first; r < end; ++r) {
            const int32_t y = kept.bottom - 1 - r;
            const uint8_t* s = in.Row(uint32_t(h - 1 - ClampIndex(y - full.top, h)));
            uint8_t* d = out.Row(uint32_t(r));
            if (!s || !d) return false;
            std::memcpy(d, s + from, 4 * size_t(kept.Width()));
        }
        return true;
    });
}

// One pixel at a time in 64-bit sums: for any tap sums.
bool SmoothPlain(Layer& src, Layer& dst, const AxisTaps& cols, const AxisTaps& rows) {
    const Rect kept = dst.Bounds();
    const int32_t h = src.Height(), kw = kept.Width(), kh = kept.Height();
    const int32_t c0 = cols.lowest, span = cols.highest - cols.lowest + 1;
    return InRowBands(src, dst, [&](int32_t first, int32_t end, RowReader& in, RowWriter& out) {
        // Per source column, the row taps summed: colour of the opaque samples, their weight,
        // alpha.
        std::vector<uint32_t> sumB(static_cast<size_t>(span)), sumG(sumB.size()), sumR(sumB.size()),
            sumW(sumB.size()), sumA(sumB.size());
        for (int32_t r = first; r < end; ++r) {
            const int32_t o = kh - 1 - r;  // output row from the top of the kept part
            std::fill(sumB.begin(), sumB.end(), 0u);
            std::fill(sumG.begin(), sumG.end(), 0u);
            std::fill(sumR.begin(), sumR.end(), 0u);
            std::fill(sumW.begin(), sumW.end(), 0u);
            std::fill(sumA.begin(), sumA.end(), 0u);
            // Taps in stored-row order (the reverse of theirs), so the reader's window only
            // moves forward: the integer sums do not depend on the order.
            for (int32_t k = rows.start[size_t(o) + 1] - 1; k >= rows.start[size_t(o)]; --k) {
                const uint8_t* s = in.Row(uint32_t(h - 1 - rows.index[size_t(k)]));
                if (!s) return false;
                const uint32_t wy = rows.weight[size_t(k)];
                const bool alphaTap = rows.alpha[size_t(k)] != 0;
                s += 4 * size_t(c0);
                for (int32_t c = 0; c < span; ++c, s += 4) {
                    const uint32_t a = s[3];
                    if (alphaTap) sumA[size_t(c)] += a;
                    if (a == 0) continue;
                    sumB[size_t(c)] += wy * s[0];
                    sumG[size_t(c)] += wy * s[1];
                    sumR[size_t(c)] += wy * s[2];
                    sumW[size_t(c)] += wy;
                }
            }
            const uint64_t rowAlphas = rows.alphaCount[size_t(o)];
            uint8_t* d = out.Row(uint32_t(r));
            if (!d) return false;
            for (int32_t x = 0; x < kw; ++x, d += 4) {
                uint64_t b = 0, g = 0, red = 0, wsum = 0, a = 0;
                for (int32_t k = cols.start[size_t(x)]; k < cols.start[size_t(x) + 1]; ++k) {
                    const size_t c = size_t(cols.index[size_t(k)] - c0);
                    const uint64_t wx = cols.weight[size_t(k)];
                    b += wx * sumB[c];
                    g += wx * sumG[c];
                    red += wx * sumR[c];
                    wsum += wx * sumW[c];
                    if (cols.alpha[size_t(k)]) a += sumA[c];
                }
                const uint64_t alphaDiv = rowAlphas * cols.alphaCount[size_t(x)];
                d[3] = uint8_t(alphaDiv ? (a + alphaDiv / 2) / alphaDiv : 0);
                if (wsum == 0) {
                    d[0] = d[1] = d[2] = 0;
                    continue;
                }
                d[0] = uint8_t((b + wsum / 2) / wsum);
                d[1] = uint8_t((g + wsum / 2) / wsum);
                d[2] = uint8_t((red + wsum / 2) / wsum);
            }
        }
        return true;
    });
}

// The vector path's helpers are internal and inlined: no call crosses an ABI boundary.
#pragma GCC diagnostic ignored "-Wpsabi"
using V8u = uint32_t __attribute__((vector_size(32)));
using V8i = int32_t __attribute__((vector_size(32)));
using V8d = double __attribute__((vector_size(64)));
using V8f = float __attribute__((vector_size(32)));
constexpr int32_t kLanes = 8;

inline V8u Load8(const uint32_t* p) {
    V8u v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store8(uint32_t* p, const V8u& v) {
    std::memcpy(p, &v, sizeof v);
}

// The column taps laid out for eight outputs at a time: every output gets as many taps as the
// one with most, the extra ones weighing 0 with no alpha; the outputs are padded to a multiple
// of eight the same way. Tap t of output x is entry t * width + x.
struct LaneTaps {
    int32_t lowest = 0;           // the lowest source column read
    int32_t count = 0;            // taps per output
    int32_t width = 0;            // outputs, padded
    std::vector<uint32_t> index;  // source column counted from AxisTaps::lowest
    std::vector<uint32_t> weight;
    std::vector<uint32_t> alpha;       // ~0 for an alpha tap
    std::vector<uint32_t> alphaCount;  // per output
};

LaneTaps LayTaps(const AxisTaps& t, int32_t outputs) {
    LaneTaps l;
    l.lowest = t.lowest;
    for (int32_t o = 0; o < outputs; ++o)
        l.count = std::max(l.count, t.start[size_t(o) + 1] - t.start[size_t(o)]);
    l.width = (outputs + kLanes - 1) / kLanes * kLanes;
    const size_t n = size_t(l.count) * size_t(l.width);
    l.index.assign(n, 0);
    l.weight.assign(n, 0);
    l.alpha.assign(n, 0);
    l.alphaCount.assign(size_t(l.width), 0);
    for (int32_t o = 0; o < outputs; ++o) {
        for (int32_t k = t.start[size_t(o)]; k < t.start[size_t(o) + 1]; ++k) {
            const size_t at = size_t(k - t.start[size_t(o)]) * size_t(l.width) + size_t(o);
            l.index[at] = uint32_t(t.index[size_t(k)] - t.lowest);
            l.weight[at] = t.weight[size_t(k)];
            l.alpha[at] = t.alpha[size_t(k)] ? ~0u : 0u;
        }
        l.alphaCount[size_t(o)] = t.alphaCount[size_t(o)];
    }
    return l;
}

// One source row's column taps summed for every output column, in planes B, G, R (of the
// opaque samples, weighted), weight, alpha (of the alpha taps) of `width` words: the plain
// path's sums with the two axes taken the other way round, which integer sums allow. `s` is
// the row from the lowest column the taps read.
[[gnu::always_inline]] inline void SumColumnTaps(const LaneTaps& taps, const uint8_t* s,
                                                 uint32_t* planes) {
    const size_t stride = size_t(taps.width);
    for (int32_t x = 0; x < taps.width; x += kLanes) {
        V8u b{}, g{}, r{}, wt{}, a{};
        for (int32_t t = 0; t < taps.count; ++t) {
            const size_t at = size_t(t) * stride + size_t(x);
            const uint32_t* index = taps.index.data() + at;
            V8u p;
            for (int32_t lane = 0; lane < kLanes; ++lane) {
                uint32_t word;
                std::memcpy(&word, s + 4 * size_t(index[lane]), 4);
                p[lane] = word;
            }
            const V8u alpha = p >> 24;
            const V8u on = V8u(alpha != 0) & Load8(taps.weight.data() + at);
            b += on * (p & 0xff);
            g += on * ((p >> 8) & 0xff);
            r += on * ((p >> 16) & 0xff);
            wt += on;
            a += alpha & Load8(taps.alpha.data() + at);
        }
        Store8(planes + size_t(x), b);
        Store8(planes + stride + size_t(x), g);
        Store8(planes + 2 * stride + size_t(x), r);
        Store8(planes + 3 * stride + size_t(x), wt);
        Store8(planes + 4 * stride + size_t(x), a);
    }
}

// trunc(n / d) lane by lane, 0 where d is 0, for integers n and d with n + d below 2^31 (in
// doubles) or 2^23 (in floats). Exact either way: the rounded quotient of integers that small
// never reaches the next integer, as it lies at least 1 / d below it, more than half a unit in
// the last place.
template <class V8r>
[[gnu::always_inline]] inline V8u Quotient(const V8u& n, const V8u& d) {
    const V8i zero = V8i(d == 0);
    const V8r q = __builtin_convertvector(V8i(n), V8r) /
                  __builtin_convertvector(zero ? V8i{} + 1 : V8i(d), V8r);
    return V8u(__builtin_convertvector(q, V8i) & ~zero);
}

template <class V8r>
[[gnu::always_inline]] inline V8u Words(const V8u& b, const V8u& g, const V8u& r, const V8u& wsum,
                                        const V8u& a, const V8u& alphaDiv) {
    const V8u half = wsum / 2;
    return Quotient<V8r>(b + half, wsum) | Quotient<V8r>(g + half, wsum) << 8 |
           Quotient<V8r>(r + half, wsum) << 16 | Quotient<V8r>(a + alphaDiv / 2, alphaDiv) << 24;
}

// A row's column sums, kept for the few output rows that read it.
struct SummedRows {
    SummedRows(int32_t slots, size_t words, bool narrow)
        : rows(size_t(slots), INT32_MIN), planes(slots * words), narrow(narrow) {}
    std::vector<int32_t> rows;
    std::vector<uint32_t> planes;
    bool narrow;  // every sum is small enough to divide in floats
};

// The vector path: every output row of [first, end), each from its rows' column sums.
[[gnu::always_inline]] inline bool SmoothRows(int32_t first, int32_t end, RowReader& in,
                                              RowWriter& out, const LaneTaps& cols,
                                              const AxisTaps& rows, int32_t h, int32_t kh,
                                              int32_t kw, SummedRows& cache) {
    const bool narrow = cache.narrow;
    const size_t stride = size_t(cols.width), words = 5 * stride;
    const size_t slots = cache.rows.size();
    std::vector<const uint32_t*> taps;
    for (int32_t r = first; r < end; ++r) {
        const int32_t o = kh - 1 - r;
        taps.clear();
        // Taps in stored-row order, so the reader's window only moves forward.
        for (int32_t k = rows.start[size_t(o) + 1] - 1; k >= rows.start[size_t(o)]; --k) {
            const int32_t row = h - 1 - rows.index[size_t(k)];
            const size_t slot = size_t(row) % slots;
            uint32_t* planes = cache.planes.data() + slot * words;
            if (cache.rows[slot] != row) {
                const uint8_t* s = in.Row(uint32_t(row));
                if (!s) return false;
                SumColumnTaps(cols, s + 4 * size_t(cols.lowest), planes);
                cache.rows[slot] = row;
            }
            taps.push_back(planes);
        }
        uint32_t* d = reinterpret_cast<uint32_t*>(out.Row(uint32_t(r)));
        if (!d) return false;
        const uint32_t rowAlphas = rows.alphaCount[size_t(o)];
        for (int32_t x = 0; x < kw; x += kLanes) {
            V8u b{}, g{}, red{}, wsum{}, a{};
            for (size_t k = 0; k < taps.size(); ++k) {
                const size_t tap = size_t(rows.start[size_t(o) + 1]) - 1 - k;
                const uint32_t wy = rows.weight[tap];
                const uint32_t* p = taps[k] + x;
                b += wy * Load8(p);
                g += wy * Load8(p + stride);
                red += wy * Load8(p + 2 * stride);
                wsum += wy * Load8(p + 3 * stride);
                if (rows.alpha[tap]) a += Load8(p + 4 * stride);
            }
            const V8u alphaDiv = rowAlphas * Load8(cols.alphaCount.data() + x);
            const V8u words8 = narrow ? Words<V8f>(b, g, red, wsum, a, alphaDiv)
                                      : Words<V8d>(b, g, red, wsum, a, alphaDiv);
            if (x + kLanes <= kw)
                std::memcpy(d + x, &words8, sizeof words8);
            else
                std::memcpy(d + x, &words8, 4 * size_t(kw - x));
        }
    }
    return true;
}

using SmoothRowsFn = bool (*)(int32_t, int32_t, RowReader&, RowWriter&, const LaneTaps&,
                              const AxisTaps&, int32_t, int32_t, int32_t, SummedRows&);

__attribute__((target("arch=x86-64-v4"))) bool SmoothRowsV4(
    int32_t first, int32_t end, RowReader& in, RowWriter& out, const LaneTaps& cols,
    const AxisTaps& rows, int32_t h, int32_t kh, int32_t kw, SummedRows& sums) {
    return SmoothRows(first, end, in, out, cols, rows, h, kh, kw, sums);
}
__attribute__((target("avx2"))) bool SmoothRowsAvx2(int32_t first, int32_t end, RowReader& in,
                                                    RowWriter& out, const LaneTaps& cols,
                                                    const AxisTaps& rows, int32_t h, int32_t kh,
                                                    int32_t kw, SummedRows& sums) {
    return SmoothRows(first, end, in, out, cols, rows, h, kh, kw, sums);
}
bool SmoothRowsBase(int32_t first, int32_t end, RowReader& in, RowWriter& out, const LaneTaps& cols,
                    const AxisTaps& rows, int32_t h, int32_t kh, int32_t kw, SummedRows& sums) {
    return SmoothRows(first, end, in, out, cols, rows, h, kh, kw, sums);
}

// The largest sum of weights over one output's taps.
uint64_t MostWeight(const AxisTaps& t) {
    uint64_t most = 0;
    for (size_t o = 0; o + 1 < t.start.size(); ++o) {
        uint64_t sum = 0;
        for (int32_t k = t.start[o]; k < t.start[o + 1]; ++k) sum += t.weight[size_t(k)];
        most = std::max(most, sum);
    }
    return most;
}

bool ResampleSmooth(Layer& src, Layer& dst, const Rect& full, float sx, float sy,
                    ResampleArithmetic arithmetic) {
    const Rect kept = dst.Bounds();
    const int32_t w = src.Width(), h = src.Height(), kw = kept.Width(), kh = kept.Height();
    const AxisTaps cols = BuildTaps(kept.left - full.left, kw, sx, w);
    const AxisTaps rows = BuildTaps(kept.top - full.top, kh, sy, h);
    // The vector path sums in 32 bits and divides in floats or doubles: every sum and divisor
    // together stay below 257 x the most weight an output pixel gathers.
    const uint64_t weight = MostWeight(cols) * MostWeight(rows);
    const bool small = weight < (uint64_t(1) << 23);
    if (arithmetic == ResampleArithmetic::Best) arithmetic = BestResampleArithmetic();
    if (arithmetic == ResampleArithmetic::Plain || !small ||
        !ResampleArithmeticAvailable(arithmetic))
        return SmoothPlain(src, dst, cols, rows);
    const SmoothRowsFn fn = arithmetic == ResampleArithmetic::V4     ? SmoothRowsV4
                            : arithmetic == ResampleArithmetic::Avx2 ? SmoothRowsAvx2
                                                                     : SmoothRowsBase;
    const LaneTaps lanes = LayTaps(cols, kw);
    // An output row reads at most this many rows, each summed once for all that read it.
    int32_t rowTaps = 0;
    for (int32_t o = 0; o < kh; ++o)
        rowTaps = std::max(rowTaps, rows.start[size_t(o) + 1] - rows.start[size_t(o)]);
    return InRowBands(src, dst, [&](int32_t first, int32_t end, RowReader& in, RowWriter& out) {
        SummedRows sums(rowTaps + 1, 5 * size_t(lanes.width), 257 * weight < (uint64_t(1) << 23));
        return fn(first, end, in, out, lanes, rows, h, kh, kw, sums);
    });
}

}  // namespace

bool ResampleArithmeticAvailable(ResampleArithmetic arithmetic) {
    switch (arithmetic) {
        case ResampleArithmetic::V4:
            return CpuRuns(CpuLevel::V4);
        case ResampleArithmetic::Avx2:
            return CpuRuns(CpuLevel::Avx2);
        default:
            return true;
    }
}

ResampleArithmetic BestResampleArithmetic() {
    static const ResampleArithmetic best =
        ResampleArithmeticAvailable(ResampleArithmetic::V4)     ? ResampleArithmetic::V4
        : ResampleArithmeticAvailable(ResampleArithmetic::Avx2) ? ResampleArithmetic::Avx2
                                                                : ResampleArithmetic::Base;
    return best;
}

Rect ScaledLayerRect(const Rect& r, float sx, float sy) {
    // A layer far off the canvas stops where positions end, as a move does.
    const int32_t left = ClampCoordinate(RoundR3(float(r.left) * sx));
    const int32_t top = ClampCoordinate(RoundR3(float(r.top) * sy));
    return {left, top, left + RoundR3(float(r.Width()) * sx),
            top + RoundR3(float(r.Height()) * sy)};
}

bool ResamplePixels(Layer& src, Layer& dst, const Rect& full, float sx, float sy, ResampleMode mode,
                    ResampleArithmetic arithmetic) {
    if (src.BitsPerPixel() != 32 || dst.BitsPerPixel() != 32 || !src.HasPixels() ||
        !dst.HasPixels() || !(sx > 0.0f) || !(sy > 0.0f))
        return false;
    if (mode == ResampleMode::Nearest) return ResampleNearest(src, dst, full, sx, sy);
    if (sx == 1.0f && sy == 1.0f) return ResampleCopy(src, dst, full);
    return ResampleSmooth(src, dst, full, sx, sy, arithmetic);
}

LayerPtr ResampleLayer(LayerManager& layers, Layer& old, const Rect& full, float sx, float sy,
                       ResampleMode mode, const Rect& canvas, bool cutToCanvas) {
    Rect kept = full;
    if (!full.IsEmpty() && int64_t(full.Width()) * int64_t(full.Height()) > kMaxScaledLayerPixels) {
        AppMessages().Show(kWillBeCutMessage);
        kept = full.Intersect(canvas);
    } else if (cutToCanvas) {
        kept = full.Intersect(canvas);
    }
    if (kept.IsEmpty() || !old.HasPixels()) return NewLayerLike(layers, old, LayerKind::Null, 0, 0);
    LayerPtr fresh = NewLayerLike(layers, old, LayerKind::Pixel, kept.Width(), kept.Height());
    if (!fresh) return nullptr;
    fresh->SetPosition(kept.left, kept.top);
    if (!ResamplePixels(old, *fresh, full, sx, sy, mode)) return nullptr;
    return fresh;
}

}  // namespace zelvo
