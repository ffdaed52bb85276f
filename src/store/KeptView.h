// One mapping of a block kept from one use to the next. On a virtual machine the first touch of
// every page of a new mapping is dear (about 1.5 ms a megabyte measured on the build machine,
// even after the pages were populated), so a pass that maps the same large work block each time
// (the paint bucket's candidate bytes in the stroke work block) keeps its view instead.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>

#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

namespace zelvo {

class KeptView {
public:
    // What a view shows: the file (its device and inode, which the kept mapping holds so they
    // cannot name another file meanwhile), the file's generation (not cut shorter since) and the
    // bytes.
    struct Key {
        dev_t device = 0;
        ino_t inode = 0;
        uint64_t generation = 0, offset = 0, length = 0;
        bool operator==(const Key&) const = default;
    };

    // A view of the whole payload of `block`: the kept one when it shows the same bytes (it is
    // then taken out, so two users never share it), else a new mapping. Invalid when the block
    // has no payload or cannot be mapped.
    MappedView Take(const FileDynamicStore& store, BlockHandle block, Key& key);
    // Keeps `view` for the next Take, replacing what was kept.
    void Give(MappedView view, const Key& key);
    // Unmaps what is kept.
    void Drop();

private:
    std::mutex m_mutex;
    MappedView m_view;
    Key m_key;
};

}  // namespace zelvo
