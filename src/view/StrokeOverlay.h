// A brush stroke in progress as the display shows it: wherever a record of the stroke work
// block has non-zero coverage, its finished pixel stands for the stroke layer's pixel, so the
// picture shows the paint before the commit writes it into the layer. The painter grows the
// painted bounds as it goes; the display refresher reads them.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>

#include "core/Types.h"
#include "layers/Layer.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

class Image;

class StrokeOverlay {
public:
    StrokeOverlay(const FileDynamicStore& store, BlockHandle records, int32_t width, int32_t height,
                  LayerPtr layer)
        : m_store(store),
          m_records(records),
          m_width(width),
          m_height(height),
          m_layer(std::move(layer)) {}

    const FileDynamicStore& Store() const { return m_store; }
    BlockHandle Records() const { return m_records; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    const Layer* StrokeLayer() const { return m_layer.get(); }

    // Any thread: the bounds only grow, each edge on its own, so a reader sees at worst a
    // little less than was painted and the painter's next refresh covers the rest.
    void Grow(const Rect& r) {
        if (r.IsEmpty()) return;
        Lower(m_left, r.left);
        Lower(m_top, r.top);
        Raise(m_right, r.right);
        Raise(m_bottom, r.bottom);
    }
    Rect Bounds() const {
        const Rect r{m_left.load(), m_top.load(), m_right.load(), m_bottom.load()};
        return r.left < r.right && r.top < r.bottom ? r : Rect{};
    }

private:
    static void Lower(std::atomic<int32_t>& edge, int32_t v) {
        int32_t now = edge.load();
        while (v < now && !edge.compare_exchange_weak(now, v)) {
        }
    }
    static void Raise(std::atomic<int32_t>& edge, int32_t v) {
        int32_t now = edge.load();
        while (v > now && !edge.compare_exchange_weak(now, v)) {
        }
    }

    const FileDynamicStore& m_store;
    const BlockHandle m_records;
    const int32_t m_width, m_height;
    const LayerPtr m_layer;
    std::atomic<int32_t> m_left{INT32_MAX}, m_top{INT32_MAX};
    std::atomic<int32_t> m_right{INT32_MIN}, m_bottom{INT32_MIN};
};

// User-interface thread: the refresher draws `overlay` over `image` from its next pass on
// (null: the stroke is over). Taken under the image's render hold.
void ShowStroke(Image& image, std::shared_ptr<StrokeOverlay> overlay);

}  // namespace zelvo
