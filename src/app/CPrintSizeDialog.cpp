#include "app/CPrintSizeDialog.h"

#include <utility>
#include <vector>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/DialogFields.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

// Sizes from 0.01 up to below 3000, the resolution up to below 10,000.
constexpr double kMinValue = 0.01;
constexpr double kMaxLength = 3000.0;
constexpr double kMaxResolution = 10000.0;
constexpr const char* kResolutionRangeText = PrintSizeDialogModel::kResolutionRangeText;

}  // namespace

CPrintSizeDialog::CPrintSizeDialog(int32_t width, int32_t height, int32_t resolution,
                                   QWidget* parent)
    : QDialog(parent), m_model(width, height, resolution) {
    setWindowTitle("Print Size");
    auto* grid = new QGridLayout(this);
    m_pixels = new QLabel(QString::fromStdString(m_model.PixelSizeText()), this);
    m_width = new QLineEdit(this);
    m_height = new QLineEdit(this);
    m_resolution = new QLineEdit(this);
    m_unit = new QComboBox(this);
    m_unit->addItems({"Centimeter", "Inch"});
    m_resUnit = new QComboBox(this);
    m_resUnit->addItems({"Pixels/Inch", "Pixels/Centimeter"});
    grid->addWidget(m_pixels, 0, 0, 1, 3);
    grid->addWidget(new QLabel("Width:", this), 1, 0);
    grid->addWidget(m_width, 1, 1);
    grid->addWidget(m_unit, 1, 2, 2, 1);
    grid->addWidget(new QLabel("Height:", this), 2, 0);
    grid->addWidget(m_height, 2, 1);
    grid->addWidget(new QLabel("Resolution:", this), 3, 0);
    grid->addWidget(m_resolution, 3, 1);
    grid->addWidget(m_resUnit, 3, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 4, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (Field f : {kWidth, kHeight, kResolution})
        connect(Edit(f), &QLineEdit::editingFinished, this, [this, f] { Leave(f); });
    connect(m_unit, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_model.SetUnit(i == 1 ? LengthUnit::Inch : LengthUnit::Centimeter);
        Show();
    });
    connect(m_resUnit, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_model.SetResolutionUnit(i == 1 ? DensityUnit::PixelsPerCentimeter
                                         : DensityUnit::PixelsPerInch);
        Show();
    });
    Show();
}

QLineEdit* CPrintSizeDialog::Edit(Field field) const {
    return field == kWidth ? m_width : field == kHeight ? m_height : m_resolution;
}

QString CPrintSizeDialog::Shown(Field field) const {
    switch (field) {
        case kWidth:
            return QString::fromStdString(m_model.WidthText());
        case kHeight:
            return QString::fromStdString(m_model.HeightText());
        case kResolution:
            return QString::fromStdString(m_model.ResolutionText());
    }
    return {};
}

void CPrintSizeDialog::Show() {
    m_showing = true;
    for (Field f : {kWidth, kHeight, kResolution}) Edit(f)->setText(Shown(f));
    m_showing = false;
}

bool CPrintSizeDialog::Apply(Field field, double value) {
    switch (field) {
        case kWidth:
            return m_model.EditWidth(value);
        case kHeight:
            return m_model.EditHeight(value);
        case kResolution:
            return m_model.EditResolution(value);
    }
    return false;
}

void CPrintSizeDialog::Leave(Field field) {
    if (m_showing || Edit(field)->text().trimmed() == Shown(field)) return;
    const std::optional<double> v = ParseNumberText(Edit(field)->text());
    // A value out of range stays in its box until OK refuses it.
    if (v && Apply(field, *v)) Show();
}

void CPrintSizeDialog::accept() {
    std::vector<std::pair<Field, double>> pending;
    for (Field f : {kWidth, kHeight, kResolution}) {
        if (Edit(f)->text().trimmed() == Shown(f)) continue;
        const double max = f == kResolution ? kMaxResolution : kMaxLength;
        const std::optional<double> v = ReadNumberField(Edit(f), kMinValue, max, true);
        if (!v) return;
        pending.emplace_back(f, *v);
    }
    for (const auto& [f, v] : pending) Apply(f, v);
    Show();
    // A resolution the document cannot take would be dropped at OK without a word.
    if (m_model.ResolutionOutOfRange()) {
        AppMessages().Show(kResolutionRangeText);
        m_resolution->setFocus();
        m_resolution->selectAll();
        return;
    }
    m_result = m_model.Ok();
    QDialog::accept();
}

}  // namespace zelvo
