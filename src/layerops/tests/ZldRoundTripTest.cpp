// Writing a mixed document and reading it back; progress; a failed write keeps the old file.
#include <filesystem>

#include "files/SafeFile.h"
#include "layerops/Zld.h"
#include "layerops/tests/LayerOpsTestSupport.h"
#include "layerops/tests/ZldBytes.h"
#include "platform/Messages.h"

namespace zelvo::test {
namespace {

class ZldRoundTripTest : public LayerOpsTest {
protected:
    void MakeMixed() {
        LayerPtr first = OpenImage(Rgb(9, 8, 7));
        SetPixel(*first, 3, 4, 0x32ABCDEF);
        LayerPtr p = AddPixel(-5, 7, 9, 11, 0x64102030);
        SetPixel(*p, 8, 10, 0x00000000);
        p->SetOpacity(70);
        NewLayer(History());
        LayerPtr t = AddText("Zel\r\nvo", 2, 1, Rgb(250, 0, 5), 9);
        t->SetOpacity(40);
        t->SetVisible(false);
        t->Text().direction = kTextVertical;
        RenderText(*t);
        LayerPtr c = AddCurve({{1, 1}, {12, 2}, {11, 10}, {3, 9}}, true, true, Rgb(0, 200, 0));
        c->Anchors()[2].out = {14, 12};
        c->Anchors()[2].mode = kAnchorIndependent;
        RenderCurve(*c);
        LayerPtr hidden = AddPixel(0, 0, 2, 2, 0x64FFFFFF);
        hidden->SetVisible(false);
        Lm().SelectLayerByIndex(3);
    }
    std::unique_ptr<Doc> ReadBack(const std::string& path, int32_t& res) {
        auto back = std::make_unique<Doc>(*store, 0, 0);
        EXPECT_EQ(CheckLayeredDocument(path), 1);
        EXPECT_EQ(ReadLayeredDocument(path, *back->layers, res), 1);
        return back;
    }
};

TEST_F(ZldRoundTripTest, AMixedDocumentComesBackAsItWas) {
    MakeMixed();
    const std::string path = dir.File("mixed.zld");
    ASSERT_EQ(WriteLayeredDocument(path, Lm(), 3937), 1);
    int32_t res = 0;
    std::unique_ptr<Doc> back = ReadBack(path, res);
    EXPECT_EQ(res, 3937);
    EXPECT_EQ(back->image.width, kW);
    EXPECT_EQ(back->image.height, kH);
    ASSERT_EQ(back->layers->LayerCount(), Lm().LayerCount());
    for (int i = 0; i < Lm().LayerCount(); ++i) {
        SCOPED_TRACE(i);
        Layer& a = *Lm().LayerAt(i);
        Layer& b = *back->layers->LayerAt(i);
        EXPECT_EQ(b.Kind(), a.Kind());
        EXPECT_EQ(b.Width(), a.Width());
        EXPECT_EQ(b.Height(), a.Height());
        EXPECT_EQ(b.Bounds(), a.Bounds());
        EXPECT_EQ(b.Opacity(), a.Opacity());
        EXPECT_EQ(b.IsVisible(), a.IsVisible());
        EXPECT_EQ(b.IsCurrent(), i == 0);  // the bottom layer, whichever was current
        if (a.Kind() == LayerKind::Null) continue;
        EXPECT_EQ(Bytes(b), Bytes(a));  // pixels, or the masks drawn again
        if (a.Kind() == LayerKind::Text) {
            EXPECT_EQ(b.Text(), a.Text());
            EXPECT_EQ(b.Color(), a.Color());
        }
        if (a.Kind() == LayerKind::Curve) {
            EXPECT_EQ(b.Anchors(), a.Anchors());
            EXPECT_EQ(b.IsClosed(), a.IsClosed());
            EXPECT_EQ(b.IsFilled(), a.IsFilled());
            EXPECT_EQ(b.Color(), a.Color());
        }
    }
    // Ids and serials are the reading document's own.
    EXPECT_EQ(back->layers->LastId(), Lm().LayerCount());
}

// A picture past 20 million pixels, which Open takes after its question, and a text grown to the
// largest size Image Size makes, come back.
TEST_F(ZldRoundTripTest, APictureOpenTakesAndTheLargestTextComeBack) {
    LayerPtr first = OpenImage();
    LayerPtr t = AddText("A", 0, 0, Rgb(0, 0, 0));
    t->Text().fontSize = kMaxLayerFontSize;
    const std::string small = dir.File("small.zld"), large = dir.File("large.zld");
    ASSERT_EQ(WriteLayeredDocument(small, Lm(), 2834), 1);
    int32_t res = 0;
    EXPECT_EQ(ReadBack(small, res)->layers->LayerAt(1)->Text().fontSize, kMaxLayerFontSize);
    Doc big(*store, 5000, 4001);
    ASSERT_TRUE(big.layers->CreateFirstLayer(5000, 4001));
    ASSERT_EQ(WriteLayeredDocument(large, *big.layers, 2834), 1);
    EXPECT_EQ(ReadBack(large, res)->layers->LayerAt(0)->Width(), 5000);
}

TEST_F(ZldRoundTripTest, TheLayoutOfTheWrittenFile) {
    MakeMixed();
    const std::string path = dir.File("layout.zld");
    ASSERT_EQ(WriteLayeredDocument(path, Lm(), 2834), 1);
    const ZldBytes z{ZldBytes::Load(path)};
    const uint32_t n = uint32_t(Lm().LayerCount());
    ASSERT_EQ(z.Get32(4), z.Size());
    EXPECT_EQ(z.Get32(20), n);
    uint32_t next = 32 + 28 * n;
    for (uint32_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const size_t e = 32 + 28 * i;
        const Layer& l = *Lm().LayerAt(int(i));
        EXPECT_EQ(z.Get32(e), uint32_t(l.Kind()));
        EXPECT_EQ(z.Get32(e + 4), uint32_t(l.Width()));
        if (l.Kind() == LayerKind::Null) {
            EXPECT_EQ(z.Get32(e + 16), 0u);
            EXPECT_EQ(z.Get32(e + 20), 0u);
            continue;
        }
        EXPECT_EQ(z.Get32(e + 16), next);
        EXPECT_EQ(z.Get32(next), 0xFF00FF00u);
        const uint32_t expected =
            l.Kind() == LayerKind::Pixel  ? 48 + 4 * uint32_t(l.Width() * l.Height())
            : l.Kind() == LayerKind::Text ? 88 + uint32_t(l.Text().text.size()) + 1
                                          : 48 + 32 * uint32_t(l.Anchors().size());
        EXPECT_EQ(z.Get32(e + 20), expected);
        // The current-layer flag of the record.
        const size_t flag = next + (l.Kind() == LayerKind::Pixel ? 36 : 20);
        EXPECT_EQ(z.Get32(flag), l.IsCurrent() ? 1u : 0u);
        next += expected;
    }
    EXPECT_EQ(next, z.Size());
}

TEST_F(ZldRoundTripTest, ProgressSteps) {
    MakeMixed();
    CountingFeedback feedback;
    ScopedFeedback scoped(&feedback);
    const std::string path = dir.File("p.zld");
    ASSERT_EQ(WriteLayeredDocument(path, Lm(), 2834), 1);
    const int n = Lm().LayerCount();
    EXPECT_EQ(feedback.begun, std::vector<int>{n + 1});
    EXPECT_EQ(feedback.steps, n);
    int32_t res = 0;
    std::unique_ptr<Doc> back = ReadBack(path, res);
    EXPECT_EQ(feedback.begun, (std::vector<int>{n + 1, n + 3}));
    EXPECT_EQ(feedback.ended, 2);
}

// Every write fails after the first `allowed` bytes: a full disk.
struct FullDisk : FileOps {
    size_t allowed = 100;
    ssize_t PWrite(int fd, const void* data, size_t size, off_t offset) override {
        if (size_t(offset) + size > allowed) {
            errno = ENOSPC;
            return -1;
        }
        return FileOps::PWrite(fd, data, size, offset);
    }
};

TEST_F(ZldRoundTripTest, AFailedWriteKeepsTheOldFile) {
    MakeMixed();
    const std::string path = dir.File("old.zld");
    ZldBytes old;
    old.Header(60, 16, 12, 2834, 1).Entry(0, 0, 0, 0, 0);
    old.Save(path);
    {
        FullDisk disk;
        ScopedFileOps ops(&disk);
        EXPECT_EQ(WriteLayeredDocument(path, Lm(), 2834), 0);
    }
    EXPECT_EQ(ZldBytes::Load(path), old.b);
    EXPECT_EQ(WriteLayeredDocument(dir.File("no/such/folder.zld"), Lm(), 2834), 0);
    // Nothing but the old file is left in the folder.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        if (entry.path().extension() == ".zld" ||
            entry.path().filename().string().find("zelvo-tmp") != std::string::npos)
            ++files;
    EXPECT_EQ(files, 1);
}

// A layer past the coordinates the reader takes back is refused before anything is written: the
// file would otherwise be one that no longer opens.
TEST_F(ZldRoundTripTest, ALayerPastTheCoordinateLimitIsRefusedBeforeWriting) {
    ScopedRecordingMessages messages;
    MakeMixed();
    const std::string path = dir.File("far.zld");
    LayerPtr c = AddCurve({{1, 1}, {12, 2}, {11, 10}}, false, false, Rgb(0, 0, 0));
    c->Anchors()[1].out = {(1 << 24) + 1, 2};
    EXPECT_EQ(WriteLayeredDocument(path, Lm(), 2834), -1);
    EXPECT_EQ(messages.Last(),
              "A layer lies too far from the canvas for the layered format (.zld).");
    EXPECT_FALSE(std::filesystem::exists(path));
    c->Anchors()[1].out = {1 << 24, 2};
    EXPECT_EQ(WriteLayeredDocument(path, Lm(), 2834), 1);
}

}  // namespace
}  // namespace zelvo::test
