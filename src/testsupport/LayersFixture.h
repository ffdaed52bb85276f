// A document's layer manager and history over the shared scratch store, without the document
// around them: the set-up of the tests of the history, the curves, the geometry and the layer
// operations, each with a history host of its own.
#pragma once

#include <memory>

#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "testsupport/StoreTestSupport.h"

namespace zelvo::test {

class LayersFixture : public StoreFixture {
protected:
    // A fresh layer manager and history for a canvas of w x h, the store opened first if it is
    // not. Call through ASSERT_NO_FATAL_FAILURE.
    void MakeLayers(int32_t w, int32_t h, HistoryHost* host) {
        if (!store) {
            ASSERT_NO_FATAL_FAILURE(OpenStore());
        }
        ReleaseLayers();
        image.width = w;
        image.height = h;
        layers = std::make_unique<LayerManager>(*store, SharedTables(), image, 16, 16);
        history = std::make_unique<HistoryManager>(*layers, host);
    }
    // The history goes first: it holds blocks of the layers' store.
    void ReleaseLayers() {
        history.reset();
        layers.reset();
    }
    void TearDown() override { ReleaseLayers(); }

    ImageGeometry image;
    std::unique_ptr<LayerManager> layers;
    std::unique_ptr<HistoryManager> history;
};

}  // namespace zelvo::test
