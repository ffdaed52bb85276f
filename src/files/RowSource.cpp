#include "files/RowSource.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace zelvo {

namespace {

// A few megabytes: large enough that a band costs little more than the rows it holds, small
// beside any picture worth banding.
constexpr size_t kDefaultSaveBandBytes = size_t(4) << 20;
// Read by every stripe thread of a save; set only by tests between saves.
std::atomic<size_t> g_saveBandBytes{kDefaultSaveBandBytes};

}  // namespace

bool RasterImageRows::Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
                           size_t stride) const {
    if (first < 0 || end > m_image.Height() || first > end) return false;
    const size_t bytes = size_t(m_image.Width()) * size_t(m_image.Bits() / 8);
    for (int32_t i = first; i < end; ++i, dst += stride)
        std::memcpy(dst, order == RowOrder::TopDown ? m_image.TopRow(i) : m_image.BottomRow(i),
                    bytes);
    return true;
}

int32_t SaveBandRows(size_t rowBytes, int32_t height) {
    const size_t rows = rowBytes ? g_saveBandBytes.load(std::memory_order_relaxed) / rowBytes : 1;
    return int32_t(std::clamp<size_t>(rows, 1, size_t(std::max(height, 1))));
}

ScopedSaveBandBytes::ScopedSaveBandBytes(size_t bytes) : m_old(g_saveBandBytes.exchange(bytes)) {}

ScopedSaveBandBytes::~ScopedSaveBandBytes() {
    g_saveBandBytes.store(m_old);
}

SaveBands::SaveBands(const RowSource& source, RowOrder order, size_t stride, int32_t rows)
    : m_source(source), m_order(order), m_stride(stride) {
    const int32_t bandRows = rows > 0 ? std::clamp(rows, 1, std::max(source.Height(), 1))
                                      : SaveBandRows(stride, source.Height());
    try {
        m_buffer.resize(size_t(bandRows) * stride);
        m_rows = bandRows;
    } catch (const std::bad_alloc&) {
    }
}

uint8_t* SaveBands::Row(int32_t y) {
    if (y < m_first || y >= m_end) {
        if (!Ready() || y < 0 || y >= m_source.Height()) return nullptr;
        const int32_t end = std::min(m_source.Height(), y + m_rows);
        m_first = m_end = 0;
        if (!m_source.Fill(y, end, m_order, m_buffer.data(), m_stride)) return nullptr;
        m_first = y;
        m_end = end;
    }
    return m_buffer.data() + size_t(y - m_first) * m_stride;
}

}  // namespace zelvo
