// Write-only rows of a block for a pass that fills whole rows (a decoded picture copied into a
// layer): rows are filled in the writer's own bounded buffer and go to the file by one pwrite
// per run, so no page of the block is mapped. A mapped window pays a fault on every page, which
// is dear on a virtual machine; and a full disk shows as a failed write, not as a crash.
// A rising pass writes whole aligned stretches of the file, holding back the bytes past the last
// boundary for the next run: the page cache then builds large pages for the block, and every
// later write into them costs about half of what writes across page boundaries do.
#pragma once

#include <cstdint>
#include <memory>

#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

namespace zelvo {

// A pass that reads in windows of W bytes writes through a writer of kWriterWindows × W bytes:
// every pwrite into ext4 pays several microseconds of its own whatever its length, and the
// writer's stretches, aligned on a quarter of its buffer, leave the new block in larger pages of
// the page cache for the next reader.
inline constexpr uint64_t kWriterWindows = 4;

// Sends `length` bytes to the store's file at `offset` by pwrite, noting the range as written
// first. False when the range passes the file's end or a write fails.
bool WriteStoreBytes(FileDynamicStore& store, uint64_t offset, const uint8_t* bytes,
                     uint64_t length);

class RowWriter {
public:
    RowWriter(FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
              uint32_t rowBytes, uint32_t rowCount,
              uint64_t windowBytes = RowCursor::kDefaultWindowBytes);
    ~RowWriter();  // writes what is held (Flush)
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // A row to fill: its old bytes are NOT read, so the caller writes every byte of it. Valid
    // until the next Row() or Flush(). Rows next to the ones held join their run; any other row
    // first sends the run to the file. nullptr when the row is out of range, does not lie
    // whole inside the block's payload, or a write has failed.
    uint8_t* Row(uint32_t row);
    // Sends the held rows to the file. False once any write has failed.
    bool Flush();
    // Flush, then waits until every row of the block has reached the disk, as a flushed mapped
    // view would have.
    bool FlushToDisk();
    bool Failed() const { return m_failed; }
    uint32_t WriteCount() const { return m_writes; }

private:
    FileDynamicStore& m_store;
    uint64_t m_base = 0;  // file offset of row 0
    uint32_t m_rowBytes;
    uint32_t m_validRows = 0;
    uint32_t m_rowsPerWindow = 1;
    uint32_t m_windowFirst = 0;   // the buffer's first slot holds this row
    uint32_t m_lo = 0, m_hi = 0;  // rows [m_lo, m_hi) are held
    // Writes of a rising pass end on multiples of m_align (0: no alignment); the m_carry bytes
    // before row m_lo that a run held back lie just before it in the buffer, whose first
    // m_align bytes are kept for them.
    uint64_t m_align = 0;
    uint64_t m_carry = 0;
    bool m_failed = false;
    uint32_t m_writes = 0;

    uint8_t* Slot(uint32_t row) const {
        return m_buffer.get() + m_align + uint64_t(row - m_windowFirst) * m_rowBytes;
    }
    // Writes the held bytes up to the last aligned boundary and keeps the rest as carry.
    bool FlushAligned();
    std::unique_ptr<uint8_t[]> m_buffer;
};

}  // namespace zelvo
