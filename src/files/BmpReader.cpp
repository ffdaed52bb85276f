// Decoding BMP files of 1, 4, 8, 16, 24 and 32 bits, uncompressed, RLE4, RLE8 and bit fields.
// A file that ends early still opens: the rows that are missing come out white.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "files/Codecs.h"

namespace zelvo {

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

struct BmpHeader {
    int64_t width = 0;
    int64_t height = 0;  // always positive; topDown says which way the rows run
    bool topDown = false;
    int bits = 0;
    uint32_t compression = kBiRgb;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    int paletteEntries = 0;
    std::array<PaletteEntry, 256> palette{};
    uint64_t dataStart = 0;
};

// One channel of a bit-field pixel, scaled to 0..255.
struct Channel {
    int shift = 0;
    uint32_t max = 0;
    uint32_t mask = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        while (!((m >> shift) & 1)) ++shift;
        max = m >> shift;
        // A mask with holes counts only its low contiguous run.
        uint32_t contiguous = 0;
        while (contiguous < 32 && ((max >> contiguous) & 1)) ++contiguous;
        max = contiguous >= 32 ? 0xFFFFFFFFu : (1u << contiguous) - 1;
    }
    uint8_t Get(uint32_t pixel) const {
        if (max == 0) return 0;
        uint64_t v = (pixel >> shift) & max;
        return uint8_t((v * 255 + max / 2) / max);
    }
};

bool ReadHeader(ByteSource& source, BmpHeader& h) {
    uint8_t b[14 + 124] = {};
    size_t got = source.ReadAt(0, b, sizeof b);
    if (got < 26 || b[0] != 'B' || b[1] != 'M') return false;
    const uint32_t offBits = Le32(b + 10);
    const uint32_t infoSize = Le32(b + 14);
    uint64_t paletteAt = 14 + uint64_t(infoSize);
    int entrySize = 4;
    uint32_t clrUsed = 0;
    if (infoSize == 12) {  // OS/2 core header
        h.width = Le16(b + 18);
        h.height = Le16(b + 20);
        h.bits = Le16(b + 24);
        entrySize = 3;
    } else if (infoSize >= 40) {
        if (got < 54) return false;
        h.width = int32_t(Le32(b + 18));
        int64_t height = int32_t(Le32(b + 22));
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        h.bits = Le16(b + 28);
        h.compression = Le32(b + 30);
        clrUsed = Le32(b + 46);
        if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
            uint8_t m[12] = {};
            if (infoSize >= 52) {
                std::memcpy(m, b + 54, 12);
            } else {
                if (source.ReadAt(54, m, 12) != 12) return false;
                paletteAt += h.compression == kBiAlphaBitfields ? 16 : 12;
            }
            for (int i = 0; i < 3; ++i) h.masks[i] = Le32(m + 4 * i);
        }
    } else {
        return false;
    }
    if (h.width <= 0 || h.height <= 0) return false;

    switch (h.compression) {
        case kBiRgb:
            if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 &&
                h.bits != 32)
                return false;
            break;
        case kBiRle8:
            if (h.bits != 8 || h.topDown) return false;
            break;
        case kBiRle4:
            if (h.bits != 4 || h.topDown) return false;
            break;
        case kBiBitfields:
        case kBiAlphaBitfields:
            if (h.bits != 16 && h.bits != 32) return false;
            break;
        default:
            return false;
    }
    if (h.compression == kBiRgb && h.bits == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    }

    if (h.bits <= 8) {
        uint32_t maxEntries = 1u << h.bits;
        h.paletteEntries = int(clrUsed == 0 || clrUsed > maxEntries ? maxEntries : clrUsed);
        uint8_t raw[256 * 4] = {};
        // A palette cut short leaves its missing entries black.
        source.ReadAt(paletteAt, raw, size_t(h.paletteEntries) * entrySize);
        for (int i = 0; i < h.paletteEntries; ++i)
            h.palette[i] = {raw[i * entrySize], raw[i * entrySize + 1], raw[i * entrySize + 2]};
        paletteAt += uint64_t(h.paletteEntries) * entrySize;
    }
    // The pixels start where the header says, as long as that does not point back into the
    // headers; the usual 24-bit file has them right after its 54 header bytes either way.
    h.dataStart = offBits >= 14 + uint64_t(infoSize) ? offBits : paletteAt;
    return true;
}

void FillWhite(RasterImage& image, int64_t fromRow, bool topDown) {
    for (int64_t r = fromRow; r < image.Height(); ++r) {
        uint8_t* row = topDown ? image.TopRow(int32_t(r)) : image.BottomRow(int32_t(r));
        std::memset(row, 255, size_t(image.Width()) * 3);
    }
}

void ConvertRow(const BmpHeader& h, const uint8_t* src, uint8_t* dst, const Channel* channels) {
    const int64_t w = h.width;
    switch (h.bits) {
        case 24:
            std::memcpy(dst, src, size_t(w) * 3);
            break;
        case 32:
            if (h.compression == kBiRgb) {
                for (int64_t x = 0; x < w; ++x, src += 4, dst += 3) {
                    dst[0] = src[0];
                    dst[1] = src[1];
                    dst[2] = src[2];
                }
                break;
            }
            for (int64_t x = 0; x < w; ++x, src += 4, dst += 3) {
                uint32_t p = Le32(src);
                dst[0] = channels[2].Get(p);
                dst[1] = channels[1].Get(p);
                dst[2] = channels[0].Get(p);
            }
            break;
        case 16:
            for (int64_t x = 0; x < w; ++x, src += 2, dst += 3) {
                uint32_t p = Le16(src);
                dst[0] = channels[2].Get(p);
                dst[1] = channels[1].Get(p);
                dst[2] = channels[0].Get(p);
            }
            break;
        default: {
            const int bits = h.bits;
            const int perByte = 8 / bits;
            const uint8_t mask = uint8_t((1 << bits) - 1);
            for (int64_t x = 0; x < w; ++x, dst += 3) {
                int shift = 8 - bits * (int(x % perByte) + 1);
                const PaletteEntry& e = h.palette[(src[x / perByte] >> shift) & mask];
                dst[0] = e.blue;
                dst[1] = e.green;
                dst[2] = e.red;
            }
        }
    }
}

// Uncompressed rows, read in chunks; returns false only when memory runs out.
bool ReadPlainRows(ByteSource& source, const BmpHeader& h, RasterImage& image, bool& incomplete) {
    const uint64_t srcStride = uint64_t(DibStride(h.width, h.bits));
    const int64_t rowsPerChunk = std::max<int64_t>(1, int64_t((1u << 20) / srcStride));
    const Channel channels[3] = {Channel(h.masks[0]), Channel(h.masks[1]), Channel(h.masks[2])};
    // 24-bit bottom-up rows already have our layout and go straight into the image.
    const bool direct = h.bits == 24 && !h.topDown;
    std::vector<uint8_t> chunk;
    if (!direct) {
        try {
            chunk.resize(size_t(rowsPerChunk * srcStride));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    for (int64_t row = 0; row < h.height; row += rowsPerChunk) {
        const int64_t rows = std::min(rowsPerChunk, h.height - row);
        uint8_t* into = direct ? image.BottomRow(int32_t(row)) : chunk.data();
        const size_t want = size_t(rows * srcStride);
        const size_t got = source.ReadAt(h.dataStart + uint64_t(row) * srcStride, into, want);
        const int64_t complete = int64_t(got / srcStride);
        if (!direct) {
            for (int64_t r = 0; r < complete; ++r) {
                uint8_t* dst =
                    h.topDown ? image.TopRow(int32_t(row + r)) : image.BottomRow(int32_t(row + r));
                ConvertRow(h, chunk.data() + r * srcStride, dst, channels);
            }
        }
        if (got < want) {
            FillWhite(image, row + complete, h.topDown);
            incomplete = true;
            return true;
        }
    }
    return true;
}

class ChunkReader {
public:
    ChunkReader(ByteSource& source, uint64_t start) : m_source(source), m_offset(start) {}
    bool Next(uint8_t& byte) {
        if (m_at == m_size) {
            m_size = m_source.ReadAt(m_offset, m_buffer, sizeof m_buffer);
            m_offset += m_size;
            m_at = 0;
            if (m_size == 0) return false;
        }
        byte = m_buffer[m_at++];
        return true;
    }

private:
    ByteSource& m_source;
    uint64_t m_offset;
    uint8_t m_buffer[1 << 16];
    size_t m_size = 0;
    size_t m_at = 0;
};

void ReadRleRows(ByteSource& source, const BmpHeader& h, RasterImage& image, bool& incomplete) {
    const PaletteEntry background = h.palette[0];
    for (int64_t y = 0; y < h.height; ++y) {
        uint8_t* row = image.BottomRow(int32_t(y));
        for (int64_t x = 0; x < h.width; ++x) {
            row[3 * x] = background.blue;
            row[3 * x + 1] = background.green;
            row[3 * x + 2] = background.red;
        }
    }
    auto put = [&](int64_t x, int64_t y, uint8_t index) {
        if (x < 0 || x >= h.width || y >= h.height) return;
        uint8_t* p = image.BottomRow(int32_t(y)) + 3 * x;
        const PaletteEntry& e = h.palette[index];
        p[0] = e.blue;
        p[1] = e.green;
        p[2] = e.red;
    };
    auto reader = std::make_unique<ChunkReader>(source, h.dataStart);
    const bool four = h.compression == kBiRle4;
    int64_t x = 0, y = 0;
    auto truncated = [&]() {
        // The rest of the current row and every later row never arrived.
        if (y < h.height) {
            uint8_t* row = image.BottomRow(int32_t(y));
            for (int64_t i = std::max<int64_t>(x, 0); i < h.width; ++i)
                std::memset(row + 3 * i, 255, 3);
            FillWhite(image, y + 1, false);
            incomplete = true;
        }
    };
    while (y < h.height) {
        uint8_t n, c;
        if (!reader->Next(n) || !reader->Next(c)) return truncated();
        if (n > 0) {
            for (int i = 0; i < n; ++i, ++x) put(x, y, four ? ((i & 1) ? c & 15 : c >> 4) : c);
            continue;
        }
        if (c == 0) {
            x = 0;
            ++y;
        } else if (c == 1) {
            return;
        } else if (c == 2) {
            uint8_t dx, dy;
            if (!reader->Next(dx) || !reader->Next(dy)) return truncated();
            x += dx;
            y += dy;
        } else {
            const int bytes = four ? (c + 1) / 2 : c;
            uint8_t v = 0;
            for (int i = 0; i < bytes; ++i) {
                if (!reader->Next(v)) return truncated();
                if (four) {
                    put(x++, y, v >> 4);
                    if (2 * i + 1 < c) put(x++, y, v & 15);
                } else {
                    put(x++, y, v);
                }
            }
            if (bytes & 1) {
                if (!reader->Next(v)) return truncated();
            }
        }
    }
}

}  // namespace

bool DecodeBmp(ByteSource& source, const ReadLimits& limits, RasterReadResult& out) {
    BmpHeader h;
    if (!ReadHeader(source, h)) return false;
    if (!AcceptRasterSize(limits, h.width, h.height)) return false;
    if (!out.image.Allocate(int32_t(h.width), int32_t(h.height), 24, RowOrder::BottomUp))
        return false;
    bool incomplete = false;
    try {
        if (h.compression == kBiRle4 || h.compression == kBiRle8) {
            ReadRleRows(source, h, out.image, incomplete);
        } else if (!ReadPlainRows(source, h, out.image, incomplete)) {
            out.image.Clear();
            return false;
        }
    } catch (const std::bad_alloc&) {
        out.image.Clear();
        return false;
    }
    out.incomplete = incomplete;
    return true;
}

}  // namespace zelvo
