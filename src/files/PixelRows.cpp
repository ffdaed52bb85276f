#include "files/PixelRows.h"

namespace zelvo {

void ExpandBgrRow(const uint8_t* bgr, uint8_t* bgrx, int32_t width, uint8_t fourth) {
    const __m128i x = _mm_set1_epi8(char(fourth));
    int32_t i = 0;
    for (; i + 16 <= width; i += 16) {
        // Sixteen pixels split into their channels, then interleaved again with the fourth byte.
        __m128i b, g, r;
        SplitBgr16(bgr + 3 * i, b, g, r);
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
