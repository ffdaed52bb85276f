// WriteRasterFile: picks the encoder for the type and writes through a SafeFile, so a failed
// save leaves the previous file as it was.
#include <algorithm>
#include <new>

#include "files/Codecs.h"
#include "files/OctreeQuantizer.h"

namespace zelvo {

int JpegLibraryQuality(int level) {
    const int q = level >= 5 ? 2 * level + 76 : 6 * level + 64;
    return std::clamp(q, 65, 100);
}

namespace {

template <typename Encode>
bool WriteWith(const std::string& path, Encode encode) {
    SafeFile file(path);
    if (!file.Open()) return false;
    if (!encode(file)) return false;  // the destructor removes the temporary file
    return file.Commit();
}

}  // namespace

bool WriteRasterFile(const std::string& path, const RowSource& rows, int type, int quality,
                     int compression) {
    if (rows.Width() <= 0 || rows.Height() <= 0 || rows.Bits() != 24) return false;
    switch (type) {
        case kFileGif: {
            // Two passes over the rows: the palette from all of them, then each row's indices.
            OctreePalette palette;
            if (!BuildOctreePalette(rows, palette)) return false;
            try {
                const QuantizedRows indexed(rows, palette.entries);
                return WriteWith(
                    path, [&](SafeFile& f) { return EncodeGif(f, indexed, palette.entries); });
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        case kFileBmp:
            return WriteWith(path, [&](SafeFile& f) { return EncodeBmp(f, rows); });
        case kFileJpeg: {
            const int q = JpegLibraryQuality(quality);
            if (q == 100 &&
                WriteWith(path, [&](SafeFile& f) { return EncodeBaselineJpeg(f, rows, q); }))
                return true;
            return WriteWith(path, [&](SafeFile& f) { return EncodeJpegLibrary(f, rows, q); });
        }
        case kFileTiff:
            return WriteWith(
                path, [&](SafeFile& f) { return EncodeTiff(f, rows, compression, quality); });
        case kFilePng:
            return WriteWith(path, [&](SafeFile& f) { return EncodePng(f, rows); });
        default:
            return false;
    }
}

bool WriteRasterFile(const std::string& path, const RasterImage& image, int type, int quality,
                     int compression) {
    if (image.IsEmpty()) return false;
    const RasterImageRows rows(image);
    if (type == kFileGif && image.Bits() == 8)
        return WriteWith(path, [&](SafeFile& f) { return EncodeGif(f, rows, image.Palette()); });
    return WriteRasterFile(path, rows, type, quality, compression);
}

}  // namespace zelvo
