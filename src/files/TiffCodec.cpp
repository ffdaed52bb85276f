// TIFF reading (first page, any layout libtiff's RGBA reader knows) and writing with none, LZW,
// JPEG or deflate compression. libtiff reads and writes through our own file procedures; LZW,
// JPEG and deflate strips are coded on every core as libtiff codes them and handed to libtiff
// whole.
#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>
#include <libdeflate.h>
#include <tiffio.h>
#include <zlib.h>

#include "core/RowBands.h"
#include "files/Codecs.h"
#include "files/JpegErrors.h"

namespace zelvo {

namespace {

int SilentHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Reading: the handle is a SourceCursor.
tmsize_t SourceRead(thandle_t h, void* data, tmsize_t size) {
    if (size < 0) return -1;
    return tmsize_t(static_cast<SourceCursor*>(h)->Read(data, size_t(size)));
}
tmsize_t SourceWrite(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t SourceSeek(thandle_t h, toff_t offset, int whence) {
    auto* c = static_cast<SourceCursor*>(h);
    uint64_t base = whence == SEEK_CUR   ? c->Position()
                    : whence == SEEK_END ? c->Source().Size()
                                         : 0;
    c->SetPosition(base + offset);
    return c->Position();
}
toff_t SourceSize(thandle_t h) {
    return static_cast<SourceCursor*>(h)->Source().Size();
}

// Writing: the handle is a SafeFile.
tmsize_t FileRead(thandle_t h, void* data, tmsize_t size) {
    auto* f = static_cast<SafeFile*>(h);
    if (size < 0) return -1;
    size_t n = f->ReadAt(f->Position(), data, size_t(size));
    f->Seek(f->Position() + n);
    return tmsize_t(n);
}
tmsize_t FileWrite(thandle_t h, void* data, tmsize_t size) {
    if (size < 0) return -1;
    return static_cast<SafeFile*>(h)->Write(data, size_t(size)) ? size : -1;
}
toff_t FileSeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<SafeFile*>(h);
    uint64_t base = whence == SEEK_CUR ? f->Position() : whence == SEEK_END ? f->Size() : 0;
    if (!f->Seek(base + offset)) return toff_t(-1);
    return f->Position();
}
toff_t FileSize(thandle_t h) {
    return static_cast<SafeFile*>(h)->Size();
}

int CloseNothing(thandle_t) {
    return 0;
}
int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapNothing(thandle_t, void*, toff_t) {}

TIFF* OpenTiff(const char* mode, thandle_t handle, bool reading, tmsize_t maxAlloc) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, SilentHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, SilentHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, maxAlloc);
    TIFF* tif = reading
                    ? TIFFClientOpenExt("file", mode, handle, SourceRead, SourceWrite, SourceSeek,
                                        CloseNothing, SourceSize, MapNothing, UnmapNothing, options)
                    : TIFFClientOpenExt("file", mode, handle, FileRead, FileWrite, FileSeek,
                                        CloseNothing, FileSize, MapNothing, UnmapNothing, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

// libtiff checks that an uncompressed tile holds exactly the tile's bytes by the size of its read
// buffer, and reading through our procedures (not a mapping) it rounds that buffer up to a whole
// kilobyte: tiles of 16 x 16 RGB pixels, 768 bytes, were refused. A buffer of ours, exactly the
// tile, is never resized, so that check no longer sees the stored sizes: they are checked here.
bool SetUpPlainTiles(TIFF* tif, tmsize_t maxAlloc, std::unique_ptr<uint8_t[]>& buffer) {
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsTiled(tif) || compression != COMPRESSION_NONE) return true;
    const tmsize_t bytes = TIFFTileSize(tif);
    if (bytes <= 0 || bytes > maxAlloc) return false;
    for (uint32_t tile = 0, count = TIFFNumberOfTiles(tif); tile < count; ++tile)
        if (TIFFGetStrileByteCount(tif, tile) != uint64_t(bytes)) return false;
    buffer.reset(new (std::nothrow) uint8_t[size_t(bytes)]);
    return buffer && TIFFReadBufferSetup(tif, buffer.get(), bytes);
}

bool ReadPage(TIFF* tif, const ReadLimits& limits, RasterSink& sink, int& orientation) {
    char message[1024];
    TIFFRGBAImage img;
    // Transparency is dropped as in every format, leaving the stored colour: libtiff would
    // multiply an unassociated alpha into it.
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra) {
        std::vector<uint16_t> kinds(extra, extra + extraCount);
        if (std::count(kinds.begin(), kinds.end(), uint16_t(EXTRASAMPLE_UNASSALPHA)) > 0) {
            std::replace(kinds.begin(), kinds.end(), uint16_t(EXTRASAMPLE_UNASSALPHA),
                         uint16_t(EXTRASAMPLE_UNSPECIFIED));
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, extraCount, kinds.data());
        }
    }
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&img, tif, 0, message)) return false;
    const uint32_t w = img.width, h = img.height;
    bool ok = AcceptRasterSize(limits, w, h) && sink.Start(int32_t(w), int32_t(h));
    // libtiff only mirrors: a picture stored turned on its side (orientations 5 to 8, which mean
    // what Exif's do) is read as stored and turned upright afterwards, as a JPEG's is.
    const bool sideways =
        img.orientation >= ORIENTATION_LEFTTOP && img.orientation <= ORIENTATION_LEFTBOT;
    img.req_orientation = sideways ? img.orientation : uint16_t(ORIENTATION_TOPLEFT);
    orientation = sideways ? int(img.orientation) : 1;
    // A band of rows at a time keeps the 32-bit RGBA copy small. With more than one thread
    // libtiff decodes a band on a second core while the caller hands over the band before; two
    // bands of half the size take the memory one did.
    uint32_t band = std::max<uint32_t>(1, (1u << 19) / (w ? w : 1));
    // Subsampled YCbCr is decoded a block of rows at a time: a band starts on a block.
    uint16_t photometric = 0, hs = 1, vs = 1;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric) &&
        photometric == PHOTOMETRIC_YCBCR &&
        TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &hs, &vs) && vs > 1)
        band = (band + vs - 1) / vs * vs;
    // A picture stored from the bottom is read from the file's far end band by band; libtiff
    // turns each band over in place.
    const bool fromBottom =
        img.orientation == ORIENTATION_BOTLEFT || img.orientation == ORIENTATION_BOTRIGHT;
    if (fromBottom && vs > 1 && h % vs != 0) band = h;  // its blocks start at the top
    std::vector<uint32_t> handing, decoding;
    std::vector<uint8_t> line;
    std::unique_ptr<RasterRows> rows;
    if (ok) {
        try {
            handing.resize(size_t(w) * std::min(band, h));
            decoding.resize(handing.size());
            line.resize(size_t(w) * 3);
            rows = sink.Band(0, int32_t(h));
            ok = rows != nullptr;
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    auto decode = [&](uint32_t first, std::vector<uint32_t>& into) {
        const uint32_t count = std::min(band, h - first);
        img.row_offset = int(fromBottom ? h - first - count : first);
        img.col_offset = 0;
        return TIFFRGBAImageGet(&img, into.data(), w, count) != 0;
    };
    if (ok) ok = decode(0, handing);
    for (uint32_t first = 0; ok && first < h; first += band) {
        const uint32_t count = std::min(band, h - first), next = first + count;
        bool decoded = true;
        RunBeside(
            [&] {
                for (uint32_t r = 0; ok && r < count; ++r) {
                    const uint32_t* src = handing.data() + size_t(r) * w;
                    uint8_t* dst = line.data();
                    for (uint32_t x = 0; x < w; ++x, dst += 3) {
                        dst[0] = uint8_t(TIFFGetB(src[x]));
                        dst[1] = uint8_t(TIFFGetG(src[x]));
                        dst[2] = uint8_t(TIFFGetR(src[x]));
                    }
                    // Top row first in, bottom row first out.
                    ok = rows->Put(int32_t(h - 1 - (first + r)), line.data());
                }
            },
            [&] {
                if (next < h) decoded = decode(next, decoding);
            });
        ok = ok && decoded;
        handing.swap(decoding);
    }
    if (ok) ok = rows->Flush();
    TIFFRGBAImageEnd(&img);
    return ok;
}

}  // namespace

bool DecodeTiff(ByteSource& source, const ReadLimits& limits, RasterSink& sink, int* orientation) {
    uint8_t magic[4];
    if (source.ReadAt(0, magic, 4) != 4) return false;
    if (!((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M')))
        return false;
    SourceCursor cursor(source);
    // No single buffer of libtiff (a strip, a tile, a directory array) may be larger than a
    // picture of the quiet size at 4 bytes a pixel would need.
    const tmsize_t maxAlloc =
        tmsize_t(std::max<int64_t>(4 * std::min(limits.maxPixels, kQuietRasterPixels), 16 << 20));
    // "m": no memory mapping; libtiff reads through the cursor.
    TIFF* tif = OpenTiff("rm", &cursor, true, maxAlloc);
    if (!tif) return false;
    std::unique_ptr<uint8_t[]> tileBuffer;
    int turn = 1;
    bool ok = SetUpPlainTiles(tif, maxAlloc, tileBuffer) && ReadPage(tif, limits, sink, turn);
    if (orientation) *orientation = turn;
    TIFFClose(tif);
    return ok;
}

namespace {

// One strip's LZW code, byte for byte what libtiff's encoder writes, so that files stay what they
// were when libtiff coded them: codes most significant bit first from 9 bits, a clear code first;
// the width raised once the next free code passes the width's largest; a clear code when the
// next free code reaches 4094, or when, at a check, the ratio of bytes in to bits out (a 24.8
// fraction, both counted since the last clear) has not improved since the check before. A check
// comes once the bytes counted reach 10000 more than at the check before, a clear leaving that
// mark where it was. Then the last string, the end code (its width raised as if that string had
// been added), and the bits left over.
class TiffLzwStrip {
public:
    TiffLzwStrip() { m_slots.fill(kEmpty); }

    void Encode(const uint8_t* in, size_t count, std::vector<uint8_t>& out) {
        // At most two codes of 12 bits for every byte in, and three more.
        const size_t most = 3 * count + 8;
        if (m_bufferBytes < most) {
            m_buffer.reset(new uint8_t[most]);
            m_bufferBytes = most;
        }
        uint8_t* op = m_buffer.get();
        uint64_t bits = 0;
        int bitCount = 0;
        uint32_t width = kFirstWidth, largest = (1u << kFirstWidth) - 1, next = kFirstCode;
        int64_t taken = 0, sent = 0, checkpoint = kCheckGap, ratio = 0;
        auto put = [&](uint32_t code) {
            bits = bits << width | code;
            bitCount += int(width);
            if (bitCount >= 16) {
                bitCount -= 16;
                const uint32_t two = uint32_t(bits >> bitCount);
                op[0] = uint8_t(two >> 8);
                op[1] = uint8_t(two);
                op += 2;
            } else if (bitCount >= 8) {
                bitCount -= 8;
                *op++ = uint8_t(bits >> bitCount);
            }
            sent += width;
        };
        uint32_t current = 0;
        if (count) {
            put(kClearCode);
            current = in[0];
            taken = 1;
        }
        uint32_t* const slots = m_slots.data();
        uint16_t* const used = m_used.data();
        uint32_t usedCount = 0;
        auto clear = [&] {
            for (uint32_t k = 0; k < usedCount; ++k) slots[used[k]] = kEmpty;
            usedCount = 0;
        };
        for (size_t i = 1; i < count; ++i) {
            const uint32_t c = in[i];
            ++taken;
            const uint32_t key = c << 12 | current;
            uint32_t slot = c << 8 ^ current, entry;
            while ((entry = slots[slot]) != kEmpty && entry >> 12 != key)
                slot = (slot + 1) & (kSlots - 1);
            if (entry != kEmpty) {
                current = entry & 0xFFF;
                continue;
            }
            put(current);
            current = c;
            slots[slot] = key << 12 | next++;
            used[usedCount++] = uint16_t(slot);
            bool restart = next == kFullCode;
            if (!restart && next > largest) {
                largest = (1u << ++width) - 1;
            } else if (!restart && taken >= checkpoint) {
                checkpoint = taken + kCheckGap;
                int64_t now;
                if (taken > 0x7fffff) {
                    const int64_t sentBytes = sent >> 8;
                    now = sentBytes == 0 ? 0x7fffffff : taken / sentBytes;
                } else {
                    now = (taken << 8) / sent;
                }
                if (now <= ratio)
                    restart = true;
                else
                    ratio = now;
            }
            if (restart) {
                clear();
                ratio = 0;
                taken = 0;
                sent = 0;
                next = kFirstCode;
                put(kClearCode);
                width = kFirstWidth;
                largest = (1u << kFirstWidth) - 1;
            }
        }
        clear();  // the table empty for the next strip
        if (count) {
            put(current);
            if (++next == kFullCode) {
                put(kClearCode);
                width = kFirstWidth;
            } else if (next > largest) {
                ++width;
            }
        }
        put(kEndCode);
        if (bitCount > 0) *op++ = uint8_t(bits << (8 - bitCount));
        out.assign(m_buffer.get(), op);
    }

private:
    static constexpr uint32_t kClearCode = 256, kEndCode = 257, kFirstCode = 258;
    static constexpr uint32_t kFullCode = 4094, kFirstWidth = 9;
    static constexpr int64_t kCheckGap = 10000;
    // Every pair (c, prefix) has a slot of its own but for the prefix's top four bits, so
    // probes are short; a table this size measured faster than a quarter of it.
    static constexpr uint32_t kSlots = 1u << 16;
    static constexpr uint32_t kEmpty = ~0u;  // no entry holds code 4095

    std::array<uint32_t, kSlots> m_slots;  // key << 12 | code, the key c << 12 | prefix
    std::array<uint16_t, kFullCode> m_used{};
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_bufferBytes = 0;
};

// A strip as libtiff deflates it. A scanline that is the whole strip (a strip of one row) goes
// to libdeflate in one call, at `libdeflateLevel` (0: never); any other strip goes to zlib at
// `zlibLevel`, a row a call, then finished.
class TiffDeflateStrip {
public:
    TiffDeflateStrip(int libdeflateLevel, int zlibLevel, size_t rowBytes)
        : m_libdeflateLevel(libdeflateLevel), m_zlibLevel(zlibLevel), m_rowBytes(rowBytes) {}
    ~TiffDeflateStrip() {
        if (m_libdeflate) libdeflate_free_compressor(m_libdeflate);
        if (m_zlibOpen) deflateEnd(&m_z);
    }
    TiffDeflateStrip(const TiffDeflateStrip&) = delete;
    TiffDeflateStrip& operator=(const TiffDeflateStrip&) = delete;

    // `out` is left empty when zlib fails.
    void Encode(const uint8_t* in, size_t count, std::vector<uint8_t>& out) {
        if (count == m_rowBytes && m_libdeflateLevel != 0) {
            if (!m_libdeflate) m_libdeflate = libdeflate_alloc_compressor(m_libdeflateLevel);
            if (!m_libdeflate) throw std::bad_alloc();
            out.resize(libdeflate_zlib_compress_bound(m_libdeflate, count));
            out.resize(libdeflate_zlib_compress(m_libdeflate, in, count, out.data(), out.size()));
            return;
        }
        if (!m_zlibOpen) {
            if (deflateInit(&m_z, m_zlibLevel) != Z_OK) throw std::bad_alloc();
            m_zlibOpen = true;
        }
        out.clear();
        if (deflateReset(&m_z) != Z_OK) return;
        out.resize(deflateBound(&m_z, uLong(count)));
        m_z.next_out = out.data();
        m_z.avail_out = uInt(out.size());
        for (size_t at = 0; at < count; at += m_rowBytes) {
            m_z.next_in = const_cast<uint8_t*>(in + at);
            m_z.avail_in = uInt(std::min(m_rowBytes, count - at));
            while (m_z.avail_in > 0) {
                if (m_z.avail_out == 0) Grow(out);
                if (deflate(&m_z, Z_NO_FLUSH) != Z_OK) {
                    out.clear();
                    return;
                }
            }
        }
        for (int state = Z_OK; state != Z_STREAM_END;) {
            if (m_z.avail_out == 0) Grow(out);
            state = deflate(&m_z, Z_FINISH);
            if (state != Z_OK && state != Z_STREAM_END) {
                out.clear();
                return;
            }
        }
        out.resize(out.size() - m_z.avail_out);
    }

private:
    // More room at the end of `out`, where zlib goes on writing; the bound makes it rare.
    void Grow(std::vector<uint8_t>& out) {
        const size_t used = out.size();
        out.resize(2 * used + 64);
        m_z.next_out = out.data() + used;
        m_z.avail_out = uInt(out.size() - used);
    }

    int m_libdeflateLevel, m_zlibLevel;
    size_t m_rowBytes;
    libdeflate_compressor* m_libdeflate = nullptr;
    z_stream m_z{};
    bool m_zlibOpen = false;
};

// A strip as libtiff's JPEG codec writes it with libjpeg: an abbreviated stream of red, green
// and blue components at full resolution, its tables left to the file's JPEGTables.
class TiffJpegStrip {
public:
    TiffJpegStrip(int32_t width, int quality) : m_width(width), m_quality(quality) {
        m_c.err = SetUpJpegErrors(m_err);
        if (setjmp(m_err.jump)) {
            jpeg_destroy_compress(&m_c);
            throw std::bad_alloc();
        }
        jpeg_create_compress(&m_c);
        m_dest.base.init_destination = InitDestination;
        m_dest.base.empty_output_buffer = EmptyBuffer;
        m_dest.base.term_destination = TermDestination;
        m_c.dest = &m_dest.base;
    }
    ~TiffJpegStrip() { jpeg_destroy_compress(&m_c); }
    TiffJpegStrip(const TiffJpegStrip&) = delete;
    TiffJpegStrip& operator=(const TiffJpegStrip&) = delete;

    // `out` is left empty when libjpeg fails.
    void Encode(const uint8_t* in, size_t count, std::vector<uint8_t>& out) {
        m_dest.out = &out;
        if (setjmp(m_err.jump)) {
            jpeg_abort_compress(&m_c);
            out.clear();
            return;
        }
        const size_t rowBytes = size_t(m_width) * 3;
        m_c.image_width = JDIMENSION(m_width);
        m_c.image_height = JDIMENSION(count / rowBytes);
        m_c.input_components = 3;
        m_c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&m_c);
        jpeg_set_colorspace(&m_c, JCS_RGB);
        jpeg_set_quality(&m_c, m_quality, FALSE);
        m_c.write_JFIF_header = FALSE;
        m_c.write_Adobe_marker = FALSE;
        jpeg_suppress_tables(&m_c, TRUE);
        jpeg_start_compress(&m_c, FALSE);
        while (m_c.next_scanline < m_c.image_height) {
            JSAMPROW row = const_cast<uint8_t*>(in) + size_t(m_c.next_scanline) * rowBytes;
            jpeg_write_scanlines(&m_c, &row, 1);
        }
        jpeg_finish_compress(&m_c);
    }

private:
    // Output grows inside the strip's vector.
    struct Destination {
        jpeg_destination_mgr base;
        std::vector<uint8_t>* out;
    };
    static bool Grow(j_compress_ptr c, size_t keep, size_t size) {
        auto* d = reinterpret_cast<Destination*>(c->dest);
        try {
            d->out->resize(size);
        } catch (const std::bad_alloc&) {
            return false;
        }
        d->base.next_output_byte = d->out->data() + keep;
        d->base.free_in_buffer = size - keep;
        return true;
    }
    static void InitDestination(j_compress_ptr c) {
        auto* d = reinterpret_cast<Destination*>(c->dest);
        if (!Grow(c, 0, std::max<size_t>(d->out->capacity(), 1 << 16)))
            ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
    }
    static boolean EmptyBuffer(j_compress_ptr c) {
        auto* d = reinterpret_cast<Destination*>(c->dest);
        const size_t full = d->out->size();
        if (!Grow(c, full, 2 * full)) ERREXIT1(c, JERR_OUT_OF_MEMORY, 0);
        return TRUE;
    }
    static void TermDestination(j_compress_ptr c) {
        auto* d = reinterpret_cast<Destination*>(c->dest);
        d->out->resize(d->out->size() - d->base.free_in_buffer);
    }

    int32_t m_width;
    int m_quality;
    jpeg_compress_struct m_c{};
    JpegErrorManager m_err{};
    Destination m_dest{};
};

// The libdeflate level libtiff codes a whole deflate strip with, or 0 when it would code the
// strips of this file with zlib (a build without libdeflate, or no quality libdeflate has).
int LibtiffDeflateLevel(int subcodec, int quality) {
    if (subcodec != DEFLATE_SUBCODEC_LIBDEFLATE) return 0;
    // libtiff asks one level more of libdeflate than of zlib, to compress as well.
    if (quality == -1) return 7;
    if (quality >= 6 && quality <= 9) return quality + 1;
    return quality >= 1 && quality <= 12 ? quality : 0;
}

// The rows as strips of `rowsPerStrip` rows, each coded by a `Coder` made by `makeCoder`: a band
// of strips at a time, on every core, handed to libtiff whole. With `firstByLibtiff` libtiff
// codes the first strip itself, which sets up what its codec keeps in the file's fields.
template <class MakeCoder>
bool WriteStripsOnEveryCore(TIFF* tif, const RowSource& rows, int32_t rowsPerStrip,
                            const MakeCoder& makeCoder, bool firstByLibtiff = false) {
    const int32_t height = rows.Height();
    const size_t rowBytes = size_t(rows.Width()) * 3;
    const int32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    const int32_t bandStrips = std::clamp(SaveBandRows(rowBytes, height) / rowsPerStrip, 1, strips);
    SaveBands bands(rows, RowOrder::TopDown, rowBytes, bandStrips * rowsPerStrip);
    std::vector<std::vector<uint8_t>> coded(static_cast<size_t>(bandStrips));
    // Coders are kept from band to band: each holds tables of hundreds of kilobytes whose
    // pages would fault afresh.
    std::vector<decltype(makeCoder())> spare;
    std::mutex spareLock;
    for (int32_t first = 0; first < strips; first += bandStrips) {
        const int32_t count = std::min(bandStrips, strips - first);
        uint8_t* band = bands.Row(first * rowsPerStrip);
        if (!band) return false;
        const int32_t bandRows = std::min(height - first * rowsPerStrip, count * rowsPerStrip);
        ForEachRowBand(count, 1, [&](int32_t from, int32_t to, bool) {
            decltype(makeCoder()) coder;
            {
                const std::lock_guard<std::mutex> hold(spareLock);
                if (!spare.empty()) coder = std::move(spare.back()), spare.pop_back();
            }
            if (!coder) coder = makeCoder();
            for (int32_t s = from; s < to; ++s) {
                const int32_t y = s * rowsPerStrip;
                const int32_t n = std::min(rowsPerStrip, bandRows - y);
                uint8_t* p = band + size_t(y) * rowBytes;
                // b, g, r turned into r, g, b in place
                for (size_t i = 0; i < size_t(n) * rowBytes; i += 3) std::swap(p[i], p[i + 2]);
                if (first + s != 0 || !firstByLibtiff)
                    coder->Encode(p, size_t(n) * rowBytes, coded[size_t(s)]);
            }
            const std::lock_guard<std::mutex> hold(spareLock);
            spare.push_back(std::move(coder));
        });
        for (int32_t s = 0; s < count; ++s) {
            if (first + s == 0 && firstByLibtiff) {
                const tmsize_t bytes =
                    tmsize_t(std::min(rowsPerStrip, height)) * tmsize_t(rowBytes);
                if (TIFFWriteEncodedStrip(tif, 0, band, bytes) != bytes) return false;
                continue;
            }
            const std::vector<uint8_t>& c = coded[size_t(s)];
            if (c.empty() ||
                TIFFWriteRawStrip(tif, uint32_t(first + s), const_cast<uint8_t*>(c.data()),
                                  tmsize_t(c.size())) != tmsize_t(c.size()))
                return false;
        }
    }
    return true;
}

// The rows through libtiff's own coder, a scanline at a time.
bool WriteScanlines(TIFF* tif, const RowSource& rows) {
    const uint32_t w = uint32_t(rows.Width());
    SaveBands bands(rows, RowOrder::TopDown, size_t(w) * 3);
    for (int32_t y = 0; y < rows.Height(); ++y) {
        // b, g, r turned into r, g, b in place before libtiff takes the row.
        uint8_t* row = bands.Row(y);
        if (!row) return false;
        for (uint32_t x = 0; x < w; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        if (TIFFWriteScanline(tif, row, uint32_t(y), 0) != 1) return false;
    }
    return true;
}

}  // namespace

int TiffJpegQuality(int level) {
    return std::clamp(level, 1, 12) + 88;
}

bool EncodeTiff(SafeFile& file, const RowSource& rows, int compression, int quality) {
    if (rows.Width() <= 0 || rows.Height() <= 0 || rows.Bits() != 24) return false;
    TIFF* tif = OpenTiff("w", &file, false, 0);
    if (!tif) return false;
    uint16_t codec = COMPRESSION_NONE;
    if (compression == kTiffLzw) codec = COMPRESSION_LZW;
    if (compression == kTiffJpeg) codec = COMPRESSION_JPEG;
    if (compression == kTiffDeflate) codec = COMPRESSION_ADOBE_DEFLATE;
    const uint32_t w = uint32_t(rows.Width()), h = uint32_t(rows.Height());
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, codec);
    if (ok && codec == COMPRESSION_JPEG)
        ok = TIFFSetField(tif, TIFFTAG_JPEGQUALITY, TiffJpegQuality(quality));
    const uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 0);
    if (ok) ok = TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    // libtiff deflates a strip with libdeflate only when it comes whole, which a scanline does
    // when a strip is one row (rows of more than 4096 bytes, or a last strip of one row).
    int subcodec = DEFLATE_SUBCODEC_ZLIB, zipQuality = -1;
    const bool deflateKnown = codec == COMPRESSION_ADOBE_DEFLATE &&
                              TIFFGetField(tif, TIFFTAG_DEFLATE_SUBCODEC, &subcodec) &&
                              TIFFGetField(tif, TIFFTAG_ZIPQUALITY, &zipQuality);
    const int32_t stripRows = int32_t(std::min(rowsPerStrip, h));
    try {
        if (ok && codec == COMPRESSION_LZW)
            ok = WriteStripsOnEveryCore(tif, rows, stripRows,
                                        [] { return std::make_unique<TiffLzwStrip>(); });
        else if (ok && codec == COMPRESSION_JPEG)
            ok = WriteStripsOnEveryCore(
                tif, rows, stripRows,
                [width = rows.Width(), q = TiffJpegQuality(quality)] {
                    return std::make_unique<TiffJpegStrip>(width, q);
                },
                true);
        // One core codes strips of several rows as fast through libtiff's scanlines, without
        // the band's second pass.
        else if (ok && deflateKnown && (stripRows == 1 || PassThreads() > 1))
            ok = WriteStripsOnEveryCore(tif, rows, stripRows,
                                        [level = LibtiffDeflateLevel(subcodec, zipQuality),
                                         zlibLevel = std::min(zipQuality, Z_BEST_COMPRESSION),
                                         rowBytes = size_t(rows.Width()) * 3] {
                                            return std::make_unique<TiffDeflateStrip>(
                                                level, zlibLevel, rowBytes);
                                        });
        else if (ok)
            ok = WriteScanlines(tif, rows);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (ok) ok = TIFFFlush(tif) == 1;
    TIFFClose(tif);
    return ok && !file.Failed();
}

}  // namespace zelvo
