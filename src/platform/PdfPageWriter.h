// One page of a PDF file, for printing without a printer. The file on disk is replaced only
// when the page is complete, so a failed print leaves any earlier file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zelvo {

class PdfPageWriter {
public:
    // A sheet of exactly these millimetres, no margins, drawn at `dpi` device pixels an inch.
    PdfPageWriter(std::string path, double sheetWidthMm, double sheetHeightMm, int dpi);
    ~PdfPageWriter();
    PdfPageWriter(const PdfPageWriter&) = delete;
    PdfPageWriter& operator=(const PdfPageWriter&) = delete;

    // Opens the file and starts the page; false when the file cannot be written.
    bool Begin(const std::string& title);
    // A 24-bit picture (B, G, R bytes, top row first) stretched into the device rectangle
    // [left, right) x [top, bottom).
    void DrawBgr(const uint8_t* rows, int32_t width, int32_t height, size_t stride, int32_t left,
                 int32_t top, int32_t right, int32_t bottom);
    // Finishes the page and puts the file in place; false when it could not be written.
    bool End();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace zelvo
