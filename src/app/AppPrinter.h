// The printer of the running program: the system's default printer when there is one, else a
// PDF printer (A4 portrait, the whole sheet), so printing always has a target. Page Setup
// changes it for the rest of the run; the Print Preview dialog and File > Print read its page.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "print/PrintJob.h"
#include "print/PrintPage.h"

class QPrinter;
class QWidget;

namespace zelvo {

class Image;

class AppPrinter {
public:
    // `systemPrinter` false: the PDF printer even where the system has a default printer.
    explicit AppPrinter(bool systemPrinter = true);
    ~AppPrinter();
    AppPrinter(const AppPrinter&) = delete;
    AppPrinter& operator=(const AppPrinter&) = delete;

    // The one printer of the program, made on first use.
    static AppPrinter& Instance();

    QPrinter& Printer() { return *m_printer; }
    bool IsPdf() const;
    // The printable area and the sheet; nothing when the printer gives no usable page.
    std::optional<PrintPage> ReadPage() const;
    // The platform's page set-up dialog (for the PDF printer a sheet and orientation of our
    // own); true when the user accepted it.
    bool RunPageSetup(QWidget* parent);
    // The PDF printer's sheet, as its page set-up chooses it.
    void SetPdfSheet(Paper paper, Orientation orientation);

private:
    std::unique_ptr<QPrinter> m_printer;
};

// Print's device in the GUI: the printer's page; for the PDF printer, Prepare asks where the
// file goes, offering the document's name with ".pdf" in the folder of the last PDF printed
// (else the document's own folder).
class PrinterSurface : public PrintSurface {
public:
    PrinterSurface(AppPrinter& printer, QWidget* parent, const Image& document);
    ~PrinterSurface() override;
    PrintPage Page() const override;
    bool Prepare() override;
    bool Begin(const std::string& title) override;
    void Draw(const RasterImage& picture, const Rect& dest) override;
    bool End() override;
    std::string FailureText() const override;

    // The file name Prepare takes instead of asking (tests).
    static void SetPdfPathForTests(std::optional<std::string> path);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace zelvo
