// What the benchmarks share: a scratch store in its own /var/tmp folder with one document's
// layer manager and history over a first layer of the given size (removed afterwards), and a
// stack of layers filled with reproducible noise.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "core/PercentTables.h"
#include "core/RowBands.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "layers/LayerRows.h"
#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

namespace zelvo::bench {

// A pass at one thread and on every core: the benchmark's last argument is the thread count
// (0: every core), its time the wall clock's.
inline void OneAndAllThreads(benchmark::internal::Benchmark* b) {
    b->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
}
// The thread count of the benchmark's argument `index` for the benchmark's lifetime.
struct BenchThreads : ScopedPassThreads {
    BenchThreads(const benchmark::State& state, int index)
        : ScopedPassThreads(int32_t(state.range(index))) {}
};

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

    // A stroke's work block for a canvas of width x height: five bytes a pixel, all zero.
    BlockHandle ZeroedStrokeRecords(int32_t width, int32_t height) {
        const BlockHandle block = store->Allocate(uint64_t(width) * uint64_t(height) * 5);
        if (!block) std::abort();
        RowCursor rows(*store, block, 0, uint32_t(width) * 5, uint32_t(height));
        for (int32_t y = 0; y < height; ++y)
            std::memset(rows.Row(uint32_t(y)), 0, size_t(width) * 5);
        return block;
    }
};

// Fills the first layer and appends `count - 1` more of width x height with xorshift noise: every
// pixel a random colour and alpha 0..100, opacities 60, 64, 68, ... Written as the program writes
// a whole layer (opening a picture, a pass, a copy): by RowWriter, so the page cache holds the
// layers in the same large pages, which decide how fast every later read copies them.
inline void FillRandomLayers(LayerManager& lm, int32_t width, int32_t height, int count) {
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < count; ++i) {
        LayerPtr layer = i == 0 ? lm.LayerAt(0) : lm.AppendLayer(width, height, LayerKind::Pixel);
        if (!layer) std::abort();
        layer->SetOpacity(60 + 4 * i);
        const std::unique_ptr<RowWriter> rows = OpenRowWriter(*layer);
        if (!rows) std::abort();
        for (int32_t r = 0; r < height; ++r) {
            uint8_t* row = rows->Row(uint32_t(r));
            if (!row) std::abort();
            for (int32_t c = 0; c < width; ++c) {
                seed ^= seed << 13;
                seed ^= seed >> 7;
                seed ^= seed << 17;
                const uint32_t word =
                    (uint32_t((seed >> 32) % 101) << 24) | uint32_t(seed & 0xFFFFFF);
                std::memcpy(row + 4 * size_t(c), &word, 4);
            }
        }
        if (!rows->Flush()) std::abort();
    }
}

}  // namespace zelvo::bench
