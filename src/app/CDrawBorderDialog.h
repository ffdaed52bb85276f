// "Draw Border": "Width:" in Pixels (1..50, default 1), "Color:" a swatch of the foreground
// colour that opens the colour chooser, "Opacity:" in % (0..100, default 100). OK with a value
// out of range is refused with the range message and the dialog stays open.
#pragma once

#include <optional>

#include <QDialog>

#include "selection/SelectionDialogs.h"

class QLineEdit;
class QPushButton;

namespace zelvo {

class CDrawBorderDialog : public QDialog {
    Q_OBJECT
public:
    CDrawBorderDialog(ColorRef foreground, QWidget* parent = nullptr);

    QLineEdit* WidthEdit() const { return m_width; }
    QLineEdit* OpacityEdit() const { return m_opacity; }
    QPushButton* ColorSwatch() const { return m_swatch; }
    ColorRef Color() const { return m_model.color; }
    // The values OK accepted (the caller makes the colour the foreground colour).
    std::optional<DrawBorderValues> Result() const { return m_result; }

    void accept() override;

private:
    void ChooseColor();
    void ShowColor();

    DrawBorderDialogModel m_model;
    std::optional<DrawBorderValues> m_result;
    QLineEdit* m_width;
    QLineEdit* m_opacity;
    QPushButton* m_swatch;
};

}  // namespace zelvo
