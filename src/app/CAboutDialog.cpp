#include "app/CAboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace zelvo {

QString CAboutDialog::VersionText() {
    return QString("Zelvo Version %1").arg(ZELVO_VERSION);
}

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Zelvo");
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(VersionText(), this);
    QFont f = name->font();
    f.setBold(true);
    name->setFont(f);
    layout->addWidget(name);
    layout->addWidget(new QLabel("A raster photo editor with layers.", this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace zelvo
