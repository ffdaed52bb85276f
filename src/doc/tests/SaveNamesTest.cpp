#include <gtest/gtest.h>

#include "doc/SaveNames.h"

namespace zelvo {

TEST(SaveNames, FormatByExtensionIgnoresCase) {
    struct Row {
        const char* path;
        FileFormat format;
    } rows[] = {
        {"a.jpg", FileFormat::Jpeg},  {"a.JPE", FileFormat::Jpeg}, {"a.jpeg", FileFormat::Jpeg},
        {"a.Bmp", FileFormat::Bmp},   {"a.tif", FileFormat::Tiff}, {"a.TIFF", FileFormat::Tiff},
        {"a.gif", FileFormat::Gif},   {"a.png", FileFormat::Png},  {"a.zld", FileFormat::Layered},
        {"a", FileFormat::None},      {"a.txt", FileFormat::None}, {"dir.png/a", FileFormat::None},
        {"a.jpgx", FileFormat::None},
    };
    for (const Row& r : rows) EXPECT_EQ(FormatForPath(r.path), r.format) << r.path;
}

TEST(SaveNames, ProposedNameDropsAKnownExtension) {
    EXPECT_EQ(ProposeSaveName("", 3), "Untitled-3");
    EXPECT_EQ(ProposeSaveName("/p/photo.JPEG", 1), "/p/photo");
    EXPECT_EQ(ProposeSaveName("/p/photo.tiff", 1), "/p/photo");
    EXPECT_EQ(ProposeSaveName("/p/photo.zld", 1), "/p/photo");
    EXPECT_EQ(ProposeSaveName("/p/photo.raw", 1), "/p/photo.raw");
}

TEST(SaveNames, FilterExtensionIsAppendedUnlessPresent) {
    EXPECT_EQ(ApplyFilterExtension("a.jpeg", SaveFilter::Jpeg), "a.jpeg");
    EXPECT_EQ(ApplyFilterExtension("a.JPG", SaveFilter::Jpeg), "a.JPG");
    EXPECT_EQ(ApplyFilterExtension("a.png", SaveFilter::Jpeg), "a.png.jpg");
    EXPECT_EQ(ApplyFilterExtension("a.tiff", SaveFilter::Tiff), "a.tiff");
    EXPECT_EQ(ApplyFilterExtension("a", SaveFilter::Tiff), "a.tif");
    EXPECT_EQ(ApplyFilterExtension("a", SaveFilter::Layered), "a.zld");
    EXPECT_EQ(ApplyFilterExtension("a.bmp", SaveFilter::Bmp), "a.bmp");
}

TEST(SaveNames, TheFormatChoosesTheOptionsDialogAndACancelStopsTheSave) {
    struct Row {
        const char* path;
        bool answer;  // what the dialog returns
        const char* shown;
        bool saves;
        int jpegQuality, tiffCompression;
    } rows[] = {
        {"a.JPG", true, "jpeg", true, 3, 1}, {"a.jpeg", false, "jpeg", false, 0, 0},
        {"a.tif", true, "tiff", true, 8, 5}, {"a.TIFF", false, "tiff", false, 0, 0},
        {"a.png", false, "", true, 8, 1},    {"a.zld", false, "", true, 8, 1},
        {"a.bmp", false, "", true, 8, 1},    {"a", false, "", true, 8, 1},
    };
    for (const Row& r : rows) {
        std::string shown;
        SaveOptionDialogs dialogs;
        dialogs.jpeg = [&](SaveOptions& o) {
            shown += "jpeg";
            o.jpegQuality = 3;
            return r.answer;
        };
        dialogs.tiff = [&](SaveOptions& o) {
            shown += "tiff";
            o.tiffCompression = 5;
            return r.answer;
        };
        const std::optional<SaveOptions> options = ChooseSaveOptions(r.path, dialogs);
        EXPECT_EQ(shown, r.shown) << r.path;
        ASSERT_EQ(options.has_value(), r.saves) << r.path;
        if (!options) continue;
        EXPECT_EQ(options->jpegQuality, r.jpegQuality) << r.path;
        EXPECT_EQ(options->tiffCompression, r.tiffCompression) << r.path;
    }
    EXPECT_TRUE(ChooseSaveOptions("a.jpg", {}));  // a front end without dialogs takes defaults
}

}  // namespace zelvo
