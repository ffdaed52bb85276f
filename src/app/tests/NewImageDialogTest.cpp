// New Image through its dialog: the default size, a refused size, the presets written back.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CNewImageDialog.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"
#include "platform/Disk.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

// The pixel count of a length at a resolution per inch, rounded half up (the obvious way).
int Pixels(double length, double perInch, double unitsPerInch) {
    return int(length / unitsPerInch * perInch + 0.5);
}

void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    emit edit->editingFinished();
}

}  // namespace

class NewImageDialogTest : public QObject {
    Q_OBJECT
private slots:
    // QTest installs its own handler when a suite starts; ours goes in front of it.
    void initTestCase() { InstallThreadWarningHandler(); }
    void init() { std::remove(ConfigPath("newfilesize.qinf").c_str()); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void defaultSizeMakesTheImage() {
        Program program;
        CMainFrame& frame = program.Frame();
        bool sawDefaults = false;
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<CNewImageDialog*>(w);
            if (!d) return;
            sawDefaults = d->WidthEdit()->text() == "8.90" && d->HeightEdit()->text() == "12.70" &&
                          d->ResolutionEdit()->text() == "300" &&
                          d->UnitBox()->currentText() == "Centimeter" &&
                          d->ResolutionUnitBox()->currentText() == "Pixels/Inch" &&
                          d->BuiltInList()->currentItem()->text() == "8.9 x 12.7  (Centimeter)";
            QTest::mouseClick(d->OkButton(), Qt::LeftButton);
        });
        frame.OnCommand(kIdFileNew);
        QVERIFY(sawDefaults);
        QCOMPARE(frame.Children().size(), 1);
        Image& image = frame.Children().first()->GetImage();
        QCOMPARE(image.Width(), Pixels(8.9, 300, 2.54));    // 1051
        QCOMPARE(image.Height(), Pixels(12.7, 300, 2.54));  // 1500
        QCOMPARE(image.Resolution(), int(300 / 0.0254 + 0.5));
        QCOMPARE(frame.Children().first()->windowTitle(),
                 QString("Untitled-%1").arg(image.UntitledNumber()));
        QCOMPARE(HistoryPalette::RowText(image.History(), 1), std::string("New Image"));
        QVERIFY(!image.IsModified());
    }

    void presetFillsTheFields() {
        CNewImageDialog dialog;
        QListWidget* list = dialog.BuiltInList();
        const QList<QListWidgetItem*> found =
            list->findItems("800 x 600  (Pixels)", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        const QRect r = list->visualItemRect(found.first());
        dialog.show();
        list->scrollToItem(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(found.first()).center());
        Q_UNUSED(r);
        QCOMPARE(dialog.WidthEdit()->text(), QString("800.00"));
        QCOMPARE(dialog.UnitBox()->currentText(), QString("Pixels"));
        QCOMPARE(dialog.ResolutionEdit()->text(), QString("72"));
        // The separator rows cannot be chosen.
        int separators = 0;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == QString(8, QChar(0x2014))) {
                ++separators;
                QCOMPARE(list->item(i)->flags(), Qt::NoItemFlags);
            }
        QVERIFY(separators >= 1);
        dialog.reject();
    }

    void refusedSizeShowsItsMessageAndStaysOpen() {
        Program program;
        CMainFrame& frame = program.Frame();
        bool stayedOpen = false, backToDefaults = false;
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<CNewImageDialog*>(w);
            if (!d) return;
            d->UnitBox()->setCurrentIndex(2);
            emit d->UnitBox()->activated(2);
            Type(d->WidthEdit(), "5000");
            Type(d->HeightEdit(), "4001");
            QTest::mouseClick(d->OkButton(), Qt::LeftButton);
            stayedOpen = d->isVisible() && QApplication::activeModalWidget() == d;
            backToDefaults =
                d->WidthEdit()->text() == "8.90" && d->UnitBox()->currentText() == "Centimeter";
            QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
        });
        frame.OnCommand(kIdFileNew);
        QVERIFY(stayedOpen);
        QVERIFY(backToDefaults);
        QCOMPARE(program.Messages().Last(),
                 std::string("The new image should not more than 20 million pixels!"));
        QVERIFY(frame.Children().isEmpty());
    }

    // OK on a box the dialog cannot take says so and keeps the dialog: no picture of the previous
    // size is made in its place.
    void okRefusesABoxItCannotTake() {
        const struct {
            const char* width;
            const char* resolution;
            const char* message;
        } rows[] = {
            {"15000", "72", "Please enter a number of at least 0.1 and below 10100."},
            {"8,5", "72", "Please enter a number."},
            {"640", "2000", "Please enter a number of at least 1 and below 2000."},
        };
        for (const auto& row : rows) {
            CNewImageDialog dialog;
            dialog.UnitBox()->setCurrentIndex(2);
            dialog.WidthEdit()->setText(row.width);
            dialog.HeightEdit()->setText("480");
            dialog.ResolutionEdit()->setText(row.resolution);
            ScopedRecordingMessages messages;
            dialog.accept();
            QVERIFY2(!dialog.Result(), row.width);
            QCOMPARE(messages.Last(), std::string(row.message));
        }
    }

    void fiveThousandByFourThousandIsAccepted() {
        CNewImageDialog dialog;
        dialog.UnitBox()->setCurrentIndex(2);
        dialog.WidthEdit()->setText("5000");
        dialog.HeightEdit()->setText("4000");
        ScopedRecordingMessages messages;
        dialog.accept();
        QVERIFY(dialog.Result());
        QCOMPARE(dialog.Result()->width, 5000);
        QCOMPARE(dialog.Result()->height, 4000);
        QVERIFY(messages.Entries().empty());
    }

    void tooWideAfterTheDialogMakesNoWindow() {
        Program program;
        CMainFrame& frame = program.Frame();
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<CNewImageDialog*>(w);
            if (!d) return;
            d->UnitBox()->setCurrentIndex(2);
            d->WidthEdit()->setText("10001");
            d->HeightEdit()->setText("100");
            QTest::mouseClick(d->OkButton(), Qt::LeftButton);
        });
        frame.OnCommand(kIdFileNew);
        QVERIFY(frame.Children().isEmpty());
        QVERIFY(program.Messages().Last().find("10,000 pixels") != std::string::npos);
    }

    void presetsAreWrittenBackOnCancel() {
        {
            CNewImageDialog dialog;
            dialog.UnitBox()->setCurrentIndex(2);
            dialog.WidthEdit()->setText("640");
            dialog.HeightEdit()->setText("480");
            QTest::mouseClick(dialog.AddButton(), Qt::LeftButton);
            QCOMPARE(dialog.UserList()->count(), 1);
            QCOMPARE(dialog.UserList()->item(0)->text(), QString("640 x 480  (Pixels)"));
            dialog.reject();
        }
        std::vector<SizePreset> saved = ReadUserPresets(ConfigPath("newfilesize.qinf"));
        QCOMPARE(saved.size(), size_t(1));
        QCOMPARE(saved[0].width, 640.0f);
        QCOMPARE(saved[0].unit, SizeUnit::Pixel);
        {
            // The next dialog lists it; Delete and OK write the empty list back.
            CNewImageDialog dialog;
            QCOMPARE(dialog.UserList()->count(), 1);
            dialog.UserList()->setCurrentRow(0);
            QTest::mouseClick(dialog.DeleteButton(), Qt::LeftButton);
            QCOMPARE(dialog.UserList()->count(), 0);
            dialog.accept();
        }
        QVERIFY(ReadUserPresets(ConfigPath("newfilesize.qinf")).empty());
    }

    void outOfBoundsTypingKeepsThePreviousValue() {
        CNewImageDialog dialog;
        dialog.show();
        Type(dialog.WidthEdit(), "0.05");
        QCOMPARE(dialog.WidthEdit()->text(), QString("8.90"));
        Type(dialog.ResolutionEdit(), "2500");
        QCOMPARE(dialog.ResolutionEdit()->text(), QString("300"));
        Type(dialog.HeightEdit(), "20");
        QCOMPARE(dialog.HeightEdit()->text(), QString("20.00"));
        dialog.reject();
    }
};

QObject* MakeNewImageDialogTest() {
    return new NewImageDialogTest;
}

#include "NewImageDialogTest.moc"
