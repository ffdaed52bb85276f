// PNG reading and writing with libpng. libpng reports errors by longjmp; they are caught here.
#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <png.h>

#include "files/Codecs.h"

namespace zelvo {

namespace {

void SilentWarning(png_structp, png_const_charp) {}
void ErrorJump(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void ReadFromCursor(png_structp png, png_bytep data, size_t size) {
    auto* cursor = static_cast<SourceCursor*>(png_get_io_ptr(png));
    if (cursor->Read(data, size) != size) png_error(png, "read past the end");
}

// libpng's own heap while it reads: no single request may pass kPngLargestRequest (the
// picture itself is ours, not libpng's; its row buffers are a few rows at most), and the
// outstanding total is kept for the tests. libpng only warns about an ancillary chunk longer
// than its chunk limit and allocates it anyway; this is where such a request stops.
constexpr size_t kPngLargestRequest = 16u << 20;
std::atomic<size_t> g_pngPeakBytes{0};

struct PngHeap {
    size_t live = 0;
};

png_voidp PngAlloc(png_structp png, png_alloc_size_t size) {
    auto* heap = static_cast<PngHeap*>(png_get_mem_ptr(png));
    if (size == 0 || size > kPngLargestRequest) return nullptr;
    // The size rides in front of the block so that the free below can count it back.
    auto* block = static_cast<size_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (!block) return nullptr;
    *block = size;
    heap->live += size;
    size_t peak = g_pngPeakBytes.load(std::memory_order_relaxed);
    while (heap->live > peak &&
           !g_pngPeakBytes.compare_exchange_weak(peak, heap->live, std::memory_order_relaxed)) {
    }
    return reinterpret_cast<uint8_t*>(block) + sizeof(std::max_align_t);
}

void PngFree(png_structp png, png_voidp p) {
    if (!p) return;
    auto* block = reinterpret_cast<size_t*>(static_cast<uint8_t*>(p) - sizeof(std::max_align_t));
    // libpng frees its own struct after it has cleared the pointer to our heap.
    if (auto* heap = png ? static_cast<PngHeap*>(png_get_mem_ptr(png)) : nullptr)
        heap->live -= *block;
    std::free(block);
}

// Where the reads of an interlaced file have got to.
struct Bands {
    RasterImage rows;  // the band's even rows, top row first
    png_uint_32 width = 0, height = 0;
    png_uint_32 first = 0;  // the band's first row counted from the top
    bool done = false;
};

// One read of the file from its start. Only plain C objects live in this frame: longjmp skips
// destructors. The row buffer is allocated through libpng so that it is freed with it; the rows'
// writer and the bands are the caller's. The first read checks the size and starts the sink;
// an interlaced file's reads each gather the next band of rows and stop as soon as it is
// complete, but for the last band.
bool Decode(SourceCursor& cursor, const ReadLimits& limits, RasterSink& sink,
            std::unique_ptr<RasterRows>& out, size_t bandBytes, Bands& bands) {
    PngHeap heap;
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, ErrorJump,
                                               SilentWarning, &heap, PngAlloc, PngFree);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_bytep volatile line = nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        if (line) png_free(png, line);
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, &cursor, ReadFromCursor);
    png_set_user_limits(png, uint32_t(kMaxRasterSide), uint32_t(kMaxRasterSide));
    png_set_chunk_malloc_max(png, kPngLargestRequest);
    png_set_chunk_cache_max(png, 256);
    // Damaged ancillary chunks (colour profiles, text) are not worth refusing a picture for.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_WARN_DISCARD);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    // A later read must find the picture the first one started, even if the file has changed.
    const png_uint_32 first = bands.first;
    if (first == 0 ? !AcceptRasterSize(limits, width, height)
                   : width != bands.width || height != bands.height || interlace == 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    // Everything becomes 8-bit BGR; alpha and transparency are dropped, not composited. A
    // palette's transparent entries (tRNS) come out of the expansion as an alpha channel,
    // which goes the same way.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16) png_set_strip_16(png);
    if ((colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_strip_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
        (first == 0 && (!sink.Start(int32_t(width), int32_t(height)) ||
                        !(out = sink.Band(0, int32_t(height)))))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    bool ok = true;
    png_uint_32 next = height;
    const size_t rowBytes = size_t(width) * 3;
    DecodeScratch* scratch = passes == 7 && first == 0 ? sink.Scratch() : nullptr;
    const int area = scratch ? scratch->Borrow(uint64_t(rowBytes) * ((height + 1) / 2)) : -1;
    if (area >= 0) {
        // Adam7: the first six passes bring parts of the even rows, which wait in the scratch
        // from pass to pass, and the last brings the odd rows whole; the file is decoded once.
        line = static_cast<png_bytep>(png_malloc(png, rowBytes));
        for (int pass = 0; pass < passes && ok; ++pass) {
            for (png_uint_32 y = 0; y < height && ok; ++y) {
                const uint64_t at = uint64_t(y / 2) * rowBytes;
                const bool inPass = PNG_ROW_IN_INTERLACE_PASS(y, pass);
                // A row's first pass finds nothing to keep.
                const int firstPass = y % 8 == 0 ? 0 : y % 4 == 0 ? 2 : 4;
                if (inPass && pass < 6 && pass > firstPass)
                    ok = scratch->Read(area, at, line, rowBytes);
                png_read_row(png, ok && inPass ? line : nullptr, nullptr);
                if (inPass && pass < 6) ok = ok && scratch->Write(area, at, line, rowBytes);
                if (pass == 6) {
                    if (!inPass) ok = scratch->Read(area, at, line, rowBytes);
                    ok = ok && out->Put(int32_t(height - 1 - y), line);
                }
            }
        }
    } else if (passes > 1) {
        // Only the even rows are kept from pass to pass: the last pass brings the odd rows whole.
        if (first == 0) {
            const size_t evenRows = std::max<size_t>(1, bandBytes / (size_t(width) * 3));
            bands.width = width;
            bands.height = height;
            if (!bands.rows.Allocate(int32_t(width),
                                     int32_t(std::min<size_t>(evenRows, (height + 1) / 2)), 24,
                                     RowOrder::TopDown)) {
                png_destroy_read_struct(&png, &info, nullptr);
                return false;
            }
        }
        next = std::min<png_uint_32>(height, first + 2 * png_uint_32(bands.rows.Height()));
        line = static_cast<png_bytep>(png_malloc(png, size_t(width) * 3));
        // Rows outside the band are decoded and dropped: each row's filter needs the one before.
        for (int pass = 0; pass < passes && ok; ++pass) {
            const bool last = pass == passes - 1;
            if (last)  // the band's even rows are complete
                for (png_uint_32 y = first; y < next && ok; y += 2)
                    ok = out->Put(int32_t(height - 1 - y),
                                  bands.rows.TopRow(int32_t((y - first) / 2)));
            for (png_uint_32 y = 0; y < height && ok; ++y) {
                const bool inBand = y >= first && y < next, odd = y % 2;
                png_bytep row = nullptr;
                if (inBand && odd && last) row = line;
                if (inBand && !odd && !last) row = bands.rows.TopRow(int32_t((y - first) / 2));
                png_read_row(png, row, nullptr);
                if (row == line) ok = out->Put(int32_t(height - 1 - y), line);
                if (last && y + 1 == next) break;
            }
        }
    } else {
        // Top row first in, bottom row first out, one row at a time.
        line = static_cast<png_bytep>(png_malloc(png, size_t(width) * 3));
        for (png_uint_32 y = 0; y < height && ok; ++y) {
            png_read_row(png, line, nullptr);
            ok = out->Put(int32_t(height - 1 - y), line);
        }
    }
    // The end of the file is checked once every row is out.
    bands.first = next;
    bands.done = next == height;
    if (ok && bands.done) png_read_end(png, nullptr);
    if (line) png_free(png, line);
    line = nullptr;
    png_destroy_read_struct(&png, &info, nullptr);
    return ok && (!bands.done || out->Flush());
}

}  // namespace

size_t PngDecoderPeakBytes() {
    return g_pngPeakBytes.load(std::memory_order_relaxed);
}

void ResetPngDecoderPeakBytes() {
    g_pngPeakBytes.store(0, std::memory_order_relaxed);
}

bool DecodePng(ByteSource& source, const ReadLimits& limits, RasterSink& sink, size_t bandBytes) {
    uint8_t signature[8];
    if (source.ReadAt(0, signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0) return false;
    SourceCursor cursor(source, true);
    std::unique_ptr<RasterRows> rows;
    Bands bands;
    try {
        while (!bands.done) {
            cursor.SetPosition(0);
            if (!Decode(cursor, limits, sink, rows, bandBytes, bands)) return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zelvo
