// The open documents of a batch run, in opening order, and the active one.
#pragma once

#include <memory>
#include <vector>

#include "doc/Image.h"

namespace zelvo {

struct BatchSession;

struct BatchDocuments {
    std::vector<std::unique_ptr<Image>> open;  // opening order
    Image* active = nullptr;

    // Closing order matters for the store: documents go before the workspace.
    ~BatchDocuments() { open.clear(); }
};

BatchDocuments& Documents(BatchSession& s);

}  // namespace zelvo
