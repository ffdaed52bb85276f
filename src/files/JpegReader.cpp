// JPEG decoding with libjpeg, the file read in chunks as libjpeg asks for it and the rows handed
// to a sink as they come. libjpeg reports errors by longjmp; they are caught here and become a
// failed read.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

#include "core/RowBands.h"
#include "files/Codecs.h"
#include "files/JpegErrors.h"

namespace zelvo {

namespace {

// Progressive files with thousands of tiny scans take ages to decode and are never real.
constexpr int kMaxScans = 1000;

void LimitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->progressive_mode && d->input_scan_number > kMaxScans) JpegErrorExit(cinfo);
}

// libjpeg's source: `chunk` bytes of the file at a time into `buffer`. At the end of the file it
// acts as libjpeg's own memory source does, warning and supplying an end-of-image marker for
// as long as it is asked, so a truncated file decodes as far as it goes with the rest filled
// in by libjpeg. A file that cannot be read up to its end fails instead.
struct ChunkSource {
    jpeg_source_mgr base;
    ByteSource* source;
    uint64_t position;
    size_t chunk;
    JOCTET* buffer;
    JpegNotes notes;
    bool exifSeen;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<ChunkSource*>(cinfo->src);
    const uint64_t size = src->source->Size();
    const size_t want =
        src->position < size ? size_t(std::min<uint64_t>(src->chunk, size - src->position)) : 0;
    if (want == 0) {
        static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->notes.endedEarly = true;
        src->base.next_input_byte = kEndOfImage;
        src->base.bytes_in_buffer = 2;
        return TRUE;
    }
    if (src->source->ReadAt(src->position, src->buffer, want) != want)
        JpegErrorExit(reinterpret_cast<j_common_ptr>(cinfo));
    src->position += want;
    src->base.next_input_byte = src->buffer;
    src->base.bytes_in_buffer = want;
    return TRUE;
}

// What lies inside the file is skipped without reading it; past its end the skip goes on
// through the supplied markers as libjpeg's own sources do.
void SkipInput(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<ChunkSource*>(cinfo->src);
    if (count <= 0) return;
    size_t n = size_t(count);
    if (n > src->base.bytes_in_buffer) {
        n -= src->base.bytes_in_buffer;
        src->base.bytes_in_buffer = 0;
        const uint64_t size = src->source->Size();
        const uint64_t left = src->position < size ? size - src->position : 0;
        const uint64_t jump = std::min<uint64_t>(n, left);
        src->position += jump;
        n -= size_t(jump);
    }
    while (n > src->base.bytes_in_buffer) {
        n -= src->base.bytes_in_buffer;
        FillInput(cinfo);
    }
    src->base.next_input_byte += n;
    src->base.bytes_in_buffer -= n;
}

// The first bytes of the first Exif segment give the orientation; the rest of every APP1
// segment is skipped unread, so that no number of them takes memory.
constexpr size_t kExifBytesRead = 4096;

int NextByte(j_decompress_ptr cinfo) {
    jpeg_source_mgr& src = *cinfo->src;
    if (src.bytes_in_buffer == 0) src.fill_input_buffer(cinfo);
    --src.bytes_in_buffer;
    return *src.next_input_byte++;
}

boolean ReadApp1(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<ChunkSource*>(cinfo->src);
    const int high = NextByte(cinfo);
    const long length = long(high << 8 | NextByte(cinfo)) - 2;
    if (length <= 0) return TRUE;
    if (src->exifSeen) {
        SkipInput(cinfo, length);
        return TRUE;
    }
    uint8_t head[kExifBytesRead];
    const size_t n = std::min<size_t>(size_t(length), sizeof head);
    for (size_t i = 0; i < n; ++i) head[i] = uint8_t(NextByte(cinfo));
    SkipInput(cinfo, long(size_t(length) - n));
    if (n >= 6 && std::memcmp(head, "Exif\0\0", 6) == 0) {
        src->exifSeen = true;
        src->notes.orientation = ExifOrientation(head, n);
    }
    return TRUE;
}

// libjpeg keeps every coefficient of a progressive or multi-scan picture until its last scan,
// 2 bytes a sample (60 MB at 20 MP), in the virtual block arrays of its memory manager. With
// scratch room from the sink those arrays are taken over here: each lives in an area of the
// scratch, and a window of a few block rows is in memory, written back and loaded as libjpeg
// moves through it, as libjpeg's own manager would do with a backing store (which Debian's
// build lacks). Plain C structures in libjpeg's pools: an error may longjmp out of any call.
struct ScratchArray {
    JBLOCKARRAY rows;  // the window's rows, in `blocks`
    JBLOCKROW blocks;
    JDIMENSION width, height, maxAccess;
    JDIMENSION rowsInMem;
    JDIMENSION firstRow;        // the array row in rows[0]
    JDIMENSION firstUndefined;  // rows from here on have never been written
    bool preZero, dirty;
    int area;  // -1: the whole array is in memory
    ScratchArray* next;
};

struct ScratchMemory {
    DecodeScratch* scratch;
    ScratchArray* unrealized;
    void* (*allocSmall)(j_common_ptr, int, size_t);
    void* (*allocLarge)(j_common_ptr, int, size_t);
    void (*realize)(j_common_ptr);
};

ScratchMemory& MemoryOf(j_common_ptr cinfo) {
    return *static_cast<ScratchMemory*>(cinfo->client_data);
}

jvirt_barray_ptr RequestBlocks(j_common_ptr cinfo, int pool, boolean preZero, JDIMENSION width,
                               JDIMENSION height, JDIMENSION maxAccess) {
    ScratchMemory& m = MemoryOf(cinfo);
    if (pool != JPOOL_IMAGE) ERREXIT1(cinfo, JERR_BAD_POOL_ID, pool);
    auto* a = static_cast<ScratchArray*>(m.allocSmall(cinfo, pool, sizeof(ScratchArray)));
    *a = ScratchArray{nullptr, nullptr, width,        height, maxAccess, 0,
                      0,       0,       preZero != 0, false,  -1,        m.unrealized};
    m.unrealized = a;
    return reinterpret_cast<jvirt_barray_ptr>(a);
}

void RealizeArrays(j_common_ptr cinfo) {
    ScratchMemory& m = MemoryOf(cinfo);
    m.realize(cinfo);  // libjpeg's own sample arrays, if any
    uint64_t inMemory = 0;
    for (ScratchArray* a = m.unrealized; a; a = a->next) {
        const uint64_t rowBytes = uint64_t(a->width) * sizeof(JBLOCK);
        a->rowsInMem = std::max<JDIMENSION>(a->height, 1);
        if (rowBytes == 0) continue;
        const uint64_t window =
            std::max<uint64_t>(m.scratch->WindowBytes() / rowBytes, std::max(a->maxAccess, 1u));
        if (window < a->height) {
            a->area = m.scratch->Borrow(rowBytes * a->height);
            if (a->area >= 0) a->rowsInMem = JDIMENSION(window);
        }
        inMemory += rowBytes * a->rowsInMem;
    }
    // Without room on the disk the arrays are held whole, within libjpeg's limit.
    if (inMemory > uint64_t(std::max(cinfo->mem->max_memory_to_use, 0L)))
        ERREXIT(cinfo, JERR_NO_BACKING_STORE);
    for (ScratchArray* a = m.unrealized; a; a = a->next) {
        // One piece, so that the window goes to and from the scratch in one call.
        a->blocks = static_cast<JBLOCKROW>(
            m.allocLarge(cinfo, JPOOL_IMAGE,
                         std::max<size_t>(size_t(a->width) * a->rowsInMem, 1) * sizeof(JBLOCK)));
        a->rows = static_cast<JBLOCKARRAY>(
            m.allocSmall(cinfo, JPOOL_IMAGE, size_t(a->rowsInMem) * sizeof(JBLOCKROW)));
        for (JDIMENSION i = 0; i < a->rowsInMem; ++i) a->rows[i] = a->blocks + size_t(i) * a->width;
    }
    m.unrealized = nullptr;
}

// The window's rows that hold something, to or from the scratch.
void TransferWindow(j_common_ptr cinfo, const ScratchArray& a, bool writing) {
    const JDIMENSION end = std::min({a.firstRow + a.rowsInMem, a.firstUndefined, a.height});
    if (end <= a.firstRow) return;
    const size_t rowBytes = size_t(a.width) * sizeof(JBLOCK);
    const uint64_t at = uint64_t(a.firstRow) * rowBytes;
    const size_t n = size_t(end - a.firstRow) * rowBytes;
    DecodeScratch& scratch = *MemoryOf(cinfo).scratch;
    if (writing ? !scratch.Write(a.area, at, a.blocks, n) : !scratch.Read(a.area, at, a.blocks, n))
        ERREXIT(cinfo, writing ? JERR_TFILE_WRITE : JERR_TFILE_READ);
}

JBLOCKARRAY AccessBlocks(j_common_ptr cinfo, jvirt_barray_ptr ptr, JDIMENSION start,
                         JDIMENSION count, boolean writable) {
    ScratchArray& a = *reinterpret_cast<ScratchArray*>(ptr);
    const JDIMENSION end = start + count;
    if (end > a.height || end < start || count > a.maxAccess || !a.rows)
        ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    if (start < a.firstRow || end > a.firstRow + a.rowsInMem) {
        if (a.dirty) TransferWindow(cinfo, a, true);
        a.dirty = false;
        // Going on, the window starts at the rows asked for; going back, it ends with them.
        a.firstRow = start > a.firstRow ? start : (end > a.rowsInMem ? end - a.rowsInMem : 0);
        TransferWindow(cinfo, a, false);
    }
    if (a.firstUndefined < end) {
        // A writer may not skip rows; a reader may look ahead, and sees zeros.
        if (a.firstUndefined < start && writable) ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        JDIMENSION row = std::max(a.firstUndefined, start);
        if (writable) a.firstUndefined = end;
        if (!a.preZero && !writable) ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        for (; a.preZero && row < end; ++row)
            std::memset(a.rows[row - a.firstRow], 0, size_t(a.width) * sizeof(JBLOCK));
    }
    if (writable) a.dirty = true;
    return a.rows + (start - a.firstRow);
}

// Converts one CMYK row to BGR; Adobe files store the inks inverted.
void CmykToBgr(const JSAMPLE* src, uint8_t* dst, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, src += 4, dst += 3) {
        unsigned c = src[0], m = src[1], y = src[2], k = src[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        dst[0] = uint8_t(y * k / 255);
        dst[1] = uint8_t(m * k / 255);
        dst[2] = uint8_t(c * k / 255);
    }
}

// `count` rows into `band`, the b, g, r of CMYK ones by way of `line`.
void DecodeRows(jpeg_decompress_struct& cinfo, JSAMPARRAY band, JSAMPARRAY line, uint32_t count,
                bool cmyk) {
    for (uint32_t r = 0; r < count; ++r) {
        if (!cmyk) {
            jpeg_read_scanlines(&cinfo, band + r, 1);
            continue;
        }
        jpeg_read_scanlines(&cinfo, line, 1);
        CmykToBgr(line[0], band[r], cinfo.output_width, cinfo.saw_Adobe_marker);
    }
}

// DecodeRows on a thread of its own: libjpeg's errors jump back to this frame. False on an
// error.
bool DecodeRowsHere(jpeg_decompress_struct& cinfo, JpegErrorManager& err, JSAMPARRAY band,
                    JSAMPARRAY line, uint32_t count, bool cmyk) {
    if (setjmp(err.jump)) return false;
    DecodeRows(cinfo, band, line, count, cmyk);
    return true;
}

// jpeg_finish_decompress after DecodeRowsHere, whose frames the error jump no longer reaches.
bool FinishHere(jpeg_decompress_struct& cinfo, JpegErrorManager& err) {
    if (setjmp(err.jump)) return false;
    jpeg_finish_decompress(&cinfo);
    return true;
}

// Only plain C objects live in this frame: longjmp skips destructors. The rows' writer is
// therefore the caller's.
bool Decode(ChunkSource& source, const ReadLimits& limits, RasterSink& sink,
            std::unique_ptr<RasterRows>& rows) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    jpeg_progress_mgr progress;
    ScratchMemory memory{sink.Scratch(), nullptr, nullptr, nullptr, nullptr};
    cinfo.err = SetUpJpegErrors(err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    if (memory.scratch) {
        jpeg_memory_mgr& mem = *cinfo.mem;
        memory.allocSmall = mem.alloc_small;
        memory.allocLarge = mem.alloc_large;
        memory.realize = mem.realize_virt_arrays;
        cinfo.client_data = &memory;
        mem.request_virt_barray = RequestBlocks;
        mem.realize_virt_arrays = RealizeArrays;
        mem.access_virt_barray = AccessBlocks;
    }
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;
    // Past this libjpeg fails: the markers first, then what the accepted picture needs (a
    // progressive file keeps every coefficient, 2 bytes a sample for up to 4 full-size
    // components, in memory unless the sink lends scratch room).
    cinfo.mem->max_memory_to_use = 16L << 20;
    source.base.init_source = InitSource;
    source.base.fill_input_buffer = FillInput;
    source.base.skip_input_data = SkipInput;
    source.base.resync_to_restart = jpeg_resync_to_restart;
    source.base.term_source = TermSource;
    source.base.next_input_byte = nullptr;
    source.base.bytes_in_buffer = 0;
    cinfo.src = &source.base;
    jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 1, ReadApp1);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK ||
        !AcceptRasterSize(limits, cinfo.image_width, cinfo.image_height)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.mem->max_memory_to_use =
        long(cinfo.image_width) * long(cinfo.image_height) * 8 + (16L << 20);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const int32_t height = int32_t(cinfo.output_height);
    if (!sink.Start(int32_t(cinfo.output_width), height) || !(rows = sink.Band(0, height))) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const j_common_ptr common = reinterpret_cast<j_common_ptr>(&cinfo);
    JSAMPARRAY line =
        (*cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE, cinfo.output_width * (cmyk ? 4 : 3), 1);
    JSAMPARRAY bgr =
        cmyk ? (*cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE, cinfo.output_width * 3, 1) : line;
    const JDIMENSION width = cinfo.output_width;
    // A single scan decodes straight from the file, touching nothing of the sink's, so with
    // more than one thread a band is decoded on a second core while the caller hands over
    // the band before. A file of several scans keeps its coefficients in the sink's scratch
    // room, which stays with the caller.
    const uint32_t bandRows = std::clamp<uint32_t>((1u << 20) / (width * 3), 1, uint32_t(height));
    if (PassThreads() > 1 && !jpeg_has_multiple_scans(&cinfo) && uint32_t(height) > bandRows) {
        JSAMPARRAY bands[2] = {
            (*cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE, width * 3, bandRows),
            (*cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE, width * 3, bandRows)};
        DecodeRows(cinfo, bands[0], line, bandRows, cmyk);
        for (uint32_t first = 0, held = 0; first < uint32_t(height); first += bandRows, held ^= 1) {
            const uint32_t count = std::min(bandRows, uint32_t(height) - first);
            const uint32_t next = first + count;
            bool put = true, decoded = true;
            RunBeside(
                [&] {
                    for (uint32_t r = 0; put && r < count; ++r)
                        put = rows->Put(height - 1 - int32_t(first + r), bands[held][r]);
                },
                [&] {
                    if (next < uint32_t(height))
                        decoded = DecodeRowsHere(cinfo, err, bands[held ^ 1], line,
                                                 std::min(bandRows, height - next), cmyk);
                });
            if (!put || !decoded) {
                jpeg_destroy_decompress(&cinfo);
                return false;
            }
        }
        const bool finished = FinishHere(cinfo, err);
        jpeg_destroy_decompress(&cinfo);
        if (err.dataCutShort) source.notes.endedEarly = true;
        return finished && rows->Flush();
    }
    // The rows come top row first and go out as they come.
    while (cinfo.output_scanline < cinfo.output_height) {
        const int32_t y = height - 1 - int32_t(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, line, 1);
        if (cmyk) CmykToBgr(line[0], bgr[0], width, cinfo.saw_Adobe_marker);
        if (!rows->Put(y, bgr[0])) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (err.dataCutShort) source.notes.endedEarly = true;
    return rows->Flush();
}

}  // namespace

int ExifOrientation(const uint8_t* data, size_t size) {
    if (size < 6 || std::memcmp(data, "Exif\0\0", 6) != 0) return 1;
    const uint8_t* tiff = data + 6;
    const size_t n = size - 6;
    if (n < 8 || !((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M')))
        return 1;
    const bool little = tiff[0] == 'I';
    auto u16 = [&](size_t at) {
        return little ? uint32_t(tiff[at] | tiff[at + 1] << 8)
                      : uint32_t(tiff[at] << 8 | tiff[at + 1]);
    };
    auto u32 = [&](size_t at) {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(2) != 42) return 1;
    const size_t ifd = u32(4);
    if (ifd < 8 || ifd > n - 2) return 1;
    const size_t count = u16(ifd);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (entry + 12 > n) break;
        // Orientation: one SHORT.
        if (u16(entry) != 0x0112) continue;
        if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return 1;
        const uint32_t v = u16(entry + 8);
        return v >= 1 && v <= 8 ? int(v) : 1;
    }
    return 1;
}

bool DecodeJpeg(ByteSource& source, const ReadLimits& limits, RasterSink& sink, size_t chunkBytes,
                JpegNotes* notes) {
    std::unique_ptr<RasterRows> rows;
    try {
        // The buffer is ours, not libjpeg's, so that libjpeg's memory limit is left to the
        // picture.
        chunkBytes = std::max<size_t>(chunkBytes, 1);
        std::unique_ptr<JOCTET[]> buffer(new JOCTET[chunkBytes]);
        ChunkSource chunks{{}, &source, 0, chunkBytes, buffer.get(), {}, false};
        const bool ok = Decode(chunks, limits, sink, rows);
        if (notes) *notes = ok ? chunks.notes : JpegNotes{};
        return ok;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zelvo
