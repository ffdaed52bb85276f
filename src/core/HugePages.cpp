#include "core/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

namespace zelvo {

namespace {
constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
}

void AdviseHugePages(void* data, size_t bytes) {
    const uintptr_t begin = (uintptr_t(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (uintptr_t(data) + bytes) & ~(kHugePage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void* AllocateHugeBytes(size_t bytes) {
    void* p = nullptr;
    if (posix_memalign(&p, kHugePage, bytes == 0 ? 1 : bytes) != 0) return nullptr;
    AdviseHugePages(p, bytes);
    return p;
}

}  // namespace zelvo
