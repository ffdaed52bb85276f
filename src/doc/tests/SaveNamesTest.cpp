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

}  // namespace zelvo
