// The baseline JPEG writer's types shared between its coder (BaselineJpegWriter.cpp) and its
// stripes (BaselineJpegStripes.cpp); not for use elsewhere.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <immintrin.h>

#include "files/RowSource.h"
#include "files/SafeFile.h"

namespace zelvo::jpeg {

// The most blocks coded side by side (one per float lane of the widest vectors).
constexpr int kMaxLanes = 16;

// More than a group of 3 x 16 blocks can take: a block's codes need at most 22 bits for the DC
// and 26 for each AC value, 208 bytes in all.
constexpr size_t kGroupBytes = 3 * kMaxLanes * 256;

// The entropy coder's state, kept in locals while a group of blocks is coded (held in the
// writer, every byte stored could alias it and it would live in memory): fewer than eight
// pending bits at the top of `bits`, whole bytes going out unstuffed at `at`.
struct BitCursor {
    uint64_t bits;
    uint64_t count;
    uint8_t* at;
};

// Entropy-coded bytes gathered in a buffer that goes to the file in large writes.
class BitWriter {
public:
    explicit BitWriter(SafeFile& file) : m_file(file), m_buffer(kChunk + 2 * kGroupBytes + 16) {}
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
    BitCursor Take() { return {m_bits, uint64_t(m_count), m_raw}; }
    // Stuffs the group's bytes into the buffer.
    void Give(const BitCursor& c) {
        m_bits = c.bits;
        m_count = int(c.count);
        uint8_t* out = m_buffer.data() + m_at;
        const uint8_t* p = m_raw;
        // Sixteen bytes at a time; only those holding a 0xFF go byte by byte (the buffer's
        // slack takes the overshoot).
        const __m128i ones = _mm_set1_epi8(char(0xFF));
        for (; p + 16 <= c.at; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (!_mm_movemask_epi8(_mm_cmpeq_epi8(v, ones))) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
                out += 16;
                continue;
            }
            for (int i = 0; i < 16; ++i) {
                *out++ = p[i];
                if (p[i] == 0xFF) *out++ = 0;
            }
        }
        for (; p < c.at; ++p) {
            *out++ = *p;
            if (*p == 0xFF) *out++ = 0;
        }
        m_at = size_t(out - m_buffer.data());
        if (m_at >= kChunk) Drain();
    }
    // Continues the stream with `bytes` whole bytes coded elsewhere (unstuffed) and
    // `tailCount` (< 8) bits at the top of `tail`: shifted to the bit where the stream stands,
    // eight bytes at a time.
    void Append(const uint8_t* p, size_t bytes, uint64_t tail, int tailCount);
    // Pads the last byte with one bits and sends out what is left.
    void FlushBits() {
        BitCursor c = Take();
        if (c.count) Put(c, ((uint64_t(1) << (8 - c.count)) - 1) << (56 + c.count) | (8 - c.count));
        Give(c);
    }
    bool Finish() {
        if (m_at > 0 && m_ok) m_ok = m_file.Write(m_buffer.data(), m_at);
        m_at = 0;
        return m_ok;
    }
    bool Ok() const { return m_ok; }

    // `code` holds up to 27 bits at its top and their number in its low six bits. Add leaves
    // them pending; at most two codes may be pending (with the eight bits that can be left
    // over, 61 bits) before Commit. No branch: Commit stores eight bytes every time and moves
    // the cursor by the whole ones.
    static inline __attribute__((always_inline)) void Add(BitCursor& c, uint64_t code) {
        c.bits |= (code & ~uint64_t(63)) >> c.count;
        c.count += code & 63;
    }
    static inline __attribute__((always_inline)) void Commit(BitCursor& c) {
        const uint64_t big = __builtin_bswap64(c.bits);
        std::memcpy(c.at, &big, 8);
        c.at += c.count >> 3;
        c.bits <<= c.count & 56;
        c.count &= 7;
    }
    static inline __attribute__((always_inline)) void Put(BitCursor& c, uint64_t code) {
        Add(c, code);
        Commit(c);
    }

private:
    static constexpr size_t kChunk = size_t(1) << 20;

    void Drain() {
        if (m_ok) m_ok = m_file.Write(m_buffer.data(), m_at);
        m_at = 0;
    }
    SafeFile& m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_at = 0;
    uint8_t m_raw[kGroupBytes + 8];
    uint64_t m_bits = 0;
    int m_count = 0;
    bool m_ok = true;
};

struct DcTable;
struct AcTable;

struct Component {
    const DcTable* dc;
    const AcTable* ac;
    float reciprocal[64];
    int previousDc = 0;
};

struct JpegKernels {
    int lanes;
    void (*convert)(const uint8_t* blue, const uint8_t* green, const uint8_t* red, int count,
                    float* y, float* cb, float* cr);
    void (*transform)(const float* plane, size_t planeWidth, const float* reciprocal,
                      int16_t (*coef)[64]);
    BitCursor (*encode)(BitCursor cursor, const int16_t (*coef)[kMaxLanes][64], int lanes,
                        Component* comps);
};

// What every stripe of a picture shares.
struct PictureSetup {
    const RowSource& rows;  // filled from every stripe's thread at once
    const JpegKernels& kernels;
    int width, height;
    int planeWidth, convertWidth, blocksAcross;
};

// Codes the picture's MCU rows into `w` in stripes shared out among the threads, joined on in
// order; false when the memory for them or the picture's rows cannot be had, or the file's
// writes fail.
bool CodeStripes(BitWriter& w, const PictureSetup& setup, const Component* comps);

}  // namespace zelvo::jpeg
