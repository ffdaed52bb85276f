// What the view and preview benchmarks share: a workspace in its own /var/tmp folder (removed
// afterwards) holding one New Image document of the given size, its layers made by `fill`, shown
// in an image view of a client's size with a display refresher for it.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "doc/Image.h"
#include "view/DisplayRefresher.h"
#include "view/ImageView.h"
#include "workspace/Workspace.h"

namespace zelvo::bench {

struct BenchView {
    std::string folder;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<Image> image;
    std::unique_ptr<ImageView> view;
    std::unique_ptr<DisplayRefresher> refresher;

    BenchView(int32_t width, int32_t height, int32_t clientW, int32_t clientH,
              const std::function<void(LayerManager&)>& fill) {
        std::string base = "/var/tmp/zelvo-bench-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        folder = base + "/";
        workspace = std::make_unique<Workspace>();
        workspace->SetScreenSize(clientW, clientH);
        if (!workspace->Setup(folder)) std::abort();
        image = std::make_unique<Image>(*workspace);
        if (!image->NewImage({width, height, 2834})) std::abort();
        fill(image->Layers());
        view = std::make_unique<ImageView>(*image);
        view->Resize(clientW, clientH);
        refresher = std::make_unique<DisplayRefresher>(clientW, clientH, workspace->Tables());
    }
    ~BenchView() {
        refresher.reset();
        view.reset();
        image.reset();
        workspace.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    BenchView(const BenchView&) = delete;
    BenchView& operator=(const BenchView&) = delete;
};

}  // namespace zelvo::bench
