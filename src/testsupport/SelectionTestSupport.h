// Shared by the selection tests: a document's layer manager and history over a real scratch
// store, and helpers to make masks and layers from plain arrays and to
// read them back as canvas-sized arrays.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "layers/StoredDib.h"
#include "selection/SelectionMask.h"
#include "testsupport/LayersFixture.h"

namespace zelvo::test {

// Strengths or alphas of the whole canvas, row by row.
using Grid = std::vector<std::vector<int>>;

struct ForgettingHost : HistoryHost {
    LayerManager* layers = nullptr;
    bool toolBusy = false;
    bool ToolBusy() override { return toolBusy; }
    // As the document does.
    void ForgetDeselected(const Layer* s) override {
        if (layers && layers->LastDeselected().get() == s) layers->SetLastDeselected(nullptr, 0, 0);
    }
};

class SelectionTest : public LayersFixture {
protected:
    void MakeDocument(int32_t w, int32_t h) {
        ASSERT_NO_FATAL_FAILURE(MakeLayers(w, h, &host));
        host.layers = layers.get();
        ASSERT_TRUE(layers->CreateFirstLayer(w, h));
        ASSERT_TRUE(layers->LayerAt(0)->FillColor(Rgb(255, 255, 255), 100, 100, false));
        StateExtra extra;
        extra.values = {w, h};
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "New Image", extra);
    }
    void SetUp() override { MakeDocument(kW, kH); }
    void TearDown() override {
        ReleaseLayers();
        ExpectStoreEmpty();
    }

    static constexpr int32_t kW = 24;
    static constexpr int32_t kH = 18;

    // A mask holding grid[y - r.top][x - r.left] over r.
    LayerPtr MakeMask(const Rect& r, const Grid& grid) {
        LayerPtr m = CreateSelectionMask(*layers, r);
        EXPECT_TRUE(m);
        for (int32_t y = r.top; y < r.bottom; ++y) {
            uint8_t* row = MaskRow(*m, y);
            for (int32_t x = r.left; x < r.right; ++x)
                row[x - r.left] = uint8_t(grid[size_t(y - r.top)][size_t(x - r.left)]);
        }
        return m;
    }
    // Makes `grid` (canvas sized) the selection over `r` as a new selection.
    void Select(const Rect& r, const Grid& canvasGrid) {
        Grid part;
        for (int32_t y = r.top; y < r.bottom; ++y)
            part.emplace_back(canvasGrid[size_t(y)].begin() + r.left,
                              canvasGrid[size_t(y)].begin() + r.right);
        SetSelection(*history, MakeMask(r, part),
                     layers->Selection() ? kSelectionModify : kSelectionNew);
    }
    Grid Canvas(int value = 0) const {
        return Grid(size_t(image.height), std::vector<int>(size_t(image.width), value));
    }
    // The selection's strength at every canvas pixel.
    Grid Strengths() {
        Grid g = Canvas();
        LayerPtr m = layers->Selection();
        if (!m) return g;
        for (int32_t y = 0; y < image.height; ++y) {
            std::vector<uint8_t> line(static_cast<size_t>(image.width));
            ReadMaskRow(*m, y, 0, image.width, line.data());
            for (int32_t x = 0; x < image.width; ++x) g[size_t(y)][size_t(x)] = line[size_t(x)];
        }
        return g;
    }
    std::string LastStateName() const {
        return history->States().empty() ? std::string()
                                         : StateDisplayName(history->States().back());
    }

    // A pixel layer over `r` whose pixel (x, y) is `word(x, y)`, inserted above the current.
    template <class F>
    LayerPtr AddPixelLayer(const Rect& r, F word) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(r.Width(), r.Height(), LayerKind::Pixel, layers->NextId()));
        l->SetSerial(layers->NextSerial());
        l->SetPosition(r.left, r.top);
        for (int32_t y = r.top; y < r.bottom; ++y) {
            uint8_t* row = l->Rows()->Row(uint32_t(l->StoredRowOf(y)));
            for (int32_t x = r.left; x < r.right; ++x) {
                const uint32_t v = word(x, y);
                std::memcpy(row + 4 * size_t(x - r.left), &v, 4);
            }
        }
        l->ReleaseRows();
        const int at = layers->CurrentIndex();
        layers->InsertAt(at + 1, l);
        layers->SelectLayerById(l->Id(), 0, 0);
        history->RecordState(l, {}, kStateNewLayer, at, "New Layer");
        return l;
    }
    // The 32-bit word of a layer at canvas (x, y).
    static uint32_t PixelAt(Layer& l, int32_t x, int32_t y) {
        uint32_t v;
        const uint8_t* row = l.Rows()->Row(uint32_t(l.StoredRowOf(y)));
        std::memcpy(&v, row + 4 * size_t(x - l.Bounds().left), 4);
        return v;
    }
    LayerPtr Current() { return layers->LayerAt(layers->CurrentIndex()); }

    ForgettingHost host;
};

// The tent filter by its definition (radius L, |k| <= L - 1 inside the line).
inline std::vector<int> DirectTent(const std::vector<int>& in, int L) {
    const int n = int(in.size());
    std::vector<int> out(in.size());
    for (int x = 0; x < n; ++x) {
        long long s = 0, w = 0;
        for (int k = -(L - 1); k <= L - 1; ++k) {
            if (x + k < 0 || x + k >= n) continue;
            s += (long long)(L - std::abs(k)) * in[size_t(x + k)];
            w += L - std::abs(k);
        }
        out[size_t(x)] = int(s / w);
    }
    return out;
}

}  // namespace zelvo::test
