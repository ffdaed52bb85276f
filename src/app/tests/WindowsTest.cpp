// Image windows: the new-window slot, the open queue, Cascade and Tile, closing with the save
// question.
#include <cmath>

#include <QFileDialog>
#include <QMdiArea>
#include <QTest>
#include <QUrl>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/WindowLayout.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

// The grid by its definition, searched the slow way.
TileGrid ReferenceGrid(int n, bool horizontal) {
    int larger, smaller;
    if (n == 1) {
        larger = smaller = 1;
    } else if (n <= 64) {
        int k = 1;
        while (k * k < n) ++k;
        larger = k;
        smaller = k * (k - 1) >= n ? k - 1 : k;
    } else {
        int k = 0;
        while ((k + 1) * (k + 1) <= n) ++k;  // floor(sqrt(n))
        larger = smaller = k + 1;
    }
    return horizontal ? TileGrid{larger, smaller} : TileGrid{smaller, larger};
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    // QTest installs its own handler when a suite starts; ours goes in front of it.
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void tileGrids() {
        QCOMPARE(TileGridFor(5, false), (TileGrid{2, 3}));
        QCOMPARE(TileGridFor(5, true), (TileGrid{3, 2}));
        QCOMPARE(TileGridFor(65, true), (TileGrid{9, 9}));
        QCOMPARE(TileGridFor(65, false), (TileGrid{9, 9}));
        QCOMPARE(TileGridFor(1, true), (TileGrid{1, 1}));
        QCOMPARE(TileGridFor(0, true), (TileGrid{0, 0}));
        for (int n = 1; n <= 200; ++n) {
            QCOMPARE(TileGridFor(n, true), ReferenceGrid(n, true));
            QCOMPARE(TileGridFor(n, false), ReferenceGrid(n, false));
            const TileGrid g = TileGridFor(n, true);
            QVERIFY(g.columns * g.rows >= n);
        }
    }

    void tileCells() {
        const Rect client{0, 0, 1000, 700};
        std::vector<Rect> cells = TileCells(5, false, client, 1280, false);
        QCOMPARE(cells.size(), size_t(5));
        QCOMPARE(cells[0], (Rect{0, 5, 495, 5 + 213}));  // (1000-10)/2 by (700-60)/3
        QCOMPARE(cells[1], (Rect{495, 5, 990, 5 + 213}));
        QCOMPARE(cells[2], (Rect{0, 218, 495, 431}));
        // With the palettes shown on a client wider than the screen less 150, room is left.
        cells = TileCells(2, true, client, 1100, true);
        QCOMPARE(cells[0].left, 100);
        QCOMPARE(cells[0].Width(), (1000 - 324 - 10) / 2);
        cells = TileCells(2, true, client, 1280, true);  // 1000 is not above 1130
        QCOMPARE(cells[0].left, 0);
    }

    void palettePlacesStackInsideTheArea() {
        // Outer sizes of the palettes as the window system frames them.
        const PalettePlaces real = {Rect{0, 0, 204, 176}, Rect{0, 0, 204, 176},
                                    Rect{0, 0, 204, 156}, Rect{0, 0, 204, 226},
                                    Rect{0, 0, 92, 606}};
        const struct {
            Rect area;
            bool smaller;
            int columns;  // of the right-hand palettes
        } cases[] = {
            {{0, 50, 1280, 720}, true, 2},   {{0, 50, 1920, 1080}, false, 1},
            {{0, 30, 1024, 768}, false, 2},  {{100, 80, 1380, 800}, true, 2},
            {{0, 45, 1280, 1024}, false, 1}, {{0, 24, 1024, 768}, false, 2},
        };
        for (const auto& c : cases) {
            const PalettePlaces p = DefaultPalettePlaces(c.area, c.smaller, real);
            QCOMPARE(p[0].left, c.area.right - 224);
            QCOMPARE(p[0].top, c.area.top + 75);
            QSet<int> xs;
            for (size_t i = 0; i < p.size(); ++i) {
                QCOMPARE(p[i].Width(), real[i].Width());
                QCOMPARE(p[i].Height(), real[i].Height());
                QVERIFY(p[i].left >= c.area.left && p[i].right <= c.area.right);
                QVERIFY(p[i].top >= c.area.top && p[i].bottom <= c.area.bottom);
                for (size_t j = i + 1; j < p.size(); ++j) QVERIFY(p[i].Intersect(p[j]).IsEmpty());
                if (i < 4) xs.insert(p[i].left);
            }
            QCOMPARE(xs.size(), c.columns);
        }
        // KeepInside moves, never resizes; an oversize rectangle keeps to the top-left.
        const Rect area{0, 20, 500, 400};
        QCOMPARE(KeepInside({-30, 0, 70, 50}, area), (Rect{0, 20, 100, 70}));
        QCOMPARE(KeepInside({450, 380, 550, 430}, area), (Rect{400, 350, 500, 400}));
        QCOMPARE(KeepInside({10, 30, 60, 80}, area), (Rect{10, 30, 60, 80}));
        QCOMPARE(KeepInside({100, 100, 700, 600}, area), (Rect{0, 20, 600, 520}));
    }

    void paletteMarginsFollowThePalettes() {
        const Rect client{0, 0, 1000, 600};
        QCOMPARE(PaletteMargins(client, {}), (SideMargins{0, 0}));
        QCOMPARE(PaletteMargins(client, {{5, 75, 97, 680}, {776, 75, 980, 250}}),
                 (SideMargins{97, 224}));
        // Two columns on the right; a palette beside the client area takes nothing.
        QCOMPARE(
            PaletteMargins(client, {{552, 75, 756, 250}, {776, 75, 980, 250}, {1010, 0, 1100, 50}}),
            (SideMargins{0, 448}));
        // The windows take the room between them, narrower than usual when need be.
        const Rect wide{0, 0, 1280, 650};
        WindowSlots ws;
        ws.Reset(wide, 1280, true, {97, 448});
        QCOMPARE(ws.Left(), 102);
        QCOMPARE(ws.Width(), 1280 - 97 - 448 - 10);
        QCOMPARE(TileCells(1, true, wide, 1280, true, {97, 448})[0],
                 (Rect{97, 5, 97 + 725, 5 + 590}));
        // A screen 1024 wide with two columns of palettes still has room between them; on one
        // 800 wide too little is left, and the windows use the whole client area.
        ws.Reset({0, 0, 1024, 500}, 1024, true, {93, 447});
        QCOMPARE(ws.Left(), 98);
        QCOMPARE(ws.Width(), 1024 - 93 - 447 - 10);
        ws.Reset({0, 0, 800, 500}, 800, true, {97, 448});
        QCOMPARE(ws.Left(), 5);
    }

    void tileFiveAndSixtyFiveWindows() {
        Program program;
        CMainFrame& frame = program.Frame();
        for (int i = 0; i < 5; ++i) QVERIFY(frame.NewDocument({20, 20, 2834}));
        frame.OnCommand(kIdTileVertical);
        QSet<int> xs, ys;
        for (CChildFrame* c : frame.Children()) {
            xs.insert(c->geometry().x());
            ys.insert(c->geometry().y());
        }
        QCOMPARE(xs.size(), 2);
        QCOMPARE(ys.size(), 3);
        frame.OnCommand(kIdTileHorizontal);
        xs.clear();
        ys.clear();
        for (CChildFrame* c : frame.Children()) {
            xs.insert(c->geometry().x());
            ys.insert(c->geometry().y());
        }
        QCOMPARE(xs.size(), 3);
        QCOMPARE(ys.size(), 2);
        const Rect client = frame.ClientRect();
        const std::vector<Rect> cells =
            TileCells(5, true, client, frame.GetWorkspace().ScreenWidth(),
                      frame.GetWorkspace().PalettesShown(), frame.PaletteRoom());
        QCOMPARE(frame.Children()[4]->geometry(),
                 QRect(cells[4].left, cells[4].top, cells[4].Width(), cells[4].Height()));

        for (int i = 5; i < 65; ++i) QVERIFY(frame.NewDocument({8, 8, 2834}));
        QCOMPARE(frame.Children().size(), 65);
        frame.OnCommand(kIdTileHorizontal);
        xs.clear();
        ys.clear();
        for (CChildFrame* c : frame.Children()) {
            xs.insert(c->geometry().x());
            ys.insert(c->geometry().y());
        }
        QCOMPARE(xs.size(), 9);
        QCOMPARE(ys.size(), 8);  // 65 windows fill 8 of the 9 rows
    }

    void slotsStepRightAndDown() {
        WindowSlots ws;
        ws.Reset({0, 0, 1600, 900}, 1280, false);
        QCOMPARE(ws.Width(), 806);   // max(640, 1280 - 474)
        QCOMPARE(ws.Height(), 604);  // 806 * 3 / 4
        QCOMPARE(ws.MaxIndex(), (1600 - 806) / 8 - 1);
        QCOMPARE(ws.MaxRow(), (900 - 604 - 60) / 13);
        QCOMPARE(ws.Current(), (Rect{5, 5, 811, 609}));
        ws.Advance();
        QCOMPARE(ws.Current(), (Rect{13, 18, 819, 622}));
        // The palettes narrow the room.
        ws.Reset({0, 0, 1600, 900}, 1280, true);
        QCOMPARE(ws.Left(), 105);
        // A client too small: one slot only.
        ws.Reset({0, 0, 500, 300}, 1280, false);
        QCOMPARE(ws.Width(), 490);
        QCOMPARE(ws.Height(), 240);
        ws.Advance();
        QCOMPARE(ws.Current(), (Rect{5, 5, 495, 245}));
    }

    void threeFilesOpenedTogetherStepAcross() {
        test::TempDir dir;
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names << QString::fromStdString(
                WriteBmp(dir.File(std::string("f") + std::to_string(i) + ".bmp"), 16, 12, 10,
                         uint8_t(80 * i), 30));
        Program program;
        CMainFrame& frame = program.Frame();
        // Through the open dialog: three names chosen at once.
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d) return;
            d->setDirectory(QString::fromStdString(dir.Path()));
            d->selectFile("\"f0.bmp\" \"f1.bmp\" \"f2.bmp\"");
            QMetaObject::invokeMethod(d, "accept");
        });
        frame.OnCommand(kIdFileOpen);
        QCOMPARE(frame.Shared().busyMode.load(), kBusyModeOpenQueue);
        QVERIFY(!frame.MayCloseDocuments());
        QVERIFY(WaitFor(
            [&] { return frame.Children().size() == 3 && frame.Shared().busyMode.load() == 0; }));
        const QList<CChildFrame*> open = frame.Children();
        for (int i = 0; i < 3; ++i) QCOMPARE(open[i]->windowTitle(), QString("f%1.bmp").arg(i));
        for (int i = 1; i < 3; ++i) {
            QCOMPARE(open[i]->geometry().x() - open[i - 1]->geometry().x(), 8);
            QCOMPARE(open[i]->geometry().y() - open[i - 1]->geometry().y(), 13);
            QCOMPARE(open[i]->geometry().size(), open[0]->geometry().size());
        }
        QCOMPARE(open[0]->geometry().topLeft().y(), 5);
        QVERIFY(frame.MayCloseDocuments());
        QVERIFY(program.Messages().Entries().empty());
    }

    void droppedAndRecentFilesOpenInTheNextSlot() {
        test::TempDir dir;
        const std::string a = WriteBmp(dir.File("drop-a.bmp"), 8, 8, 1, 2, 3);
        const std::string b = WriteBmp(dir.File("drop-b.bmp"), 8, 8, 4, 5, 6);
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(frame.acceptDrops());
        frame.OpenDroppedUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                               QUrl("https://example.invalid/x.bmp"),  // not a local file: skipped
                               QUrl::fromLocalFile(QString::fromStdString(b))});
        QCOMPARE(frame.Children().size(), 2);
        QCOMPARE(frame.Children()[1]->geometry().x() - frame.Children()[0]->geometry().x(), 8);
        QCOMPARE(frame.Children()[1]->geometry().y() - frame.Children()[0]->geometry().y(), 13);
        // The newest file is the first recent file. It is open, so choosing it, or dropping it
        // again, brings its window forward instead of opening it twice.
        QCOMPARE(program.App().RecentFiles().first(), QString::fromStdString(b));
        frame.ActivateChild(frame.Children()[0]);
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdRecentFile1)->isEnabled());
        frame.OnCommand(kIdRecentFile1);
        QCOMPARE(frame.Children().size(), 2);
        QCOMPARE(frame.ActiveChild(), frame.Children()[1]);
        frame.OpenDroppedUrls(
            {QUrl::fromLocalFile(QString::fromStdString(dir.File("./drop-a.bmp")))});
        QCOMPARE(frame.Children().size(), 2);
        QCOMPARE(frame.ActiveChild(), frame.Children()[0]);
        // A recent file that is not open opens one slot on.
        const std::string c = WriteBmp(dir.File("drop-c.bmp"), 8, 8, 7, 8, 9);
        program.App().AddRecentFile(QString::fromStdString(c));
        frame.OnCommand(kIdRecentFile1);
        QCOMPARE(frame.Children().size(), 3);
        QCOMPARE(frame.Children()[2]->windowTitle(), QString("drop-c.bmp"));
        QCOMPARE(frame.Children()[2]->geometry().x() - frame.Children()[1]->geometry().x(), 8);
        // A name in another encoding comes percent-encoded; its bytes find the file.
        const std::string latin1 = WriteBmp(dir.File("caf\xE9.bmp"), 5, 4, 7, 8, 9);
        frame.OpenDroppedUrls({QUrl::fromEncoded(
            "file://" + QByteArray::fromStdString(latin1).toPercentEncoding("/"))});
        QCOMPARE(frame.Children().size(), 4);
        QCOMPARE(frame.Children()[3]->GetImage().Width(), 5);
    }

    void emptyOpenShowsItsMessage() {
        Program program;
        WhenModal([](QWidget* w) {
            if (auto* d = qobject_cast<QFileDialog*>(w)) d->reject();
        });
        program.Frame().OnCommand(kIdFileOpen);
        QCOMPARE(program.Messages().Last(), std::string("Did not select the file!"));
        QCOMPARE(program.Frame().Shared().busyMode.load(), 0);
    }

    void cascadePlacesFromTheFirstSlot() {
        Program program;
        CMainFrame& frame = program.Frame();
        for (int i = 0; i < 3; ++i) QVERIFY(frame.NewDocument({20, 20, 2834}));
        frame.Children()[1]->move(300, 200);
        frame.OnCommand(kIdCascade);
        const std::vector<Rect> cells =
            CascadeCells(3, frame.ClientRect(), frame.GetWorkspace().ScreenWidth(),
                         frame.GetWorkspace().PalettesShown(), frame.PaletteRoom());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(frame.Children()[i]->geometry(),
                     QRect(cells[size_t(i)].left, cells[size_t(i)].top, cells[size_t(i)].Width(),
                           cells[size_t(i)].Height()));
    }

    void cancelOnTheFirstSaveQuestionKeepsTheProgram() {
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(frame.NewDocument({20, 20, 2834}));
        QVERIFY(frame.NewDocument({20, 20, 2834}));
        for (CChildFrame* c : frame.Children()) c->GetImage().SetModified(true);
        program.Messages().QueueAnswer(Answer::Cancel);
        QVERIFY(!frame.close());
        QCOMPARE(frame.Children().size(), 2);
        QVERIFY(frame.isVisible());
        QVERIFY(frame.GetWorkspace().IsRunning());
        QVERIFY(frame.Threads()->Running());
        QVERIFY(!frame.ClosingAll());
        QCOMPARE(program.Messages().Entries().size(), size_t(1));
        QCOMPARE(program.Messages().Last(), std::string("Whether the save the file?"));
        for (CChildFrame* c : frame.Children()) QVERIFY(c->GetImage().IsReady());

        // No to both: the program closes.
        program.Messages().QueueAnswer(Answer::No);
        program.Messages().QueueAnswer(Answer::No);
        QVERIFY(frame.close());
        QVERIFY(frame.Children().isEmpty());
        QVERIFY(!frame.Threads()->Running());
    }

    void closeAndCloseAll() {
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(frame.NewDocument({20, 20, 2834}));
        QVERIFY(frame.NewDocument({20, 20, 2834}));
        QVERIFY(frame.NewDocument({20, 20, 2834}));
        frame.Children()[0]->GetImage().SetModified(true);
        frame.OnCommand(kIdClose);  // the active (last) window, not modified: no question
        QCOMPARE(frame.Children().size(), 2);
        QVERIFY(program.Messages().Entries().empty());
        // Close All asks for the modified one; Cancel stops it.
        program.Messages().QueueAnswer(Answer::Cancel);
        frame.OnCommand(kIdCloseAll);
        QVERIFY(!frame.Children().isEmpty());
        QVERIFY(frame.Children().first()->GetImage().IsModified());
        QCOMPARE(program.Messages().Last(), std::string("Whether the save the file?"));
        program.Messages().QueueAnswer(Answer::No);
        frame.OnCommand(kIdCloseAll);
        QVERIFY(frame.Children().isEmpty());
        // Closing is ignored while the open queue runs.
        QVERIFY(frame.NewDocument({20, 20, 2834}));
        frame.Shared().busyMode.store(kBusyModeOpenQueue);
        frame.OnCommand(kIdClose);
        QVERIFY(!frame.close());
        QCOMPARE(frame.Children().size(), 1);
        frame.Shared().busyMode.store(0);
    }

    void lastWindowClosedCleansTheStore() {
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(frame.NewDocument({200, 100, 2834}));
        QVERIFY(frame.GetWorkspace().Store().UsedCount() > 1);
        frame.OnCommand(kIdClose);
        QVERIFY(frame.Children().isEmpty());
        // Nothing is left: no stroke was drawn, so no stroke block was reserved.
        QCOMPARE(frame.GetWorkspace().Store().UsedCount(), 0u);
    }
};

QObject* MakeWindowsTest() {
    return new WindowsTest;
}

#include "WindowsTest.moc"
