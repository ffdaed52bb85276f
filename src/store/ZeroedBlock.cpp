#include "store/ZeroedBlock.h"

namespace zelvo {

BlockHandle AllocateZeroed(FileDynamicStore& store, uint64_t bytes) {
    // Bytes past the file's real length were never written (a file longer than its index says
    // may hold old data, and then the payload starts inside it).
    const uint64_t end = store.FileBytes();
    const BlockHandle handle = store.Allocate(bytes);
    if (handle && store.Payload(handle).offset < end) store.Fill(handle, 0, false);
    return handle;
}

}  // namespace zelvo
