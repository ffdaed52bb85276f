// The Print Preview dialog over a real document on the PDF printer's A4 page: its starting
// fields, the boxes' enabling, typing, dragging the picture in the preview, and Print.
#include <cstdlib>
#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include "app/AppPrinter.h"
#include "app/CChildFrame.h"
#include "app/CPrintPreviewDialog.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// A click on a check box's square.
void ClickBox(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
}

QString Text(CPrintPreviewDialog& d, PrintField f) {
    return d.Edit(f)->text();
}

}  // namespace

class PrintPreviewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void defaultsDraggingTypingAndPrint() {
        Program program;
        // 283 x 142 pixels at 72 ppi: 99 x 50 mm, centred on A4 at (55, 123).
        Image& image = program.Frame().NewDocument({283, 142, 2834})->GetImage();
        AppPrinter printer(false);
        const std::optional<PrintPage> page = printer.ReadPage();
        QVERIFY(page);
        QCOMPARE(page->widthMm, 210);
        QCOMPARE(page->heightMm, 297);
        // Qt sizes the sheet in whole points first: 2479 or 2480 pixels at 300 dpi.
        QVERIFY(std::abs(page->widthPx - 2480) <= 1);
        CPrintPreviewDialog dialog(image, printer, *page);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QCOMPARE(dialog.windowTitle(), QString("Print Preview"));
        QCOMPARE(dialog.PositionUnitBox()->currentText(), QString("Centimeter"));
        QCOMPARE(dialog.SizeUnitBox()->currentText(), QString("Centimeter"));
        QCOMPARE(dialog.SizeUnitBox()->itemText(1), QString("Inch"));
        QVERIFY(dialog.CenterBox()->isChecked());
        QVERIFY(dialog.BoundingBoxBox()->isChecked());
        QVERIFY(!dialog.FitBox()->isChecked());
        QCOMPARE(Text(dialog, PrintField::Scale), QString("100%"));
        QCOMPARE(Text(dialog, PrintField::Width), QString("9.9"));
        QCOMPARE(Text(dialog, PrintField::Height), QString("5.0"));
        QCOMPARE(Text(dialog, PrintField::Left), QString("5.5"));
        QCOMPARE(Text(dialog, PrintField::Top), QString("12.3"));
        QVERIFY(!dialog.Edit(PrintField::Left)->isEnabled());
        QVERIFY(!dialog.Edit(PrintField::Top)->isEnabled());
        QVERIFY(dialog.Edit(PrintField::Scale)->isEnabled());
        // The A4 page fitted into the 250 x 250 square at (10, 10): 176 x 250, centred.
        CPrintPreviewWnd* preview = dialog.Preview();
        QCOMPARE(preview->mapTo(&dialog, QPoint(0, 0)), QPoint(47, 10));
        QCOMPARE(preview->size(), QSize(176, 250));

        // Centred, a drag does nothing.
        const double x = 176.0 / 210.0;
        const QPoint inside(int(55 * x) + 10, int(123 * x) + 10);
        SendMouse(preview, QEvent::MouseButtonPress, inside, Qt::LeftButton);
        SendMouse(preview, QEvent::MouseMove, inside + QPoint(30, 15), Qt::LeftButton);
        SendMouse(preview, QEvent::MouseButtonRelease, inside + QPoint(30, 15), Qt::NoButton);
        QCOMPARE(dialog.Model().Left(), 55);

        // Unchecking Center Image enables the position boxes and dragging; a drag moves the
        // position fields by whole millimetres of the preview's scale.
        ClickBox(dialog.CenterBox());
        QVERIFY(!dialog.CenterBox()->isChecked());
        QVERIFY(dialog.Edit(PrintField::Left)->isEnabled());
        QVERIFY(dialog.Edit(PrintField::Top)->isEnabled());
        SendMouse(preview, QEvent::MouseButtonPress, inside, Qt::LeftButton);
        SendMouse(preview, QEvent::MouseMove, inside + QPoint(30, 15), Qt::LeftButton);
        SendMouse(preview, QEvent::MouseButtonRelease, inside + QPoint(30, 15), Qt::NoButton);
        const int left = 55 + int(30 / x), top = 123 + int(15 / x);
        QCOMPARE(dialog.Model().Left(), left);
        QCOMPARE(dialog.Model().Top(), top);
        QCOMPARE(Text(dialog, PrintField::Left),
                 QString::fromStdString(FormatMm(left, PrintUnit::Centimeter)));
        QCOMPARE(Text(dialog, PrintField::Top),
                 QString::fromStdString(FormatMm(top, PrintUnit::Centimeter)));
        // A move without the button held is no drag.
        SendMouse(preview, QEvent::MouseMove, inside, Qt::NoButton);
        QCOMPARE(dialog.Model().Left(), left);

        // Inches in the position combo reformat the boxes.
        dialog.PositionUnitBox()->setCurrentIndex(1);
        QCOMPARE(Text(dialog, PrintField::Left),
                 QString::fromStdString(FormatMm(left, PrintUnit::Inch)));

        // Typing 50 into the scale box halves the size; the box keeps what was typed.
        QLineEdit* scale = dialog.Edit(PrintField::Scale);
        scale->setFocus();
        scale->selectAll();
        QTest::keyClicks(scale, "50");
        QCOMPARE(dialog.Model().Scale(), 0.5f);
        QCOMPARE(scale->text(), QString("50"));
        QCOMPARE(Text(dialog, PrintField::Width), QString("4.9"));
        QCOMPARE(dialog.Model().Left(), left);  // not centred: the position stays
        // A scale the model does not take changes nothing; leaving the box shows 50 again.
        scale->selectAll();
        QTest::keyClicks(scale, "0");
        QCOMPARE(dialog.Model().Scale(), 0.5f);
        emit scale->editingFinished();
        QCOMPARE(scale->text(), QString::fromStdString(dialog.Model().Text(PrintField::Scale)));
        QVERIFY(scale->text().startsWith("50"));

        // Fit disables the scale, the size boxes and Center Image.
        ClickBox(dialog.FitBox());
        QVERIFY(!dialog.Edit(PrintField::Scale)->isEnabled());
        QVERIFY(!dialog.Edit(PrintField::Width)->isEnabled());
        QVERIFY(!dialog.CenterBox()->isEnabled());
        QCOMPARE(Text(dialog, PrintField::Width), QString("21.0"));

        // Page Setup of the PDF printer: a landscape sheet turns the preview and re-fits.
        WhenModal([](QWidget* w) {
            const QList<QComboBox*> boxes = w->findChildren<QComboBox*>();
            if (boxes.size() == 2) boxes[1]->setCurrentIndex(1);
            if (auto* d = qobject_cast<QDialog*>(w)) d->accept();
        });
        QTest::mouseClick(dialog.PageSetupButton(), Qt::LeftButton);
        QCOMPARE(preview->size(), QSize(250, 176));
        QCOMPARE(dialog.Model().Page().widthMm, 297);
        QCOMPARE(Text(dialog, PrintField::Width), QString("29.7"));
        QCOMPARE(Text(dialog, PrintField::Height), QString("14.9"));

        // Print to the PDF printer's file: the question, then the file, and the dialog closes.
        const std::string pdf = program.TempFolder() + "/out.pdf";
        PrinterSurface::SetPdfPathForTests(pdf);
        QTest::mouseClick(dialog.PrintButton(), Qt::LeftButton);
        PrinterSurface::SetPdfPathForTests(std::nullopt);
        QCOMPARE(QString::fromStdString(program.Messages().Last()), QString("Whether the print?"));
        QVERIFY(std::filesystem::file_size(pdf) > 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        program.Exit();
    }
};

QObject* MakePrintPreviewTest() {
    return new PrintPreviewTest;
}

#include "PrintPreviewTest.moc"
