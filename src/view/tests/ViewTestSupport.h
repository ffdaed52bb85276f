// A workspace in a temporary folder with documents of random layers, and readers of the
// display buffer and of the tiles as they would be placed on screen.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "layers/StoredDib.h"
#include "testsupport/DocumentTestSupport.h"
#include "view/DisplayRefresher.h"
#include "view/TileRenderer.h"

namespace zelvo::test {

class ViewFixture : public DocumentFixture {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeWorkspace(1024, 768)); }

    // Writes every pixel of a 32-bit layer from `pixel(col, topRow)`.
    template <typename F>
    static void Paint(Layer& layer, F pixel) {
        for (int32_t r = 0; r < layer.Height(); ++r) {
            uint8_t* row = layer.Rows()->Row(uint32_t(StoredDib::StoredRow(r, layer.Height())));
            ASSERT_NE(row, nullptr);
            if (layer.BitsPerPixel() == 32) {
                for (int32_t c = 0; c < layer.Width(); ++c) {
                    const uint32_t w = pixel(c, r);
                    std::memcpy(row + 4 * size_t(c), &w, 4);
                }
            } else {
                const uint32_t stride = layer.Stride();
                for (uint32_t b = 0; b < stride; ++b) row[b] = uint8_t(pixel(int32_t(b), r));
            }
        }
        layer.ReleaseRows();
    }

    // A document with `count` random layers (pixel layers partly outside the canvas, a mask
    // layer, hidden ones, varied opacity) and a random current layer.
    std::unique_ptr<Image> RandomDocument(std::mt19937& rng, int32_t w, int32_t h, int count) {
        auto image = NewImage(w, h);
        LayerManager& lm = image->Layers();
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        Paint(*lm.LayerAt(0),
              [&](int32_t, int32_t) { return uint32_t(100) << 24 | uint32_t(rng() & 0xFFFFFF); });
        for (int i = 1; i < count; ++i) {
            const bool mask = pick(0, 4) == 0;
            const int32_t lw = pick(1, w + 20), lh = pick(1, h + 20);
            LayerPtr layer = lm.AppendLayer(lw, lh, mask ? LayerKind::Text : LayerKind::Pixel);
            EXPECT_TRUE(layer);
            if (!layer) return image;
            layer->SetPosition(pick(-10, w - 1), pick(-10, h - 1));
            layer->SetOpacity(pick(0, 4) == 0 ? 100 : pick(0, 100));
            layer->SetVisible(pick(0, 6) != 0);
            if (mask)
                layer->SetColor(
                    Rgb(uint8_t(pick(0, 255)), uint8_t(pick(0, 255)), uint8_t(pick(0, 255))));
            const int alphaMode = pick(0, 2);
            Paint(*layer, [&](int32_t, int32_t) {
                const uint32_t a = alphaMode == 0   ? 100u
                                   : alphaMode == 1 ? uint32_t(pick(0, 100))
                                                    : (pick(0, 1) ? 100u : 0u);
                return mask ? uint32_t(rng() & 0xFF) : a << 24 | uint32_t(rng() & 0xFFFFFF);
            });
        }
        lm.SelectLayerByIndex(pick(1, lm.LayerCount()));
        return image;
    }

public:
    // The display buffer pixel at screen position (x, y) (B, G, R of the word).
    static uint32_t DisplayPixel(Layer& display, int32_t x, int32_t y) {
        uint32_t w;
        const uint8_t* row =
            display.Rows()->Row(uint32_t(StoredDib::StoredRow(y, display.Height())));
        std::memcpy(&w, row + 4 * size_t(x), 4);
        return w;
    }

    // The tile word the grid places at client position (x, y).
    static uint32_t TileWord(DisplayRefresher& refresher, int32_t x, int32_t y) {
        const TilePlacement& g = refresher.Renderer().Grid();
        const int32_t c = (x - g.originX) / TileCache::kTileSize,
                      r = (y - g.originY) / TileCache::kTileSize;
        const int32_t u = (x - g.originX) % TileCache::kTileSize,
                      v = (y - g.originY) % TileCache::kTileSize;
        return refresher.Cache().At(r, c).out[size_t(v) * TileCache::kTileSize + size_t(u)];
    }
};

}  // namespace zelvo::test
