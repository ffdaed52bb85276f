// The page a picture is printed on: its printable area in whole millimetres and in device
// pixels, and the sheet it lies on; the built-in PDF printer's pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelvo {

struct PrintPage {
    int32_t widthMm = 0;  // the printable area, truncated to whole millimetres
    int32_t heightMm = 0;
    int32_t widthPx = 0;  // the printable area in device pixels
    int32_t heightPx = 0;
    int32_t sheetWidthMm = 0;  // the whole sheet, truncated
    int32_t sheetHeightMm = 0;

    // A page a layout can be made on: every size positive.
    bool IsReadable() const { return widthMm > 0 && heightMm > 0 && widthPx > 0 && heightPx > 0; }
};

enum class Paper { A4, A3, Letter };
enum class Orientation { Portrait, Landscape };

// The built-in PDF printer prints on the whole sheet at this resolution.
constexpr int kPdfPrinterDpi = 300;

// The sheet's exact size in millimetres, portrait.
void PaperSizeMm(Paper paper, double& widthMm, double& heightMm);
// The PDF printer's page for a sheet: no margins, kPdfPrinterDpi.
PrintPage PdfPrinterPage(Paper paper, Orientation orientation);

std::optional<Paper> PaperFromName(const std::string& name);  // "A4", "A3", "Letter"

}  // namespace zelvo
