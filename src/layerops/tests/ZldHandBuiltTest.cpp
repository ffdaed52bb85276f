// .zld files laid out byte by byte here from the format: what the checker and the reader
// accept and refuse, and that the writer produces exactly these bytes for the same document.
#include "layerops/Zld.h"
#include "layerops/tests/LayerOpsTestSupport.h"
#include "layerops/tests/ZldBytes.h"

namespace zelvo::test {
namespace {

constexpr uint32_t kMarker = 0xFF00FF00u;

class ZldHandBuiltTest : public LayerOpsTest {
protected:
    // Checks and reads `bytes` into a fresh document; the result of each.
    std::pair<int, int> Open(const ZldBytes& bytes) {
        const std::string path = dir.File("hand.zld");
        bytes.Save(path);
        opened = std::make_unique<Doc>(*store, 0, 0);
        resolution = 0;
        const int check = CheckLayeredDocument(path);
        const int read = ReadLayeredDocument(path, *opened->layers, resolution);
        if (!read) {
            EXPECT_EQ(opened->layers->LayerCount(), 0);
            EXPECT_EQ(store->UsedCount(), usedBefore) << "a refused file left a block behind";
        }
        return {check, read};
    }
    // Writes this fixture's document and returns the bytes.
    ZldBytes Written(int32_t res = 2834) {
        const std::string path = dir.File("ours.zld");
        EXPECT_EQ(WriteLayeredDocument(path, Lm(), res), 1);
        return {ZldBytes::Load(path)};
    }
    void TearDown() override {
        opened.reset();
        LayerOpsTest::TearDown();
    }
    // A document holding only the given layer.
    void Only(const LayerPtr& l) {
        Lm().InsertAt(0, l);
        MakeCurrentAt(Lm(), 0);
    }

    std::unique_ptr<Doc> opened;
    int32_t resolution = 0;
    uint32_t usedBefore = 0;
};

ZldBytes NullOnly() {
    ZldBytes z;
    z.Header(60, 16, 12, 2834, 1).Entry(0, 0, 0, 0, 0);
    return z;
}

TEST_F(ZldHandBuiltTest, TheSixtyByteNullOnlyFile) {
    const ZldBytes z = NullOnly();
    ASSERT_EQ(z.Size(), 60u);
    EXPECT_EQ(Open(z), std::make_pair(1, 1));
    ASSERT_EQ(opened->layers->LayerCount(), 1);
    EXPECT_EQ(opened->layers->LayerAt(0)->Kind(), LayerKind::Null);
    EXPECT_TRUE(opened->layers->LayerAt(0)->IsCurrent());
    EXPECT_EQ(opened->image.width, 16);
    EXPECT_EQ(opened->image.height, 12);
    EXPECT_EQ(resolution, 2834);

    auto null = std::make_shared<Layer>(*store);
    null->Create(0, 0, LayerKind::Null, Lm().NextId());
    Only(null);
    EXPECT_EQ(Written().b, z.b);
}

TEST_F(ZldHandBuiltTest, TooShortOrWrongMagicOrVersion) {
    ZldBytes z = NullOnly();
    z.b.resize(59);
    z.FixTotal();
    EXPECT_EQ(Open(z), std::make_pair(0, 0));
    z = NullOnly();
    z.b[3] = '1';
    EXPECT_EQ(Open(z), std::make_pair(0, 0));
    z = NullOnly();
    z.Set32(24, 2);
    EXPECT_EQ(Open(z), std::make_pair(0, 0));
    // A canvas larger than Open takes a picture, also one whose 32-bit product would wrap into
    // range.
    z = NullOnly();
    z.Set32(8, 10000);
    z.Set32(12, 10001);
    EXPECT_EQ(Open(z), std::make_pair(0, 0));
    z.Set32(8, 65536);
    z.Set32(12, 65536);
    EXPECT_EQ(Open(z), std::make_pair(0, 0));
}

TEST_F(ZldHandBuiltTest, At127LayersAcceptedAt128Refused) {
    for (uint32_t n : {127u, 128u}) {
        SCOPED_TRACE(n);
        ZldBytes z;
        z.Header(32 + 28 * n, 8, 8, 2834, n);
        for (uint32_t i = 0; i < n; ++i) z.Entry(0, 0, 0, 0, 0);
        const auto result = Open(z);
        if (n == 127) {
            EXPECT_EQ(result, std::make_pair(1, 1));
            EXPECT_EQ(opened->layers->LayerCount(), 127);
        } else {
            EXPECT_EQ(result, std::make_pair(0, 0));
        }
    }
}

TEST_F(ZldHandBuiltTest, AnyChangedByteOfTheTotalLengthRefuses) {
    for (size_t at = 4; at < 8; ++at) {
        for (uint8_t delta : {uint8_t(1), uint8_t(0x80)}) {
            ZldBytes z = NullOnly();
            z.b[at] = uint8_t(z.b[at] ^ delta);
            EXPECT_EQ(Open(z), std::make_pair(0, 0)) << at;
        }
    }
}

// A text record laid out field by field.
ZldBytes TextFile(const std::string& text, uint32_t current) {
    const uint32_t textBytes = uint32_t(text.size()) + 1;
    const uint32_t record = 60;
    ZldBytes z;
    z.Header(record + 88 + textBytes, 16, 12, 2834, 1).Entry(2, 16, 12, record, 88 + textBytes);
    z.U32(kMarker).U32(2).U32(1).U32(35).U32(0).U32(current).U32(0).U32(textBytes).U32(24);
    z.I32(-3).I32(5).U32(0x00123456).Text("Liberation Sans", 32);
    z.U32(record + 88).U32(textBytes).Text(text, textBytes);
    return z;
}

TEST_F(ZldHandBuiltTest, AnEmptyTextIsARecordOf89Bytes) {
    const ZldBytes z = TextFile("", 1);
    ASSERT_EQ(z.Size(), 60u + 89u);
    EXPECT_EQ(z.Get32(32 + 20), 89u);
    EXPECT_EQ(Open(z), std::make_pair(1, 1));
    ASSERT_EQ(opened->layers->LayerCount(), 1);
    const Layer& l = *opened->layers->LayerAt(0);
    EXPECT_EQ(l.Kind(), LayerKind::Text);
    EXPECT_EQ(l.Width(), 16);
    EXPECT_EQ(l.Height(), 12);
    EXPECT_EQ(l.Text().text, "");
    EXPECT_EQ(l.Text().fontSize, 24);
    EXPECT_EQ(l.Text().originX, -3);
    EXPECT_EQ(l.Text().originY, 5);
    EXPECT_EQ(l.Text().face, "Liberation Sans");
    EXPECT_EQ(l.Text().direction, kTextVertical);
    EXPECT_EQ(l.Color(), 0x00123456u);
    EXPECT_EQ(l.Opacity(), 35);
    EXPECT_FALSE(l.IsVisible());

    // Our writer lays the same document out the same way.
    auto text = std::make_shared<Layer>(*store);
    ASSERT_TRUE(text->Create(16, 12, LayerKind::Text, Lm().NextId()));
    text->Text() = l.Text();
    text->SetColor(l.Color());
    text->SetOpacity(35);
    text->SetVisible(false);
    Only(text);
    doc->image.width = 16;
    doc->image.height = 12;
    EXPECT_EQ(Written().b, z.b);
}

TEST_F(ZldHandBuiltTest, TextIsReadUpToItsNul) {
    ZldBytes z = TextFile("ab\r\ncd", 0);
    EXPECT_EQ(Open(z), std::make_pair(1, 1));
    EXPECT_EQ(opened->layers->LayerAt(0)->Text().text, "ab\r\ncd");
}

ZldBytes ClosedCurveFile(const std::vector<std::array<int32_t, 7>>& anchors) {
    const uint32_t m = uint32_t(anchors.size());
    ZldBytes z;
    z.Header(60 + 48 + 32 * m, 16, 12, 2834, 1).Entry(3, 16, 12, 60, 48 + 32 * m);
    z.U32(kMarker).U32(3).U32(1).U32(90).U32(1).U32(1).U32(1).U32(1).U32(m).U32(0x0000FF00);
    z.U32(60 + 48).U32(32 * m);
    for (const auto& a : anchors) {
        z.U32(0);
        for (int32_t v : a) z.I32(v);
    }
    return z;
}

TEST_F(ZldHandBuiltTest, AClosedCurveOfFourAnchorsIs176BytesAndReadsBack) {
    const std::vector<std::array<int32_t, 7>> anchors = {{1, 1, 2, 2, 3, 3, 1},
                                                         {10, -2, 11, 1, 12, 4, 0},
                                                         {9, 9, 9, 9, 9, 9, 1},
                                                         {-1, 8, 1, 7, 3, 6, 0}};
    const ZldBytes z = ClosedCurveFile(anchors);
    ASSERT_EQ(z.Get32(32 + 20), 176u);
    EXPECT_EQ(Open(z), std::make_pair(1, 1));
    const Layer& l = *opened->layers->LayerAt(0);
    ASSERT_EQ(l.Kind(), LayerKind::Curve);
    ASSERT_EQ(l.Anchors().size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const auto& a = anchors[i];
        EXPECT_EQ(l.Anchors()[i], (CurveAnchor{{a[0], a[1]}, {a[2], a[3]}, {a[4], a[5]}, a[6]}));
    }
    EXPECT_TRUE(l.IsClosed());
    EXPECT_TRUE(l.IsFilled());
    EXPECT_EQ(l.Color(), 0x0000FF00u);
    EXPECT_EQ(l.Opacity(), 90);

    auto curve = std::make_shared<Layer>(*store);
    ASSERT_TRUE(curve->Create(16, 12, LayerKind::Curve, Lm().NextId()));
    curve->Anchors() = l.Anchors();
    curve->SetClosed(true);
    curve->SetFilled(true);
    curve->SetColor(l.Color());
    curve->SetOpacity(90);
    Only(curve);
    doc->image.width = 16;
    doc->image.height = 12;
    EXPECT_EQ(Written().b, z.b);
}

// A pixel record of w x h from `pixels` (stored rows, bottom row first).
ZldBytes PixelFile(int32_t w, int32_t h, const std::vector<uint32_t>& pixels) {
    const uint32_t data = uint32_t(4 * w * h);
    ZldBytes z;
    z.Header(60 + 48 + data, 16, 12, 2834, 1).Entry(1, uint32_t(w), uint32_t(h), 60, 48 + data);
    z.U32(kMarker).U32(1).I32(w).I32(h).I32(-1).I32(4).U32(32).U32(70).U32(0).U32(1);
    z.U32(60 + 48).U32(data);
    for (uint32_t p : pixels) z.U32(p);
    return z;
}

TEST_F(ZldHandBuiltTest, PixelRowsAreStoredBottomUp) {
    const std::vector<uint32_t> px = {0x64010203, 0x00000000, 0x32FFFFFF,
                                      0x64AABBCC, 0x01020304, 0x64000000};
    const ZldBytes z = PixelFile(3, 2, px);
    EXPECT_EQ(Open(z), std::make_pair(1, 1));
    LayerPtr l = opened->layers->LayerAt(0);
    ASSERT_EQ(l->Kind(), LayerKind::Pixel);
    EXPECT_EQ(l->Bounds(), (Rect{-1, 4, 2, 6}));
    EXPECT_EQ(l->Opacity(), 70);
    EXPECT_FALSE(l->IsVisible());
    EXPECT_EQ(PixelAt(*l, 0, 1), 0x64010203u);  // the first stored row is the bottom one
    EXPECT_EQ(PixelAt(*l, 2, 0), 0x64000000u);

    auto ours = std::make_shared<Layer>(*store);
    ASSERT_TRUE(ours->Create(3, 2, LayerKind::Pixel, Lm().NextId()));
    ours->SetPosition(-1, 4);
    ours->SetOpacity(70);
    ours->SetVisible(false);
    for (int i = 0; i < 6; ++i) SetPixel(*ours, i % 3, 1 - i / 3, px[size_t(i)]);
    Only(ours);
    doc->image.width = 16;
    doc->image.height = 12;
    EXPECT_EQ(Written().b, z.b);
}

// Pixel, text and curve records back to back, then changed in one place at a time.
class ZldRefusalTest : public ZldHandBuiltTest {
protected:
    ZldBytes Mixed() {
        ZldBytes z;
        const uint32_t pixel = 32 + 28 * 4, text = pixel + 48 + 8, curve = text + 88 + 2;
        z.Header(curve + 48 + 64, 16, 12, 2834, 4)
            .Entry(1, 1, 2, pixel, 56)
            .Entry(0, 0, 0, 0, 0)
            .Entry(2, 16, 12, text, 90)
            .Entry(3, 16, 12, curve, 112);
        z.U32(kMarker).U32(1).I32(1).I32(2).I32(0).I32(0).U32(32).U32(100).U32(1).U32(1);
        z.U32(pixel + 48).U32(8).U32(0x64000000).U32(0x64FFFFFF);
        z.U32(kMarker).U32(2).U32(1).U32(100).U32(1).U32(0).U32(1).U32(2).U32(10).I32(0).I32(0);
        z.U32(0).Text("Arial", 32).U32(text + 88).U32(2).Text("x", 2);
        z.U32(kMarker).U32(3).U32(1).U32(100).U32(1).U32(0).U32(0).U32(0).U32(2).U32(0);
        z.U32(curve + 48).U32(64);
        for (int i = 0; i < 2; ++i) z.U32(0).I32(i).I32(i).I32(i).I32(i).I32(i).I32(i).U32(1);
        EXPECT_EQ(z.Size(), z.Get32(4));
        return z;
    }
    static constexpr size_t kTable = 32;
    static constexpr size_t kPixel = 32 + 28 * 4;
    static constexpr size_t kText = kPixel + 56;
    static constexpr size_t kCurve = kText + 90;
};

TEST_F(ZldRefusalTest, TheMixedFileOpens) {
    EXPECT_EQ(Open(Mixed()), std::make_pair(1, 1));
    EXPECT_EQ(opened->layers->LayerCount(), 4);
}

TEST_F(ZldRefusalTest, RecordsThatDisagreeWithTheTableOrTheirHeaderAreRefused) {
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        int check;  // what the format's own check says
    };
    const Case cases[] = {
        {"pixel length in the table", kTable + 20, 60, 1},
        {"pixel data length", kPixel + 44, 12, 1},
        {"pixel data offset", kPixel + 40, kPixel + 52, 1},
        {"pixel width against the table", kPixel + 8, 2, 1},
        {"pixel size over the limit", kPixel + 8, 20001, 1},
        {"pixel width negative", kPixel + 8, 0xFFFFFFFFu, 1},
        {"text record offset points at the pixel record", kTable + 2 * 28 + 16, kPixel, 1},
        {"text lengths disagree", kText + 84, 3, 1},
        {"text over 1 MiB", kText + 28, (1u << 20) + 1, 1},
        {"text origin far outside", kText + 36, 0x7FFFFFFFu, 1},
        {"anchor count against the data length", kCurve + 32, 3, 1},
        {"anchors over the limit", kCurve + 32, 100000, 1},
        {"anchor coordinate far outside", kCurve + 48 + 8, 0x80000000u, 1},
        {"record kind against the table", kCurve + 4, 2, 1},
        {"unknown kind in the table", kTable + 28, 7, 1},
        {"null layer with a length", kTable + 28 + 20, 4, 1},
        {"record offset past the end", kTable + 3 * 28 + 16, 100000, 0},
        // Numbers no document of the program holds, refused where they come in.
        {"canvas width 0", 8, 0, 1},
        {"canvas height 0", 12, 0, 1},
        {"canvas side over 10 000", 8, 10001, 1},
        {"pixel position near 2^31", kPixel + 16, 0x7FFFFFF0u, 1},
        {"pixel position near -2^31", kPixel + 20, 0x80000000u, 1},
        {"pixel opacity over 100", kPixel + 28, 101, 1},
        {"text opacity negative", kText + 12, 0xFFFFFFFFu, 1},
        {"font size -2^31", kText + 32, 0x80000000u, 1},
        {"font size past what Image Size makes", kText + 32, 20001, 1},
        {"pixel alpha over 100", kPixel + 48 + 4, 0x65FFFFFF, 1},
        {"curve opacity far over 100", kCurve + 12, 1000, 1},
        {"more anchors than the canvas has pixels", kCurve + 32, 16 * 12 + 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZldBytes z = Mixed();
        z.Set32(c.at, c.value);
        EXPECT_EQ(Open(z), std::make_pair(c.check, 0));
    }
}

// Vector layers that ask for the most a file may: a canvas of 20 million pixels, a curve of
// 99 999 anchors reaching 16 million pixels out, a text of many long lines, some far off the
// canvas. They open (and are drawn once, over the rows they reach); a canvas one pixel wide
// and 20 million high is no canvas of the program's.
TEST_F(ZldHandBuiltTest, LargestVectorLayersOpenAndTallCanvasesAreRefused) {
    const int32_t w = 10000, h = 2000;
    const uint32_t anchors = 99999;
    std::string text;
    for (int line = 0; line < 2000; ++line) text += std::string(200, 'W') + "\r\n";
    const uint32_t textBytes = uint32_t(text.size()) + 1;
    const uint32_t first = 32 + 28 * 2, second = first + 88 + textBytes;
    ZldBytes z;
    z.Header(0, w, h, 2834, 2).Entry(2, w, h, first, 88 + textBytes);
    z.Entry(3, w, h, second, 48 + 32 * anchors);
    z.U32(kMarker).U32(2).U32(1).U32(100).U32(1).U32(0).U32(1).U32(textBytes).U32(20);
    z.I32(-5000).I32(-(1 << 24)).U32(0).Text("Arial", 32).U32(first + 88).U32(textBytes);
    z.Raw(text.c_str(), textBytes);
    z.U32(kMarker).U32(3).U32(1).U32(100).U32(1).U32(0).U32(1).U32(1).U32(anchors).U32(0);
    z.U32(second + 48).U32(32 * anchors);
    for (uint32_t i = 0; i < anchors; ++i) {
        const int32_t far = (i % 2 ? 1 : -1) * (1 << 24), y = int32_t(i % 4000) - 1000;
        z.U32(0).I32(far).I32(y).I32(far / 2).I32(-y).I32(-far).I32(y).U32(1);
    }
    z.FixTotal();
    EXPECT_EQ(Open(z), std::make_pair(1, 1));
    ASSERT_EQ(opened->layers->LayerCount(), 2);
    EXPECT_EQ(opened->layers->LayerAt(1)->Anchors().size(), anchors);

    ZldBytes tall;
    const uint32_t at = 32 + 28;
    tall.Header(0, 1, 20000000, 2834, 1).Entry(3, 1, 20000000, at, 48 + 32 * 3);
    tall.U32(kMarker).U32(3).U32(1).U32(100).U32(1).U32(0).U32(1).U32(1).U32(3).U32(0);
    tall.U32(at + 48).U32(32 * 3);
    for (int i = 0; i < 3; ++i)
        tall.U32(0).I32(-(1 << 24)).I32(1 << 24).I32(1 << 24).I32(-(1 << 24)).I32(0).I32(i).U32(1);
    tall.FixTotal();
    EXPECT_EQ(Open(tall), std::make_pair(1, 0));
}

TEST_F(ZldRefusalTest, TruncatedOrPaddedFilesAreRefused) {
    ZldBytes z = Mixed();
    z.b.resize(z.Size() - 1);
    z.FixTotal();
    EXPECT_EQ(Open(z).second, 0);
    z = Mixed();
    z.b.push_back(0);
    z.FixTotal();
    EXPECT_EQ(Open(z).second, 0);
    // No layer at all is no document.
    ZldBytes empty;
    empty.Header(60, 4, 4, 2834, 0).Entry(0, 0, 0, 0, 0);
    EXPECT_EQ(Open(empty).second, 0);
}

}  // namespace
}  // namespace zelvo::test
