// A layer's rows for a whole pass without mapping them: a mapped window pays a page fault for
// every 4 KiB it touches (and clears every fresh page first), while pread and pwrite copy at
// close to memory speed. The reader is for blocks nobody writes during the pass; the writer is
// for a new block whose every row the pass fills.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>

#include "layers/Layer.h"
#include "store/RowCursor.h"
#include "store/RowWriter.h"

namespace zelvo {

inline std::unique_ptr<RowReader> OpenRowReader(
    const Layer& layer, uint64_t windowBytes = RowCursor::kDefaultWindowBytes) {
    if (!layer.HasPixels()) return nullptr;
    return std::make_unique<RowReader>(layer.Store(), layer.Block(), layer.RowsOffset(),
                                       layer.Stride(), uint32_t(layer.Height()), windowBytes);
}

inline std::unique_ptr<RowWriter> OpenRowWriter(
    const Layer& layer, uint64_t windowBytes = RowCursor::kDefaultWindowBytes) {
    if (!layer.HasPixels()) return nullptr;
    return std::make_unique<RowWriter>(layer.Store(), layer.Block(), layer.RowsOffset(),
                                       layer.Stride(), uint32_t(layer.Height()), windowBytes);
}

// Takes the write faults of a mapped range in one call instead of one trap per page (dear on a
// virtual machine). Only a hint: without it the pages fault in as they are touched.
inline void PrefaultForWrite(uint8_t* data, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    if (bytes == 0) return;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t from = uintptr_t(data) / page * page;
    madvise(reinterpret_cast<void*>(from), uintptr_t(data) + bytes - from, MADV_POPULATE_WRITE);
#else
    (void)data, (void)bytes;
#endif
}

}  // namespace zelvo
