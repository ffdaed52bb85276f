#include "app/CRecoveryDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelvo {

CRecoveryDialog::CRecoveryDialog(const std::vector<std::string>& lines, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(kCaption);
    setObjectName("RecoveryDialog");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(kText, this);
    text->setWordWrap(true);
    layout->addWidget(text);
    m_list = new QListWidget(this);
    for (const std::string& line : lines) m_list->addItem(QString::fromStdString(line));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(m_list);
    auto* buttons = new QHBoxLayout;
    m_recover = new QPushButton("Recover", this);
    m_discard = new QPushButton("Discard", this);
    m_later = new QPushButton("Later", this);
    m_recover->setDefault(true);
    buttons->addStretch();
    for (QPushButton* b : {m_recover, m_discard, m_later}) buttons->addWidget(b);
    layout->addLayout(buttons);
    connect(m_recover, &QPushButton::clicked, this, [this] { Choose(kRecover); });
    connect(m_discard, &QPushButton::clicked, this, [this] { Choose(kDiscard); });
    connect(m_later, &QPushButton::clicked, this, [this] { Choose(kLater); });
    resize(520, 300);
}

QPushButton* CRecoveryDialog::Button(Choice choice) const {
    return choice == kRecover ? m_recover : choice == kDiscard ? m_discard : m_later;
}

void CRecoveryDialog::Choose(Choice choice) {
    m_choice = choice;
    // Escape or the close box mean Later: nothing is lost by waiting.
    if (choice == kLater)
        reject();
    else
        accept();
}

}  // namespace zelvo
