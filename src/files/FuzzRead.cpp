#include "files/FuzzRead.h"

#include <cstdlib>

#include "files/RasterFile.h"

namespace zelvo {

void FuzzReadRaster(const uint8_t* data, size_t size, const std::string& extension) {
    ReadLimits limits;
    limits.maxPixels = kFuzzMaxPixels;
    RasterReadResult r = ReadRasterMemory(data, size, extension, limits);
    if (!r.ok) {
        if (!r.image.IsEmpty() || r.message != kCannotOpenText) std::abort();
        return;
    }
    const RasterImage& image = r.image;
    if (image.Bits() != 24 || image.Order() != RowOrder::BottomUp || image.Width() <= 0 ||
        image.Height() <= 0 || int64_t(image.Width()) * image.Height() > kFuzzMaxPixels ||
        image.Stride() != size_t(DibStride(image.Width(), 24)) ||
        image.ByteSize() != image.Stride() * size_t(image.Height()))
        std::abort();
    // Touch the first and last bytes so that a short buffer shows under the sanitizers.
    volatile uint8_t sink = image.Data()[0];
    sink = image.Data()[image.ByteSize() - 1];
    (void)sink;
}

}  // namespace zelvo
