#include "app/CTempDiskDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelvo {

CTempDiskDialog::CTempDiskDialog(DiskService& disks, const std::string& tempFolder, QWidget* parent)
    : QDialog(parent), m_model(disks, tempFolder) {
    setWindowTitle(TempDiskDialog::kCaption);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(TempDiskDialog::kText, this));
    m_list = new QComboBox(this);
    for (const TempDiskDialog::Line& line : m_model.Lines())
        m_list->addItem(QString::fromStdString(line.text));
    m_list->setCurrentIndex(m_model.Selected());
    connect(m_list, &QComboBox::currentIndexChanged, this, [this](int i) { m_model.Select(i); });
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CTempDiskDialog::accept() {
    m_model.Ok();
    QDialog::accept();
}

}  // namespace zelvo
