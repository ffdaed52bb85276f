// GIF reading (the first frame on its logical screen) with giflib, and single-frame GIF89a
// writing of an 8-bit indexed picture with an LZW coder of our own.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <gif_lib.h>

#include "core/RowBands.h"
#include "files/Codecs.h"

namespace zelvo {

namespace {

int ReadFromCursor(GifFileType* gif, GifByteType* data, int size) {
    if (size <= 0) return 0;
    return int(static_cast<SourceCursor*>(gif->UserData)->Read(data, size_t(size)));
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int error = 0;
        if (gif) DGifCloseFile(gif, &error);
    }
};

bool SkipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

// The first frame on its logical screen, handed to `sink` row by row as it is decoded: the rows
// outside the frame first, then the frame's rows in the file's order (an interlaced frame's four
// passes go straight to their rows).
bool ReadFrame(GifFileType* gif, const ReadLimits& limits, RasterSink& sink,
               std::unique_ptr<RasterRows>& rows) {
    if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
    const GifImageDesc& d = gif->Image;
    if (d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0) return false;
    // The frame sits on the logical screen; a frame reaching past it widens the picture.
    const int64_t width = std::max<int64_t>(gif->SWidth, int64_t(d.Left) + d.Width);
    const int64_t height = std::max<int64_t>(gif->SHeight, int64_t(d.Top) + d.Height);
    if (!AcceptRasterSize(limits, width, height)) return false;
    if (!sink.Start(int32_t(width), int32_t(height)) || !(rows = sink.Band(0, int32_t(height))))
        return false;

    PaletteEntry palette[256] = {};
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (map) {
        for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
            palette[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red};
    } else {
        for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    }
    PaletteEntry background{};
    if (gif->SColorMap && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        const GifColorType& c = gif->SColorMap->Colors[gif->SBackGroundColor];
        background = {c.Blue, c.Green, c.Red};
    }
    // One row of the picture; what lies beside the frame stays the background.
    std::vector<uint8_t> bgr(size_t(width) * 3);
    for (size_t x = 0; x < size_t(width); ++x) {
        bgr[3 * x] = background.blue;
        bgr[3 * x + 1] = background.green;
        bgr[3 * x + 2] = background.red;
    }
    const int32_t bottom = int32_t(height) - 1;
    for (int64_t y = 0; y < height; ++y)
        if ((y < d.Top || y >= int64_t(d.Top) + d.Height) &&
            !rows->Put(int32_t(bottom - y), bgr.data()))
            return false;

    std::vector<GifPixelType> line(size_t(d.Width));
    auto putLine = [&](int y) {
        if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) return false;
        uint8_t* p = bgr.data() + 3 * size_t(d.Left);
        for (int x = 0; x < d.Width; ++x, p += 3) {
            const PaletteEntry& e = palette[line[x]];
            p[0] = e.blue;
            p[1] = e.green;
            p[2] = e.red;
        }
        return rows->Put(bottom - (d.Top + y), bgr.data());
    };
    if (d.Interlace) {
        static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kStart[pass]; y < d.Height; y += kStep[pass])
                if (!putLine(y)) return false;
    } else {
        for (int y = 0; y < d.Height; ++y)
            if (!putLine(y)) return false;
    }
    return rows->Flush();
}

// The LZW stream of an 8-bit frame, code for code as giflib's encoder writes it, so that files
// are what they were when giflib wrote them: a clear code first; a clear code once the next free
// code reaches 4095; the code width raised after a code is written once the next free code has
// reached the width's limit (checked before that step's string is added); the last string,
// the end code, the bits left over, and sub-blocks of 255 bytes ending with an empty one.
class GifLzwWriter {
public:
    explicit GifLzwWriter(SafeFile& file) : m_file(file), m_codes(size_t(1) << 20, 0) {
        Reset();
        Emit(kClear);
    }

    void Put(const uint8_t* pixels, size_t count) {
        size_t i = 0;
        uint32_t current = m_current;
        if (!m_started && count) {
            current = pixels[i++];
            m_started = true;
        }
        for (; i < count; ++i) {
            const uint32_t pixel = pixels[i];
            const uint32_t key = current << 8 | pixel;
            if (const uint16_t code = m_codes[key]) {
                current = code;
                continue;
            }
            Emit(current);
            current = pixel;
            if (m_next >= kMaxCode) {
                Emit(kClear);
                Reset();
            } else {
                m_codes[key] = uint16_t(m_next++);
                m_used[m_usedCount++] = key;
            }
        }
        m_current = current;
    }

    bool Finish() {
        Emit(m_current);
        Emit(kEnd);
        if (m_bitCount > 0) m_raw[m_rawBytes++] = uint8_t(m_bits);
        return Drain(true);
    }

private:
    static constexpr uint32_t kCodeBits = 8, kClear = 256, kEnd = 257, kMaxCode = 4095;
    static constexpr size_t kRawBytes = 255 * 256;  // whole sub-blocks between drains

    void Reset() {
        for (uint32_t i = 0; i < m_usedCount; ++i) m_codes[m_used[i]] = 0;
        m_usedCount = 0;
        m_next = kEnd + 1;
        m_width = kCodeBits + 1;
        m_limit = 1u << m_width;
    }

    // At most 12 bits join fewer than 8 left over, so the whole bytes are one or two and an
    // unaligned 8-byte store writes them.
    void Emit(uint32_t code) {
        m_bits |= uint64_t(code) << m_bitCount;
        m_bitCount += int(m_width);
        std::memcpy(m_raw.data() + m_rawBytes, &m_bits, 8);
        m_rawBytes += size_t(m_bitCount >> 3);
        m_bits >>= m_bitCount & ~7;
        m_bitCount &= 7;
        if (m_next >= m_limit) m_limit = 1u << ++m_width;
        if (m_rawBytes >= kRawBytes) Drain(false);
    }

    // Writes the bytes gathered as sub-blocks of 255; the last, short one and the empty block
    // that ends the data only at the end.
    bool Drain(bool last) {
        const size_t whole = last ? m_rawBytes : m_rawBytes / 255 * 255;
        std::vector<uint8_t>& out = m_blocks;
        out.clear();
        for (size_t at = 0; at < whole; at += 255) {
            const size_t n = std::min<size_t>(255, whole - at);
            out.push_back(uint8_t(n));
            out.insert(out.end(), m_raw.data() + at, m_raw.data() + at + n);
        }
        if (last) out.push_back(0);
        m_rawBytes -= whole;
        std::memmove(m_raw.data(), m_raw.data() + whole, m_rawBytes);
        // A failed write shows in the file's state, which the caller checks at the end.
        return m_file.Write(out.data(), out.size());
    }

    SafeFile& m_file;
    // The code of each string by its prefix's code and last pixel (prefix << 8 | pixel), 0 for
    // none: one load a pixel, where a hash table of 16 Ki slots spent a third longer probing.
    std::vector<uint16_t> m_codes;
    std::array<uint32_t, kMaxCode> m_used{};  // the keys set since the last clear code
    uint32_t m_usedCount = 0;
    uint32_t m_next = 0, m_width = 0, m_limit = 0;
    uint32_t m_current = 0;
    bool m_started = false;
    uint64_t m_bits = 0;
    int m_bitCount = 0;
    std::array<uint8_t, kRawBytes + 16> m_raw;
    size_t m_rawBytes = 0;
    std::vector<uint8_t> m_blocks;
};

}  // namespace

bool DecodeGif(ByteSource& source, const ReadLimits& limits, RasterSink& sink) {
    uint8_t magic[6];
    if (source.ReadAt(0, magic, 6) != 6 || magic[0] != 'G' || magic[1] != 'I' || magic[2] != 'F')
        return false;
    SourceCursor cursor(source, true);
    int error = 0;
    GifCloser closer{DGifOpen(&cursor, ReadFromCursor, &error)};
    if (!closer.gif) return false;
    std::unique_ptr<RasterRows> rows;
    try {
        for (;;) {
            GifRecordType type;
            if (DGifGetRecordType(closer.gif, &type) == GIF_ERROR) break;
            if (type == IMAGE_DESC_RECORD_TYPE) {
                return ReadFrame(closer.gif, limits, sink, rows);
            }
            if (type == EXTENSION_RECORD_TYPE) {
                if (!SkipExtension(closer.gif)) break;
                continue;
            }
            break;  // the trailer before any frame, or garbage
        }
    } catch (const std::bad_alloc&) {
    }
    return false;
}

bool EncodeGif(SafeFile& file, const RowSource& indexed,
               const std::array<PaletteEntry, 256>& palette) {
    const int32_t width = indexed.Width(), height = indexed.Height();
    if (width <= 0 || height <= 0 || indexed.Bits() != 8 || width > 65535 || height > 65535)
        return false;
    // GIF89a, the logical screen with a global table of 256 colours (8 bits of resolution,
    // background 0), then one frame covering it without a table of its own.
    std::vector<uint8_t> head = {'G', 'I', 'F', '8', '9', 'a'};
    auto word = [&](int32_t v) {
        head.push_back(uint8_t(v));
        head.push_back(uint8_t(v >> 8));
    };
    word(width), word(height);
    head.insert(head.end(), {0xF7, 0, 0});
    for (const PaletteEntry& e : palette) head.insert(head.end(), {e.red, e.green, e.blue});
    head.push_back(0x2C);
    word(0), word(0), word(width), word(height);
    head.push_back(0);
    head.push_back(8);  // the bits of the first codes, less one
    if (!file.Write(head.data(), head.size())) return false;
    auto lzw = std::make_unique<GifLzwWriter>(file);
    // A band of indices is coded on a second core while the caller maps the next one, so the
    // rows are read where they always were; two bands take the memory one did.
    const int32_t bandRows = std::max(1, SaveBandRows(size_t(width), height) / 2);
    std::vector<uint8_t> coding, mapping;
    try {
        coding.resize(size_t(bandRows) * size_t(width));
        mapping.resize(coding.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!indexed.Fill(0, bandRows, RowOrder::TopDown, coding.data(), size_t(width))) return false;
    for (int32_t first = 0; first < height; first += bandRows) {
        const int32_t rows = std::min(bandRows, height - first);
        const int32_t next = first + rows, nextEnd = std::min(height, next + bandRows);
        bool mapped = true;
        RunBeside(
            [&] {
                if (next < height)
                    mapped = indexed.Fill(next, nextEnd, RowOrder::TopDown, mapping.data(),
                                          size_t(width));
            },
            [&] { lzw->Put(coding.data(), size_t(rows) * size_t(width)); });
        if (!mapped) return false;
        coding.swap(mapping);
    }
    const uint8_t trailer = ';';
    return lzw->Finish() && file.Write(&trailer, 1) && !file.Failed();
}

}  // namespace zelvo
