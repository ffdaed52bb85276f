// Row access to a block of the store through one sliding mapped window (a few MiB, aligned to
// the granularity), so that per-row work costs no system call per row and memory stays bounded.
#pragma once

#include <cstdint>

#include "store/FileDynamicStore.h"

namespace zelvo {

// A mapped view of any byte range of the store's file, unmapped (and flushed if asked) on
// destruction. Data() points at the requested offset.
class MappedView {
public:
    MappedView() = default;
    MappedView(const FileDynamicStore& store, uint64_t offset, uint64_t length);
    ~MappedView();
    MappedView(MappedView&& o) noexcept;
    MappedView& operator=(MappedView&& o) noexcept;
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    bool IsValid() const { return m_base != nullptr; }
    uint8_t* Data() const { return m_data; }
    uint64_t Length() const { return m_length; }
    void Flush();
    void Reset();

private:
    uint8_t* m_base = nullptr;
    uint64_t m_mapLength = 0;
    uint8_t* m_data = nullptr;
    uint64_t m_length = 0;
};

// Rows of `rowBytes` bytes, row 0 first in storage order, inside a block's payload starting at
// `firstRowOffset` bytes into it. Row(i) returns a pointer valid until the next Row() call that
// lands outside the current window (or until the cursor goes away). Works in any direction.
class RowCursor {
public:
    static constexpr uint64_t kDefaultWindowBytes = 4u << 20;

    RowCursor(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
              uint32_t rowBytes, uint32_t rowCount, uint64_t windowBytes = kDefaultWindowBytes);
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // nullptr when the row is out of range or the block cannot be mapped.
    uint8_t* Row(uint32_t row);
    uint32_t RowBytes() const { return m_rowBytes; }
    uint32_t RowCount() const { return m_rowCount; }
    // Writes the window back to the file (msync) without unmapping it.
    void Flush();

private:
    const FileDynamicStore& m_store;
    uint64_t m_base;  // file offset of row 0
    uint32_t m_rowBytes;
    uint32_t m_rowCount;
    uint32_t m_rowsPerWindow;
    uint32_t m_first = 0;  // rows [m_first, m_end) are mapped
    uint32_t m_end = 0;
    MappedView m_view;
};

}  // namespace zelvo
