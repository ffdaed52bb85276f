// The crop tool: the preset file's count rules and layout, the bar's size checks and messages,
// the output size a frame is scaled to, and the frame's gestures, keys and commit at several
// zooms.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "geometry/ImageSize.h"
#include "history/HistoryCommands.h"
#include "selection/SelectionShape.h"
#include "tools/CropSize.h"
#include "tools/CropTool.h"
#include "tools/ImagePoint.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

void WriteFile(const std::string& path, int32_t count, size_t length, int32_t unit = 1) {
    std::vector<uint8_t> bytes(length, 0);
    if (length >= 4) std::memcpy(bytes.data(), &count, 4);
    for (size_t pos = 4, i = 0; pos + 20 <= length; pos += 20, ++i) {
        const float w = float(i + 1), h = 2.5f, res = 72;
        const int32_t resUnit = 3;
        std::memcpy(&bytes[pos], &w, 4);
        std::memcpy(&bytes[pos + 4], &h, 4);
        std::memcpy(&bytes[pos + 8], &unit, 4);
        std::memcpy(&bytes[pos + 12], &res, 4);
        std::memcpy(&bytes[pos + 16], &resUnit, 4);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(CropPresets, TheStoredCountDecidesHowManyAreRead) {
    TempDir dir;
    const std::string path = dir.File("cutter.qinf");
    struct Row {
        int32_t count;
        size_t length;
        int32_t unit;
        size_t expected;
    };
    for (const Row& r : std::vector<Row>{{150, 3004, 1, 100},
                                         {150, 3003, 1, 0},
                                         {3, 64, 2, 3},
                                         {3, 63, 2, 0},
                                         {0, 2004, 1, 0},
                                         {-2, 2004, 1, 0},
                                         {2, 44, 9, 0},  // units the bar does not know
                                         {1, 2, 1, 0}}) {
        WriteFile(path, r.count, r.length, r.unit);
        const auto presets = ReadCropPresets(path);
        ASSERT_EQ(presets.size(), r.expected) << r.count << " " << r.length;
        for (size_t i = 0; i < presets.size(); ++i) EXPECT_EQ(presets[i].width, float(i + 1));
    }
    EXPECT_TRUE(ReadCropPresets(dir.File("none.qinf")).empty());
}

TEST(CropPresets, WritingMakesARoomForAHundredAndKeepsTheRecords) {
    TempDir dir;
    const std::string path = dir.File("sub/cutter.qinf");
    const std::vector<CropPreset> presets = {
        {640, 480, 1, 72, 3}, {20, 12.5f, 2, 300, 2}, {8, 10, 3, 240, 3}};
    ASSERT_TRUE(WriteCropPresets(path, presets));
    EXPECT_EQ(std::filesystem::file_size(path), 2004u);
    const auto back = ReadCropPresets(path);
    ASSERT_EQ(back.size(), 3u);
    const char* texts[] = {"640.00x480.00 Pixels", "20.00x12.50 CM", "8.00x10.00 Inch"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(&back[i], &presets[i], sizeof(CropPreset)), 0) << i;
        EXPECT_EQ(CropPresetText(back[i]), texts[i]);
    }
    // More than 100 are cut at 100, and the count says so.
    ASSERT_TRUE(WriteCropPresets(path, std::vector<CropPreset>(130, presets[0])));
    int32_t count = 0;
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(&count), 4);
    EXPECT_EQ(count, 100);
    // A folder that cannot be written leaves the old file whole.
    EXPECT_FALSE(WriteCropPresets("/proc/zelvo-no/cutter.qinf", presets));
    EXPECT_EQ(ReadCropPresets(path).size(), 100u);
}

class CropBar : public ::testing::Test {
protected:
    ScopedRecordingMessages messages;
};

TEST_F(CropBar, FieldChecksAndTheirMessages) {
    const std::string width =
        "The width of the range of 0 ~ 10000 between, crop size must less than 20 million "
        "pixels.";
    const std::string height =
        "The height of the range of 0 ~ 10000 between, crop size must less than 20 million "
        "pixels.";
    const std::string res =
        "The Resolution of the range of 0 ~ 5000 between, crop size must less than 20 million "
        "pixels.";
    const std::string area = "Crop size should not more than 20 million pixels.";
    struct Row {
        const char* name;
        std::vector<std::pair<const char*, const char*>> values;  // typed in this order
        const char* message;                                      // of the last value
        const char* widthShown;
        const char* heightShown;
    };
    const std::vector<Row> rows = {
        {"20 cm at 300 ppi", {{"res", "300"}, {"unit", "cm"}, {"width", "20"}}, "", "20.00", ""},
        {"40 x 40 in at 300 ppi",
         {{"res", "300"}, {"unit", "in"}, {"width", "40"}, {"height", "40"}},
         area.c_str(),
         "",
         ""},
        {"pixels", {{"width", "4000"}, {"height", "5000"}}, "", "4000", "5000"},
        {"one pixel over", {{"width", "4000"}, {"height", "5000.001"}}, area.c_str(), "", ""},
        {"width 10000", {{"height", "20"}, {"width", "10000"}}, width.c_str(), "", "20"},
        {"negative height", {{"width", "20"}, {"height", "-1"}}, height.c_str(), "20", ""},
        {"resolution 5000", {{"width", "20"}, {"res", "5000"}}, res.c_str(), "20", ""},
        {"cm per centimetre",
         {{"res-unit", "ppcm"}, {"res", "100"}, {"unit", "cm"}, {"width", "100"}, {"height", "20"}},
         "",
         "100.00",
         "20.00"},
        {"inches at ppcm over",
         {{"res-unit", "ppcm"}, {"res", "100"}, {"unit", "in"}, {"width", "30"}, {"height", "30"}},
         area.c_str(),
         "",
         ""},
        {"unit re-shows", {{"unit", "in"}, {"width", "12.25"}, {"unit", "px"}}, "", "12", ""},
        {"emptied", {{"width", "12"}, {"width", ""}}, "", "", ""},
    };
    for (const Row& r : rows) {
        ToolOptions o;
        const size_t before = messages.Entries().size();
        ToolOptions::SetResult last = ToolOptions::SetResult::Ok;
        for (const auto& [key, value] : r.values) last = o.Set(kToolCrop, key, value);
        const bool refused = *r.message != '\0';
        EXPECT_EQ(last, refused ? ToolOptions::SetResult::Refused : ToolOptions::SetResult::Ok)
            << r.name;
        EXPECT_EQ(messages.Entries().size(), before + (refused ? 1 : 0)) << r.name;
        if (refused) {
            EXPECT_EQ(messages.Last(), r.message) << r.name;
        }
        EXPECT_EQ(o.Get(kToolCrop, "width"), r.widthShown) << r.name;
        EXPECT_EQ(o.Get(kToolCrop, "height"), r.heightShown) << r.name;
    }
}

// The output size written the way the rule reads, for comparison.
CropOutput Expected(const CropSettings& s, int32_t fw, int32_t fh) {
    const double r = s.width > 0 && s.height > 0 ? s.width / s.height : double(fw) / fh;
    double perPixel = 1;  // pixels per unit
    if (s.unit == CropUnit::Centimeters)
        perPixel = s.resUnit == CropResUnit::PerCentimeter ? s.resolution : s.resolution / 2.54;
    if (s.unit == CropUnit::Inches)
        perPixel = s.resUnit == CropResUnit::PerInch ? s.resolution : s.resolution * 2.54;
    const bool sized = s.resolution > 0 || s.unit == CropUnit::Pixels;
    if (sized && s.width > 0) {
        const int64_t w = int64_t(s.width * perPixel + 0.5);
        return {w, int64_t(w / r + 0.5)};
    }
    if (sized && s.height > 0) {
        const int64_t h = int64_t(s.height * perPixel + 0.5);
        return {int64_t(r * h + 0.5), h};
    }
    return {fw, fh};
}

TEST_F(CropBar, OutputSizeFollowsTheBar) {
    using U = CropUnit;
    using R = CropResUnit;
    const std::vector<CropSettings> rows = {
        {0, 0, U::Pixels, 0, R::PerInch},
        {300, 0, U::Pixels, 0, R::PerInch},
        {0, 150, U::Pixels, 0, R::PerInch},
        {300, 100, U::Pixels, 0, R::PerInch},
        {20, 0, U::Centimeters, 300, R::PerInch},
        {20, 10, U::Centimeters, 0, R::PerInch},
        {2, 3, U::Inches, 72, R::PerInch},
        {0, 3, U::Inches, 30, R::PerCentimeter},
        {5, 0, U::Centimeters, 40, R::PerCentimeter},
    };
    for (const CropSettings& s : rows) {
        const CropOutput out = CropOutputSize(s, 70, 40);
        const CropOutput want = Expected(s, 70, 40);
        EXPECT_EQ(out.width, want.width) << s.width << "x" << s.height << " unit " << int(s.unit);
        EXPECT_EQ(out.height, want.height) << s.width << "x" << s.height;
    }
    // 20 cm at 300 pixels per inch: 2362.2 pixels.
    EXPECT_EQ(CropOutputSize({20, 0, U::Centimeters, 300, R::PerInch}, 100, 100).width, 2362);
    EXPECT_EQ(CropResolution({20, 0, U::Centimeters, 300, R::PerInch}, 2834), 11811);
    EXPECT_EQ(CropResolution({20, 0, U::Centimeters, 0, R::PerInch}, 2834), 2834);
    EXPECT_EQ(CropResolution({20, 0, U::Centimeters, 50, R::PerCentimeter}, 2834), 5000);
}

TEST(CropNear01, RoundsUpFromATenth) {
    const std::vector<std::pair<double, int32_t>> rows = {
        {0.0, 0}, {0.09, 0}, {0.1, 1}, {1.0, 1}, {1.25, 2}, {4.0, 4}, {0.333, 1}, {-1.5, -1}};
    for (auto [v, want] : rows) EXPECT_EQ(Near01(v), want) << v;
}

class CropTool : public ToolsFixture, public ::testing::WithParamInterface<float> {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        setenv("ZELVO_CONFIG_DIR", config.Path().c_str(), 1);
        zoom = GetParam();
        Open(240, 120, zoom);
        ASSERT_TRUE(tools.SelectTool(kToolCrop));
    }
    void TearDown() override {
        unsetenv("ZELVO_CONFIG_DIR");
        ToolsFixture::TearDown();
    }
    // The view point of canvas point (x, y); multiples of 4 map exactly at every zoom used.
    Point V(int32_t x, int32_t y) const {
        return {int32_t(std::lround(x * zoom)), int32_t(std::lround(y * zoom))};
    }
    std::optional<Rect> Frame() { return tools.CropFrame()->Frame(); }

    TempDir config;
    float zoom = 1;
};

TEST_P(CropTool, AShortDragCancelsALongerOneOpensTheFrame) {
    Drag({V(40, 40), {V(40, 40).x + 4, V(40, 40).y}});
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_FALSE(Frame());
    Drag({V(40, 40), V(80, 60), V(120, 100)});
    EXPECT_TRUE(tools.IsBusy());
    EXPECT_EQ(Frame(), (Rect{40, 40, 120, 100}));
    EXPECT_FALSE(tools.SelectTool(kToolBrush));  // busy until Enter or Esc
    KeyPress(kKeyEscape);
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_FALSE(Frame());
    EXPECT_EQ(image->Width(), 240);
}

TEST_P(CropTool, ANewFrameIsHeldToTheCanvas) {
    Drag({V(200, 100), V(400, 400)});
    EXPECT_EQ(Frame(), (Rect{200, 100, 240, 120}));
    KeyPress(kKeyEscape);
    Drag({V(40, 40), {-50, -50}});
    EXPECT_EQ(Frame(), (Rect{0, 0, 40, 40}));
}

TEST_P(CropTool, HandlesMoveTheirCornersAndTheBodyMovesTheFrame) {
    const Rect start{40, 40, 120, 100};
    struct Row {
        Point from, to;  // canvas points; presses land up to 8 screen pixels off a corner
        Point offset;    // screen pixels the press lies off the corner
        Rect expected;
    };
    const std::vector<Row> rows = {
        {{120, 100}, {160, 108}, {6, -5}, {40, 40, 160, 108}},  // the moving corner
        {{40, 40}, {20, 24}, {-8, 8}, {20, 24, 120, 100}},      // the anchor corner
        {{40, 100}, {60, 112}, {0, 0}, {60, 40, 120, 112}},     // anchor x, moving y
        {{120, 40}, {100, 12}, {0, 0}, {40, 12, 100, 100}},     // moving x, anchor y
        {{80, 72}, {100, 84}, {0, 0}, {60, 52, 140, 112}},      // inside: the whole frame
        {{40, 72}, {44, 76}, {0, 0}, {44, 44, 124, 104}},       // on an edge: the whole
    };
    for (const Row& r : rows) {
        // Below zoom 1 the frame is so small on screen that every edge point is near a corner.
        if (zoom < 1 && r.from == Point{40, 72}) continue;
        Drag({V(start.left, start.top), V(start.right, start.bottom)});
        ASSERT_EQ(Frame(), start);
        const Point press{V(r.from.x, r.from.y).x + r.offset.x,
                          V(r.from.x, r.from.y).y + r.offset.y};
        Drag({press, V(r.to.x, r.to.y)});
        EXPECT_EQ(Frame(), r.expected) << r.from.x << "," << r.from.y;
        KeyPress(kKeyEscape);
    }
}

TEST_P(CropTool, ArrowsNudgeByATenthRoundedScreenPixel) {
    Drag({V(40, 40), V(120, 100)});
    const int32_t step = Near01(1.0 / zoom);
    KeyPress(kKeyRight);
    KeyPress(kKeyDown);
    KeyPress(kKeyDown);
    KeyPress(kKeyLeft);
    KeyPress(kKeyLeft);
    KeyPress(kKeyUp);
    EXPECT_EQ(Frame(), (Rect{40 - step, 40 + step, 120 - step, 100 + step}));
    EXPECT_TRUE(tools.IsBusy());
}

TEST_P(CropTool, FixedSizeKeepsTheAspectAndEnterCrops) {
    ASSERT_EQ(tools.Options().Set(kToolCrop, "width", "60"), ToolOptions::SetResult::Ok);
    ASSERT_EQ(tools.Options().Set(kToolCrop, "height", "30"), ToolOptions::SetResult::Ok);
    Drag({V(20, 20), V(100, 40)});
    EXPECT_EQ(Frame(), (Rect{20, 20, 100, 60}));  // 80 wide, so 40 high
    Drag({V(100, 60), V(60, 100)});               // the moving corner, its height follows
    EXPECT_EQ(Frame(), (Rect{20, 20, 60, 40}));
    KeyPress(kKeyReturn);
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(image->Width(), 60);
    EXPECT_EQ(image->Height(), 30);
    EXPECT_EQ(LastStateName(), "Crop");
    ASSERT_TRUE(UndoRedo(image->History()));
    EXPECT_EQ(image->Width(), 240);
    EXPECT_EQ(image->Height(), 120);
}

TEST_P(CropTool, CommitWithoutAFixedSizeKeepsTheFrameSizeAndTooLargeIsRefused) {
    Drag({V(20, 20), V(100, 60)});
    ASSERT_TRUE(tools.CropButton(true));
    EXPECT_EQ(image->Width(), 80);
    EXPECT_EQ(image->Height(), 40);
    LayOutVirtualView(*view, zoom, 0, 0);  // as scripts lay the view out before each event
    // 8000 x 4000 from the frame's aspect: more than 20 million pixels.
    tools.Options().Set(kToolCrop, "width", "8000");
    Drag({V(0, 0), V(40, 20)});
    const size_t states = image->History().States().size();
    KeyPress(kKeyReturn);
    EXPECT_EQ(messages.Last(),
              "Crop size should not more than 20 million pixels!\n Please re-set the crop size.");
    EXPECT_FALSE(Frame());
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(image->History().States().size(), states);
    EXPECT_EQ(image->Width(), 80);
}

TEST_P(CropTool, APressWithASelectionOnlyDeselects) {
    ASSERT_TRUE(MarqueeSelect(image->History(), {10, 10}, {50, 50}, false, CombineMode::New));
    Drag({V(60, 60), V(100, 100)});
    EXPECT_EQ(SelectionRect(), Rect{});
    EXPECT_EQ(LastStateName(), "Deselect");
    EXPECT_FALSE(Frame());
    EXPECT_FALSE(tools.IsBusy());
}

TEST_P(CropTool, UndoAndRedoBringTheResolutionBack) {
    const int32_t before = image->Resolution();
    struct Row {
        const char* name;
        std::function<bool()> run;
        int32_t after;
    };
    const std::vector<Row> rows = {
        {"Crop",
         [&] {
             tools.Options().Set(kToolCrop, "res-unit", "ppcm");
             tools.Options().Set(kToolCrop, "res", "100");
             Drag({V(20, 20), V(100, 60)});
             return tools.CropButton(true);
         },
         10000},
        {"Image Size",
         [&] {
             int32_t resolution = image->Resolution();
             if (!ResizeImage(image->History(), {50, 30, 5000, true}, resolution)) return false;
             image->SetResolution(resolution);
             return true;
         },
         5000},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(r.run()) << r.name;
        EXPECT_EQ(LastStateName(), r.name);
        EXPECT_EQ(image->Resolution(), r.after) << r.name;
        ASSERT_TRUE(UndoRedo(image->History()));
        EXPECT_EQ(image->Resolution(), before) << r.name;
        ASSERT_TRUE(UndoRedo(image->History()));
        EXPECT_EQ(image->Resolution(), r.after) << r.name;
        ASSERT_TRUE(UndoRedo(image->History()));
        LayOutVirtualView(*view, zoom, 0, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Zooms, CropTool, ::testing::Values(1.0f, 0.25f, 2.0f));

TEST_F(CropBar, PlusAndMinusKeepTheFile) {
    TempDir config;
    setenv("ZELVO_CONFIG_DIR", config.Path().c_str(), 1);
    ToolOptions o;
    CropPresetList list;
    EXPECT_FALSE(list.Add(CropSettingsOf(o)));
    EXPECT_EQ(messages.Last(),
              "The crop-size settings are not correct, can not save it as a default size!");
    o.Set(kToolCrop, "unit", "cm");
    o.Set(kToolCrop, "width", "20");
    o.Set(kToolCrop, "height", "10");
    EXPECT_FALSE(list.Add(CropSettingsOf(o)));  // centimetres need a resolution
    o.Set(kToolCrop, "res", "300");
    ASSERT_TRUE(list.Add(CropSettingsOf(o)));
    o.Set(kToolCrop, "unit", "px");
    ASSERT_TRUE(list.Add(CropSettingsOf(o)));
    EXPECT_EQ(list.Selected(), 1);
    const std::string path = config.File("cutter.qinf");
    ASSERT_EQ(ReadCropPresets(path).size(), 2u);
    EXPECT_EQ(CropPresetText(ReadCropPresets(path)[0]), "20.00x10.00 CM");
    ASSERT_TRUE(list.Choose(0, o));
    EXPECT_EQ(o.Get(kToolCrop, "unit"), "cm");
    EXPECT_EQ(o.Get(kToolCrop, "res"), "300.00");
    ASSERT_TRUE(list.DeleteSelected());
    const auto left = ReadCropPresets(path);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(CropPresetText(left[0]), "20.00x10.00 Pixels");
    // A full list refuses "+".
    ASSERT_TRUE(WriteCropPresets(path, std::vector<CropPreset>(100, left[0])));
    CropPresetList full;
    EXPECT_FALSE(full.Add(CropSettingsOf(o)));
    EXPECT_EQ(full.Presets().size(), 100u);
    unsetenv("ZELVO_CONFIG_DIR");
}

}  // namespace
}  // namespace zelvo::test
