// Shared by the layer tests: a real scratch store in a fresh folder, and RAM copies of layers
// with a compositing reference written straight from the rule, pixel by pixel.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/PercentTables.h"
#include "layers/Layer.h"
#include "layers/StoredDib.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "testsupport/TempDir.h"

namespace zelvo::test {

inline const PercentTables& SharedTables() {
    static const PercentTables tables;
    return tables;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        disks.otherAvailable = uint64_t(1) << 40;
        disks.disks.push_back({dir.Path(), true, uint64_t(1) << 40});
        store = std::make_unique<FileDynamicStore>(disks);
        ASSERT_TRUE(store->Open(dir.Path())) << messages.Last();
    }

    TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
    std::unique_ptr<FileDynamicStore> store;
};

// Picture row r (from the top) of a layer's buffer.
inline uint8_t* TopRow(Layer& layer, int32_t r) {
    return layer.Rows()->Row(uint32_t(StoredDib::StoredRow(r, layer.Height())));
}

inline uint32_t PixelAt(Layer& layer, int32_t col, int32_t topRow) {
    uint32_t v;
    std::memcpy(&v, TopRow(layer, topRow) + 4 * size_t(col), 4);
    return v;
}

inline void SetPixel(Layer& layer, int32_t col, int32_t topRow, uint32_t word) {
    std::memcpy(TopRow(layer, topRow) + 4 * size_t(col), &word, 4);
}

inline void SetBit(Layer& layer, int32_t col, int32_t topRow, bool on) {
    uint8_t& byte = TopRow(layer, topRow)[col / 8];
    const uint8_t mask = uint8_t(0x80 >> (col % 8));
    byte = on ? uint8_t(byte | mask) : uint8_t(byte & ~mask);
}

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
