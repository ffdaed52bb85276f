// Image > Adjustments > Saturation: the distance from the pixel's grey is scaled. Under a
// selection the amount itself is scaled by the strength instead of mixing results.
#include <immintrin.h>

#include <array>
#include <cmath>
#include <cstring>

#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/MixRuns.h"
#include "core/CpuLevel.h"

namespace zelvo {

uint32_t SaturationPixel(int32_t value, uint32_t p, int32_t s) {
    const int w = value <= 0 ? value : 2 * value;
    const int b = ChB(p), g = ChG(p), r = ChR(p);
    if (s < 0) {
        const int grey = (b + g + r) / 3;
        const double f = 1 + w * 0.01;
        auto ch = [&](int v) { return Clamp255(grey + int(std::trunc(f * (v - grey)))); };
        return MakePixel(ch(b), ch(g), ch(r), ChA(p));
    }
    if (s == 0) return p;
    const double f = 1 + s * w * 0.0001;
    const double grey = (b + g + r) / 3.0;
    auto ch = [&](int v) { return Clamp255(std::trunc(grey + f * (v - grey))); };
    return MakePixel(ch(b), ch(g), ch(r), ChA(p));
}

namespace {

// The selected rule in doubles, lane for lane the scalar one: the same products, sums and
// quotient in the same order, each rounded once (the file is built without contraction into
// fused multiply-adds). Truncating to an integer and then clamping gives what clamping the
// truncated double does, as |x| < 2000. Strength 0 keeps the pixel: grey + 1 x (v - grey) need
// not give v back. (The zero-masked conversions are the plain ones without GCC 12's false
// warning about their undefined pass-through.)
__attribute__((target("avx512f,avx512vl"))) inline __m256i SaturatedAvx512(__m512d grey, __m512d f,
                                                                           __m256i v) {
    const __m512d x = _mm512_add_pd(
        grey, _mm512_mul_pd(f, _mm512_sub_pd(_mm512_maskz_cvtepi32_pd(0xff, v), grey)));
    return _mm256_min_epi32(
        _mm256_max_epi32(_mm512_maskz_cvttpd_epi32(0xff, x), _mm256_setzero_si256()),
        _mm256_set1_epi32(255));
}

__attribute__((target("avx512f,avx512vl"))) void SaturationRunAvx512(int32_t value,
                                                                     const uint32_t* src,
                                                                     const uint8_t* s,
                                                                     uint32_t* dst, int32_t n) {
    const int32_t w = value <= 0 ? value : 2 * value;
    const __m256i low = _mm256_set1_epi32(0xff), alpha = _mm256_set1_epi32(int32_t(0xff000000u));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i sv =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + i)));
        const __m256i b = _mm256_and_si256(p, low),
                      g = _mm256_and_si256(_mm256_srli_epi32(p, 8), low),
                      r = _mm256_and_si256(_mm256_srli_epi32(p, 16), low);
        const __m512d grey = _mm512_div_pd(
            _mm512_maskz_cvtepi32_pd(0xff, _mm256_add_epi32(_mm256_add_epi32(b, g), r)),
            _mm512_set1_pd(3));
        const __m512d f = _mm512_add_pd(
            _mm512_set1_pd(1),
            _mm512_mul_pd(
                _mm512_maskz_cvtepi32_pd(0xff, _mm256_mullo_epi32(sv, _mm256_set1_epi32(w))),
                _mm512_set1_pd(0.0001)));
        const __m256i out =
            _mm256_or_si256(_mm256_or_si256(SaturatedAvx512(grey, f, b),
                                            _mm256_slli_epi32(SaturatedAvx512(grey, f, g), 8)),
                            _mm256_or_si256(_mm256_slli_epi32(SaturatedAvx512(grey, f, r), 16),
                                            _mm256_and_si256(p, alpha)));
        const __m256i kept = _mm256_cmpeq_epi32(sv, _mm256_setzero_si256());
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_blendv_epi8(out, p, kept));
    }
    for (; i < n; ++i) dst[i] = SaturationPixel(value, src[i], s[i]);
}

// The same on four pixels at a time.
__attribute__((target("avx2"))) inline __m128i SaturatedAvx2(__m256d grey, __m256d f, __m128i v) {
    const __m256d x =
        _mm256_add_pd(grey, _mm256_mul_pd(f, _mm256_sub_pd(_mm256_cvtepi32_pd(v), grey)));
    return _mm_min_epi32(_mm_max_epi32(_mm256_cvttpd_epi32(x), _mm_setzero_si128()),
                         _mm_set1_epi32(255));
}

__attribute__((target("avx2"))) void SaturationRunAvx2(int32_t value, const uint32_t* src,
                                                       const uint8_t* s, uint32_t* dst, int32_t n) {
    const int32_t w = value <= 0 ? value : 2 * value;
    const __m128i low = _mm_set1_epi32(0xff), alpha = _mm_set1_epi32(int32_t(0xff000000u));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        int32_t s4;
        std::memcpy(&s4, s + i, 4);
        const __m128i sv = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(s4));
        const __m128i b = _mm_and_si128(p, low), g = _mm_and_si128(_mm_srli_epi32(p, 8), low),
                      r = _mm_and_si128(_mm_srli_epi32(p, 16), low);
        const __m256d grey = _mm256_div_pd(
            _mm256_cvtepi32_pd(_mm_add_epi32(_mm_add_epi32(b, g), r)), _mm256_set1_pd(3));
        const __m256d f =
            _mm256_add_pd(_mm256_set1_pd(1),
                          _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_mullo_epi32(sv, _mm_set1_epi32(w))),
                                        _mm256_set1_pd(0.0001)));
        const __m128i out = _mm_or_si128(
            _mm_or_si128(SaturatedAvx2(grey, f, b), _mm_slli_epi32(SaturatedAvx2(grey, f, g), 8)),
            _mm_or_si128(_mm_slli_epi32(SaturatedAvx2(grey, f, r), 16), _mm_and_si128(p, alpha)));
        const __m128i kept = _mm_cmpeq_epi32(sv, _mm_setzero_si128());
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_blendv_epi8(out, p, kept));
    }
    for (; i < n; ++i) dst[i] = SaturationPixel(value, src[i], s[i]);
}

// Without a selection: the integer grey (S / 3 as S x 43691 >> 17, exact for S <= 765) and
// trunc(f x (v - grey)) as the same double product the table of the scalar path holds.
__attribute__((target("avx512f,avx512vl"))) inline __m256i FullAvx512(__m512d f, __m256i grey,
                                                                      __m256i v) {
    const __m256i x = _mm512_maskz_cvttpd_epi32(
        0xff, _mm512_mul_pd(f, _mm512_maskz_cvtepi32_pd(0xff, _mm256_sub_epi32(v, grey))));
    return _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(grey, x), _mm256_setzero_si256()),
                            _mm256_set1_epi32(255));
}

__attribute__((target("avx512f,avx512vl"))) void FullRunAvx512(int32_t value, const uint32_t* src,
                                                               uint32_t* dst, int32_t n) {
    const int32_t w = value <= 0 ? value : 2 * value;
    const __m512d f = _mm512_set1_pd(1 + w * 0.01);
    const __m256i low = _mm256_set1_epi32(0xff), alpha = _mm256_set1_epi32(int32_t(0xff000000u));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_and_si256(p, low),
                      g = _mm256_and_si256(_mm256_srli_epi32(p, 8), low),
                      r = _mm256_and_si256(_mm256_srli_epi32(p, 16), low);
        const __m256i grey =
            _mm256_srli_epi32(_mm256_mullo_epi32(_mm256_add_epi32(_mm256_add_epi32(b, g), r),
                                                 _mm256_set1_epi32(43691)),
                              17);
        const __m256i out = _mm256_or_si256(
            _mm256_or_si256(FullAvx512(f, grey, b), _mm256_slli_epi32(FullAvx512(f, grey, g), 8)),
            _mm256_or_si256(_mm256_slli_epi32(FullAvx512(f, grey, r), 16),
                            _mm256_and_si256(p, alpha)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    for (; i < n; ++i) dst[i] = SaturationPixel(value, src[i], -1);
}

__attribute__((target("avx2"))) inline __m128i FullAvx2(__m256d f, __m128i grey, __m128i v) {
    const __m128i x =
        _mm256_cvttpd_epi32(_mm256_mul_pd(f, _mm256_cvtepi32_pd(_mm_sub_epi32(v, grey))));
    return _mm_min_epi32(_mm_max_epi32(_mm_add_epi32(grey, x), _mm_setzero_si128()),
                         _mm_set1_epi32(255));
}

__attribute__((target("avx2"))) void FullRunAvx2(int32_t value, const uint32_t* src, uint32_t* dst,
                                                 int32_t n) {
    const int32_t w = value <= 0 ? value : 2 * value;
    const __m256d f = _mm256_set1_pd(1 + w * 0.01);
    const __m128i low = _mm_set1_epi32(0xff), alpha = _mm_set1_epi32(int32_t(0xff000000u));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_and_si128(p, low), g = _mm_and_si128(_mm_srli_epi32(p, 8), low),
                      r = _mm_and_si128(_mm_srli_epi32(p, 16), low);
        const __m128i grey = _mm_srli_epi32(
            _mm_mullo_epi32(_mm_add_epi32(_mm_add_epi32(b, g), r), _mm_set1_epi32(43691)), 17);
        const __m128i out = _mm_or_si128(
            _mm_or_si128(FullAvx2(f, grey, b), _mm_slli_epi32(FullAvx2(f, grey, g), 8)),
            _mm_or_si128(_mm_slli_epi32(FullAvx2(f, grey, r), 16), _mm_and_si128(p, alpha)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
    for (; i < n; ++i) dst[i] = SaturationPixel(value, src[i], -1);
}

// The scalar way without a selection: the scaled distance depends on v - grey alone
// (-255..255), so it is taken once per value with the same double product, then looked up.
void FullRunScalar(int32_t value, const uint32_t* src, uint32_t* dst, int32_t n) {
    const int w = value <= 0 ? value : 2 * value;
    const double f = 1 + w * 0.01;
    std::array<int32_t, 511> scaled{};
    for (int d = -255; d <= 255; ++d) scaled[size_t(d + 255)] = int(std::trunc(f * d));
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t p = src[i];
        const int b = ChB(p), g = ChG(p), r = ChR(p);
        const int grey = (b + g + r) / 3;
        auto ch = [&](int v) { return Clamp255(grey + scaled[size_t(v - grey + 255)]); };
        dst[i] = MakePixel(ch(b), ch(g), ch(r), ChA(p));
    }
}

}  // namespace

void SaturationRunOn(CpuLevel level, int32_t value, const uint32_t* src, const uint8_t* s,
                     uint32_t* dst, int32_t n) {
    switch (level) {
        case CpuLevel::Avx512Vbmi:
        case CpuLevel::V4:
            return s ? SaturationRunAvx512(value, src, s, dst, n)
                     : FullRunAvx512(value, src, dst, n);
        case CpuLevel::Avx2:
            return s ? SaturationRunAvx2(value, src, s, dst, n) : FullRunAvx2(value, src, dst, n);
        case CpuLevel::Base:
            if (!s) return FullRunScalar(value, src, dst, n);
            for (int32_t i = 0; i < n; ++i) dst[i] = SaturationPixel(value, src[i], s[i]);
            return;
    }
}

int ApplySaturation(HistoryManager& history, int32_t value) {
    if (value == 0) return 0;  // OK without a change applies nothing
    return RunRowAdjustment(
        history, "Saturation",
        [value](const uint32_t* src, const uint8_t* s, uint32_t* dst, int32_t n) {
            SaturationRunOn(BestCpuLevel(), value, src, s, dst, n);
        });
}

}  // namespace zelvo
