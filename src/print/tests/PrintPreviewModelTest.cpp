#include "print/PrintPreviewModel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelvo {
namespace {

const PrintPage kA4 = PdfPrinterPage(Paper::A4, Orientation::Portrait);

TEST(PrintPage, PdfPrinterSheets) {
    EXPECT_EQ(kA4.widthMm, 210);
    EXPECT_EQ(kA4.heightMm, 297);
    EXPECT_EQ(kA4.widthPx, 2480);
    EXPECT_EQ(kA4.heightPx, 3508);
    const PrintPage letter = PdfPrinterPage(Paper::Letter, Orientation::Landscape);
    EXPECT_EQ(letter.widthMm, 279);
    EXPECT_EQ(letter.heightMm, 215);
    // The pixels of the whole millimetres, not of the sheet's 279.4 x 215.9: a millimetre of
    // the layout prints as a true millimetre.
    EXPECT_EQ(letter.widthPx, 3295);
    EXPECT_EQ(letter.heightPx, 2539);
    EXPECT_EQ(letter.sheetWidthMm, 279);
    EXPECT_FALSE(PaperFromName("a4").has_value());
    EXPECT_EQ(PaperFromName("A3"), Paper::A3);
}

TEST(PrintUnits, ConversionsBothWays) {
    struct Row {
        int32_t mm;
        PrintUnit unit;
        const char* shown;
    };
    const Row shownRows[] = {
        {1000, PrintUnit::Centimeter, "100.0"},
        {25, PrintUnit::Inch, "1.0"},
        {-15, PrintUnit::Centimeter, "-1.5"},
        {254, PrintUnit::Inch, "10.0"},
        {0, PrintUnit::Inch, "0.0"},
        {13, PrintUnit::Inch, "0.5"},
    };
    for (const Row& r : shownRows) EXPECT_EQ(FormatMm(r.mm, r.unit), r.shown) << r.mm;

    struct Typed {
        double value;
        PrintUnit unit;
        int32_t mm;
    };
    const Typed typedRows[] = {
        {2.54, PrintUnit::Centimeter, 25}, {1.0, PrintUnit::Inch, 25},
        {-1.27, PrintUnit::Inch, -32},     {0.05, PrintUnit::Centimeter, 0},
        {10.0, PrintUnit::Inch, 254},      {-0.19, PrintUnit::Centimeter, -1},
    };
    for (const Typed& t : typedRows) EXPECT_EQ(MmFromUnit(t.value, t.unit), t.mm) << t.value;

    EXPECT_EQ(LeadingNumber(" 12.5cm"), 12.5);
    EXPECT_EQ(LeadingNumber("50%"), 50.0);
    EXPECT_EQ(LeadingNumber("-3"), -3.0);
    EXPECT_FALSE(LeadingNumber("cm").has_value());
    EXPECT_FALSE(LeadingNumber("").has_value());
}

TEST(PrintPreviewModel, DefaultsAndSizeOnPaper) {
    // 2834 pixels at resolution 0 (taken as 72 ppi) are a metre.
    PrintPreviewModel big(2834, 2834, 0, kA4);
    EXPECT_EQ(big.WidthMm(), 1000);
    EXPECT_EQ(big.HeightMm(), 1000);
    EXPECT_FLOAT_EQ(big.Scale(), 1.0f);
    EXPECT_TRUE(big.Center());
    EXPECT_TRUE(big.BoundingBox());
    EXPECT_FALSE(big.Fit());
    EXPECT_FALSE(big.Draggable());
    EXPECT_EQ(big.Left(), (210 - 1000) / 2);
    EXPECT_EQ(big.Top(), (297 - 1000) / 2);
    EXPECT_EQ(big.Text(PrintField::Scale), "100%");
    EXPECT_EQ(big.Text(PrintField::Width), "100.0");
    EXPECT_EQ(big.Text(PrintField::Left), "-39.5");

    // 300 x 200 pixels at 300 ppi (11811 per metre): 25.4 x 16.9 mm, truncated.
    PrintPreviewModel small(300, 200, 11811, kA4);
    EXPECT_EQ(small.WidthMm(), 25);
    EXPECT_EQ(small.HeightMm(), 16);
    EXPECT_EQ(small.Left(), 92);
    EXPECT_EQ(small.Top(), 140);
    PrintPreviewModel negative(2834, 1417, -5, kA4);
    EXPECT_EQ(negative.HeightMm(), 500);
}

TEST(PrintPreviewModel, EditsTheirRangesAndTheFocusRule) {
    struct Row {
        const char* name;
        bool center;
        PrintField focus;
        PrintField field;
        PrintUnit unit;
        const char* text;
        bool taken;
        float scale;   // expected afterwards (starts at 0.5)
        int32_t left;  // expected afterwards (starts centred at 0.5)
    };
    // 2834 x 2834 at 72 ppi: 500 mm at the starting 50 %, centred left (210 - 500) / 2.
    const int32_t c50 = -145;
    const Row rows[] = {
        {"width 100.5 cm within 0.009 of 1", true, PrintField::Width, PrintField::Width,
         PrintUnit::Centimeter, "100.5", true, 1.0f, -395},
        {"width 101 cm", true, PrintField::Width, PrintField::Width, PrintUnit::Centimeter, "101",
         true, 1.01f, -399},
        {"height 20 in", true, PrintField::Height, PrintField::Height, PrintUnit::Inch, "20", true,
         0.508f, -149},
        {"width 0.099 ignored", true, PrintField::Width, PrintField::Width, PrintUnit::Centimeter,
         "0.099", false, 0.5f, c50},
        {"width 5000 ignored", true, PrintField::Width, PrintField::Width, PrintUnit::Centimeter,
         "5000", false, 0.5f, c50},
        {"width without focus ignored", true, PrintField::Scale, PrintField::Width,
         PrintUnit::Centimeter, "20", false, 0.5f, c50},
        {"scale 0 ignored", true, PrintField::Scale, PrintField::Scale, PrintUnit::Centimeter, "0",
         false, 0.5f, c50},
        {"scale 10000 ignored", true, PrintField::Scale, PrintField::Scale, PrintUnit::Centimeter,
         "10000", false, 0.5f, c50},
        {"scale 1", true, PrintField::Scale, PrintField::Scale, PrintUnit::Centimeter, "1", true,
         0.01f, 100},
        {"scale 9999 %", true, PrintField::Scale, PrintField::Scale, PrintUnit::Centimeter, "9999%",
         true, 99.99f, -49889},
        {"scale not centred keeps left", false, PrintField::Scale, PrintField::Scale,
         PrintUnit::Centimeter, "20", true, 0.2f, c50},
        {"scale text not a number", true, PrintField::Scale, PrintField::Scale,
         PrintUnit::Centimeter, "abc", false, 0.5f, c50},
        {"left while centred ignored", true, PrintField::Left, PrintField::Left,
         PrintUnit::Centimeter, "3", false, 0.5f, c50},
        {"left 3 cm", false, PrintField::Left, PrintField::Left, PrintUnit::Centimeter, "3", true,
         0.5f, 30},
        {"left -1.27 in", false, PrintField::Left, PrintField::Left, PrintUnit::Inch, "-1.27", true,
         0.5f, -32},
        {"left -5000 ignored", false, PrintField::Left, PrintField::Left, PrintUnit::Centimeter,
         "-5000", false, 0.5f, c50},
        {"left 4999.9 cm", false, PrintField::Left, PrintField::Left, PrintUnit::Centimeter,
         "4999.9", true, 0.5f, 49999},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PrintPreviewModel m(2834, 2834, 0, kA4);
        m.SetFocus(PrintField::Scale);
        ASSERT_TRUE(m.Edit(PrintField::Scale, "50"));
        m.SetCenter(r.center);
        m.SetPositionUnit(r.unit);
        m.SetSizeUnit(r.unit);
        m.SetFocus(r.focus);
        EXPECT_EQ(m.Edit(r.field, r.text), r.taken);
        EXPECT_FLOAT_EQ(m.Scale(), r.scale);
        EXPECT_EQ(m.Left(), r.left);
    }
}

TEST(PrintPreviewModel, FitLandscapeOnPortraitIsLimitedByWidthAndCentredVertically) {
    PrintPreviewModel m(3000, 2000, 2834, kA4);
    const int32_t w100 = int32_t(3000 * 1000.0 / 2834);  // 1058
    m.SetFit(true);
    EXPECT_FLOAT_EQ(m.Scale(), 210.0f / float(w100));
    EXPECT_LE(m.WidthMm(), 210);
    EXPECT_GE(m.WidthMm(), 209);
    EXPECT_EQ(m.Left(), (210 - m.WidthMm()) / 2);
    EXPECT_EQ(m.Top(), (297 - m.HeightMm()) / 2);
    EXPECT_GT(m.Top(), 50);
    EXPECT_FALSE(m.ScaleEnabled());
    EXPECT_FALSE(m.CenterEnabled());
    m.SetFocus(PrintField::Scale);
    EXPECT_FALSE(m.Edit(PrintField::Scale, "50"));

    // A new page re-fits (a landscape page: still the width, 297 / 1058 < 210 / 705); a tiny
    // fit stays at 1 %.
    m.SetPage(PdfPrinterPage(Paper::A4, Orientation::Landscape));
    EXPECT_FLOAT_EQ(m.Scale(), 297.0f / float(w100));
    PrintPreviewModel tall(2000, 3000, 2834, PdfPrinterPage(Paper::A4, Orientation::Landscape));
    tall.SetFit(true);
    EXPECT_FLOAT_EQ(tall.Scale(), 210.0f / float(w100));
    EXPECT_EQ(tall.Top(), (210 - tall.HeightMm()) / 2);
    EXPECT_GT(tall.Left(), 50);
    PrintPreviewModel huge(10000, 10000, 1, kA4);
    huge.SetFit(true);
    EXPECT_FLOAT_EQ(huge.Scale(), 0.01f);
    // A picture of a few millimetres: its whole-millimetre size (1 mm for 1.41 mm) would fit it
    // 210 times over, 296 mm wide on a 210 mm page; the true size keeps it on the page.
    PrintPreviewModel tiny(4, 3, 2834, kA4);
    tiny.SetFit(true);
    EXPECT_EQ(tiny.WidthMm(), 210);
    EXPECT_LE(tiny.HeightMm(), 297);
    EXPECT_NEAR(tiny.Scale(), 210.0 / (4000.0 / 2834), 0.01);
    // A zero-sized picture counts as 1 mm.
    PrintPreviewModel empty(0, 0, 2834, kA4);
    empty.SetFit(true);
    EXPECT_FLOAT_EQ(empty.Scale(), 210.0f);
}

// Print without the dialog: 100 % while the picture fits the page, fitted (and centred) once
// it is larger in either direction. At 1000 pixels a metre a pixel is a millimetre.
TEST(PrintPreviewModel, PrintWithoutTheDialogFitsOnlyWhatIsLargerThanThePage) {
    struct Case {
        int32_t w, h;
        bool fit;
        int32_t widthMm, heightMm;
    };
    const Case cases[] = {
        {100, 50, false, 100, 50},     // small
        {210, 297, false, 210, 297},   // exactly the page
        {211, 100, true, 210, 99},     // one millimetre too wide
        {100, 298, true, 99, 297},     // one millimetre too tall
        {2000, 1000, true, 210, 105},  // two metres, as photographs at 72 ppi are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        PrintPreviewModel m(c.w, c.h, 1000, kA4);
        m.FitWhenLargerThanPage();
        EXPECT_EQ(m.Fit(), c.fit);
        EXPECT_NEAR(m.WidthMm(), c.widthMm, 1);
        EXPECT_NEAR(m.HeightMm(), c.heightMm, 1);
        EXPECT_LE(m.WidthMm(), kA4.widthMm);
        EXPECT_LE(m.HeightMm(), kA4.heightMm);
        EXPECT_EQ(m.Left(), (kA4.widthMm - m.WidthMm()) / 2);
        EXPECT_EQ(m.Top(), (kA4.heightMm - m.HeightMm()) / 2);
    }
}

TEST(PrintPreviewModel, PageSetupRecentresOnlyWhenCentred) {
    PrintPreviewModel m(283, 283, 2834, kA4);  // 99 mm
    EXPECT_EQ(m.Left(), 55);
    m.SetPage(PdfPrinterPage(Paper::A3, Orientation::Portrait));
    EXPECT_EQ(m.Left(), (297 - 99) / 2);
    EXPECT_EQ(m.Top(), (420 - 99) / 2);
    m.SetCenter(false);
    m.SetPage(kA4);
    EXPECT_EQ(m.Left(), (297 - 99) / 2);
}

TEST(PrintPreviewModel, PreviewGeometryAndDragging) {
    PrintPreviewModel m(283, 283, 2834, kA4);  // 99 mm, at (55, 99)
    // b = 250 / 3508: 176 x 250 centred in the square at (10, 10).
    const Rect preview = m.PreviewRect();
    EXPECT_EQ(preview.left, 47);
    EXPECT_EQ(preview.top, 10);
    EXPECT_EQ(preview.Width(), 176);
    EXPECT_EQ(preview.Height(), 250);
    const PrintPreviewModel landscape(283, 283, 2834,
                                      PdfPrinterPage(Paper::A4, Orientation::Landscape));
    EXPECT_EQ(landscape.PreviewRect().left, 10);
    EXPECT_EQ(landscape.PreviewRect().top, 47);

    const double x = 176.0 / 210.0;
    const Rect img = m.PreviewImageRect(176);
    EXPECT_EQ(img.left, int32_t(55 * x));
    EXPECT_EQ(img.top, int32_t(99 * x));
    EXPECT_EQ(img.Width(), int32_t(99 * x));
    const Rect box = PrintPreviewModel::BoundingBoxRect(img);
    EXPECT_EQ(box.left, img.left - 2);
    EXPECT_EQ(box.bottom, img.bottom + 2);

    const Point inside{img.left + 5, img.top + 5};
    EXPECT_FALSE(m.PressAt(inside, 176)) << "centred: no drag";
    m.SetCenter(false);
    EXPECT_FALSE(m.PressAt({img.left - 1, img.top}, 176)) << "outside the picture";
    ASSERT_TRUE(m.PressAt(inside, 176));
    EXPECT_TRUE(m.DragTo({inside.x + 20, inside.y - 10}));
    EXPECT_EQ(m.Left(), 55 + int32_t(20 / x));
    EXPECT_EQ(m.Top(), 99 - int32_t(10 / x));
    EXPECT_FALSE(m.DragTo({inside.x + 20, inside.y - 10}));
    EXPECT_TRUE(m.DragTo(inside));
    EXPECT_EQ(m.Left(), 55);
    m.Release();
    EXPECT_FALSE(m.DragTo({0, 0}));
    EXPECT_EQ(m.Left(), 55);
}

TEST(PrintPreviewModel, DestinationUsesTheHorizontalFactorOnBothAxes) {
    PrintPreviewModel m(283, 283, 2834, kA4);
    const double f = 2480.0 / 210.0;
    const Rect d = m.Destination();
    EXPECT_EQ(d.left, int32_t(55 * f));
    EXPECT_EQ(d.top, int32_t(99 * f));
    EXPECT_EQ(d.right, int32_t(55 * f + 99 * f));
    EXPECT_EQ(d.bottom, int32_t(99 * f + 99 * f));
    // A page whose vertical resolution differs still scales by the horizontal factor.
    PrintPage odd{100, 200, 1000, 4000, 100, 200};
    const Rect o = m.Destination(odd);
    EXPECT_EQ(o.top, 990);
    EXPECT_EQ(o.Height(), 990);
    EXPECT_TRUE(m.Destination(PrintPage{}).IsEmpty());
    // At 1 pixel per metre and the largest scale the picture is kilometres wide: its rectangle
    // is cut to sizes a painter's integer rectangle holds.
    PrintPreviewModel far(10000, 10000, 1, kA4);
    far.SetFocus(PrintField::Scale);
    ASSERT_TRUE(far.Edit(PrintField::Scale, "9999%"));
    const Rect c = far.Destination();
    EXPECT_LT(c.left, 0);
    EXPECT_GT(c.right, 2480);
    EXPECT_LT(int64_t(c.right) - int64_t(c.left), int64_t(1) << 30);
    EXPECT_LT(int64_t(c.bottom) - int64_t(c.top), int64_t(1) << 30);
}

}  // namespace
}  // namespace zelvo
