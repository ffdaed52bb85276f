// JPEG decoding with libjpeg, the file read in chunks as libjpeg asks for it and the rows handed
// to a sink as they come. libjpeg reports errors by longjmp; they are caught here and become a
// failed read.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

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

// Only plain C objects live in this frame: longjmp skips destructors. The rows' writer is
// therefore the caller's.
bool Decode(ChunkSource& source, const ReadLimits& limits, RasterSink& sink,
            std::unique_ptr<RasterRows>& rows) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    jpeg_progress_mgr progress;
    cinfo.err = SetUpJpegErrors(err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;
    // Past this libjpeg fails instead of swapping to disk (it has no backing store): the
    // markers first, then what the accepted picture needs (a progressive file keeps every
    // coefficient, 2 bytes a sample for up to 4 full-size components).
    cinfo.mem->max_memory_to_use = 16L << 20;
    source.base.init_source = InitSource;
    source.base.fill_input_buffer = FillInput;
    source.base.skip_input_data = SkipInput;
    source.base.resync_to_restart = jpeg_resync_to_restart;
    source.base.term_source = TermSource;
    source.base.next_input_byte = nullptr;
    source.base.bytes_in_buffer = 0;
    cinfo.src = &source.base;
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
    // The rows come top row first and go out as they come.
    while (cinfo.output_scanline < cinfo.output_height) {
        const int32_t y = height - 1 - int32_t(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, line, 1);
        if (cmyk) CmykToBgr(line[0], bgr[0], cinfo.output_width, cinfo.saw_Adobe_marker);
        if (!rows->Put(y, bgr[0])) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return rows->Flush();
}

}  // namespace

bool DecodeJpeg(ByteSource& source, const ReadLimits& limits, RasterSink& sink, size_t chunkBytes) {
    std::unique_ptr<RasterRows> rows;
    try {
        // The buffer is ours, not libjpeg's, so that libjpeg's memory limit is left to the
        // picture.
        chunkBytes = std::max<size_t>(chunkBytes, 1);
        std::unique_ptr<JOCTET[]> buffer(new JOCTET[chunkBytes]);
        ChunkSource chunks{{}, &source, 0, chunkBytes, buffer.get()};
        return Decode(chunks, limits, sink, rows);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zelvo
