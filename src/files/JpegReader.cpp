// JPEG decoding with libjpeg from the whole file in memory, row by row into a sink. libjpeg reports
// errors by longjmp; they are caught here and become a failed read.
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>

#include <jpeglib.h>

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
bool Decode(const uint8_t* data, size_t size, const ReadLimits& limits, RasterSink& sink,
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
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
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

bool DecodeJpeg(const uint8_t* data, size_t size, const ReadLimits& limits, RasterSink& sink) {
    std::unique_ptr<RasterRows> rows;
    try {
        return Decode(data, size, limits, sink, rows);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zelvo
