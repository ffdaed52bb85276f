// What a document tells the crash-recovery journal: it reached a settled state (opened,
// created, a state recorded, undone or redone, saved) or it is about to close.
#pragma once

namespace zelvo {

class Image;

class DocumentWatcher {
public:
    virtual ~DocumentWatcher() = default;
    virtual void DocumentChanged(Image& image) = 0;
    // Called before any of the document's blocks goes back to the store.
    virtual void DocumentClosing(Image& image) = 0;
};

}  // namespace zelvo
