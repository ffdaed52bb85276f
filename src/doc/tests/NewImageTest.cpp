#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "doc/NewImage.h"
#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {

namespace {

NewImageDialogModel Dialog(double w, double h, SizeUnit u, double res,
                           ResolutionUnit ru = ResolutionUnit::PerInch) {
    NewImageDialogModel d(std::vector<SizePreset>{});
    d.SetUnit(u);
    d.SetResolutionUnit(ru);
    EXPECT_TRUE(d.SetWidth(w));
    EXPECT_TRUE(d.SetHeight(h));
    EXPECT_TRUE(d.SetResolution(res));
    return d;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(NewImageDialog, ComputesPixelsFromUnitsAndResolution) {
    // 8.9 x 12.7 cm at 400 ppi: r = 15 748.03 pixels per metre
    auto s = Dialog(8.9, 12.7, SizeUnit::Centimeter, 400).Compute();
    EXPECT_EQ(s.resolution, 15748);
    EXPECT_EQ(s.width, 1402);
    EXPECT_EQ(s.height, 2000);

    auto inch = Dialog(4, 6, SizeUnit::Inch, 300).Compute();
    EXPECT_EQ(inch.width, 1200);
    EXPECT_EQ(inch.height, 1800);
    EXPECT_EQ(inch.resolution, 11811);

    auto perCm = Dialog(10, 5, SizeUnit::Centimeter, 100, ResolutionUnit::PerCentimeter).Compute();
    EXPECT_EQ(perCm.width, 1000);
    EXPECT_EQ(perCm.height, 500);
    EXPECT_EQ(perCm.resolution, 10000);

    auto px = Dialog(640, 480, SizeUnit::Pixel, 72).Compute();
    EXPECT_EQ(px.width, 640);
    EXPECT_EQ(px.resolution, 2835);  // 72 x 39.37 = 2834.6, rounded half up
}

TEST(NewImageDialog, TypedValuesOutsideTheirBoundsKeepThePreviousValue) {
    NewImageDialogModel d(std::vector<SizePreset>{});
    EXPECT_FALSE(d.SetWidth(0.05));
    EXPECT_FALSE(d.SetWidth(10100));
    EXPECT_DOUBLE_EQ(d.Width(), 8.90);
    EXPECT_TRUE(d.SetWidth(10099.9));
    EXPECT_FALSE(d.SetResolution(0.5));
    EXPECT_FALSE(d.SetResolution(2000));
    EXPECT_TRUE(d.SetResolution(1));
    EXPECT_DOUBLE_EQ(d.Resolution(), 1);
}

TEST(NewImageDialog, TwentyMillionPixelsIsTheLimitOfTheDialog) {
    ScopedRecordingMessages m;
    auto ok = Dialog(5000, 4000, SizeUnit::Pixel, 72).Ok();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->width * ok->height, 20000000);
    EXPECT_TRUE(m.Entries().empty());

    auto d = Dialog(5000, 4001, SizeUnit::Pixel, 72);
    EXPECT_FALSE(d.Ok());
    EXPECT_EQ(m.Last(), "The new image should not more than 20 million pixels!");
    // the fields are back to their defaults
    EXPECT_DOUBLE_EQ(d.Width(), 8.90);
    EXPECT_DOUBLE_EQ(d.Height(), 12.70);
    EXPECT_EQ(d.Unit(), SizeUnit::Centimeter);
    EXPECT_DOUBLE_EQ(d.Resolution(), 300);
}

TEST(NewImageDialog, ASizeThatRoundsToZeroIsRefused) {
    ScopedRecordingMessages m;
    auto d = Dialog(0.1, 5, SizeUnit::Centimeter, 1);  // 0.1 cm at 1 ppi -> 0 pixels
    EXPECT_FALSE(d.Ok());
    EXPECT_EQ(m.Last(), "Parameter settings are not correct!");
}

TEST(NewImageDialog, TheSideLimitIsCheckedAfterTheDialog) {
    ScopedRecordingMessages m;
    auto ok = Dialog(10001, 100, SizeUnit::Pixel, 72).Ok();
    ASSERT_TRUE(ok);                                         // passes the dialog ...
    EXPECT_FALSE(CheckNewImageSize(ok->width, ok->height));  // ... but not the size check
    EXPECT_EQ(m.Last(),
              "Image should not more than 20 million pixels,\n or the height and width should not "
              "more than 10,000 pixels!");
    EXPECT_TRUE(CheckNewImageSize(10000, 2000));
    EXPECT_FALSE(CheckNewImageSize(100, 10001));
}

TEST(SizePresets, BuiltInListAndTexts) {
    const auto& list = BuiltInPresets();
    ASSERT_EQ(list.size(), 17u);
    EXPECT_STREQ(list[DefaultBuiltInPreset()].text, "8.9 x 12.7  (Centimeter)");
    EXPECT_EQ(list[DefaultBuiltInPreset()].preset.resolution, 400);
    EXPECT_EQ(list[3].text, nullptr);
    EXPECT_STREQ(list.back().text, "B3  (35.3 x 50 Centimeter)");
    EXPECT_EQ(PresetText({800, 600, SizeUnit::Pixel, 72, ResolutionUnit::PerInch}),
              "800 x 600  (Pixels)");
    EXPECT_EQ(PresetText({2.5f, 3, SizeUnit::Inch, 300, ResolutionUnit::PerInch}),
              "2.50 x 3.00  (Inch)");
    EXPECT_EQ(PresetText({21, 29.7f, SizeUnit::Centimeter, 300, ResolutionUnit::PerInch}),
              "21.00 x 29.70  (Centimeter)");
}

TEST(SizePresets, FileRoundTripAndLayout) {
    test::TempDir dir;
    std::string path = dir.File("newfilesize.qinf");
    std::vector<SizePreset> presets = {
        {640, 480, SizeUnit::Pixel, 72, ResolutionUnit::PerInch},
        {8.9f, 12.7f, SizeUnit::Centimeter, 118, ResolutionUnit::PerCentimeter},
    };
    ASSERT_TRUE(WriteUserPresets(path, presets));
    std::string bytes = Bytes(path);
    ASSERT_EQ(bytes.size(), 2004u);  // created at its full length
    int32_t count;
    std::memcpy(&count, bytes.data(), 4);
    EXPECT_EQ(count, 2);
    float w;
    int32_t unit;
    std::memcpy(&w, bytes.data() + 24, 4);
    std::memcpy(&unit, bytes.data() + 32, 4);
    EXPECT_FLOAT_EQ(w, 8.9f);
    EXPECT_EQ(unit, 0);
    EXPECT_EQ(ReadUserPresets(path), presets);

    // Rewriting a shorter list keeps the file's length but the count says what is valid.
    ASSERT_TRUE(WriteUserPresets(path, {presets[1]}));
    EXPECT_EQ(Bytes(path).size(), 2004u);
    EXPECT_EQ(ReadUserPresets(path), std::vector<SizePreset>{presets[1]});
}

TEST(SizePresets, ShortOrBadFilesYieldNoPresets) {
    test::TempDir dir;
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir.File(name), std::ios::binary) << bytes;
        return dir.File(name);
    };
    EXPECT_TRUE(ReadUserPresets(dir.File("missing")).empty());
    EXPECT_TRUE(ReadUserPresets(write("short", std::string("\x02\0", 2))).empty());
    // count 2 but only one record present
    std::string one(4 + 20, '\0');
    one[0] = 2;
    EXPECT_TRUE(ReadUserPresets(write("truncated", one)).empty());
    // a negative count
    EXPECT_TRUE(ReadUserPresets(
                    write("negative", std::string("\xff\xff\xff\xff", 4) + std::string(40, '\0')))
                    .empty());
    // records with a zero width are skipped, the others kept
    std::vector<SizePreset> mixed = {{0, 10, SizeUnit::Pixel, 72, ResolutionUnit::PerInch},
                                     {10, 10, SizeUnit::Pixel, 72, ResolutionUnit::PerInch}};
    ASSERT_TRUE(WriteUserPresets(dir.File("mixed"), mixed));
    EXPECT_EQ(ReadUserPresets(dir.File("mixed")), std::vector<SizePreset>{mixed[1]});
}

TEST(SizePresets, AddAndDeleteUserPresets) {
    NewImageDialogModel d(std::vector<SizePreset>{});
    EXPECT_TRUE(d.AddUserPreset());
    EXPECT_EQ(d.SelectedUserPreset(), 0);
    EXPECT_EQ(d.UserPresets()[0].unit, SizeUnit::Centimeter);
    d.SetUnit(SizeUnit::Pixel);
    d.SetWidth(6000);
    d.SetHeight(6000);  // 36 million: not added
    EXPECT_FALSE(d.AddUserPreset());
    d.DeleteUserPreset(0);
    EXPECT_TRUE(d.UserPresets().empty());
    EXPECT_EQ(d.SelectedUserPreset(), -1);
}

}  // namespace zelvo
