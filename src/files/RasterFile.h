// Reading and writing the flat raster formats (BMP, JPEG, GIF, TIFF, PNG) to and from a
// RasterImage. The document copies what is read into its first layer and hands over the
// flattened picture to write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "files/RasterImage.h"
#include "files/RowSource.h"

namespace zelvo {

// The writer's type selector, also the document's format number.
enum RasterFileType { kFileBmp = 1, kFileJpeg = 2, kFileGif = 3, kFileTiff = 4, kFilePng = 5 };

// TIFF compression values.
enum TiffCompression { kTiffNone = 1, kTiffLzw = 5, kTiffJpeg = 7, kTiffDeflate = 8 };

constexpr const char* kCannotOpenText = "This file should not be opened!";
constexpr const char* kIncompleteFileText = "Can not open this file integrity!";

// Files this long or shorter are never opened.
constexpr uint64_t kMinRasterFileSize = 53;

struct ReadLimits {
    int64_t maxPixels = kMaxRasterPixels;
    // Asked before anything is allocated for a picture of more than kQuietRasterPixels; without
    // it such a picture is refused.
    std::function<bool(int64_t width, int64_t height)> confirmLarge;
};

// The one size rule of every decoder, in 64 bits on the values as read: within the caps and
// `limits.maxPixels`, and a large picture agreed to.
bool AcceptRasterSize(const ReadLimits& limits, int64_t width, int64_t height);

// The question asked before a picture of more than 20 million pixels is read.
constexpr const char* kLargePictureText =
    "Images more than 20 million pixels!\n Please use the Image Size function will be reduced "
    "to 20 million pixels within.";

struct RasterReadResult {
    bool ok = false;
    RasterImage image;  // bottom row first
    // A truncated BMP (the missing rows white) or JPEG (libjpeg's fill): kIncompleteFileText has
    // been shown.
    bool incomplete = false;
    // A JPEG's Exif orientation, or a TIFF's when it is turned on its side (1..8; 1 is upright
    // as stored), which the rows do not follow.
    int orientation = 1;
    // The user did not want a picture of more than 20 million pixels read.
    bool declined = false;
    // On failure the text for the user (kCannotOpenText); the reader does not show it, since
    // the document first tries the file as a layered document.
    std::string message;
};

// One band's rows on their way out of a decoder, used by one thread.
class RasterRows {
public:
    virtual ~RasterRows() = default;
    // Row `y` counted from the bottom, as `width` b, g, r triples; false when it cannot be kept.
    virtual bool Put(int32_t y, const uint8_t* bgr) = 0;
    // Called once after the band's last row; false when what was put cannot be kept.
    virtual bool Flush() = 0;
};

// Room on the scratch disk that a decoder may borrow while it reads, for what a format makes
// it keep of the whole picture before the first row can go out. Used by one thread; everything
// borrowed is given back when the scratch goes.
class DecodeScratch {
public:
    virtual ~DecodeScratch() = default;
    // A new area of `bytes` (its contents undefined): its number, or -1 when there is no room.
    // The decoder calls these from inside its C library: they must not throw.
    virtual int Borrow(uint64_t bytes) noexcept = 0;
    // False when the range is not inside the area or the disk fails.
    virtual bool Write(int area, uint64_t offset, const void* data, size_t n) noexcept = 0;
    virtual bool Read(int area, uint64_t offset, void* data, size_t n) noexcept = 0;
    // How many bytes of each area the decoder may hold in memory at once.
    virtual size_t WindowBytes() const noexcept { return size_t(512) << 10; }
};

// Where a decoder hands its rows over as it decodes them, so that a large picture never sits
// whole in memory.
class RasterSink {
public:
    virtual ~RasterSink() = default;
    // Scratch room for the decoder, or nullptr: it then keeps what it must in memory.
    virtual DecodeScratch* Scratch() { return nullptr; }
    // Called once on the reading thread, after the header passed every check and the size was
    // agreed to, before any row; false ends the read as failed.
    virtual bool Start(int32_t width, int32_t height) = 0;
    // A writer for rows [first, end) counted from the bottom, each of which it is given once.
    // Bands are disjoint and may be written on several threads at once; nullptr fails the read.
    virtual std::unique_ptr<RasterRows> Band(int32_t first, int32_t end) = 0;
};

RasterReadResult ReadRasterFile(const std::string& path);
// The same, except that the rows go to `sink` instead of the result's image.
RasterReadResult ReadRasterFile(const std::string& path, RasterSink* sink);
// The same decoding for bytes in memory; `extension` is what follows the last '.' of the name.
RasterReadResult ReadRasterMemory(const uint8_t* data, size_t size, const std::string& extension,
                                  const ReadLimits& limits = {});

// Writes the 24-bit `rows` as `type` (quantised here for GIF), taking them a band at a time.
// `quality` is the JPEG level 1..12 or the TIFF JPEG level; `compression` the TIFF
// compression. The previous file at `path` is kept intact on any failure.
bool WriteRasterFile(const std::string& path, const RowSource& rows, int type, int quality,
                     int compression);
// The same for `image`, which may also be 8-bit indexed for GIF.
bool WriteRasterFile(const std::string& path, const RasterImage& image, int type, int quality,
                     int compression);

// The libjpeg quality for a JPEG level: 2q + 76 from 5 up, else 6q + 64, clamped to 65..100.
int JpegLibraryQuality(int level);
// The libjpeg quality TIFF's JPEG compression uses for a quality level.
int TiffJpegQuality(int level);

}  // namespace zelvo
