// The per-format decoders and encoders behind ReadRasterFile and WriteRasterFile.
#pragma once

#include "files/ByteSource.h"
#include "files/RasterFile.h"
#include "files/RasterImage.h"
#include "files/SafeFile.h"

namespace zelvo {

// Decoders fill `out.image` bottom row first and return success. BMP, JPEG, TIFF and PNG hand
// their rows to `sink` instead; BMP sets `incomplete` for a file that ends early.
bool DecodeBmp(ByteSource& source, const ReadLimits& limits, RasterSink& sink, bool& incomplete);
bool DecodeJpeg(const uint8_t* data, size_t size, const ReadLimits& limits, RasterSink& sink);
bool DecodePng(ByteSource& source, const ReadLimits& limits, RasterSink& sink);
bool DecodeTiff(ByteSource& source, const ReadLimits& limits, RasterSink& sink);
bool DecodeGif(ByteSource& source, const ReadLimits& limits, RasterImage& out);

// The most libpng has held at once while reading since the last reset (for the tests).
size_t PngDecoderPeakBytes();
void ResetPngDecoderPeakBytes();

// Encoders write the whole file through `file` and return success; the caller commits.
bool EncodeBmp(SafeFile& file, const RasterImage& image);
bool EncodeJpegLibrary(SafeFile& file, const RasterImage& image, int libraryQuality);
bool EncodeBaselineJpeg(SafeFile& file, const RasterImage& image, int libraryQuality);
bool EncodePng(SafeFile& file, const RasterImage& image);
bool EncodeTiff(SafeFile& file, const RasterImage& image, int compression, int quality);
bool EncodeGif(SafeFile& file, const RasterImage& indexed);

}  // namespace zelvo
