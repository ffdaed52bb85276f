#include "app/CPrintPreviewDialog.h"

#include <cstring>
#include <optional>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppPrinter.h"
#include "app/DialogFields.h"
#include "doc/Image.h"
#include "layers/StoredDib.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "print/PrintJob.h"

namespace zelvo {

namespace {

constexpr const char* kCannotPreview = "Can not Print Preview!";

// The layer model's 24-bit bottom-up thumbnail as a picture; null when it is not one.
QImage ThumbnailPicture(const std::vector<uint8_t>& dib) {
    if (dib.size() < StoredDib::kHeaderBytes) return {};
    int32_t width = 0, height = 0;
    std::memcpy(&width, dib.data() + 4, 4);
    std::memcpy(&height, dib.data() + 8, 4);
    if (width <= 0 || height <= 0) return {};
    const size_t stride = StoredDib::Stride(width, 24);
    if (dib.size() < StoredDib::kHeaderBytes + stride * size_t(height)) return {};
    const QImage rows(dib.data() + StoredDib::kHeaderBytes, width, height, qsizetype(stride),
                      QImage::Format_BGR888);
    return rows.mirrored();  // a copy, turned top row first
}

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

PrintUnit UnitOfIndex(int index) {
    return index == 1 ? PrintUnit::Inch : PrintUnit::Centimeter;
}

}  // namespace

CPrintPreviewWnd::CPrintPreviewWnd(PrintPreviewModel& model, QImage thumbnail, QWidget* parent)
    : QWidget(parent), m_model(model), m_thumbnail(std::move(thumbnail)) {}

void CPrintPreviewWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const Rect image = m_model.PreviewImageRect(width());
    if (!m_thumbnail.isNull() && !image.IsEmpty()) painter.drawImage(ToQRect(image), m_thumbnail);
    if (m_model.BoundingBox()) {
        const Rect box = PrintPreviewModel::BoundingBoxRect(image);
        QPen pen(QColor(255, 0, 0), 0, Qt::DashLine);
        painter.setPen(pen);
        painter.drawRect(QRect(box.left, box.top, box.Width() - 1, box.Height() - 1));
    }
}

void CPrintPreviewWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    if (m_model.PressAt({p.x(), p.y()}, width())) grabMouse();
}

void CPrintPreviewWnd::mouseMoveEvent(QMouseEvent* event) {
    if (!m_model.Dragging() || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint p = event->position().toPoint();
    if (m_model.DragTo({p.x(), p.y()})) {
        update();
        emit Moved();
    }
}

void CPrintPreviewWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_model.Dragging()) return;
    m_model.Release();
    releaseMouse();
}

CPrintPreviewDialog::CPrintPreviewDialog(Image& image, AppPrinter& printer, const PrintPage& page,
                                         QWidget* parent)
    : QDialog(parent),
      m_image(image),
      m_printer(printer),
      m_model(image.Width(), image.Height(), image.Resolution(), page) {
    setWindowTitle("Print Preview");
    WaitCursor wait;
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(PrintPreviewModel::kPreviewOrigin, PrintPreviewModel::kPreviewOrigin,
                               PrintPreviewModel::kPreviewOrigin,
                               PrintPreviewModel::kPreviewOrigin);
    m_area = new QWidget(this);
    m_area->setFixedSize(PrintPreviewModel::kPreviewArea, PrintPreviewModel::kPreviewArea);
    layout->addWidget(m_area, 0, Qt::AlignTop);
    m_preview =
        new CPrintPreviewWnd(m_model,
                             ThumbnailPicture(image.Layers().RenderThumbnail(
                                 PrintPreviewModel::kPreviewArea, PrintPreviewModel::kPreviewArea)),
                             m_area);
    connect(m_preview, &CPrintPreviewWnd::Moved, this, [this] { Refresh(); });

    auto unitBox = [this] {
        auto* box = new QComboBox(this);
        box->addItems({PrintUnitName(PrintUnit::Centimeter), PrintUnitName(PrintUnit::Inch)});
        return box;
    };
    auto* fields = new QVBoxLayout;
    auto* position = new QGroupBox("Position", this);
    auto* pg = new QGridLayout(position);
    m_top = new QLineEdit(position);
    m_left = new QLineEdit(position);
    m_positionUnit = unitBox();
    m_center = new QCheckBox("Center Image", position);
    pg->addWidget(new QLabel("Top:", position), 0, 0);
    pg->addWidget(m_top, 0, 1);
    pg->addWidget(m_positionUnit, 0, 2, 2, 1);
    pg->addWidget(new QLabel("Left:", position), 1, 0);
    pg->addWidget(m_left, 1, 1);
    pg->addWidget(m_center, 2, 1, 1, 2);
    fields->addWidget(position);

    auto* size = new QGroupBox("Scaled Print Size", this);
    auto* sg = new QGridLayout(size);
    m_scale = new QLineEdit(size);
    m_height = new QLineEdit(size);
    m_width = new QLineEdit(size);
    m_sizeUnit = unitBox();
    m_fit = new QCheckBox("Scale to Fit Media", size);
    sg->addWidget(new QLabel("Scale:", size), 0, 0);
    sg->addWidget(m_scale, 0, 1);
    sg->addWidget(new QLabel("Height:", size), 1, 0);
    sg->addWidget(m_height, 1, 1);
    sg->addWidget(m_sizeUnit, 1, 2, 2, 1);
    sg->addWidget(new QLabel("Width:", size), 2, 0);
    sg->addWidget(m_width, 2, 1);
    sg->addWidget(m_fit, 3, 1, 1, 2);
    fields->addWidget(size);
    m_box = new QCheckBox("Bounding Box", this);
    fields->addWidget(m_box);
    fields->addStretch(1);
    layout->addLayout(fields);

    auto* buttons = new QVBoxLayout;
    m_print = new QPushButton("Print", this);
    m_cancel = new QPushButton("Cancel", this);
    m_pageSetup = new QPushButton("Page Setup...", this);
    m_print->setDefault(true);
    buttons->addWidget(m_print);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_pageSetup);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_center->setChecked(m_model.Center());
    m_fit->setChecked(m_model.Fit());
    m_box->setChecked(m_model.BoundingBox());
    for (PrintField f : {PrintField::Scale, PrintField::Width, PrintField::Height, PrintField::Left,
                         PrintField::Top}) {
        connect(Edit(f), &QLineEdit::textEdited, this,
                [this, f](const QString& text) { Edited(f, text); });
        // Typing the model did not take leaves the layout as it was, and the box says so.
        ShowInUseWhenLeft(Edit(f), [this, f] { return QString::fromStdString(m_model.Text(f)); });
    }
    connect(m_positionUnit, &QComboBox::currentIndexChanged, this,
            [this] { UnitChanged(m_positionUnit, true); });
    connect(m_sizeUnit, &QComboBox::currentIndexChanged, this,
            [this] { UnitChanged(m_sizeUnit, false); });
    connect(m_center, &QCheckBox::toggled, this, [this](bool on) {
        m_model.SetCenter(on);
        Refresh();
    });
    connect(m_fit, &QCheckBox::toggled, this, [this](bool on) {
        m_model.SetFit(on);
        Refresh();
    });
    connect(m_box, &QCheckBox::toggled, this, [this](bool on) {
        m_model.SetBoundingBox(on);
        Refresh();
    });
    connect(m_print, &QPushButton::clicked, this, &CPrintPreviewDialog::OnPrint);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pageSetup, &QPushButton::clicked, this, &CPrintPreviewDialog::OnPageSetup);
    PlacePreview();
    Refresh();
    setFixedSize(sizeHint());
}

QLineEdit* CPrintPreviewDialog::Edit(PrintField field) const {
    switch (field) {
        case PrintField::Scale:
            return m_scale;
        case PrintField::Width:
            return m_width;
        case PrintField::Height:
            return m_height;
        case PrintField::Left:
            return m_left;
        case PrintField::Top:
            return m_top;
        case PrintField::None:
            break;
    }
    return nullptr;
}

void CPrintPreviewDialog::Edited(PrintField field, const QString& text) {
    // Only the user's typing arrives here, in the box that has the focus.
    m_model.SetFocus(field);
    const bool taken = m_model.Edit(field, text.toStdString());
    m_model.SetFocus(PrintField::None);
    if (taken) Refresh(field);
}

void CPrintPreviewDialog::UnitChanged(QComboBox* box, bool position) {
    if (box->currentIndex() < 0) {
        box->setCurrentIndex(0);  // signals again with "Centimeter"
        return;
    }
    const PrintUnit unit = UnitOfIndex(box->currentIndex());
    if (position)
        m_model.SetPositionUnit(unit);
    else
        m_model.SetSizeUnit(unit);
    Refresh();
}

void CPrintPreviewDialog::PlacePreview() {
    const Rect r = m_model.PreviewRect();
    const int origin = PrintPreviewModel::kPreviewOrigin;
    m_preview->setGeometry(r.left - origin, r.top - origin, r.Width(), r.Height());
    m_preview->update();
}

void CPrintPreviewDialog::Refresh(PrintField typing) {
    for (PrintField f : {PrintField::Scale, PrintField::Width, PrintField::Height, PrintField::Left,
                         PrintField::Top})
        if (f != typing) Edit(f)->setText(QString::fromStdString(m_model.Text(f)));
    m_top->setEnabled(m_model.PositionEnabled());
    m_left->setEnabled(m_model.PositionEnabled());
    m_scale->setEnabled(m_model.ScaleEnabled());
    m_width->setEnabled(m_model.ScaleEnabled());
    m_height->setEnabled(m_model.ScaleEnabled());
    m_center->setEnabled(m_model.CenterEnabled());
    m_preview->update();
}

void CPrintPreviewDialog::OnPageSetup() {
    if (!m_printer.RunPageSetup(this)) return;
    const std::optional<PrintPage> page = m_printer.ReadPage();
    if (!page) {
        AppMessages().Show(kCannotPreview);
        return;
    }
    m_model.SetPage(*page);
    PlacePreview();
    Refresh();
}

void CPrintPreviewDialog::OnPrint() {
    PrinterSurface surface(m_printer, this, m_image);
    if (RunPrint(m_image, m_model, surface) == PrintOutcome::Printed) accept();
}

void RunPrintPreview(Image& image, QWidget* parent) {
    AppPrinter& printer = AppPrinter::Instance();
    const std::optional<PrintPage> page = printer.ReadPage();
    if (!page) {
        AppMessages().Show(kCannotPreview);
        return;
    }
    CPrintPreviewDialog dialog(image, printer, *page, parent);
    dialog.exec();
}

void RunPrintDirect(Image& image, QWidget* parent) {
    AppPrinter& printer = AppPrinter::Instance();
    const std::optional<PrintPage> page = printer.ReadPage();
    if (!page) {
        AppMessages().Show(kCannotPreview);
        return;
    }
    PrintPreviewModel model(image.Width(), image.Height(), image.Resolution(), *page);
    model.FitWhenLargerThanPage();
    PrinterSurface surface(printer, parent, image);
    RunPrint(image, model, surface);
}

void RunPageSetup(QWidget* parent) {
    AppPrinter::Instance().RunPageSetup(parent);
}

}  // namespace zelvo
