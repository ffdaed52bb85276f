#include "print/PrintJob.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "doc/Image.h"
#include "files/RasterImage.h"
#include "platform/Messages.h"
#include "print/PrintPreviewModel.h"
#include "testsupport/DocumentTestSupport.h"
#include "workspace/Workspace.h"

namespace zelvo {
namespace {

// Records what Print asks of the device.
class FakeSurface : public PrintSurface {
public:
    PrintPage Page() const override { return page; }
    bool Prepare() override { return canPrepare; }
    bool Begin(const std::string& t) override {
        title = t;
        began = true;
        return canBegin;
    }
    void Draw(const RasterImage& picture, const Rect& d) override {
        dest = d;
        width = picture.Width();
        height = picture.Height();
        topLeft = {picture.TopRow(0)[0], picture.TopRow(0)[1], picture.TopRow(0)[2]};
    }
    bool End() override {
        ended = true;
        return canEnd;
    }
    std::string FailureText() const override { return "device failed"; }

    PrintPage page = PdfPrinterPage(Paper::A4, Orientation::Portrait);
    bool canPrepare = true, canBegin = true, canEnd = true;
    bool began = false, ended = false;
    std::string title;
    Rect dest;
    int32_t width = 0, height = 0;
    std::array<uint8_t, 3> topLeft{};
};

class PrintJobTest : public test::DocumentFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MakeWorkspace());
        image = NewImage(40, 30);
        ASSERT_FALSE(HasFailure());  // the document was made
    }
    void TearDown() override { image.reset(); }

    std::unique_ptr<Image> image;
};

TEST_F(PrintJobTest, AnsweredQuestionDrawsThePictureAtTheModelsRectangle) {
    struct Row {
        const char* name;
        Answer answer;
        bool canPrepare, canBegin, canEnd;
        PrintOutcome outcome;
        bool drawn;
    };
    const Row rows[] = {
        {"ok", Answer::Ok, true, true, true, PrintOutcome::Printed, true},
        {"cancel", Answer::Cancel, true, true, true, PrintOutcome::Cancelled, false},
        {"no file name given", Answer::Ok, false, true, true, PrintOutcome::Cancelled, false},
        {"no device", Answer::Ok, true, false, true, PrintOutcome::Failed, false},
        {"output failed", Answer::Ok, true, true, false, PrintOutcome::Failed, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        messages.Clear();
        messages.QueueAnswer(r.answer);
        FakeSurface surface;
        surface.canPrepare = r.canPrepare;
        surface.canBegin = r.canBegin;
        surface.canEnd = r.canEnd;
        PrintPreviewModel model(image->Width(), image->Height(), image->Resolution(), surface.page);
        EXPECT_EQ(RunPrint(*image, model, surface), r.outcome);
        ASSERT_FALSE(messages.Entries().empty());
        EXPECT_EQ(messages.Entries().front().text, "Whether the print?");
        EXPECT_EQ(surface.width, r.drawn ? 40 : 0);
        if (r.drawn) {
            EXPECT_EQ(surface.title, "Zelvo");
            EXPECT_EQ(surface.dest.left, model.Destination(surface.page).left);
            EXPECT_EQ(surface.dest.Width(), model.Destination(surface.page).Width());
            EXPECT_EQ(surface.height, 30);
            EXPECT_EQ(surface.topLeft, (std::array<uint8_t, 3>{255, 255, 255}));
        }
        EXPECT_EQ(surface.began, r.answer == Answer::Ok && r.canPrepare);
        EXPECT_EQ(messages.Last(),
                  r.outcome == PrintOutcome::Failed ? "device failed" : "Whether the print?");
    }
}

// Printed many times the sheet's size, only the pixels that reach the sheet go to the device,
// each where it would have fallen in the whole picture.
TEST_F(PrintJobTest, APictureFarLargerThanTheSheetIsCutToIt) {
    Layer& layer = *image->Layers().LayerAt(0);
    for (int32_t r = 0; r < layer.Height(); ++r) {
        uint8_t* row = layer.Rows()->Row(uint32_t(r));
        for (int32_t c = 0; c < layer.Width(); ++c) {
            const uint32_t word = 100u << 24 | uint32_t(c) << 16;  // red = the column
            std::memcpy(row + 4 * size_t(c), &word, 4);
        }
    }
    layer.ReleaseRows();
    FakeSurface surface;
    PrintPreviewModel model(image->Width(), image->Height(), image->Resolution(), surface.page);
    model.SetFocus(PrintField::Scale);
    ASSERT_TRUE(model.Edit(PrintField::Scale, "5000"));
    const auto [l, t, r, b] = model.ExactDestination(surface.page);
    const double step = (r - l) / 40;
    ASSERT_LT(l, -step);  // more than a column falls off each side
    messages.QueueAnswer(Answer::Ok);
    EXPECT_EQ(RunPrint(*image, model, surface), PrintOutcome::Printed);
    ASSERT_GT(surface.width, 0);
    EXPECT_LT(surface.width, 40);
    const int32_t first = int32_t(std::floor(-l / step));
    EXPECT_EQ(surface.topLeft[2], first);
    EXPECT_NEAR(surface.dest.left, l + first * step, 1);
    EXPECT_NEAR(surface.dest.Width(), surface.width * step, 2);
    EXPECT_LE(surface.dest.left, 0);
    EXPECT_GE(surface.dest.right, surface.page.widthPx);
    EXPECT_LT(surface.dest.right - surface.page.widthPx, step + 1);
}

// A picture less than a millimetre on paper is refused with a message, not printed blank.
TEST_F(PrintJobTest, APictureUnderAMillimetreIsRefused) {
    FakeSurface surface;
    image = NewImage(4000, 2);
    PrintPreviewModel model(image->Width(), image->Height(), image->Resolution(), surface.page);
    ASSERT_EQ(model.HeightMm(), 0);
    messages.QueueAnswer(Answer::Ok);
    EXPECT_EQ(RunPrint(*image, model, surface), PrintOutcome::Failed);
    EXPECT_EQ(messages.Last(), kPrintsNothing);
    EXPECT_FALSE(surface.began);
}

}  // namespace
}  // namespace zelvo
