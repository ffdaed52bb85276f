// The dialogs: the message boxes' exact texts and buttons, JPEG and TIFF Options, Select
// Temporary Disk, Open and Save As; and the thread-warning check itself.
#include <filesystem>
#include <fstream>
#include <thread>

#include <QAbstractButton>
#include <QAbstractFileIconProvider>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "app/AppCommands.h"
#include "app/CAboutDialog.h"
#include "app/CChildFrame.h"
#include "app/CJpegOptionsDialog.h"
#include "app/CTempDiskDialog.h"
#include "app/CTiffOptionsDialog.h"
#include "app/FileDialogs.h"
#include "app/QtMessages.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "platform/Disk.h"

using namespace zelvo;
using namespace zelvo::guitest;

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    // QTest installs its own handler when a suite starts; ours goes in front of it.
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void messageBoxesShowTheExactTexts() {
        QtMessages messages;
        QString text, title;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        WhenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) return;
            text = box->text();
            title = box->windowTitle();
            buttons = box->standardButtons();
            icon = box->icon();
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(messages.Ask("Whether the save the file?", Buttons::YesNoCancel, "Close File"),
                 Answer::No);
        QCOMPARE(text, QString("Whether the save the file?"));
        QCOMPARE(title, QString("Close File"));
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(icon, QMessageBox::Question);

        WhenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) return;
            text = box->text();
            buttons = box->standardButtons();
            title = box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        });
        messages.Show("Did not select the file!");
        QCOMPARE(text, QString("Did not select the file!"));
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(title, QString("Zelvo"));

        // Escape on a Yes/No question is No.
        WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(messages.Ask("Whether delete history record?", Buttons::YesNo), Answer::No);
    }

    void messageBoxFromAWorkerThreadRunsOnTheGuiThread() {
        QtMessages messages;
        bool onGui = false;
        WhenModal([&](QWidget* w) {
            onGui = QThread::currentThread() == qApp->thread();
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->button(QMessageBox::Yes)->click();
        });
        Answer answer = Answer::Cancel;
        std::thread worker([&] { answer = messages.Ask("Continue?", Buttons::YesNo); });
        QVERIFY(WaitFor([&] { return answer != Answer::Cancel; }));
        worker.join();
        QCOMPARE(answer, Answer::Yes);
        QVERIFY(onGui);
    }

    void jpegOptions() {
        AppJpegQuality() = 3;
        {
            CJpegOptionsDialog dialog;
            QCOMPARE(dialog.windowTitle(), QString("JPEG Options"));
            QCOMPARE(dialog.Quality(), 5);  // clamped to 5..12
            QCOMPARE(dialog.Controls().slider->value(), 5);
            QCOMPARE(dialog.Controls().combo->currentText(), QString("middle"));
            QCOMPARE(dialog.Controls().slider->minimum(), 1);
            QCOMPARE(dialog.Controls().slider->maximum(), 12);
            dialog.Controls().slider->setValue(11);
            QCOMPARE(dialog.Controls().edit->text(), QString("11"));
            QCOMPARE(dialog.Controls().combo->currentText(), QString("best"));
            dialog.Controls().combo->setCurrentIndex(1);
            emit dialog.Controls().combo->activated(1);
            QCOMPARE(dialog.Quality(), 8);
            QCOMPARE(dialog.Controls().slider->value(), 8);
            dialog.show();
            dialog.Controls().edit->selectAll();
            QTest::keyClicks(dialog.Controls().edit, "0");  // outside 1..12: ignored
            QCOMPARE(dialog.Quality(), 8);
            dialog.reject();
        }
        QCOMPARE(AppJpegQuality(), 3);  // Cancel keeps it
        {
            CJpegOptionsDialog dialog;
            dialog.Controls().slider->setValue(9);
            dialog.accept();
        }
        QCOMPARE(AppJpegQuality(), 9);
        AppJpegQuality() = 8;
    }

    void tiffOptions() {
        ScopedRecordingMessages messages;
        CTiffOptionsDialog dialog;
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("TIFF Options"));
        QVERIFY(dialog.NoneButton()->isChecked());
        QVERIFY(!dialog.QualityEnabled());
        QCOMPARE(dialog.Quality(), 9);
        QCOMPARE(dialog.Controls().combo->currentText(), QString("high"));
        messages.QueueAnswer(Answer::No);
        QTest::mouseClick(dialog.JpegButton(), Qt::LeftButton);
        QCOMPARE(
            messages.Last(),
            std::string(
                "JPEG compression is not supported in older TIFF readers.\nUse JPEG compression?"));
        QVERIFY(dialog.NoneButton()->isChecked());
        QCOMPARE(dialog.Compression(), 1);
        messages.QueueAnswer(Answer::Yes);
        QTest::mouseClick(dialog.JpegButton(), Qt::LeftButton);
        QVERIFY(dialog.JpegButton()->isChecked());
        QCOMPARE(dialog.Compression(), 7);
        QVERIFY(dialog.QualityEnabled());
        messages.QueueAnswer(Answer::No);
        QTest::mouseClick(dialog.ZipButton(), Qt::LeftButton);
        QCOMPARE(messages.Last(),
                 std::string(
                     "ZIP compression is not supported in older TIFF readers.Use ZIP compression"));
        QVERIFY(dialog.JpegButton()->isChecked());
        messages.QueueAnswer(Answer::Yes);
        QTest::mouseClick(dialog.ZipButton(), Qt::LeftButton);
        QCOMPARE(dialog.Compression(), 8);
        QVERIFY(!dialog.QualityEnabled());
        QTest::mouseClick(dialog.LzwButton(), Qt::LeftButton);
        QCOMPARE(dialog.Compression(), 5);
        dialog.reject();
    }

    void temporaryDiskDialog() {
        FakeDiskService disks;
        disks.disks = {{"/data/", true, 5ull << 30}, {"/small/", true, 80ull << 20}};
        disks.systemRoot = "/data/";
        CTempDiskDialog dialog(disks, "/data/");
        QCOMPARE(dialog.windowTitle(), QString("Select Temporary Disk"));
        QCOMPARE(dialog.DiskList()->count(), 2);
        QCOMPARE(dialog.DiskList()->itemText(0).toStdString(), dialog.Model().Lines()[0].text);
        QVERIFY(dialog.DiskList()->itemText(0).contains("(System Disk)"));
        QVERIFY(dialog.DiskList()->itemText(0).endsWith("  Available Space5.0 G"));
        QCOMPARE(dialog.DiskList()->currentIndex(), 0);
        // A disk with 80 MB changes nothing.
        std::remove(ConfigPath(kStoreDiskFileName).c_str());
        dialog.DiskList()->setCurrentIndex(1);
        dialog.accept();
        QVERIFY(!ReadStoreDiskFile());
        CTempDiskDialog again(disks, "/data/");
        again.accept();
        QCOMPARE(ReadStoreDiskFile().value_or(""), std::string("/data/"));
        std::remove(ConfigPath(kStoreDiskFileName).c_str());
    }

    void openAndSaveAsDialogs() {
        test::TempDir dir;
        std::unique_ptr<QFileDialog> open(
            CreateOpenDialog(nullptr, QString::fromStdString(dir.Path())));
        QCOMPARE(open->windowTitle(), QString("Open Image File"));
        QCOMPARE(open->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(open->nameFilters(), OpenFilters());
        QCOMPARE(
            OpenFilters().first(),
            QString("All Supported Formats (*.bmp *.jpg *.jpeg *.gif *.tif *.tiff *.png *.zld)"));
        QCOMPARE(OpenFilters().last(), QString("All File (*)"));
        QCOMPARE(QDir(open->directory()).canonicalPath(),
                 QDir(QString::fromStdString(dir.Path())).canonicalPath());
        // Types come from names, never from reading the file (a pipe would block the dialog):
        // a PNG named .dat is a "DAT File".
        { std::ofstream(dir.File("picture.dat"), std::ios::binary) << "\x89PNG\r\n\x1a\n"; }
        QCOMPARE(
            open->iconProvider()->type(QFileInfo(QString::fromStdString(dir.File("picture.dat")))),
            QString("DAT File"));
        std::unique_ptr<QFileDialog> gone(
            CreateOpenDialog(nullptr, QString::fromStdString(dir.File("gone"))));
        QVERIFY(!gone->directory().absolutePath().endsWith("gone"));

        std::unique_ptr<QFileDialog> save(CreateSaveAsDialog(nullptr, {}, "Untitled-3"));
        QCOMPARE(save->windowTitle(), QString("Save As Image File"));
        QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(save->nameFilters().size(), 6);
        QCOMPARE(save->nameFilters()[4], QString("BMP(24bit) (*.bmp)"));
        QCOMPARE(save->nameFilters()[5], QString("ZLD File ( Zelvo layers data format) (*.zld)"));
        QCOMPARE(SaveAsResult("/p/a.jpeg", 0), std::string("/p/a.jpeg"));
        QCOMPARE(SaveAsResult("/p/a.png", 0), std::string("/p/a.png.jpg"));
        QCOMPARE(SaveAsResult("/p/b", 2), std::string("/p/b.tif"));
        QCOMPARE(SaveAsResult("/p/b.TIFF", 2), std::string("/p/b.TIFF"));
        QCOMPARE(SaveAsResult("/p/c", 4), std::string("/p/c.bmp"));
    }

    void saveAsWritesTheFileAndRenamesTheWindow() {
        test::TempDir dir;
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = frame.NewDocument({24, 16, 2834});
        QVERIFY(child);
        child->GetImage().SetModified(true);
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d) return;
            d->setDirectory(QString::fromStdString(dir.Path()));
            d->selectNameFilter(SaveAsFilters()[3]);  // PNG
            d->selectFile("result");
            QMetaObject::invokeMethod(d, "accept");
        });
        frame.OnCommand(kIdFileSaveAs);
        QVERIFY(std::filesystem::exists(dir.File("result.png")));
        QCOMPARE(child->windowTitle(), QString("result.png"));
        QVERIFY(!child->GetImage().IsModified());
        QCOMPARE(program.App().RecentFiles().value(0),
                 QString::fromStdString(dir.File("result.png")));

        // JPEG asks for its options first; Cancel writes nothing.
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d) return;
            d->setDirectory(QString::fromStdString(dir.Path()));
            d->selectNameFilter(SaveAsFilters()[0]);
            d->selectFile("photo");
            WhenModal([](QWidget* o) {
                if (auto* jpeg = qobject_cast<CJpegOptionsDialog*>(o)) jpeg->reject();
            });
            QMetaObject::invokeMethod(d, "accept");
        });
        frame.OnCommand(kIdFileSaveAs);
        QVERIFY(!std::filesystem::exists(dir.File("photo.jpg")));
        QCOMPARE(child->windowTitle(), QString("result.png"));
    }

    void saveQuestionYesSavesToThePath() {
        test::TempDir dir;
        const std::string path = WriteBmp(dir.File("keep.bmp"), 10, 10, 0, 0, 255);
        Program program({QString::fromStdString(path)});
        CMainFrame& frame = program.Frame();
        Image& image = frame.Children().first()->GetImage();
        image.Layers().CurrentLayer()->FillColor(Rgb(0, 255, 0), 100, 100, true);
        image.SetModified(true);
        program.Messages().QueueAnswer(Answer::Yes);
        frame.OnCommand(kIdClose);
        QVERIFY(frame.Children().isEmpty());
        // The file now holds the green picture.
        Program reopened({QString::fromStdString(path)});
        std::vector<uint8_t> flat(3 * 10 * 10 + 64);
        Image& again = reopened.Frame().Children().first()->GetImage();
        QVERIFY(again.Layers().RenderFlat(flat.data(), 32, 24, 1, 0));
        QCOMPARE(int(flat[0]), 0);
        QCOMPARE(int(flat[1]), 255);
        QCOMPARE(int(flat[2]), 0);
    }

    void aboutShowsNameAndVersion() {
        CAboutDialog about;
        QVERIFY(CAboutDialog::VersionText().startsWith("Zelvo Version "));
        QCOMPARE(about.windowTitle(), QString("About Zelvo"));
    }

    void threadWarningsAreCaught() {
        QObject onGui;
        std::thread worker([&] { onGui.startTimer(10); });  // a timer from the wrong thread
        worker.join();
        const QStringList seen = TakeThreadWarnings();
        QCOMPARE(seen.size(), 1);
        QVERIFY(IsThreadWarning(seen.first()));
        QVERIFY(!IsThreadWarning("QFont::setPointSize: Point size <= 0 (0)"));
    }
};

QObject* MakeDialogsTest() {
    return new DialogsTest;
}

#include "DialogsTest.moc"
