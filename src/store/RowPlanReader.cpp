#include "store/RowPlanReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace zelvo {

namespace {

// Run starts are kept on cache-line boundaries.
constexpr uint64_t kAlign = 64;

uint64_t AlignUp(uint64_t v) {
    return (v + kAlign - 1) / kAlign * kAlign;
}

}  // namespace

ReadBufferPool::Buffer ReadBufferPool::Take(uint64_t bytes) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto best = m_kept.end();
        for (auto it = m_kept.begin(); it != m_kept.end(); ++it)
            if (it->bytes >= bytes && (best == m_kept.end() || it->bytes < best->bytes)) best = it;
        if (best != m_kept.end()) {
            Buffer b = std::move(*best);
            m_kept.erase(best);
            m_keptBytes -= b.bytes;
            return b;
        }
    }
    Buffer b;
    b.data.reset(new (std::nothrow) uint8_t[bytes]);
    b.bytes = b.data ? bytes : 0;
    return b;
}

void ReadBufferPool::Give(Buffer buffer) {
    if (!buffer.data) return;
    if (buffer.bytes > m_limit) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    // The smallest kept buffers make room first: a larger one serves more readers.
    while (m_keptBytes + buffer.bytes > m_limit) {
        auto smallest =
            std::min_element(m_kept.begin(), m_kept.end(),
                             [](const Buffer& a, const Buffer& b) { return a.bytes < b.bytes; });
        m_keptBytes -= smallest->bytes;
        m_kept.erase(smallest);
    }
    m_keptBytes += buffer.bytes;
    m_kept.push_back(std::move(buffer));
}

uint64_t ReadBufferPool::KeptBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_keptBytes;
}

RowPlanReader::RowPlanReader(const FileDynamicStore& store, BlockHandle block,
                             uint64_t firstRowOffset, uint32_t rowBytes, uint32_t rowCount,
                             std::vector<uint32_t> plan, uint32_t byteBegin, uint32_t byteEnd,
                             uint64_t bufferBytes, ReadBufferPool* pool)
    : m_store(store), m_rowBytes(rowBytes), m_pool(pool) {
    const FileDynamicStore::Span p = store.Payload(block);
    if (rowBytes != 0 && p.length != 0 && firstRowOffset < p.length)
        m_validRows =
            uint32_t(std::min<uint64_t>(rowCount, (p.length - firstRowOffset) / rowBytes));
    m_base = p.offset + firstRowOffset;
    m_byteEnd = std::min(byteEnd, rowBytes);
    m_byteBegin = std::min(byteBegin, m_byteEnd);
    const uint32_t span = m_byteEnd - m_byteBegin;
    m_capacity = std::max<uint64_t>(bufferBytes, span);

    // Rows that can never be given need no place in a batch; equal neighbours are asked once.
    m_plan.reserve(plan.size());
    for (uint32_t row : plan)
        if (row < m_validRows && (m_plan.empty() || m_plan.back() != row)) m_plan.push_back(row);
    m_rising = m_plan.size() < 2 || m_plan[1] > m_plan[0];
}

bool RowPlanReader::ReadSpan(uint8_t* dst, uint64_t offset, uint64_t length) {
    if (!ReadStoreBytes(m_store, offset, dst, length)) return false;
    ++m_reads;
    m_bytesRead += length;
    return true;
}

RowPlanReader::~RowPlanReader() {
    if (m_pool) m_pool->Give({std::move(m_buffer), m_bufferBytes});
}

bool RowPlanReader::Reserve(uint64_t bytes, uint64_t keep) {
    if (bytes <= m_bufferBytes) return true;
    keep = std::min(keep, m_bufferBytes);  // alignment may reach past the old end
    if (m_pool) {
        // A pooled buffer is taken whole once; its pages are warm from earlier passes.
        ReadBufferPool::Buffer b = m_pool->Take(m_capacity);
        if (!b.data) return false;
        if (keep) std::memcpy(b.data.get(), m_buffer.get(), keep);
        m_pool->Give({std::move(m_buffer), m_bufferBytes});
        m_buffer = std::move(b.data);
        m_bufferBytes = b.bytes;
        return true;
    }
    // Grown as far as the batches need, not to the limit up front: a sparse plan reads little,
    // and fresh pages cost a fault each.
    const uint64_t size = std::min(m_capacity, std::max(bytes, 2 * m_bufferBytes));
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[size]);
    if (!grown) return false;
    if (keep) std::memcpy(grown.get(), m_buffer.get(), keep);
    m_buffer = std::move(grown);
    m_bufferBytes = size;
    return true;
}

bool RowPlanReader::Fill(size_t first) {
    m_batchFirst = m_batchEnd = first;
    m_slots.clear();
    const uint64_t span = m_byteEnd - m_byteBegin;
    uint64_t used = 0;
    size_t i = first;
    while (i < m_plan.size()) {
        const uint64_t at = AlignUp(used);
        if (at + span > m_capacity) break;
        // The run grows while the next planned row lies further on in the plan's direction,
        // close enough that reading through the bytes between is cheaper than another call,
        // and the whole still fits.
        size_t k = 1;
        while (i + k < m_plan.size()) {
            const uint32_t prev = m_plan[i + k - 1], next = m_plan[i + k];
            if (m_rising ? next <= prev : next >= prev) break;
            const uint64_t apart = m_rising ? next - prev : prev - next;
            if (apart * m_rowBytes - span > kJoinGapBytes) break;
            const uint64_t reach = m_rising ? next - m_plan[i] : m_plan[i] - next;
            if (at + reach * m_rowBytes + span > m_capacity) break;
            ++k;
        }
        const uint32_t lo = m_rising ? m_plan[i] : m_plan[i + k - 1];
        const uint32_t hi = m_rising ? m_plan[i + k - 1] : m_plan[i];
        const uint64_t length = uint64_t(hi - lo) * m_rowBytes + span;
        if (!Reserve(at + length, at) ||
            !ReadSpan(m_buffer.get() + at, m_base + uint64_t(lo) * m_rowBytes + m_byteBegin,
                      length)) {
            m_slots.clear();
            return false;
        }
        for (size_t m = 0; m < k; ++m)
            m_slots.push_back(at + uint64_t(m_plan[i + m] - lo) * m_rowBytes);
        used = at + length;
        i += k;
    }
    m_batchEnd = i;
    return m_batchEnd > m_batchFirst;
}

const uint8_t* RowPlanReader::Row(uint32_t row) {
    if (row >= m_validRows || m_byteEnd == m_byteBegin) return nullptr;
    // Past `row` in the plan's direction: a monotonic plan cannot hold it further on.
    auto passed = [&](uint32_t planned) { return m_rising ? planned > row : planned < row; };
    size_t i = m_pos;
    for (; i < m_batchEnd; ++i) {
        if (m_plan[i] == row) {
            m_pos = i;
            return Slot(i);
        }
        if (passed(m_plan[i])) break;
    }
    if (i >= m_batchEnd) {
        for (i = std::max(m_pos, m_batchEnd); i < m_plan.size() && !passed(m_plan[i]); ++i) {
            if (m_plan[i] != row) continue;
            if (!Fill(i)) return nullptr;
            m_pos = i;
            return Slot(i);
        }
    }
    // Not planned (or asked out of order): read on its own.
    if (row != m_lone) {
        m_lone = UINT32_MAX;
        try {
            m_loneBuffer.resize(m_byteEnd - m_byteBegin);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        if (!ReadSpan(m_loneBuffer.data(), m_base + uint64_t(row) * m_rowBytes + m_byteBegin,
                      m_loneBuffer.size()))
            return nullptr;
        m_lone = row;
    }
    return m_loneBuffer.data();
}

}  // namespace zelvo
