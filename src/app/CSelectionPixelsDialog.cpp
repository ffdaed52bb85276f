#include "app/CSelectionPixelsDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/DialogFields.h"

namespace zelvo {

CSelectionPixelsDialog::CSelectionPixelsDialog(const QString& title, const QString& label,
                                               const char* unit, const char* hint, int64_t value,
                                               QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    auto* grid = new QGridLayout(this);
    m_label = new QLabel(label, this);
    m_edit = new QLineEdit(QString::number(value), this);
    m_edit->setObjectName("value");
    m_hint = new QLabel(hint, this);
    grid->addWidget(m_label, 0, 0);
    grid->addWidget(m_edit, 0, 1);
    grid->addWidget(new QLabel(unit, this), 0, 2);
    grid->addWidget(m_hint, 1, 0, 1, 3);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 2, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_edit->selectAll();
}

CFeatherDialog::CFeatherDialog(QWidget* parent)
    : CSelectionPixelsDialog(FeatherDialogModel::kTitle, FeatherDialogModel::kLabel,
                             FeatherDialogModel::kUnit, FeatherDialogModel::kHint,
                             FeatherDialogModel().radius, parent) {}

void CFeatherDialog::accept() {
    const std::optional<int64_t> v = ReadIntegerField(m_edit);
    if (!v) return;
    m_model.radius = *v;
    m_result = m_model.Ok();  // the range check shows its message
    if (!m_result) {
        m_edit->setFocus();
        m_edit->selectAll();
        return;
    }
    QDialog::accept();
}

CExpandContractDialog::CExpandContractDialog(bool contract, QWidget* parent)
    : CSelectionPixelsDialog(QString::fromStdString(ExpandContractDialogModel(contract).Title()),
                             QString::fromStdString(ExpandContractDialogModel(contract).Label()),
                             ExpandContractDialogModel::kUnit, ExpandContractDialogModel::kHint,
                             ExpandContractDialogModel(contract).pixels, parent),
      m_model(contract) {}

void CExpandContractDialog::accept() {
    const std::optional<int64_t> v = ReadIntegerField(m_edit);
    if (!v) return;
    m_model.pixels = *v;
    m_result = m_model.Ok();
    if (!m_result) {
        m_edit->setFocus();
        m_edit->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace zelvo
