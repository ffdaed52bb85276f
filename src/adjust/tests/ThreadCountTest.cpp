// Every adjustment and filter gives the same pixels, byte for byte, whatever number of row
// bands it runs in: 1, 2 and 8 threads on a layer tall enough for 8 bands, with and without a
// feathered selection.
#include <cstdlib>

#include "adjust/Adjustments.h"
#include "adjust/Filters.h"
#include "adjust/tests/AdjustTestSupport.h"
#include "core/RowBands.h"
#include "history/HistoryCommands.h"

namespace zelvo::test {
namespace {

class ThreadCountTest : public AdjustTest {
protected:
    static constexpr int32_t kTallW = 37, kTallH = 181;
    void SetUp() override { MakeDocument(kTallW, kTallH); }
};

TEST_F(ThreadCountTest, EveryCommandGivesTheSamePixelsOnAnyNumberOfThreads) {
    struct Case {
        const char* name;
        std::function<int(HistoryManager&)> run;
    };
    LevelsValues levels;
    levels.inBlack = 20, levels.inMiddle = 90, levels.outWhite = 230;
    Table256 curve{};
    for (int v = 0; v < 256; ++v) curve[size_t(v)] = uint8_t(255 - v / 2);
    const Case cases[] = {
        {"Invert", [](HistoryManager& h) { return ApplyInvert(h); }},
        {"Desaturate", [](HistoryManager& h) { return ApplyDesaturate(h); }},
        {"Levels", [&](HistoryManager& h) { return ApplyLevels(h, levels); }},
        {"Curves", [&](HistoryManager& h) { return ApplyTransfer(h, curve, "Curves"); }},
        {"Brightness/Contrast",
         [](HistoryManager& h) { return ApplyBrightnessContrast(h, 30, -40); }},
        {"Saturation", [](HistoryManager& h) { return ApplySaturation(h, 60); }},
        {"Color Balance", [](HistoryManager& h) { return ApplyColorBalance(h, 40, -30, 20); }},
        {"Blur 4", [](HistoryManager& h) { return ApplyBlur(h, 4); }},
        {"Blur 17", [](HistoryManager& h) { return ApplyBlur(h, 17); }},
        {"Sharpen", [](HistoryManager& h) { return ApplySharpen(h); }},
        {"Sharpen More", [](HistoryManager& h) { return ApplySharpenMore(h, 80, 3); }},
        {"Mosaic", [](HistoryManager& h) { return ApplyMosaic(h, 7); }},
        {"Reduce Small Noise",
         [](HistoryManager& h) { return ApplyReduceNoise(h, NoiseReducer::Small); }},
        {"Reduce Big Noise",
         [](HistoryManager& h) { return ApplyReduceNoise(h, NoiseReducer::Big); }},
        {"Reduce Gray Noise",
         [](HistoryManager& h) { return ApplyReduceNoise(h, NoiseReducer::Gray); }},
        {"Shadow/Highlight", [](HistoryManager& h) { return ApplyShadowHighlight(h, 40, 30, 5); }},
        // The same draws each time: rand() starts from the same seed.
        {"Add Noise",
         [](HistoryManager& h) {
             std::srand(77);
             return ApplyAddNoise(h, 60, false);
         }},
        {"Add Noise mono",
         [](HistoryManager& h) {
             std::srand(78);
             return ApplyAddNoise(h, 100, true);
         }},
    };
    {
        const ScopedPassThreads eight(8);
        ASSERT_EQ(RowBandCount(kTallH - 6, 16), 8);  // the layer below really runs in 8 bands
    }
    for (bool selection : {false, true}) {
        RandomLayer({3, 2, kTallW - 2, kTallH - 4});
        if (selection) RandomSelection({0, 10, kTallW - 5, kTallH - 20});
        PixelBuffer before;
        ASSERT_TRUE(ReadLayerPixels(*Current(), before));
        for (const Case& c : cases) {
            Rect firstBounds;
            PixelBuffer first;
            for (int32_t threads : {1, 2, 8}) {
                const ScopedPassThreads scoped(threads);
                ASSERT_EQ(c.run(*history), 1) << c.name << " on " << threads;
                PixelBuffer now;
                ASSERT_TRUE(ReadLayerPixels(*Current(), now));
                if (threads == 1) {
                    firstBounds = Current()->Bounds();
                    first = now;
                    EXPECT_NE(now.px, before.px) << c.name << ": the command changed nothing";
                } else {
                    EXPECT_EQ(Current()->Bounds(), firstBounds) << c.name << " on " << threads;
                    EXPECT_TRUE(now.px == first.px)
                        << c.name << (selection ? " with" : " without")
                        << " a selection differs on " << threads << " threads";
                }
                ASSERT_EQ(UndoRedo(*history), 1) << c.name;
            }
        }
    }
}

// Bands of Add Noise start their draws that many rows on, and rand() goes on after the last
// pixel's draw whatever the bands.
TEST_F(ThreadCountTest, AddNoiseLeavesRandAfterItsLastDrawOnAnyNumberOfThreads) {
    const LayerPtr l = RandomLayer({0, 0, kTallW, kTallH});
    for (int32_t threads : {1, 2, 8})
        for (const unsigned seed : {1u, 4321u}) {
            const ScopedPassThreads scoped(threads);
            std::srand(seed);
            ASSERT_EQ(ApplyAddNoise(*history, 50, threads == 2), 1);
            const int next = std::rand();
            std::srand(seed);
            for (int32_t i = 0; i < kTallW * kTallH; ++i) std::rand();
            EXPECT_EQ(next, std::rand()) << threads << " threads, seed " << seed;
            ASSERT_EQ(UndoRedo(*history), 1);
        }
}

// The histogram Levels and Shadow/Highlight take is counted in bands of the sampled rows: every
// sampled row once, whatever the bands, for layers sampled every row and every 2nd row.
TEST_F(ThreadCountTest, TheLayerHistogramIsTheSameOnAnyNumberOfThreads) {
    for (const Rect r : {Rect{0, 0, kTallW, kTallH}, Rect{0, 0, 1100, kTallH}}) {
        const LayerPtr l = RandomLayer(r);
        PixelBuffer whole;
        ASSERT_TRUE(ReadLayerPixels(*l, whole));
        const auto want = SampledHistogram(whole.px, whole.width, whole.height);
        for (int32_t threads : {1, 2, 8}) {
            const ScopedPassThreads scoped(threads);
            EXPECT_EQ(LayerHistogram(*l), want) << r.Width() << " wide on " << threads;
        }
    }
}

}  // namespace
}  // namespace zelvo::test
