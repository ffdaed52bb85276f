// The program's own baseline JPEG writer used at the highest quality: 4:4:4, the Annex K
// Huffman tables, a floating-point AAN DCT. Its stripes of MCU rows, shared out among the
// threads, live in BaselineJpegStripes.cpp; here are the headers, the tables and the kernels
// that code eight rows at a time, four blocks at once in SSE2 lanes (the x86-64 baseline; built
// without FMA contraction so every lane rounds as the scalar float arithmetic would).
#include "files/BaselineJpegWriter.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include <immintrin.h>

#include "core/CpuLevel.h"
#include "files/BaselineJpegCoder.h"
#include "files/Codecs.h"

namespace zelvo {

const std::array<uint8_t, 64> kJpegZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

const std::array<uint8_t, 64> kJpegLuminanceBase = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

const std::array<uint8_t, 64> kJpegChrominanceBase = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

std::array<uint8_t, 64> ScaledQuantTable(const std::array<uint8_t, 64>& base, int quality) {
    int scale;
    if (quality <= 0)
        scale = 5000;
    else if (quality > 100)
        scale = 0;
    else if (quality >= 50)
        scale = 200 - 2 * quality;
    else
        scale = 5000 / quality;
    std::array<uint8_t, 64> out{};
    for (int i = 0; i < 64; ++i) out[i] = uint8_t(std::clamp((scale * base[i] + 50) / 100, 1, 255));
    return out;
}

namespace jpeg {

namespace {

struct HuffmanSpec {
    uint8_t bits[16];
    std::vector<uint8_t> values;
};

const HuffmanSpec kDcLuminance = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                  {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanSpec kDcChrominance = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanSpec kAcLuminance = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
     0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
     0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
     0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
     0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
     0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
     0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
     0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
     0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
     0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
const HuffmanSpec kAcChrominance = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
     0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
     0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
     0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
     0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
     0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
     0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
     0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
     0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
     0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};

// Code and length for every symbol (T.81 Annex C).
struct HuffmanCodes {
    uint16_t code[256] = {};
    uint8_t length[256] = {};
    explicit HuffmanCodes(const HuffmanSpec& spec) {
        uint16_t c = 0;
        size_t k = 0;
        for (int len = 1; len <= 16; ++len) {
            for (int i = 0; i < spec.bits[len - 1]; ++i, ++k) {
                code[spec.values[k]] = c++;
                length[spec.values[k]] = uint8_t(len);
            }
            c = uint16_t(c << 1);
        }
    }
};

const float kAanScale[8] = {1.0f, 1.387039845f, 1.306562965f, 1.175875602f,
                            1.0f, 0.785694958f, 0.541196100f, 0.275899379f};

void WriteHuffmanTable(BitWriter& w, int classAndId, const HuffmanSpec& spec) {
    w.Marker(0xC4);
    w.Word(unsigned(2 + 1 + 16 + spec.values.size()));
    const uint8_t id = uint8_t(classAndId);
    w.Bytes(&id, 1);
    w.Bytes(spec.bits, 16);
    w.Bytes(spec.values.data(), spec.values.size());
}

// Bits needed for the magnitude of a nonzero value.
inline int Category(int v) {
    return 32 - __builtin_clz(unsigned(v < 0 ? -v : v));
}

// Each symbol's code followed by the value bits (negative values as one's complement), packed
// as BitWriter::Put takes them: one load per coefficient.
inline uint64_t Packed(const HuffmanCodes& codes, int symbol, int v, int cat) {
    const uint64_t valueBits = uint64_t(v < 0 ? v - 1 : v) & ((uint64_t(1) << cat) - 1);
    const int count = codes.length[symbol] + cat;
    if (count == 0) return 0;  // a zero AC value, never coded through the table
    return (uint64_t(codes.code[symbol]) << cat | valueBits) << (64 - count) | uint64_t(count);
}

}  // namespace

struct DcTable {
    static constexpr int kMax = 2047;
    uint64_t entry[2 * kMax + 1];
    explicit DcTable(const HuffmanCodes& codes) {
        for (int v = -kMax; v <= kMax; ++v) {
            const int cat = v ? Category(v) : 0;
            entry[v + kMax] = Packed(codes, cat, v, cat);
        }
    }
};

// Runs of 0 to 15 zeros before a value of -1023 to 1023 (rows of 2048 so that a row is a
// shift away); the end of block and the run of 16.
struct AcTable {
    static constexpr int kMax = 1023;
    uint64_t entry[16][2048];
    uint64_t endOfBlock, zeroRun;
    explicit AcTable(const HuffmanCodes& codes) {
        for (int run = 0; run < 16; ++run)
            for (int v = -kMax; v <= kMax; ++v) {
                const int cat = v ? Category(v) : 0;
                entry[run][v + 1024] = Packed(codes, run << 4 | cat, v, cat);
            }
        endOfBlock = Packed(codes, 0x00, 0, 0);
        zeroRun = Packed(codes, 0xF0, 0, 0);
    }
};

namespace {

#define ZELVO_JPEG_BODY inline __attribute__((always_inline))

namespace plain {

constexpr int kW = 4;
typedef float F __attribute__((vector_size(16)));
typedef int32_t I __attribute__((vector_size(16)));

ZELVO_JPEG_BODY I Trunc(F v) {
    return __builtin_convertvector(v, I);
}
ZELVO_JPEG_BODY F ToFloat(I v) {
    return __builtin_convertvector(v, F);
}
ZELVO_JPEG_BODY F FromBytes(const uint8_t* p) {
    int32_t four;
    std::memcpy(&four, p, 4);
    const __m128i zero = _mm_setzero_si128();
    return ToFloat(I(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero), zero)));
}

// Transposes four vectors of four 32-bit lanes.
ZELVO_JPEG_BODY void Transpose(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
    const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(ab0, cd0);
    b = _mm_unpackhi_epi64(ab0, cd0);
    c = _mm_unpacklo_epi64(ab1, cd1);
    d = _mm_unpackhi_epi64(ab1, cd1);
}

// v[8 r + c] holds pixel (r, c) of each block, one block per lane.
ZELVO_JPEG_BODY void LoadBlocks(const float* plane, size_t planeWidth, F* v) {
    for (int r = 0; r < 8; ++r)
        for (int half = 0; half < 2; ++half) {
            __m128 q[4];
            for (int lane = 0; lane < kW; ++lane)
                q[lane] = _mm_loadu_ps(plane + size_t(r) * planeWidth + 8 * lane + 4 * half);
            _MM_TRANSPOSE4_PS(q[0], q[1], q[2], q[3]);
            for (int i = 0; i < 4; ++i) v[8 * r + 4 * half + i] = F(q[i]);
        }
}

// Coefficients k to k + 7 of each lane's block, from q[i] = coefficient k + i of every lane.
ZELVO_JPEG_BODY void StoreCoefs(const I* q, int k, int16_t (*coef)[64]) {
    __m128i t[8];
    for (int i = 0; i < 8; ++i) t[i] = __m128i(q[i]);
    Transpose(t[0], t[1], t[2], t[3]);
    Transpose(t[4], t[5], t[6], t[7]);
    const __m128i high = _mm_set1_epi16(1023), low = _mm_set1_epi16(-1023);
    for (int lane = 0; lane < kW; ++lane) {
        const __m128i packed = _mm_packs_epi32(t[lane], t[4 + lane]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(coef[lane] + k),
                         _mm_max_epi16(_mm_min_epi16(packed, high), low));
        // The DC value is kept whole; it is clamped only as a difference.
        if (k == 0) coef[lane][0] = int16_t(_mm_cvtsi128_si32(t[lane]));
    }
}

// One bit per coefficient that is not zero.
ZELVO_JPEG_BODY uint64_t NonzeroMask(const int16_t* coef) {
    const __m128i zero = _mm_setzero_si128();
    uint64_t nonzero = 0;
    for (int i = 0; i < 8; i += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i + 8));
        const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        nonzero |= uint64_t(uint16_t(~_mm_movemask_epi8(zeros))) << (8 * i);
    }
    return nonzero;
}

#include "files/BaselineJpegKernels.h"

ZELVO_JPEG_BODY void CodeBlock(BitCursor& w, const int16_t* coef, Component& c) {
    EncodeBlock(w, coef, c);
}

}  // namespace plain

#if defined(__x86_64__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2")
#endif
namespace avx2 {

constexpr int kW = 8;
typedef float F __attribute__((vector_size(32)));
typedef int32_t I __attribute__((vector_size(32)));

ZELVO_JPEG_BODY I Trunc(F v) {
    return __builtin_convertvector(v, I);
}
ZELVO_JPEG_BODY F ToFloat(I v) {
    return __builtin_convertvector(v, F);
}
ZELVO_JPEG_BODY F FromBytes(const uint8_t* p) {
    return ToFloat(I(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)))));
}

// Transposes eight vectors of eight 32-bit lanes.
ZELVO_JPEG_BODY void Transpose8(__m256* r) {
    __m256 t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
        u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x20);
        r[i + 4] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x31);
    }
}

// Eight blocks' rows r: rows[c] holds pixel (r, c) of each block.
ZELVO_JPEG_BODY void LoadRows8(const float* row, __m256* rows) {
    for (int b = 0; b < 8; ++b) rows[b] = _mm256_loadu_ps(row + 8 * b);
    Transpose8(rows);
}

// Eight blocks' coefficients k to k + 7 from t[i] = coefficient k + i of each block.
ZELVO_JPEG_BODY void StoreCoefs8(__m256* t, int k, int16_t (*coef)[64]) {
    Transpose8(t);
    const __m128i high = _mm_set1_epi16(1023), low = _mm_set1_epi16(-1023);
    for (int b = 0; b < 8; ++b) {
        const __m256i q = _mm256_castps_si256(t[b]);
        const __m128i packed =
            _mm_packs_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(coef[b] + k),
                         _mm_max_epi16(_mm_min_epi16(packed, high), low));
        // The DC value is kept whole; it is clamped only as a difference.
        if (k == 0) coef[b][0] = int16_t(_mm_cvtsi128_si32(_mm256_castsi256_si128(q)));
    }
}

ZELVO_JPEG_BODY void LoadBlocks(const float* plane, size_t planeWidth, F* v) {
    for (int r = 0; r < 8; ++r) {
        __m256 rows[8];
        LoadRows8(plane + size_t(r) * planeWidth, rows);
        for (int c = 0; c < 8; ++c) v[8 * r + c] = F(rows[c]);
    }
}

ZELVO_JPEG_BODY void StoreCoefs(const I* q, int k, int16_t (*coef)[64]) {
    __m256 t[8];
    for (int i = 0; i < 8; ++i) t[i] = _mm256_castsi256_ps(__m256i(q[i]));
    StoreCoefs8(t, k, coef);
}

using plain::NonzeroMask;

#include "files/BaselineJpegKernels.h"

ZELVO_JPEG_BODY void CodeBlock(BitCursor& w, const int16_t* coef, Component& c) {
    EncodeBlock(w, coef, c);
}

}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("arch=x86-64-v4"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("arch=x86-64-v4")
#endif
namespace avx512 {

constexpr int kW = 16;
typedef float F __attribute__((vector_size(64)));
typedef int32_t I __attribute__((vector_size(64)));

ZELVO_JPEG_BODY I Trunc(F v) {
    return __builtin_convertvector(v, I);
}
ZELVO_JPEG_BODY F ToFloat(I v) {
    return __builtin_convertvector(v, F);
}
ZELVO_JPEG_BODY F FromBytes(const uint8_t* p) {
    // The zero-masked forms: the plain ones trip GCC 12's uninitialised-value warning.
    return ToFloat(I(
        _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))));
}

// Sixteen blocks as two groups of eight.
ZELVO_JPEG_BODY void LoadBlocks(const float* plane, size_t planeWidth, F* v) {
    for (int r = 0; r < 8; ++r) {
        __m256 low[8], high[8];
        avx2::LoadRows8(plane + size_t(r) * planeWidth, low);
        avx2::LoadRows8(plane + size_t(r) * planeWidth + 64, high);
        for (int c = 0; c < 8; ++c)
            v[8 * r + c] = F(_mm512_insertf32x8(_mm512_castps256_ps512(low[c]), high[c], 1));
    }
}

// Narrowed to 16 bits first (with saturation, as the packs of the other levels), then eight
// by eight 16-bit transposes in each 128-bit half: blocks 0 to 7 in the low halves, 8 to 15
// in the high ones.
ZELVO_JPEG_BODY void StoreCoefs(const I* q, int k, int16_t (*coef)[64]) {
    __m256i r[8], a[8], b[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm512_maskz_cvtsepi32_epi16(0xFFFF, __m512i(q[i]));
    for (int i = 0; i < 8; i += 2) {
        a[i] = _mm256_unpacklo_epi16(r[i], r[i + 1]);
        a[i + 1] = _mm256_unpackhi_epi16(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4)
        for (int j = 0; j < 2; ++j) {
            b[i + 2 * j] = _mm256_unpacklo_epi32(a[i + j], a[i + j + 2]);
            b[i + 2 * j + 1] = _mm256_unpackhi_epi32(a[i + j], a[i + j + 2]);
        }
    const __m256i high = _mm256_set1_epi16(1023), low = _mm256_set1_epi16(-1023);
    for (int j = 0; j < 4; ++j)
        for (int h = 0; h < 2; ++h) {
            const __m256i block =
                h ? _mm256_unpackhi_epi64(b[j], b[j + 4]) : _mm256_unpacklo_epi64(b[j], b[j + 4]);
            const __m256i clamped = _mm256_max_epi16(_mm256_min_epi16(block, high), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(coef[2 * j + h] + k),
                             _mm256_castsi256_si128(clamped));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(coef[2 * j + h + 8] + k),
                             _mm256_extracti128_si256(clamped, 1));
        }
    // The DC value is kept whole; it is clamped only as a difference.
    if (k == 0) {
        alignas(32) int16_t dc[16];
        _mm256_store_si256(reinterpret_cast<__m256i*>(dc), r[0]);
        for (int lane = 0; lane < 16; ++lane) coef[lane][0] = dc[lane];
    }
}

ZELVO_JPEG_BODY uint64_t NonzeroMask(const int16_t* coef) {
    const __m512i low = _mm512_loadu_si512(coef), high = _mm512_loadu_si512(coef + 32);
    return uint64_t(_mm512_test_epi16_mask(low, low)) | uint64_t(_mm512_test_epi16_mask(high, high))
                                                            << 32;
}

#include "files/BaselineJpegKernels.h"

// Lane i of a 32-lane shift table: i - step, or 0 where that is negative (those lanes are
// masked off).
struct ShiftIndexes {
    alignas(64) uint16_t iota[2][32];
    alignas(64) uint16_t back[6][32];   // steps 1, 2, 4, 8, 16 and lane 31 everywhere
    alignas(64) uint16_t joinBack[32];  // of two halves: lane 0 takes the first's lane 31
    ShiftIndexes() {
        for (int i = 0; i < 32; ++i) {
            iota[0][i] = uint16_t(i);
            iota[1][i] = uint16_t(32 + i);
            for (int s = 0; s < 5; ++s) back[s][i] = uint16_t(i >= (1 << s) ? i - (1 << s) : 0);
            back[5][i] = 31;
            joinBack[i] = uint16_t(i == 0 ? 31 : 32 + i - 1);
        }
    }
};

ZELVO_JPEG_BODY __m512i Load(const uint16_t* p) {
    return _mm512_load_si512(p);
}

// The runs of zeros come from a prefix maximum of the nonzero values' positions over the
// block, and the nonzero values' table indexes are packed together, so the coding loop only
// loads; a block with a run of 16 zeros or more takes the scalar way.
ZELVO_JPEG_BODY void CodeBlock(BitCursor& w, const int16_t* coef, Component& c) {
    static const ShiftIndexes kIdx;
    const __m512i low = _mm512_loadu_si512(coef), high = _mm512_loadu_si512(coef + 32);
    const __mmask32 nzLow = _mm512_test_epi16_mask(low, low) & ~__mmask32(1);
    const __mmask32 nzHigh = _mm512_test_epi16_mask(high, high);
    // The DC's position 0 stands for "no value yet".
    __m512i pLow = _mm512_maskz_mov_epi16(nzLow, Load(kIdx.iota[0]));
    __m512i pHigh = _mm512_maskz_mov_epi16(nzHigh, Load(kIdx.iota[1]));
    for (int s = 0; s < 5; ++s) {
        const __mmask32 keep = ~__mmask32((1u << (1 << s)) - 1);
        const __m512i back = Load(kIdx.back[s]);
        pLow = _mm512_max_epu16(pLow, _mm512_maskz_permutexvar_epi16(keep, back, pLow));
        pHigh = _mm512_max_epu16(pHigh, _mm512_maskz_permutexvar_epi16(keep, back, pHigh));
    }
    pHigh = _mm512_max_epu16(pHigh, _mm512_permutexvar_epi16(Load(kIdx.back[5]), pLow));
    // The last nonzero position before each one.
    const __m512i before = _mm512_set1_epi16(1);
    const __m512i prevLow = _mm512_maskz_permutexvar_epi16(~__mmask32(1), Load(kIdx.back[0]), pLow);
    const __m512i prevHigh = _mm512_permutex2var_epi16(pLow, Load(kIdx.joinBack), pHigh);
    const __m512i runLow = _mm512_sub_epi16(_mm512_sub_epi16(Load(kIdx.iota[0]), prevLow), before);
    const __m512i runHigh =
        _mm512_sub_epi16(_mm512_sub_epi16(Load(kIdx.iota[1]), prevHigh), before);
    const __m512i fifteen = _mm512_set1_epi16(15);
    if (_mm512_mask_cmpgt_epu16_mask(nzLow, runLow, fifteen) |
        _mm512_mask_cmpgt_epu16_mask(nzHigh, runHigh, fifteen)) {
        EncodeBlock(w, coef, c);
        return;
    }
    // run x 2048 + value + 1024 stays below 2^15.
    const __m512i offset = _mm512_set1_epi16(1024);
    const __m512i index[2] = {
        _mm512_add_epi16(_mm512_add_epi16(_mm512_slli_epi16(runLow, 11), low), offset),
        _mm512_add_epi16(_mm512_add_epi16(_mm512_slli_epi16(runHigh, 11), high), offset)};
    const __mmask32 nz[2] = {nzLow, nzHigh};
    alignas(64) uint32_t list[64 + 16];
    int count = 0;
    for (int half = 0; half < 2; ++half)
        for (int quarter = 0; quarter < 2; ++quarter) {
            __m256i part;
            std::memcpy(&part, reinterpret_cast<const char*>(&index[half]) + 32 * quarter, 32);
            const __mmask16 mask = __mmask16(nz[half] >> (16 * quarter));
            _mm512_storeu_si512(list + count, _mm512_maskz_compress_epi32(
                                                  mask, _mm512_maskz_cvtepu16_epi32(0xFFFF, part)));
            count += __builtin_popcount(mask);
        }

    const int diff = std::clamp(coef[0] - c.previousDc, -DcTable::kMax, DcTable::kMax);
    c.previousDc = coef[0];
    BitWriter::Add(w, c.dc->entry[diff + DcTable::kMax]);
    const AcTable* ac = c.ac;
    const uint64_t* entries = &ac->entry[0][0];
    int i = 0;
    for (; i + 1 < count; i += 2) {
        BitWriter::Add(w, entries[list[i]]);
        BitWriter::Commit(w);
        BitWriter::Add(w, entries[list[i + 1]]);
    }
    if (i < count) {
        BitWriter::Add(w, entries[list[i]]);
        BitWriter::Commit(w);
    }
    if (!(nzHigh >> 31)) BitWriter::Add(w, ac->endOfBlock);
    BitWriter::Commit(w);
}

}  // namespace avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

// -1: the best level the CPU has.
std::atomic<int> g_forcedLevel{-1};

const JpegKernels& ActiveKernels() {
    const int forced = g_forcedLevel.load(std::memory_order_relaxed);
    const CpuLevel level = forced < 0 ? BestCpuLevel() : CpuLevel(forced);
#if defined(__x86_64__)
    if (level >= CpuLevel::V4) return avx512::kKernels;
    if (level >= CpuLevel::Avx2) return avx2::kKernels;
#endif
    return plain::kKernels;
}

}  // namespace

}  // namespace jpeg

ScopedJpegLevel::ScopedJpegLevel(CpuLevel level) : m_old(jpeg::g_forcedLevel.load()) {
    jpeg::g_forcedLevel.store(CpuRuns(level) ? int(level) : -1);
}

ScopedJpegLevel::~ScopedJpegLevel() {
    jpeg::g_forcedLevel.store(m_old);
}

bool EncodeBaselineJpeg(SafeFile& file, const RowSource& rows, int libraryQuality) {
    if (rows.Width() <= 0 || rows.Height() <= 0 || rows.Bits() != 24 || rows.Width() > 65535 ||
        rows.Height() > 65535)
        return false;
    using namespace jpeg;
    const int width = rows.Width(), height = rows.Height();
    const int paddedWidth = (width + 7) / 8 * 8;
    const auto lumQuant = ScaledQuantTable(kJpegLuminanceBase, libraryQuality);
    const auto chromQuant = ScaledQuantTable(kJpegChrominanceBase, libraryQuality);
    static const DcTable dcLum{HuffmanCodes(kDcLuminance)};
    static const DcTable dcChrom{HuffmanCodes(kDcChrominance)};
    static const AcTable acLum{HuffmanCodes(kAcLuminance)};
    static const AcTable acChrom{HuffmanCodes(kAcChrominance)};

    // Whole groups of blocks side by side; the lanes past the picture's last block are never
    // coded.
    const JpegKernels& kernels = ActiveKernels();
    const int groupWidth = 8 * kernels.lanes;
    const int planeWidth = (paddedWidth + groupWidth - 1) / groupWidth * groupWidth;
    const int convertWidth = (paddedWidth + 15) / 16 * 16;
    const int blocksAcross = paddedWidth / 8;
    const PictureSetup setup{rows, kernels, width, height, planeWidth, convertWidth, blocksAcross};
    BitWriter w(file);
    w.Marker(0xD8);
    static const uint8_t kApp0[] = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0,
                                    1,    1,    0, 0,  1,   0,   1,   0,   0};
    w.Bytes(kApp0, sizeof kApp0);
    for (int t = 0; t < 2; ++t) {
        const auto& q = t == 0 ? lumQuant : chromQuant;
        w.Marker(0xDB);
        w.Word(2 + 65);
        uint8_t table[65];
        table[0] = uint8_t(t);
        for (int k = 0; k < 64; ++k) table[1 + k] = q[kJpegZigZag[k]];
        w.Bytes(table, sizeof table);
    }
    w.Marker(0xC0);
    w.Word(17);
    const uint8_t sof[15] = {8,
                             uint8_t(height >> 8),
                             uint8_t(height),
                             uint8_t(width >> 8),
                             uint8_t(width),
                             3,
                             1,
                             0x11,
                             0,
                             2,
                             0x11,
                             1,
                             3,
                             0x11,
                             1};
    w.Bytes(sof, sizeof sof);
    WriteHuffmanTable(w, 0x00, kDcLuminance);
    WriteHuffmanTable(w, 0x10, kAcLuminance);
    WriteHuffmanTable(w, 0x01, kDcChrominance);
    WriteHuffmanTable(w, 0x11, kAcChrominance);
    w.Marker(0xDA);
    w.Word(12);
    static const uint8_t kSos[10] = {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
    w.Bytes(kSos, sizeof kSos);

    Component comps[3] = {
        {&dcLum, &acLum, {}, 0}, {&dcChrom, &acChrom, {}, 0}, {&dcChrom, &acChrom, {}, 0}};
    for (int c = 0; c < 3; ++c) {
        const auto& q = c == 0 ? lumQuant : chromQuant;
        for (int row = 0; row < 8; ++row)
            for (int col = 0; col < 8; ++col)
                comps[c].reciprocal[row * 8 + col] =
                    1.0f / (float(q[row * 8 + col]) * kAanScale[row] * kAanScale[col] * 8.0f);
    }

    if (!CodeStripes(w, setup, comps)) return false;
    w.FlushBits();
    w.Marker(0xD9);
    return w.Finish() && !file.Failed();
}

}  // namespace zelvo
