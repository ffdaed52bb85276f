// Reading one layer's rows as a render pass over a few canvas rows needs them: a 32-bit pixel,
// a mask bit in the layer's colour or an 8-bit strength at a canvas column of the row fetched
// last. Each pass (and each of its threads) keeps its own readers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include <vector>

#include "core/PercentTables.h"
#include "layers/Layer.h"
#include "layers/StoreMapping.h"
#include "layers/StoredDib.h"
#include "store/RowCursor.h"

namespace zelvo {

struct LayerRows {
    const Layer* layer;
    std::unique_ptr<RowReader> reader;
    const uint8_t* mapped = nullptr;  // stored row 0, when read in place
    const uint8_t* row = nullptr;
    uint32_t colorWord;

    // With `mapping`, the rows are read in place when it can cover them: a tile then touches
    // only the pages of its own columns instead of copying whole rows.
    explicit LayerRows(const Layer* l, StoreMapping* mapping = nullptr)
        : layer(l), colorWord(StoredDib::PixelWord(l->Color(), 100)) {
        if (mapping) mapped = MapRows(*l, *mapping);
        if (!mapped)
            reader = std::make_unique<RowReader>(
                l->Store(), l->Block(), l->RowsOffset(), l->Stride(), uint32_t(l->Height()),
                std::max<uint64_t>(l->Stride(), uint64_t(256) << 10));
    }

    static const uint8_t* MapRows(const Layer& l, StoreMapping& mapping) {
        if (!l.HasPixels()) return nullptr;
        const FileDynamicStore& store = l.Store();
        const FileDynamicStore::Span payload = store.Payload(l.Block());
        const uint64_t bytes = uint64_t(l.Stride()) * uint64_t(l.Height());
        if (payload.length < l.RowsOffset() || payload.length - l.RowsOffset() < bytes)
            return nullptr;
        const uint64_t at = payload.offset + l.RowsOffset();
        return mapping.Cover(store, at + bytes) ? mapping.At(at, bytes) : nullptr;
    }

    void Fetch(int32_t cy) {
        const int32_t stored = layer->StoredRowOf(cy);
        if (stored < 0 || stored >= layer->Height())
            row = nullptr;
        else if (mapped)
            row = mapped + size_t(stored) * layer->Stride();
        else
            row = reader->Row(uint32_t(stored));
    }
    // The pixel word at canvas column cx (0 where the layer has none).
    uint32_t At(int32_t cx) const {
        if (!row) return 0;
        const int32_t c = cx - layer->Position().x;
        if (c < 0 || c >= layer->Width()) return 0;
        if (layer->BitsPerPixel() == 1) return (row[c >> 3] >> (7 - (c & 7))) & 1 ? colorWord : 0u;
        uint32_t w;
        std::memcpy(&w, row + 4 * size_t(c), 4);
        return w;
    }
    // The byte of an 8-bit layer (a selection strength) at canvas column cx, 0 outside it.
    uint8_t ByteAt(int32_t cx) const {
        if (!row) return 0;
        const int32_t c = cx - layer->Position().x;
        return c >= 0 && c < layer->Width() ? row[c] : uint8_t(0);
    }
};

inline bool Shows(const Layer* l) {
    return l && l->Kind() != LayerKind::Null && l->IsVisible() && l->HasPixels() &&
           (l->BitsPerPixel() == 32 || l->BitsPerPixel() == 1);
}

// The readers of the shown layers other than the current one (index `current`), top first,
// with their places in the list.
inline void SplitSources(const std::vector<LayerPtr>& layers, int32_t current,
                         std::vector<std::unique_ptr<LayerRows>>& sources,
                         std::vector<int32_t>& index, StoreMapping* mapping = nullptr) {
    for (int32_t i = int32_t(layers.size()) - 1; i >= 0; --i) {
        if (i == current) continue;
        const Layer* l = layers[size_t(i)].get();
        if (!Shows(l) || l->Opacity() == 0) continue;
        sources.push_back(std::make_unique<LayerRows>(l, mapping));
        index.push_back(i);
    }
}

// The layer stack split at the current layer for one canvas pixel at column cx of the rows
// fetched last. `sources` are the shown layers other than the current one, top first, and
// `index` their places in the list. `above` gets the partial sums of the layers over the
// current one and, in its fourth byte, the coverage they leave; `below` the composite of the
// layers under it over white, opaque.
inline void SplitPixel(const std::vector<std::unique_ptr<LayerRows>>& sources,
                       const std::vector<int32_t>& index, int32_t current, int32_t cx,
                       const PercentTables& tables, uint32_t& above, uint32_t& below) {
    int32_t cov = 100, b = 0, g = 0, r = 0;
    size_t k = 0;
    auto blend = [&](const LayerRows& src) {
        const uint32_t p = src.At(cx);
        const int32_t a = std::min<int32_t>(int32_t(p >> 24), 255);
        const int32_t in =
            std::min<int32_t>(tables.T10000(a, int32_t(src.layer->Opacity()) * cov), 100);
        b += tables.T100(int32_t(p & 0xFF), in);
        g += tables.T100(int32_t((p >> 8) & 0xFF), in);
        r += tables.T100(int32_t((p >> 16) & 0xFF), in);
        cov -= in;
    };
    for (; k < sources.size() && index[k] > current; ++k)
        if (cov > 0) blend(*sources[k]);
    above = uint32_t(std::max(cov, 0)) << 24 | uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 |
            uint32_t(b & 0xFF);
    cov = 100;
    b = g = r = 0;
    for (; k < sources.size(); ++k)
        if (cov > 0) blend(*sources[k]);
    if (cov > 0) {
        const int32_t white = tables.T100(255, cov);
        b += white;
        g += white;
        r += white;
    }
    below = 0x64000000u | uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 | uint32_t(b & 0xFF);
}

// The shown B, G, R of a pixel from its split and the current layer's word `p` at `opacity`:
// above + (K x current + (u - K) x below) / 100, K the current alpha's share of the coverage u.
inline uint32_t ComposePixel(uint32_t above, uint32_t below, uint32_t p, int32_t opacity,
                             const PercentTables& tables) {
    const int32_t left = int32_t(above >> 24);
    int32_t h = std::min<int32_t>(int32_t(p >> 24), 100);
    if (opacity < 100) h = tables.T100(h, opacity);
    const int32_t k = tables.T100(h, left);
    uint32_t word = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t c =
            int32_t((above >> shift) & 0xFF) +
            (k * int32_t((p >> shift) & 0xFF) + (left - k) * int32_t((below >> shift) & 0xFF)) /
                100;
        word |= uint32_t(c & 0xFF) << shift;
    }
    return word;
}

}  // namespace zelvo
