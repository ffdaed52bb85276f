// How many times a scratch store of this process could not get disk space for a block. Each
// time the store has shown the disk message; a command that saw the number move failed for
// want of scratch space, whatever else it reports.
#pragma once

#include <cstdint>

namespace zelvo {

uint64_t ScratchSpaceFailures();

}  // namespace zelvo
