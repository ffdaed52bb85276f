// Row access to a block of the store through one sliding mapped window (a few MiB, aligned to
// the granularity), so that per-row work costs no system call per row and memory stays bounded.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "store/FileDynamicStore.h"

namespace zelvo {

// How a view may be used. A writable view of a block the recovery journal names marks that
// block's seal dirty when it is mapped; a view for reading leaves it clean, so that looking at a
// document (its thumbnails, its previews) never makes it unrecoverable.
enum class MapAccess { ReadWrite, Read };

// A mapped view of any byte range of the store's file, unmapped (and flushed if asked) on
// destruction. Data() points at the requested offset. Ranges past the file's end are refused
// (the view is invalid) rather than left to fault. A view for reading is mapped read-only.
class MappedView {
public:
    MappedView() = default;
    MappedView(const FileDynamicStore& store, uint64_t offset, uint64_t length,
               MapAccess access = MapAccess::ReadWrite);
    ~MappedView();
    MappedView(MappedView&& o) noexcept;
    MappedView& operator=(MappedView&& o) noexcept;
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    bool IsValid() const { return m_base != nullptr; }
    uint8_t* Data() const { return m_data; }
    uint64_t Length() const { return m_length; }
    // Writes the view's pages to the disk (msync) and waits.
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
// lands outside the current window (or until the cursor goes away). Works in any direction:
// a row past the window starts the next window, a row before it ends the next window, so a
// scan either way maps each part of the block once. Each thread uses its own cursor; a cursor
// reads nothing of the store but its fixed fields.
class RowCursor {
public:
    static constexpr uint64_t kDefaultWindowBytes = 4u << 20;

    RowCursor(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
              uint32_t rowBytes, uint32_t rowCount, uint64_t windowBytes = kDefaultWindowBytes,
              MapAccess access = MapAccess::ReadWrite);
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // nullptr when the row is out of range, does not lie whole inside the block's payload, or
    // the block cannot be mapped.
    uint8_t* Row(uint32_t row);
    // Maps a window holding rows [first, end) with the same room on either side, unless the
    // window holds them already; more rows than a window holds start one. For work that comes
    // back to nearby rows in any order (a brush's dabs): every window mapped again faults in
    // each page touched once more. False when nothing can be mapped there.
    bool Cover(uint32_t first, uint32_t end);
    uint32_t RowBytes() const { return m_rowBytes; }
    uint32_t RowCount() const { return m_rowCount; }
    // Rows [WindowFirst, WindowEnd) are mapped now (diagnostics and tests).
    uint32_t WindowFirst() const { return m_first; }
    uint32_t WindowEnd() const { return m_end; }
    // How many windows have been mapped so far.
    uint32_t MapCount() const { return m_maps; }
    // Writes the window back to the file (msync) without unmapping it.
    void Flush();

private:
    bool MapRows(uint32_t first, uint32_t end);

    const FileDynamicStore& m_store;
    uint64_t m_base = 0;  // file offset of row 0
    uint32_t m_rowBytes;
    uint32_t m_rowCount;
    uint32_t m_validRows = 0;  // rows that lie whole inside the payload
    uint32_t m_rowsPerWindow = 1;
    uint32_t m_first = 0;  // rows [m_first, m_end) are mapped
    uint32_t m_end = 0;
    uint32_t m_maps = 0;
    uint64_t m_pinEpoch = 0;  // the store's pins when the window was last noted
    MapAccess m_access;
    MappedView m_view;
};

// Rows read in place through read-only windows placed as RowCursor places them: for readers
// that come back to rows in any order, or that run while a document is only being looked at.
class ReadRowCursor {
public:
    ReadRowCursor(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
                  uint32_t rowBytes, uint32_t rowCount,
                  uint64_t windowBytes = RowCursor::kDefaultWindowBytes)
        : m_rows(store, block, firstRowOffset, rowBytes, rowCount, windowBytes, MapAccess::Read) {}

    const uint8_t* Row(uint32_t row) { return m_rows.Row(row); }
    bool Cover(uint32_t first, uint32_t end) { return m_rows.Cover(first, end); }
    uint32_t RowBytes() const { return m_rows.RowBytes(); }
    uint32_t RowCount() const { return m_rows.RowCount(); }

private:
    RowCursor m_rows;
};

// Read-only rows copied out of the file (pread) into the reader's own bounded buffer, with the
// same window placement as RowCursor. No page tables are built, so a pass reads at close to
// memcpy speed where mapping is dear. It shows the bytes as they were when the row's window
// was read: for passes that only read a block nobody writes meanwhile (compositing, export,
// display). Writes go through RowCursor.
class RowReader {
public:
    RowReader(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
              uint32_t rowBytes, uint32_t rowCount,
              uint64_t windowBytes = RowCursor::kDefaultWindowBytes);
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // nullptr when the row is out of range, does not lie whole inside the block's payload, or
    // cannot be read.
    const uint8_t* Row(uint32_t row);
    uint32_t RowBytes() const { return m_rowBytes; }
    uint32_t RowCount() const { return m_rowCount; }
    uint32_t WindowFirst() const { return m_first; }
    uint32_t WindowEnd() const { return m_end; }
    uint32_t ReadCount() const { return m_reads; }

private:
    bool ReadRows(uint32_t first, uint32_t end);

    const FileDynamicStore& m_store;
    uint64_t m_base = 0;
    uint32_t m_rowBytes;
    uint32_t m_rowCount;
    uint32_t m_validRows = 0;
    uint32_t m_rowsPerWindow = 1;
    uint32_t m_first = 0;
    uint32_t m_end = 0;
    uint32_t m_reads = 0;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint64_t m_capacity = 0;
};

}  // namespace zelvo
