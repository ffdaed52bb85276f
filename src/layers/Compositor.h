// The compositing rule of the layer stack, one output row at a time: every shown layer with
// pixels, top first, adds I = opacity x alpha x coverage / 10000 of its colour (each channel
// I x value / 100) and takes I from the coverage; what coverage is left shows white. Only the
// low 8 bits of each sum are kept.
//
// The work is done layer by layer across the row rather than pixel by pixel: each pixel sees
// the same operations in the same order (a finished pixel, coverage <= 0, takes I = 0 from every
// further layer), and the plain loops vectorise. The walk stops early once a layer covering the
// whole row has left no coverage anywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/PercentTables.h"
#include "layers/Layer.h"

namespace zelvo {

class Compositor {
public:
    // Builds the table of contributing layers, top first. Pixels of a layer outside the canvas
    // (0, 0, canvasWidth, canvasHeight) never take part: callers ask only for canvas points.
    Compositor(const std::vector<LayerPtr>& layers, const PercentTables& tables);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    int ContributingLayers() const { return int(m_sources.size()); }

    // Composes canvas row cy at the canvas columns firstCol + i (when cols is null) or cols[i]
    // (non-decreasing), for i < n. `nextCy`, when given, is the row the caller composes next:
    // its bytes are fetched into the cache while this row is worked on.
    void ComposeRow(int32_t cy, int32_t firstCol, const int32_t* cols, int32_t n,
                    int32_t nextCy = kNoRow);
    static constexpr int32_t kNoRow = INT32_MIN;
    // Writes the low 8 bits of B, G, R of the last composed row: pixel i at out + i * step.
    void StoreBgr(uint8_t* out, int step) const;

private:
    struct Source {
        const Layer* layer;
        std::unique_ptr<RowCursor> rows;
        int32_t x, y, width, height;
        uint32_t opacity;
        int32_t bits;
        uint32_t colorWord;  // the pixel a set mask bit stands for
    };

    void Reserve(int32_t n);

    const PercentTables& m_tables;
    std::vector<Source> m_sources;
    int32_t m_n = 0;
    std::vector<int32_t> m_cov;
    std::vector<uint32_t> m_b, m_g, m_r;
    std::vector<uint32_t> m_pixels;  // gathered or expanded source pixels
};

}  // namespace zelvo
