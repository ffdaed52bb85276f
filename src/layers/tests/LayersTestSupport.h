// Shared by the layer tests: a real scratch store in a fresh folder, and RAM copies of layers
// with a compositing reference written straight from the rule, pixel by pixel.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "layers/Layer.h"
#include "testsupport/PixelTestSupport.h"
#include "testsupport/StoreTestSupport.h"

namespace zelvo::test {

// The store opened before every test.
class StoreTest : public StoreFixture {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenStore()); }
};

// A RAM copy of one layer as the reference sees it.
struct RefLayer {
    LayerKind kind = LayerKind::Null;
    int32_t x = 0, y = 0, width = 0, height = 0;
    int32_t opacity = 100;
    bool visible = true;
    ColorRef color = 0;
    std::vector<uint32_t> pixels;  // top row first; for masks 0 or 1
};

// The compositing rule for canvas point (cx, cy), layers bottom first, written plainly.
inline void ReferencePixel(const std::vector<RefLayer>& layers, int32_t cx, int32_t cy,
                           uint8_t bgr[3]) {
    int cov = 100, b = 0, g = 0, r = 0;
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        const RefLayer& l = *it;
        if (l.kind == LayerKind::Null || !l.visible) continue;
        const int col = cx - l.x, row = cy - l.y;
        if (col < 0 || col >= l.width || row < 0 || row >= l.height) continue;
        const uint32_t v = l.pixels[size_t(row) * size_t(l.width) + size_t(col)];
        int pb, pg, pr, a;
        if (l.kind == LayerKind::Pixel) {
            pb = int(v & 255);
            pg = int((v >> 8) & 255);
            pr = int((v >> 16) & 255);
            a = int(v >> 24);
        } else if (v) {
            pb = BlueOf(l.color);
            pg = GreenOf(l.color);
            pr = RedOf(l.color);
            a = 100;
        } else {
            pb = pg = pr = a = 0;
        }
        const int in = l.opacity * a * cov / 10000;
        b += in * pb / 100;
        g += in * pg / 100;
        r += in * pr / 100;
        cov -= in;
        if (cov <= 0) break;
    }
    if (cov > 0) {
        b += cov * 255 / 100;
        g += cov * 255 / 100;
        r += cov * 255 / 100;
    }
    bgr[0] = uint8_t(b);
    bgr[1] = uint8_t(g);
    bgr[2] = uint8_t(r);
}

// Copies a RAM layer's pixels into a store layer of the same kind and size.
inline void WriteLayer(Layer& layer, const RefLayer& ref) {
    for (int32_t row = 0; row < ref.height; ++row)
        for (int32_t col = 0; col < ref.width; ++col) {
            const uint32_t v = ref.pixels[size_t(row) * size_t(ref.width) + size_t(col)];
            if (ref.kind == LayerKind::Pixel)
                SetPixel(layer, col, row, v);
            else
                SetBit(layer, col, row, v != 0);
        }
}

}  // namespace zelvo::test
