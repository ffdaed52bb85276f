// The start-up dialog shown while the workspace is set up: 430 x 250, centred on the screen,
// with the program's picture.
#pragma once

#include <QDialog>

namespace zelvo {

class CStartupDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Zelvo start...(About6-10seconds)";
    static constexpr int kWidth = 430;
    static constexpr int kHeight = 250;

    CStartupDialog(int screenWidth, int screenHeight, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace zelvo
