#include "app/CNewImageDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/DialogFields.h"

namespace zelvo {

namespace {

constexpr int kPresetRole = Qt::UserRole;

QString Fixed(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

}  // namespace

CNewImageDialog::CNewImageDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("New Image");
    auto* grid = new QGridLayout(this);

    m_builtIn = new QListWidget(this);
    const auto& presets = BuiltInPresets();
    for (size_t i = 0; i < presets.size(); ++i) {
        auto* item = new QListWidgetItem(
            presets[i].text ? QString::fromUtf8(presets[i].text) : QString(8, QChar(0x2014)),
            m_builtIn);
        item->setData(kPresetRole, int(i));
        if (!presets[i].text) item->setFlags(Qt::NoItemFlags);
    }
    m_builtIn->setCurrentRow(DefaultBuiltInPreset());
    m_user = new QListWidget(this);
    m_add = new QPushButton("Add", this);
    m_delete = new QPushButton("Delete", this);

    auto* presetsBox = new QVBoxLayout;
    presetsBox->addWidget(new QLabel("Preset Sizes:", this));
    presetsBox->addWidget(m_builtIn);
    presetsBox->addWidget(new QLabel("My Sizes:", this));
    presetsBox->addWidget(m_user);
    auto* userButtons = new QHBoxLayout;
    userButtons->addWidget(m_add);
    userButtons->addWidget(m_delete);
    presetsBox->addLayout(userButtons);
    grid->addLayout(presetsBox, 0, 0, 2, 1);

    m_width = new QLineEdit(this);
    m_height = new QLineEdit(this);
    m_resolution = new QLineEdit(this);
    m_unit = new QComboBox(this);
    m_unit->addItems({"Centimeter", "Inch", "Pixels"});  // in SizeUnit order
    m_resolutionUnit = new QComboBox(this);
    m_resolutionUnit->addItems({"Pixels/Inch", "Pixels/Centimeter"});  // in ResolutionUnit order
    auto* form = new QFormLayout;
    form->addRow("Width:", m_width);
    form->addRow("Height:", m_height);
    form->addRow("Unit:", m_unit);
    form->addRow("Resolution:", m_resolution);
    form->addRow("", m_resolutionUnit);
    grid->addLayout(form, 0, 1);

    m_ok = new QPushButton("OK", this);
    m_cancel = new QPushButton("Cancel", this);
    m_ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 1, 1);

    connect(m_ok, &QPushButton::clicked, this, &CNewImageDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CNewImageDialog::reject);
    connect(m_builtIn, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const auto& list = BuiltInPresets();
        const int i = item->data(kPresetRole).toInt();
        if (i < 0 || i >= int(list.size()) || !list[size_t(i)].text) return;
        m_model.Choose(list[size_t(i)].preset);
        ShowFields();
    });
    connect(m_user, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int i = m_user->row(item);
        if (i < 0 || i >= int(m_model.UserPresets().size())) return;
        m_model.Choose(m_model.UserPresets()[size_t(i)]);
        ShowFields();
    });
    connect(m_add, &QPushButton::clicked, this, [this] {
        TakeFields();
        if (m_model.AddUserPreset()) ShowUserList();
    });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        m_model.DeleteUserPreset(m_user->currentRow());
        ShowUserList();
    });
    for (QLineEdit* e : {m_width, m_height, m_resolution})
        connect(e, &QLineEdit::editingFinished, this, [this] {
            TakeFields();
            ShowFields();
        });
    connect(m_unit, &QComboBox::activated, this, [this](int i) { m_model.SetUnit(SizeUnit(i)); });
    connect(m_resolutionUnit, &QComboBox::activated, this,
            [this](int i) { m_model.SetResolutionUnit(ResolutionUnit(i)); });
    ShowUserList();
    ShowFields();
}

void CNewImageDialog::ShowFields() {
    m_width->setText(Fixed(m_model.Width(), 2));
    m_height->setText(Fixed(m_model.Height(), 2));
    m_resolution->setText(Fixed(m_model.Resolution(), 0));
    m_unit->setCurrentIndex(int(m_model.Unit()));
    m_resolutionUnit->setCurrentIndex(int(m_model.ResolutionUnitValue()));
}

void CNewImageDialog::ShowUserList() {
    m_user->clear();
    for (const SizePreset& p : m_model.UserPresets())
        m_user->addItem(QString::fromStdString(PresetText(p)));
    m_user->setCurrentRow(m_model.SelectedUserPreset());
    m_delete->setEnabled(!m_model.UserPresets().empty());
}

void CNewImageDialog::TakeFields() {
    // A value that is no number or out of bounds keeps the previous one.
    bool ok = false;
    double v = m_width->text().trimmed().toDouble(&ok);
    if (ok) m_model.SetWidth(v);
    v = m_height->text().trimmed().toDouble(&ok);
    if (ok) m_model.SetHeight(v);
    v = m_resolution->text().trimmed().toDouble(&ok);
    if (ok) m_model.SetResolution(v);
    m_model.SetUnit(SizeUnit(m_unit->currentIndex()));
    m_model.SetResolutionUnit(ResolutionUnit(m_resolutionUnit->currentIndex()));
}

void CNewImageDialog::accept() {
    // A box left with a bad value kept the previous one; OK with it refuses it instead, so
    // that no picture of another size than the one shown is made without a word.
    if (!ReadNumberField(m_width, 0.1, 10100, true) ||
        !ReadNumberField(m_height, 0.1, 10100, true) ||
        !ReadNumberField(m_resolution, 1, 2000, true))
        return;
    TakeFields();
    m_result = m_model.Ok();
    if (!m_result) {
        // The model has told the user and gone back to the defaults; the dialog stays open.
        ShowFields();
        return;
    }
    m_model.SaveUserPresets();
    QDialog::accept();
}

void CNewImageDialog::reject() {
    m_result.reset();
    m_model.SaveUserPresets();
    QDialog::reject();
}

}  // namespace zelvo
