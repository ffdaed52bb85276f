#include "store/RowWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace zelvo {

bool WriteStoreBytes(FileDynamicStore& store, uint64_t offset, const uint8_t* bytes,
                     uint64_t length) {
    const uint64_t fileBytes = store.FileBytes();
    const int fd = store.IsOpen() ? store.FileHandle() : -1;
    if (fd < 0 || offset > fileBytes || length > fileBytes - offset) return false;
    store.NoteWrite(offset, length);
    for (uint64_t done = 0; done < length;) {
        const ssize_t put = pwrite(fd, bytes + done, length - done, off_t(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += uint64_t(put);
    }
    return true;
}

RowWriter::RowWriter(FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
                     uint32_t rowBytes, uint32_t rowCount, uint64_t windowBytes)
    : m_store(store), m_rowBytes(rowBytes) {
    const FileDynamicStore::Span p = store.Payload(block);
    if (rowBytes != 0 && p.length != 0 && firstRowOffset < p.length)
        m_validRows =
            uint32_t(std::min<uint64_t>(rowCount, (p.length - firstRowOffset) / rowBytes));
    m_base = p.offset + firstRowOffset;
    if (rowBytes != 0)
        m_rowsPerWindow = uint32_t(
            std::clamp<uint64_t>(windowBytes / rowBytes, 1, std::max<uint32_t>(m_validRows, 1)));
}

RowWriter::~RowWriter() {
    Flush();
}

bool RowWriter::Flush() {
    if (m_failed) return false;
    if (m_hi > m_lo) {
        const uint8_t* src = m_buffer.get() + uint64_t(m_lo - m_windowFirst) * m_rowBytes;
        const uint64_t offset = m_base + uint64_t(m_lo) * m_rowBytes;
        const uint64_t length = uint64_t(m_hi - m_lo) * m_rowBytes;
        m_failed = !WriteStoreBytes(m_store, offset, src, length);
        ++m_writes;
    }
    m_lo = m_hi = 0;
    return !m_failed;
}

uint8_t* RowWriter::Row(uint32_t row) {
    if (m_failed || row >= m_validRows) return nullptr;
    if (!m_buffer) {
        m_buffer.reset(new (std::nothrow) uint8_t[uint64_t(m_rowsPerWindow) * m_rowBytes]);
        if (!m_buffer) return nullptr;
    }
    const bool held = m_hi > m_lo;
    const bool inWindow = row >= m_windowFirst && row - m_windowFirst < m_rowsPerWindow;
    if (held && row >= m_lo && row < m_hi) {
        // asked again: still held
    } else if (held && row == m_hi && inWindow) {
        ++m_hi;
    } else if (held && row + 1 == m_lo && inWindow) {
        --m_lo;
    } else if (held && row + 1 == m_lo && m_hi - m_lo == 1 && m_rowsPerWindow > 1) {
        // A falling pass: the window first placed going on is turned to reach back.
        const uint32_t first = row + 1 >= m_rowsPerWindow ? row + 2 - m_rowsPerWindow : 0;
        std::memmove(m_buffer.get() + uint64_t(m_lo - first) * m_rowBytes,
                     m_buffer.get() + uint64_t(m_lo - m_windowFirst) * m_rowBytes, m_rowBytes);
        m_windowFirst = first;
        --m_lo;
    } else {
        const bool back = held && row < m_lo;
        if (!Flush()) return nullptr;
        // The window reaches on in the direction of travel.
        m_windowFirst = back ? (row + 1 >= m_rowsPerWindow ? row + 1 - m_rowsPerWindow : 0) : row;
        m_lo = row;
        m_hi = row + 1;
    }
    return m_buffer.get() + uint64_t(row - m_windowFirst) * m_rowBytes;
}

}  // namespace zelvo
