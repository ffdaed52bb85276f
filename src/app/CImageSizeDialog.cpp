#include "app/CImageSizeDialog.h"

#include <utility>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "app/DialogFields.h"

namespace zelvo {

namespace {

constexpr double kMinLength = 0.04;
constexpr double kMaxLength = 10000.0;

}  // namespace

CImageSizeDialog::CImageSizeDialog(int32_t width, int32_t height, int32_t resolution,
                                   QWidget* parent)
    : QDialog(parent), m_model(width, height, resolution) {
    setWindowTitle("Image Size");
    auto* layout = new QGridLayout(this);

    auto* pixels = new QGroupBox("Pixel Dimensions", this);
    auto* pg = new QGridLayout(pixels);
    m_pixelWidth = new QLineEdit(pixels);
    m_pixelHeight = new QLineEdit(pixels);
    pg->addWidget(new QLabel("Width:", pixels), 0, 0);
    pg->addWidget(m_pixelWidth, 0, 1);
    pg->addWidget(new QLabel("Pixels", pixels), 0, 2);
    pg->addWidget(new QLabel("Height:", pixels), 1, 0);
    pg->addWidget(m_pixelHeight, 1, 1);
    pg->addWidget(new QLabel("Pixels", pixels), 1, 2);
    layout->addWidget(pixels, 0, 0);

    auto* doc = new QGroupBox("Document Size", this);
    auto* dg = new QGridLayout(doc);
    m_docWidth = new QLineEdit(doc);
    m_docHeight = new QLineEdit(doc);
    m_docUnit = new QComboBox(doc);
    m_docUnit->addItems({"Centimeter", "Inch"});
    m_resolution = new QLineEdit(doc);
    m_resUnit = new QComboBox(doc);
    m_resUnit->addItems({"Pixels/Centimeter", "Pixels/Inch"});
    m_resUnit->setCurrentIndex(1);
    dg->addWidget(new QLabel("Width:", doc), 0, 0);
    dg->addWidget(m_docWidth, 0, 1);
    dg->addWidget(m_docUnit, 0, 2, 2, 1);
    dg->addWidget(new QLabel("Height:", doc), 1, 0);
    dg->addWidget(m_docHeight, 1, 1);
    dg->addWidget(new QLabel("Resolution:", doc), 2, 0);
    dg->addWidget(m_resolution, 2, 1);
    dg->addWidget(m_resUnit, 2, 2);
    layout->addWidget(doc, 1, 0);

    m_scaleStyles = new QCheckBox("Scale Styles", this);
    m_scaleStyles->setChecked(true);
    layout->addWidget(m_scaleStyles, 2, 0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons, 0, 1, 3, 1, Qt::AlignTop);
    buttons->setOrientation(Qt::Vertical);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (Field f : {kPixelWidth, kPixelHeight, kDocWidth, kDocHeight, kResolution})
        connect(Edit(f), &QLineEdit::editingFinished, this, [this, f] { Leave(f); });
    connect(m_docUnit, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_model.documentUnit = i == 1 ? LengthUnit::Inch : LengthUnit::Centimeter;
        Show();
    });
    connect(m_resUnit, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_model.resolutionUnit =
            i == 0 ? DensityUnit::PixelsPerCentimeter : DensityUnit::PixelsPerInch;
        Show();
    });
    connect(m_scaleStyles, &QCheckBox::toggled, this,
            [this](bool on) { m_model.scaleStyles = on; });
    Show();
}

QLineEdit* CImageSizeDialog::Edit(Field field) const {
    switch (field) {
        case kPixelWidth:
            return m_pixelWidth;
        case kPixelHeight:
            return m_pixelHeight;
        case kDocWidth:
            return m_docWidth;
        case kDocHeight:
            return m_docHeight;
        case kResolution:
            return m_resolution;
    }
    return m_pixelWidth;
}

QString CImageSizeDialog::Shown(Field field) const {
    switch (field) {
        case kPixelWidth:
            return QString::number(m_model.Width());
        case kPixelHeight:
            return QString::number(m_model.Height());
        case kDocWidth:
            return NumberText(m_model.DocumentWidth());
        case kDocHeight:
            return NumberText(m_model.DocumentHeight());
        case kResolution:
            return NumberText(m_model.ResolutionValue());
    }
    return {};
}

void CImageSizeDialog::Show() {
    m_showing = true;
    for (Field f : {kPixelWidth, kPixelHeight, kDocWidth, kDocHeight, kResolution})
        Edit(f)->setText(Shown(f));
    m_showing = false;
}

bool CImageSizeDialog::Pending(Field field) const {
    return Edit(field)->text().trimmed() != Shown(field);
}

std::optional<double> CImageSizeDialog::Read(Field field, bool withMessages) const {
    QLineEdit* edit = Edit(field);
    if (field == kPixelWidth || field == kPixelHeight) {
        if (withMessages) {
            const std::optional<int64_t> v = ReadIntegerField(edit, 1, kMaxImageSide);
            return v ? std::optional<double>(double(*v)) : std::nullopt;
        }
        const std::optional<int64_t> v = ParseIntegerText(edit->text());
        if (!v || *v < 1 || *v > kMaxImageSide) return std::nullopt;
        return double(*v);
    }
    if (withMessages) return ReadNumberField(edit, kMinLength, kMaxLength);
    const std::optional<double> v = ParseNumberText(edit->text());
    if (!v || *v < kMinLength || *v > kMaxLength) return std::nullopt;
    return v;
}

bool CImageSizeDialog::Apply(Field field, double value) {
    switch (field) {
        case kPixelWidth:
            return m_model.EditPixelWidth(int32_t(value));
        case kPixelHeight:
            return m_model.EditPixelHeight(int32_t(value));
        case kDocWidth:
            return m_model.EditDocumentWidth(value);
        case kDocHeight:
            return m_model.EditDocumentHeight(value);
        case kResolution:
            return m_model.EditResolution(value);
    }
    return false;
}

void CImageSizeDialog::Leave(Field field) {
    // While a value is taken its refusal may show a message, which takes the focus from another
    // box whose text is then stale: that box was not edited, and the boxes are shown anew after.
    if (m_showing || m_applying || !Pending(field)) return;
    // A value out of range stays in its box until OK refuses it.
    const std::optional<double> v = Read(field, false);
    if (!v) return;
    m_applying = true;
    const bool taken = Apply(field, *v);
    m_applying = false;
    Show();
    if (!taken) {
        // Enter in the box left it first: the same press must not go on to OK.
        m_refusedNow = true;
        QTimer::singleShot(0, this, [this] { m_refusedNow = false; });
    }
}

void CImageSizeDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_refusedNow) {
        m_refusedNow = false;
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CImageSizeDialog::accept() {
    // Boxes typed into but not yet left: every one is checked before any is taken.
    std::vector<std::pair<Field, double>> pending;
    for (Field f : {kPixelWidth, kPixelHeight, kDocWidth, kDocHeight, kResolution}) {
        if (!Pending(f)) continue;
        const std::optional<double> v = Read(f, true);
        if (!v) return;
        pending.emplace_back(f, *v);
    }
    // A value the model refuses (past 20 million pixels, say) has said why and put the boxes
    // back: the dialog stays open for another value.
    for (const auto& [f, v] : pending) {
        m_applying = true;
        const bool taken = Apply(f, v);
        m_applying = false;
        if (taken) continue;
        Show();
        Edit(f)->setFocus();
        Edit(f)->selectAll();
        return;
    }
    Show();
    m_request = m_model.Ok();
    QDialog::accept();
}

}  // namespace zelvo
