#include "files/RasterImage.h"

#include <algorithm>
#include <cstdint>

#include "core/HugePages.h"

namespace zelvo {

bool IsAcceptableRasterSize(int64_t width, int64_t height, int64_t maxPixels) {
    if (width <= 0 || height <= 0) return false;
    if (width > kMaxRasterSide || height > kMaxRasterSide) return false;
    return width * height <= std::min(maxPixels, kMaxRasterPixels);
}

bool RasterImage::Allocate(int32_t width, int32_t height, int bits, RowOrder order) {
    Clear();
    if ((bits != 24 && bits != 8) || !IsAcceptableRasterSize(width, height)) return false;
    const size_t stride = size_t(DibStride(width, bits));
    const size_t size = stride * size_t(height);
    m_pixels.reset(static_cast<uint8_t*>(std::calloc(size, 1)));
    if (!m_pixels) return false;
    // Readers and the flattener fill tens of megabytes at once.
    AdviseHugePages(m_pixels.get(), size);
    m_size = size;
    m_width = width;
    m_height = height;
    m_bits = bits;
    m_stride = stride;
    m_order = order;
    return true;
}

void RasterImage::Clear() {
    m_pixels.reset();
    m_size = 0;
    m_width = m_height = 0;
    m_stride = 0;
    m_bits = 24;
    m_order = RowOrder::BottomUp;
    m_palette.fill({});
}

void RasterImage::ConvertOrder(RowOrder order) {
    if (order == m_order) return;
    for (int32_t a = 0, b = m_height - 1; a < b; ++a, --b)
        std::swap_ranges(StoredRow(a), StoredRow(a) + m_stride, StoredRow(b));
    m_order = order;
}

}  // namespace zelvo
