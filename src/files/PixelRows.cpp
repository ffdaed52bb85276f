#include "files/PixelRows.h"

#include <emmintrin.h>

namespace zelvo {

void ExpandBgrRow(const uint8_t* bgr, uint8_t* bgrx, int32_t width, uint8_t fourth) {
    const __m128i x = _mm_set1_epi8(char(fourth));
    int32_t i = 0;
    for (; i + 16 <= width; i += 16) {
        // Sixteen pixels split into their channels by repeated byte interleaving, then
        // interleaved again with the fourth byte.
        const __m128i* p = reinterpret_cast<const __m128i*>(bgr + 3 * i);
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
        const __m128i b = _mm_unpacklo_epi8(t30, _mm_unpackhi_epi64(t31, t31));
        const __m128i g = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t30, t30), t32);
        const __m128i r = _mm_unpacklo_epi8(t31, _mm_unpackhi_epi64(t32, t32));
        const __m128i bg0 = _mm_unpacklo_epi8(b, g), bg1 = _mm_unpackhi_epi8(b, g);
        const __m128i rx0 = _mm_unpacklo_epi8(r, x), rx1 = _mm_unpackhi_epi8(r, x);
        __m128i* q = reinterpret_cast<__m128i*>(bgrx + 4 * i);
        _mm_storeu_si128(q, _mm_unpacklo_epi16(bg0, rx0));
        _mm_storeu_si128(q + 1, _mm_unpackhi_epi16(bg0, rx0));
        _mm_storeu_si128(q + 2, _mm_unpacklo_epi16(bg1, rx1));
        _mm_storeu_si128(q + 3, _mm_unpackhi_epi16(bg1, rx1));
    }
    for (; i < width; ++i) {
        bgrx[4 * i] = bgr[3 * i];
        bgrx[4 * i + 1] = bgr[3 * i + 1];
        bgrx[4 * i + 2] = bgr[3 * i + 2];
        bgrx[4 * i + 3] = fourth;
    }
}

}  // namespace zelvo
