#include "store/RowWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
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
    // A quarter of the largest power of two the window holds, so that the bytes held back cost
    // little to move; at most 1 MiB, whose pages the kernel finds quickly even the first time;
    // below a page there is nothing to gain.
    constexpr uint64_t kMostAlign = 1u << 20, kLeastAlign = 4096;
    const uint64_t window = uint64_t(m_rowsPerWindow) * rowBytes;
    if (m_validRows > m_rowsPerWindow && window >= 4 * kLeastAlign)
        m_align = std::min(kMostAlign, (uint64_t(1) << (63 - std::countl_zero(window))) / 4);
}

RowWriter::~RowWriter() {
    Flush();
}

bool RowWriter::Flush() {
    if (m_failed) return false;
    if (m_hi > m_lo) {
        // Carried bytes only ever sit before a run that starts its window.
        const uint8_t* src = Slot(m_lo) - m_carry;
        const uint64_t offset = m_base + uint64_t(m_lo) * m_rowBytes - m_carry;
        const uint64_t length = uint64_t(m_hi - m_lo) * m_rowBytes + m_carry;
        m_failed = !WriteStoreBytes(m_store, offset, src, length);
        ++m_writes;
    }
    m_lo = m_hi = 0;
    m_carry = 0;
    return !m_failed;
}

bool RowWriter::FlushToDisk() {
    if (!Flush()) return false;
    if (m_validRows != 0 && m_store.IsOpen())
        sync_file_range(
            m_store.FileHandle(), off_t(m_base), off_t(uint64_t(m_validRows) * m_rowBytes),
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    return true;
}

bool RowWriter::FlushAligned() {
    const uint64_t start = m_base + uint64_t(m_lo) * m_rowBytes - m_carry;
    const uint64_t end = m_base + uint64_t(m_hi) * m_rowBytes;
    const uint64_t cut = std::max(start, end / m_align * m_align);
    if (cut > start) {
        m_failed = !WriteStoreBytes(m_store, start, Slot(m_lo) - m_carry, cut - start);
        ++m_writes;
        if (m_failed) return false;
    }
    // What is left lies within one aligned stretch, so it fits the buffer's head.
    const uint64_t tail = end - cut;
    std::memmove(m_buffer.get() + m_align - tail, Slot(m_hi) - tail, tail);
    m_carry = tail;
    m_lo = m_hi = 0;
    return true;
}

uint8_t* RowWriter::Row(uint32_t row) {
    if (m_failed || row >= m_validRows) return nullptr;
    if (!m_buffer) {
        m_buffer.reset(new (std::nothrow)
                           uint8_t[m_align + uint64_t(m_rowsPerWindow) * m_rowBytes]);
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
    } else if (held && row == m_hi && m_align != 0) {
        // A rising pass goes on past its window: the aligned part goes to the file.
        if (!FlushAligned()) return nullptr;
        m_windowFirst = m_lo = row;
        m_hi = row + 1;
    } else if (held && row + 1 == m_lo && m_hi - m_lo == 1 && m_rowsPerWindow > 1 && m_carry == 0) {
        // A falling pass: the window first placed going on is turned to reach back.
        const uint32_t first = row + 1 >= m_rowsPerWindow ? row + 2 - m_rowsPerWindow : 0;
        std::memmove(m_buffer.get() + m_align + uint64_t(m_lo - first) * m_rowBytes, Slot(m_lo),
                     m_rowBytes);
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
    return Slot(row);
}

}  // namespace zelvo
