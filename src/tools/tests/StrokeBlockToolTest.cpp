// The tools that work in the stroke block reserve it when they start, not before: on a disk
// too full for it each refuses with the store's message and leaves the document as it was,
// and the same gesture works once there is space again.
#include <gtest/gtest.h>

#include "layers/LayerManager.h"
#include "platform/Messages.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

class StrokeBlockToolTest : public ToolsFixture {
protected:
    // Every byte of every layer, and of the selection when there is one.
    std::vector<uint8_t> Pixels() {
        std::vector<uint8_t> out;
        std::vector<LayerPtr> layers = image->Layers().Layers();
        if (LayerPtr mask = image->Layers().Selection()) layers.push_back(mask);
        for (const LayerPtr& layer : layers) {
            if (!layer->HasPixels()) continue;
            for (int32_t r = 0; r < layer->Height(); ++r) {
                const uint8_t* row = layer->Rows()->Row(uint32_t(r));
                if (!row) {
                    ADD_FAILURE() << "row " << r << " unreadable";
                    break;
                }
                out.insert(out.end(), row, row + layer->Stride());
            }
            layer->ReleaseRows();
        }
        return out;
    }
};

TEST_F(StrokeBlockToolTest, AToolThatCannotHaveTheStrokeBlockRefusesAndChangesNothing) {
    struct Row {
        int tool;
        bool source;     // Alt-click a source at (30, 5) first
        Point from, to;  // a click when they are the same
    };
    const Row rows[] = {
        {kToolBrush, false, {5, 5}, {30, 20}},       {kToolEraser, false, {5, 5}, {30, 20}},
        {kToolBlur, false, {5, 5}, {30, 20}},        {kToolPaintBucket, false, {10, 10}, {10, 10}},
        {kToolMagicWand, false, {10, 10}, {10, 10}}, {kToolCloneStamp, true, {5, 5}, {15, 20}},
        {kToolHealingBrush, true, {5, 5}, {15, 20}}, {kToolPatch, false, {12, 12}, {25, 18}},
    };
    auto gesture = [this](const Row& row) {
        if (row.source) Click({30, 5}, kAlt);
        if (row.from == row.to)
            Click(row.from);
        else
            Drag({row.from, row.to});
    };
    const std::string noSpace = "Temporary disk " + dir.Path() +
                                " not enough disk space! \nPlease restart the program Or set "
                                "temporary disk to other Disk partition.\n";
    for (const Row& row : rows) {
        Open(40, 30);
        // A dark half, so the fill, the wand and the sampling tools meet an edge.
        Layer& layer = *image->Layers().CurrentLayer();
        for (int32_t y = 0; y < 30; ++y) {
            uint8_t* px = layer.Rows()->Row(uint32_t(y));
            ASSERT_NE(px, nullptr);
            for (int32_t x = 20; x < 40; ++x) px[4 * x] = px[4 * x + 1] = px[4 * x + 2] = 40;
        }
        layer.ReleaseRows();
        if (row.tool == kToolPatch) {
            ASSERT_TRUE(tools.SelectTool(kToolRectMarquee));
            Drag({{10, 10}, {16, 16}});
            ASSERT_FALSE(SelectionRect().IsEmpty());
        }
        ASSERT_TRUE(tools.SelectTool(row.tool));
        ASSERT_EQ(workspace->StrokeBlock(), 0u) << row.tool;

        const std::vector<uint8_t> before = Pixels();
        const size_t states = image->History().States().size();
        const uint32_t used = workspace->Store().UsedCount();
        messages.Clear();
        disks.disks[0].available = 90000000;  // less than the block needs
        gesture(row);
        EXPECT_TRUE(messages.Contains(noSpace)) << row.tool;
        EXPECT_FALSE(tools.IsBusy()) << row.tool;
        EXPECT_EQ(workspace->StrokeBlock(), 0u) << row.tool;
        EXPECT_EQ(workspace->Store().UsedCount(), used) << row.tool;
        EXPECT_EQ(image->History().States().size(), states) << row.tool;
        EXPECT_TRUE(Pixels() == before) << row.tool;
        EXPECT_TRUE(workspace->Store().CheckStore()) << row.tool;

        disks.disks[0].available = uint64_t(1) << 40;
        messages.Clear();
        gesture(row);
        EXPECT_NE(workspace->StrokeBlock(), 0u) << row.tool;
        EXPECT_GT(image->History().States().size(), states) << row.tool << " " << messages.Last();
        // A fresh run for the next row, without a block again.
        tools.ViewClosing(*view);
        view.reset();
        image.reset();
        // Nothing of the closed document may stay held by a tool: a clean-up would reuse
        // the places of its blocks while the tool still names them.
        EXPECT_EQ(workspace->Store().UsedCount(), 1u) << row.tool;
        workspace->SetTools(nullptr);
        workspace.reset();
        disks.disks.clear();
        ASSERT_NO_FATAL_FAILURE(MakeWorkspace(1024, 768));
    }
}

}  // namespace
}  // namespace zelvo::test
