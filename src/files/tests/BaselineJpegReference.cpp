// The baseline JPEG writer as it was before it was vectorised: one block at a time, scalar
// floating point. The fast writer must give the same bytes.
#include "BaselineJpegReference.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "files/BaselineJpegWriter.h"

namespace zelvo::test {

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

// One pass of the AAN forward DCT over 8 values `step` apart.
inline void Dct8(float* d, int step) {
    float tmp0 = d[0] + d[7 * step], tmp7 = d[0] - d[7 * step];
    float tmp1 = d[step] + d[6 * step], tmp6 = d[step] - d[6 * step];
    float tmp2 = d[2 * step] + d[5 * step], tmp5 = d[2 * step] - d[5 * step];
    float tmp3 = d[3 * step] + d[4 * step], tmp4 = d[3 * step] - d[4 * step];
    float tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    float tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    d[0] = tmp10 + tmp11;
    d[4 * step] = tmp10 - tmp11;
    float z1 = (tmp12 + tmp13) * 0.707106781f;
    d[2 * step] = tmp13 + z1;
    d[6 * step] = tmp13 - z1;
    tmp10 = tmp4 + tmp5;
    tmp11 = tmp5 + tmp6;
    tmp12 = tmp6 + tmp7;
    float z5 = (tmp10 - tmp12) * 0.382683433f;
    float z2 = 0.541196100f * tmp10 + z5;
    float z4 = 1.306562965f * tmp12 + z5;
    float z3 = tmp11 * 0.707106781f;
    float z11 = tmp7 + z3, z13 = tmp7 - z3;
    d[5 * step] = z13 + z2;
    d[3 * step] = z13 - z2;
    d[step] = z11 + z4;
    d[7 * step] = z11 - z4;
}

int Category(int v) {
    unsigned a = unsigned(v < 0 ? -v : v);
    int n = 0;
    while (a) {
        ++n;
        a >>= 1;
    }
    return n;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void Bytes(const uint8_t* p, size_t n) { m_out.insert(m_out.end(), p, p + n); }
    void Marker(uint8_t m) {
        const uint8_t b[2] = {0xFF, m};
        Bytes(b, 2);
    }
    void Word(unsigned w) {
        const uint8_t b[2] = {uint8_t(w >> 8), uint8_t(w)};
        Bytes(b, 2);
    }
    void Bits(uint32_t value, int count) {
        if (count == 0) return;
        m_bits = (m_bits << count) | (value & ((1u << count) - 1));
        m_count += count;
        while (m_count >= 8) {
            uint8_t byte = uint8_t(m_bits >> (m_count - 8));
            m_out.push_back(byte);
            if (byte == 0xFF) m_out.push_back(0);  // byte stuffing
            m_count -= 8;
        }
        m_bits &= (1u << m_count) - 1;
    }
    // Pads the last byte with one bits.
    void FlushBits() {
        if (m_count > 0) Bits(0x7F, 8 - m_count);
    }
    bool Ok() const { return true; }

private:
    std::vector<uint8_t>& m_out;
    uint32_t m_bits = 0;
    int m_count = 0;
};

void WriteHuffmanTable(BitWriter& w, int classAndId, const HuffmanSpec& spec) {
    w.Marker(0xC4);
    w.Word(unsigned(2 + 1 + 16 + spec.values.size()));
    const uint8_t id = uint8_t(classAndId);
    w.Bytes(&id, 1);
    w.Bytes(spec.bits, 16);
    w.Bytes(spec.values.data(), spec.values.size());
}

struct Component {
    const HuffmanCodes* dc;
    const HuffmanCodes* ac;
    float reciprocal[64];
    int previousDc = 0;
};

void EncodeBlock(BitWriter& w, float* block, Component& c) {
    for (int i = 0; i < 8; ++i) Dct8(block + 8 * i, 1);
    for (int i = 0; i < 8; ++i) Dct8(block + i, 8);
    int coef[64];
    for (int k = 0; k < 64; ++k) {
        const int n = kJpegZigZag[k];
        // Adding 0.5 and truncating toward zero rounds negative values up, not away from zero.
        coef[k] = int(block[n] * c.reciprocal[n] + 0.5f);
    }
    int diff = std::clamp(coef[0] - c.previousDc, -2047, 2047);
    c.previousDc = coef[0];
    int cat = Category(diff);
    w.Bits(c.dc->code[cat], c.dc->length[cat]);
    if (cat) w.Bits(uint32_t(diff < 0 ? diff - 1 : diff), cat);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        int v = std::clamp(coef[k], -1023, 1023);
        if (v == 0) {
            ++run;
            continue;
        }
        while (run > 15) {
            w.Bits(c.ac->code[0xF0], c.ac->length[0xF0]);
            run -= 16;
        }
        cat = Category(v);
        const int symbol = (run << 4) | cat;
        w.Bits(c.ac->code[symbol], c.ac->length[symbol]);
        w.Bits(uint32_t(v < 0 ? v - 1 : v), cat);
        run = 0;
    }
    if (run > 0) w.Bits(c.ac->code[0], c.ac->length[0]);
}

}  // namespace

std::vector<uint8_t> ReferenceBaselineJpeg(const RasterImage& image, int libraryQuality) {
    std::vector<uint8_t> out;
    if (image.IsEmpty() || image.Bits() != 24 || image.Width() > 65535 || image.Height() > 65535)
        return {};
    const int width = image.Width(), height = image.Height();
    const int paddedWidth = (width + 7) / 8 * 8;
    const auto lumQuant = ScaledQuantTable(kJpegLuminanceBase, libraryQuality);
    const auto chromQuant = ScaledQuantTable(kJpegChrominanceBase, libraryQuality);
    static const HuffmanCodes dcLum(kDcLuminance), acLum(kAcLuminance);
    static const HuffmanCodes dcChrom(kDcChrominance), acChrom(kAcChrominance);

    std::vector<float> planes;
    try {
        planes.resize(size_t(paddedWidth) * 8 * 3);
    } catch (const std::bad_alloc&) {
        return {};
    }
    BitWriter w(out);
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

    float* plane[3] = {planes.data(), planes.data() + size_t(paddedWidth) * 8,
                       planes.data() + size_t(paddedWidth) * 16};
    for (int band = 0; band < height && w.Ok(); band += 8) {
        for (int r = 0; r < 8; ++r) {
            // Rows and columns past the picture repeat its last row and column.
            const uint8_t* src = image.TopRow(std::min(band + r, height - 1));
            for (int x = 0; x < paddedWidth; ++x) {
                const uint8_t* p = src + 3 * std::min(x, width - 1);
                const int b = p[0], g = p[1], rr = p[2];
                // Exact integer forms of the conversion, truncated as the real values would be.
                const int y = (299 * rr + 587 * g + 114 * b) / 1000;
                const int cb = (-1687 * rr - 3313 * g + 5000 * b + 1280000) / 10000;
                const int cr = (5000 * rr - 4187 * g - 813 * b + 1280000) / 10000;
                const size_t at = size_t(r) * paddedWidth + x;
                plane[0][at] = float(y - 128);
                plane[1][at] = float(cb - 128);
                plane[2][at] = float(cr - 128);
            }
        }
        for (int bx = 0; bx < paddedWidth; bx += 8) {
            for (int c = 0; c < 3; ++c) {
                float block[64];
                for (int r = 0; r < 8; ++r)
                    std::memcpy(block + 8 * r, plane[c] + size_t(r) * paddedWidth + bx,
                                8 * sizeof(float));
                EncodeBlock(w, block, comps[c]);
            }
        }
    }
    w.FlushBits();
    w.Marker(0xD9);
    return out;
}

}  // namespace zelvo::test
