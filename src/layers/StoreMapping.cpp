#include "layers/StoreMapping.h"

#include <sys/mman.h>

#include <algorithm>

namespace zelvo {

StoreMapping::~StoreMapping() {
    Release();
}

void StoreMapping::Release() {
    if (m_base) munmap(const_cast<uint8_t*>(m_base), m_length);
    m_base = nullptr;
    m_length = 0;
    m_store = nullptr;
}

bool StoreMapping::Cover(const FileDynamicStore& store, uint64_t end) {
    if (!store.IsOpen()) {
        Release();
        return false;
    }
    // The generation is read before the length: a cut made in between shows as a new
    // generation next time, and the length read now is already the shorter one.
    const uint64_t generation = store.Generation();
    if (m_base && (m_store != &store || m_generation != generation)) Release();
    const uint64_t fileBytes = store.FileBytes();
    if (end > fileBytes) return false;
    if (m_base && end <= m_length) return true;
    Release();
    if (fileBytes == 0) return false;
    // Mapped as far as the file can ever reach, so that growing it needs no new mapping: a new
    // one costs a fault on every page the next pass touches again. Bytes past the file's end
    // are never handed out (At), so they are never touched.
    const int fd = store.FileHandle();
    uint64_t length = std::max(fileBytes, kReach);
    void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        length = fileBytes;
        view = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    }
    if (view == MAP_FAILED) return false;
    m_base = static_cast<const uint8_t*>(view);
    m_length = length;
    m_store = &store;
    m_generation = generation;
    ++m_mappings;
    return true;
}

void StoreMapping::DropPages() {
    if (m_base) madvise(const_cast<uint8_t*>(m_base), m_length, MADV_DONTNEED);
}

const uint8_t* StoreMapping::At(uint64_t offset, uint64_t length) const {
    if (!m_base || length == 0) return nullptr;
    const uint64_t fileBytes = std::min(m_length, m_store->FileBytes());
    if (offset > fileBytes || length > fileBytes - offset) return nullptr;
    return m_base + offset;
}

}  // namespace zelvo
