// Slider-and-edit pairs of the adjustment and filter dialogs, and the delayed preview.
#include <gtest/gtest.h>

#include "adjust/AdjustDialogs.h"

namespace zelvo {
namespace {

TEST(AdjustDialogsTest, ShownRangesDefaultsAndTypedValues) {
    SliderEdit bright(BrightnessContrastSliders()[0]);
    EXPECT_EQ(bright.Spec().caption, "Brightness:");
    EXPECT_EQ(bright.Text(), "0");
    EXPECT_TRUE(bright.Type("-100"));
    EXPECT_EQ(bright.Value(), 0);
    EXPECT_FALSE(bright.Type("101"));  // outside: ignored, the slider stays
    EXPECT_FALSE(bright.Type("1x"));
    EXPECT_EQ(bright.Value(), 0);
    bright.Step(3);
    EXPECT_EQ(bright.Text(), "-97");
    bright.Slide(500);
    EXPECT_EQ(bright.Value(), 200);
    EXPECT_EQ(bright.Text(), "100");

    const auto sh = ShadowHighlightSliders();
    ASSERT_EQ(sh.size(), 3u);
    EXPECT_EQ(SliderEdit(sh[0]).Text(), "50");
    EXPECT_EQ(SliderEdit(sh[1]).Text(), "0");
    EXPECT_EQ(SliderEdit(sh[2]).Text(), "30");
    SliderEdit radius(sh[2]);
    EXPECT_FALSE(radius.Type("0"));
    EXPECT_TRUE(radius.Type("256"));
    EXPECT_EQ(SliderEdit(SharpenSliders()[0]).Value(), 50);
    EXPECT_EQ(SliderEdit(MosaicSliders()[0]).Value(), 2);
    SliderEdit mosaic(MosaicSliders()[0]);
    EXPECT_FALSE(mosaic.Type("1"));
    EXPECT_EQ(SliderEdit(AddNoiseSliders()[0]).Value(), 0);
    EXPECT_EQ(ColorBalanceSliders().size(), 3u);
    EXPECT_EQ(SliderEdit(SaturationSliders()[0]).Text(), "0");
}

TEST(AdjustDialogsTest, BlurEditShowsTenthsUpToTenThenWholeRadii) {
    SliderEdit blur(BlurSliders()[0]);
    EXPECT_EQ(blur.Text(), "0.1");
    blur.Slide(10);
    EXPECT_EQ(blur.Text(), "1.0");
    blur.Slide(11);
    EXPECT_EQ(blur.Text(), "1");
    blur.Slide(110);
    EXPECT_EQ(blur.Text(), "100");
    // Every text the box shows is read back as its own slider value.
    for (int32_t v = 1; v <= 110; ++v) {
        blur.Slide(v);
        const std::string shown = blur.Text();
        blur.Slide(v == 1 ? 2 : 1);
        EXPECT_TRUE(blur.Type(shown)) << shown;
        EXPECT_EQ(blur.Value(), v) << shown;
    }
    const std::pair<const char*, int32_t> typed[] = {
        {"0.5", 5}, {"1.0", 10}, {"1", 11}, {"5", 15}, {"2.4", 12}, {"10.5", 21}, {"100", 110}};
    for (const auto& [text, value] : typed) {
        EXPECT_TRUE(blur.Type(text)) << text;
        EXPECT_EQ(blur.Value(), value) << text;
    }
    for (const char* refused : {"101", "0", "0.04", "-3", "abc", "5x"}) {
        EXPECT_FALSE(blur.Type(refused)) << refused;
        EXPECT_EQ(blur.Value(), 110) << refused;
    }
}

TEST(AdjustDialogsTest, PreviewWaitsForTheFirstTickMoreThan100MsAfterTheLastChange) {
    PreviewDelay d;
    EXPECT_FALSE(d.Tick(50));  // nothing changed
    d.Changed(1000);
    EXPECT_FALSE(d.Tick(1100));
    d.Changed(1150);  // the slider moves again
    EXPECT_FALSE(d.Tick(1200));
    EXPECT_TRUE(d.Tick(1251));
    EXPECT_FALSE(d.Tick(1400));  // once per rest
}

}  // namespace
}  // namespace zelvo
