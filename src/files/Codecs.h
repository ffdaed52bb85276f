// The per-format decoders and encoders behind ReadRasterFile and WriteRasterFile.
#pragma once

#include "core/CpuLevel.h"
#include "files/ByteSource.h"
#include "files/RasterFile.h"
#include "files/RasterImage.h"
#include "files/RowSource.h"
#include "files/SafeFile.h"

namespace zelvo {

// Decoders hand their rows to `sink` and return success; BMP sets `incomplete` for a file that
// ends early.
bool DecodeBmp(ByteSource& source, const ReadLimits& limits, RasterSink& sink, bool& incomplete);
// JPEG is read `chunkBytes` at a time.
constexpr size_t kJpegChunkBytes = 64u << 10;
// What a JPEG says beside its rows: whether it ends before its end marker (libjpeg fills in
// the rest), and its Exif orientation (1..8, 1 when it has none), which the rows do not follow.
struct JpegNotes {
    bool endedEarly = false;
    int orientation = 1;
};
bool DecodeJpeg(ByteSource& source, const ReadLimits& limits, RasterSink& sink,
                size_t chunkBytes = kJpegChunkBytes, JpegNotes* notes = nullptr);
// The orientation tag of the first image directory of an APP1 segment's bytes ("Exif\0\0" and
// a TIFF header), as far as they go: 1..8, and 1 for anything else.
int ExifOrientation(const uint8_t* data, size_t size);
// An interlaced PNG's passes each go over every row. With scratch room from the sink its even
// rows wait there from pass to pass and it is decoded once; without, it is decoded once for each
// band of rows whose even rows take about `bandBytes`, each time keeping only that band.
constexpr size_t kPngBandBytes = 16u << 20;
bool DecodePng(ByteSource& source, const ReadLimits& limits, RasterSink& sink,
               size_t bandBytes = kPngBandBytes);
// The first page; a page stored turned on its side (orientation 5..8, meaning what Exif's do)
// is handed over as stored, with its orientation in `orientation` (else 1).
bool DecodeTiff(ByteSource& source, const ReadLimits& limits, RasterSink& sink,
                int* orientation = nullptr);
bool DecodeGif(ByteSource& source, const ReadLimits& limits, RasterSink& sink);

// The most libpng has held at once while reading since the last reset (for the tests).
size_t PngDecoderPeakBytes();
void ResetPngDecoderPeakBytes();

// Encoders write the whole file through `file` and return success; the caller commits. They
// take 24-bit rows from `rows` a band at a time (GIF its 8-bit indices).
bool EncodeBmp(SafeFile& file, const RowSource& rows);
bool EncodeJpegLibrary(SafeFile& file, const RowSource& rows, int libraryQuality);
bool EncodeBaselineJpeg(SafeFile& file, const RowSource& rows, int libraryQuality);
// PNG: the bytes libpng writes with its defaults; `level` picks the filters' vector code.
bool EncodePng(SafeFile& file, const RowSource& rows, CpuLevel level = BestCpuLevel());
bool EncodeTiff(SafeFile& file, const RowSource& rows, int compression, int quality);
bool EncodeGif(SafeFile& file, const RowSource& indexed,
               const std::array<PaletteEntry, 256>& palette);

}  // namespace zelvo
