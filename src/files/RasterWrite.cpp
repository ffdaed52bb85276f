// WriteRasterFile: picks the encoder for the type and writes through a SafeFile, so a failed
// save leaves the previous file as it was.
#include <algorithm>

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

bool WriteRasterFile(const std::string& path, const RasterImage& image, int type, int quality,
                     int compression) {
    if (image.IsEmpty()) return false;
    if (type == kFileGif) {
        if (image.Bits() == 8)
            return WriteWith(path, [&](SafeFile& f) { return EncodeGif(f, image); });
        RasterImage indexed;
        if (!QuantizeForGif(image, indexed)) return false;
        return WriteWith(path, [&](SafeFile& f) { return EncodeGif(f, indexed); });
    }
    if (image.Bits() != 24) return false;
    switch (type) {
        case kFileBmp:
            return WriteWith(path, [&](SafeFile& f) { return EncodeBmp(f, image); });
        case kFileJpeg: {
            const int q = JpegLibraryQuality(quality);
            if (q == 100 &&
                WriteWith(path, [&](SafeFile& f) { return EncodeBaselineJpeg(f, image, q); }))
                return true;
            return WriteWith(path, [&](SafeFile& f) { return EncodeJpegLibrary(f, image, q); });
        }
        case kFileTiff:
            return WriteWith(
                path, [&](SafeFile& f) { return EncodeTiff(f, image, compression, quality); });
        case kFilePng:
            return WriteWith(path, [&](SafeFile& f) { return EncodePng(f, image); });
        default:
            return false;
    }
}

}  // namespace zelvo
