#include "geometry/FreeTransform.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/Limits.h"
#include "core/RowBands.h"
#include "history/PixelEdit.h"
#include "layers/LayerRows.h"
#include "layers/StoreMapping.h"
#include "layers/StoredDib.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

constexpr int64_t kMaxFramePixels = 20000000;
// Corners computed through sines and cosines land a hair off whole pixels.
constexpr double kSnap = 1e-4;

double Cross(PointD a, PointD b) {
    return a.x * b.y - a.y * b.x;
}
PointD Sub(PointD a, PointD b) {
    return {a.x - b.x, a.y - b.y};
}
PointD Add(PointD a, PointD b) {
    return {a.x + b.x, a.y + b.y};
}
PointD Scale(PointD a, double k) {
    return {a.x * k, a.y * k};
}
PointD Lerp(PointD a, PointD b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

PointD Centre(const FrameCorners& f) {
    double l = f[0].x, r = f[0].x, t = f[0].y, b = f[0].y;
    for (const PointD& p : f) {
        l = std::min(l, p.x), r = std::max(r, p.x), t = std::min(t, p.y), b = std::max(b, p.y);
    }
    return {(l + r) / 2, (t + b) / 2};
}

// Where a destination row crosses the frame: the leftmost and rightmost crossings, with the
// source points they stand for. False when the row misses the frame.
struct Crossing {
    double x;
    PointD source;
};
bool CrossRow(const FrameCorners& f, const std::array<PointD, 4>& src, double y, Crossing& left,
              Crossing& right) {
    bool any = false;
    for (int k = 0; k < 4; ++k) {
        const PointD a = f[size_t(k)], b = f[size_t((k + 1) % 4)];
        if (a.y == b.y) continue;
        const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
        if (y < lo || y > hi) continue;
        const double t = (y - a.y) / (b.y - a.y);
        const Crossing c{a.x + (b.x - a.x) * t, Lerp(src[size_t(k)], src[size_t((k + 1) % 4)], t)};
        if (!any || c.x < left.x) left = c;
        if (!any || c.x > right.x) right = c;
        any = true;
    }
    return any;
}

// SampleAt without the calls of the C library: floor and lround by integer conversion (the
// positions lie far inside int64 and the weights are positive), the same results bit for bit.
struct Axis {
    int32_t first, second, weight;
};
inline Axis AxisAt(double position, int32_t size) {
    double base = double(int64_t(position));
    if (base > position) base -= 1;
    const double fraction = position - base;
    const double top = double(std::max(0, size - 1));
    const auto index = [top](double v) { return int32_t(v < 0 ? 0 : (v > top ? top : v)); };
    if (fraction >= 0.2 && fraction <= 0.8) {
        const double w = fraction * 256;
        int32_t weight = int32_t(w);
        if (w - weight >= 0.5) ++weight;
        return {index(base), index(base + 1), weight};
    }
    const int32_t nearest = index(fraction < 0.5 ? base : base + 1);
    return {nearest, nearest, 0};
}

// The bilinear mix of four pixel words with weights in 1/256, two channels at a time in the
// two 32-bit halves of a 64-bit word (no half exceeds 25 bits, so nothing carries across).
inline uint32_t Mix(uint32_t p00, uint32_t p01, uint32_t p10, uint32_t p11, uint32_t wx,
                    uint32_t wy) {
    const auto even = [](uint32_t p) {
        return uint64_t(p & 0xFFu) | uint64_t(p & 0xFF0000u) << 16;
    };
    const auto odd = [](uint32_t p) {
        return uint64_t((p >> 8) & 0xFFu) | uint64_t((p >> 24) & 0xFFu) << 32;
    };
    const uint64_t ux = 256 - wx, uy = 256 - wy;
    constexpr uint64_t kHalf = 0x0000800000008000ull, kByte = 0x000000FF000000FFull;
    const auto lanes = [&](uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
        const uint64_t top = a * ux + b * wx, bottom = c * ux + d * wx;
        return ((top * uy + bottom * wy + kHalf) >> 16) & kByte;
    };
    const uint64_t e = lanes(even(p00), even(p01), even(p10), even(p11));
    const uint64_t o = lanes(odd(p00), odd(p01), odd(p10), odd(p11));
    return uint32_t(e) | uint32_t(e >> 32) << 16 | uint32_t(o) << 8 | uint32_t(o >> 32) << 24;
}

struct SourceRows;
// Draw columns c.. of a row eight at a time while eight are left before `last`; return the
// first column left for the scalar loop.
int32_t DrawColumnsV4(const SourceRows& source, uint32_t* line, int32_t c, int32_t last,
                      double leftX, double span, PointD start, PointD extent);
int32_t DrawColumnsAvx2(const SourceRows& source, uint32_t* line, int32_t c, int32_t last,
                        double leftX, double span, PointD start, PointD extent);

// The source layer read in place, and one destination row drawn from it between the row's
// crossings with the frame.
struct SourceRows {
    const uint8_t* rows;  // stored bottom-up
    uint32_t stride;
    int32_t sw, sh;
    int32_t areaLeft, atX;  // the destination's left edge and the source's, on the canvas
    CpuLevel kernel;        // Base: one column at a time; Avx2 and V4: eight

    // Columns from..to only, so a band of rows can be drawn in tiles.
    void DrawRow(uint32_t* line, int32_t from, int32_t to, const Crossing& left,
                 const Crossing& right) const {
        const double span = right.x - left.x;
        const int32_t first = std::max(from, int32_t(std::ceil(left.x - 0.5 + atX - areaLeft)));
        const int32_t last = std::min(to, int32_t(std::floor(right.x - 0.5 + atX - areaLeft)));
        const double sx = left.source.x, sy = left.source.y;
        const double ex = right.source.x - sx, ey = right.source.y - sy;
        int32_t c = first;
        if (kernel >= CpuLevel::V4 && c <= last)
            c = DrawColumnsV4(*this, line, c, last, left.x, span, {sx, sy}, {ex, ey});
        else if (kernel >= CpuLevel::Avx2 && c <= last)
            c = DrawColumnsAvx2(*this, line, c, last, left.x, span, {sx, sy}, {ex, ey});
        for (; c <= last; ++c) {
            // The sums of the row mapping term for term, so every pixel is the rule's.
            const double x = areaLeft + c + 0.5 - atX;
            const double s = span > 0 ? (x - left.x) / span : 0;
            const Axis ax = AxisAt(sx + ex * s - 0.5, sw), ay = AxisAt(sy + ey * s - 0.5, sh);
            const uint8_t* row0 = rows + size_t(sh - 1 - ay.first) * stride;
            uint32_t p00;
            std::memcpy(&p00, row0 + size_t(ax.first) * 4, 4);
            if ((ax.weight | ay.weight) == 0) {
                line[c] = p00;
                continue;
            }
            const uint8_t* row1 = rows + size_t(sh - 1 - ay.second) * stride;
            uint32_t p01, p10, p11;
            std::memcpy(&p01, row0 + size_t(ax.second) * 4, 4);
            std::memcpy(&p10, row1 + size_t(ax.first) * 4, 4);
            std::memcpy(&p11, row1 + size_t(ax.second) * 4, 4);
            line[c] = Mix(p00, p01, p10, p11, uint32_t(ax.weight), uint32_t(ay.weight));
        }
    }
};

#if defined(__x86_64__)
#define ZELVO_V4 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
// The vector helpers are internal and inlined: no call crosses an ABI boundary. The masked forms
// of the intrinsics, all lanes set, spare GCC 12's warnings about the unmasked ones' undefined
// start values.
#pragma GCC diagnostic ignored "-Wpsabi"

ZELVO_V4 inline __m256i IndexV4(__m512d v, __m512d top) {
    return _mm512_maskz_cvttpd_epi32(
        0xff, _mm512_maskz_min_pd(0xff, _mm512_maskz_max_pd(0xff, v, _mm512_setzero_pd()), top));
}

// AxisAt lane by lane, with the same operations in the same order.
struct AxesV4 {
    __m256i first, second, weight;
};
ZELVO_V4 inline AxesV4 AxisAtV4(__m512d position, __m512d top) {
    // The floor, as the scalar truncation stepped down below a negative position gives it.
    const __m512d base =
        _mm512_maskz_roundscale_pd(0xff, position, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512d fraction = _mm512_sub_pd(position, base);
    const __mmask8 mid = _mm512_cmp_pd_mask(fraction, _mm512_set1_pd(0.2), _CMP_GE_OQ) &
                         _mm512_cmp_pd_mask(fraction, _mm512_set1_pd(0.8), _CMP_LE_OQ);
    const __m512d w = _mm512_mul_pd(fraction, _mm512_set1_pd(256));
    __m256i weight = _mm512_maskz_cvttpd_epi32(0xff, w);
    const __mmask8 up = _mm512_cmp_pd_mask(_mm512_sub_pd(w, _mm512_maskz_cvtepi32_pd(0xff, weight)),
                                           _mm512_set1_pd(0.5), _CMP_GE_OQ);
    weight = _mm256_mask_add_epi32(weight, up, weight, _mm256_set1_epi32(1));
    const __m512d next = _mm512_add_pd(base, _mm512_set1_pd(1));
    const __mmask8 low = _mm512_cmp_pd_mask(fraction, _mm512_set1_pd(0.5), _CMP_LT_OQ);
    const __m512d nearest = _mm512_mask_blend_pd(low, next, base);
    return {IndexV4(_mm512_mask_blend_pd(mid, nearest, base), top),
            IndexV4(_mm512_mask_blend_pd(mid, nearest, next), top),
            _mm256_maskz_mov_epi32(mid, weight)};
}

// The channels of eight pixels as the scalar mix holds them: blue and red (even) or green and
// alpha (odd) in the two 32-bit halves of a 64-bit lane.
ZELVO_V4 inline __m512i EvenV4(__m256i p) {
    const __m512i x = _mm512_maskz_cvtepu32_epi64(0xff, p);
    return _mm512_or_si512(
        _mm512_and_si512(x, _mm512_set1_epi64(0xFF)),
        _mm512_maskz_slli_epi64(0xff, _mm512_and_si512(x, _mm512_set1_epi64(0xFF0000)), 16));
}
ZELVO_V4 inline __m512i OddV4(__m256i p) {
    const __m512i x = _mm512_maskz_cvtepu32_epi64(0xff, p);
    return _mm512_or_si512(
        _mm512_and_si512(_mm512_maskz_srli_epi64(0xff, x, 8), _mm512_set1_epi64(0xFF)),
        _mm512_maskz_slli_epi64(0xff, _mm512_maskz_srli_epi64(0xff, x, 24), 32));
}
// A weight in both halves of each lane.
ZELVO_V4 inline __m512i BothHalvesV4(__m256i w) {
    const __m512i x = _mm512_maskz_cvtepu32_epi64(0xff, w);
    return _mm512_or_si512(x, _mm512_maskz_slli_epi64(0xff, x, 32));
}
struct WeightsV4 {
    __m512i ux, wx, uy, wy;
};
// The scalar mix's lanes, multiplied half by half: no half passes 25 bits, so none carries.
ZELVO_V4 inline __m512i MixLanesV4(__m512i a, __m512i b, __m512i c, __m512i d, const WeightsV4& w) {
    const __m512i top = _mm512_add_epi32(_mm512_mullo_epi32(a, w.ux), _mm512_mullo_epi32(b, w.wx));
    const __m512i bottom =
        _mm512_add_epi32(_mm512_mullo_epi32(c, w.ux), _mm512_mullo_epi32(d, w.wx));
    const __m512i sum = _mm512_add_epi32(
        _mm512_add_epi32(_mm512_mullo_epi32(top, w.uy), _mm512_mullo_epi32(bottom, w.wy)),
        _mm512_set1_epi32(0x8000));
    return _mm512_and_si512(_mm512_maskz_srli_epi32(0xffff, sum, 16), _mm512_set1_epi32(0xFF));
}
// Mix for eight pixels. The AVX2 kernel's mix, on each half of the eight, took a fifth longer
// here.
ZELVO_V4 inline __m256i MixV4(__m256i p00, __m256i p01, __m256i p10, __m256i p11, __m256i wx,
                              __m256i wy) {
    const __m256i full = _mm256_set1_epi32(256);
    const WeightsV4 w{BothHalvesV4(_mm256_sub_epi32(full, wx)), BothHalvesV4(wx),
                      BothHalvesV4(_mm256_sub_epi32(full, wy)), BothHalvesV4(wy)};
    const __m512i e = MixLanesV4(EvenV4(p00), EvenV4(p01), EvenV4(p10), EvenV4(p11), w);
    const __m512i o = MixLanesV4(OddV4(p00), OddV4(p01), OddV4(p10), OddV4(p11), w);
    // Blue and green in the lower half, red and alpha in the upper; then the halves side by side.
    const __m512i t = _mm512_or_si512(e, _mm512_maskz_slli_epi64(0xff, o, 8));
    return _mm512_maskz_cvtepi64_epi32(0xff,
                                       _mm512_or_si512(t, _mm512_maskz_srli_epi64(0xff, t, 16)));
}

ZELVO_V4 int32_t DrawColumnsV4(const SourceRows& source, uint32_t* line, int32_t c, int32_t last,
                               double leftX, double span, PointD start, PointD extent) {
    const __m512d half = _mm512_set1_pd(0.5), atX = _mm512_set1_pd(double(source.atX));
    const __m512d topX = _mm512_set1_pd(double(std::max(0, source.sw - 1)));
    const __m512d topY = _mm512_set1_pd(double(std::max(0, source.sh - 1)));
    const __m512d sx = _mm512_set1_pd(start.x), sy = _mm512_set1_pd(start.y);
    const __m512d ex = _mm512_set1_pd(extent.x), ey = _mm512_set1_pd(extent.y);
    const __m512d from = _mm512_set1_pd(leftX), width = _mm512_set1_pd(span);
    const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i lastRow = _mm256_set1_epi32(source.sh - 1);
    const __m256i words = _mm256_set1_epi32(int32_t(source.stride / 4));
    const int* pixels = reinterpret_cast<const int*>(source.rows);
    for (; c + 7 <= last; c += 8) {
        const __m256i column = _mm256_add_epi32(_mm256_set1_epi32(source.areaLeft + c), steps);
        const __m512d x =
            _mm512_sub_pd(_mm512_add_pd(_mm512_maskz_cvtepi32_pd(0xff, column), half), atX);
        const __m512d s =
            span > 0 ? _mm512_div_pd(_mm512_sub_pd(x, from), width) : _mm512_setzero_pd();
        const AxesV4 ax =
            AxisAtV4(_mm512_sub_pd(_mm512_add_pd(sx, _mm512_mul_pd(ex, s)), half), topX);
        const AxesV4 ay =
            AxisAtV4(_mm512_sub_pd(_mm512_add_pd(sy, _mm512_mul_pd(ey, s)), half), topY);
        const __m256i row0 = _mm256_mullo_epi32(_mm256_sub_epi32(lastRow, ay.first), words);
        const __m256i row1 = _mm256_mullo_epi32(_mm256_sub_epi32(lastRow, ay.second), words);
        const __m256i p00 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row0, ax.first), 4);
        const __m256i p01 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row0, ax.second), 4);
        const __m256i p10 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row1, ax.first), 4);
        const __m256i p11 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row1, ax.second), 4);
        // A zero weight on both axes mixes to p00 exactly, as the scalar loop's shortcut copies it.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + c),
                            MixV4(p00, p01, p10, p11, ax.weight, ay.weight));
    }
    return c;
}

// The same in AVX2, four columns in each half of the eight.
#define ZELVO_AVX2 __attribute__((target("avx2,bmi,bmi2")))

// The low 32 bits of each of four 64-bit lanes (a lane's mask keeps its meaning).
ZELVO_AVX2 inline __m128i NarrowAvx2(__m256i v) {
    return _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
}
ZELVO_AVX2 inline __m128i IndexAvx2(__m256d v, __m256d top) {
    return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), top));
}
struct AxesAvx2 {
    __m128i first, second, weight;
};
ZELVO_AVX2 inline AxesAvx2 AxisAtAvx2(__m256d position, __m256d top) {
    const __m256d base = _mm256_round_pd(position, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m256d fraction = _mm256_sub_pd(position, base);
    const __m256d mid = _mm256_and_pd(_mm256_cmp_pd(fraction, _mm256_set1_pd(0.2), _CMP_GE_OQ),
                                      _mm256_cmp_pd(fraction, _mm256_set1_pd(0.8), _CMP_LE_OQ));
    const __m256d w = _mm256_mul_pd(fraction, _mm256_set1_pd(256));
    __m128i weight = _mm256_cvttpd_epi32(w);
    const __m256d up = _mm256_cmp_pd(_mm256_sub_pd(w, _mm256_cvtepi32_pd(weight)),
                                     _mm256_set1_pd(0.5), _CMP_GE_OQ);
    weight = _mm_sub_epi32(weight, NarrowAvx2(_mm256_castpd_si256(up)));  // a set mask is -1
    const __m256d next = _mm256_add_pd(base, _mm256_set1_pd(1));
    const __m256d low = _mm256_cmp_pd(fraction, _mm256_set1_pd(0.5), _CMP_LT_OQ);
    const __m256d nearest = _mm256_blendv_pd(next, base, low);
    return {IndexAvx2(_mm256_blendv_pd(nearest, base, mid), top),
            IndexAvx2(_mm256_blendv_pd(nearest, next, mid), top),
            _mm_and_si128(weight, NarrowAvx2(_mm256_castpd_si256(mid)))};
}
// Eight positions as two halves of four.
ZELVO_AVX2 inline void AxesOfEightAvx2(__m256d lo, __m256d hi, __m256d top, __m256i& first,
                                       __m256i& second, __m256i& weight) {
    const AxesAvx2 a = AxisAtAvx2(lo, top), b = AxisAtAvx2(hi, top);
    first = _mm256_set_m128i(b.first, a.first);
    second = _mm256_set_m128i(b.second, a.second);
    weight = _mm256_set_m128i(b.weight, a.weight);
}
ZELVO_AVX2 inline __m256i EvenAvx2(__m128i p) {
    const __m256i x = _mm256_cvtepu32_epi64(p);
    return _mm256_or_si256(
        _mm256_and_si256(x, _mm256_set1_epi64x(0xFF)),
        _mm256_slli_epi64(_mm256_and_si256(x, _mm256_set1_epi64x(0xFF0000)), 16));
}
ZELVO_AVX2 inline __m256i OddAvx2(__m128i p) {
    const __m256i x = _mm256_cvtepu32_epi64(p);
    return _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi64(x, 8), _mm256_set1_epi64x(0xFF)),
                           _mm256_slli_epi64(_mm256_srli_epi64(x, 24), 32));
}
ZELVO_AVX2 inline __m256i BothHalvesAvx2(__m128i w) {
    const __m256i x = _mm256_cvtepu32_epi64(w);
    return _mm256_or_si256(x, _mm256_slli_epi64(x, 32));
}
struct WeightsAvx2 {
    __m256i ux, wx, uy, wy;
};
ZELVO_AVX2 inline __m256i MixLanesAvx2(__m256i a, __m256i b, __m256i c, __m256i d,
                                       const WeightsAvx2& w) {
    const __m256i top = _mm256_add_epi32(_mm256_mullo_epi32(a, w.ux), _mm256_mullo_epi32(b, w.wx));
    const __m256i bottom =
        _mm256_add_epi32(_mm256_mullo_epi32(c, w.ux), _mm256_mullo_epi32(d, w.wx));
    const __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(top, w.uy), _mm256_mullo_epi32(bottom, w.wy)),
        _mm256_set1_epi32(0x8000));
    return _mm256_and_si256(_mm256_srli_epi32(sum, 16), _mm256_set1_epi32(0xFF));
}
// Mix for four pixels.
ZELVO_AVX2 inline __m128i MixAvx2(__m128i p00, __m128i p01, __m128i p10, __m128i p11, __m128i wx,
                                  __m128i wy) {
    const __m128i full = _mm_set1_epi32(256);
    const WeightsAvx2 w{BothHalvesAvx2(_mm_sub_epi32(full, wx)), BothHalvesAvx2(wx),
                        BothHalvesAvx2(_mm_sub_epi32(full, wy)), BothHalvesAvx2(wy)};
    const __m256i e = MixLanesAvx2(EvenAvx2(p00), EvenAvx2(p01), EvenAvx2(p10), EvenAvx2(p11), w);
    const __m256i o = MixLanesAvx2(OddAvx2(p00), OddAvx2(p01), OddAvx2(p10), OddAvx2(p11), w);
    const __m256i t = _mm256_or_si256(e, _mm256_slli_epi64(o, 8));
    return NarrowAvx2(_mm256_or_si256(t, _mm256_srli_epi64(t, 16)));
}

ZELVO_AVX2 inline __m128i LowAvx2(__m256i v) {
    return _mm256_castsi256_si128(v);
}
ZELVO_AVX2 inline __m128i HighAvx2(__m256i v) {
    return _mm256_extracti128_si256(v, 1);
}
// The row mapping's source position on one axis for four columns, as the scalar sums give it.
struct RowMapAvx2 {
    __m256d half, atX, from, width;
    bool spans;
    ZELVO_AVX2 __m256d At(__m128i column, __m256d start, __m256d extent) const {
        const __m256d x = _mm256_sub_pd(_mm256_add_pd(_mm256_cvtepi32_pd(column), half), atX);
        const __m256d s =
            spans ? _mm256_div_pd(_mm256_sub_pd(x, from), width) : _mm256_setzero_pd();
        return _mm256_sub_pd(_mm256_add_pd(start, _mm256_mul_pd(extent, s)), half);
    }
};

ZELVO_AVX2 int32_t DrawColumnsAvx2(const SourceRows& source, uint32_t* line, int32_t c,
                                   int32_t last, double leftX, double span, PointD start,
                                   PointD extent) {
    const __m256d half = _mm256_set1_pd(0.5), atX = _mm256_set1_pd(double(source.atX));
    const __m256d topX = _mm256_set1_pd(double(std::max(0, source.sw - 1)));
    const __m256d topY = _mm256_set1_pd(double(std::max(0, source.sh - 1)));
    const __m256d sx = _mm256_set1_pd(start.x), sy = _mm256_set1_pd(start.y);
    const __m256d ex = _mm256_set1_pd(extent.x), ey = _mm256_set1_pd(extent.y);
    const __m256d from = _mm256_set1_pd(leftX), width = _mm256_set1_pd(span);
    const __m256i lastRow = _mm256_set1_epi32(source.sh - 1);
    const __m256i words = _mm256_set1_epi32(int32_t(source.stride / 4));
    const int* pixels = reinterpret_cast<const int*>(source.rows);
    for (; c + 7 <= last; c += 8) {
        const __m128i lo =
            _mm_add_epi32(_mm_set1_epi32(source.areaLeft + c), _mm_setr_epi32(0, 1, 2, 3));
        const __m128i hi = _mm_add_epi32(lo, _mm_set1_epi32(4));
        __m256i xFirst, xSecond, wx, yFirst, ySecond, wy;
        const RowMapAvx2 map{half, atX, from, width, span > 0};
        AxesOfEightAvx2(map.At(lo, sx, ex), map.At(hi, sx, ex), topX, xFirst, xSecond, wx);
        AxesOfEightAvx2(map.At(lo, sy, ey), map.At(hi, sy, ey), topY, yFirst, ySecond, wy);
        const __m256i row0 = _mm256_mullo_epi32(_mm256_sub_epi32(lastRow, yFirst), words);
        const __m256i row1 = _mm256_mullo_epi32(_mm256_sub_epi32(lastRow, ySecond), words);
        const __m256i p00 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row0, xFirst), 4);
        const __m256i p01 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row0, xSecond), 4);
        const __m256i p10 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row1, xFirst), 4);
        const __m256i p11 = _mm256_i32gather_epi32(pixels, _mm256_add_epi32(row1, xSecond), 4);
        const __m128i a = MixAvx2(LowAvx2(p00), LowAvx2(p01), LowAvx2(p10), LowAvx2(p11),
                                  LowAvx2(wx), LowAvx2(wy));
        const __m128i b = MixAvx2(HighAvx2(p00), HighAvx2(p01), HighAvx2(p10), HighAvx2(p11),
                                  HighAvx2(wx), HighAvx2(wy));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + c), _mm256_set_m128i(b, a));
    }
    return c;
}
#else
int32_t DrawColumnsV4(const SourceRows&, uint32_t*, int32_t c, int32_t, double, double, PointD,
                      PointD) {
    return c;
}
int32_t DrawColumnsAvx2(const SourceRows&, uint32_t*, int32_t c, int32_t, double, double, PointD,
                        PointD) {
    return c;
}
#endif

}  // namespace

FrameCorners RectFrame(const Rect& r) {
    return {PointD{double(r.left), double(r.top)}, PointD{double(r.right), double(r.top)},
            PointD{double(r.right), double(r.bottom)}, PointD{double(r.left), double(r.bottom)}};
}

Rect FrameBounds(const FrameCorners& f) {
    double l = f[0].x, r = f[0].x, t = f[0].y, b = f[0].y;
    for (const PointD& p : f) {
        l = std::min(l, p.x), r = std::max(r, p.x), t = std::min(t, p.y), b = std::max(b, p.y);
    }
    const auto clampInt = [](double v) { return int32_t(std::clamp(v, -1e9, 1e9)); };
    return {clampInt(std::floor(l + kSnap)), clampInt(std::floor(t + kSnap)),
            clampInt(std::ceil(r - kSnap)), clampInt(std::ceil(b - kSnap))};
}

double PointerAngle(PointD centre, PointD p) {
    const double dx = p.x - centre.x, dy = p.y - centre.y;
    if (dx == 0) return dy < 0 ? 90 : (dy > 0 ? 270 : 0);
    const double a = std::atan(dy / dx) * 57.29578;
    if (dx >= 0 && dy <= 0) return -a;
    if (dx >= 0) return 360 - a;
    return 180 - a;
}

PointD RotationCentre(const FrameCorners& f) {
    const Rect b = FrameBounds(f);
    const int32_t right = b.Width() > 2 ? b.right - 1 : b.right;
    const int32_t bottom = b.Height() > 2 ? b.bottom - 1 : b.bottom;
    return {(b.left + right) / 2.0, (b.top + bottom) / 2.0};
}

FrameCorners RotateFrame(const FrameCorners& frame, PointD c, double degrees) {
    FrameCorners out;
    const double r = degrees * 0.0174533;
    for (size_t i = 0; i < 4; ++i) {
        const double d = std::hypot(frame[i].x - c.x, frame[i].y - c.y);
        const double a = PointerAngle(c, frame[i]) * 0.0174533 + r;
        out[i] = {c.x + d * std::cos(a), c.y - d * std::sin(a)};
    }
    return out;
}

FrameCorners DragCorner(const FrameCorners& start, int corner, PointD to, bool distort,
                        bool proportional) {
    FrameCorners f = start;
    const size_t i = size_t(corner & 3);
    if (distort) {
        f[i] = to;
        return f;
    }
    const PointD o = start[(i + 2) % 4];
    const PointD c = start[i];
    if (proportional) {
        const PointD axis = Sub(c, o);
        const double len = axis.x * axis.x + axis.y * axis.y;
        if (len > 0) {
            const PointD v = Sub(to, o);
            to = Add(o, Scale(axis, (v.x * axis.x + v.y * axis.y) / len));
        }
    }
    // Each neighbour stays on its edge through the opposite corner, where that edge meets the
    // line through the dragged corner along the neighbour's other edge: every edge keeps its
    // direction, in a distorted frame as well as a parallelogram.
    const PointD v = Sub(to, o);
    f[i] = to;
    for (const size_t n : {(i + 1) % 4, (i + 3) % 4}) {
        const PointD along = Sub(start[n], o), across = Sub(c, start[n]);
        const double den = Cross(along, across);
        if (std::abs(den) >= 1e-12) f[n] = Add(o, Scale(along, Cross(v, across) / den));
    }
    return f;
}

bool FrameFits(const FrameCorners& frame) {
    const double limit = kMaxCoordinate;
    return std::all_of(frame.begin(), frame.end(), [limit](const PointD& p) {
        return std::abs(p.x) <= limit && std::abs(p.y) <= limit;
    });
}

FrameCorners ShiftFrame(const FrameCorners& frame, double dx, double dy) {
    double l = frame[0].x, r = l, t = frame[0].y, b = t;
    for (const PointD& p : frame) {
        l = std::min(l, p.x), r = std::max(r, p.x), t = std::min(t, p.y), b = std::max(b, p.y);
    }
    const double limit = kMaxCoordinate;
    dx = std::max(std::min(dx, limit - r), -limit - l);
    dy = std::max(std::min(dy, limit - b), -limit - t);
    FrameCorners out = frame;
    for (PointD& p : out) p = {p.x + dx, p.y + dy};
    return out;
}

FrameCorners TurnFrame(const FrameCorners& frame, FrameButton button) {
    const PointD c = Centre(frame);
    FrameCorners out = frame;
    switch (button) {
        // Whole turns exactly, so that a turned frame still meets whole pixels.
        case FrameButton::Turn90:  // clockwise on screen
            for (PointD& p : out) p = {c.x - (p.y - c.y), c.y + (p.x - c.x)};
            return out;
        case FrameButton::TurnMinus90:
            for (PointD& p : out) p = {c.x + (p.y - c.y), c.y - (p.x - c.x)};
            return out;
        case FrameButton::Turn180:
            for (PointD& p : out) p = {2 * c.x - p.x, 2 * c.y - p.y};
            return out;
        case FrameButton::Horizontal:
            for (PointD& p : out) p.x = 2 * c.x - p.x;
            return out;
        case FrameButton::Vertical:
            for (PointD& p : out) p.y = 2 * c.y - p.y;
            return out;
    }
    return out;
}

PointD MapThroughFrame(const Rect& source, const FrameCorners& f, PointD p) {
    const double u = source.Width() > 0 ? (p.x - source.left) / source.Width() : 0;
    const double v = source.Height() > 0 ? (p.y - source.top) / source.Height() : 0;
    return Lerp(Lerp(f[0], f[1], u), Lerp(f[3], f[2], u), v);
}

std::vector<CurveAnchor> MapAnchors(const std::vector<CurveAnchor>& anchors, const Rect& source,
                                    const FrameCorners& frame) {
    const auto map = [&](Point p) {
        const PointD q = MapThroughFrame(source, frame, {double(p.x), double(p.y)});
        const double limit = kMaxCoordinate;
        return Point{int32_t(std::lround(std::clamp(q.x, -limit, limit))),
                     int32_t(std::lround(std::clamp(q.y, -limit, limit)))};
    };
    std::vector<CurveAnchor> out = anchors;
    for (CurveAnchor& a : out) {
        a.in = map(a.in);
        a.point = map(a.point);
        a.out = map(a.out);
    }
    return out;
}

bool FrameRowAt(const FrameCorners& frame, int32_t width, int32_t height, double y, FrameRow& row) {
    const std::array<PointD, 4> src = {PointD{0, 0}, PointD{double(width), 0},
                                       PointD{double(width), double(height)},
                                       PointD{0, double(height)}};
    Crossing left{}, right{};
    if (!CrossRow(frame, src, y, left, right)) return false;
    row = {left.x, right.x, left.source, right.source};
    return true;
}

uint32_t SampleSource(const uint32_t* words, int32_t stride, int32_t width, int32_t height,
                      PointD p) {
    const Axis ax = AxisAt(p.x - 0.5, width), ay = AxisAt(p.y - 0.5, height);
    const uint32_t* row0 = words + size_t(ay.first) * size_t(stride);
    const uint32_t* row1 = words + size_t(ay.second) * size_t(stride);
    return Mix(row0[ax.first], row0[ax.second], row1[ax.first], row1[ax.second],
               uint32_t(ax.weight), uint32_t(ay.weight));
}

SampleAxis SampleAt(double position, int32_t size) {
    const double base = std::floor(position);
    const double fraction = position - base;
    const auto clampIndex = [size](double v) {
        return int32_t(std::clamp(v, 0.0, double(std::max(0, size - 1))));
    };
    if (fraction >= 0.2 && fraction <= 0.8)
        return {clampIndex(base), clampIndex(base + 1), int32_t(std::lround(fraction * 256))};
    const int32_t nearest = clampIndex(fraction < 0.5 ? base : base + 1);
    return {nearest, nearest, 0};
}

namespace {

// Draws destination rows [first, end) of a frame `dw` x `dh` into `out` (row r of the
// destination lies at source-layer height top + r); false when a row cannot be written or
// another band has failed.
bool DrawFrameRows(const SourceRows& rows, const FrameCorners& local,
                   const std::array<PointD, 4>& src, double top, int32_t dw, int32_t dh,
                   int32_t first, int32_t end, RowWriter& out, const std::atomic<bool>& failed) {
    // A copy of its own: the pixels stored could alias the caller's fields, which the row loop
    // would then read again after every store.
    const SourceRows source = rows;
    // A turned row walks across thousands of source rows, each on its own pages: drawing a
    // band of rows tile by tile keeps the source reads within the caches and the TLB.
    constexpr int32_t kTileWidth = 128;
    const int32_t band =
        int32_t(std::clamp<int64_t>((int64_t(1) << 21) / (int64_t(dw) * 4), 1, 64));
    std::vector<uint32_t> buffer(size_t(dw) * size_t(band));
    struct RowSpan {
        bool any;
        Crossing left, right;
    };
    std::vector<RowSpan> spans(static_cast<size_t>(band));
    for (int32_t r0 = first; r0 < end; r0 += band) {
        if (failed.load(std::memory_order_relaxed)) return false;
        const int32_t count = std::min(band, end - r0);
        std::fill(buffer.begin(), buffer.begin() + ptrdiff_t(dw) * count, 0u);
        for (int32_t i = 0; i < count; ++i) {
            RowSpan& span = spans[size_t(i)];
            span.any = CrossRow(local, src, top + r0 + i + 0.5, span.left, span.right);
        }
        for (int32_t c0 = 0; c0 < dw; c0 += kTileWidth) {
            const int32_t c1 = std::min(dw, c0 + kTileWidth) - 1;
            for (int32_t i = 0; i < count; ++i) {
                const RowSpan& span = spans[size_t(i)];
                if (span.any)
                    source.DrawRow(buffer.data() + size_t(i) * size_t(dw), c0, c1, span.left,
                                   span.right);
            }
        }
        for (int32_t i = 0; i < count; ++i) {
            uint8_t* dst = out.Row(uint32_t(dh - 1 - (r0 + i)));
            if (!dst) return false;
            std::memcpy(dst, buffer.data() + size_t(i) * size_t(dw), size_t(dw) * 4);
        }
    }
    return true;
}

}  // namespace

int CommitFreeTransform(HistoryManager& history, const FrameCorners& frame, CpuLevel level) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels() ||
        layer->BitsPerPixel() != 32)
        return 0;
    Rect area = FrameBounds(frame);
    if (int64_t(area.Width()) * area.Height() > kMaxFramePixels) {
        AppMessages().Show(kWillBeCutMessage);
        const ImageGeometry& canvas = lm.Image();
        area = {std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, canvas.width),
                std::min(area.bottom, canvas.height)};
    }
    if (area.IsEmpty()) return 0;
    WaitCursor wait;
    const int32_t sw = layer->Width(), sh = layer->Height();
    const Point at = layer->Position();
    // Source edges in source pixel units, in the corners' order.
    const std::array<PointD, 4> src = {PointD{0, 0}, PointD{double(sw), 0},
                                       PointD{double(sw), double(sh)}, PointD{0, double(sh)}};
    FrameCorners local = frame;  // frame in the source layer's own coordinates
    for (PointD& p : local) p = {p.x - at.x, p.y - at.y};

    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 0);
    if (!fresh) return 0;
    const Layer& old = *edit.OldLayer();
    // The source rows read in place from the page cache: a turned row crosses many of them.
    StoreMapping mapping;
    const FileDynamicStore& store = old.Store();
    const uint64_t rowsAt = store.Payload(old.Block()).offset + old.RowsOffset();
    const uint64_t bytes = uint64_t(old.Stride()) * uint64_t(sh);
    const uint8_t* rows =
        mapping.Cover(store, rowsAt + bytes) ? mapping.At(rowsAt, bytes) : nullptr;
    if (!rows) {
        edit.CommitLayerEdit(0);
        return 0;
    }
    const SourceRows source{rows,
                            old.Stride(),
                            sw,
                            sh,
                            area.left,
                            at.x,
                            level >= CpuLevel::V4 && CpuRuns(CpuLevel::V4)       ? CpuLevel::V4
                            : level >= CpuLevel::Avx2 && CpuRuns(CpuLevel::Avx2) ? CpuLevel::Avx2
                                                                                 : CpuLevel::Base};
    const int32_t dw = area.Width(), dh = area.Height();
    const uint64_t window = BandWindowBytes(RowBandCount(dh, kLeastBandRows));
    std::atomic<bool> failed{false};
    ForEachRowBand(dh, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        // Each band through its own writer, by pwrite: mapped, every page would fault.
        const std::unique_ptr<RowWriter> out = OpenRowWriter(*fresh, kWriterWindows * window);
        if (!out ||
            !DrawFrameRows(source, local, src, area.top - at.y, dw, dh, first, end, *out, failed) ||
            !out->Flush())
            failed = true;
    });
    if (failed) {
        edit.CommitLayerEdit(0);
        return 0;
    }
    return edit.CommitLayerEdit(1, "Free Transform");
}

}  // namespace zelvo
