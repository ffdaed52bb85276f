// JPEG encoding with libjpeg below the highest quality level (and when the own baseline
// writer fails). Output goes through SafeFile by a destination manager.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "files/Codecs.h"
#include "files/JpegErrors.h"

namespace zelvo {

namespace {

constexpr size_t kOutputBuffer = 1 << 16;

struct Destination {
    jpeg_destination_mgr base;
    SafeFile* file;
    JOCTET buffer[kOutputBuffer];
};

void InitDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->base.next_output_byte = d->buffer;
    d->base.free_in_buffer = kOutputBuffer;
}

boolean EmptyBuffer(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    if (!d->file->Write(d->buffer, kOutputBuffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
    d->base.next_output_byte = d->buffer;
    d->base.free_in_buffer = kOutputBuffer;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    size_t n = kOutputBuffer - d->base.free_in_buffer;
    if (n > 0 && !d->file->Write(d->buffer, n)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

}  // namespace

bool EncodeJpegLibrary(SafeFile& file, const RowSource& rows, int libraryQuality) {
    if (rows.Width() <= 0 || rows.Height() <= 0 || rows.Bits() != 24) return false;
    SaveBands bands(rows, RowOrder::TopDown, size_t(rows.Width()) * 3);
    jpeg_compress_struct cinfo;
    JpegErrorManager err;
    cinfo.err = SetUpJpegErrors(err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    auto* dest = static_cast<Destination*>((*cinfo.mem->alloc_large)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, sizeof(Destination)));
    dest->base.init_destination = InitDestination;
    dest->base.empty_output_buffer = EmptyBuffer;
    dest->base.term_destination = TermDestination;
    dest->file = &file;
    cinfo.dest = &dest->base;

    cinfo.image_width = JDIMENSION(rows.Width());
    cinfo.image_height = JDIMENSION(rows.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, libraryQuality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row[1] = {bands.Row(int32_t(cinfo.next_scanline))};
        if (!row[0]) {
            jpeg_destroy_compress(&cinfo);
            return false;
        }
        jpeg_write_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return !file.Failed();
}

}  // namespace zelvo
