// "Image Size": "Pixel Dimensions" (Width and Height in Pixels), "Document Size" (Width and
// Height with the unit box "Centimeter" / "Inch"), "Resolution:" with "Pixels/Centimeter" /
// "Pixels/Inch", and "Scale Styles", all kept in step by the model. OK with a value out of
// range is refused with the range message and the dialog stays open.
#pragma once

#include <optional>

#include <QDialog>

#include "geometry/ImageSize.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zelvo {

class CImageSizeDialog : public QDialog {
    Q_OBJECT
public:
    CImageSizeDialog(int32_t width, int32_t height, int32_t resolution, QWidget* parent = nullptr);

    QLineEdit* PixelWidthEdit() const { return m_pixelWidth; }
    QLineEdit* PixelHeightEdit() const { return m_pixelHeight; }
    QLineEdit* DocumentWidthEdit() const { return m_docWidth; }
    QLineEdit* DocumentHeightEdit() const { return m_docHeight; }
    QLineEdit* ResolutionEdit() const { return m_resolution; }
    QComboBox* DocumentUnitBox() const { return m_docUnit; }
    QComboBox* ResolutionUnitBox() const { return m_resUnit; }
    QCheckBox* ScaleStylesBox() const { return m_scaleStyles; }
    const ImageSizeDialogModel& Model() const { return m_model; }
    // The resize OK asked for; nothing when nothing changed.
    const std::optional<ImageSizeRequest>& Request() const { return m_request; }

    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum Field { kPixelWidth, kPixelHeight, kDocWidth, kDocHeight, kResolution };
    // A box was left: a value in its range goes to the model (which may fall back to the
    // canvas's values); the boxes then show the model.
    void Leave(Field field);
    // Whether a box's text differs from what the model shows.
    bool Pending(Field field) const;
    // A box's value when it is a number in the box's range (else nothing, after the message
    // when `withMessages`).
    std::optional<double> Read(Field field, bool withMessages) const;
    // False when the model refused the value (its message shown, the boxes reset).
    bool Apply(Field field, double value);
    QString Shown(Field field) const;
    QLineEdit* Edit(Field field) const;
    void Show();

    ImageSizeDialogModel m_model;
    std::optional<ImageSizeRequest> m_request;
    QLineEdit* m_pixelWidth;
    QLineEdit* m_pixelHeight;
    QLineEdit* m_docWidth;
    QLineEdit* m_docHeight;
    QLineEdit* m_resolution;
    QComboBox* m_docUnit;
    QComboBox* m_resUnit;
    QCheckBox* m_scaleStyles;
    bool m_showing = false;
    bool m_applying = false;  // a value left is being taken (its refusal may show a message)
    // A value left was refused during the key press now being handled (Enter in the box).
    bool m_refusedNow = false;
};

}  // namespace zelvo
