// Writing a 24-bit bottom-up BMP: the two headers, then the rows.
#include <cstring>

#include "files/Codecs.h"

namespace zelvo {

namespace {

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

}  // namespace

bool EncodeBmp(SafeFile& file, const RowSource& rows) {
    if (rows.Width() <= 0 || rows.Height() <= 0 || rows.Bits() != 24) return false;
    const size_t stride = size_t(DibStride(rows.Width(), 24));
    const uint64_t imageSize = uint64_t(stride) * uint64_t(rows.Height());
    if (imageSize + 54 > 0xFFFFFFFFu) return false;
    uint8_t h[54] = {};
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, uint32_t(imageSize + 54));
    Put32(h + 10, 54);
    Put32(h + 14, 40);
    Put32(h + 18, uint32_t(rows.Width()));
    Put32(h + 22, uint32_t(rows.Height()));
    Put16(h + 26, 1);
    Put16(h + 28, 24);
    Put32(h + 34, uint32_t(imageSize));
    if (!file.Write(h, sizeof h)) return false;
    SaveBands bands(rows, RowOrder::BottomUp, stride);
    for (int32_t y = 0; y < rows.Height(); ++y) {
        const uint8_t* row = bands.Row(y);
        if (!row || !file.Write(row, stride)) return false;
    }
    return true;
}

}  // namespace zelvo
