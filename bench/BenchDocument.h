// A scratch store in its own /var/tmp folder with one document's layer manager and history over
// a first layer of the given size: the set-up the imaging benchmarks share. Removed afterwards.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/PercentTables.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "store/FileDynamicStore.h"

namespace zelvo::bench {

struct BenchDocument {
    std::string folder;
    std::unique_ptr<FileDynamicStore> store;
    PercentTables tables;
    ImageGeometry image;
    std::unique_ptr<LayerManager> layers;
    std::unique_ptr<HistoryManager> history;

    BenchDocument(int32_t width, int32_t height) {
        std::string base = "/var/tmp/zelvo-bench-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        folder = base + "/";
        store = std::make_unique<FileDynamicStore>();
        if (!store->Open(folder)) std::abort();
        image.width = width;
        image.height = height;
        layers = std::make_unique<LayerManager>(*store, tables, image, 1920, 1080);
        history = std::make_unique<HistoryManager>(*layers);
        if (!layers->CreateFirstLayer(width, height)) std::abort();
    }
    ~BenchDocument() {
        history.reset();
        layers.reset();
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    BenchDocument(const BenchDocument&) = delete;
    BenchDocument& operator=(const BenchDocument&) = delete;
};

}  // namespace zelvo::bench
