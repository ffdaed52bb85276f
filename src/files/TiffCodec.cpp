// TIFF reading (first page, any layout libtiff's RGBA reader knows) and writing with none, LZW,
// JPEG or deflate compression. libtiff reads and writes through our own file procedures.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include <tiffio.h>

#include "files/Codecs.h"

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

bool ReadPage(TIFF* tif, const ReadLimits& limits, RasterSink& sink) {
    char message[1024];
    TIFFRGBAImage img;
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&img, tif, 0, message)) return false;
    const uint32_t w = img.width, h = img.height;
    bool ok = AcceptRasterSize(limits, w, h) && sink.Start(int32_t(w), int32_t(h));
    img.req_orientation = ORIENTATION_TOPLEFT;
    // A band of rows at a time keeps the 32-bit RGBA copy small.
    const uint32_t band = std::max<uint32_t>(1, (1u << 20) / (w ? w : 1));
    std::vector<uint32_t> rgba;
    std::vector<uint8_t> line;
    std::unique_ptr<RasterRows> rows;
    if (ok) {
        try {
            rgba.resize(size_t(w) * std::min(band, h));
            line.resize(size_t(w) * 3);
            rows = sink.Band(0, int32_t(h));
            ok = rows != nullptr;
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    for (uint32_t row = 0; ok && row < h; row += band) {
        const uint32_t count = std::min(band, h - row);
        img.row_offset = int(row);
        img.col_offset = 0;
        if (!TIFFRGBAImageGet(&img, rgba.data(), w, count)) {
            ok = false;
            break;
        }
        for (uint32_t r = 0; ok && r < count; ++r) {
            const uint32_t* src = rgba.data() + size_t(r) * w;
            uint8_t* dst = line.data();
            for (uint32_t x = 0; x < w; ++x, dst += 3) {
                dst[0] = uint8_t(TIFFGetB(src[x]));
                dst[1] = uint8_t(TIFFGetG(src[x]));
                dst[2] = uint8_t(TIFFGetR(src[x]));
            }
            // Top row first in, bottom row first out.
            ok = rows->Put(int32_t(h - 1 - (row + r)), line.data());
        }
    }
    if (ok) ok = rows->Flush();
    TIFFRGBAImageEnd(&img);
    return ok;
}

}  // namespace

bool DecodeTiff(ByteSource& source, const ReadLimits& limits, RasterSink& sink) {
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
    bool ok = ReadPage(tif, limits, sink);
    TIFFClose(tif);
    return ok;
}

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
    if (ok) ok = TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    SaveBands bands(rows, RowOrder::TopDown, size_t(w) * 3);
    for (int32_t y = 0; ok && y < rows.Height(); ++y) {
        // b, g, r turned into r, g, b in place before libtiff takes the row.
        uint8_t* row = bands.Row(y);
        if (!row) {
            ok = false;
            break;
        }
        for (uint32_t x = 0; x < w; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        ok = TIFFWriteScanline(tif, row, uint32_t(y), 0) == 1;
    }
    if (ok) ok = TIFFFlush(tif) == 1;
    TIFFClose(tif);
    return ok && !file.Failed();
}

}  // namespace zelvo
