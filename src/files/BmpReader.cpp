// Decoding BMP files of 1, 4, 8, 16, 24 and 32 bits, uncompressed, RLE4, RLE8 and bit fields.
// A file that ends early still opens: the rows that are missing come out white.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/RowBands.h"
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

// The pixel bytes each band reads at once, shared out between the bands.
constexpr uint64_t kChunkBytes = uint64_t(4) << 20;

// Uncompressed rows, read from the source in chunks of many rows into one buffer per band and
// handed to the sink converted; returns false when the sink or memory fails.
bool ReadPlainRows(ByteSource& source, const BmpHeader& h, RasterSink& sink, bool& incomplete) {
    const int32_t width = int32_t(h.width), height = int32_t(h.height);
    const uint64_t srcStride = uint64_t(DibStride(h.width, h.bits));
    // Only rows wholly inside the file are read; the ones after them come out white.
    const uint64_t size = source.Size();
    const uint64_t available = size > h.dataStart ? size - h.dataStart : 0;
    const int64_t whole = int64_t(std::min<uint64_t>(uint64_t(height), available / srcStride));
    const uint64_t chunkBytes = BandWindowBytes(kChunkBytes, RowBandCount(height, kLeastBandRows));
    const int64_t rowsPerChunk = std::max<int64_t>(1, int64_t(chunkBytes / srcStride));
    const Channel channels[3] = {Channel(h.masks[0]), Channel(h.masks[1]), Channel(h.masks[2])};
    std::atomic<bool> ok{true}, shortRead{false};
    ForEachRowBand(height, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        try {
            std::unique_ptr<RasterRows> rows = sink.Band(first, end);
            if (!rows) {
                ok = false;
                return;
            }
            const int64_t chunkRows = std::min<int64_t>(rowsPerChunk, end - first);
            std::vector<uint8_t> chunk(size_t(chunkRows * int64_t(srcStride)));
            // 24-bit rows already are b, g, r triples and go out as read.
            std::vector<uint8_t> line(h.bits == 24 ? 0 : size_t(width) * 3);
            std::vector<uint8_t> white;
            for (int32_t y0 = first; y0 < end && ok; y0 += int32_t(chunkRows)) {
                const int32_t y1 = int32_t(std::min<int64_t>(end, y0 + chunkRows));
                // The rows in file order: the first of them in the file and how many are there.
                const int64_t fileFirst = h.topDown ? height - y1 : y0;
                const int64_t present = std::clamp<int64_t>(whole - fileFirst, 0, y1 - y0);
                int64_t got = 0;
                if (present > 0) {
                    const size_t want = size_t(present * int64_t(srcStride));
                    got = int64_t(source.ReadAt(h.dataStart + uint64_t(fileFirst) * srcStride,
                                                chunk.data(), want) /
                                  srcStride);
                    if (got < present) shortRead = true;
                }
                for (int32_t y = y0; y < y1; ++y) {
                    const int64_t at = (h.topDown ? height - 1 - y : y) - fileFirst;
                    const uint8_t* bgr = nullptr;
                    if (at >= got) {
                        if (white.empty()) white.assign(size_t(width) * 3, 255);
                        bgr = white.data();
                    } else if (h.bits == 24) {
                        bgr = chunk.data() + at * int64_t(srcStride);
                    } else {
                        ConvertRow(h, chunk.data() + at * int64_t(srcStride), line.data(),
                                   channels);
                        bgr = line.data();
                    }
                    if (!rows->Put(y, bgr)) {
                        ok = false;
                        break;
                    }
                }
            }
            if (!rows->Flush()) ok = false;
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    });
    if (whole < height || shortRead) incomplete = true;
    return ok;
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

// RLE rows: the runs only move forwards, so each row goes to the sink once it is left.
bool ReadRleRows(ByteSource& source, const BmpHeader& h, RasterSink& sink, bool& incomplete) {
    const int32_t width = int32_t(h.width), height = int32_t(h.height);
    std::unique_ptr<RasterRows> rows = sink.Band(0, height);
    if (!rows) return false;
    const PaletteEntry background = h.palette[0];
    const PaletteEntry white{255, 255, 255};
    // The row being decoded; rows not reached keep the background.
    std::vector<uint8_t> line(size_t(width) * 3);
    auto fill = [&](int64_t from, const PaletteEntry& e) {
        for (int64_t i = std::max<int64_t>(from, 0); i < width; ++i) {
            line[3 * i] = e.blue;
            line[3 * i + 1] = e.green;
            line[3 * i + 2] = e.red;
        }
    };
    int64_t x = 0, y = 0;
    bool ok = true;
    // Sends the row being decoded, then rows of `rest` up to row `to`, and starts row `to`.
    auto moveTo = [&](int64_t to, const PaletteEntry& rest) {
        if (y < height && ok) ok = rows->Put(int32_t(y), line.data());
        fill(0, rest);
        for (int64_t r = y + 1; r < std::min<int64_t>(to, height) && ok; ++r)
            ok = rows->Put(int32_t(r), line.data());
        y = to;
    };
    auto put = [&](int64_t px, uint8_t index) {
        if (px < 0 || px >= width) return;
        const PaletteEntry& e = h.palette[index];
        line[3 * px] = e.blue;
        line[3 * px + 1] = e.green;
        line[3 * px + 2] = e.red;
    };
    auto finish = [&]() {
        moveTo(height, background);
        return rows->Flush() && ok;
    };
    auto truncated = [&]() {
        // The rest of the current row and every later row never arrived.
        fill(x, white);
        moveTo(height, white);
        incomplete = true;
        return rows->Flush() && ok;
    };
    fill(0, background);
    auto reader = std::make_unique<ChunkReader>(source, h.dataStart);
    const bool four = h.compression == kBiRle4;
    while (y < height && ok) {
        uint8_t n, c;
        if (!reader->Next(n) || !reader->Next(c)) return truncated();
        if (n > 0) {
            for (int i = 0; i < n; ++i, ++x) put(x, four ? ((i & 1) ? c & 15 : c >> 4) : c);
            continue;
        }
        if (c == 0) {
            x = 0;
            moveTo(y + 1, background);
        } else if (c == 1) {
            return finish();
        } else if (c == 2) {
            uint8_t dx, dy;
            if (!reader->Next(dx) || !reader->Next(dy)) return truncated();
            x += dx;
            if (dy > 0) moveTo(y + dy, background);
        } else {
            const int bytes = four ? (c + 1) / 2 : c;
            uint8_t v = 0;
            for (int i = 0; i < bytes; ++i) {
                if (!reader->Next(v)) return truncated();
                if (four) {
                    put(x++, v >> 4);
                    if (2 * i + 1 < c) put(x++, v & 15);
                } else {
                    put(x++, v);
                }
            }
            if (bytes & 1) {
                if (!reader->Next(v)) return truncated();
            }
        }
    }
    return finish();
}

}  // namespace

bool DecodeBmp(ByteSource& source, const ReadLimits& limits, RasterSink& sink, bool& incomplete) {
    BmpHeader h;
    if (!ReadHeader(source, h)) return false;
    if (!AcceptRasterSize(limits, h.width, h.height)) return false;
    if (!sink.Start(int32_t(h.width), int32_t(h.height))) return false;
    try {
        if (h.compression == kBiRle4 || h.compression == kBiRle8)
            return ReadRleRows(source, h, sink, incomplete);
        return ReadPlainRows(source, h, sink, incomplete);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zelvo
