// The program's own baseline JPEG writer used at the highest quality: 4:4:4, the Annex K
// Huffman tables, a floating-point AAN DCT. It works through the picture eight rows at a time,
// four blocks at once in SSE2 lanes (the x86-64 baseline; built without FMA contraction so
// every lane rounds as the scalar float arithmetic would).
#include "files/BaselineJpegWriter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include <emmintrin.h>

#include "files/Codecs.h"
#include "files/PixelRows.h"

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

// Blocks side by side in the lanes of one vector: the DCT and the quantisation treat each lane
// exactly as a scalar float would, so the coefficients do not depend on the grouping.
constexpr int kLanes = 4;
constexpr int kGroupWidth = 8 * kLanes;

// One pass of the AAN forward DCT over 8 vectors `step` apart.
inline void Dct8(__m128* d, int step) {
    const __m128 k0707 = _mm_set1_ps(0.707106781f), k0382 = _mm_set1_ps(0.382683433f);
    const __m128 k0541 = _mm_set1_ps(0.541196100f), k1306 = _mm_set1_ps(1.306562965f);
    __m128 tmp0 = d[0] + d[7 * step], tmp7 = d[0] - d[7 * step];
    __m128 tmp1 = d[step] + d[6 * step], tmp6 = d[step] - d[6 * step];
    __m128 tmp2 = d[2 * step] + d[5 * step], tmp5 = d[2 * step] - d[5 * step];
    __m128 tmp3 = d[3 * step] + d[4 * step], tmp4 = d[3 * step] - d[4 * step];
    __m128 tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    __m128 tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    d[0] = tmp10 + tmp11;
    d[4 * step] = tmp10 - tmp11;
    __m128 z1 = (tmp12 + tmp13) * k0707;
    d[2 * step] = tmp13 + z1;
    d[6 * step] = tmp13 - z1;
    tmp10 = tmp4 + tmp5;
    tmp11 = tmp5 + tmp6;
    tmp12 = tmp6 + tmp7;
    __m128 z5 = (tmp10 - tmp12) * k0382;
    __m128 z2 = k0541 * tmp10 + z5;
    __m128 z4 = k1306 * tmp12 + z5;
    __m128 z3 = tmp11 * k0707;
    __m128 z11 = tmp7 + z3, z13 = tmp7 - z3;
    d[5 * step] = z13 + z2;
    d[3 * step] = z13 - z2;
    d[step] = z11 + z4;
    d[7 * step] = z11 - z4;
}

// The integer colour conversion of one row into three planes of floats (minus 128), eight
// rows of kPlaneWidth apart. The numerators are whole numbers below 2^24, exact in floats; the
// quotient from the reciprocal is off by at most one and the exact remainder corrects it, so
// the result is the integer division's.
inline __m128 Quotient(__m128 n, float divisor) {
    const __m128 d = _mm_set1_ps(divisor);
    __m128 q = _mm_cvtepi32_ps(_mm_cvttps_epi32(n * _mm_set1_ps(1.0f / divisor)));
    const __m128 r = n - q * d;
    const __m128 one = _mm_set1_ps(1.0f);
    q = q + _mm_and_ps(_mm_cmpge_ps(r, d), one);
    return q - _mm_and_ps(_mm_cmplt_ps(r, _mm_setzero_ps()), one);
}

void ConvertRow(const uint8_t* bgr, int width, int paddedWidth, uint8_t* scratch, float* y,
                float* cb, float* cr) {
    // Rows and columns past the picture repeat its last row and column.
    uint8_t* blue = scratch;
    uint8_t* green = scratch + paddedWidth;
    uint8_t* red = scratch + 2 * paddedWidth;
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i b, g, r;
        SplitBgr16(bgr + 3 * x, b, g, r);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + x), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(green + x), g);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(red + x), r);
    }
    for (; x < width; ++x) {
        blue[x] = bgr[3 * x];
        green[x] = bgr[3 * x + 1];
        red[x] = bgr[3 * x + 2];
    }
    for (x = width; x < paddedWidth; ++x) {
        blue[x] = blue[width - 1];
        green[x] = green[width - 1];
        red[x] = red[width - 1];
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128 bias = _mm_set1_ps(128.0f);
    for (x = 0; x < paddedWidth; x += 16) {
        const __m128i b8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
        const __m128i g8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
        const __m128i r8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
        const __m128i b16[2] = {_mm_unpacklo_epi8(b8, zero), _mm_unpackhi_epi8(b8, zero)};
        const __m128i g16[2] = {_mm_unpacklo_epi8(g8, zero), _mm_unpackhi_epi8(g8, zero)};
        const __m128i r16[2] = {_mm_unpacklo_epi8(r8, zero), _mm_unpackhi_epi8(r8, zero)};
        for (int i = 0; i < 4; ++i) {
            const __m128i b32 = i & 1 ? _mm_unpackhi_epi16(b16[i >> 1], zero)
                                      : _mm_unpacklo_epi16(b16[i >> 1], zero);
            const __m128i g32 = i & 1 ? _mm_unpackhi_epi16(g16[i >> 1], zero)
                                      : _mm_unpacklo_epi16(g16[i >> 1], zero);
            const __m128i r32 = i & 1 ? _mm_unpackhi_epi16(r16[i >> 1], zero)
                                      : _mm_unpacklo_epi16(r16[i >> 1], zero);
            const __m128 b = _mm_cvtepi32_ps(b32), g = _mm_cvtepi32_ps(g32),
                         r = _mm_cvtepi32_ps(r32);
            const __m128 ny =
                _mm_set1_ps(299.0f) * r + _mm_set1_ps(587.0f) * g + _mm_set1_ps(114.0f) * b;
            const __m128 ncb = _mm_set1_ps(-1687.0f) * r - _mm_set1_ps(3313.0f) * g +
                               _mm_set1_ps(5000.0f) * b + _mm_set1_ps(1280000.0f);
            const __m128 ncr = _mm_set1_ps(5000.0f) * r - _mm_set1_ps(4187.0f) * g -
                               _mm_set1_ps(813.0f) * b + _mm_set1_ps(1280000.0f);
            _mm_storeu_ps(y + x + 4 * i, Quotient(ny, 1000.0f) - bias);
            _mm_storeu_ps(cb + x + 4 * i, Quotient(ncb, 10000.0f) - bias);
            _mm_storeu_ps(cr + x + 4 * i, Quotient(ncr, 10000.0f) - bias);
        }
    }
}

// The entropy coder's state, kept in locals while a group of blocks is coded (held in the
// writer, every byte stored could alias it and it would live in memory): fewer than eight
// pending bits at the top of `bits`, whole bytes going out unstuffed at `at`.
struct BitCursor {
    uint64_t bits;
    int count;
    uint8_t* at;
};

// Entropy-coded bytes gathered in a buffer that goes to the file in large writes.
class BitWriter {
public:
    explicit BitWriter(SafeFile& file) : m_file(file), m_buffer(kChunk + 2 * kGroupBytes) {}
    void Bytes(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            m_buffer[m_at++] = p[i];
            if (m_at >= kChunk) Drain();
        }
    }
    void Marker(uint8_t m) {
        const uint8_t b[2] = {0xFF, m};
        Bytes(b, 2);
    }
    void Word(unsigned w) {
        const uint8_t b[2] = {uint8_t(w >> 8), uint8_t(w)};
        Bytes(b, 2);
    }
    // The bit state for coding one group of blocks into the raw area.
    BitCursor Take() { return {m_bits, m_count, m_raw}; }
    // Stuffs the group's bytes into the buffer.
    void Give(const BitCursor& c) {
        m_bits = c.bits;
        m_count = c.count;
        uint8_t* out = m_buffer.data() + m_at;
        const uint8_t* p = m_raw;
        // Sixteen bytes at a time while they hold no 0xFF (the buffer's slack takes the
        // overshoot).
        const __m128i ones = _mm_set1_epi8(char(0xFF));
        for (; p + 16 <= c.at; p += 16, out += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, ones))) break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
        }
        for (; p < c.at; ++p) {
            *out++ = *p;
            if (*p == 0xFF) *out++ = 0;
        }
        m_at = size_t(out - m_buffer.data());
        if (m_at >= kChunk) Drain();
    }
    // Pads the last byte with one bits and sends out what is left.
    void FlushBits() {
        BitCursor c = Take();
        if (c.count)
            Put(c, ((uint64_t(1) << (8 - c.count)) - 1) << (56 + c.count) | uint64_t(8 - c.count));
        Give(c);
    }
    bool Finish() {
        if (m_at > 0 && m_ok) m_ok = m_file.Write(m_buffer.data(), m_at);
        m_at = 0;
        return m_ok;
    }
    bool Ok() const { return m_ok; }

    // `code` holds up to 27 bits at its top and their number in its low six bits. No branch:
    // eight bytes are stored every time and the cursor moves by the whole ones.
    static void Put(BitCursor& c, uint64_t code) {
        c.bits |= (code & ~uint64_t(63)) >> c.count;
        c.count += int(code & 63);
        const uint64_t big = __builtin_bswap64(c.bits);
        std::memcpy(c.at, &big, 8);
        c.at += c.count >> 3;
        c.bits <<= c.count & ~7;
        c.count &= 7;
    }

private:
    static constexpr size_t kChunk = size_t(1) << 20;
    // More than twelve blocks of 64 codes of 27 bits each take, every byte stuffed.
    static constexpr size_t kGroupBytes = 8192;

    void Drain() {
        if (m_ok) m_ok = m_file.Write(m_buffer.data(), m_at);
        m_at = 0;
    }
    SafeFile& m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_at = 0;
    uint8_t m_raw[kGroupBytes / 2 + 8];
    uint64_t m_bits = 0;
    int m_count = 0;
    bool m_ok = true;
};

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

// Runs of 0 to 15 zeros before a value of -1023 to 1023; the end of block and the run of 16.
struct AcTable {
    static constexpr int kMax = 1023;
    uint64_t entry[16][2 * kMax + 1];
    uint64_t endOfBlock, zeroRun;
    explicit AcTable(const HuffmanCodes& codes) {
        for (int run = 0; run < 16; ++run)
            for (int v = -kMax; v <= kMax; ++v) {
                const int cat = v ? Category(v) : 0;
                entry[run][v + kMax] = Packed(codes, run << 4 | cat, v, cat);
            }
        endOfBlock = Packed(codes, 0x00, 0, 0);
        zeroRun = Packed(codes, 0xF0, 0, 0);
    }
};

struct Component {
    const DcTable* dc;
    const AcTable* ac;
    __m128 reciprocal[64];
    int previousDc = 0;
};

inline void Put(BitCursor& w, uint64_t packed) {
    BitWriter::Put(w, packed);
}

// Transposes four vectors of four 32-bit lanes.
inline void Transpose(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
    const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(ab0, cd0);
    b = _mm_unpackhi_epi64(ab0, cd0);
    c = _mm_unpacklo_epi64(ab1, cd1);
    d = _mm_unpackhi_epi64(ab1, cd1);
}

// The DCT of kLanes blocks of one plane starting at `plane` (rows kPlaneWidth apart) and their
// quantised coefficients in zig-zag order: coef[lane][k], AC values clamped to +-1023.
void TransformBlocks(const float* plane, size_t planeWidth, const Component& c,
                     int16_t (*coef)[64]) {
    __m128 v[64];
    for (int r = 0; r < 8; ++r)
        for (int half = 0; half < 2; ++half) {
            __m128 q[4];
            for (int lane = 0; lane < kLanes; ++lane)
                q[lane] = _mm_loadu_ps(plane + size_t(r) * planeWidth + 8 * lane + 4 * half);
            _MM_TRANSPOSE4_PS(q[0], q[1], q[2], q[3]);
            for (int i = 0; i < 4; ++i) v[8 * r + 4 * half + i] = q[i];
        }
    for (int i = 0; i < 8; ++i) Dct8(v + 8 * i, 1);
    for (int i = 0; i < 8; ++i) Dct8(v + i, 8);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128i high = _mm_set1_epi16(1023), low = _mm_set1_epi16(-1023);
    for (int k = 0; k < 64; k += 8) {
        __m128i q[8];
        for (int i = 0; i < 8; ++i) {
            const int n = kJpegZigZag[k + i];
            // Adding 0.5 and truncating toward zero rounds negative values up, not away from zero.
            q[i] = _mm_cvttps_epi32(v[n] * c.reciprocal[n] + half);
        }
        Transpose(q[0], q[1], q[2], q[3]);
        Transpose(q[4], q[5], q[6], q[7]);
        for (int lane = 0; lane < kLanes; ++lane) {
            const __m128i packed = _mm_packs_epi32(q[lane], q[4 + lane]);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(coef[lane] + k),
                             _mm_max_epi16(_mm_min_epi16(packed, high), low));
            // The DC value is kept whole; it is clamped only as a difference.
            if (k == 0) coef[lane][0] = int16_t(_mm_cvtsi128_si32(q[lane]));
        }
    }
}

inline void EncodeBlock(BitCursor& w, const int16_t* coef, Component& c) {
    const int diff = std::clamp(coef[0] - c.previousDc, -DcTable::kMax, DcTable::kMax);
    c.previousDc = coef[0];
    Put(w, c.dc->entry[diff + DcTable::kMax]);
    // One bit per AC coefficient that is not zero.
    const __m128i zero = _mm_setzero_si128();
    uint64_t nonzero = 0;
    for (int i = 0; i < 8; i += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i + 8));
        const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        nonzero |= uint64_t(uint16_t(~_mm_movemask_epi8(zeros))) << (8 * i);
    }
    nonzero &= ~uint64_t(1);
    int last = 0;
    while (nonzero) {
        const int k = __builtin_ctzll(nonzero);
        nonzero &= nonzero - 1;
        int run = k - last - 1;
        last = k;
        for (; run > 15; run -= 16) Put(w, c.ac->zeroRun);
        Put(w, c.ac->entry[run][coef[k] + AcTable::kMax]);
    }
    if (last < 63) Put(w, c.ac->endOfBlock);
}

// The blocks of one group, pixel by pixel the three components.
BitCursor EncodeGroup(BitCursor cursor, const int16_t (*coef)[kLanes][64], int lanes,
                      Component* comps) {
    for (int lane = 0; lane < lanes; ++lane)
        for (int c = 0; c < 3; ++c) EncodeBlock(cursor, coef[c][lane], comps[c]);
    return cursor;
}

}  // namespace

bool EncodeBaselineJpeg(SafeFile& file, const RasterImage& image, int libraryQuality) {
    if (image.IsEmpty() || image.Bits() != 24 || image.Width() > 65535 || image.Height() > 65535)
        return false;
    const int width = image.Width(), height = image.Height();
    const int paddedWidth = (width + 7) / 8 * 8;
    const auto lumQuant = ScaledQuantTable(kJpegLuminanceBase, libraryQuality);
    const auto chromQuant = ScaledQuantTable(kJpegChrominanceBase, libraryQuality);
    static const DcTable dcLum{HuffmanCodes(kDcLuminance)};
    static const DcTable dcChrom{HuffmanCodes(kDcChrominance)};
    static const AcTable acLum{HuffmanCodes(kAcLuminance)};
    static const AcTable acChrom{HuffmanCodes(kAcChrominance)};

    // Whole groups of kLanes blocks; the lanes past the picture's last block are never coded.
    const int planeWidth = (paddedWidth + kGroupWidth - 1) / kGroupWidth * kGroupWidth;
    const int blocksAcross = paddedWidth / 8;
    std::vector<float> planes;
    std::vector<uint8_t> scratch;
    try {
        planes.resize(size_t(planeWidth) * 8 * 3);
        scratch.resize(size_t(planeWidth) * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
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
                comps[c].reciprocal[row * 8 + col] = _mm_set1_ps(
                    1.0f / (float(q[row * 8 + col]) * kAanScale[row] * kAanScale[col] * 8.0f));
    }

    float* plane[3] = {planes.data(), planes.data() + size_t(planeWidth) * 8,
                       planes.data() + size_t(planeWidth) * 16};
    alignas(16) int16_t coef[3][kLanes][64];
    for (int band = 0; band < height && w.Ok(); band += 8) {
        for (int r = 0; r < 8; ++r) {
            const size_t at = size_t(r) * planeWidth;
            ConvertRow(image.TopRow(std::min(band + r, height - 1)), width, planeWidth,
                       scratch.data(), plane[0] + at, plane[1] + at, plane[2] + at);
        }
        for (int bx = 0; bx < blocksAcross; bx += kLanes) {
            for (int c = 0; c < 3; ++c)
                TransformBlocks(plane[c] + 8 * bx, planeWidth, comps[c], coef[c]);
            const int lanes = std::min(kLanes, blocksAcross - bx);
            w.Give(EncodeGroup(w.Take(), coef, lanes, comps));
        }
    }
    w.FlushBits();
    w.Marker(0xD9);
    return w.Finish() && !file.Failed();
}

}  // namespace zelvo
