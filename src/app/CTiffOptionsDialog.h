// "TIFF Options": the compression as four radio buttons, and the quality controls that only
// JPEG compression uses.
#pragma once

#include <QDialog>

#include "files/SaveOptions.h"

class QLabel;
class QRadioButton;

namespace zelvo {

class QualityWidgets;

class CTiffOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CTiffOptionsDialog(QWidget* parent = nullptr);
    int Compression() const { return m_model.Compression(); }
    int Quality() const { return m_model.Quality(); }
    QRadioButton* NoneButton() const { return m_none; }
    QRadioButton* LzwButton() const { return m_lzw; }
    QRadioButton* JpegButton() const { return m_jpeg; }
    QRadioButton* ZipButton() const { return m_zip; }
    QualityWidgets& Controls() { return *m_controls; }
    bool QualityEnabled() const;

private:
    void Sync();

    TiffOptionsModel m_model;
    QualityWidgets* m_controls;
    QRadioButton* m_none;
    QRadioButton* m_lzw;
    QRadioButton* m_jpeg;
    QRadioButton* m_zip;
    QLabel* m_qualityLabel;
    QLabel* m_small;
    QLabel* m_large;
};

}  // namespace zelvo
