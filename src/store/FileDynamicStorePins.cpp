// The store's side of the recovery journal: the blocks a journal names are pinned (their free
// waits until the journal lets them go), and the first write into a pinned block marks its seal
// dirty.
#include <unistd.h>

#include <algorithm>

#include "store/FileDynamicStore.h"

namespace zelvo {

void FileDynamicStore::SetPins(const std::vector<Pin>& pins) {
    auto set = std::make_shared<PinSet>();
    for (const Pin& p : pins) {
        Span payload = Payload(p.block), seal = Payload(p.seal);
        if (payload.length == 0 || seal.length < 4) continue;
        set->blocks.push_back(p.block);
        set->ranges.push_back({payload.offset, payload.offset + payload.length, seal.offset});
    }
    std::sort(set->blocks.begin(), set->blocks.end());
    set->noted = std::make_unique<std::atomic<bool>[]>(set->ranges.size());
    m_pins.store(set->ranges.empty() ? nullptr : std::shared_ptr<const PinSet>(set),
                 std::memory_order_release);
    m_pinEpoch.fetch_add(1, std::memory_order_acq_rel);
    std::vector<BlockHandle> waiting;
    waiting.swap(m_deferred);
    for (BlockHandle b : waiting) {
        if (IsPinned(b))
            m_deferred.push_back(b);
        else if (m_open)
            FreeNow(b);
    }
}

bool FileDynamicStore::IsPinned(BlockHandle h) const {
    std::shared_ptr<const PinSet> set = m_pins.load(std::memory_order_acquire);
    return set && std::binary_search(set->blocks.begin(), set->blocks.end(), h);
}

void FileDynamicStore::NoteWrite(uint64_t offset, uint64_t length) const {
    std::shared_ptr<const PinSet> set = m_pins.load(std::memory_order_acquire);
    if (!set || length == 0) return;
    static const uint32_t kDirty = kSealDirty;
    for (size_t i = 0; i < set->ranges.size(); ++i) {
        const PinRange& r = set->ranges[i];
        if (offset >= r.end || offset + length <= r.begin) continue;
        if (set->noted[i].exchange(true, std::memory_order_acq_rel)) continue;
        // Lands in the page cache before any byte of the block can change, so it survives the
        // process being killed; the journal's next write clears it.
        if (pwrite(m_file, &kDirty, sizeof kDirty, off_t(r.seal)) != ssize_t(sizeof kDirty))
            set->noted[i].store(false, std::memory_order_release);
    }
}

bool FileDynamicStore::WriteWord(BlockHandle h, uint32_t payloadOffset, uint32_t value) {
    Span p = Payload(h);
    if (p.length < 4 || payloadOffset > p.length - 4) return false;
    return pwrite(m_file, &value, sizeof value, off_t(p.offset + payloadOffset)) ==
           ssize_t(sizeof value);
}

bool FileDynamicStore::ReadWord(BlockHandle h, uint32_t payloadOffset, uint32_t& value) const {
    Span p = Payload(h);
    if (p.length < 4 || payloadOffset > p.length - 4) return false;
    return pread(m_file, &value, sizeof value, off_t(p.offset + payloadOffset)) ==
           ssize_t(sizeof value);
}

}  // namespace zelvo
