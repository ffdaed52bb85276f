#include "app/AppPrinter.h"

#include <algorithm>
#include <cmath>

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QImage>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "app/FileDialogs.h"
#include "doc/Image.h"
#include "files/RasterImage.h"
#include "platform/PdfPageWriter.h"

namespace zelvo {

namespace {

std::optional<std::string>& PdfPathForTests() {
    static std::optional<std::string> path;
    return path;
}

// The document's name with ".pdf", in the folder of the last PDF printed, else the document's.
QString SuggestedPdfName(const Image& document, const QPrinter& printer) {
    const QFileInfo source(QString::fromStdString(document.Path()));
    const QString last = printer.outputFileName();
    const QString folder = !last.isEmpty()            ? QFileInfo(last).absolutePath()
                           : !document.Path().empty() ? source.absolutePath()
                                                      : QString();
    const QString base = document.Path().empty() ? QString::fromStdString(document.Title())
                                                 : source.completeBaseName();
    return (folder.isEmpty() ? QString() : folder + "/") + base + ".pdf";
}

// Whole millimetres, truncated as the page is held.
int32_t WholeMm(double mm) {
    return mm > 0 ? int32_t(mm) : 0;
}

}  // namespace

AppPrinter::AppPrinter(bool systemPrinter) {
    const QPrinterInfo system = systemPrinter ? QPrinterInfo::defaultPrinter() : QPrinterInfo();
    if (!system.isNull()) {
        m_printer = std::make_unique<QPrinter>(system, QPrinter::HighResolution);
        return;
    }
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setResolution(kPdfPrinterDpi);
    m_printer->setFullPage(true);
    SetPdfSheet(Paper::A4, Orientation::Portrait);
    m_printer->setDocName(kPrintJobTitle);
}

AppPrinter::~AppPrinter() = default;

AppPrinter& AppPrinter::Instance() {
    // Owned by the application object so that it goes before Qt does.
    static AppPrinter* instance = nullptr;
    if (!instance) {
        instance = new AppPrinter;
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QObject::destroyed, [] {
                delete instance;
                instance = nullptr;
            });
    }
    return *instance;
}

bool AppPrinter::IsPdf() const {
    return m_printer->outputFormat() == QPrinter::PdfFormat;
}

std::optional<PrintPage> AppPrinter::ReadPage() const {
    const QPageLayout layout = m_printer->pageLayout();
    if (!layout.isValid()) return std::nullopt;
    const int dpi = m_printer->resolution();
    const QRectF area = m_printer->fullPage() ? layout.fullRect(QPageLayout::Millimeter)
                                              : layout.paintRect(QPageLayout::Millimeter);
    const QRect areaPx =
        m_printer->fullPage() ? layout.fullRectPixels(dpi) : layout.paintRectPixels(dpi);
    const QRectF sheet = layout.fullRect(QPageLayout::Millimeter);
    PrintPage page;
    page.widthMm = WholeMm(area.width());
    page.heightMm = WholeMm(area.height());
    // The pixels of the whole millimetres the page is held in, so that a millimetre of the
    // layout is a true millimetre on paper; never more than the device has.
    page.widthPx = std::min(areaPx.width(), int(std::lround(page.widthMm / 25.4 * dpi)));
    page.heightPx = std::min(areaPx.height(), int(std::lround(page.heightMm / 25.4 * dpi)));
    page.sheetWidthMm = WholeMm(sheet.width());
    page.sheetHeightMm = WholeMm(sheet.height());
    if (!page.IsReadable()) return std::nullopt;
    return page;
}

bool AppPrinter::RunPageSetup(QWidget* parent) {
    if (!IsPdf()) {
        QPageSetupDialog dialog(m_printer.get(), parent);
        return dialog.exec() == QDialog::Accepted;
    }
    // Qt's page set-up dialog serves only system printers: the PDF printer has its own, with
    // the sheets zelvo-batch offers.
    QDialog dialog(parent);
    dialog.setWindowTitle("Page Setup");
    auto* form = new QFormLayout(&dialog);
    auto* paper = new QComboBox(&dialog);
    paper->addItems({"A4", "A3", "Letter"});
    auto* orientation = new QComboBox(&dialog);
    orientation->addItems({"Portrait", "Landscape"});
    const QPageSize::PageSizeId current = m_printer->pageLayout().pageSize().id();
    paper->setCurrentIndex(current == QPageSize::A3 ? 1 : current == QPageSize::Letter ? 2 : 0);
    orientation->setCurrentIndex(
        m_printer->pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0);
    form->addRow("Paper:", paper);
    form->addRow("Orientation:", orientation);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return false;
    SetPdfSheet(paper->currentIndex() == 1   ? Paper::A3
                : paper->currentIndex() == 2 ? Paper::Letter
                                             : Paper::A4,
                orientation->currentIndex() == 1 ? Orientation::Landscape : Orientation::Portrait);
    return true;
}

void AppPrinter::SetPdfSheet(Paper paper, Orientation orientation) {
    const QPageSize::PageSizeId id = paper == Paper::A3       ? QPageSize::A3
                                     : paper == Paper::Letter ? QPageSize::Letter
                                                              : QPageSize::A4;
    m_printer->setPageSize(QPageSize(id));
    m_printer->setPageOrientation(orientation == Orientation::Landscape ? QPageLayout::Landscape
                                                                        : QPageLayout::Portrait);
    m_printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

struct PrinterSurface::Impl {
    AppPrinter& printer;
    QWidget* parent;
    const Image& document;  // its name is offered for the PDF
    std::unique_ptr<QPainter> painter;
    std::string failure;
    // The PDF printer writes through the same page writer as zelvo-batch, which replaces the
    // file only when the page is complete.
    std::unique_ptr<PdfPageWriter> pdf;
};

PrinterSurface::PrinterSurface(AppPrinter& printer, QWidget* parent, const Image& document)
    : m_impl(std::make_unique<Impl>(Impl{printer, parent, document, nullptr, {}, nullptr})) {
    m_impl->failure = "The printer could not be opened.";
}

PrinterSurface::~PrinterSurface() {
    if (m_impl->painter && m_impl->painter->isActive()) m_impl->painter->end();
}

void PrinterSurface::SetPdfPathForTests(std::optional<std::string> path) {
    PdfPathForTests() = std::move(path);
}

PrintPage PrinterSurface::Page() const {
    return m_impl->printer.ReadPage().value_or(PrintPage{});
}

bool PrinterSurface::Prepare() {
    QPrinter& printer = m_impl->printer.Printer();
    if (!m_impl->printer.IsPdf()) return true;
    QString path;
    if (PdfPathForTests()) {
        path = QString::fromStdString(*PdfPathForTests());
    } else {
        path = QFileDialog::getSaveFileName(m_impl->parent, "Print to PDF",
                                            SuggestedPdfName(m_impl->document, printer),
                                            "PDF (*.pdf)");
        if (path.isEmpty()) return false;
        const QString typed = path;
        if (!path.endsWith(".pdf", Qt::CaseInsensitive)) path += ".pdf";
        if (!MayReplaceExtendedName(typed.toStdString(), path.toStdString(), "Print to PDF"))
            return false;
    }
    printer.setOutputFileName(path);
    const QSizeF sheet = printer.pageLayout().fullRect(QPageLayout::Millimeter).size();
    m_impl->pdf = std::make_unique<PdfPageWriter>(path.toStdString(), sheet.width(), sheet.height(),
                                                  printer.resolution());
    m_impl->failure = "The file could not be written: " + path.toStdString();
    return true;
}

bool PrinterSurface::Begin(const std::string& title) {
    if (m_impl->pdf) return m_impl->pdf->Begin(title);
    QPrinter& printer = m_impl->printer.Printer();
    printer.setDocName(QString::fromStdString(title));
    m_impl->painter = std::make_unique<QPainter>();
    if (!m_impl->painter->begin(&printer)) return false;
    // Qt would hand the printer a JPEG of the picture, blurring fine detail and colour edges.
    m_impl->painter->setRenderHint(QPainter::LosslessImageRendering);
    return true;
}

void PrinterSurface::Draw(const RasterImage& picture, const Rect& d) {
    if (m_impl->pdf) {
        m_impl->pdf->DrawBgr(picture.TopRow(0), picture.Width(), picture.Height(), picture.Stride(),
                             d.left, d.top, d.right, d.bottom);
        return;
    }
    if (!m_impl->painter || !m_impl->painter->isActive() || picture.IsEmpty()) return;
    const QImage image(picture.TopRow(0), picture.Width(), picture.Height(),
                       qsizetype(picture.Stride()), QImage::Format_BGR888);
    m_impl->painter->drawImage(QRect(QPoint(d.left, d.top), QPoint(d.right - 1, d.bottom - 1)),
                               image);
}

bool PrinterSurface::End() {
    if (m_impl->pdf) return m_impl->pdf->End();
    if (!m_impl->painter || !m_impl->painter->isActive()) return false;
    return m_impl->painter->end();
}

std::string PrinterSurface::FailureText() const {
    return m_impl->failure;
}

}  // namespace zelvo
