// "Print Preview": the page of the printer with the flattened picture placed on it, the
// position and scaled size boxes with their unit combos, "Center Image", "Scale to Fit Media",
// "Bounding Box", "Page Setup..." and "Print". The rules live in PrintPreviewModel; this window
// only shows it and passes the user's edits and drags on.
#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>

#include "print/PrintPreviewModel.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace zelvo {

class AppPrinter;
class Image;

// The page in small, with the picture and its dashed box; a drag moves the picture.
class CPrintPreviewWnd : public QWidget {
    Q_OBJECT
public:
    CPrintPreviewWnd(PrintPreviewModel& model, QImage thumbnail, QWidget* parent);

signals:
    void Moved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    PrintPreviewModel& m_model;
    QImage m_thumbnail;
};

class CPrintPreviewDialog : public QDialog {
    Q_OBJECT
public:
    // The dialog for `image` on the printer's page `page` (read by the caller).
    CPrintPreviewDialog(Image& image, AppPrinter& printer, const PrintPage& page,
                        QWidget* parent = nullptr);

    const PrintPreviewModel& Model() const { return m_model; }
    CPrintPreviewWnd* Preview() const { return m_preview; }
    QLineEdit* Edit(PrintField field) const;
    QComboBox* PositionUnitBox() const { return m_positionUnit; }
    QComboBox* SizeUnitBox() const { return m_sizeUnit; }
    QCheckBox* CenterBox() const { return m_center; }
    QCheckBox* FitBox() const { return m_fit; }
    QCheckBox* BoundingBoxBox() const { return m_box; }
    QPushButton* PrintButton() const { return m_print; }
    QPushButton* PageSetupButton() const { return m_pageSetup; }

private:
    void Edited(PrintField field, const QString& text);
    void UnitChanged(QComboBox* box, bool position);
    void OnPageSetup();
    void OnPrint();
    void PlacePreview();
    // Every box, enabled state and the preview from the model; `typing` keeps its own text.
    void Refresh(PrintField typing = PrintField::None);

    Image& m_image;
    AppPrinter& m_printer;
    PrintPreviewModel m_model;
    CPrintPreviewWnd* m_preview = nullptr;
    QWidget* m_area = nullptr;
    QLineEdit* m_top = nullptr;
    QLineEdit* m_left = nullptr;
    QLineEdit* m_scale = nullptr;
    QLineEdit* m_height = nullptr;
    QLineEdit* m_width = nullptr;
    QComboBox* m_positionUnit = nullptr;
    QComboBox* m_sizeUnit = nullptr;
    QCheckBox* m_center = nullptr;
    QCheckBox* m_fit = nullptr;
    QCheckBox* m_box = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_pageSetup = nullptr;
};

// File > Print with Preview...: the dialog on the printer's page ("Can not Print Preview!"
// when the page cannot be read). File > Print: Print at the dialog's starting layout.
void RunPrintPreview(Image& image, QWidget* parent);
void RunPrintDirect(Image& image, QWidget* parent);
// File > Print Setting...: the page set-up dialog of the program's printer.
void RunPageSetup(QWidget* parent);

}  // namespace zelvo
