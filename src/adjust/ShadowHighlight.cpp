// Image > Adjustments > Shadow/Highlight: channels are stretched between the histogram's
// 0.1 % bounds, and each pixel gains by the tone curve of its brightest channel over the
// blurred value of that channel. The blurred copy is made row by row beside the rows written.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/BezierSearch.h"
#include "adjust/ColourTent.h"
#include "core/CpuLevel.h"
#include "platform/Feedback.h"

namespace zelvo {

Table256 ToneCurve(int32_t amount) {
    Table256 o{};
    if (amount < 1) return o;
    const int32_t a = amount > 100 ? 100 : amount;
    int32_t x1, y1;
    if (a <= 10) {
        const double s = a * 0.1;
        x1 = 168 - int32_t(30 * s);
        y1 = 19 + int32_t(30 * s);
    } else if (a <= 50) {
        const double s = (a - 10) * 0.025;
        x1 = 138 - int32_t(30 * s);
        y1 = 49 + int32_t(88 * s);
    } else {
        const double s = (a - 50) * 0.02;
        x1 = 108 - int32_t(27 * s);
        y1 = 137 + int32_t(84 * s);
    }
    const Bezier c{{0, double(x1), 90, 269}, {0, double(y1), -10, 4}};
    SteppedSearch(c, 0, 255,
                  [&o](int32_t i, double y) { o[size_t(i)] = int32_t(std::clamp(y, 0.0, 200.0)); });
    return o;
}

StretchBounds StretchBoundsOf(const std::array<int64_t, 256>& counts) {
    int64_t total = 0;
    for (int64_t c : counts) total += c;
    const int64_t limit = total / 1000;
    StretchBounds b;
    int64_t run = 0;
    for (int v = 0; v < 256; ++v) {
        run += counts[size_t(v)];
        if (run >= limit) {
            b.low = v;
            break;
        }
    }
    run = 0;
    for (int v = 255; v >= 0; --v) {
        run += counts[size_t(v)];
        if (run >= limit) {
            b.high = v;
            break;
        }
    }
    return b;
}

Table256 StretchTable(const StretchBounds& b) {
    Table256 s{};
    for (int v = 0; v < 256; ++v) {
        if (v < b.low)
            s[size_t(v)] = 0;
        else if (v > b.high)
            s[size_t(v)] = 255;
        else if (b.high <= b.low)
            s[size_t(v)] = 255;  // a single level: nothing to stretch between
        else
            s[size_t(v)] = int32_t(double(v - b.low) / (b.high - b.low) * 255 + 0.5);
    }
    return s;
}

namespace {

// The tables of one Shadow/Highlight run: the stretch S (as a byte map for the blur) and the
// tone table T.
struct ShadowHighlightTables {
    Table256 S{}, T{};
    std::array<uint8_t, 256> map{};
    ShadowHighlightTables(const std::array<int64_t, 256>& histogram, int32_t shadows,
                          int32_t highlights) {
        S = StretchTable(StretchBoundsOf(histogram));
        const Table256 cs = ToneCurve(shadows), ch = ToneCurve(highlights);
        for (int v = 0; v < 256; ++v) {
            T[size_t(v)] = cs[size_t(v)] - ch[size_t(255 - v)];
            map[size_t(v)] = uint8_t(S[size_t(v)]);
        }
    }
};

void ShadowHighlightRowScalar(const Table256& S, const Table256& T, const uint32_t* src,
                              const uint32_t* blurred, const uint8_t* strength, int32_t w,
                              uint32_t* out) {
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t p = src[x];
        out[x] = p;
        const int s = strength ? strength[x] : 100;
        if (s == 0) continue;
        if (s < 100 && ChA(p) == 0) continue;
        const int sv[3] = {S[size_t(ChB(p))], S[size_t(ChG(p))], S[size_t(ChR(p))]};
        // Brightest channel: red over green, and either over blue on ties.
        int c = 2;
        if (sv[2] >= sv[1] && sv[2] >= sv[0])
            c = 2;
        else if (sv[1] >= sv[0])
            c = 1;
        else
            c = 0;
        const int m = sv[c];
        double g = 0;
        if (m != 0) {
            const int32_t bl = int32_t((blurred[x] >> (8 * c)) & 0xff);
            const int32_t tm = T[size_t(m)];
            if (bl != 0)
                g = double(tm) / bl;
            else
                g = tm > 0 ? 1 : 0;  // unbounded gain: capped
        }
        if (g > 1) g = 1;
        int o[3];
        const int v[3] = {ChB(p), ChG(p), ChR(p)};
        for (int k = 0; k < 3; ++k) {
            if (s >= 100)
                o[k] = Clamp255(sv[k] + int(std::trunc(g * sv[k])));
            else
                o[k] = Clamp255(v[k] + int(std::trunc(((1 + g) * sv[k] - v[k]) * s * 0.01)));
        }
        out[x] = MakePixel(o[0], o[1], o[2], ChA(p));
    }
}

// Per channel value: the stretched value in the low half and the tone of that value in the
// high half, so that one gather gives both for a channel and the brightest one's pair is kept.
std::array<int32_t, 256> StretchedTones(const Table256& S, const Table256& T) {
    std::array<int32_t, 256> st{};
    for (size_t v = 0; v < 256; ++v)
        st[v] = int32_t(uint32_t(S[v]) | uint32_t(T[size_t(S[v])]) << 16);
    return st;
}

// The gain and the products in double lanes, each operation the scalar one rounded once (the
// file is built without contraction into fused multiply-adds); the truncations are exact as
// every value is far inside the 32-bit range.
#define ZELVO_V4 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))

// The low and high eight lanes and back, lanes as doubles and doubles truncated: the zero-masked
// forms are the plain ones without GCC 12's false warning about their undefined pass-through.
ZELVO_V4 inline __m256i Lo(__m512i v) {
    return _mm512_maskz_extracti64x4_epi64(0xff, v, 0);
}
ZELVO_V4 inline __m256i Hi(__m512i v) {
    return _mm512_maskz_extracti64x4_epi64(0xff, v, 1);
}
ZELVO_V4 inline __m512i Join(__m256i lo, __m256i hi) {
    return _mm512_maskz_inserti64x4(0xff, _mm512_castsi256_si512(lo), hi, 1);
}
ZELVO_V4 inline __m512d ToDouble(__m256i v) {
    return _mm512_maskz_cvtepi32_pd(0xff, v);
}
ZELVO_V4 inline __m256i Truncated(__m512d x) {
    return _mm512_maskz_cvttpd_epi32(0xff, x);
}

// The gain of eight lanes: 0 where the brightest stretched value m is 0, the capped unbounded
// gain where the blurred value is 0, else T[m] / blurred capped at 1.
ZELVO_V4 inline __m512d GainV4(__m256i tm, __m256i bl, __mmask8 m0) {
    const __m512d one = _mm512_set1_pd(1);
    const __mmask8 live = __mmask8(~m0);
    const __m512d capped =
        _mm512_maskz_mov_pd(_mm256_mask_cmpgt_epi32_mask(live, tm, _mm256_setzero_si256()), one);
    const __mmask8 divide = _mm256_mask_cmpneq_epi32_mask(live, bl, _mm256_setzero_si256());
    const __m512d g = _mm512_mask_div_pd(capped, divide, ToDouble(tm), ToDouble(bl));
    return _mm512_maskz_min_pd(0xff, g, one);
}

// sv + trunc(g sv) for sixteen lanes of one channel.
ZELVO_V4 inline __m512i FullV4(__m512d g0, __m512d g1, __m512i sv) {
    const __m256i t0 = Truncated(_mm512_mul_pd(g0, ToDouble(Lo(sv))));
    const __m256i t1 = Truncated(_mm512_mul_pd(g1, ToDouble(Hi(sv))));
    return _mm512_add_epi32(sv, Join(t0, t1));
}

// v + trunc(((1 + g) sv - v) s 0.01) for eight lanes of one channel.
ZELVO_V4 inline __m256i MixedHalfV4(__m512d g, __m256i sv, __m256i v, __m512d s) {
    const __m512d vd = ToDouble(v);
    const __m512d x = _mm512_mul_pd(
        _mm512_mul_pd(
            _mm512_sub_pd(_mm512_mul_pd(_mm512_add_pd(_mm512_set1_pd(1), g), ToDouble(sv)), vd), s),
        _mm512_set1_pd(0.01));
    return _mm256_add_epi32(v, Truncated(x));
}

// The same for sixteen lanes: g0, s0 of the low eight and g1, s1 of the high eight.
ZELVO_V4 inline __m512i MixedV4(__m512d g0, __m512d g1, __m512i sv, __m512i v, __m512d s0,
                                __m512d s1) {
    const __m256i lo = MixedHalfV4(g0, Lo(sv), Lo(v), s0);
    const __m256i hi = MixedHalfV4(g1, Hi(sv), Hi(v), s1);
    return Join(lo, hi);
}

ZELVO_V4 inline __m512i Clamp255V4(__m512i v) {
    return _mm512_maskz_min_epi32(0xffff, _mm512_maskz_max_epi32(0xffff, v, _mm512_setzero_si512()),
                                  _mm512_set1_epi32(255));
}

// Sixteen pixels at a time; the last few through masked loads and stores, which touch nothing
// past the row.
ZELVO_V4 void ShadowHighlightRowV4(const Table256& S, const Table256& T, const uint32_t* src,
                                   const uint32_t* blurred, const uint8_t* strength, int32_t w,
                                   uint32_t* out) {
    const std::array<int32_t, 256> st = StretchedTones(S, T);
    const __m512i low = _mm512_set1_epi32(0xff), half = _mm512_set1_epi32(0xffff);
    const __m512i alpha = _mm512_set1_epi32(int32_t(0xff000000u));
    const __m512i hundred = _mm512_set1_epi32(100), zero = _mm512_setzero_si512();
    for (int32_t i = 0; i < w; i += 16) {
        const __mmask16 in = w - i >= 16 ? __mmask16(0xffff) : __mmask16((1u << (w - i)) - 1);
        const __m512i p = _mm512_maskz_loadu_epi32(in, src + i);
        const __m512i b = _mm512_and_si512(p, low);
        const __m512i g = _mm512_and_si512(_mm512_maskz_srli_epi32(0xffff, p, 8), low);
        const __m512i r = _mm512_and_si512(_mm512_maskz_srli_epi32(0xffff, p, 16), low);
        // Lanes past the row read entry 0, inside the table.
        const __m512i pb = _mm512_mask_i32gather_epi32(zero, 0xffff, b, st.data(), 4);
        const __m512i pg = _mm512_mask_i32gather_epi32(zero, 0xffff, g, st.data(), 4);
        const __m512i pr = _mm512_mask_i32gather_epi32(zero, 0xffff, r, st.data(), 4);
        const __m512i sb = _mm512_and_si512(pb, half), sg = _mm512_and_si512(pg, half),
                      sr = _mm512_and_si512(pr, half);
        const __mmask16 red = _mm512_cmpge_epi32_mask(sr, sg) & _mm512_cmpge_epi32_mask(sr, sb);
        const __mmask16 green = __mmask16(~red) & _mm512_cmpge_epi32_mask(sg, sb);
        const __m512i pm = _mm512_mask_mov_epi32(_mm512_mask_mov_epi32(pb, green, pg), red, pr);
        const __m512i shift = _mm512_mask_mov_epi32(
            _mm512_maskz_mov_epi32(green, _mm512_set1_epi32(8)), red, _mm512_set1_epi32(16));
        const __m512i bl = _mm512_and_si512(
            _mm512_maskz_srlv_epi32(0xffff, _mm512_maskz_loadu_epi32(in, blurred + i), shift), low);
        const __m512i tm = _mm512_maskz_srai_epi32(0xffff, pm, 16);
        const __mmask16 m0 =
            _mm512_cmpeq_epi32_mask(_mm512_and_si512(pm, half), _mm512_setzero_si512());
        const __m512d g0 = GainV4(Lo(tm), Lo(bl), __mmask8(m0));
        const __m512d g1 = GainV4(Hi(tm), Hi(bl), __mmask8(m0 >> 8));
        __m512i ob = FullV4(g0, g1, sb), og = FullV4(g0, g1, sg), orr = FullV4(g0, g1, sr);
        __mmask16 keep = 0;
        if (strength) {
            const __m512i s =
                _mm512_maskz_cvtepu8_epi32(0xffff, _mm_maskz_loadu_epi8(in, strength + i));
            const __mmask16 part = _mm512_cmplt_epi32_mask(s, hundred);
            keep = _mm512_cmpeq_epi32_mask(s, _mm512_setzero_si512()) |
                   (part & _mm512_cmpeq_epi32_mask(_mm512_maskz_srli_epi32(0xffff, p, 24),
                                                   _mm512_setzero_si512()));
            if (part & ~keep) {
                const __m512d s0 = ToDouble(Lo(s));
                const __m512d s1 = ToDouble(Hi(s));
                ob = _mm512_mask_mov_epi32(ob, part, MixedV4(g0, g1, sb, b, s0, s1));
                og = _mm512_mask_mov_epi32(og, part, MixedV4(g0, g1, sg, g, s0, s1));
                orr = _mm512_mask_mov_epi32(orr, part, MixedV4(g0, g1, sr, r, s0, s1));
            }
        }
        const __m512i o = _mm512_or_si512(
            _mm512_or_si512(Clamp255V4(ob), _mm512_maskz_slli_epi32(0xffff, Clamp255V4(og), 8)),
            _mm512_or_si512(_mm512_maskz_slli_epi32(0xffff, Clamp255V4(orr), 16),
                            _mm512_and_si512(p, alpha)));
        _mm512_mask_storeu_epi32(out + i, in, _mm512_mask_mov_epi32(o, keep, p));
    }
}

#undef ZELVO_V4

#define ZELVO_AVX2 __attribute__((target("avx2")))

// The 64-bit lane masks of four 32-bit lane masks.
ZELVO_AVX2 inline __m256d Wide(__m128i mask) {
    return _mm256_castsi256_pd(_mm256_cvtepi32_epi64(mask));
}

// GainV4 on four lanes with m0 all ones where m is 0.
ZELVO_AVX2 inline __m256d GainAvx2(__m128i tm, __m128i bl, __m128i m0) {
    const __m256d one = _mm256_set1_pd(1);
    const __m128i zero = _mm_setzero_si128();
    const __m256d capped = _mm256_and_pd(Wide(_mm_cmpgt_epi32(tm, zero)), one);
    // Lanes with a blurred value of 0 divide by 1 and take the capped gain instead.
    const __m128i none = _mm_cmpeq_epi32(bl, zero);
    const __m256d q = _mm256_div_pd(_mm256_cvtepi32_pd(tm),
                                    _mm256_cvtepi32_pd(_mm_max_epi32(bl, _mm_set1_epi32(1))));
    const __m256d g = _mm256_min_pd(_mm256_blendv_pd(q, capped, Wide(none)), one);
    return _mm256_andnot_pd(Wide(m0), g);
}

// FullV4 and MixedHalfV4 on four lanes of one channel.
ZELVO_AVX2 inline __m128i FullAvx2(__m256d g, __m128i sv) {
    return _mm_add_epi32(sv, _mm256_cvttpd_epi32(_mm256_mul_pd(g, _mm256_cvtepi32_pd(sv))));
}
ZELVO_AVX2 inline __m128i MixedAvx2(__m256d g, __m128i sv, __m128i v, __m256d s) {
    const __m256d x =
        _mm256_mul_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_set1_pd(1), g),
                                                                _mm256_cvtepi32_pd(sv)),
                                                  _mm256_cvtepi32_pd(v)),
                                    s),
                      _mm256_set1_pd(0.01));
    return _mm_add_epi32(v, _mm256_cvttpd_epi32(x));
}

// One channel of eight lanes, from the gains of the low and the high four; `part` (all ones
// where the strength is under 100) takes the strength-mixed form with strengths s0, s1.
ZELVO_AVX2 inline __m256i ChannelAvx2(__m256d g0, __m256d g1, __m256i sv, __m256i v, __m256i part,
                                      __m256d s0, __m256d s1, bool mixed) {
    const __m128i svLo = _mm256_castsi256_si128(sv), svHi = _mm256_extracti128_si256(sv, 1);
    __m256i o = _mm256_set_m128i(FullAvx2(g1, svHi), FullAvx2(g0, svLo));
    if (mixed) {
        const __m256i m = _mm256_set_m128i(MixedAvx2(g1, svHi, _mm256_extracti128_si256(v, 1), s1),
                                           MixedAvx2(g0, svLo, _mm256_castsi256_si128(v), s0));
        o = _mm256_blendv_epi8(o, m, part);
    }
    return _mm256_min_epi32(_mm256_max_epi32(o, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

// a >= b lane by lane.
ZELVO_AVX2 inline __m256i AtLeast(__m256i a, __m256i b) {
    return _mm256_cmpeq_epi32(_mm256_max_epi32(a, b), a);
}

// Eight pixels at a time, the last few by the scalar row.
ZELVO_AVX2 void ShadowHighlightRowAvx2(const Table256& S, const Table256& T, const uint32_t* src,
                                       const uint32_t* blurred, const uint8_t* strength, int32_t w,
                                       uint32_t* out) {
    const std::array<int32_t, 256> st = StretchedTones(S, T);
    const int* table = st.data();
    const __m256i low = _mm256_set1_epi32(0xff), half = _mm256_set1_epi32(0xffff);
    const __m256i alpha = _mm256_set1_epi32(int32_t(0xff000000u)), zero = _mm256_setzero_si256();
    int32_t i = 0;
    for (; i + 8 <= w; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_and_si256(p, low);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(p, 8), low);
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(p, 16), low);
        const __m256i pb = _mm256_i32gather_epi32(table, b, 4);
        const __m256i pg = _mm256_i32gather_epi32(table, g, 4);
        const __m256i pr = _mm256_i32gather_epi32(table, r, 4);
        const __m256i sb = _mm256_and_si256(pb, half), sg = _mm256_and_si256(pg, half),
                      sr = _mm256_and_si256(pr, half);
        const __m256i red = _mm256_and_si256(AtLeast(sr, sg), AtLeast(sr, sb));
        const __m256i green = _mm256_andnot_si256(red, AtLeast(sg, sb));
        const __m256i pm = _mm256_blendv_epi8(_mm256_blendv_epi8(pb, pg, green), pr, red);
        const __m256i shift = _mm256_or_si256(_mm256_and_si256(green, _mm256_set1_epi32(8)),
                                              _mm256_and_si256(red, _mm256_set1_epi32(16)));
        const __m256i bl = _mm256_and_si256(
            _mm256_srlv_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(blurred + i)),
                              shift),
            low);
        const __m256i tm = _mm256_srai_epi32(pm, 16);
        const __m256i m0 = _mm256_cmpeq_epi32(_mm256_and_si256(pm, half), zero);
        const __m256d g0 = GainAvx2(_mm256_castsi256_si128(tm), _mm256_castsi256_si128(bl),
                                    _mm256_castsi256_si128(m0));
        const __m256d g1 =
            GainAvx2(_mm256_extracti128_si256(tm, 1), _mm256_extracti128_si256(bl, 1),
                     _mm256_extracti128_si256(m0, 1));
        __m256i keep = zero, part = zero;
        __m256d s0 = _mm256_setzero_pd(), s1 = _mm256_setzero_pd();
        if (strength) {
            const __m256i s = _mm256_cvtepu8_epi32(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(strength + i)));
            part = _mm256_cmpgt_epi32(_mm256_set1_epi32(100), s);
            keep = _mm256_or_si256(
                _mm256_cmpeq_epi32(s, zero),
                _mm256_and_si256(part, _mm256_cmpeq_epi32(_mm256_srli_epi32(p, 24), zero)));
            s0 = _mm256_cvtepi32_pd(_mm256_castsi256_si128(s));
            s1 = _mm256_cvtepi32_pd(_mm256_extracti128_si256(s, 1));
        }
        const bool mixed = !_mm256_testz_si256(_mm256_andnot_si256(keep, part), part);
        const __m256i o = _mm256_or_si256(
            _mm256_or_si256(ChannelAvx2(g0, g1, sb, b, part, s0, s1, mixed),
                            _mm256_slli_epi32(ChannelAvx2(g0, g1, sg, g, part, s0, s1, mixed), 8)),
            _mm256_or_si256(_mm256_slli_epi32(ChannelAvx2(g0, g1, sr, r, part, s0, s1, mixed), 16),
                            _mm256_and_si256(p, alpha)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_blendv_epi8(o, p, keep));
    }
    ShadowHighlightRowScalar(S, T, src + i, blurred + i, strength ? strength + i : nullptr, w - i,
                             out + i);
}

#undef ZELVO_AVX2

}  // namespace

void ShadowHighlightRowOn(CpuLevel level, const Table256& S, const Table256& T, const uint32_t* src,
                          const uint32_t* blurred, const uint8_t* strength, int32_t w,
                          uint32_t* out) {
    if (level >= CpuLevel::V4)
        ShadowHighlightRowV4(S, T, src, blurred, strength, w, out);
    else if (level == CpuLevel::Avx2)
        ShadowHighlightRowAvx2(S, T, src, blurred, strength, w, out);
    else
        ShadowHighlightRowScalar(S, T, src, blurred, strength, w, out);
}

namespace {

// One row: `blurred` holds the tent-blurred stretched channels; `strength` is null without a
// selection.
void ShadowHighlightRow(const ShadowHighlightTables& t, const uint32_t* src,
                        const uint32_t* blurred, const uint8_t* strength, int32_t w,
                        uint32_t* out) {
    ShadowHighlightRowOn(BestCpuLevel(), t.S, t.T, src, blurred, strength, w, out);
}

}  // namespace

PixelBuffer ShadowHighlightResult(const PixelBuffer& src, const std::vector<uint8_t>& strength,
                                  const std::array<int64_t, 256>& histogram, int32_t shadows,
                                  int32_t highlights, int32_t radius) {
    const int32_t w = src.width, h = src.height;
    const ShadowHighlightTables t(histogram, shadows, highlights);
    TentRows blurred(
        w, h, std::min({radius, w, h}),
        [&src](int32_t y) { return &src.px[size_t(y) * size_t(src.width)]; }, t.map.data());
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* bl = blurred.Next();
        if (!bl) break;
        const size_t at = size_t(y) * size_t(w);
        ShadowHighlightRow(t, &src.px[at], bl, strength.empty() ? nullptr : &strength[at], w,
                           &out.px[at]);
    }
    return out;
}

int ApplyShadowHighlight(HistoryManager& history, int32_t shadows, int32_t highlights,
                         int32_t radius) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    WaitCursor wait;
    ProgressRun progress(5);
    const Rect b = layer->Bounds();
    const int32_t w = layer->Width(), h = layer->Height();
    const ShadowHighlightTables t(LayerHistogram(*layer), shadows, highlights);
    progress.Step();
    const int32_t L = std::min({radius, w, h});
    const int done = RunBandFilter(
        history, "Shadow/Highlight", b, false,
        [&](int32_t first, int32_t, uint64_t window) {
            // The blur reads the stretched rows through its own reader, ahead of the rows
            // written.
            std::shared_ptr<RowReader> ahead = LayerRowReader(*layer, window),
                                       src = LayerRowReader(*layer, window);
            auto aheadLine = std::make_shared<std::vector<uint32_t>>(size_t(w));
            auto blurred = std::make_shared<TentRows>(
                w, h, L,
                [ahead, aheadLine, w](int32_t row) -> const uint32_t* {
                    const uint8_t* line = ahead->Row(uint32_t(row));
                    if (!line) return nullptr;
                    std::memcpy(aheadLine->data(), line, 4 * size_t(w));
                    return aheadLine->data();
                },
                t.map.data(), first);
            auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
            auto in = std::make_shared<std::vector<uint32_t>>(size_t(w));
            return RowFill([=, &t](int32_t row, uint32_t* out) {
                const uint32_t* bl = blurred->Next();
                const uint8_t* line = src->Row(uint32_t(row));
                if (!bl || !line) return false;
                std::memcpy(in->data(), line, 4 * size_t(w));
                ShadowHighlightRow(t, in->data(), bl, strength->Row(b.bottom - 1 - row), w, out);
                return true;
            });
        },
        4);
    return done;
}

}  // namespace zelvo
