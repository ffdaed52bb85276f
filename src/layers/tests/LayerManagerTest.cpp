#include <gtest/gtest.h>

#include <vector>

#include "layers/LayerManager.h"
#include "layers/tests/LayersTestSupport.h"

namespace zelvo {
namespace {

using test::SetBit;
using test::SetPixel;

struct RecordingEvents : LayerEvents {
    std::vector<int> renders;
    int paletteRefreshes = 0;
    void RequestRender(int code) override { renders.push_back(code); }
    void RefreshLayersPalette() override { ++paletteRefreshes; }
};

class LayerManagerTest : public test::StoreTest {
protected:
    void SetUp() override {
        test::StoreTest::SetUp();
        image.width = 20;
        image.height = 10;
        image.visible = {0, 0, 20, 10};
        image.screenRect = {0, 0, 20, 10};
        usedBefore = store->UsedCount();
        manager = std::make_unique<LayerManager>(*store, test::SharedTables(), image, 64, 48);
        manager->SetEvents(&events);
    }
    void TearDown() override {
        manager.reset();
        EXPECT_EQ(store->UsedCount(), usedBefore);
    }

    ImageGeometry image;
    RecordingEvents events;
    uint32_t usedBefore = 0;
    std::unique_ptr<LayerManager> manager;
};

TEST_F(LayerManagerTest, FirstLayerAndDisplayBuffer) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    ASSERT_EQ(manager->LayerCount(), 1);
    LayerPtr first = manager->LayerAt(0);
    EXPECT_EQ(first->Id(), 1);
    EXPECT_EQ(first->Serial(), 1);
    EXPECT_EQ(first->Kind(), LayerKind::Pixel);
    EXPECT_EQ(first->Bounds(), (Rect{0, 0, 20, 10}));
    EXPECT_TRUE(first->IsCurrent());
    ASSERT_NE(manager->DisplayBuffer(), nullptr);
    EXPECT_EQ(manager->DisplayBuffer()->Width(), 64);
    EXPECT_EQ(manager->DisplayBuffer()->Height(), 48);
    EXPECT_EQ(manager->DisplayBuffer()->BitsPerPixel(), 32);
    EXPECT_EQ(manager->CurrentIndex(), 0);
    EXPECT_TRUE(manager->CheckLayerList());
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(LayerManagerTest, CountersIncrementBeforeUse) {
    EXPECT_EQ(manager->LastId(), 0);
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    LayerPtr text = manager->AppendLayer(20, 10, LayerKind::Text);
    LayerPtr curve = manager->AppendLayer(20, 10, LayerKind::Curve);
    LayerPtr null = manager->AppendLayer(20, 10, LayerKind::Null);
    ASSERT_TRUE(text && curve && null);
    EXPECT_EQ(text->Id(), 2);
    EXPECT_EQ(curve->Id(), 3);
    EXPECT_EQ(null->Id(), 4);
    EXPECT_EQ(null->Serial(), 4);
    EXPECT_EQ(text->BitsPerPixel(), 1);
    EXPECT_EQ(null->Block(), 0u);
    EXPECT_EQ(manager->LayerAt(3), null);  // appended at the top
    EXPECT_EQ(manager->CurrentIndex(), 0);
    EXPECT_EQ(manager->NextId(), 5);
}

TEST_F(LayerManagerTest, CheckLayerListComplainsOnlyAboutTheCurrentLayer) {
    EXPECT_FALSE(manager->CheckLayerList());
    ASSERT_EQ(messages.Texts(),
              (std::vector<std::string>{"LayerManager::CheckLayerList() 没有sellayer",
                                        "程序内部出现错误! 1018"}));
    messages.Clear();
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    manager->AppendLayer(4, 4, LayerKind::Pixel)->SetId(Layer::kMaxId + 1);
    EXPECT_FALSE(manager->CheckLayerList());
    EXPECT_TRUE(messages.Entries().empty());
    manager->LayerAt(1)->SetId(10000);  // a long session's ids run past 9,999
    EXPECT_TRUE(manager->CheckLayerList());
    manager->LayerAt(1)->SetId(-1);
    EXPECT_FALSE(manager->CheckLayerList());
    EXPECT_TRUE(messages.Entries().empty());
    manager->LayerAt(0)->SetCurrent(false);
    EXPECT_FALSE(manager->CheckLayerList());
    EXPECT_EQ(messages.Last(), "程序内部出现错误! 1018");
}

TEST_F(LayerManagerTest, CurrentLayerRepairsToTheBottom) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    manager->AppendLayer(5, 5, LayerKind::Pixel);
    ASSERT_TRUE(manager->SelectLayerByIndex(2));
    EXPECT_EQ(manager->CurrentLayer(), manager->LayerAt(1));
    EXPECT_TRUE(messages.Entries().empty());
    manager->LayerAt(1)->SetCurrent(false);
    EXPECT_EQ(manager->CurrentIndex(), -1);
    EXPECT_EQ(manager->CurrentLayer(), manager->LayerAt(0));
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"程序内部出现错误! 1038"}));
    EXPECT_EQ(manager->CurrentIndex(), 0);
    EXPECT_EQ(manager->CurrentPosition(), 0);
}

TEST_F(LayerManagerTest, SelectingLayers) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    LayerPtr second = manager->AppendLayer(5, 5, LayerKind::Pixel);
    LayerPtr third = manager->AppendLayer(5, 5, LayerKind::Text);

    EXPECT_TRUE(manager->SelectLayerById(third->Id(), 1, 7));
    EXPECT_EQ(manager->CurrentIndex(), 2);
    EXPECT_FALSE(manager->LayerAt(0)->IsCurrent());
    EXPECT_EQ(image.flag, 7);
    EXPECT_EQ(events.renders, (std::vector<int>{5}));

    EXPECT_TRUE(manager->SelectLayerById(second->Id(), 0, 3));
    EXPECT_EQ(manager->CurrentIndex(), 1);
    EXPECT_EQ(image.flag, 3);
    EXPECT_EQ(events.renders.size(), 1u);  // no redraw asked

    EXPECT_FALSE(manager->SelectLayerById(77, 1, 9));
    EXPECT_EQ(manager->CurrentIndex(), 1);

    EXPECT_TRUE(manager->SelectLayerByIndex(1));
    EXPECT_EQ(manager->CurrentIndex(), 0);
    EXPECT_EQ(events.paletteRefreshes, 1);
    EXPECT_FALSE(manager->SelectLayerByIndex(0));
    EXPECT_FALSE(manager->SelectLayerByIndex(4));
    EXPECT_EQ(manager->CurrentIndex(), 0);
}

TEST_F(LayerManagerTest, RemoveLayerByIdHandsTheLayerBack) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    LayerPtr second = manager->AppendLayer(5, 5, LayerKind::Pixel);
    const uint32_t used = store->UsedCount();
    LayerPtr removed = manager->RemoveLayerById(second->Id());
    EXPECT_EQ(removed, second);
    EXPECT_EQ(manager->LayerCount(), 1);
    EXPECT_EQ(store->UsedCount(), used);  // not freed
    EXPECT_EQ(manager->RemoveLayerById(second->Id()), nullptr);
    second.reset();
    removed.reset();
    EXPECT_EQ(store->UsedCount(), used - 1);
}

TEST_F(LayerManagerTest, DestroyAllLeavesSharedLayersToTheirLastHolder) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    manager->AppendLayer(8, 8, LayerKind::Curve);
    LayerPtr kept = manager->AppendLayer(8, 8, LayerKind::Pixel);  // as the history would
    manager->AppendLayer(0, 0, LayerKind::Null);
    manager->DestroyAll();
    EXPECT_EQ(manager->LayerCount(), 0);
    EXPECT_EQ(manager->DisplayBuffer(), nullptr);
    EXPECT_EQ(store->UsedCount(), usedBefore + 1);
    EXPECT_TRUE(store->CheckBlock(kept->Block()));
    kept.reset();
    EXPECT_EQ(store->UsedCount(), usedBefore);
}

TEST_F(LayerManagerTest, HitTestFallsThroughTransparentPixels) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    manager->LayerAt(0)->FillColor(Rgb(0, 0, 0), 100, 100, false);
    LayerPtr middle = manager->AppendLayer(10, 10, LayerKind::Pixel);
    middle->FillColor(Rgb(0, 0, 0), 0, 100, false);
    SetPixel(*middle, 3, 4, 0x3200FF00);
    middle->SetPosition(5, 0);
    LayerPtr top = manager->AppendLayer(20, 10, LayerKind::Text);
    SetBit(*top, 1, 1, true);

    EXPECT_EQ(manager->HitTest(8, 4), 1);  // transparent on top, opaque in the middle
    EXPECT_EQ(manager->CurrentLayer(), middle);
    EXPECT_EQ(events.paletteRefreshes, 1);
    EXPECT_EQ(manager->HitTest(8, 4), 1);  // already current: nothing changes
    EXPECT_EQ(events.paletteRefreshes, 1);
    EXPECT_EQ(manager->HitTest(1, 1), 1);
    EXPECT_EQ(manager->CurrentLayer(), top);
    EXPECT_EQ(manager->HitTest(9, 4), 1);  // falls to the bottom layer
    EXPECT_EQ(manager->CurrentIndex(), 0);
    top->SetVisible(false);
    EXPECT_EQ(manager->HitTest(1, 1), 1);
    EXPECT_EQ(manager->CurrentIndex(), 0);
}

TEST_F(LayerManagerTest, HitTestOutsideTheCanvasOrOnNothing) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    LayerPtr first = manager->LayerAt(0);
    first->FillColor(Rgb(0, 0, 0), 0, 100, false);
    LayerPtr big = manager->AppendLayer(40, 40, LayerKind::Pixel);
    big->FillColor(Rgb(0, 0, 0), 100, 100, false);
    big->SetPosition(-10, -10);
    ASSERT_TRUE(manager->SelectLayerByIndex(1));
    EXPECT_EQ(manager->HitTest(-1, 5), 0);  // the layer covers it, the canvas does not
    EXPECT_EQ(manager->HitTest(20, 5), 0);
    EXPECT_EQ(manager->HitTest(5, 10), 0);
    EXPECT_EQ(manager->CurrentIndex(), 0);
    big->SetVisible(false);
    EXPECT_EQ(manager->HitTest(5, 5), 0);  // only transparent pixels left
    EXPECT_EQ(manager->CurrentIndex(), 0);
}

TEST_F(LayerManagerTest, HitTestMapsViewPointsThroughZoomAndScroll) {
    ASSERT_TRUE(manager->CreateFirstLayer(20, 10));
    manager->LayerAt(0)->FillColor(Rgb(0, 0, 0), 100, 100, false);
    LayerPtr top = manager->AppendLayer(20, 10, LayerKind::Pixel);
    top->FillColor(Rgb(0, 0, 0), 0, 100, false);
    SetPixel(*top, 12, 7, 0x64000000);
    image.zoom = 2.0f;
    image.visible = {10, 5, 20, 10};
    image.screenRect = {30, 40, 50, 50};
    // (30 + 2 * 2 + 1, 40 + 2 * 2 + 1) is canvas (12, 7).
    EXPECT_EQ(manager->HitTest(35, 45), 1);
    EXPECT_EQ(manager->CurrentLayer(), top);
    EXPECT_EQ(manager->HitTest(37, 45), 1);  // canvas (13, 7): the bottom layer
    EXPECT_EQ(manager->CurrentIndex(), 0);
}

}  // namespace
}  // namespace zelvo
