// Start-up to exit: the frame, its menus, bars, palettes and threads; a file on the command
// line; the start-up timing and colour-depth rules.
#include <filesystem>

#include <QFileInfo>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CHistoryPalette.h"
#include "app/CLayersPalette.h"
#include "app/CNavigatorPalette.h"
#include "app/CNewImageDialog.h"
#include "app/CStartupDialog.h"
#include "app/CZelvoView.h"
#include "app/StartupRules.h"
#include "app/StatusFeedback.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

int ScratchFiles(const std::string& folder) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind("Photo Temp", 0) == 0) ++n;
    return n;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    // QTest installs its own handler when a suite starts; ours goes in front of it.
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void startsAndExitsCleanly() {
        test::TempDir temp;
        auto options = CZelvoApp::ParseCommandLine(
            {"zelvo", "--no-splash", "--temp-dir", QString::fromStdString(temp.Path())}, nullptr);
        QVERIFY(options);
        options->useMessageBoxes = false;
        ScopedRecordingMessages messages;
        CZelvoApp& app = *CZelvoApp::Instance();
        QVERIFY(app.InitInstance(*options));
        CMainFrame& frame = *app.MainFrame();
        QVERIFY(frame.isVisible());
        QVERIFY(frame.Children().isEmpty());  // the framework's own File New was refused
        QCOMPARE(ScratchFiles(temp.Path()), 1);
        // The three workers run.
        WorkerShared& shared = frame.Shared();
        const long poller = shared.pollerTicks, refresher = shared.refresherTicks;
        QVERIFY(WaitFor([&] {
            return shared.pollerTicks > poller + 2 && shared.refresherTicks > refresher + 2 &&
                   shared.animatorTicks > 0;
        }));
        QVERIFY(frame.close());
        QVERIFY(!frame.isVisible());
        QVERIFY(!frame.GetWorkspace().IsRunning());
        QVERIFY(!frame.Threads()->Running());
        for (int p = 0; p < CMainFrame::kPaletteCount; ++p) QVERIFY(frame.Palette(p)->isHidden());
        app.ExitInstance();
        QCOMPARE(ScratchFiles(temp.Path()), 0);  // the scratch file goes with the program
        QVERIFY(messages.Entries().empty());
    }

    void everyMenuCommandIsThereWithItsKeys() {
        Program program;
        QVERIFY(program.Started());
        CMainFrame& frame = program.Frame();
        QStringList tops;
        for (QAction* a : frame.menuBar()->actions()) tops << a->text();
        QCOMPARE(tops, QStringList({"&File", "&Edit", "&Image", "&Layer", "&Select", "Filte&r",
                                    "&View", "&Window", "&Help"}));
        for (const MenuCommand& c : MenuCommands()) {
            if (c.id == 0) continue;
            QAction* a = frame.Action(c.id);
            QVERIFY2(a, c.text.c_str());
            if (c.id != kCmdUndoRedo) QCOMPARE(a->text().toStdString(), c.text);
        }
        QCOMPARE(frame.Action(kIdFileNew)->shortcut(), QKeySequence("Ctrl+N"));
        QCOMPARE(frame.Action(kIdCloseAll)->shortcut(), QKeySequence("Ctrl+Alt+W"));
        QCOMPARE(frame.Action(kIdLayersPalette)->shortcut(), QKeySequence("F5"));
        QCOMPARE(frame.Action(kCmdStepBackward)->shortcut(), QKeySequence("Ctrl+Alt+Z"));
        QVERIFY(frame.Action(kIdTogglePalettes)->shortcuts().contains(QKeySequence("Ctrl+1")));
        QVERIFY(frame.Action(kIdTogglePalettes)
                    ->shortcuts()
                    .contains(QKeySequence(Qt::Key_AsciiTilde)));
        QCOMPARE(MenuCommandId("&Image/Adjustments", "Curves..."),
                 FindMenuCommand(MenuCommandId("&Image/Adjustments", "Curves..."))->id);
        QCOMPARE(QString::fromStdString(
                     FindMenuCommand(MenuCommandId("&Image/Adjustments", "Curves..."))->keys),
                 QString("Ctrl+M"));

        // Without a document: File commands on, document commands off, undo reads "Undo".
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdFileNew)->isEnabled());
        QVERIFY(frame.Action(kIdFileOpen)->isEnabled());
        QVERIFY(!frame.Action(kIdClose)->isEnabled());
        QVERIFY(!frame.Action(kIdFileSave)->isEnabled());
        QVERIFY(!frame.Action(kCmdUndoRedo)->isEnabled());
        QCOMPARE(frame.Action(kCmdUndoRedo)->text(), QString("Undo\tCtrl+Z"));
        // Commands whose work is not in the program yet are disabled, never faked.
        QVERIFY(!frame.Action(kIdNewLayer)->isEnabled());
        QVERIFY(!frame.Action(MenuCommandId("Filte&r", "Blur..."))->isEnabled());
        QVERIFY(!frame.Action(MenuCommandId("&Image", "Crop"))->isEnabled());
        QVERIFY(!frame.Action(kIdZoomIn)->isEnabled());

        // With a document the document commands come on.
        QVERIFY(frame.NewDocument({64, 48, 2834}));
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdClose)->isEnabled());
        QVERIFY(frame.Action(kIdFileSave)->isEnabled());
        QVERIFY(frame.Action(kIdTileVertical)->isEnabled());
        QVERIFY(!frame.Action(kCmdUndoRedo)->isEnabled());  // one state only
        QVERIFY(frame.Action(kIdNewLayer)->isEnabled());
        QVERIFY(frame.Action(MenuCommandId("Filte&r", "Blur..."))->isEnabled());
        QVERIFY(!frame.Action(MenuCommandId("&Image", "Crop"))->isEnabled());
    }

    void statusBarOptionsBarAndProgress() {
        Program program;
        CMainFrame& frame = program.Frame();
        QCOMPARE(frame.Pane(0)->width(), 200);
        QCOMPARE(frame.Pane(1)->width(), 440);
        QVERIFY(frame.Pane(2)->minimumWidth() == 200);
        QCOMPARE(frame.Pane(3)->text(), QString("CAP"));
        QCOMPARE(frame.Pane(4)->text(), QString("NUM"));
        QCOMPARE(frame.Pane(5)->text(), QString("SCRL"));
        QCOMPARE(frame.ProgressBar()->geometry(), QRect(655, 2, 130, 16));
        QCOMPARE(frame.ProgressBar()->minimum(), 0);
        QCOMPARE(frame.ProgressBar()->maximum(), 100);

        // The engine's long operations drive the bar through the feedback service.
        QCOMPARE(&AppFeedback(), static_cast<Feedback*>(frame.Feedback()));
        AppFeedback().BeginProgress(4);
        AppFeedback().StepProgress();
        AppFeedback().StepProgress();
        QCOMPARE(frame.ProgressBar()->value(), 50);
        for (int i = 0; i < 5; ++i) AppFeedback().StepProgress();  // held at the total
        QCOMPARE(frame.ProgressBar()->value(), 100);
        AppFeedback().EndProgress();
        QCOMPARE(frame.ProgressBar()->value(), 0);
        AppFeedback().StatusText("Clean up temporary disk");
        QCOMPARE(frame.Pane(0)->text(), QString("Clean up temporary disk"));

        // F9 and F10 toggle the bars.
        frame.OnCommand(kIdOptionsBar);
        QVERIFY(frame.OptionsBar()->isHidden());
        frame.OnCommand(kIdOptionsBar);
        QVERIFY(!frame.OptionsBar()->isHidden());
        frame.OnCommand(kIdStatusBar);
        QVERIFY(frame.statusBar()->isHidden());
        frame.OnCommand(kIdStatusBar);
        QVERIFY(!frame.statusBar()->isHidden());
    }

    void palettesHaveTheirCaptionsAndSizes() {
        Program program;
        CMainFrame& frame = program.Frame();
        const char* captions[] = {"Navigator F8", "Color F7", "History F6", "Layers F5",
                                  "Tools F4"};
        const QSize sizes[] = {{200, 150}, {200, 150}, {200, 130}, {200, 200}, {88, 580}};
        for (int p = 0; p < CMainFrame::kPaletteCount; ++p) {
            QDockWidget* dock = frame.Palette(p);
            QCOMPARE(dock->windowTitle(), QString(captions[p]));
            QCOMPARE(dock->widget()->size(), sizes[p]);
            QVERIFY(dock->isFloating());
            QVERIFY(!dock->isHidden());
        }
        QVERIFY(frame.GetWorkspace().PalettesShown());
    }

    void fileOnTheCommandLineOpens() {
        test::TempDir dir;
        const std::string path = WriteBmp(dir.File("start.bmp"), 40, 30, 200, 10, 10);
        Program program({QString::fromStdString(path)});
        QVERIFY(program.Started());
        QCOMPARE(program.Frame().Children().size(), 1);
        Image& image = program.Frame().Children().first()->GetImage();
        QCOMPARE(image.Width(), 40);
        QCOMPARE(image.Height(), 30);
        QCOMPARE(program.Frame().Children().first()->windowTitle(), QString("start.bmp"));
        std::string folder = dir.Path();
        folder.pop_back();
        QCOMPARE(program.App().LastFolder(), folder);
        QCOMPARE(program.App().RecentFiles().first(), QString::fromStdString(path));
    }

    // A name in another encoding: Qt's reading of the command line loses its byte, the
    // argument's own bytes find the file; the name stays out of the recent list, which holds
    // text.
    void aFileNamedInAnotherEncodingOpensFromTheCommandLine() {
        test::TempDir dir;
        const std::string latin1 = WriteBmp(dir.File("caf\xE9.bmp"), 4, 3, 10, 20, 30);
        const char* argv[] = {"zelvo", "--no-splash", latin1.c_str()};
        QString error;
        auto o = CZelvoApp::ParseCommandLine(
            {"zelvo", "--no-splash", QString::fromLocal8Bit(latin1.c_str())}, &error);
        QVERIFY(o);
        QVERIFY(o->file != latin1);
        CZelvoApp::KeepFileBytes(*o, 3, argv);
        QCOMPARE(o->file, latin1);
        Program program;
        QVERIFY(program.App().OpenDocumentFile(o->file));
        QCOMPARE(program.Frame().Children().first()->GetImage().Width(), 4);
        for (const QString& f : program.App().RecentFiles()) QVERIFY(!f.contains(QChar(0xFFFD)));
    }

    // Only the framework's own File New at start is refused; started with a file, there is none,
    // and the user's first File New makes its image.
    void fileNewAfterStartingWithAFileMakesAnImage() {
        test::TempDir dir;
        Program program({QString::fromStdString(WriteBmp(dir.File("s.bmp"), 8, 6, 1, 2, 3))});
        CMainFrame& frame = program.Frame();
        bool asked = false;
        WhenModal([&](QWidget* w) {
            if (auto* d = qobject_cast<CNewImageDialog*>(w)) {
                asked = true;
                QTest::mouseClick(d->OkButton(), Qt::LeftButton);
            }
        });
        frame.OnCommand(kIdFileNew);
        QVERIFY(asked);
        QCOMPARE(frame.Children().size(), 2);
    }

    void theStartedDocumentFillsThePalettes() {
        test::TempDir dir;
        const std::string path = WriteBmp(dir.File("start.bmp"), 40, 30, 20, 200, 10);
        Program program({QString::fromStdString(path)});
        QVERIFY(program.Started());
        CMainFrame& frame = program.Frame();
        QCOMPARE(frame.Children().size(), 1);
        CChildFrame* child = frame.Children().first();
        // Whether the program is active or not: another program may hold the keyboard at start
        // (a terminal, a window manager that does not hand it over), or take it later.
        for (QEvent::Type change :
             {QEvent::None, QEvent::ApplicationDeactivate, QEvent::ApplicationActivate}) {
            if (change != QEvent::None) {
                QEvent event(change);
                QCoreApplication::sendEvent(qApp, &event);
            }
            QCoreApplication::processEvents();
            QCOMPARE(frame.ActiveChild(), child);
            QCOMPARE(frame.LayersPalette()->Document(), &child->GetImage());
            QCOMPARE(frame.HistoryPalette()->Document(), &child->GetImage());
            QCOMPARE(frame.NavigatorPalette()->Target(),
                     static_cast<NavigatorTarget*>(child->View()));
        }
    }

    // Help is answered before anything needs a display; a file named "--help" after "--" is a file.
    void helpIsAnsweredWithoutStarting() {
        struct Case {
            std::vector<const char*> argv;
            bool help;
        };
        const Case cases[] = {{{"zelvo", "--help"}, true},
                              {{"zelvo", "--no-splash", "-h"}, true},
                              {{"zelvo", "--", "--help"}, false},
                              {{"zelvo", "a.png"}, false}};
        for (const Case& c : cases) {
            const auto help = CZelvoApp::HelpRequested(int(c.argv.size()), c.argv.data());
            QCOMPARE(help.has_value(), c.help);
            if (help) {
                QVERIFY(help->rfind("Usage: zelvo [options] [file]\n", 0) == 0);
                QVERIFY(help->find("--temp-dir <DIR>") != std::string::npos);
            }
        }
    }

    void aFileThatCannotOpenEndsTheStart() {
        test::TempDir dir;
        Program program({QString::fromStdString(dir.File("missing.jpg"))});
        QVERIFY(!program.Started());
        QVERIFY(program.Messages().Contains("This file should not be opened!"));
        QVERIFY(program.App().MainFrame() == nullptr);
    }

    void recentFilesKeepFour() {
        Program program;
        CZelvoApp& app = program.App();
        for (int i = 0; i < 6; ++i) app.AddRecentFile(QString("/tmp/f%1.png").arg(i));
        QCOMPARE(app.RecentFiles(),
                 QStringList({"/tmp/f5.png", "/tmp/f4.png", "/tmp/f3.png", "/tmp/f2.png"}));
        app.AddRecentFile("/tmp/f3.png");
        QCOMPARE(app.RecentFiles().first(), QString("/tmp/f3.png"));
        QCOMPARE(app.RecentFiles().size(), 4);
        QVERIFY(program.Frame().Action(kIdRecentFile1 + 3)->isVisible());

        // A recent file that has gone says so and leaves the list; the others stay.
        program.Frame().Action(kIdRecentFile1 + 1)->trigger();
        QVERIFY(program.Messages().Contains("This file should not be opened!"));
        QCOMPARE(app.RecentFiles(), QStringList({"/tmp/f3.png", "/tmp/f4.png", "/tmp/f2.png"}));
        QVERIFY(!program.Frame().Action(kIdRecentFile1 + 3)->isVisible());
    }

    void startupWaitIsFiveSecondsButAtMostThree() {
        QCOMPARE(StartupWaitMs(0), 3000);
        QCOMPARE(StartupWaitMs(1500), 3000);
        QCOMPARE(StartupWaitMs(2500), 2500);
        QCOMPARE(StartupWaitMs(4999), 1);
        QCOMPARE(StartupWaitMs(5000), 0);
        QCOMPARE(StartupWaitMs(12000), 0);
        CStartupDialog dialog(800, 600);
        QCOMPARE(dialog.windowTitle(), QString("Zelvo start...(About6-10seconds)"));
        QCOMPARE(dialog.size(), QSize(430, 250));
        QCOMPARE(dialog.pos(), QPoint((800 - 420) / 2, (600 - 240) / 2));
    }

    void colourDepthWarning() {
        ScopedRecordingMessages messages;
        QVERIFY(CheckColorDepth(16));
        QCOMPARE(messages.Last(), std::string(kColorDepthWarning));
        messages.Clear();
        QVERIFY(!CheckColorDepth(24));
        QVERIFY(!CheckColorDepth(32));
        QVERIFY(messages.Entries().empty());
    }

    void lastFolderRules() {
        test::TempDir dir;
        std::string folder = dir.Path();
        folder.pop_back();
        QCOMPARE(LastFolderFor(dir.File("a.jpg")).value_or(""), folder);
        QVERIFY(!LastFolderFor("a.jpg"));                 // no folder
        QVERIFY(!LastFolderFor(dir.File("gone/a.jpg")));  // folder does not exist
    }

    void commandLineOptions() {
        QString error;
        auto o = CZelvoApp::ParseCommandLine({"zelvo", "--no-splash", "photo.jpg"}, &error);
        QVERIFY(o);
        QVERIFY(!o->splash);
        QCOMPARE(o->file, std::string("photo.jpg"));
        o = CZelvoApp::ParseCommandLine({"zelvo"}, &error);
        QVERIFY(o && o->splash && o->file.empty());
        QVERIFY(!CZelvoApp::ParseCommandLine({"zelvo", "a.jpg", "b.jpg"}, &error));
        QVERIFY(!CZelvoApp::ParseCommandLine({"zelvo", "--bogus"}, &error));
    }

    void helpPageExists() { QVERIFY(QFileInfo::exists(CMainFrame::HelpDocumentPath())); }
};

QObject* MakeStartupTest() {
    return new StartupTest;
}

#include "StartupTest.moc"
