#include "app/CCanvasSizeDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "app/DialogFields.h"

namespace zelvo {

namespace {

constexpr double kMinValue = 0.04;
constexpr double kMaxValue = 10000.0;
constexpr LengthUnit kUnits[] = {LengthUnit::Centimeter, LengthUnit::Inch, LengthUnit::Pixels};

}  // namespace

CCanvasSizeDialog::CCanvasSizeDialog(int32_t width, int32_t height, int32_t resolution,
                                     QWidget* parent)
    : QDialog(parent), m_model(width, height, resolution) {
    setWindowTitle("Canvas Size");
    auto* layout = new QGridLayout(this);
    auto* current = new QGroupBox("Current Size", this);
    auto* cg = new QVBoxLayout(current);
    m_currentWidth = new QLabel(current);
    m_currentHeight = new QLabel(current);
    cg->addWidget(m_currentWidth);
    cg->addWidget(m_currentHeight);
    layout->addWidget(current, 0, 0);

    auto* fresh = new QGroupBox("New Size", this);
    auto* ng = new QGridLayout(fresh);
    m_width = new QLineEdit(fresh);
    m_height = new QLineEdit(fresh);
    m_unit = new QComboBox(fresh);
    m_unit->addItems({"Centimeter", "Inch", "Pixels"});
    ng->addWidget(new QLabel("Width:", fresh), 0, 0);
    ng->addWidget(m_width, 0, 1);
    ng->addWidget(m_unit, 0, 2, 2, 1);
    ng->addWidget(new QLabel("Height:", fresh), 1, 0);
    ng->addWidget(m_height, 1, 1);
    layout->addWidget(fresh, 1, 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setOrientation(Qt::Vertical);
    layout->addWidget(buttons, 0, 1, 2, 1, Qt::AlignTop);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_width, &QLineEdit::editingFinished, this, [this] { Leave(true); });
    connect(m_height, &QLineEdit::editingFinished, this, [this] { Leave(false); });
    connect(m_unit, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i < 0 || i > 2) return;
        m_model.SetUnit(kUnits[i]);
        Show();
    });
    Show();
}

void CCanvasSizeDialog::Show() {
    m_showing = true;
    m_currentWidth->setText(QString::fromStdString(m_model.CurrentWidthText()));
    m_currentHeight->setText(QString::fromStdString(m_model.CurrentHeightText()));
    m_width->setText(NumberText(m_model.ShownWidth()));
    m_height->setText(NumberText(m_model.ShownHeight()));
    m_showing = false;
}

void CCanvasSizeDialog::Leave(bool width) {
    if (m_showing) return;
    QLineEdit* edit = width ? m_width : m_height;
    if (edit->text().trimmed() == NumberText(width ? m_model.ShownWidth() : m_model.ShownHeight()))
        return;
    const std::optional<double> v = ParseNumberText(edit->text());
    // A value out of range stays in its box until OK refuses it.
    if (!v || *v < kMinValue || *v > kMaxValue) return;
    if (width)
        m_model.EditWidth(*v);
    else
        m_model.EditHeight(*v);
    Show();
}

void CCanvasSizeDialog::accept() {
    // Boxes typed into but not yet left are checked first, then taken.
    std::optional<double> values[2];
    QLineEdit* edits[2] = {m_width, m_height};
    const double shown[2] = {m_model.ShownWidth(), m_model.ShownHeight()};
    for (int i = 0; i < 2; ++i) {
        if (edits[i]->text().trimmed() == NumberText(shown[i])) continue;
        values[i] = ReadNumberField(edits[i], kMinValue, kMaxValue);
        if (!values[i]) return;
    }
    for (int i = 0; i < 2; ++i) {
        if (!values[i]) continue;
        // Refused (no whole pixel, or over 20 million pixels, which tells the user): the
        // boxes show the size again and the dialog stays open.
        if (!(i == 0 ? m_model.EditWidth(*values[i]) : m_model.EditHeight(*values[i]))) {
            Show();
            edits[i]->setFocus();
            edits[i]->selectAll();
            return;
        }
    }
    Show();
    switch (m_model.Ok()) {
        case CanvasSizeDialogModel::Outcome::TooLarge:
            return;
        case CanvasSizeDialogModel::Outcome::Change:
            m_change = true;
            break;
        case CanvasSizeDialogModel::Outcome::Unchanged:
        case CanvasSizeDialogModel::Outcome::Cancelled:
            break;
    }
    QDialog::accept();
}

}  // namespace zelvo
