#include "doc/Image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "core/RowBands.h"
#include "files/RasterFile.h"
#include "files/RowSource.h"
#include "files/tests/TestImages.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "store/SpaceFailures.h"
#include "testsupport/DocumentTestSupport.h"
#include "workspace/Workspace.h"

namespace zelvo {
namespace {

class ImageTest : public test::DocumentFixture {
protected:
    FileDynamicStore& Store() { return workspace->Store(); }

    // The flattened picture, top row first, 3 bytes a pixel without padding.
    static std::vector<uint8_t> Flat(Image& image) {
        RasterImage flat;
        EXPECT_TRUE(flat.Allocate(image.Width(), image.Height(), 24, RowOrder::TopDown));
        EXPECT_TRUE(image.Layers().RenderFlat(flat.Data(), flat.Stride(), 24, kFormatPng, 0));
        std::vector<uint8_t> out;
        for (int32_t y = 0; y < image.Height(); ++y)
            out.insert(out.end(), flat.TopRow(y), flat.TopRow(y) + 3 * image.Width());
        return out;
    }

    // Writes a 24-bit BMP whose pixel (x, y) from the top is (x, y, x ^ y) as B, G, R.
    std::string WritePatternBmp(const std::string& name, int32_t w, int32_t h) {
        RasterImage img;
        EXPECT_TRUE(img.Allocate(w, h, 24, RowOrder::BottomUp));
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = img.TopRow(y);
            for (int32_t x = 0; x < w; ++x) {
                row[3 * x] = uint8_t(x);
                row[3 * x + 1] = uint8_t(y);
                row[3 * x + 2] = uint8_t(x ^ y);
            }
        }
        std::string path = dir.File(name);
        EXPECT_TRUE(WriteRasterFile(path, img, kFileBmp, 0, 0));
        return path;
    }
};

TEST_F(ImageTest, NewImageIsOneWhiteOpaqueLayer) {
    Image image(*workspace);
    ASSERT_TRUE(image.NewImage({40, 30, 2835}));
    EXPECT_TRUE(image.IsReady());
    EXPECT_FALSE(image.IsModified());
    EXPECT_EQ(image.Title(), "Untitled-1");
    EXPECT_EQ(image.Resolution(), 2835);
    ASSERT_EQ(image.Layers().LayerCount(), 1);
    LayerPtr layer = image.Layers().CurrentLayer();
    EXPECT_EQ(layer->Kind(), LayerKind::Pixel);
    EXPECT_EQ(layer->Opacity(), 100);
    EXPECT_EQ(Flat(image), std::vector<uint8_t>(40 * 30 * 3, 255));
    // the layer and the display buffer: the stroke block waits for the first stroke
    EXPECT_EQ(Store().UsedCount(), 2u);
    EXPECT_EQ(workspace->StrokeBlock(), 0u);
}

TEST_F(ImageTest, RefusedNewImageLeavesNothingBehind) {
    Image image(*workspace);
    EXPECT_FALSE(image.NewImage({10001, 100, 2835}));
    EXPECT_EQ(messages.Last(),
              "Image should not more than 20 million pixels,\n or the height and width should not "
              "more than 10,000 pixels!");
    EXPECT_FALSE(image.IsReady());
    EXPECT_EQ(image.Layers().LayerCount(), 0);
    EXPECT_EQ(Store().UsedCount(), 0u);
}

TEST_F(ImageTest, UntitledNumbersCountNewAndOpenedDocuments) {
    std::string bmp = WritePatternBmp("a.bmp", 60, 2);
    Image a(*workspace), b(*workspace), c(*workspace);
    ASSERT_TRUE(a.NewImage({10, 10, 2835}));
    ASSERT_TRUE(b.Open(bmp));
    ASSERT_TRUE(c.NewImage({10, 10, 2835}));
    EXPECT_EQ(a.UntitledNumber(), 1);
    EXPECT_EQ(b.UntitledNumber(), 2);
    EXPECT_EQ(c.UntitledNumber(), 3);
    EXPECT_EQ(b.Title(), "a.bmp");
}

TEST_F(ImageTest, OpenCopiesEveryPixelOpaqueAndSetsTheFileFields) {
    const int32_t w = 37, h = 23;  // odd sizes: padded file rows
    std::string path = WritePatternBmp("pattern.bmp", w, h);
    Image image(*workspace);
    ASSERT_TRUE(image.Open(path)) << messages.Last();
    EXPECT_EQ(image.Width(), w);
    EXPECT_EQ(image.Height(), h);
    EXPECT_EQ(image.Resolution(), 2834);
    EXPECT_EQ(image.Path(), path);
    std::vector<uint8_t> expected;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            expected.push_back(uint8_t(x));
            expected.push_back(uint8_t(y));
            expected.push_back(uint8_t(x ^ y));
        }
    EXPECT_EQ(Flat(image), expected);
    // every alpha is 100
    LayerPtr layer = image.Layers().CurrentLayer();
    RowCursor* rows = layer->Rows();
    for (int32_t r = 0; r < h; ++r)
        for (int32_t x = 0; x < w; ++x) ASSERT_EQ(rows->Row(uint32_t(r))[4 * x + 3], 100);
}

TEST_F(ImageTest, SaveThenOpenGivesTheSamePixels) {
    std::string src = WritePatternBmp("src.bmp", 64, 48);
    Image a(*workspace);
    ASSERT_TRUE(a.Open(src));
    a.SetModified(true);
    std::string out = dir.File("copy.BMP");
    ASSERT_TRUE(a.Save(out, {}));
    EXPECT_FALSE(a.IsModified());
    EXPECT_EQ(a.Path(), out);
    Image b(*workspace);
    ASSERT_TRUE(b.Open(out));
    EXPECT_EQ(Flat(a), Flat(b));
}

// A progressive picture's coefficients wait in blocks of the store while it is read, and those
// blocks are free again once it is open.
TEST_F(ImageTest, ProgressiveJpegOpensThroughTheStoreAndGivesItsRoomBack) {
    std::mt19937 random(3);
    const std::string path = dir.File("p.jpg");
    test::WriteBytes(path, test::ProgressiveJpeg(900, 700, 3, random));
    const RasterReadResult inMemory = ReadRasterFile(path);
    ASSERT_TRUE(inMemory.ok);
    Image image(*workspace);
    ASSERT_TRUE(image.Open(path)) << messages.Last();
    std::vector<uint8_t> expected;
    for (int32_t y = 0; y < 700; ++y)
        expected.insert(expected.end(), inMemory.image.TopRow(y),
                        inMemory.image.TopRow(y) + 3 * 900);
    EXPECT_EQ(Flat(image), expected);
    EXPECT_EQ(Store().UsedCount(), 2u);  // the layer and the display buffer
    EXPECT_GT(Store().FreeCount(), 0u);
    EXPECT_TRUE(Store().CheckStore());
}

// Without disk room for the coefficients, nor for the layer, the open fails for want of space
// and leaves nothing in the store.
TEST_F(ImageTest, ProgressiveJpegOnAFullDiskFailsCleanly) {
    std::mt19937 random(3);
    const std::string path = dir.File("p.jpg");
    test::WriteBytes(path, test::ProgressiveJpeg(900, 700, 3, random));
    // The store's free space taken, so that every block must grow the file.
    std::vector<BlockHandle> taken;
    for (uint32_t free; (free = Store().GetHeader().largestFree) > 64;)
        taken.push_back(Store().Allocate(free - 16));
    const uint32_t used = Store().UsedCount();
    disks.disks[0].available = uint64_t(1) << 20;
    const uint64_t failures = ScratchSpaceFailures();
    Image image(*workspace);
    EXPECT_FALSE(image.Open(path));
    EXPECT_GE(ScratchSpaceFailures(), failures + 2);  // the coefficients, then the layer
    EXPECT_FALSE(image.IsReady());
    EXPECT_EQ(Store().UsedCount(), used);
    EXPECT_TRUE(Store().CheckStore());
    for (BlockHandle b : taken) EXPECT_TRUE(Store().Free(b));
}

TEST_F(ImageTest, SavingRendersBandsIntoTheSameFileAsTheWholeFlatPicture) {
    struct Output {
        const char* ext;
        int type;
        SaveOptions options;
    } outputs[] = {
        {"bmp", kFileBmp, {}},          {"png", kFilePng, {}},
        {"gif", kFileGif, {}},          {"jpg", kFileJpeg, {8, 1, 9}},
        {"jpg", kFileJpeg, {12, 1, 9}}, {"tif", kFileTiff, {8, 1, 9}},
        {"tif", kFileTiff, {8, 5, 9}},  {"tif", kFileTiff, {8, 7, 4}},
        {"tif", kFileTiff, {8, 8, 9}},
    };
    const int32_t sizes[][2] = {{1, 1}, {7, 5}, {45, 38}};
    for (const auto& size : sizes) {
        Image image(*workspace);
        ASSERT_TRUE(image.Open(WritePatternBmp("in.bmp", size[0], size[1])));
        for (const Output& o : outputs) {
            SCOPED_TRACE(testing::Message() << o.ext << " " << o.options.jpegQuality << " "
                                            << o.options.tiffCompression << " " << size[0]);
            // The whole picture rendered in the format's row order and written at once.
            const bool topDown = o.type == kFileTiff || o.type == kFilePng ||
                                 (o.type == kFileJpeg && o.options.jpegQuality != 12);
            RasterImage flat;
            ASSERT_TRUE(flat.Allocate(size[0], size[1], 24,
                                      topDown ? RowOrder::TopDown : RowOrder::BottomUp));
            ASSERT_TRUE(image.Layers().RenderFlat(flat.Data(), flat.Stride(), 24, o.type,
                                                  o.options.jpegQuality));
            const std::string whole = dir.File(std::string("whole.") + o.ext);
            ASSERT_TRUE(
                WriteRasterFile(whole, flat, o.type,
                                o.type == kFileTiff ? o.options.tiffQuality : o.options.jpegQuality,
                                o.options.tiffCompression));
            // Bands of five rows, so that the larger picture crosses several.
            const ScopedSaveBandBytes bands(size_t(size[0]) * 3 * 5);
            const std::string saved = dir.File(std::string("saved.") + o.ext);
            ASSERT_TRUE(image.Save(saved, o.options));
            EXPECT_EQ(test::ReadBytes(saved), test::ReadBytes(whole));
        }
    }
}

TEST_F(ImageTest, SaveRefusalsKeepTheDocumentModified) {
    Image image(*workspace);
    ASSERT_TRUE(image.NewImage({8, 8, 2835}));
    image.SetModified(true);
    EXPECT_FALSE(image.Save(dir.File("noextension"), {}));
    EXPECT_EQ(messages.Last(), "Can not save the document without extension!");
    EXPECT_FALSE(image.Save(dir.File("missing/folder/a.bmp"), {}));
    EXPECT_EQ(messages.Last(), "The folder " + dir.File("missing/folder") +
                                   "/ is not there: the document cannot be saved in it. Please "
                                   "use Save As to save in another folder!");
    EXPECT_TRUE(image.IsModified());
    EXPECT_TRUE(image.Path().empty());
}

TEST_F(ImageTest, UnreadableFilesOpenNothingAndLeakNothing) {
    std::string small = dir.File("small.bmp");
    std::ofstream(small) << "BM tiny";
    std::string text = dir.File("notes.txt");
    std::ofstream(text) << std::string(200, 'x');
    // Neither is waited on: a FIFO without a writer would hold a plain open() for ever.
    std::string fifo = dir.File("pipe.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string folder = dir.File("folder.zld");
    std::filesystem::create_directory(folder);
    for (const std::string& path : {small, text, dir.File("absent.png"), fifo, folder}) {
        Image image(*workspace);
        EXPECT_FALSE(image.Open(path)) << path;
        EXPECT_EQ(messages.Last(), "This file should not be opened!");
        EXPECT_FALSE(image.IsReady());
        EXPECT_EQ(image.Layers().LayerCount(), 0);
        EXPECT_EQ(Store().UsedCount(), 0u);
    }
}

TEST_F(ImageTest, EveryBmpLayoutGoesIntoTheLayerRowForRow) {
    struct Case {
        test::BmpLayout layout;
        int32_t width, height;
    };
    const Case cases[] = {
        {{24, 0, false}, 1500, 1000}, {{32, 3, true}, 61, 70}, {{8, 1, false}, 61, 70},
        {{4, 0, false}, 61, 70},      {{16, 0, true}, 61, 70},
    };
    std::mt19937 random(5);
    for (const Case& c : cases) {
        for (int32_t kept : {c.height, c.height / 3}) {
            SCOPED_TRACE(testing::Message() << c.layout.bits << " bits, compression "
                                            << c.layout.compression << ", rows kept " << kept);
            const test::BmpCase bmp = test::MakeBmpCase(c.layout, c.width, c.height, kept, random);
            test::WriteBytes(dir.File("v.bmp"), bmp.bytes);
            for (int32_t threads : {1, 3}) {
                ScopedPassThreads scoped(threads);
                messages.Clear();
                Image image(*workspace);
                ASSERT_TRUE(image.Open(dir.File("v.bmp"))) << messages.Last();
                EXPECT_EQ(messages.Contains("Can not open this file integrity!"), kept < c.height);
                ASSERT_EQ(image.Width(), c.width);
                ASSERT_EQ(image.Height(), c.height);
                RowCursor* rows = image.Layers().CurrentLayer()->Rows();
                int32_t wrong = 0;
                for (int32_t y = 0; y < c.height; ++y) {
                    const uint8_t* got = rows->Row(uint32_t(y));  // bottom row first
                    const uint8_t* want = bmp.expected.BottomRow(y);
                    for (int32_t x = 0; x < c.width; ++x)
                        wrong +=
                            std::memcmp(got + 4 * x, want + 3 * x, 3) != 0 || got[4 * x + 3] != 100;
                }
                EXPECT_EQ(wrong, 0) << threads;
            }
        }
    }
}

TEST_F(ImageTest, AJpegGoesIntoTheLayerAsItDecodes) {
    ASSERT_TRUE(WriteRasterFile(dir.File("s.jpg"), test::SmoothImage(333, 211), kFileJpeg, 10, 0));
    const std::vector<uint8_t> bytes = test::ReadBytes(dir.File("s.jpg"));
    const RasterReadResult whole = ReadRasterMemory(bytes.data(), bytes.size(), "jpg");
    ASSERT_TRUE(whole.ok);
    Image image(*workspace);
    ASSERT_TRUE(image.Open(dir.File("s.jpg"))) << messages.Last();
    RowCursor* rows = image.Layers().CurrentLayer()->Rows();
    int32_t wrong = 0;
    for (int32_t y = 0; y < whole.image.Height(); ++y)
        for (int32_t x = 0; x < whole.image.Width(); ++x)
            wrong += std::memcmp(rows->Row(uint32_t(y)) + 4 * x, whole.image.BottomRow(y) + 3 * x,
                                 3) != 0;
    EXPECT_EQ(wrong, 0);
}

// A photo opens as its Exif orientation says it is seen: turned, flipped or both.
TEST_F(ImageTest, AJpegOpensTheWayItsExifOrientationSays) {
    const int32_t w = 37, h = 21;
    ASSERT_TRUE(WriteRasterFile(dir.File("s.jpg"), test::SmoothImage(w, h), kFileJpeg, 10, 0));
    const std::vector<uint8_t> bytes = test::ReadBytes(dir.File("s.jpg"));
    const RasterReadResult stored = ReadRasterMemory(bytes.data(), bytes.size(), "jpg");
    ASSERT_TRUE(stored.ok);
    // The stored pixel that each orientation shows at (x, y), counted from the top left.
    auto source = [&](int orientation, int32_t x, int32_t y) -> std::pair<int32_t, int32_t> {
        switch (orientation) {
            case 2:
                return {w - 1 - x, y};
            case 3:
                return {w - 1 - x, h - 1 - y};
            case 4:
                return {x, h - 1 - y};
            case 5:
                return {y, x};
            case 6:
                return {y, h - 1 - x};
            case 7:
                return {w - 1 - y, h - 1 - x};
            case 8:
                return {w - 1 - y, x};
            default:
                return {x, y};
        }
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        test::WriteBytes(dir.File("o.jpg"),
                         test::WithApp1Segment(bytes, test::ExifPayload(uint32_t(orientation))));
        Image image(*workspace);
        ASSERT_TRUE(image.Open(dir.File("o.jpg"))) << messages.Last();
        const bool sideways = orientation >= 5;
        ASSERT_EQ(image.Width(), sideways ? h : w);
        ASSERT_EQ(image.Height(), sideways ? w : h);
        const LayerPtr layer = image.Layers().CurrentLayer();
        ASSERT_EQ(layer->Width(), image.Width());
        ASSERT_EQ(layer->Height(), image.Height());
        RowCursor* rows = layer->Rows();
        int32_t wrong = 0;
        for (int32_t y = 0; y < image.Height(); ++y)
            for (int32_t x = 0; x < image.Width(); ++x) {
                const auto [sx, sy] = source(orientation, x, y);
                wrong += std::memcmp(rows->Row(uint32_t(image.Height() - 1 - y)) + 4 * x,
                                     stored.image.TopRow(sy) + 3 * sx, 3) != 0;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(image.History().StateCount(), 1);
    }
}

TEST_F(ImageTest, AMalformedBmpOpensNothingAndLeavesTheOpenDocumentAsItWas) {
    std::string good = WritePatternBmp("good.bmp", 40, 30);
    Image open(*workspace);
    ASSERT_TRUE(open.Open(good));
    const std::vector<uint8_t> before = Flat(open);
    const uint64_t used = Store().UsedCount();
    std::mt19937 random(9);
    const std::vector<uint8_t> bytes = test::MakeBmpCase({24, 0, false}, 40, 30, 30, random).bytes;
    auto with = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> b = bytes;
        test::Put32(b, at, value);
        return b;
    };
    const std::pair<const char*, std::vector<uint8_t>> files[] = {
        {"cut in the headers", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40)},
        {"past the pixel cap", with(18, 20000)},
        {"negative width", with(18, uint32_t(-40))},
        {"unknown compression", with(30, 9)},
        {"unknown header size", with(14, 20)},
    };
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        test::WriteBytes(dir.File("bad.bmp"), file);
        messages.Clear();
        Image image(*workspace);
        EXPECT_FALSE(image.Open(dir.File("bad.bmp")));
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"This file should not be opened!"});
        EXPECT_FALSE(image.IsReady());
        EXPECT_EQ(image.Layers().LayerCount(), 0);
        EXPECT_EQ(Store().UsedCount(), used);
        EXPECT_EQ(Flat(open), before);
    }
}

TEST_F(ImageTest, ALargePictureOpensWithTheTwentyMillionWarning) {
    std::string path = WritePatternBmp("large.bmp", 6000, 4000);
    Image image(*workspace);
    ASSERT_TRUE(image.Open(path));
    EXPECT_TRUE(messages.Contains(
        "Images more than 20 million pixels!\n Please use the Image Size function will be reduced "
        "to 20 million pixels within."));
    EXPECT_EQ(image.Width(), 6000);
    // Opening reserves no stroke block; the first stroke reserves one for the whole canvas.
    EXPECT_EQ(workspace->StrokeBlock(), 0u);
    ASSERT_TRUE(workspace->EnsureStrokeCapacity(image.Width(), image.Height()));
    EXPECT_GE(workspace->StrokeCapacity(), 24000000u);
}

TEST_F(ImageTest, TheCloseQuestionDecidesWhatHappens) {
    Image image(*workspace);
    ASSERT_TRUE(image.NewImage({8, 8, 2835}));
    image.SetModified(true);

    messages.QueueAnswer(Answer::Cancel);
    EXPECT_FALSE(AskAndClose(image, {}, nullptr));
    EXPECT_EQ(messages.Last(), "Whether the save the file?");
    EXPECT_TRUE(image.IsReady());

    // Yes on an untitled image runs Save As; a failed Save As keeps the image.
    messages.QueueAnswer(Answer::Yes);
    int saveAsCalls = 0;
    EXPECT_FALSE(AskAndClose(image, {}, [&](Image&) { return ++saveAsCalls, false; }));
    EXPECT_EQ(saveAsCalls, 1);
    EXPECT_TRUE(image.IsReady());

    std::string path = dir.File("saved.bmp");
    messages.QueueAnswer(Answer::Yes);
    EXPECT_TRUE(AskAndClose(image, {}, [&](Image& i) { return i.Save(path, {}); }));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(image.IsReady());
}

TEST_F(ImageTest, ClosingEveryDocumentEmptiesTheStore) {
    std::string path = WritePatternBmp("p.bmp", 300, 200);
    {
        Image a(*workspace), b(*workspace);
        ASSERT_TRUE(a.NewImage({500, 400, 2835}));
        ASSERT_TRUE(b.Open(path));
        b.SetModified(true);
        messages.QueueAnswer(Answer::No);
        EXPECT_TRUE(AskAndClose(b, {}, nullptr));
        EXPECT_TRUE(AskAndClose(a, {}, nullptr));  // not modified: no question
        EXPECT_EQ(messages.Entries().size(), 1u);
    }
    ASSERT_TRUE(workspace->ResetStore());
    EXPECT_EQ(Store().UsedCount(), 0u);
    EXPECT_EQ(Store().FreeCount(), 0u);
    EXPECT_EQ(workspace->StrokeBlock(), 0u);
    EXPECT_TRUE(Store().CheckStore());
    // nothing but the empty index
    EXPECT_EQ(std::filesystem::file_size(Store().FileName()),
              uint64_t(FileDynamicStore::kDataStart));
}

TEST_F(ImageTest, ClosingWithATextEditOpenLeavesNoBlockBehind) {
    {
        Image image(*workspace);
        ASSERT_TRUE(image.NewImage({60, 40, 2835}));
        ASSERT_TRUE(image.Texts().BeginNewText(60, 40));
        EXPECT_EQ(image.Layers().LayerCount(), 2);
        EXPECT_TRUE(AskAndClose(image, {}, nullptr));
        EXPECT_EQ(image.Texts().EditMode(), TextEdit::Mode::None);
        EXPECT_EQ(Store().UsedCount(), 0u);
    }
    EXPECT_EQ(Store().UsedCount(), 0u);
}

}  // namespace
}  // namespace zelvo
