#include "print/PrintPage.h"

#include <cmath>
#include <utility>

namespace zelvo {

void PaperSizeMm(Paper paper, double& widthMm, double& heightMm) {
    switch (paper) {
        case Paper::A3:
            widthMm = 297.0;
            heightMm = 420.0;
            return;
        case Paper::Letter:
            widthMm = 215.9;  // 8.5 x 11 inches
            heightMm = 279.4;
            return;
        case Paper::A4:
            break;
    }
    widthMm = 210.0;
    heightMm = 297.0;
}

PrintPage PdfPrinterPage(Paper paper, Orientation orientation) {
    double w = 0, h = 0;
    PaperSizeMm(paper, w, h);
    if (orientation == Orientation::Landscape) std::swap(w, h);
    PrintPage page;
    page.widthMm = page.sheetWidthMm = int32_t(w);
    page.heightMm = page.sheetHeightMm = int32_t(h);
    // The pixels of the whole millimetres the page is held in, so that a millimetre of the
    // layout is a true millimetre on paper (Letter is 215.9 mm wide: 215 of them).
    page.widthPx = int32_t(std::lround(page.widthMm / 25.4 * kPdfPrinterDpi));
    page.heightPx = int32_t(std::lround(page.heightMm / 25.4 * kPdfPrinterDpi));
    return page;
}

std::optional<Paper> PaperFromName(const std::string& name) {
    if (name == "A4") return Paper::A4;
    if (name == "A3") return Paper::A3;
    if (name == "Letter") return Paper::Letter;
    return std::nullopt;
}

}  // namespace zelvo
