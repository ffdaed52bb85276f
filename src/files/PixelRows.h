// Row conversions between the codecs' 24-bit pixels and the four-byte pixels of layers.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace zelvo {

// Splits the 16 b, g, r triples at `bgr` into their blue, green and red bytes, by repeated
// byte interleaving.
inline void SplitBgr16(const uint8_t* bgr, __m128i& b, __m128i& g, __m128i& r) {
    const __m128i* p = reinterpret_cast<const __m128i*>(bgr);
    const __m128i t00 = _mm_loadu_si128(p), t01 = _mm_loadu_si128(p + 1),
                  t02 = _mm_loadu_si128(p + 2);
    const __m128i t10 = _mm_unpacklo_epi8(t00, _mm_unpackhi_epi64(t01, t01));
    const __m128i t11 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t00, t00), t02);
    const __m128i t12 = _mm_unpacklo_epi8(t01, _mm_unpackhi_epi64(t02, t02));
    const __m128i t20 = _mm_unpacklo_epi8(t10, _mm_unpackhi_epi64(t11, t11));
    const __m128i t21 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t10, t10), t12);
    const __m128i t22 = _mm_unpacklo_epi8(t11, _mm_unpackhi_epi64(t12, t12));
    const __m128i t30 = _mm_unpacklo_epi8(t20, _mm_unpackhi_epi64(t21, t21));
    const __m128i t31 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t20, t20), t22);
    const __m128i t32 = _mm_unpacklo_epi8(t21, _mm_unpackhi_epi64(t22, t22));
    b = _mm_unpacklo_epi8(t30, _mm_unpackhi_epi64(t31, t31));
    g = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t30, t30), t32);
    r = _mm_unpacklo_epi8(t31, _mm_unpackhi_epi64(t32, t32));
}

// Copies `width` b, g, r triples into b, g, r, `fourth` quadruples.
void ExpandBgrRow(const uint8_t* bgr, uint8_t* bgrx, int32_t width, uint8_t fourth);

}  // namespace zelvo
