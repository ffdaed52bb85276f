// "JPEG Options": the quality level 1..12 as a slider, an edit box and a combo box kept in
// step by the model; OK stores it as the quality offered next time.
#pragma once

#include <QDialog>

#include "files/SaveOptions.h"

class QComboBox;
class QLineEdit;
class QSlider;

namespace zelvo {

// The three controls of a quality level, shared by the JPEG and TIFF dialogs.
class QualityWidgets : public QObject {
    Q_OBJECT
public:
    QualityWidgets(QualityControls& model, QWidget* parent);
    QSlider* slider;
    QLineEdit* edit;
    QComboBox* combo;
    void Refresh();
    void SetEnabled(bool on);

private:
    QualityControls& m_model;
    bool m_refreshing = false;
};

class CJpegOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CJpegOptionsDialog(QWidget* parent = nullptr);
    int Quality() const { return m_model.Quality(); }
    QualityWidgets& Controls() { return *m_controls; }
    void accept() override;

private:
    JpegOptionsModel m_model;
    QualityWidgets* m_controls;
};

}  // namespace zelvo
