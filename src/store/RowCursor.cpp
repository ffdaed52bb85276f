// Mapped views of the scratch file and the sliding row window over one block.
#include "store/RowCursor.h"

#include <sys/mman.h>

#include <algorithm>
#include <utility>

namespace zelvo {

MappedView::MappedView(const FileDynamicStore& store, uint64_t offset, uint64_t length,
                       bool populate) {
    if (!store.m_open || store.m_file < 0 || length == 0) return;
    // A page past the end of the file would fault on first touch.
    uint64_t fileBytes = store.FileBytes();
    if (offset > fileBytes || length > fileBytes - offset) return;
    FileDynamicStore::Window w = store.MapWindow(offset, length);
    int flags = MAP_SHARED | (populate ? MAP_POPULATE : 0);
    void* p = mmap(nullptr, w.viewLength, PROT_READ | PROT_WRITE, flags, store.m_file,
                   off_t(w.viewOffset));
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

RowCursor::RowCursor(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
                     uint32_t rowBytes, uint32_t rowCount, uint64_t windowBytes)
    : m_store(store), m_rowBytes(rowBytes), m_rowCount(rowCount) {
    FileDynamicStore::Span p = store.Payload(block);
    if (rowBytes == 0 || p.length == 0 || firstRowOffset >= p.length) return;
    m_base = p.offset + firstRowOffset;
    m_validRows = uint32_t(std::min<uint64_t>(rowCount, (p.length - firstRowOffset) / rowBytes));
    m_rowsPerWindow = uint32_t(std::clamp<uint64_t>(windowBytes / rowBytes, 1, UINT32_MAX));
}

bool RowCursor::MapRows(uint32_t first, uint32_t end) {
    m_view.Reset();
    m_first = m_end = 0;
    MappedView v(m_store, m_base + uint64_t(first) * m_rowBytes, uint64_t(end - first) * m_rowBytes,
                 true);
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
        uint32_t n = std::min(m_rowsPerWindow, m_validRows);
        uint32_t first;
        if (m_view.IsValid() && row < m_first)
            first = row + 1 >= n ? row + 1 - n : 0;  // moving back: the window ends at `row`
        else
            first = std::min(row, m_validRows - n);  // moving on: it starts there
        if (!MapRows(first, first + n)) return nullptr;
    }
    return m_view.Data() + uint64_t(row - m_first) * m_rowBytes;
}

void RowCursor::Flush() {
    m_view.Flush();
}

}  // namespace zelvo
