// The About dialog: the program's name and version.
#pragma once

#include <QDialog>

namespace zelvo {

class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* parent = nullptr);
    static QString VersionText();
};

}  // namespace zelvo
