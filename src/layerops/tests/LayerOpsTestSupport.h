// Shared by the layer operation tests: a real scratch store in a fresh folder, a layer
// manager and history over it, and helpers to make and read small layers of every kind.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "curves/Curve.h"
#include "history/HistoryManager.h"
#include "history/LayerListOps.h"
#include "layerops/LayerStack.h"
#include "layers/LayerManager.h"
#include "layers/StoredDib.h"
#include "layers/TextLayer.h"
#include "store/RowCursor.h"
#include "testsupport/FeedbackTestSupport.h"
#include "testsupport/PixelTestSupport.h"
#include "testsupport/StoreTestSupport.h"

namespace zelvo::test {

struct OpsHost : HistoryHost {
    bool toolBusy = false;
    int redraws = 0;
    void Redraw() override { ++redraws; }
    bool ToolBusy() override { return toolBusy; }
    bool SwapTextOrigin(Layer& layer, Point& origin) override {
        zelvo::SwapTextOrigin(layer, origin);
        return true;
    }
};

// A document on a real store: its layer manager, history and canvas.
struct Doc {
    Doc(FileDynamicStore& store, int32_t w, int32_t h) {
        image.width = w;
        image.height = h;
        image.visible = {0, 0, w, h};
        layers = std::make_unique<LayerManager>(store, SharedTables(), image, 16, 16);
        history = std::make_unique<HistoryManager>(*layers, &host);
    }
    ~Doc() {
        history.reset();
        layers.reset();
    }
    ImageGeometry image;
    OpsHost host;
    std::unique_ptr<LayerManager> layers;
    std::unique_ptr<HistoryManager> history;
};

class LayerOpsTest : public StoreFixture {
protected:
    static constexpr int32_t kW = 16;
    static constexpr int32_t kH = 12;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(OpenStore());
        doc = std::make_unique<Doc>(*store, kW, kH);
    }
    void TearDown() override {
        doc.reset();
        ExpectStoreEmpty("a block was leaked");
    }

    LayerManager& Lm() { return *doc->layers; }
    HistoryManager& History() { return *doc->history; }

    // A new document: an opaque white layer of the canvas size, and state 1.
    LayerPtr OpenImage(ColorRef color = Rgb(255, 255, 255)) {
        EXPECT_TRUE(Lm().CreateFirstLayer(kW, kH));
        LayerPtr first = Lm().LayerAt(0);
        EXPECT_TRUE(first->FillColor(color, 100, 100, false));
        StateExtra extra;
        extra.values = {kW, kH};
        History().RecordState(nullptr, Lm().Layers(), kStateOpenImage, 0, "New Image", extra);
        return first;
    }

    // A pixel layer above the current one ("Paste"), every pixel `word`.
    LayerPtr AddPixel(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t word) {
        LayerPtr l = PasteAsLayer(History(), w, h);
        EXPECT_TRUE(l);
        l->SetPosition(x, y);
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c) SetPixel(*l, c, r, word);
        return l;
    }

    // A text layer of the canvas size above the current one, rendered.
    LayerPtr AddText(const std::string& text, int32_t x, int32_t y, ColorRef color,
                     int32_t size = 10) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(kW, kH, LayerKind::Text, Lm().NextId()));
        l->SetSerial(Lm().NextSerial());
        l->Text().text = text;
        l->Text().originX = x;
        l->Text().originY = y;
        l->Text().fontSize = size;
        l->SetColor(color);
        RenderText(*l);
        Insert(l, kStateNewText, "New Text Layer");
        return l;
    }

    // A curve layer of the canvas size above the current one with these corner anchors.
    LayerPtr AddCurve(const std::vector<Point>& points, bool closed, bool filled, ColorRef color) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(kW, kH, LayerKind::Curve, Lm().NextId()));
        l->SetSerial(Lm().NextSerial());
        for (const Point& p : points) l->Anchors().push_back({p, p, p, kAnchorLinked});
        l->SetClosed(closed);
        l->SetFilled(filled);
        l->SetColor(color);
        RenderCurve(*l);
        Insert(l, kStateNewCurve, "");
        return l;
    }

    void Insert(const LayerPtr& l, int32_t kind, const std::string& name) {
        const int below = Lm().CurrentIndex();
        Lm().InsertAt(below + 1, l);
        MakeCurrentAt(Lm(), below + 1);
        History().RecordState(l, {}, kind, below, name);
    }

    // Every stored byte of the layer's rows.
    static std::vector<uint8_t> Bytes(Layer& layer) {
        std::vector<uint8_t> out;
        for (int32_t r = 0; r < layer.Height(); ++r) {
            const uint8_t* row = layer.Rows()->Row(uint32_t(r));
            out.insert(out.end(), row, row + layer.Stride());
        }
        return out;
    }
    std::vector<std::string> StateNames() {
        std::vector<std::string> out;
        for (const HistoryState& s : History().States()) out.push_back(StateDisplayName(s));
        return out;
    }
    std::vector<const Layer*> Order() {
        std::vector<const Layer*> out;
        for (const LayerPtr& l : Lm().Layers()) out.push_back(l.get());
        return out;
    }

    std::unique_ptr<Doc> doc;
};

}  // namespace zelvo::test
