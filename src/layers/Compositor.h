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
// layer copies out only those parts of its rows (RowPlanReader), never mapping them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "layers/Layer.h"
#include "store/RowPlanReader.h"

namespace zelvo {

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
    // only for canvas points.
    Compositor(const std::vector<LayerPtr>& layers, const std::vector<int32_t>& rows, int32_t colBegin,
               int32_t colEnd);
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
        std::unique_ptr<RowPlanReader> rows;
        int32_t x, y, width, height;
        int32_t firstCol;  // the layer column at the reader's first byte
        uint32_t opacity;
        int32_t bits;
        uint32_t colorWord;  // the pixel a set mask bit stands for
    };

    void Reserve(int32_t n);

    std::vector<Source> m_sources;
    int32_t m_n = 0;
    std::vector<int16_t> m_cov;
    std::vector<uint16_t> m_b, m_g, m_r;
    std::vector<uint32_t> m_pixels;  // gathered or expanded source pixels
};

}  // namespace zelvo
