// The image view in the program: what it shows equals the composite (from the tiles of the
// active window and from the display buffer of the others), wheel zoom, the zoom commands,
// the Hand tool, and documents opened, scrolled and closed while the refresher renders.
#include <atomic>
#include <cstring>
#include <functional>
#include <random>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMoveEvent>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CZelvoView.h"
#include "app/WorkerThreads.h"
#include "app/tests/GuiTestSupport.h"
#include "commands/CommandIds.h"
#include "doc/Image.h"
#include "layers/StoredDib.h"
#include "view/DisplayRefresher.h"
#include "view/ToolEvents.h"
#include "view/ViewZoom.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

void Wheel(QWidget* target, int delta, Qt::MouseButtons buttons = Qt::NoButton) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent e(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), buttons, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &e);
}

}  // namespace

class ViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void showsTheCompositeAtEveryZoom() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 1500, 1100, 1);
        QVERIFY(child);
        child->resize(640, 480);
        CZelvoView* view = child->View();
        view->Invalidate();
        QVERIFY(view->IsActive());
        // The first paint fitted the picture into the window, never enlarging it.
        const QSize client = view->viewport()->size();
        QVERIFY(WaitFor([&] { return view->GetImage().ViewState().firstDrawDone; }));
        QVERIFY(view->Zoom() <= 1.0f);
        QVERIFY(ShowsComposite(view));
        for (int mode : {kZoomActualPixels, kZoomFitOnWindow}) {
            view->SetZoomMode(mode);
            QVERIFY2(ShowsComposite(view), "after a zoom mode");
        }
        view->ApplyZoom(2.3f);
        view->horizontalScrollBar()->setValue(777);
        view->verticalScrollBar()->setValue(555);
        QCOMPARE(view->Model().ScrollX(), 777);
        QVERIFY2(ShowsComposite(view), "zoomed in and scrolled");
        Q_UNUSED(client);
    }

    // The refresher wakes the interface thread only when a document asks for a render: an idle
    // one sleeps, and a request still reaches the screen.
    void anIdleDocumentPostsNothingButARequestIsDrawn() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = ReadyView(RandomDocument(frame, 400, 300, 3));
        QVERIFY(view);
        std::atomic<long>& posts = frame.Shared().refreshPosts;
        for (int spells = 0, before = -1; spells < 20 && posts.load() != before; ++spells) {
            before = int(posts.load());
            QTest::qWait(300);
        }
        const long quiet = posts.load();
        QTest::qWait(1000);
        QCOMPARE(posts.load(), quiet);

        {
            HoldRender hold(view->GetImage().ViewState());
            Layer& layer = *view->GetImage().Layers().LayerAt(0);
            uint8_t* row = layer.Rows()->Row(0);
            QVERIFY(row);
            std::memset(row, 0, 4 * 400);
            layer.ReleaseRows();
        }
        view->GetImage().RequestRender(1);
        QVERIFY(WaitFor([&] { return posts.load() > quiet; }));
        QVERIFY(ShowsComposite(view));
    }

    void inactiveWindowsShowTheirCompositeToo() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* a = RandomDocument(frame, 700, 500, 2);
        CChildFrame* b = RandomDocument(frame, 500, 700, 3);
        QVERIFY(a && b);
        a->View()->Invalidate();
        frame.Tile(true);
        QVERIFY(WaitFor([&] { return frame.ActiveChild() == b; }));
        QVERIFY(!a->View()->IsActive());
        QVERIFY(b->View()->IsActive());
        a->View()->ApplyZoom(0.5f);
        QVERIFY2(ShowsComposite(a->View()), "inactive window");
        QVERIFY2(ShowsComposite(b->View()), "active window");
        frame.MdiArea()->setActiveSubWindow(a);
        QVERIFY(WaitFor([&] { return a->View()->IsActive(); }));
        QCOMPARE(frame.GetWorkspace().ScreenWidth() > 0, true);
        QVERIFY2(ShowsComposite(a->View()), "activated again");
    }

    void wheelZoomsUnlessAButtonIsHeld() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 300, 200, 4);
        QVERIFY(child);
        CZelvoView* view = child->View();
        QVERIFY(WaitFor([&] { return view->GetImage().ViewState().firstDrawDone; }));
        view->SetZoomMode(kZoomActualPixels);
        Wheel(view->viewport(), -120);
        QCOMPARE(view->Zoom(), 1.1f);
        QCOMPARE(frame.Pane(1)->text(), QString::fromUtf8("Show ratio：110%"));
        Wheel(view->viewport(), -120, Qt::LeftButton);
        QCOMPARE(view->Zoom(), 1.1f);
        Wheel(view->viewport(), 120);
        Wheel(view->viewport(), 120);
        QVERIFY(std::abs(view->Zoom() - 1.1f * 0.9090909f * 0.9090909f) < 1e-5f);
        QVERIFY(ShowsComposite(view));
    }

    void zoomCommands() {
        Program program;
        CMainFrame& frame = program.Frame();
        frame.UpdateCommandUI();
        QVERIFY(!frame.Action(kIdFitOnWindow)->isEnabled());
        CChildFrame* child = RandomDocument(frame, 2400, 1800, 5);
        QVERIFY(child);
        CZelvoView* view = child->View();
        QVERIFY(WaitFor([&] { return view->GetImage().ViewState().firstDrawDone; }));
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdActualPixels)->isEnabled());
        QVERIFY(frame.Action(kIdFitOnWindow)->isEnabled());
        QVERIFY(frame.Action(kIdPrintSizeZoom)->isEnabled());
        QVERIFY(frame.Action(kIdZoomIn)->isEnabled());
        QVERIFY(frame.Action(kIdZoomOut)->isEnabled());

        frame.Action(kIdActualPixels)->trigger();
        QCOMPARE(view->Zoom(), 1.0f);
        // Centred on the canvas.
        QCOMPARE(view->Model().ScrollX(), (2400 - view->Model().ClientWidth()) / 2);
        frame.Action(kIdFitOnWindow)->trigger();
        const QSize c = view->maximumViewportSize();  // the bars go once it fits
        const float fit = std::min(float(c.width()) / 2400.0f, float(c.height()) / 1800.0f);
        QVERIFY(std::abs(view->Zoom() - fit) < 1e-3f);
        QCOMPARE(view->Model().ScrollX(), 0);
        QVERIFY(ShowsComposite(view));
        view->GetImage().SetResolution(11811);
        frame.Action(kIdPrintSizeZoom)->trigger();
        QVERIFY(std::abs(view->Zoom() - 0.24f) < 0.001f);
        // The navigator sees the active view.
        QCOMPARE(frame.ActiveNavigatorTarget(), static_cast<NavigatorTarget*>(view));
    }

    void handToolDragScrolls() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 2000, 1500, 6);
        QVERIFY(child);
        CZelvoView* view = child->View();
        QVERIFY(WaitFor([&] { return view->GetImage().ViewState().firstDrawDone; }));
        view->SetZoomMode(kZoomActualPixels);
        const int x0 = view->Model().ScrollX(), y0 = view->Model().ScrollY();
        QWidget* vp = view->viewport();
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        QVERIFY(view->ToolBusy());
        QMouseEvent move(QEvent::MouseMove, QPointF(60, 70), vp->mapToGlobal(QPointF(60, 70)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &move);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, QPoint(60, 70));
        QVERIFY(!view->ToolBusy());
        QCOMPARE(view->Model().ScrollX(), x0 + 40);
        QCOMPARE(view->Model().ScrollY(), y0 + 30);
        QCOMPARE(view->horizontalScrollBar()->value(), x0 + 40);
        QVERIFY(ShowsComposite(view));
    }

    // A picture larger than its window opens fitted to the window without scroll bars, which
    // go once it fits: it touches one pair of edges.
    void openingFitsTheWholeWindow() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 2000, 1500, 6);
        QVERIFY(child);
        CZelvoView* view = child->View();
        QVERIFY(WaitFor([&] { return view->GetImage().ViewState().firstDrawDone; }));
        const QSize barless = view->maximumViewportSize();
        const float want = std::min(float(barless.width()) / 2000, float(barless.height()) / 1500);
        QCOMPARE(view->Model().Zoom(), want);
        QVERIFY(!view->horizontalScrollBar()->isVisible() ||
                view->horizontalScrollBar()->maximum() == 0);
        QVERIFY(!view->verticalScrollBar()->isVisible() ||
                view->verticalScrollBar()->maximum() == 0);
    }

    // Ctrl+W reaches the frame while the view's own menu is open: the window closes under the
    // menu, and the program goes on once the menu is left.
    void closingUnderTheViewsMenu() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 200, 150, 6);
        QVERIFY(child);
        QWidget* vp = child->View()->viewport();
        bool menuSeen = false;
        std::function<void()> closeUnderMenu = [&] {
            QWidget* popup = QApplication::activePopupWidget();
            if (!popup) {
                QTimer::singleShot(10, closeUnderMenu);
                return;
            }
            menuSeen = true;
            frame.OnCommand(kIdClose);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            popup->close();
        };
        QTimer::singleShot(10, closeUnderMenu);
        QTest::mouseClick(vp, Qt::RightButton, {}, QPoint(50, 50));
        QVERIFY(WaitFor([&] { return menuSeen && frame.Children().isEmpty(); }));
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(RandomDocument(frame, 20, 10, 7));  // the frame still works
    }

    void outlinePausesWhileAFrameIsHeld() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 400, 300, 8);
        QVERIFY(child);
        CZelvoView* view = child->View();
        QVERIFY(WaitFor([&] { return view->GetImage().ViewState().firstDrawDone; }));
        std::atomic<int>& state = frame.Shared().animatorState;
        // Whatever showing the window moved settles first.
        QVERIFY(WaitFor([&] { return state.load() == 10; }));
        const QPoint at(5, 5);
        auto send = [&](QObject* to, QEvent::Type type) {
            QMouseEvent e(type, QPointF(at), QPointF(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ||
                                  type == QEvent::NonClientAreaMouseButtonRelease
                              ? Qt::NoButton
                              : Qt::LeftButton,
                          Qt::NoModifier);
            QCoreApplication::sendEvent(to, &e);
        };

        // A press in the main frame's non-client area holds the outline until the capture
        // changes.
        send(&frame, QEvent::NonClientAreaMouseButtonPress);
        QCOMPARE(state.load(), 9);
        send(&frame, QEvent::NonClientAreaMouseButtonRelease);
        QCOMPARE(state.load(), 10);
        // The child frame's title bar: a press on the frame itself; a press in the view is not.
        send(child, QEvent::MouseButtonPress);
        QCOMPARE(state.load(), 9);
        send(child, QEvent::MouseButtonRelease);
        QCOMPARE(state.load(), 10);
        send(child, QEvent::NonClientAreaMouseButtonPress);
        QCOMPARE(state.load(), 9);
        // The next press in a view gives it back.
        send(view->viewport(), QEvent::MouseButtonPress);
        QCOMPARE(state.load(), 10);
        send(view->viewport(), QEvent::MouseButtonRelease);
        QCOMPARE(state.load(), 10);
        // The window manager moving or sizing the main frame: held until the moves stop.
        frame.move(frame.pos() + QPoint(7, 3));
        QMoveEvent moved(frame.pos(), frame.pos() - QPoint(7, 3));
        QCoreApplication::sendEvent(&frame, &moved);
        QCOMPARE(state.load(), 9);
        QVERIFY(WaitFor([&] { return state.load() == 10; }, 3000));
        // While held, the animator draws nothing and the phase stays.
        send(&frame, QEvent::NonClientAreaMouseButtonPress);
        const int phase = frame.Threads()->Display().Phase().Value();
        Image& image = view->GetImage();
        image.ViewState().outlinePrepared.store(true);
        // Prepared all along, so only the hold can keep the phase.
        for (int i = 0; i < 9; ++i) {
            image.ViewState().outlinePrepared.store(true);
            QTest::qWait(WorkerThreads::kAnimatorMs / 3);
        }
        QCOMPARE(frame.Threads()->Display().Phase().Value(), phase);
        send(&frame, QEvent::NonClientAreaMouseButtonRelease);
        QVERIFY(WaitFor(
            [&] {
                image.ViewState().outlinePrepared.store(true);
                return frame.Threads()->Display().Phase().Value() != phase;
            },
            3000));
        image.ViewState().outlinePrepared.store(false);
    }

    void theActiveViewsToolDecidesWhetherTheOutlineMoves() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 300, 200, 9);
        QVERIFY(child);
        CZelvoView* view = child->View();
        QVERIFY(WaitFor([&] { return view->IsActive(); }));
        DisplayRefresher& display = frame.Threads()->Display();
        QCOMPARE(display.Tools(), static_cast<const ToolEvents*>(view->Tools()));
        struct Holding : ToolEvents {
            bool AllowsOutlineAnimation() const override { return false; }
        } tool;
        view->SetToolController(&tool);
        QCOMPARE(display.Tools(), static_cast<const ToolEvents*>(&tool));
        Image& image = view->GetImage();
        image.ViewState().outlinePrepared.store(true);
        const int phase = display.Phase().Value();
        // Prepared all along, so only the hold can keep the phase.
        for (int i = 0; i < 9; ++i) {
            image.ViewState().outlinePrepared.store(true);
            QTest::qWait(WorkerThreads::kAnimatorMs / 3);
        }
        QCOMPARE(display.Phase().Value(), phase);
        view->SetToolController(nullptr);
        // (A render pass in between may say the outline is not prepared; no selection is.)
        QVERIFY(WaitFor(
            [&] {
                image.ViewState().outlinePrepared.store(true);
                return display.Phase().Value() != phase;
            },
            3000));
        image.ViewState().outlinePrepared.store(false);
        // The view going away leaves the animator no controller of its own.
        child->close();
        QVERIFY(WaitFor([&] { return display.Tools() == nullptr; }));
    }

    void openScrollAndCloseWhileTheRefresherRenders() {
        Program program;
        CMainFrame& frame = program.Frame();
        std::mt19937 rng(7);
        const long before = frame.Threads()->Display().Passes();
        for (int round = 0; round < 8; ++round) {
            CChildFrame* child =
                RandomDocument(frame, 400 + int(rng() % 900), 300 + int(rng() % 700), rng());
            QVERIFY(child);
            CZelvoView* view = child->View();
            view->Invalidate();
            for (int k = 0; k < 6; ++k) {
                view->horizontalScrollBar()->setValue(int(rng() % 800));
                view->verticalScrollBar()->setValue(int(rng() % 600));
                if (k % 2) Wheel(view->viewport(), (rng() % 2) ? 120 : -120);
                QTest::qWait(int(rng() % 25));
            }
            if (round % 3 == 0) QVERIFY(ShowsComposite(view));
            child->GetImage().SetModified(false);
            QVERIFY(child->close());
            QTest::qWait(int(rng() % 15));
        }
        QVERIFY(frame.Children().isEmpty());
        QVERIFY(frame.Threads()->Display().Passes() > before);
        QCOMPARE(frame.Threads()->Display().Active(), static_cast<Image*>(nullptr));
    }
};

QObject* MakeViewTest() {
    return new ViewTest;
}

#include "ViewTest.moc"
