// Work memory of many megabytes that is filled at once. In small pages every first touch is a
// fault (microseconds each on a virtual machine); in huge pages a few hundred times fewer.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace zelvo {

// Asks for huge pages over the whole huge pages inside [data, data + bytes). Only a hint: the
// kernel may refuse it.
void AdviseHugePages(void* data, size_t bytes);

struct FreeMemory {
    void operator()(void* p) const { std::free(p); }
};

// `count` uninitialised elements aligned to a huge page, with the hint given; null when the
// memory cannot be had. For trivially copyable T only.
template <class T>
std::unique_ptr<T[], FreeMemory> AllocateHuge(size_t count);

void* AllocateHugeBytes(size_t bytes);

template <class T>
std::unique_ptr<T[], FreeMemory> AllocateHuge(size_t count) {
    if (count > size_t(-1) / sizeof(T)) return nullptr;
    return std::unique_ptr<T[], FreeMemory>(static_cast<T*>(AllocateHugeBytes(count * sizeof(T))));
}

}  // namespace zelvo
