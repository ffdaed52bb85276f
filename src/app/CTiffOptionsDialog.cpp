#include "app/CTiffOptionsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include "app/CJpegOptionsDialog.h"

namespace zelvo {

CTiffOptionsDialog::CTiffOptionsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(TiffOptionsModel::kCaption);
    auto* grid = new QGridLayout(this);
    auto* group = new QGroupBox("Image Compression", this);
    auto* row = new QHBoxLayout(group);
    m_none = new QRadioButton("NONE", group);
    m_lzw = new QRadioButton("LZW", group);
    m_jpeg = new QRadioButton("JPEG", group);
    m_zip = new QRadioButton("ZIP", group);
    for (QRadioButton* b : {m_none, m_lzw, m_jpeg, m_zip}) row->addWidget(b);
    grid->addWidget(group, 0, 0, 1, 3);

    m_controls = new QualityWidgets(m_model.Controls(), this);
    m_qualityLabel = new QLabel("Quality:", this);
    m_small = new QLabel("small file", this);
    m_large = new QLabel("large file", this);
    grid->addWidget(m_qualityLabel, 1, 0);
    grid->addWidget(m_controls->edit, 1, 1);
    grid->addWidget(m_controls->combo, 1, 2);
    grid->addWidget(m_small, 2, 0);
    grid->addWidget(m_controls->slider, 2, 1);
    grid->addWidget(m_large, 2, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 3, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // `clicked` comes from the user only; the model may refuse JPEG and ZIP after asking.
    connect(m_none, &QRadioButton::clicked, this, [this] {
        m_model.ChooseNone();
        Sync();
    });
    connect(m_lzw, &QRadioButton::clicked, this, [this] {
        m_model.ChooseLzw();
        Sync();
    });
    connect(m_jpeg, &QRadioButton::clicked, this, [this] {
        m_model.ChooseJpeg();
        Sync();
    });
    connect(m_zip, &QRadioButton::clicked, this, [this] {
        m_model.ChooseZip();
        Sync();
    });
    Sync();
}

bool CTiffOptionsDialog::QualityEnabled() const {
    return m_controls->slider->isEnabled();
}

void CTiffOptionsDialog::Sync() {
    switch (m_model.Compression()) {
        case 5:
            m_lzw->setChecked(true);
            break;
        case 7:
            m_jpeg->setChecked(true);
            break;
        case 8:
            m_zip->setChecked(true);
            break;
        default:
            m_none->setChecked(true);
            break;
    }
    const bool on = m_model.QualityControlsEnabled();
    m_controls->SetEnabled(on);
    m_qualityLabel->setEnabled(on);
    m_small->setEnabled(on);
    m_large->setEnabled(on);
}

}  // namespace zelvo
