// Read-only rows of a block for a pass that knows in advance which rows it will ask for, and
// which bytes of each: a zoomed-out view skips most rows and a zoomed-in one most columns, and
// reading whole windows would copy all of them. Each refill reads the next planned rows that fit
// the buffer, one pread for each run of planned rows lying close together: where the bytes
// between two of them cost less to copy than a call (about 1.4 us here, some 30 KB of copying),
// they are read through. Like RowReader it shows the bytes as they were when they were read:
// for passes over blocks nobody writes meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "store/FileDynamicStore.h"

namespace zelvo {

// Read buffers kept from one pass to the next: fresh pages cost a fault each, which is dear on
// a virtual machine, so readers borrow their buffers here and give them back. Keeps at most
// `limitBytes`; safe to share between threads.
class ReadBufferPool {
public:
    struct Buffer {
        std::unique_ptr<uint8_t[]> data;
        uint64_t bytes = 0;
    };

    explicit ReadBufferPool(uint64_t limitBytes) : m_limit(limitBytes) {}
    // A kept buffer of at least `bytes` (the smallest such), else a fresh one; data is null
    // when memory runs out.
    Buffer Take(uint64_t bytes);
    // Kept, the smallest kept ones freed to make room under the limit; freed itself when larger
    // than the limit.
    void Give(Buffer buffer);
    uint64_t KeptBytes() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Buffer> m_kept;
    uint64_t m_keptBytes = 0;
    uint64_t m_limit;
};

class RowPlanReader {
public:
    // Past this many skipped bytes between two needed row parts, each is read on its own.
    static constexpr uint32_t kJoinGapBytes = 32u << 10;

    // `plan`: the rows in the order they will be asked for, each run of equal rows kept once;
    // it must be monotonic (all rising or all falling). Bytes [byteBegin, byteEnd) of each row
    // are read (clamped to the row). The buffer holds at least one row part.
    // With a pool, the buffer is borrowed from it (whole) and given back by the destructor.
    RowPlanReader(const FileDynamicStore& store, BlockHandle block, uint64_t firstRowOffset,
                  uint32_t rowBytes, uint32_t rowCount, std::vector<uint32_t> plan,
                  uint32_t byteBegin, uint32_t byteEnd, uint64_t bufferBytes,
                  ReadBufferPool* pool = nullptr);
    ~RowPlanReader();
    RowPlanReader(const RowPlanReader&) = delete;
    RowPlanReader& operator=(const RowPlanReader&) = delete;

    // Byte `byteBegin` of the row: ByteEnd() - ByteBegin() bytes are valid there. Valid until the
    // next Row() call. nullptr when the row is out of range, does not lie whole inside the
    // block's payload, or cannot be read. A row outside the plan is read on its own.
    const uint8_t* Row(uint32_t row);
    uint32_t ByteBegin() const { return m_byteBegin; }
    uint32_t ByteEnd() const { return m_byteEnd; }
    // Rows held now: plan entries [BatchFirst, BatchEnd) (diagnostics and tests).
    size_t BatchFirst() const { return m_batchFirst; }
    size_t BatchEnd() const { return m_batchEnd; }
    // pread calls issued so far, and bytes they brought.
    uint32_t ReadCount() const { return m_reads; }
    uint64_t BytesRead() const { return m_bytesRead; }

private:
    bool Fill(size_t first);
    bool ReadSpan(uint8_t* dst, uint64_t offset, uint64_t length);
    // Where plan entry `i` of the batch starts in the buffer.
    const uint8_t* Slot(size_t i) const { return m_buffer.get() + m_slots[i - m_batchFirst]; }
    // Makes the buffer hold `bytes`, keeping its first `keep` bytes.
    bool Reserve(uint64_t bytes, uint64_t keep);

    const FileDynamicStore& m_store;
    uint64_t m_base = 0;  // file offset of row 0
    uint32_t m_rowBytes;
    uint32_t m_validRows = 0;
    uint32_t m_byteBegin = 0;
    uint32_t m_byteEnd = 0;
    bool m_rising = true;
    std::vector<uint32_t> m_plan;
    size_t m_pos = 0;  // where the plan is up to
    size_t m_batchFirst = 0;
    size_t m_batchEnd = 0;
    std::vector<uint64_t> m_slots;
    uint32_t m_lone = UINT32_MAX;  // a row outside the plan held on its own
    uint64_t m_capacity = 0;
    ReadBufferPool* m_pool;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint64_t m_bufferBytes = 0;
    std::vector<uint8_t> m_loneBuffer;
    uint32_t m_reads = 0;
    uint64_t m_bytesRead = 0;
};

}  // namespace zelvo
