#include "adjust/MixRuns.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "adjust/AdjustPass.h"

namespace zelvo {

void ChannelTableRun(const uint32_t* __restrict src, const uint8_t* __restrict tb,
                     const uint8_t* __restrict tg, const uint8_t* __restrict tr,
                     uint32_t* __restrict dst, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t p = src[i];
        dst[i] = uint32_t(tb[p & 0xffu]) | uint32_t(tg[(p >> 8) & 0xffu]) << 8 |
                 uint32_t(tr[(p >> 16) & 0xffu]) << 16 | (p & 0xff000000u);
    }
}

namespace {

uint32_t MixPixel(uint32_t o, uint32_t r, int s, bool mixAlpha) {
    return MakePixel(StrengthMix(ChB(o), ChB(r), s), StrengthMix(ChG(o), ChG(r), s),
                     StrengthMix(ChR(o), ChR(r), s),
                     mixAlpha ? StrengthMix(ChA(o), ChA(r), s) : ChA(o));
}

// Two pixels' mix on eight 16-bit lanes. With s <= 100, x = |r - v| x s <= 25500 and
// floor(x / 100) = (x x 41944) >> 22 for every x below 43690 (the error x x 0.96 / 2^22 stays
// under 1 / 100): the high half of a 16-bit product, then a shift of 6. The sign is put back
// after, so the quotient truncates toward zero as the integer division does.
inline __m128i MixLanes(__m128i v, __m128i r, __m128i s) {
    const __m128i d = _mm_sub_epi16(r, v);
    const __m128i sign = _mm_srai_epi16(d, 15);
    const __m128i ad = _mm_max_epi16(d, _mm_sub_epi16(_mm_setzero_si128(), d));
    const __m128i x = _mm_mullo_epi16(ad, s);
    const __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(int16_t(41944))), 6);
    return _mm_add_epi16(v, _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
}

}  // namespace

bool StrengthsArePercents(const uint8_t* strength, int32_t n) {
    uint8_t most = 0;
    for (int32_t i = 0; i < n; ++i) most = std::max(most, strength[i]);
    return most <= 100;
}

void MixRun(const uint32_t* old, const uint32_t* res, const uint8_t* strength, uint32_t* dst,
            int32_t n, bool mixAlpha) {
    const __m128i zero = _mm_setzero_si128();
    // A pixel's strength on its four lanes; A's lane kept at 0 when A is not mixed.
    const __m128i laneMask =
        mixAlpha ? _mm_set1_epi16(-1) : _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint32_t s4;
        std::memcpy(&s4, strength + i, 4);
        const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(old + i));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(res + i));
        const __m128i s16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(s4)), zero);
        const __m128i s32 = _mm_unpacklo_epi16(s16, s16);  // s0 s0 s1 s1 s2 s2 s3 s3
        const __m128i sLo = _mm_and_si128(_mm_unpacklo_epi32(s32, s32), laneMask);
        const __m128i sHi = _mm_and_si128(_mm_unpackhi_epi32(s32, s32), laneMask);
        const __m128i lo = MixLanes(_mm_unpacklo_epi8(o, zero), _mm_unpacklo_epi8(r, zero), sLo);
        const __m128i hi = MixLanes(_mm_unpackhi_epi8(o, zero), _mm_unpackhi_epi8(r, zero), sHi);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
    for (; i < n; ++i) dst[i] = MixPixel(old[i], res[i], strength[i], mixAlpha);
}

}  // namespace zelvo
