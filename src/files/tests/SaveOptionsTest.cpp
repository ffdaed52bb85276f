// The JPEG and TIFF options dialogs' models.
#include <gtest/gtest.h>

#include "files/SaveOptions.h"
#include "platform/Messages.h"

namespace zelvo {
namespace {

// Restores the application-wide quality after each test.
class JpegOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { m_saved = AppJpegQuality(); }
    void TearDown() override { AppJpegQuality() = m_saved; }
    int m_saved = 0;
};

TEST_F(JpegOptionsTest, OpensWithTheRememberedQualityClampedTo5Through12) {
    AppJpegQuality() = 8;
    EXPECT_EQ(JpegOptionsModel().Quality(), 8);
    const int stored[] = {1, 4, 5, 12, 13, -3};
    const int shown[] = {5, 5, 5, 12, 12, 5};
    for (int i = 0; i < 6; ++i) {
        AppJpegQuality() = stored[i];
        EXPECT_EQ(JpegOptionsModel().Quality(), shown[i]) << stored[i];
    }
}

TEST_F(JpegOptionsTest, ComboFollowsTheQuality) {
    const char* expected[13] = {"",       "low",  "low",  "low",  "low",  "middle", "middle",
                                "middle", "high", "high", "best", "best", "best"};
    for (int q = 1; q <= 12; ++q) {
        EXPECT_STREQ(QualityControls::ComboText(QualityControls::ComboForQuality(q)), expected[q])
            << q;
    }
    JpegOptionsModel m;
    const int quality[] = {10, 8, 5, 3};
    for (int combo = 0; combo < 4; ++combo) {
        m.Controls().ChooseCombo(combo);
        EXPECT_EQ(m.Quality(), quality[combo]);
        EXPECT_EQ(m.Controls().SliderPosition(), quality[combo]);
        EXPECT_EQ(m.Controls().EditText(), std::to_string(quality[combo]));
        EXPECT_EQ(m.Controls().Combo(), combo);
    }
}

TEST_F(JpegOptionsTest, SliderAndEditBoxKeepTheOthersInStep) {
    JpegOptionsModel m;
    m.Controls().MoveSlider(11);
    EXPECT_EQ(m.Controls().EditText(), "11");
    EXPECT_STREQ(QualityControls::ComboText(m.Controls().Combo()), "best");
    EXPECT_TRUE(m.Controls().TypeText("6"));
    EXPECT_EQ(m.Controls().SliderPosition(), 6);
    EXPECT_STREQ(QualityControls::ComboText(m.Controls().Combo()), "middle");
    m.Controls().EndTyping();
    for (const char* bad : {"0", "13", "-1", "", "abc", "7x", "99999999999"}) {
        EXPECT_FALSE(m.Controls().TypeText(bad)) << bad;
        EXPECT_EQ(m.Quality(), 6) << bad;
    }
    // "13" typed key by key passes through "1": the quality goes back to the one before.
    m.Controls().EndTyping();
    EXPECT_TRUE(m.Controls().TypeText("1"));
    EXPECT_FALSE(m.Controls().TypeText("13"));
    EXPECT_EQ(m.Quality(), 6);
    m.Controls().EndTyping();
    EXPECT_TRUE(m.Controls().TypeText("1"));
    EXPECT_EQ(m.Quality(), 1);
    EXPECT_TRUE(m.Controls().TypeText("12"));
    EXPECT_EQ(m.Quality(), 12);
}

TEST_F(JpegOptionsTest, OkStoresTheQualityAndCancelDoesNot) {
    AppJpegQuality() = 8;
    {
        JpegOptionsModel cancelled;
        cancelled.Controls().MoveSlider(12);
    }
    EXPECT_EQ(AppJpegQuality(), 8);
    JpegOptionsModel m;
    m.Controls().TypeText("3");
    m.Ok();
    EXPECT_EQ(AppJpegQuality(), 3);
    // Offered again next time, clamped.
    EXPECT_EQ(JpegOptionsModel().Quality(), 5);
}

TEST(TiffOptions, DefaultsAndPlainChoices) {
    TiffOptionsModel m;
    EXPECT_EQ(m.Compression(), 1);
    EXPECT_EQ(m.Quality(), 9);
    EXPECT_STREQ(QualityControls::ComboText(m.Controls().Combo()), "high");
    EXPECT_FALSE(m.QualityControlsEnabled());
    m.ChooseLzw();
    EXPECT_EQ(m.Compression(), 5);
    EXPECT_FALSE(m.QualityControlsEnabled());
    m.ChooseNone();
    EXPECT_EQ(m.Compression(), 1);
}

TEST(TiffOptions, JpegAndZipAskFirst) {
    ScopedRecordingMessages messages;
    TiffOptionsModel m;
    m.ChooseLzw();
    messages.QueueAnswer(Answer::No);
    m.ChooseJpeg();
    EXPECT_EQ(m.Compression(), 5);  // the previous choice stays
    EXPECT_FALSE(m.QualityControlsEnabled());
    messages.QueueAnswer(Answer::Yes);
    m.ChooseJpeg();
    EXPECT_EQ(m.Compression(), 7);
    EXPECT_TRUE(m.QualityControlsEnabled());
    messages.QueueAnswer(Answer::No);
    m.ChooseZip();
    EXPECT_EQ(m.Compression(), 7);
    EXPECT_TRUE(m.QualityControlsEnabled());
    messages.QueueAnswer(Answer::Yes);
    m.ChooseZip();
    EXPECT_EQ(m.Compression(), 8);
    EXPECT_FALSE(m.QualityControlsEnabled());
    ASSERT_EQ(messages.Entries().size(), 4u);
    EXPECT_EQ(messages.Entries()[0].kind, RecordingMessages::Kind::Question);
    EXPECT_EQ(messages.Entries()[0].text,
              "JPEG compression is not supported in older TIFF readers.\nUse JPEG compression?");
    EXPECT_EQ(messages.Entries()[2].text,
              "ZIP compression is not supported in older TIFF readers.Use ZIP compression");
    m.Controls().ChooseCombo(QualityControls::kBest);
    EXPECT_EQ(m.Quality(), 10);
}

}  // namespace
}  // namespace zelvo
