// Shared by the geometry tests: a document (scratch store, layer manager, history) over a real
// store in a fresh folder, pixel layers made from a formula, and read-back helpers that give a
// layer's pixels and the whole document's state as plain values to compare.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "curves/Curve.h"
#include "geometry/Geometry.h"
#include "layers/TextLayer.h"
#include "testsupport/LayersFixture.h"

namespace zelvo::test {

// A layer's pixels, top row first.
using Pixels = std::vector<std::vector<uint32_t>>;

struct CanvasHost : HistoryHost {
    int canvasChanges = 0;
    void CanvasSizeChanged() override { ++canvasChanges; }
};

// What a layer object is, as far as undo must restore it.
struct LayerFacts {
    const Layer* object = nullptr;
    int32_t id = 0;
    LayerKind kind = LayerKind::Null;
    Rect bounds;
    bool current = false;
    bool visible = true;
    int32_t opacity = 100;
    Pixels pixels;
    TextSettings text;
    std::vector<CurveAnchor> anchors;
    bool operator==(const LayerFacts&) const = default;
};

struct DocumentFacts {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<LayerFacts> layers;
    bool operator==(const DocumentFacts&) const = default;
};

class GeometryTest : public LayersFixture {
protected:
    // A document of w x h whose first layer holds `word(x, y)`.
    template <class F>
    void MakeDocument(int32_t w, int32_t h, F word) {
        ASSERT_NO_FATAL_FAILURE(MakeLayers(w, h, &host));
        ASSERT_TRUE(layers->CreateFirstLayer(w, h));
        Fill(*layers->LayerAt(0), word);
        StateExtra extra;
        extra.values = {w, h};
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "New Image", extra);
    }
    void MakeDocument(int32_t w, int32_t h) {
        MakeDocument(w, h, [](int32_t, int32_t) { return 0x64FFFFFFu; });
    }
    void TearDown() override {
        ReleaseLayers();
        ExpectStoreEmpty();
    }

    // Writes word(x, y) (canvas coordinates) into every pixel of a 32-bit layer.
    template <class F>
    static void Fill(Layer& l, F word) {
        const Rect r = l.Bounds();
        for (int32_t y = r.top; y < r.bottom; ++y) {
            uint8_t* row = l.Rows()->Row(uint32_t(l.StoredRowOf(y)));
            for (int32_t x = r.left; x < r.right; ++x) {
                const uint32_t v = word(x, y);
                std::memcpy(row + 4 * size_t(x - r.left), &v, 4);
            }
        }
        l.ReleaseRows();
    }

    // A pixel layer over `r` holding word(x, y), put above the current layer (recorded).
    template <class F>
    LayerPtr AddPixelLayer(const Rect& r, F word) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(r.Width(), r.Height(), LayerKind::Pixel, layers->NextId()));
        l->SetSerial(layers->NextSerial());
        l->SetPosition(r.left, r.top);
        Fill(*l, word);
        return Insert(l);
    }
    LayerPtr AddNullLayer() {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(0, 0, LayerKind::Null, layers->NextId()));
        l->SetSerial(layers->NextSerial());
        return Insert(l);
    }
    LayerPtr AddTextLayer(const std::string& text, int32_t x, int32_t y, int32_t size) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(image.width, image.height, LayerKind::Text, layers->NextId()));
        l->SetSerial(layers->NextSerial());
        l->Text().text = text;
        l->Text().originX = x;
        l->Text().originY = y;
        l->Text().fontSize = size;
        RenderText(*l);
        return Insert(l);
    }
    // A closed, filled curve through the given corner points.
    LayerPtr AddCurveLayer(const std::vector<Point>& points) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(image.width, image.height, LayerKind::Curve, layers->NextId()));
        l->SetSerial(layers->NextSerial());
        for (const Point& p : points) l->Anchors().push_back({p, p, p, kAnchorLinked});
        l->SetClosed(true);
        RenderCurve(*l);
        return Insert(l);
    }
    LayerPtr Insert(const LayerPtr& l) {
        const int at = layers->CurrentIndex();
        layers->InsertAt(at + 1, l);
        layers->SelectLayerById(l->Id(), 0, 0);
        history->RecordState(l, {}, kStateNewLayer, at, "New Layer");
        l->ReleaseRows();
        return l;
    }

    static Pixels ReadPixels(Layer& l) {
        Pixels p;
        if (l.Kind() != LayerKind::Pixel || !l.HasPixels()) return p;
        for (int32_t y = 0; y < l.Height(); ++y) {
            const uint8_t* row = l.Rows()->Row(uint32_t(l.Height() - 1 - y));
            std::vector<uint32_t> line(static_cast<size_t>(l.Width()));
            std::memcpy(line.data(), row, 4 * line.size());
            p.push_back(std::move(line));
        }
        l.ReleaseRows();
        return p;
    }
    // The set bits of a text or curve mask, top row first.
    static std::vector<std::vector<int>> ReadMask(Layer& l) {
        std::vector<std::vector<int>> m;
        for (int32_t y = 0; y < l.Height(); ++y) {
            const uint8_t* row = l.Rows()->Row(uint32_t(l.Height() - 1 - y));
            std::vector<int> line(static_cast<size_t>(l.Width()));
            for (int32_t x = 0; x < l.Width(); ++x)
                line[size_t(x)] = (row[x / 8] >> (7 - x % 8)) & 1;
            m.push_back(std::move(line));
        }
        l.ReleaseRows();
        return m;
    }

    DocumentFacts Facts() {
        DocumentFacts d{image.width, image.height, {}};
        for (const LayerPtr& l : layers->Layers()) {
            d.layers.push_back({l.get(), l->Id(), l->Kind(), l->Bounds(), l->IsCurrent(),
                                l->IsVisible(), l->Opacity(), ReadPixels(*l), l->Text(),
                                l->Anchors()});
        }
        return d;
    }
    std::string LastStateName() const {
        return history->States().empty() ? std::string()
                                         : StateDisplayName(history->States().back());
    }
    LayerPtr Current() { return layers->LayerAt(layers->CurrentIndex()); }
    // Undoes the newest state and redoes it again.
    void Undo() { history->GoToState(history->CurrentStateIndex() - 1, 0); }
    void Redo() { history->GoToState(history->CurrentStateIndex() + 1, 0); }

    CanvasHost host;
};

// A distinct opaque word for every canvas point.
inline uint32_t Distinct(int32_t x, int32_t y) {
    return 0x64000000u | (uint32_t(x & 0xFFF) << 12) | uint32_t(y & 0xFFF);
}

}  // namespace zelvo::test
