#include "app/CDrawBorderDialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/DialogFields.h"

namespace zelvo {

CDrawBorderDialog::CDrawBorderDialog(ColorRef foreground, QWidget* parent)
    : QDialog(parent), m_model(foreground) {
    using M = DrawBorderDialogModel;
    setWindowTitle(M::kTitle);
    auto* grid = new QGridLayout(this);
    m_width = new QLineEdit(QString::number(m_model.width), this);
    m_width->setObjectName("width");
    m_opacity = new QLineEdit(QString::number(m_model.opacity), this);
    m_opacity->setObjectName("opacity");
    m_swatch = new QPushButton(this);
    m_swatch->setObjectName("color");
    m_swatch->setFixedSize(48, 22);
    grid->addWidget(new QLabel(M::kWidthLabel, this), 0, 0);
    grid->addWidget(m_width, 0, 1);
    grid->addWidget(new QLabel(M::kWidthUnit, this), 0, 2);
    grid->addWidget(new QLabel(M::kColorLabel, this), 1, 0);
    grid->addWidget(m_swatch, 1, 1);
    grid->addWidget(new QLabel(M::kOpacityLabel, this), 2, 0);
    grid->addWidget(m_opacity, 2, 1);
    grid->addWidget(new QLabel(M::kOpacityUnit, this), 2, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 3, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_swatch, &QPushButton::clicked, this, [this] { ChooseColor(); });
    ShowColor();
}

void CDrawBorderDialog::ShowColor() {
    const ColorRef c = m_model.color;
    m_swatch->setStyleSheet(QString("background-color: rgb(%1, %2, %3); border: 1px solid black;")
                                .arg(RedOf(c))
                                .arg(GreenOf(c))
                                .arg(BlueOf(c)));
}

void CDrawBorderDialog::ChooseColor() {
    const ColorRef c = m_model.color;
    // The chooser opens with its full panel.
    const QColor chosen = QColorDialog::getColor(QColor(RedOf(c), GreenOf(c), BlueOf(c)), this,
                                                 QString(), QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid()) return;
    m_model.color = Rgb(uint8_t(chosen.red()), uint8_t(chosen.green()), uint8_t(chosen.blue()));
    ShowColor();
}

void CDrawBorderDialog::accept() {
    const std::optional<int64_t> width = ReadIntegerField(m_width);
    if (!width) return;
    const std::optional<int64_t> opacity = ReadIntegerField(m_opacity);
    if (!opacity) return;
    m_model.width = *width;
    m_model.opacity = *opacity;
    m_result = m_model.Ok();  // the range checks show their messages
    if (!m_result) return;
    QDialog::accept();
}

}  // namespace zelvo
