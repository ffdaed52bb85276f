// The redraw protocol between the user-interface thread and the refresher, the tick counter,
// the animator's phase and the stripes of the outline.
#include <atomic>
#include <thread>

#include "view/ImageView.h"
#include "view/ToolEvents.h"
#include "view/tests/ViewTestSupport.h"

namespace zelvo {
namespace {

using RefresherTest = test::ViewFixture;

TEST(OutlineStripes, PhaseRunsDownAndWraps) {
    OutlinePhase phase;
    EXPECT_EQ(phase.Value(), 100);
    for (int k = 1; k <= 50; ++k) EXPECT_EQ(phase.Advance(), 100 - 2 * k);
    EXPECT_EQ(phase.Value(), 0);
    EXPECT_EQ(phase.Advance(), 100);  // below 0 starts again
    EXPECT_EQ(phase.Advance(), 98);
}

TEST(OutlineStripes, FiveBlackFiveWhiteMovingTwoPerTick) {
    // Hand-worked values: (i, j, phase) -> v.
    EXPECT_TRUE(StripeIsBlack(5, 0, 100));   // v = 100 + 5 - 100 = 5
    EXPECT_FALSE(StripeIsBlack(4, 0, 100));  // v = 4
    EXPECT_TRUE(StripeIsBlack(0, 0, 100));   // v = 105
    EXPECT_TRUE(StripeIsBlack(0, 2, 100));   // v = 107
    EXPECT_TRUE(StripeIsBlack(3, 3, 0));     // v = 5
    EXPECT_TRUE(StripeIsBlack(3, 7, 6));     // v = 4 + 6 + 5 = 15
    EXPECT_FALSE(StripeIsBlack(3, 7, 4));    // v = 13
    for (int phase = 0; phase <= 100; phase += 2)
        for (int32_t i = 1; i <= 128; ++i)
            for (int32_t j = 0; j < 128; ++j) {
                const int32_t v = j < i ? 100 + (i - j) - phase : (j - i) + phase + 5;
                ASSERT_EQ(StripeIsBlack(i, j, phase), v % 10 >= 5);
                // Constant along a diagonal within one side of it.
                if (j + 1 < i + 1 && i + 1 <= 128 && j + 1 < 128) {
                    ASSERT_EQ(StripeIsBlack(i + 1, j + 1, phase), StripeIsBlack(i, j, phase));
                }
            }
    // Along a row on one side of the diagonal: runs of five.
    int run = 1;
    for (int32_t j = 11; j < 100; ++j) {
        if (StripeIsBlack(10, j, 40) == StripeIsBlack(10, j - 1, 40)) {
            ++run;
        } else {
            if (j > 20) {
                EXPECT_EQ(run, 5) << j;
            }
            run = 1;
        }
    }
    // One tick later the pattern has moved two pixels.
    for (int32_t j = 20; j < 100; ++j)
        EXPECT_EQ(StripeIsBlack(10, j, 38), StripeIsBlack(10, j - 2, 40));
    for (int32_t i = 20; i < 100; ++i)
        EXPECT_EQ(StripeIsBlack(i, 10, 38), StripeIsBlack(i + 2, 10, 40));
}

TEST_F(RefresherTest, TickServesRequestsAndCountsToARepaint) {
    std::mt19937 rng(1);
    auto image = RandomDocument(rng, 400, 300, 2);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    int ready = 0;
    refresher.onTilesReady = [&](Image* im) {
        EXPECT_EQ(im, image.get());
        ++ready;
    };
    // No view yet: nothing is served.
    refresher.SetActive(image.get());
    refresher.Tick();
    EXPECT_EQ(refresher.Passes(), 0);
    ImageView view(*image);
    view.Resize(300, 200);
    view.FirstDraw();
    refresher.Tick();
    EXPECT_EQ(refresher.Passes(), 1);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(image->ViewState().tickCounter.load(), 0);
    // Thirteen quiet ticks, then the fourteenth repaints once.
    for (int k = 1; k <= 13; ++k) refresher.Tick();
    EXPECT_EQ(ready, 1);
    refresher.Tick();
    EXPECT_EQ(ready, 2);
    for (int k = 0; k < 30; ++k) refresher.Tick();
    EXPECT_EQ(ready, 2);
    EXPECT_EQ(refresher.Passes(), 1);
    // A held image is left alone and its counter stays.
    {
        HoldRender hold(image->ViewState());
        const int32_t before = image->ViewState().tickCounter.load();
        image->ViewState().pendingRender.store(1);
        refresher.Tick();
        EXPECT_EQ(refresher.Passes(), 1);
        EXPECT_EQ(image->ViewState().tickCounter.load(), before);
    }
    refresher.Tick();
    EXPECT_EQ(refresher.Passes(), 2);
    // The counter restarts at 100 instead of passing 0x70000000.
    image->ViewState().tickCounter.store(DisplayRefresher::kTickWrap);
    refresher.Tick();
    EXPECT_EQ(image->ViewState().tickCounter.load(), 100);
    // A served 6 becomes 1.
    view.RequestRender(6);
    refresher.Tick();
    EXPECT_EQ(image->ViewState().pendingRender.load(), 1);
    refresher.Tick();
    EXPECT_EQ(image->ViewState().pendingRender.load(), 0);
    EXPECT_EQ(refresher.Passes(), 4);
    // A closed image is not served.
    refresher.SetActive(nullptr);
    view.RequestRender(1);
    refresher.Tick();
    EXPECT_EQ(refresher.Passes(), 4);
}

TEST_F(RefresherTest, AnimatorDrawsOnlyWithAPreparedOutlineAndRunningState) {
    std::mt19937 rng(2);
    auto image = RandomDocument(rng, 100, 80, 1);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    std::vector<int> phases;
    refresher.onOutline = [&](Image*, int phase) { phases.push_back(phase); };
    refresher.SetActive(image.get());
    refresher.AnimatorTick(10);
    EXPECT_TRUE(phases.empty());  // no outline prepared
    image->ViewState().outlinePrepared.store(true);
    refresher.AnimatorTick(9);  // paused while the frame is moved
    EXPECT_TRUE(phases.empty());
    refresher.AnimatorTick(10);
    refresher.AnimatorTick(10);
    EXPECT_EQ(phases, (std::vector<int>{98, 96}));
    EXPECT_FALSE(image->ViewState().animatorBusy.load());

    // A tool that draws over the outline holds it still: nothing drawn, the phase kept.
    struct Holding : ToolEvents {
        std::atomic<bool> allows{false};
        bool AllowsOutlineAnimation() const override { return allows.load(); }
    } tool;
    refresher.SetToolController(&tool);
    EXPECT_EQ(refresher.Tools(), &tool);
    refresher.AnimatorTick(10);
    EXPECT_EQ(phases.size(), 2u);
    EXPECT_EQ(refresher.Phase().Value(), 96);
    tool.allows.store(true);
    refresher.AnimatorTick(10);
    EXPECT_EQ(phases, (std::vector<int>{98, 96, 94}));
    // The plain controller allows it.
    struct Plain : ToolEvents {
    } hand;
    refresher.SetToolController(&hand);
    refresher.AnimatorTick(10);
    EXPECT_EQ(phases.back(), 92);
    refresher.SetToolController(nullptr);
    refresher.AnimatorTick(10);
    EXPECT_EQ(phases.back(), 90);
}

// The user-interface thread changes the layout and the list under the hold while a refresher
// thread ticks every millisecond; the refresher is never inside a pass during a hold, and every
// pass sees a consistent layout.
TEST_F(RefresherTest, HoldAndBusyNeverOverlapAcrossThreads) {
    std::mt19937 rng(4);
    auto image = RandomDocument(rng, 900, 600, 3);
    DisplayRefresher refresher(1024, 768, workspace->Tables());
    std::atomic<bool> inPass{false};
    std::atomic<int> overlaps{0};
    std::atomic<int> passes{0};
    refresher.onTilesReady = [&](Image*) { passes.fetch_add(1); };
    ImageView view(*image);
    view.Resize(500, 400);
    view.FirstDraw();
    refresher.SetActive(image.get());
    std::atomic<bool> run{true};
    std::thread worker([&] {
        while (run.load()) {
            inPass.store(true);
            refresher.Tick();
            inPass.store(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int k = 0; k < 150; ++k) {
        {
            HoldRender hold(image->ViewState());
            if (image->ViewState().renderBusy.load()) overlaps.fetch_add(1);
            image->Geometry().zoom = (k % 3) ? 1.0f : 0.5f;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            if (image->ViewState().renderBusy.load()) overlaps.fetch_add(1);
        }
        view.ScrollTo(int32_t(rng() % 400), int32_t(rng() % 300));
        if (k % 10 == 0) view.SetZoom(k % 20 ? 1.3f : 0.7f);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Closing: the image is taken away while the refresher may be inside a pass.
    refresher.SetActive(nullptr);
    run.store(false);
    worker.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(passes.load(), 10);
    // The last layout, rendered, equals the composite.
    view.RequestRender(1);
    refresher.Serve(*image, 1);
    ASSERT_TRUE(image->Layers().RenderDisplay());
    Layer& display = *image->Layers().DisplayBuffer();
    const Rect sr = image->Geometry().screenRect;
    for (int32_t y = sr.top; y < sr.bottom; y += 7)
        for (int32_t x = sr.left; x < sr.right; x += 5)
            ASSERT_EQ(TileWord(refresher, x, y) & 0xFFFFFF, DisplayPixel(display, x, y) & 0xFFFFFF);
}

TEST_F(RefresherTest, ReleaseWaitsForTheRefresher) {
    std::mt19937 rng(8);
    auto image = RandomDocument(rng, 300, 200, 2);
    ImageViewState& vs = image->ViewState();
    vs.renderBusy.store(true);
    std::atomic<bool> released{false};
    std::thread closer([&] {
        image->Release();
        released.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(released.load());
    EXPECT_FALSE(image->IsReady());
    vs.renderBusy.store(false);
    closer.join();
    EXPECT_TRUE(released.load());
    EXPECT_TRUE(vs.renderLayers.empty());
}

}  // namespace
}  // namespace zelvo
