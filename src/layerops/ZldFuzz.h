// The .zld reader as the fuzz target and the corpus replay test drive it: the bytes become a
// file beside the scratch store, are checked and read into a fresh document on a smaller
// canvas limit, and the result is checked for consistency; afterwards no block may be left.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/FileDynamicStore.h"

namespace zelvo {

// Aborts when a read document is inconsistent or a block outlives it.
void FuzzReadLayered(FileDynamicStore& store, const uint8_t* data, size_t size);

}  // namespace zelvo
