// "Canvas Size": "Current Size" (the canvas in the chosen unit) and "New Size" (Width, Height
// and the unit box "Centimeter" / "Inch" / "Pixels"). OK with a value out of range is refused
// with the range message and the dialog stays open; a smaller canvas is asked about first.
#pragma once

#include <QDialog>

#include "geometry/CanvasSize.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace zelvo {

class CCanvasSizeDialog : public QDialog {
    Q_OBJECT
public:
    CCanvasSizeDialog(int32_t width, int32_t height, int32_t resolution, QWidget* parent = nullptr);

    QLineEdit* WidthEdit() const { return m_width; }
    QLineEdit* HeightEdit() const { return m_height; }
    QComboBox* UnitBox() const { return m_unit; }
    QLabel* CurrentWidthLabel() const { return m_currentWidth; }
    QLabel* CurrentHeightLabel() const { return m_currentHeight; }
    const CanvasSizeDialogModel& Model() const { return m_model; }
    // Whether OK asked for the change (NewWidth x NewHeight of the model).
    bool ChangeRequested() const { return m_change; }

    void accept() override;

private:
    void Leave(bool width);
    void Show();

    CanvasSizeDialogModel m_model;
    bool m_change = false;
    QLineEdit* m_width;
    QLineEdit* m_height;
    QComboBox* m_unit;
    QLabel* m_currentWidth;
    QLabel* m_currentHeight;
    bool m_showing = false;
};

}  // namespace zelvo
