// Shared by the curve and text tests: a real scratch store, a document's layer manager and
// history over it, and a host that forwards the history's text and curve hooks as the document
// does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>

#include "curves/Curve.h"
#include "curves/CurveEdit.h"
#include "curves/TextEdit.h"
#include "history/LayerListOps.h"
#include "layers/StoredDib.h"
#include "layers/TextLayer.h"
#include "platform/MaskPainter.h"
#include "testsupport/LayersFixture.h"

namespace zelvo::test {

struct VectorHost : HistoryHost {
    CurveEdit* curves = nullptr;
    bool SwapTextOrigin(Layer& layer, Point& origin) override {
        zelvo::SwapTextOrigin(layer, origin);
        return true;
    }
    void MoveCurve(Layer& layer, int32_t dx, int32_t dy) override {
        zelvo::MoveCurve(layer, dx, dy);
    }
    BlockHandle WriteCurveSnapshot(Layer& layer) override { return curves->WriteSnapshot(layer); }
    bool LoadCurveSnapshot(Layer& layer, BlockHandle block, bool after) override {
        return curves->LoadSnapshot(layer, block, after);
    }
};

using Ink = std::set<std::pair<int32_t, int32_t>>;

// Canvas points whose mask bit is set (the layer sits at (0, 0)).
inline Ink MaskInk(Layer& layer) {
    Ink ink;
    RowCursor* rows = layer.Rows();
    for (int32_t y = 0; y < layer.Height(); ++y) {
        const uint8_t* row = rows->Row(uint32_t(StoredDib::StoredRow(y, layer.Height())));
        for (int32_t x = 0; x < layer.Width(); ++x)
            if ((row[x >> 3] >> (7 - (x & 7))) & 1) ink.insert({x, y});
    }
    return ink;
}

class VectorTest : public LayersFixture {
protected:
    void SetUp() override { Canvas(64, 48); }
    void TearDown() override {
        texts.reset();
        curves.reset();
        ReleaseLayers();
    }

    // A document of w x h with one white pixel layer, recorded as "New Image".
    void Canvas(int32_t w, int32_t h) {
        texts.reset();
        curves.reset();
        ASSERT_NO_FATAL_FAILURE(MakeLayers(w, h, &host));
        curves = std::make_unique<CurveEdit>(*layers, *history);
        texts = std::make_unique<TextEdit>(*layers, *history);
        host.curves = curves.get();
        ASSERT_TRUE(layers->CreateFirstLayer(w, h));
        layers->LayerAt(0)->FillColor(Rgb(255, 255, 255), 100, 100, false);
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "New Image",
                             StateExtra{{w, h}, {}, {}});
    }

    std::vector<std::string> StateNames() const {
        std::vector<std::string> names;
        for (const HistoryState& s : history->States()) names.push_back(StateDisplayName(s));
        return names;
    }
    void Undo() { history->GoToState(history->CurrentStateIndex() - 1, 1); }
    void Redo() { history->GoToState(history->CurrentStateIndex() + 1, 1); }

    static CurveAnchor Corner(int32_t x, int32_t y) { return {{x, y}, {x, y}, {x, y}, 1}; }

    VectorHost host;
    std::unique_ptr<CurveEdit> curves;
    std::unique_ptr<TextEdit> texts;
};

}  // namespace zelvo::test
