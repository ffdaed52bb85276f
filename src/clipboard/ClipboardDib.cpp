#include "clipboard/ClipboardDib.h"

#include <cstring>

namespace zelvo {

namespace {

uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void WriteU32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

uint8_t Unblend(int c, int e) {
    // Undo c' = white * (100 - e) / 100 + c * e / 100 with the same truncations.
    const int white = (100 - e) * 255 / 100;
    const int v = (c - white) * 100 / e;
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace

CopiedPixel EncodeCopiedPixel(const PercentTables& t, uint8_t b, uint8_t g, uint8_t r,
                              uint8_t alpha, uint8_t strength) {
    const int e = t.T100(alpha > 100 ? 100 : alpha, strength > 100 ? 100 : strength);
    const int white = t.T100(255, 100 - e);
    return {uint8_t(white + t.T100(b, e)), uint8_t(white + t.T100(g, e)),
            uint8_t(white + t.T100(r, e)), uint8_t(e + 1)};
}

std::vector<uint8_t> NewCopyDib(int32_t width, int32_t height) {
    const size_t rows = size_t(width) * 4 * size_t(height);
    std::vector<uint8_t> dib(40 + rows, 0);
    WriteU32(dib.data(), 40);
    WriteU32(dib.data() + 4, uint32_t(width));
    WriteU32(dib.data() + 8, uint32_t(height));
    dib[12] = 1;   // planes
    dib[14] = 32;  // bits per pixel
    WriteU32(dib.data() + 20, uint32_t(rows));
    return dib;
}

std::optional<DibLayout> ReadDibLayout(const std::vector<uint8_t>& dib) {
    if (dib.size() < 40) return std::nullopt;
    const uint32_t headerBytes = ReadU32(dib.data());
    const int32_t width = int32_t(ReadU32(dib.data() + 4));
    const int32_t height = int32_t(ReadU32(dib.data() + 8));
    uint16_t bits;
    std::memcpy(&bits, dib.data() + 14, 2);
    const uint32_t compression = ReadU32(dib.data() + 16);
    const uint32_t colours = ReadU32(dib.data() + 32);
    if (headerBytes < 40 || headerBytes > dib.size() || (bits != 24 && bits != 32))
        return std::nullopt;
    if (width <= 0 || height == 0 || height == INT32_MIN) return std::nullopt;
    // Uncompressed, or 32-bit with the three masks after a short header (assumed the usual
    // blue, green, red order).
    uint64_t offset = headerBytes;
    if (compression == 3 && bits == 32) {
        if (headerBytes == 40) offset += 12;
    } else if (compression != 0) {
        return std::nullopt;
    }
    offset += uint64_t(colours > 256 ? 256 : colours) * 4;
    const uint64_t rows = uint64_t(height < 0 ? -int64_t(height) : height);
    const uint64_t stride = ((uint64_t(bits) * uint64_t(width) + 31) / 32) * 4;
    if (offset + stride * rows > dib.size()) return std::nullopt;
    DibLayout l;
    l.width = width;
    l.height = int32_t(rows);
    l.bits = bits;
    l.topDown = height < 0;
    l.pixelOffset = size_t(offset);
    l.stride = size_t(stride);
    return l;
}

void DecodeDibRow(const std::vector<uint8_t>& dib, const DibLayout& layout, int32_t topRow,
                  bool decode, uint8_t* out) {
    const int32_t stored = layout.topDown ? topRow : layout.height - 1 - topRow;
    const uint8_t* src = dib.data() + layout.pixelOffset + size_t(stored) * layout.stride;
    const size_t step = size_t(layout.bits / 8);
    for (int32_t x = 0; x < layout.width; ++x, src += step, out += 4) {
        out[0] = src[0];
        out[1] = src[1];
        out[2] = src[2];
        out[3] = 100;
        if (layout.bits != 32 || !decode) continue;
        const int m = src[3];
        if (m < 1 || m > 101) continue;
        const int e = m - 1;
        out[3] = uint8_t(e);
        if (e == 0) continue;  // transparent: the colour bytes stay as they are
        out[0] = Unblend(src[0], e);
        out[1] = Unblend(src[1], e);
        out[2] = Unblend(src[2], e);
    }
}

}  // namespace zelvo
