#include "store/KeptView.h"

#include <sys/stat.h>

#include <utility>

namespace zelvo {

MappedView KeptView::Take(const FileDynamicStore& store, BlockHandle block, Key& key) {
    const FileDynamicStore::Span p = store.Payload(block);
    struct stat st;
    if (p.length == 0 || !store.IsOpen() || fstat(store.FileHandle(), &st) != 0) return {};
    key = {st.st_dev, st.st_ino, store.Generation(), p.offset, p.length};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_view.IsValid() && m_key == key) return std::move(m_view);
        m_view.Reset();
    }
    return MappedView(store, p.offset, p.length);
}

void KeptView::Give(MappedView view, const Key& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_view = std::move(view);
    m_key = key;
}

void KeptView::Drop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_view.Reset();
}

}  // namespace zelvo
