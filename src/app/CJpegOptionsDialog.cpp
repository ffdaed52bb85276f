#include "app/CJpegOptionsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

namespace zelvo {

QualityWidgets::QualityWidgets(QualityControls& model, QWidget* parent)
    : QObject(parent), m_model(model) {
    slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(QualityControls::kMin, QualityControls::kMax);
    slider->setPageStep(QualityControls::kPageStep);
    slider->setSingleStep(1);
    edit = new QLineEdit(parent);
    edit->setMaxLength(3);
    combo = new QComboBox(parent);
    for (int i = 0; i < 4; ++i) combo->addItem(QualityControls::ComboText(i));
    connect(slider, &QSlider::valueChanged, this, [this](int v) {
        if (m_refreshing) return;
        m_model.MoveSlider(v);
        Refresh();
    });
    connect(edit, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (m_refreshing) return;
        // The edit keeps what was typed; the other two follow the quality in force (a value
        // the box ignores puts back the one from before the typing).
        m_model.TypeText(t.toStdString());
        m_refreshing = true;
        slider->setValue(m_model.SliderPosition());
        combo->setCurrentIndex(m_model.Combo());
        m_refreshing = false;
    });
    connect(edit, &QLineEdit::editingFinished, this, [this] {
        m_model.EndTyping();
        Refresh();
    });
    connect(combo, &QComboBox::activated, this, [this](int index) {
        m_model.ChooseCombo(index);
        Refresh();
    });
    Refresh();
}

void QualityWidgets::Refresh() {
    m_refreshing = true;
    slider->setValue(m_model.SliderPosition());
    edit->setText(QString::fromStdString(m_model.EditText()));
    combo->setCurrentIndex(m_model.Combo());
    m_refreshing = false;
}

void QualityWidgets::SetEnabled(bool on) {
    slider->setEnabled(on);
    edit->setEnabled(on);
    combo->setEnabled(on);
}

CJpegOptionsDialog::CJpegOptionsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(JpegOptionsModel::kCaption);
    m_controls = new QualityWidgets(m_model.Controls(), this);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Quality:", this), 0, 0);
    grid->addWidget(m_controls->edit, 0, 1);
    grid->addWidget(m_controls->combo, 0, 2);
    grid->addWidget(new QLabel("small file", this), 1, 0);
    grid->addWidget(m_controls->slider, 1, 1);
    grid->addWidget(new QLabel("large file", this), 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 2, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CJpegOptionsDialog::accept() {
    m_model.Ok();
    QDialog::accept();
}

}  // namespace zelvo
