// One read-only mapping of the whole scratch file, kept by a renderer from one pass to the
// next: a pass then samples just the pixels it shows straight from the page cache, with no
// system call per row and no copy of the columns it skips, and pages touched once stay mapped
// for the next frame.
//
// The mapping reaches as far as the store's file can grow (its offsets are 32-bit), so growth
// needs no new one; it is made again when the file was replaced or cut shorter (the store's
// generation changed). A span is handed out only when it lies inside the file as it is now, so
// nothing is ever read past the end of the file, whatever its length was when mapped.
//
// Pages a pass touched stay resident until DropPages: owners drop them when they fall idle, so
// the process does not keep a share of the file that grows with the image.
//
// Not shared between owners: one thread sets it up; several may read the spans it handed out
// while the owner does not call Cover, Release or DropPages.
#pragma once

#include <cstdint>

#include "store/FileDynamicStore.h"

namespace zelvo {

class StoreMapping {
public:
    // How far a mapping reaches: the longest file the store can have.
    static constexpr uint64_t kReach = uint64_t(1) << 32;

    StoreMapping() = default;
    ~StoreMapping();
    StoreMapping(const StoreMapping&) = delete;
    StoreMapping& operator=(const StoreMapping&) = delete;

    // Makes the mapping reach byte `end` of the store's file as it is now (mapping it again
    // when needed); false when the file is not that long or cannot be mapped.
    bool Cover(const FileDynamicStore& store, uint64_t end);
    // The bytes [offset, offset + length), or null unless they lie inside both the mapping and
    // the file as it is now. Never maps: spans handed out earlier stay valid.
    const uint8_t* At(uint64_t offset, uint64_t length) const;
    // Unmaps (a closed document's store may shrink; the pages go back now).
    void Release();
    // Keeps the mapping but lets go of the pages touched so far (they stay in the page cache;
    // the next touch maps them again).
    void DropPages();

    uint64_t MappedBytes() const { return m_length; }
    // How many mappings were made (tests).
    uint32_t Mappings() const { return m_mappings; }

private:
    const FileDynamicStore* m_store = nullptr;
    uint64_t m_generation = 0;
    const uint8_t* m_base = nullptr;
    uint64_t m_length = 0;
    uint32_t m_mappings = 0;
};

}  // namespace zelvo
