// The healing brush driven by gestures: the layer kinds it refuses with their messages (an
// Alt-click on them defines nothing), the source it needs on the current layer of the same
// document, and a stroke healed from a flat area with a half-strength selection.
#include <gtest/gtest.h>

#include <cstring>

#include "layers/LayerManager.h"
#include "platform/Messages.h"
#include "selection/SelectionMask.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

const std::string kNoSource = "Alt-Click to define a source point to be used to repair the image!";

class HealingBrushToolTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        ASSERT_TRUE(tools.SelectTool(kToolHealingBrush));
        tools.Options().Set(0, "diameter", "5");
        tools.Options().Set(0, "hardness", "100");
        tools.Options().Set(kToolHealingBrush, "opacity", "100");
    }
    // Grey 100 left of column 20, flat (B 200, G 150, R 50) from it on, a blue pixel at (8, 15).
    void OpenHalves() {
        Open(40, 30);
        Layer& layer = *image->Layers().CurrentLayer();
        for (int32_t y = 0; y < 30; ++y) {
            uint8_t* row = layer.Rows()->Row(uint32_t(layer.StoredRowOf(y)));
            for (int32_t x = 0; x < 40; ++x) {
                const uint32_t w = x == 8 && y == 15 ? 0x640000FFu
                                   : x < 20          ? 0x64646464u
                                                     : 0x643296C8u;
                std::memcpy(row + 4 * size_t(x), &w, 4);
            }
        }
        layer.ReleaseRows();
    }
    uint32_t At(Point c) {
        Layer& layer = *image->Layers().CurrentLayer();
        uint32_t w = 0;
        std::memcpy(&w, layer.Rows()->Row(uint32_t(layer.StoredRowOf(c.y))) + 4 * size_t(c.x), 4);
        layer.ReleaseRows();
        return w;
    }
};

TEST_F(HealingBrushToolTest, OtherLayerKindsAndSourcesElsewhereAreRefused) {
    struct Row {
        LayerKind kind;
        const char* message;
    };
    const Row rows[] = {
        {LayerKind::Null, "Could not use the patch tool because the target is a null layer!"},
        {LayerKind::Curve, "Could not use the patch tool because the target is a curve layer!"},
        {LayerKind::Text, "Could not use the patch tool because the target is a text layer!"},
    };
    for (const Row& r : rows) {
        OpenHalves();
        const size_t states = image->History().States().size();
        ASSERT_TRUE(image->Layers().AppendLayer(10, 10, r.kind));
        ASSERT_TRUE(image->Layers().SelectLayerByIndex(2));
        messages.Clear();
        Click({5, 5}, kAlt);
        Click({5, 5});
        EXPECT_EQ(messages.Texts(), (std::vector<std::string>{r.message, r.message}));
        EXPECT_FALSE(tools.IsBusy());
        EXPECT_EQ(image->History().States().size(), states);
    }
    // A source on another layer than the current one, or none at all.
    OpenHalves();
    messages.Clear();
    Click({5, 5});
    Click({28, 15}, kAlt);
    ASSERT_TRUE(image->Layers().AppendLayer(40, 30, LayerKind::Pixel));
    ASSERT_TRUE(image->Layers().SelectLayerByIndex(2));
    Click({5, 5});
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{kNoSource, kNoSource}));
}

TEST_F(HealingBrushToolTest, AStrokeHealsWeightedByTheSelection) {
    OpenHalves();
    // Half strength on the blemish's row, full elsewhere.
    const Rect sel{0, 0, 20, 30};
    LayerPtr mask = CreateSelectionMask(image->Layers(), sel, true);
    for (int32_t y = 0; y < 30; ++y) std::memset(MaskRow(*mask, y), y == 15 ? 50 : 100, 20);
    mask->ReleaseRows();
    image->Layers().SetSelectionObject(mask);
    image->Layers().SetSelectionBounds(sel);
    Click({28, 15}, kAlt);
    Click({8, 15});
    EXPECT_EQ(LastStateName(), "Healing Brush Tool");
    // The flat source heals the blue pixel half way to grey: 255 - 155 / 2 and 0 + 100 / 2.
    EXPECT_EQ(At({8, 15}), 0x643232B2u);
    EXPECT_EQ(At({8, 14}), 0x64646464u);
    EXPECT_EQ(At({28, 15}), 0x643296C8u);
}

}  // namespace
}  // namespace zelvo::test
