// Shared by the history tests: a host that counts what the history asks, and helpers to make
// and read small pixel layers.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "testsupport/LayersFixture.h"
#include "testsupport/PixelTestSupport.h"

namespace zelvo::test {

struct CountingHost : HistoryHost {
    int modifiedSets = 0;
    bool modified = false;
    int canvasChanges = 0;
    int redraws = 0;
    int stops = 0;
    int resumes = 0;
    int busyPolls = 0;
    int busyAnswers = 0;  // how many polls answer "busy" before the compositor is idle
    bool toolBusy = false;
    int textSwaps = 0;
    int curveLoads = 0;
    bool curveLoadOk = true;
    std::vector<std::pair<int32_t, int32_t>> curveMoves;
    std::vector<const Layer*> forgotten;

    void SetModified(bool m) override {
        ++modifiedSets;
        modified = m;
    }
    void CanvasSizeChanged() override { ++canvasChanges; }
    void Redraw() override { ++redraws; }
    void RequestCompositingStop() override { ++stops; }
    bool CompositingBusy() override {
        ++busyPolls;
        return busyPolls <= busyAnswers;
    }
    void ResumeCompositing() override { ++resumes; }
    bool ToolBusy() override { return toolBusy; }
    bool LoadCurveSnapshot(Layer&, BlockHandle, bool) override {
        ++curveLoads;
        return curveLoadOk;
    }
    void MoveCurve(Layer&, int32_t dx, int32_t dy) override { curveMoves.push_back({dx, dy}); }
    void ForgetDeselected(const Layer* l) override { forgotten.push_back(l); }
};

class HistoryTest : public LayersFixture {
protected:
    static constexpr int32_t kW = 8;
    static constexpr int32_t kH = 6;

    void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeLayers(kW, kH, &host)); }
    void TearDown() override {
        ReleaseLayers();
        ExpectStoreEmpty();
    }

    // A new document: one opaque layer of the canvas size in `color`, and state 1.
    LayerPtr OpenImage(ColorRef color) {
        EXPECT_TRUE(layers->CreateFirstLayer(kW, kH));
        LayerPtr first = layers->LayerAt(0);
        EXPECT_TRUE(first->FillColor(color, 100, 100, false));
        StateExtra extra;
        extra.values = {kW, kH};
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "New Image", extra);
        return first;
    }

    // A pixel layer made as the layer commands make one, inserted above the current layer.
    LayerPtr NewPixelLayer(ColorRef color, int32_t alpha, int32_t w = kW, int32_t h = kH,
                           int32_t x = 0, int32_t y = 0) {
        auto l = std::make_shared<Layer>(*store);
        EXPECT_TRUE(l->Create(w, h, LayerKind::Pixel, layers->NextId()));
        l->SetSerial(layers->NextSerial());
        EXPECT_TRUE(l->FillColor(color, alpha, 100, false));
        l->SetPosition(x, y);
        const int at = layers->CurrentIndex();
        layers->InsertAt(at + 1, l);
        layers->SelectLayerById(l->Id(), 0, 0);
        history->RecordState(l, {}, kStateDuplicateLayer, at, "Duplicate Layer");
        return l;
    }

    int DistinctHeldBlocks() const { return int(store->UsedCount()); }

    // The composite as B, G, R triples, top row first.
    std::vector<uint8_t> Flat() {
        std::vector<uint8_t> out(size_t(image.width) * size_t(image.height) * 3);
        EXPECT_TRUE(layers->RenderFlat(out.data(), size_t(image.width) * 3, 24, kFormatPng, 0));
        return out;
    }

    CountingHost host;
};

}  // namespace zelvo::test
