// Mapped views of the scratch file, the sliding row window over one block, and the read-only
// reader that copies its windows instead of mapping them.
#include "store/RowCursor.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>
#include <utility>

namespace zelvo {

MappedView::MappedView(const FileDynamicStore& store, uint64_t offset, uint64_t length,
                       MapAccess access) {
    if (!store.m_open || store.m_file < 0 || length == 0) return;
    // A page past the end of the file would fault on first touch.
    uint64_t fileBytes = store.FileBytes();
    if (offset > fileBytes || length > fileBytes - offset) return;
    const bool writable = access == MapAccess::ReadWrite;
    if (writable) store.NoteWrite(offset, length);
    FileDynamicStore::Window w = store.MapWindow(offset, length);
    void* p = mmap(nullptr, w.viewLength, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED,
                   store.m_file, off_t(w.viewOffset));
    if (p == MAP_FAILED) return;
    m_base = static_cast<uint8_t*>(p);
    m_mapLength = w.viewLength;
    m_data = m_base + w.delta;
    m_length = length;
}

MappedView::~MappedView() {
    Reset();
}

MappedView::MappedView(MappedView&& o) noexcept
    : m_base(std::exchange(o.m_base, nullptr)),
      m_mapLength(std::exchange(o.m_mapLength, 0)),
      m_data(std::exchange(o.m_data, nullptr)),
      m_length(std::exchange(o.m_length, 0)) {}

MappedView& MappedView::operator=(MappedView&& o) noexcept {
    if (this != &o) {
        Reset();
        m_base = std::exchange(o.m_base, nullptr);
        m_mapLength = std::exchange(o.m_mapLength, 0);
        m_data = std::exchange(o.m_data, nullptr);
        m_length = std::exchange(o.m_length, 0);
    }
    return *this;
}

void MappedView::Flush() {
    if (m_base) msync(m_base, m_mapLength, MS_SYNC);
}

void MappedView::Reset() {
    if (m_base) munmap(m_base, m_mapLength);
    m_base = m_data = nullptr;
    m_mapLength = m_length = 0;
}

namespace {

// Rows that lie whole inside the payload after `firstRowOffset`.
uint32_t ValidRows(const FileDynamicStore::Span& p, uint64_t firstRowOffset, uint32_t rowBytes,
                   uint32_t rowCount) {
    if (rowBytes == 0 || p.length == 0 || firstRowOffset >= p.length) return 0;
    return uint32_t(std::min<uint64_t>(rowCount, (p.length - firstRowOffset) / rowBytes));
}

uint32_t RowsPerWindow(uint64_t windowBytes, uint32_t rowBytes) {
    return rowBytes ? uint32_t(std::clamp<uint64_t>(windowBytes / rowBytes, 1, UINT32_MAX)) : 1;
}

// The first row of the window that must hold `row`: a row before the current window ends the
// new one (moving back), any other starts it (moving on); near the end the window keeps its
// size and stops at the last row.
uint32_t WindowStart(uint32_t row, bool before, uint32_t perWindow, uint32_t validRows) {
    uint32_t n = std::min(perWindow, validRows);
    if (before) return row + 1 >= n ? row + 1 - n : 0;
    return std::min(row, validRows - n);
}

}  // namespace

RowCursor::RowCursor(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
                     uint32_t rowBytes, uint32_t rowCount, uint64_t windowBytes, MapAccess access)
    : m_store(store), m_rowBytes(rowBytes), m_rowCount(rowCount), m_access(access) {
    FileDynamicStore::Span p = store.Payload(block);
    m_validRows = ValidRows(p, firstRowOffset, rowBytes, rowCount);
    m_base = p.offset + firstRowOffset;
    m_rowsPerWindow = RowsPerWindow(windowBytes, rowBytes);
}

bool RowCursor::MapRows(uint32_t first, uint32_t end) {
    m_view.Reset();
    m_first = m_end = 0;
    m_pinEpoch = m_store.PinEpoch();
    MappedView v(m_store, m_base + uint64_t(first) * m_rowBytes, uint64_t(end - first) * m_rowBytes,
                 m_access);
    if (!v.IsValid()) return false;
    m_view = std::move(v);
    m_first = first;
    m_end = end;
    ++m_maps;
    return true;
}

uint8_t* RowCursor::Row(uint32_t row) {
    if (row >= m_validRows) return nullptr;
    if (!m_view.IsValid() || row < m_first || row >= m_end) {
        uint32_t first =
            WindowStart(row, m_view.IsValid() && row < m_first, m_rowsPerWindow, m_validRows);
        if (!MapRows(first, first + std::min(m_rowsPerWindow, m_validRows))) return nullptr;
    } else if (m_access == MapAccess::ReadWrite && m_pinEpoch != m_store.PinEpoch()) {
        // The block may have been pinned since the window was mapped: a write through the
        // kept window must mark the seal as a fresh mapping would.
        m_store.NoteWrite(m_base + uint64_t(m_first) * m_rowBytes,
                          uint64_t(m_end - m_first) * m_rowBytes);
    }
    m_pinEpoch = m_store.PinEpoch();
    return m_view.Data() + uint64_t(row - m_first) * m_rowBytes;
}

bool RowCursor::Cover(uint32_t first, uint32_t end) {
    end = std::min(end, m_validRows);
    if (first >= end) return false;
    if (m_view.IsValid() && first >= m_first && end <= m_end) return true;
    const uint32_t n = std::min(m_rowsPerWindow, m_validRows);
    const uint32_t room = end - first < n ? (n - (end - first)) / 2 : 0;
    const uint32_t start = std::min(first - std::min(first, room), m_validRows - n);
    return MapRows(start, start + n);
}

void RowCursor::Flush() {
    m_view.Flush();
}

RowReader::RowReader(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
                     uint32_t rowBytes, uint32_t rowCount, uint64_t windowBytes)
    : m_store(store), m_rowBytes(rowBytes), m_rowCount(rowCount) {
    FileDynamicStore::Span p = store.Payload(block);
    m_validRows = ValidRows(p, firstRowOffset, rowBytes, rowCount);
    m_base = p.offset + firstRowOffset;
    m_rowsPerWindow = RowsPerWindow(windowBytes, rowBytes);
}

bool RowReader::ReadRows(uint32_t first, uint32_t end) {
    m_first = m_end = 0;
    uint64_t offset = m_base + uint64_t(first) * m_rowBytes;
    uint64_t length = uint64_t(end - first) * m_rowBytes;
    uint64_t fileBytes = m_store.FileBytes();
    if (!m_store.m_open || offset > fileBytes || length > fileBytes - offset) return false;
    try {
        // Not zeroed first: the read fills it, and clearing would touch every page twice.
        if (m_capacity < length) {
            m_buffer.reset();
            m_capacity = 0;
            m_buffer.reset(new uint8_t[length]);
            m_capacity = length;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!ReadStoreBytes(m_store, offset, m_buffer.get(), length)) return false;
    m_first = first;
    m_end = end;
    ++m_reads;
    return true;
}

const uint8_t* RowReader::Row(uint32_t row) {
    if (row >= m_validRows) return nullptr;
    if (m_end == 0 || row < m_first || row >= m_end) {
        uint32_t first =
            WindowStart(row, m_end != 0 && row < m_first, m_rowsPerWindow, m_validRows);
        if (!ReadRows(first, first + std::min(m_rowsPerWindow, m_validRows))) return nullptr;
    }
    return m_buffer.get() + uint64_t(row - m_first) * m_rowBytes;
}

}  // namespace zelvo
