// The compositing rule of the layer stack, one output row at a time: every shown layer with
// pixels, top first, adds I = opacity x alpha x coverage / 10000 of its colour (each channel
// I x value / 100) and takes I from the coverage; what coverage is left shows white. Only the
// low 8 bits of each sum are kept.
//
// The work is done layer by layer across the row rather than pixel by pixel: each pixel sees
// the same operations in the same order (a finished pixel, coverage <= 0, takes I = 0 from every
// further layer), and the plain loops vectorise. Every value fits 16 bits (I <= 255, sums below
// 1000, coverage -255..100), so the loops work on 16-bit lanes. The walk stops early once a layer
// covering the whole row has left no coverage anywhere.
//
// A pass names up front the canvas rows it will compose and the columns it will touch, so each
// layer copies out only those parts of its rows (RowPlanReader), never mapping them. A renderer
// that keeps one mapping of the whole scratch file from frame to frame (StoreMapping) hands
// the compositor a MappedLayers table instead: the shown pixels are then read in place, with
// no copy of the columns a zoomed-out view skips.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "layers/Layer.h"
#include "layers/StoreMapping.h"
#include "store/RowPlanReader.h"

namespace zelvo {

// The contributing layers of a pass, top first, with their rows in a StoreMapping. Built once
// (for a pass, or for every move of a scroll-thumb drag) and read by the compositors of any
// number of threads. The layers' blocks must stay allocated while it is used.
class MappedLayers {
public:
    // Makes `mapping` cover every contributing layer. A layer whose rows are not all inside
    // the file cannot be read in place; it is left out and Complete() is false.
    MappedLayers(const std::vector<LayerPtr>& layers, StoreMapping& mapping);

    int Count() const { return int(m_entries.size()); }
    bool Complete() const { return m_complete; }
    // Whether the table still describes `layers` exactly (the same objects, blocks, places and
    // settings), so that it can be used again without touching the mapping.
    bool Describes(const std::vector<LayerPtr>& layers) const;

private:
    friend class Compositor;
    struct Entry {
        const Layer* layer = nullptr;
        BlockHandle block = 0;
        uint64_t rowsAt = 0;  // file offset of the first stored row
        const uint8_t* rows = nullptr;
        uint32_t stride = 0, validRows = 0;
        int32_t x = 0, y = 0, width = 0, height = 0;
        uint32_t opacity = 0;
        int32_t bits = 0;
        uint32_t colorWord = 0;
    };
    // The layers that take part, with where their rows are in the file; false for none.
    static bool Describe(const Layer& layer, Entry& e);
    std::vector<Entry> m_entries;
    bool m_complete = true;
};

class Compositor {
public:
    // Read buffers: per layer, and for all layers together (each holds at least one row part).
    static constexpr uint64_t kWindowBytes = uint64_t(256) << 10;
    static constexpr uint64_t kAllWindowsBytes = uint64_t(64) << 20;
    // Read buffers kept between passes.
    static constexpr uint64_t kKeptBufferBytes = uint64_t(32) << 20;

    // Builds the table of contributing layers, top first, for a pass that composes the canvas
    // rows `rows` in that order (monotonic; repeats allowed) within canvas columns
    // [colBegin, colEnd). Pixels of a layer outside the canvas never take part: callers ask
    // only for canvas points. Passes that run several compositors at once give each a share of
    // the buffers' budget.
    Compositor(const std::vector<LayerPtr>& layers, const std::vector<int32_t>& rows,
               int32_t colBegin, int32_t colEnd, uint64_t allWindowsBytes = kAllWindowsBytes);
    // Reads the table's layers in place; any pass of rows and columns.
    explicit Compositor(const MappedLayers& table);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    int ContributingLayers() const { return int(m_sources.size()); }

    // Composes canvas row cy at the canvas columns firstCol + i (when cols is null) or cols[i]
    // (non-decreasing), for i < n, all inside the pass's columns.
    void ComposeRow(int32_t cy, int32_t firstCol, const int32_t* cols, int32_t n);
    // Writes the low 8 bits of B, G, R of the last composed row: pixel i at out + i * step, step
    // 3 or 4 (the fourth byte is left as it is).
    void StoreBgr(uint8_t* out, int step);

private:
    struct Source {
        std::unique_ptr<RowPlanReader> rows;  // null when read in place
        const uint8_t* mapped = nullptr;      // stored row 0, read in place
        uint32_t stride = 0, validRows = 0;
        int32_t x = 0, y = 0, width = 0, height = 0;
        int32_t firstCol = 0;  // the layer column at the reader's first byte
        uint32_t opacity = 0;
        int32_t bits = 0;
        uint32_t colorWord = 0;  // the pixel a set mask bit stands for
    };

    void Reserve(int32_t n);

    std::vector<Source> m_sources;
    int32_t m_n = 0;
    std::vector<int16_t> m_cov;
    std::vector<uint16_t> m_b, m_g, m_r;
    std::vector<uint32_t> m_pixels;  // gathered or expanded source pixels
};

}  // namespace zelvo
