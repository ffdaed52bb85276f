// A layer's rows for a whole pass without mapping them: a mapped window pays a page fault for
// every 4 KiB it touches (and clears every fresh page first), while pread and pwrite copy at
// close to memory speed. The reader is for blocks nobody writes during the pass; the writer is
// for a new block whose every row the pass fills.
#pragma once

#include <memory>

#include "layers/Layer.h"
#include "store/RowCursor.h"
#include "store/RowWriter.h"

namespace zelvo {

inline std::unique_ptr<RowReader> OpenRowReader(const Layer& layer) {
    if (!layer.HasPixels()) return nullptr;
    return std::make_unique<RowReader>(layer.Store(), layer.Block(), layer.RowsOffset(),
                                       layer.Stride(), uint32_t(layer.Height()));
}

inline std::unique_ptr<RowWriter> OpenRowWriter(const Layer& layer) {
    if (!layer.HasPixels()) return nullptr;
    return std::make_unique<RowWriter>(layer.Store(), layer.Block(), layer.RowsOffset(),
                                       layer.Stride(), uint32_t(layer.Height()));
}

}  // namespace zelvo
