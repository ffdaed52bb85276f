// Built with -O3 in every configuration (see CMakeLists.txt), so that the sanitised test build
// runs the same vector code as the release.
#include "layers/BlendRuns.h"

#include <array>
#include <atomic>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/CpuLevel.h"

namespace zelvo {

namespace {

#define ZELVO_RUN_BODY inline __attribute__((always_inline))

// I = opacity x alpha x cov / 10000 needs 22 bits as one product, so it is taken in two steps
// that stay within 16 bits: with k = opacity x cov = 100 kh + kl, k x alpha = 100 y + z for
// y = kh x alpha and z = kl x alpha, and floor(floor(x / 100) / 100) = floor(x / 10000) gives
// I = (y + z / 100) / 100 exactly.
ZELVO_RUN_BODY uint32_t BlendBody(const uint8_t* __restrict px, int32_t n, uint16_t opacity,
                                  int16_t* __restrict cov, uint16_t* __restrict b,
                                  uint16_t* __restrict g, uint16_t* __restrict r) {
    uint16_t alive = 0;
    for (int32_t i = 0; i < n; ++i) {
        uint32_t p;
        std::memcpy(&p, px + 4 * size_t(i), 4);
        const uint16_t pb = uint16_t(p & 0xFFu);
        const uint16_t pg = uint16_t((p >> 8) & 0xFFu);
        const uint16_t pr = uint16_t((p >> 16) & 0xFFu);
        const uint16_t pa = uint16_t(p >> 24);
        const int16_t c = cov[i];
        // A pixel that is finished (coverage <= 0, possible only with alpha bytes above 100)
        // takes nothing more.
        const uint16_t cp = c > 0 ? uint16_t(c) : uint16_t(0);
        const uint16_t k = uint16_t(opacity * cp);              // <= 10000
        const uint16_t kh = uint16_t(k / 100u);                 // <= 100
        const uint16_t kl = uint16_t(k - kh * 100u);            // <= 99
        const uint16_t y = uint16_t(kh * pa);                   // <= 25500
        const uint16_t z = uint16_t(uint16_t(kl * pa) / 100u);  // <= 252
        const uint16_t in = uint16_t(uint16_t(y + z) / 100u);   // <= 255
        b[i] = uint16_t(b[i] + uint16_t(uint16_t(in * pb) / 100u));
        g[i] = uint16_t(g[i] + uint16_t(uint16_t(in * pg) / 100u));
        r[i] = uint16_t(r[i] + uint16_t(uint16_t(in * pr) / 100u));
        const int16_t left = int16_t(c - int16_t(in));
        cov[i] = left;
        alive |= uint16_t(left > 0);
    }
    return alive;
}

// The quotient x 100 / alpha for 0 < alpha < 100 has x <= 255 x alpha / 100, so x x 100 is
// below 2^15 and a single-precision quotient lies at least 1 / 99 from the next integer, far
// more than its rounding error: truncating it gives the integer quotient on every lane. With
// alpha 0 every sum is 0 and with alpha 100 the division is exact, so those lanes divide by
// 100 and need no branch.
ZELVO_RUN_BODY void StraightBody(int32_t n, const int16_t* __restrict cov,
                                 const uint16_t* __restrict b, const uint16_t* __restrict g,
                                 const uint16_t* __restrict r, uint32_t* __restrict out) {
    for (int32_t i = 0; i < n; ++i) {
        const int32_t c = cov[i];
        const int32_t alpha = 100 - (c > 0 ? c : 0);
        const float d = float(alpha == 0 ? 100 : alpha);
        const int32_t qb = int32_t(float(int32_t(b[i]) * 100) / d);
        const int32_t qg = int32_t(float(int32_t(g[i]) * 100) / d);
        const int32_t qr = int32_t(float(int32_t(r[i]) * 100) / d);
        out[i] = uint32_t(qb < 255 ? qb : 255) | uint32_t(qg < 255 ? qg : 255) << 8 |
                 uint32_t(qr < 255 ? qr : 255) << 16 | uint32_t(alpha) << 24;
    }
}

ZELVO_RUN_BODY uint16_t White(int16_t c) {
    return c > 0 ? uint16_t(uint16_t(uint16_t(c) * 255u) / 100u) : uint16_t(0);
}

// Straight into the output: a separate pass over words and a repack cost as much again.
ZELVO_RUN_BODY void FinishPackedBody(int32_t n, const int16_t* __restrict cov,
                                     const uint16_t* __restrict b, const uint16_t* __restrict g,
                                     const uint16_t* __restrict r, uint8_t* __restrict out) {
    for (int32_t i = 0; i < n; ++i) {
        const uint16_t w = White(cov[i]);
        out[3 * size_t(i)] = uint8_t(b[i] + w);
        out[3 * size_t(i) + 1] = uint8_t(g[i] + w);
        out[3 * size_t(i) + 2] = uint8_t(r[i] + w);
    }
}

ZELVO_RUN_BODY void FinishWordsBody(int32_t n, const int16_t* __restrict cov,
                                    const uint16_t* __restrict b, const uint16_t* __restrict g,
                                    const uint16_t* __restrict r, uint8_t* __restrict out) {
    for (int32_t i = 0; i < n; ++i) {
        const uint16_t w = White(cov[i]);
        uint32_t old;
        std::memcpy(&old, out + 4 * size_t(i), 4);
        const uint32_t word = (old & 0xFF000000u) | uint32_t(uint8_t(b[i] + w)) |
                              uint32_t(uint8_t(g[i] + w)) << 8 | uint32_t(uint8_t(r[i] + w)) << 16;
        std::memcpy(out + 4 * size_t(i), &word, 4);
    }
}

struct Runs {
    uint32_t (*blend)(const uint8_t*, int32_t, uint16_t, int16_t*, uint16_t*, uint16_t*, uint16_t*);
    void (*straight)(int32_t, const int16_t*, const uint16_t*, const uint16_t*, const uint16_t*,
                     uint32_t*);
    void (*packed)(int32_t, const int16_t*, const uint16_t*, const uint16_t*, const uint16_t*,
                   uint8_t*);
    void (*words)(int32_t, const int16_t*, const uint16_t*, const uint16_t*, const uint16_t*,
                  uint8_t*);
};

// The blend compiled for TARGET.
#define ZELVO_BLEND(NAME, TARGET)                                                             \
    TARGET uint32_t Blend##NAME(const uint8_t* px, int32_t n, uint16_t opacity, int16_t* cov, \
                                uint16_t* b, uint16_t* g, uint16_t* r) {                      \
        return BlendBody(px, n, opacity, cov, b, g, r);                                       \
    }

// The finishing runs compiled for TARGET.
#define ZELVO_FINISH(NAME, TARGET)                                                                \
    TARGET void Straight##NAME(int32_t n, const int16_t* cov, const uint16_t* b,                  \
                               const uint16_t* g, const uint16_t* r, uint32_t* out) {             \
        StraightBody(n, cov, b, g, r, out);                                                       \
    }                                                                                             \
    TARGET void Packed##NAME(int32_t n, const int16_t* cov, const uint16_t* b, const uint16_t* g, \
                             const uint16_t* r, uint8_t* out) {                                   \
        FinishPackedBody(n, cov, b, g, r, out);                                                   \
    }                                                                                             \
    TARGET void Words##NAME(int32_t n, const int16_t* cov, const uint16_t* b, const uint16_t* g,  \
                            const uint16_t* r, uint8_t* out) {                                    \
        FinishWordsBody(n, cov, b, g, r, out);                                                    \
    }

ZELVO_BLEND(Plain, )
ZELVO_FINISH(Plain, )
constexpr Runs kPlainRuns = {BlendPlain, StraightPlain, PackedPlain, WordsPlain};
#if defined(__x86_64__)
#define ZELVO_AVX2 __attribute__((target("avx2")))

// floor(x / 100) for x < 43691 in one high multiply: 41944 / 2^22 exceeds 1 / 100 by
// 96 / (100 x 2^22), which adds less than 1 / 100 to any such quotient.
ZELVO_AVX2 inline __m256i Div100Short(__m256i x) {
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(short(41944))), 6);
}
// floor(x / 100) for every 16-bit x.
ZELVO_AVX2 inline __m256i Div100(__m256i x) {
    return _mm256_srli_epi16(
        _mm256_mulhi_epu16(_mm256_srli_epi16(x, 2), _mm256_set1_epi16(short(5243))), 1);
}

// BlendBody written out for 16 pixels a step with the same arithmetic as the AVX-512 step
// below. The compiler's version takes the channels apart word by word; here the two halves of
// the 16 pixels are crossed so that each byte shuffle yields four pixels' blue and green (or red
// and alpha) as words, and one unpack puts eight of a channel in pixel order.
ZELVO_AVX2 uint32_t BlendAvx2(const uint8_t* px, int32_t n, uint16_t opacity, int16_t* cov,
                              uint16_t* b, uint16_t* g, uint16_t* r) {
    constexpr char Z = char(0x80);
    const __m256i blueGreen = _mm256_setr_epi8(0, Z, 4, Z, 8, Z, 12, Z, 1, Z, 5, Z, 9, Z, 13, Z,  //
                                               0, Z, 4, Z, 8, Z, 12, Z, 1, Z, 5, Z, 9, Z, 13, Z);
    const __m256i redAlpha = _mm256_setr_epi8(2, Z, 6, Z, 10, Z, 14, Z, 3, Z, 7, Z, 11, Z, 15, Z, 2,
                                              Z, 6, Z, 10, Z, 14, Z, 3, Z, 7, Z, 11, Z, 15, Z);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i hundred = _mm256_set1_epi16(100);
    const __m256i op = _mm256_set1_epi16(short(opacity));
    __m256i alive = zero;
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i p0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(px + 4 * size_t(i)));
        const __m256i p1 =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(px + 4 * size_t(i) + 32));
        // q0: pixels 0-3 and 8-11; q1: pixels 4-7 and 12-15.
        const __m256i q0 = _mm256_permute2x128_si256(p0, p1, 0x20);
        const __m256i q1 = _mm256_permute2x128_si256(p0, p1, 0x31);
        const __m256i bg0 = _mm256_shuffle_epi8(q0, blueGreen);
        const __m256i bg1 = _mm256_shuffle_epi8(q1, blueGreen);
        const __m256i ra0 = _mm256_shuffle_epi8(q0, redAlpha);
        const __m256i ra1 = _mm256_shuffle_epi8(q1, redAlpha);
        const __m256i pb = _mm256_unpacklo_epi64(bg0, bg1);
        const __m256i pg = _mm256_unpackhi_epi64(bg0, bg1);
        const __m256i pr = _mm256_unpacklo_epi64(ra0, ra1);
        const __m256i pa = _mm256_unpackhi_epi64(ra0, ra1);
        __m256i* cv = reinterpret_cast<__m256i*>(cov + i);
        __m256i* bv = reinterpret_cast<__m256i*>(b + i);
        __m256i* gv = reinterpret_cast<__m256i*>(g + i);
        __m256i* rv = reinterpret_cast<__m256i*>(r + i);
        const __m256i c = _mm256_loadu_si256(cv);
        const __m256i k = _mm256_mullo_epi16(_mm256_max_epi16(c, zero), op);  // <= 10000
        const __m256i kh = Div100Short(k);
        const __m256i kl = _mm256_sub_epi16(k, _mm256_mullo_epi16(kh, hundred));
        const __m256i y = _mm256_mullo_epi16(kh, pa);               // <= 25500
        const __m256i z = Div100Short(_mm256_mullo_epi16(kl, pa));  // of <= 25245
        const __m256i in = Div100Short(_mm256_add_epi16(y, z));     // of <= 25752
        _mm256_storeu_si256(
            bv, _mm256_add_epi16(_mm256_loadu_si256(bv), Div100(_mm256_mullo_epi16(in, pb))));
        _mm256_storeu_si256(
            gv, _mm256_add_epi16(_mm256_loadu_si256(gv), Div100(_mm256_mullo_epi16(in, pg))));
        _mm256_storeu_si256(
            rv, _mm256_add_epi16(_mm256_loadu_si256(rv), Div100(_mm256_mullo_epi16(in, pr))));
        const __m256i left = _mm256_sub_epi16(c, in);
        _mm256_storeu_si256(cv, left);
        alive = _mm256_or_si256(alive, _mm256_cmpgt_epi16(left, zero));
    }
    const uint32_t tail =
        BlendBody(px + 4 * size_t(i), n - i, opacity, cov + i, b + i, g + i, r + i);
    return uint32_t(_mm256_movemask_epi8(alive) != 0) | tail;
}

ZELVO_FINISH(Avx2, ZELVO_AVX2)
constexpr Runs kAvx2Runs = {BlendAvx2, StraightAvx2, PackedAvx2, WordsAvx2};
ZELVO_BLEND(Avx512, __attribute__((target("arch=x86-64-v4"))))
ZELVO_FINISH(Avx512, __attribute__((target("arch=x86-64-v4"))))
constexpr Runs kAvx512Runs = {BlendAvx512, StraightAvx512, PackedAvx512, WordsAvx512};

#define ZELVO_VBMI __attribute__((target("arch=x86-64-v4,avx512vbmi")))

ZELVO_VBMI inline __m512i Div100Short(__m512i x) {
    return _mm512_srli_epi16(_mm512_mulhi_epu16(x, _mm512_set1_epi16(short(41944))), 6);
}

ZELVO_VBMI inline __m512i Div100(__m512i x) {
    return _mm512_srli_epi16(
        _mm512_mulhi_epu16(_mm512_srli_epi16(x, 2), _mm512_set1_epi16(short(5243))), 1);
}

// The byte of channel `c` of each of 32 pixels (128 bytes, two registers), as a byte index
// into the pair in the low byte of each 16-bit lane.
constexpr std::array<uint8_t, 64> ChannelIndex(int c) {
    std::array<uint8_t, 64> t{};
    for (int i = 0; i < 32; ++i) t[size_t(2 * i)] = uint8_t(4 * i + c);
    return t;
}
alignas(64) constexpr std::array<uint8_t, 64> kChannel[4] = {ChannelIndex(0), ChannelIndex(1),
                                                             ChannelIndex(2), ChannelIndex(3)};

// BlendBody written out for 32 pixels a step: the compiler's version spends a third of its
// instructions taking the channels apart, where one byte permute per channel does it. The
// divisions by 100 of values known to stay below 43691 take one multiply fewer.
ZELVO_VBMI uint32_t BlendVbmi(const uint8_t* px, int32_t n, uint16_t opacity, int16_t* cov,
                              uint16_t* b, uint16_t* g, uint16_t* r) {
    const __m512i ib = _mm512_load_si512(kChannel[0].data());
    const __m512i ig = _mm512_load_si512(kChannel[1].data());
    const __m512i ir = _mm512_load_si512(kChannel[2].data());
    const __m512i ia = _mm512_load_si512(kChannel[3].data());
    const __mmask64 lowBytes = 0x5555555555555555ull;
    const __m512i zero = _mm512_setzero_si512();
    const __m512i hundred = _mm512_set1_epi16(100);
    const __m512i op = _mm512_set1_epi16(short(opacity));
    __mmask32 alive = 0;
    int32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m512i p0 = _mm512_loadu_si512(px + 4 * size_t(i));
        const __m512i p1 = _mm512_loadu_si512(px + 4 * size_t(i) + 64);
        const __m512i pb = _mm512_maskz_permutex2var_epi8(lowBytes, p0, ib, p1);
        const __m512i pg = _mm512_maskz_permutex2var_epi8(lowBytes, p0, ig, p1);
        const __m512i pr = _mm512_maskz_permutex2var_epi8(lowBytes, p0, ir, p1);
        const __m512i pa = _mm512_maskz_permutex2var_epi8(lowBytes, p0, ia, p1);
        const __m512i c = _mm512_loadu_si512(cov + i);
        const __m512i k = _mm512_mullo_epi16(_mm512_max_epi16(c, zero), op);  // <= 10000
        const __m512i kh = Div100Short(k);
        const __m512i kl = _mm512_sub_epi16(k, _mm512_mullo_epi16(kh, hundred));
        const __m512i y = _mm512_mullo_epi16(kh, pa);               // <= 25500
        const __m512i z = Div100Short(_mm512_mullo_epi16(kl, pa));  // of <= 25245
        const __m512i in = Div100Short(_mm512_add_epi16(y, z));     // of <= 25752
        _mm512_storeu_si512(
            b + i, _mm512_add_epi16(_mm512_loadu_si512(b + i), Div100(_mm512_mullo_epi16(in, pb))));
        _mm512_storeu_si512(
            g + i, _mm512_add_epi16(_mm512_loadu_si512(g + i), Div100(_mm512_mullo_epi16(in, pg))));
        _mm512_storeu_si512(
            r + i, _mm512_add_epi16(_mm512_loadu_si512(r + i), Div100(_mm512_mullo_epi16(in, pr))));
        const __m512i left = _mm512_sub_epi16(c, in);
        _mm512_storeu_si512(cov + i, left);
        alive |= _mm512_cmpgt_epi16_mask(left, zero);
    }
    const uint32_t tail =
        BlendBody(px + 4 * size_t(i), n - i, opacity, cov + i, b + i, g + i, r + i);
    return uint32_t(alive != 0) | tail;
}

constexpr Runs kAvx512VbmiRuns = {BlendVbmi, StraightAvx512, PackedAvx512, WordsAvx512};
#endif

// -1: the best level.
std::atomic<int> g_forced{-1};

const Runs& Active() {
    int level = g_forced.load(std::memory_order_relaxed);
    if (level < 0) level = int(BestCpuLevel());
#if defined(__x86_64__)
    if (level == int(CpuLevel::Avx512Vbmi)) return kAvx512VbmiRuns;
    if (level == int(CpuLevel::V4)) return kAvx512Runs;
    if (level == int(CpuLevel::Avx2)) return kAvx2Runs;
#endif
    return kPlainRuns;
}

}  // namespace

uint32_t BlendRun(const uint8_t* px, int32_t n, uint16_t opacity, int16_t* cov, uint16_t* b,
                  uint16_t* g, uint16_t* r) {
    return Active().blend(px, n, opacity, cov, b, g, r);
}

void StraightRun(int32_t n, const int16_t* cov, const uint16_t* b, const uint16_t* g,
                 const uint16_t* r, uint32_t* out) {
    Active().straight(n, cov, b, g, r, out);
}

void FinishRun(int32_t n, const int16_t* cov, const uint16_t* b, const uint16_t* g,
               const uint16_t* r, uint8_t* out, int step) {
    if (step == 3)
        Active().packed(n, cov, b, g, r, out);
    else
        Active().words(n, cov, b, g, r, out);
}

ScopedRunLevel::ScopedRunLevel(CpuLevel level) : m_old(g_forced.load()) {
    g_forced.store(CpuRuns(level) ? int(level) : -1);
}

ScopedRunLevel::~ScopedRunLevel() {
    g_forced.store(m_old);
}

}  // namespace zelvo
