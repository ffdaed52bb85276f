#pragma once

#include "store/FileDynamicStore.h"

namespace zelvo {

// Allocates a block whose payload reads as zeros. Space the file has just grown by already
// reads as zeros, so only a block carved from reused space is written: a fresh start-up stroke
// block of 100 MB costs nothing.
BlockHandle AllocateZeroed(FileDynamicStore& store, uint64_t bytes);

}  // namespace zelvo
