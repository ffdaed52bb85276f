// The "Recover Work" dialog: its list and three buttons, and the start of a program that finds
// the scratch file of a killed run and recovers, discards or keeps its documents.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/CChildFrame.h"
#include "app/CRecoveryDialog.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "history/PixelEdit.h"
#include "platform/Disk.h"
#include "recovery/RecoveryJournal.h"
#include "testsupport/TempDir.h"
#include "workspace/Workspace.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

// A run that made a 64 x 48 red document, recorded "Fill" and was killed: its scratch file and
// journal stay in `folder`.
bool LeaveKilledRun(const std::string& folder) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        Workspace w;
        if (!w.Setup(folder)) _exit(3);
        RecoveryJournal journal(w);
        static auto image = std::make_unique<Image>(w);
        NewImageSize size;
        size.width = 64;
        size.height = 48;
        size.resolution = 2834;
        if (!image->NewImage(size)) _exit(4);
        PixelEdit edit(image->Layers(), image->History());
        edit.BeginLayerEdit()->FillColor(0x0000FF, 100, 100, false);
        edit.CommitLayerEdit(1, "Fill");
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFSIGNALED(status);
}

int FilesIn(const std::string& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

}  // namespace

class RecoveryDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void listsTheDocumentsAndAnswersByButton() {
        struct Row {
            CRecoveryDialog::Choice press;
            bool accepted;
        };
        for (Row row : {Row{CRecoveryDialog::kRecover, true}, Row{CRecoveryDialog::kDiscard, true},
                        Row{CRecoveryDialog::kLater, false}}) {
            CRecoveryDialog dialog({"Untitled-1 — 64 × 48, 1 layer, at \"Fill\"", "b.png"});
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(dialog.windowTitle(), QString("Recover Work"));
            QCOMPARE(dialog.List()->count(), 2);
            QCOMPARE(dialog.List()->item(0)->text(),
                     QString("Untitled-1 — 64 × 48, 1 layer, at \"Fill\""));
            QCOMPARE(dialog.Button(CRecoveryDialog::kRecover)->text(), QString("Recover"));
            QCOMPARE(dialog.Button(CRecoveryDialog::kDiscard)->text(), QString("Discard"));
            QCOMPARE(dialog.Button(CRecoveryDialog::kLater)->text(), QString("Later"));
            // Every part of the dialog fits on it.
            for (QWidget* w : dialog.findChildren<QWidget*>())
                QVERIFY(dialog.rect().contains(w->geometry()));
            QTest::mouseClick(dialog.Button(row.press), Qt::LeftButton);
            QCOMPARE(dialog.Result(), row.press);
            QCOMPARE(dialog.result(),
                     row.accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
        }
        // Escape waits for a later start, as Later does.
        CRecoveryDialog dialog({"x"});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.Result(), CRecoveryDialog::kLater);
    }

    void startOffersTheKilledRunsWork() {
        test::TempDir temp;
        QVERIFY(LeaveKilledRun(temp.Path()));
        QCOMPARE(FilesIn(temp.Path()), 2);
        auto options = CZelvoApp::ParseCommandLine(
            {"zelvo", "--no-splash", "--temp-dir", QString::fromStdString(temp.Path())}, nullptr);
        QVERIFY(options);
        options->useMessageBoxes = false;
        ScopedRecordingMessages messages;
        CZelvoApp& app = *CZelvoApp::Instance();

        // Later: the program starts empty and keeps the files for the next start.
        QStringList seen;
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<CRecoveryDialog*>(w);
            QVERIFY(d);
            seen << d->List()->item(0)->text();
            QTest::mouseClick(d->Button(CRecoveryDialog::kLater), Qt::LeftButton);
        });
        QVERIFY(app.InitInstance(*options));
        QCOMPARE(seen, QStringList{"Untitled-1 — 64 × 48, 1 layer, at \"Fill\""});
        QVERIFY(app.MainFrame()->Children().isEmpty());
        app.MainFrame()->close();
        app.ExitInstance();
        QCOMPARE(FilesIn(temp.Path()), 2);

        // Recover: the document opens modified, red, in a window of its own; the files go.
        WhenModal([&](QWidget* w) {
            QTest::mouseClick(qobject_cast<CRecoveryDialog*>(w)->Button(CRecoveryDialog::kRecover),
                              Qt::LeftButton);
        });
        QVERIFY(app.InitInstance(*options));
        CMainFrame& frame = *app.MainFrame();
        QCOMPARE(frame.Children().size(), 1);
        Image& image = frame.Children()[0]->GetImage();
        QVERIFY(image.IsModified());
        QCOMPARE(image.Width(), 64);
        Layer& layer = *image.Layers().CurrentLayer();
        uint32_t pixel = 0;
        std::memcpy(&pixel, layer.Rows()->Row(0), 4);
        QCOMPARE(pixel, 0x64FF0000u);
        QCOMPARE(FilesIn(temp.Path()), 2);  // this run's own scratch file and journal
        image.SetModified(false);
        frame.close();
        app.ExitInstance();
        QCOMPARE(FilesIn(temp.Path()), 0);
        QVERIFY(messages.Entries().empty());

        // Discard: nothing opens and nothing is left.
        QVERIFY(LeaveKilledRun(temp.Path()));
        WhenModal([&](QWidget* w) {
            QTest::mouseClick(qobject_cast<CRecoveryDialog*>(w)->Button(CRecoveryDialog::kDiscard),
                              Qt::LeftButton);
        });
        QVERIFY(app.InitInstance(*options));
        QVERIFY(app.MainFrame()->Children().isEmpty());
        app.MainFrame()->close();
        app.ExitInstance();
        QCOMPARE(FilesIn(temp.Path()), 0);
    }
};

QObject* MakeRecoveryDialogTest() {
    return new RecoveryDialogTest;
}

#include "RecoveryDialogTest.moc"
