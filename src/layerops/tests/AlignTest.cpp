// Align and distribute of linked layers: every edge and centre against hand-computed places,
// the refusals, the pixel-only notes, and one state that undoes exactly.
#include "layerops/AlignLayers.h"
#include "layerops/LinkGroups.h"
#include "layerops/tests/LayerOpsTestSupport.h"

namespace zelvo::test {
namespace {

struct Box {
    int32_t x, y, w, h;
};

class AlignTest : public LayerOpsTest {
protected:
    // Pixel layers with these boxes, linked to the first, which is current.
    std::vector<LayerPtr> Group(const std::vector<Box>& boxes) {
        OpenImage();
        std::vector<LayerPtr> layers;
        for (const Box& b : boxes) layers.push_back(AddPixel(b.x, b.y, b.w, b.h, 0x64FF0000));
        Link(layers);
        return layers;
    }
    void Link(const std::vector<LayerPtr>& layers) {
        Lm().SelectLayerByIndex(Lm().IndexOf(layers[0].get()) + 1);
        for (size_t i = 1; i < layers.size(); ++i)
            ASSERT_EQ(ToggleLink(History(), Lm().IndexOf(layers[i].get())), 1);
    }
    static std::vector<Point> Places(const std::vector<LayerPtr>& layers) {
        std::vector<Point> out;
        for (const LayerPtr& l : layers) out.push_back(l->Position());
        return out;
    }
    void Undo() { History().GoToState(History().CurrentStateIndex() - 1, 0); }
    void Redo() { History().GoToState(History().CurrentStateIndex() + 1, 0); }
};

TEST_F(AlignTest, EveryEdgeLinesUpWithTheCurrentLayer) {
    // Current 10 x 6 at (4, 2); the others 5 x 3 at (20, 30) and 7 x 9 at (0, 50).
    const struct {
        LayerEdge edge;
        std::vector<Point> expected;
    } cases[] = {
        {LayerEdge::Top, {{4, 2}, {20, 2}, {0, 2}}},
        {LayerEdge::VerticalCenter, {{4, 2}, {20, 4}, {0, 1}}},  // 5 - 3/2, 5 - 9/2
        {LayerEdge::Bottom, {{4, 2}, {20, 5}, {0, -1}}},
        {LayerEdge::Left, {{4, 2}, {4, 30}, {4, 50}}},
        {LayerEdge::HorizontalCenter, {{4, 2}, {7, 30}, {6, 50}}},  // 9 - 5/2, 9 - 7/2
        {LayerEdge::Right, {{4, 2}, {9, 30}, {7, 50}}},
    };
    for (const auto& c : cases) {
        doc = std::make_unique<Doc>(*store, kW, kH);
        std::vector<LayerPtr> g = Group({{4, 2, 10, 6}, {20, 30, 5, 3}, {0, 50, 7, 9}});
        const std::vector<Point> before = Places(g);
        const int states = History().StateCount();
        EXPECT_EQ(AlignLinkedLayers(History(), c.edge), 1);
        EXPECT_EQ(Places(g), c.expected) << int(c.edge);
        ASSERT_EQ(History().StateCount(), states + 1);
        EXPECT_EQ(StateNames().back(), "Align Layers");
        EXPECT_EQ(History().States().back().kind, kStateMoveLinked);
        Undo();
        EXPECT_EQ(Places(g), before);
        Redo();
        EXPECT_EQ(Places(g), c.expected);
    }
}

TEST_F(AlignTest, DistributeSpreadsTheKeysEvenly) {
    const struct {
        std::vector<Box> boxes;
        LayerEdge edge;
        std::vector<Point> expected;
    } cases[] = {
        // Tops 0, 10, 100 give 0, 50, 100.
        {{{0, 0, 4, 4}, {5, 10, 4, 4}, {9, 100, 4, 4}},
         LayerEdge::Top,
         {{0, 0}, {5, 50}, {9, 100}}},
        // Sorted by key whatever the group order; step (31 - 0) / 3 = 10 (integer).
        {{{30, 0, 2, 2}, {0, 0, 2, 2}, {31, 0, 2, 2}, {1, 0, 2, 2}},
         LayerEdge::Left,
         {{20, 0}, {0, 0}, {30, 0}, {10, 0}}},
        // Right edges 10, 12, 40 (layers of widths 10, 2, 20): 10, 25, 40.
        {{{0, 0, 10, 1}, {10, 0, 2, 1}, {20, 0, 20, 1}},
         LayerEdge::Right,
         {{0, 0}, {23, 0}, {20, 0}}},
        // Vertical centres 2, 11, 30: step 14.
        {{{0, 0, 1, 4}, {0, 10, 1, 2}, {0, 26, 1, 8}},
         LayerEdge::VerticalCenter,
         {{0, 0}, {0, 15}, {0, 26}}},
    };
    for (const auto& c : cases) {
        doc = std::make_unique<Doc>(*store, kW, kH);
        std::vector<LayerPtr> g = Group(c.boxes);
        const std::vector<Point> before = Places(g);
        EXPECT_EQ(DistributeLinkedLayers(History(), c.edge), 1);
        EXPECT_EQ(Places(g), c.expected);
        EXPECT_EQ(StateNames().back(), "Distribute Layers");
        Undo();
        EXPECT_EQ(Places(g), before);
    }
}

TEST_F(AlignTest, TextAndCurveMembersStayAndTheNoteFollows) {
    std::vector<LayerPtr> g = Group({{4, 2, 10, 6}, {20, 30, 5, 3}});
    LayerPtr text = AddText("Ab", 3, 3, Rgb(0, 0, 0));
    Link({g[0], text});
    const int32_t originX = text->Text().originX;
    EXPECT_EQ(AlignLinkedLayers(History(), LayerEdge::Left), 1);
    EXPECT_EQ(g[1]->Position(), (Point{4, 30}));
    EXPECT_EQ(text->Text().originX, originX);
    EXPECT_EQ(StateNames().back(), "Align Layers");
    EXPECT_EQ(messages.Last(), "The current version can only align the pixel layers!");

    // Two pixel layers and a text layer are too few to distribute: nothing moves.
    const int states = History().StateCount();
    EXPECT_EQ(DistributeLinkedLayers(History(), LayerEdge::Top), 0);
    EXPECT_EQ(messages.Last(), "Can not complete the request! Linked less than 3 pixels layers.");
    EXPECT_EQ(History().StateCount(), states);
    EXPECT_EQ(g[1]->Position(), (Point{4, 30}));

    // With a third pixel layer the text layer is left out and named afterwards.
    LayerPtr third = AddPixel(0, 90, 2, 2, 0x64FF0000);
    Link({g[0], third});
    EXPECT_EQ(DistributeLinkedLayers(History(), LayerEdge::Top), 1);
    EXPECT_EQ(g[1]->Position(), (Point{4, 46}));
    EXPECT_EQ(messages.Last(), "The current version can only be distributed pixel layers!");
}

TEST_F(AlignTest, RefusalsAndEnablingRules) {
    std::vector<LayerPtr> g = Group({{0, 0, 2, 2}, {5, 5, 2, 2}});
    EXPECT_TRUE(AlignEnabled(History()));
    EXPECT_FALSE(DistributeEnabled(History()));
    LayerPtr text = AddText("Ab", 3, 3, Rgb(0, 0, 0));
    Link({g[0], text});
    Lm().SelectLayerByIndex(Lm().IndexOf(text.get()) + 1);
    EXPECT_TRUE(DistributeEnabled(History()));
    const int states = History().StateCount();
    EXPECT_EQ(AlignLinkedLayers(History(), LayerEdge::Top), 0);
    EXPECT_EQ(messages.Last(), "Can not complete the request! Please select pixel layers.");
    EXPECT_EQ(DistributeLinkedLayers(History(), LayerEdge::Top), 0);
    EXPECT_EQ(messages.Last(),
              "Can not complete the request! \nPlease select pixels layer to do the distribution "
              "operation.");
    EXPECT_EQ(History().StateCount(), states);
    EXPECT_EQ(Places(g), (std::vector<Point>{{0, 0}, {5, 5}}));
    // Already aligned: nothing to record.
    Lm().SelectLayerByIndex(Lm().IndexOf(g[0].get()) + 1);
    EXPECT_EQ(AlignLinkedLayers(History(), LayerEdge::Top), 1);
    EXPECT_EQ(AlignLinkedLayers(History(), LayerEdge::Top), 1);
    EXPECT_EQ(History().StateCount(), states + 1);
}

}  // namespace
}  // namespace zelvo::test
