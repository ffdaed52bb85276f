#include "adjust/MixRuns.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "adjust/AdjustPass.h"
#include "core/CpuLevel.h"

namespace zelvo {

namespace {

void TableRunScalar(const uint32_t* src, const uint8_t* tb, const uint8_t* tg, const uint8_t* tr,
                    uint32_t* dst, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t p = src[i];
        dst[i] = uint32_t(tb[p & 0xffu]) | uint32_t(tg[(p >> 8) & 0xffu]) << 8 |
                 uint32_t(tr[(p >> 16) & 0xffu]) << 16 | (p & 0xff000000u);
    }
}

// Eight pixels at a time by three gathers from word tables whose entries already sit in their
// channel's byte.
__attribute__((target("avx2"))) void TableRunAvx2(const uint32_t* src, const uint8_t* tb,
                                                  const uint8_t* tg, const uint8_t* tr,
                                                  uint32_t* dst, int32_t n) {
    alignas(32) int32_t wb[256], wg[256], wr[256];
    for (int v = 0; v < 256; ++v) {
        wb[v] = int32_t(tb[v]);
        wg[v] = int32_t(uint32_t(tg[v]) << 8);
        wr[v] = int32_t(uint32_t(tr[v]) << 16);
    }
    const __m256i low = _mm256_set1_epi32(0xff), alpha = _mm256_set1_epi32(int32_t(0xff000000u));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_i32gather_epi32(wb, _mm256_and_si256(p, low), 4);
        const __m256i g =
            _mm256_i32gather_epi32(wg, _mm256_and_si256(_mm256_srli_epi32(p, 8), low), 4);
        const __m256i r =
            _mm256_i32gather_epi32(wr, _mm256_and_si256(_mm256_srli_epi32(p, 16), low), 4);
        const __m256i out =
            _mm256_or_si256(_mm256_or_si256(b, g), _mm256_or_si256(r, _mm256_and_si256(p, alpha)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    for (; i < n; ++i)
        dst[i] =
            uint32_t(wb[src[i] & 0xffu] | wg[(src[i] >> 8) & 0xffu] | wr[(src[i] >> 16) & 0xffu]) |
            (src[i] & 0xff000000u);
}

// One table for B, G and R without gathers, for processors whose gathers are microcode. Eight
// pixels go through byte shuffles: each of the table's sixteen rows of sixteen is looked up by
// the low nibble, then a tree of byte blends keeps, by bits 4 to 7 of each byte in turn, the row
// its high nibble names (a blend reads a byte's top bit, so each bit is shifted there first; a
// 16-bit shift moves no other byte's bits into bit 7). The next eight go through plain loads,
// which use other units of the core, so the two halves run side by side: together faster than
// either alone. Three tables would take three trees, slower than the plain loop.
__attribute__((target("avx2"))) inline __m256i ShuffleLookup(const __m256i (&rows)[16], __m256i x,
                                                             __m256i low) {
    const __m256i nibble = _mm256_and_si256(x, low);
    const __m256i b4 = _mm256_slli_epi16(x, 3), b5 = _mm256_slli_epi16(x, 2),
                  b6 = _mm256_slli_epi16(x, 1);
    __m256i quarter[4];
    for (int q = 0; q < 4; ++q) {
        const __m256i* r = rows + 4 * q;
        const __m256i a = _mm256_blendv_epi8(_mm256_shuffle_epi8(r[0], nibble),
                                             _mm256_shuffle_epi8(r[1], nibble), b4);
        const __m256i b = _mm256_blendv_epi8(_mm256_shuffle_epi8(r[2], nibble),
                                             _mm256_shuffle_epi8(r[3], nibble), b4);
        quarter[q] = _mm256_blendv_epi8(a, b, b5);
    }
    return _mm256_blendv_epi8(_mm256_blendv_epi8(quarter[0], quarter[1], b6),
                              _mm256_blendv_epi8(quarter[2], quarter[3], b6), x);
}

__attribute__((target("avx2"))) void TableRunShuffle(const uint32_t* src, const uint8_t* tb,
                                                     const uint8_t* tg, const uint8_t* tr,
                                                     uint32_t* dst, int32_t n) {
    if (std::memcmp(tb, tg, 256) != 0 || std::memcmp(tb, tr, 256) != 0)
        return TableRunScalar(src, tb, tg, tr, dst, n);
    __m256i rows[16];
    for (int k = 0; k < 16; ++k)
        rows[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(tb + 16 * k)));
    const __m256i low = _mm256_set1_epi8(0x0f);
    const __m256i alpha = _mm256_set1_epi32(int32_t(0xff000000u));
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i out = ShuffleLookup(rows, p, low);
        TableRunScalar(src + i + 8, tb, tb, tb, dst + i + 8, 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_blendv_epi8(out, p, alpha));
    }
    TableRunScalar(src + i, tb, tb, tb, dst + i, n - i);
}

// Sixteen pixels at a time. A 128-entry byte lookup is one two-register permute that reads the
// index's low seven bits; a 256-entry table is two of them, one for each value of the high bit.
// Each half-table lookup rewrites only the bytes of its channels whose high bit selects that
// half, and keeps every other byte of its index register: so each byte is still the source's
// when its own lookup reads it, and A is never touched. With one table for B, G and R (Levels,
// Curves, Brightness/Contrast) two lookups serve all three channels.
template <bool kShared>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i LookupVbmi(
    const __m512i (&t)[3][4], __m512i x) {
    constexpr __mmask64 kB = 0x1111111111111111ull, kG = kB << 1, kR = kB << 2;
    const __mmask64 high = _mm512_movepi8_mask(x);
    __m512i r = x;
    if constexpr (kShared) {
        constexpr __mmask64 kBgr = kB | kG | kR;
        r = _mm512_mask2_permutex2var_epi8(t[0][0], r, _kandn_mask64(high, kBgr), t[0][1]);
        return _mm512_mask2_permutex2var_epi8(t[0][2], r, _kand_mask64(high, kBgr), t[0][3]);
    }
    r = _mm512_mask2_permutex2var_epi8(t[0][0], r, _kandn_mask64(high, kB), t[0][1]);
    r = _mm512_mask2_permutex2var_epi8(t[0][2], r, _kand_mask64(high, kB), t[0][3]);
    r = _mm512_mask2_permutex2var_epi8(t[1][0], r, _kandn_mask64(high, kG), t[1][1]);
    r = _mm512_mask2_permutex2var_epi8(t[1][2], r, _kand_mask64(high, kG), t[1][3]);
    r = _mm512_mask2_permutex2var_epi8(t[2][0], r, _kandn_mask64(high, kR), t[2][1]);
    r = _mm512_mask2_permutex2var_epi8(t[2][2], r, _kand_mask64(high, kR), t[2][3]);
    return r;
}

template <bool kShared>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void TableLoopVbmi(const __m512i (&t)[3][4],
                                                                          const uint32_t* src,
                                                                          uint32_t* dst,
                                                                          int32_t n) {
    int32_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_si512(dst + i, LookupVbmi<kShared>(t, _mm512_loadu_si512(src + i)));
    if (i < n) {
        // The last few pixels through masked loads and stores, which touch no word past n.
        const __mmask16 rest = __mmask16((1u << (n - i)) - 1);
        _mm512_mask_storeu_epi32(dst + i, rest,
                                 LookupVbmi<kShared>(t, _mm512_maskz_loadu_epi32(rest, src + i)));
    }
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void TableRunVbmi(const uint32_t* src,
                                                                         const uint8_t* tb,
                                                                         const uint8_t* tg,
                                                                         const uint8_t* tr,
                                                                         uint32_t* dst, int32_t n) {
    __m512i t[3][4];
    const uint8_t* tables[3] = {tb, tg, tr};
    for (int c = 0; c < 3; ++c)
        for (int q = 0; q < 4; ++q) t[c][q] = _mm512_loadu_si512(tables[c] + 64 * q);
    if (std::memcmp(tb, tg, 256) == 0 && std::memcmp(tb, tr, 256) == 0)
        TableLoopVbmi<true>(t, src, dst, n);
    else
        TableLoopVbmi<false>(t, src, dst, n);
}

}  // namespace

bool CpuRunsTableKernel(TableKernel kernel) {
    switch (kernel) {
        case TableKernel::Plain:
            return true;
        case TableKernel::Gather:
        case TableKernel::Shuffle:
            return CpuRuns(CpuLevel::Avx2);
        case TableKernel::Vbmi:
            return CpuRuns(CpuLevel::Avx512Vbmi);
    }
    return false;
}

void ChannelTableRunWith(TableKernel kernel, const uint32_t* src, const uint8_t* tb,
                         const uint8_t* tg, const uint8_t* tr, uint32_t* dst, int32_t n) {
    switch (kernel) {
        case TableKernel::Vbmi:
            return TableRunVbmi(src, tb, tg, tr, dst, n);
        case TableKernel::Gather:
            return TableRunAvx2(src, tb, tg, tr, dst, n);
        case TableKernel::Shuffle:
            return TableRunShuffle(src, tb, tg, tr, dst, n);
        case TableKernel::Plain:
            return TableRunScalar(src, tb, tg, tr, dst, n);
    }
}

void ChannelTableRun(const uint32_t* src, const uint8_t* tb, const uint8_t* tg, const uint8_t* tr,
                     uint32_t* dst, int32_t n) {
    // Where gathers are microcode, shuffles beside plain loads are the faster AVX2 way (the same
    // bytes either way).
    static const TableKernel best = CpuRunsTableKernel(TableKernel::Vbmi)      ? TableKernel::Vbmi
                                    : !CpuRunsTableKernel(TableKernel::Gather) ? TableKernel::Plain
                                    : SlowGathers() ? TableKernel::Shuffle
                                                    : TableKernel::Gather;
    ChannelTableRunWith(best, src, tb, tg, tr, dst, n);
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

namespace {

void MixRunSse2(const uint32_t* old, const uint32_t* res, const uint8_t* strength, uint32_t* dst,
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

// MixLanes on 32 lanes.
__attribute__((target("avx512f,avx512bw"))) inline __m512i MixLanes512(__m512i v, __m512i r,
                                                                       __m512i s) {
    const __m512i d = _mm512_sub_epi16(r, v);
    const __m512i sign = _mm512_srai_epi16(d, 15);
    const __m512i x = _mm512_mullo_epi16(_mm512_abs_epi16(d), s);
    const __m512i q =
        _mm512_srli_epi16(_mm512_mulhi_epu16(x, _mm512_set1_epi16(int16_t(41944))), 6);
    return _mm512_add_epi16(v, _mm512_sub_epi16(_mm512_xor_si512(q, sign), sign));
}

// Sixteen pixels at a time, each 128-bit lane as the SSE2 way does its four: the bytes are
// widened and packed back within lanes, so each lane's strengths are spread from its own four.
// (The zero-masked forms are the plain ones without GCC 12's false warning about their
// undefined pass-through.)
__attribute__((target("avx512f,avx512bw"))) void MixRunAvx512(const uint32_t* old,
                                                              const uint32_t* res,
                                                              const uint8_t* strength,
                                                              uint32_t* dst, int32_t n,
                                                              bool mixAlpha) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i laneMask =
        mixAlpha ? _mm512_set1_epi16(-1) : _mm512_set1_epi64(0x0000ffffffffffffll);
    const __m512i loPattern = _mm512_maskz_broadcast_i32x4(
        0xffff, _mm_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 4, -1, 4, -1, 4, -1, 4, -1));
    const __m512i hiPattern = _mm512_maskz_broadcast_i32x4(
        0xffff, _mm_setr_epi8(8, -1, 8, -1, 8, -1, 8, -1, 12, -1, 12, -1, 12, -1, 12, -1));
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m512i s32 = _mm512_maskz_cvtepu8_epi32(
            0xffff, _mm_loadu_si128(reinterpret_cast<const __m128i*>(strength + i)));
        const __m512i sLo = _mm512_and_si512(_mm512_shuffle_epi8(s32, loPattern), laneMask);
        const __m512i sHi = _mm512_and_si512(_mm512_shuffle_epi8(s32, hiPattern), laneMask);
        const __m512i o = _mm512_loadu_si512(old + i), r = _mm512_loadu_si512(res + i);
        const __m512i lo =
            MixLanes512(_mm512_unpacklo_epi8(o, zero), _mm512_unpacklo_epi8(r, zero), sLo);
        const __m512i hi =
            MixLanes512(_mm512_unpackhi_epi8(o, zero), _mm512_unpackhi_epi8(r, zero), sHi);
        _mm512_storeu_si512(dst + i, _mm512_packus_epi16(lo, hi));
    }
    MixRunSse2(old + i, res + i, strength + i, dst + i, n - i, mixAlpha);
}

// The same on AVX2: eight pixels, two lanes of four.
__attribute__((target("avx2"))) inline __m256i MixLanes256(__m256i v, __m256i r, __m256i s) {
    const __m256i d = _mm256_sub_epi16(r, v);
    const __m256i sign = _mm256_srai_epi16(d, 15);
    const __m256i x = _mm256_mullo_epi16(_mm256_abs_epi16(d), s);
    const __m256i q =
        _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(int16_t(41944))), 6);
    return _mm256_add_epi16(v, _mm256_sub_epi16(_mm256_xor_si256(q, sign), sign));
}

__attribute__((target("avx2"))) void MixRunAvx2(const uint32_t* old, const uint32_t* res,
                                                const uint8_t* strength, uint32_t* dst, int32_t n,
                                                bool mixAlpha) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i laneMask =
        mixAlpha ? _mm256_set1_epi16(-1) : _mm256_set1_epi64x(0x0000ffffffffffffll);
    const __m256i loPattern = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 4, -1, 4, -1, 4, -1, 4, -1));
    const __m256i hiPattern = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(8, -1, 8, -1, 8, -1, 8, -1, 12, -1, 12, -1, 12, -1, 12, -1));
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s32 =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(strength + i)));
        const __m256i sLo = _mm256_and_si256(_mm256_shuffle_epi8(s32, loPattern), laneMask);
        const __m256i sHi = _mm256_and_si256(_mm256_shuffle_epi8(s32, hiPattern), laneMask);
        const __m256i o = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(old + i));
        const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(res + i));
        const __m256i lo =
            MixLanes256(_mm256_unpacklo_epi8(o, zero), _mm256_unpacklo_epi8(r, zero), sLo);
        const __m256i hi =
            MixLanes256(_mm256_unpackhi_epi8(o, zero), _mm256_unpackhi_epi8(r, zero), sHi);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(lo, hi));
    }
    MixRunSse2(old + i, res + i, strength + i, dst + i, n - i, mixAlpha);
}

}  // namespace

void MixRunOn(CpuLevel level, const uint32_t* old, const uint32_t* res, const uint8_t* strength,
              uint32_t* dst, int32_t n, bool mixAlpha) {
    if (level >= CpuLevel::V4) return MixRunAvx512(old, res, strength, dst, n, mixAlpha);
    if (level >= CpuLevel::Avx2) return MixRunAvx2(old, res, strength, dst, n, mixAlpha);
    MixRunSse2(old, res, strength, dst, n, mixAlpha);
}

void MixRun(const uint32_t* old, const uint32_t* res, const uint8_t* strength, uint32_t* dst,
            int32_t n, bool mixAlpha) {
    MixRunOn(BestCpuLevel(), old, res, strength, dst, n, mixAlpha);
}

}  // namespace zelvo
