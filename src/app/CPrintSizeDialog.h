// "Print Size": "Width:%d Height:%d  (Pixels)" on top; Width and Height with the unit box
// "Centimeter" / "Inch"; "Resolution:" with "Pixels/Inch" / "Pixels/Centimeter". OK changes
// only the document's resolution. OK with a value out of range is refused with the range
// message and the dialog stays open.
#pragma once

#include <cstdint>
#include <optional>

#include <QDialog>

#include "geometry/PrintSize.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace zelvo {

class CPrintSizeDialog : public QDialog {
    Q_OBJECT
public:
    CPrintSizeDialog(int32_t width, int32_t height, int32_t resolution, QWidget* parent = nullptr);

    QLabel* PixelSizeLabel() const { return m_pixels; }
    QLineEdit* WidthEdit() const { return m_width; }
    QLineEdit* HeightEdit() const { return m_height; }
    QLineEdit* ResolutionEdit() const { return m_resolution; }
    QComboBox* UnitBox() const { return m_unit; }
    QComboBox* ResolutionUnitBox() const { return m_resUnit; }
    // The new resolution in pixels per metre OK gave; nothing when it stays.
    std::optional<int32_t> Result() const { return m_result; }

    void accept() override;

private:
    enum Field { kWidth, kHeight, kResolution };
    QLineEdit* Edit(Field field) const;
    QString Shown(Field field) const;
    bool Apply(Field field, double value);
    void Leave(Field field);
    void Show();

    PrintSizeDialogModel m_model;
    std::optional<int32_t> m_result;
    QLabel* m_pixels;
    QLineEdit* m_width;
    QLineEdit* m_height;
    QLineEdit* m_resolution;
    QComboBox* m_unit;
    QComboBox* m_resUnit;
    bool m_showing = false;
};

}  // namespace zelvo
