#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "platform/QtModule.h"

namespace zelvo::qt {

struct QtPdfPage::Impl {
    QString path;
    QSizeF sheetMm;
    int dpi = 300;
    std::unique_ptr<QSaveFile> file;
    std::unique_ptr<QPdfWriter> writer;
    std::unique_ptr<QPainter> painter;
};

QtPdfPage::QtPdfPage(const std::string& path, double sheetWidthMm, double sheetHeightMm, int dpi)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->path = QString::fromStdString(path);
    m_impl->sheetMm = QSizeF(sheetWidthMm, sheetHeightMm);
    m_impl->dpi = dpi;
}

QtPdfPage::~QtPdfPage() {
    // An unfinished page: the painter goes first, and the save file is dropped uncommitted.
    if (m_impl->painter && m_impl->painter->isActive()) m_impl->painter->end();
    m_impl->painter.reset();
    m_impl->writer.reset();
    if (m_impl->file) m_impl->file->cancelWriting();
}

bool QtPdfPage::Begin(const std::string& title) {
    if (!EnsureGuiApplication()) return false;
    m_impl->file = std::make_unique<QSaveFile>(m_impl->path);
    if (!m_impl->file->open(QIODevice::WriteOnly)) return false;
    m_impl->writer = std::make_unique<QPdfWriter>(m_impl->file.get());
    m_impl->writer->setTitle(QString::fromStdString(title));
    m_impl->writer->setCreator(QString::fromStdString(title));
    m_impl->writer->setResolution(m_impl->dpi);
    // A page size is given upright; a wider sheet is that size turned to landscape.
    const QSizeF sheet = m_impl->sheetMm;
    const bool landscape = sheet.width() > sheet.height();
    const QPageSize size(landscape ? sheet.transposed() : sheet, QPageSize::Millimeter, QString(),
                         QPageSize::ExactMatch);
    const QPageLayout layout(size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                             QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    if (!m_impl->writer->setPageLayout(layout)) return false;
    m_impl->painter = std::make_unique<QPainter>();
    if (!m_impl->painter->begin(m_impl->writer.get())) return false;
    // Without this Qt stores the picture as a JPEG, which blurs fine detail and colour edges.
    m_impl->painter->setRenderHint(QPainter::LosslessImageRendering);
    return true;
}

void QtPdfPage::DrawBgr(const uint8_t* rows, int32_t width, int32_t height, size_t stride,
                        int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (!m_impl->painter || !m_impl->painter->isActive() || !rows || width <= 0 || height <= 0)
        return;
    const QImage picture(rows, width, height, qsizetype(stride), QImage::Format_BGR888);
    m_impl->painter->drawImage(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), picture);
}

bool QtPdfPage::End() {
    if (!m_impl->painter || !m_impl->painter->isActive()) return false;
    if (!m_impl->painter->end()) return false;
    m_impl->painter.reset();
    m_impl->writer.reset();
    return m_impl->file->commit();
}

}  // namespace zelvo::qt
