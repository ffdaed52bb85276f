// The main window on the screen it runs on (CTest runs this suite on several screen sizes and
// pixel ratios): the frame fits, the palettes float below the menu bar, inside the screen and
// apart, their places are remembered, image windows keep out of their way, the view is redrawn
// at once after every command that changes the canvas or the zoom, and every key sequence has
// one owner.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/AppCommands.h"
#include "app/CCanvasSizeDialog.h"
#include "app/CChildFrame.h"
#include "app/CImageSizeDialog.h"
#include "app/CNavigatorPalette.h"
#include "app/CZelvoView.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "platform/Disk.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

QRect Available() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The bottom of the menu bar and of the options bar under it.
int BarsBottom(CMainFrame& frame) {
    QWidget* lowest = frame.OptionsBar()->isHidden() ? static_cast<QWidget*>(frame.menuBar())
                                                     : frame.OptionsBar();
    return frame.mapToGlobal(QPoint(0, lowest->geometry().bottom() + 1)).y();
}

std::vector<QRect> PaletteRects(CMainFrame& frame) {
    std::vector<QRect> rects;
    for (int p = 0; p < CMainFrame::kPaletteCount; ++p)
        if (!frame.Palette(p)->isHidden()) rects.push_back(frame.Palette(p)->frameGeometry());
    return rects;
}

void ForgetPalettePlaces() {
    QSettings settings(QString::fromStdString(ConfigPath("zelvo.ini")), QSettings::IniFormat);
    settings.remove("Palettes");
}

// The view agrees with its model: scroll ranges, picture and the composite of its layout.
bool ViewIsCurrent(CZelvoView* view, QString* why) {
    ImageView& m = view->Model();
    Image& image = view->GetImage();
    if (view->horizontalScrollBar()->maximum() != m.MaxScrollX() ||
        view->verticalScrollBar()->maximum() != m.MaxScrollY()) {
        *why = "scroll bars of an old layout";
        return false;
    }
    const Rect visible = view->VisibleRect();
    if (visible.right > image.Width() || visible.bottom > image.Height() || visible.IsEmpty()) {
        *why = "visible rectangle outside the canvas";
        return false;
    }
    if (view->CanvasWidth() != image.Width() || view->CanvasHeight() != image.Height()) {
        *why = "navigator sees another canvas";
        return false;
    }
    // On a screen of another pixel ratio the grabbed window is scaled: its picture is compared.
    const bool outline = image.Layers().Selection() != nullptr;
    const bool shown =
        view->devicePixelRatio() == 1.0
            ? ShowsComposite(view, outline)
            : WaitFor([view, outline] { return Mismatches(view, view->Picture(), outline) == 0; });
    if (!shown) {
        *why = "picture differs from the composite";
        return false;
    }
    return true;
}

// The navigator follows the view: its zoom, and a thumbnail of the canvas's proportions.
bool NavigatorIsCurrent(CMainFrame& frame, CZelvoView* view, QString* why) {
    auto* nav = qobject_cast<CNavigatorPalette*>(frame.Palette(CMainFrame::kNavigator)->widget());
    if (!nav || nav->Target() != view) {
        *why = "navigator shows another window";
        return false;
    }
    if (std::abs(nav->Zoom() - view->Zoom()) > 1e-4f) {
        *why = QString("navigator zoom %1, view %2").arg(nav->Zoom()).arg(view->Zoom());
        return false;
    }
    const QSize t = nav->Thumbnail().size();
    const int64_t w = view->GetImage().Width(), h = view->GetImage().Height();
    // Rounding of the thumbnail's sides: one pixel of either.
    if (t.isEmpty() || std::abs(int64_t(t.width()) * h - int64_t(t.height()) * w) > w + h) {
        *why = QString("navigator thumbnail %1x%2 for a %3x%4 canvas")
                   .arg(t.width())
                   .arg(t.height())
                   .arg(w)
                   .arg(h);
        return false;
    }
    return true;
}

// While it lives, every modal dialog that opens is accepted with the values it shows (rejected
// when it refuses them twice), the way a user pressing Enter would leave it.
class AcceptEveryDialog {
public:
    AcceptEveryDialog() {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            ++opened;
            if (dialog == m_last && ++m_tries > 2) {
                dialog->reject();
                ++refused;
                return;
            }
            if (dialog != m_last) m_tries = 0;
            m_last = dialog;
            dialog->accept();
        });
        m_timer.start();
    }
    int opened = 0, refused = 0;

private:
    QTimer m_timer;
    QDialog* m_last = nullptr;
    int m_tries = 0;
};

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        InstallThreadWarningHandler();
        const QScreen* s = QGuiApplication::primaryScreen();
        qInfo("screen %dx%d at pixel ratio %.2f", s->geometry().width(), s->geometry().height(),
              s->devicePixelRatio());
    }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void frameFitsTheScreen() {
        Program program;
        CMainFrame& frame = program.Frame();
        const QRect screen = Available();
        QVERIFY2(frame.minimumSizeHint().width() <= screen.width(), "minimum wider than screen");
        QVERIFY(frame.minimumSizeHint().height() <= screen.height());
        QVERIFY(frame.minimumWidth() <= screen.width());
        QVERIFY(WaitFor([&] { return screen.contains(frame.frameGeometry()); }));
        // The options strip keeps its width but is clipped inside the bar.
        QCOMPARE(frame.OptionsStrip()->width(), CMainFrame::kOptionsStripWidth);
        QVERIFY(frame.OptionsBar()->width() <= frame.width());
        QVERIFY(frame.OptionsBar()->minimumSizeHint().width() < screen.width() / 2);
        // The status bar has its full height from the start.
        QStatusBar* status = frame.statusBar();
        QVERIFY(status->height() >= status->sizeHint().height());
        QVERIFY(frame.Pane(0)->height() >= frame.Pane(0)->sizeHint().height());
    }

    void palettesLieBelowTheMenuInsideTheScreenApart() {
        ForgetPalettePlaces();
        Program program;
        CMainFrame& frame = program.Frame();
        const QRect screen = Available();
        auto check = [&](const char* when) {
            const std::vector<QRect> rects = PaletteRects(frame);
            if (rects.size() != size_t(CMainFrame::kPaletteCount)) return QString("hidden");
            for (size_t i = 0; i < rects.size(); ++i) {
                if (!screen.contains(rects[i]))
                    return QString("%1: %2 off the screen").arg(when).arg(i);
                if (rects[i].top() < BarsBottom(frame))
                    return QString("%1: %2 over the menu or options bar").arg(when).arg(i);
                // The status bar's hints stay in sight.
                if (rects[i].bottom() >= frame.statusBar()->mapToGlobal(QPoint(0, 0)).y())
                    return QString("%1: %2 over the status bar").arg(when).arg(i);
                for (size_t j = i + 1; j < rects.size(); ++j)
                    if (rects[i].intersects(rects[j]))
                        return QString("%1: %2 and %3 overlap (%4,%5 %6x%7; %8,%9 %10x%11)")
                            .arg(when)
                            .arg(i)
                            .arg(j)
                            .arg(rects[i].x())
                            .arg(rects[i].y())
                            .arg(rects[i].width())
                            .arg(rects[i].height())
                            .arg(rects[j].x())
                            .arg(rects[j].y())
                            .arg(rects[j].width())
                            .arg(rects[j].height());
            }
            return QString();
        };
        QString fault;
        QVERIFY2(WaitFor([&] { return (fault = check("first start")).isEmpty(); }),
                 qPrintable(fault));
        // Palettes are placed above the status bar, or down to the frame's edge without it.
        const int statusTop = frame.statusBar()->mapToGlobal(QPoint(0, 0)).y();
        QVERIFY(frame.PaletteArea().bottom <= statusTop);
        frame.statusBar()->hide();
        QVERIFY(frame.PaletteArea().bottom > statusTop);
        frame.statusBar()->show();
        frame.Palette(CMainFrame::kColor)->move(screen.topLeft());
        frame.OnCommand(kIdResetPalettes);
        QVERIFY2(WaitFor([&] { return (fault = check("reset")).isEmpty(); }), qPrintable(fault));

        // Tiled and cascaded windows keep out of the palettes' way.
        for (int i = 0; i < 3; ++i) QVERIFY(frame.NewDocument({400, 300, 2834}));
        for (int command : {kIdTileHorizontal, kIdTileVertical, kIdCascade}) {
            frame.OnCommand(command);
            for (CChildFrame* child : frame.Children()) {
                const QRect g(child->mapToGlobal(QPoint(0, 0)), child->size());
                for (const QRect& p : PaletteRects(frame))
                    QVERIFY2(!g.intersects(p), qPrintable(QString("command %1").arg(command)));
            }
        }
    }

    void palettePlacesAreRemembered() {
        ForgetPalettePlaces();
        QPoint defaultPlace, moved;
        {
            Program program;
            QTest::qWait(CMainFrame::kPalettesSettleMs + 100);  // the frame has settled
            QDockWidget* layers = program.Frame().Palette(CMainFrame::kLayers);
            defaultPlace = layers->frameGeometry().topLeft();
            const Rect area = program.Frame().PaletteArea();
            moved = QPoint(area.left + 300, area.top + 120);
            layers->move(moved);
            QVERIFY(WaitFor([&] { return layers->frameGeometry().topLeft() == moved; }));
        }
        {
            Program program;
            QTest::qWait(CMainFrame::kPalettesSettleMs + 100);
            QDockWidget* layers = program.Frame().Palette(CMainFrame::kLayers);
            QCOMPARE(layers->frameGeometry().topLeft(), moved);
            program.Frame().OnCommand(kIdResetPalettes);
            QCOMPARE(layers->frameGeometry().topLeft(), defaultPlace);
        }
        // A place stored off the screen (another screen's) comes back on it, clear of the bars.
        {
            QSettings settings(QString::fromStdString(ConfigPath("zelvo.ini")),
                               QSettings::IniFormat);
            settings.setValue(
                QString("Palettes/%1").arg(CMainFrame::kPalettes[CMainFrame::kTools].command),
                QPoint(-3000, -3000));
        }
        {
            Program program;
            QTest::qWait(CMainFrame::kPalettesSettleMs + 100);
            CMainFrame& frame = program.Frame();
            const QRect tools = frame.Palette(CMainFrame::kTools)->frameGeometry();
            QVERIFY(Available().contains(tools.topLeft()));
            QCOMPARE(tools.top(), BarsBottom(frame));
        }
        ForgetPalettePlaces();
    }

    void viewIsRedrawnAfterEveryGeometryCommand() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 1500, 1000, 7);
        QVERIFY(child);
        child->showMaximized();
        CZelvoView* view = child->View();
        Image& image = view->GetImage();
        QVERIFY(WaitFor([&] { return image.ViewState().firstDrawDone; }));
        program.Messages().QueueAnswer(Answer::Ok);  // Canvas Size asks before it cuts
        struct Step {
            const char* menu;
            const char* text;
            int width, height;  // of the canvas afterwards
        };
        const Step steps[] = {
            {"&Image", "Image Size", 900, 600},
            {"&Image/Rotate Canvas", "Rotate 90 Clockwise", 600, 900},
            {"&Image", "Canvas Size", 500, 900},
            {"&Image/Rotate Canvas", "Rotate 90 Counterclockwise", 900, 500},
            {"&Image/Rotate Canvas", "Rotate 180", 900, 500},
            {"&Edit/Transform", "Rotate 90 Clockwise", 900, 500},  // the layer only
            {"&Edit", "Undo", 900, 500},
            {"&View", "Actual Pixels", 900, 500},
            {"&View", "Fit On Window", 900, 500},
        };
        for (const Step& s : steps) {
            WhenModal(
                [](QWidget* w) {
                    if (auto* d = qobject_cast<CImageSizeDialog*>(w)) {
                        d->PixelWidthEdit()->setText("900");
                        emit d->PixelWidthEdit()->editingFinished();
                        d->accept();
                    } else if (auto* c = qobject_cast<CCanvasSizeDialog*>(w)) {
                        c->UnitBox()->setCurrentIndex(2);  // Pixels
                        c->WidthEdit()->setText("500");
                        c->accept();
                    }
                },
                200);
            const int id = MenuCommandId(s.menu, s.text);
            QVERIFY(id != 0);
            frame.OnCommand(id);
            QTest::qWait(250);  // the modal helper gives up
            QCOMPARE(QSize(image.Width(), image.Height()), QSize(s.width, s.height));
            QString why;
            QVERIFY2(ViewIsCurrent(view, &why), qPrintable(QString(s.text) + ": " + why));
            QCOMPARE(frame.Pane(1)->text(),
                     QString::fromUtf8("Show ratio：%1%").arg(int(view->Zoom() * 100)));
        }
    }

    void everyMenuCommandLeavesTheViewCurrent() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = RandomDocument(frame, 640, 480, 21);
        QVERIFY(child);
        child->showMaximized();
        CZelvoView* view = child->View();
        Image& image = view->GetImage();
        QVERIFY(WaitFor([&] { return image.ViewState().firstDrawDone; }));
        // Commands that leave this window, end the program or reach outside it (files, the
        // printer, the browser, the temporary disk) have tests of their own.
        const QSet<int> outside = {kIdFileNew,
                                   kIdFileOpen,
                                   kIdFileSave,
                                   kIdFileSaveAs,
                                   kIdClose,
                                   kIdCloseAll,
                                   kIdExit,
                                   kIdHelp,
                                   kIdPrintSetup,
                                   kIdFilePrint,
                                   kIdFilePrintPreview,
                                   kIdPrintWithPreview,
                                   kIdSetupTempDisk,
                                   kIdRecentFile1,
                                   kIdRecentFile1 + 1,
                                   kIdRecentFile1 + 2,
                                   kIdRecentFile1 + 3};
        AcceptEveryDialog dialogs;
        // Runs `action` as the menu does and checks the window afterwards.
        auto Run = [&](QAction* action, const QString& what) {
            const float zoomBefore = view->Zoom();
            action->trigger();
            // Free Transform waits for the user's frame: Esc gives it up, as a user would.
            if (action == frame.Action(kIdFreeTransform) && view->ToolBusy())
                QTest::keyClick(view, Qt::Key_Escape);
            QString why;
            if (frame.ActiveChild() != child)
                why = "another window is active";
            else if (view->ToolBusy())
                why = "a tool stays busy";
            else if (!ViewIsCurrent(view, &why) || !NavigatorIsCurrent(frame, view, &why)) {
            } else if (view->Zoom() != zoomBefore &&
                       frame.Pane(1)->text() !=
                           QString::fromUtf8("Show ratio：%1%").arg(int(view->Zoom() * 100)))
                why = "status " + frame.Pane(1)->text();
            if (why.isEmpty()) return true;
            QTest::qFail(qPrintable(what + ": " + why), __FILE__, __LINE__);
            return false;
        };
        int ran = 0;
        QStringList disabled;
        // Twice: the second pass with a selection and the layers the first pass left, so the
        // commands that need them run too.
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1) frame.OnCommand(kIdSelectAll);
            for (const MenuCommand& c : MenuCommands()) {
                if (c.id == 0 || outside.contains(c.id)) continue;
                QAction* action = frame.Action(c.id);
                QVERIFY2(action, c.text.c_str());
                frame.UpdateCommandUI();
                if (!action->isEnabled()) {
                    if (pass == 1) disabled << QString::fromStdString(c.text);
                    continue;
                }
                const QString what =
                    QString("%1 > %2 (pass %3)")
                        .arg(QString::fromStdString(c.menu), QString::fromStdString(c.text))
                        .arg(pass + 1);
                const uint32_t lastState = image.History().LastId();
                if (!Run(action, what)) return;
                ++ran;
                // A command that recorded a state is undone and redone by the menu's toggle;
                // the view follows each step (a canvas size given back, say).
                if (c.id != kCmdUndoRedo && image.History().LastId() != lastState &&
                    frame.Action(kCmdUndoRedo)->isEnabled()) {
                    if (!Run(frame.Action(kCmdUndoRedo), what + ", undone")) return;
                    if (!Run(frame.Action(kCmdUndoRedo), what + ", redone")) return;
                }
            }
        }
        qInfo(
            "%d commands run, %d dialogs accepted, %d refused their values; disabled with a "
            "selection: %s",
            ran, dialogs.opened - dialogs.refused, dialogs.refused,
            qPrintable(disabled.join(", ")));
        // The document commands did run: the walk is not a string of disabled entries.
        QVERIFY(ran > int(MenuCommands().size()) / 2);
        QVERIFY(dialogs.opened > 5);
        image.SetModified(false);
    }

    void paletteButtonsShowTheirCaptionsWhole() {
        Program program;
        CMainFrame& frame = program.Frame();
        for (int p = 0; p < CMainFrame::kPaletteCount; ++p) {
            QWidget* content = frame.Palette(p)->widget();
            for (QPushButton* b : content->findChildren<QPushButton*>()) {
                const QString what = frame.Palette(p)->windowTitle() + ": " + b->toolTip();
                QVERIFY2(content->rect().contains(b->geometry()), qPrintable(what));
                // A button showing its caption is as wide as its style asks; one showing its
                // icon alone keeps the caption as its tooltip.
                if (b->text().isEmpty())
                    QVERIFY2(!b->icon().isNull() && !b->toolTip().isEmpty(), qPrintable(what));
                else
                    QVERIFY2(b->sizeHint().width() <= b->width(),
                             qPrintable(QString("%1 needs %2, has %3")
                                            .arg(what)
                                            .arg(b->sizeHint().width())
                                            .arg(b->width())));
            }
        }
    }

    void everyKeySequenceHasOneOwner() {
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(frame.NewDocument({200, 100, 2834}));
        QVERIFY(frame.NewDocument({200, 100, 2834}));
        // Every action reachable from the menus, the windows' own menus and any widget.
        QSet<QAction*> actions;
        std::function<void(QMenu*)> walk = [&](QMenu* menu) {
            for (QAction* a : menu->actions()) {
                actions.insert(a);
                if (a->menu()) walk(a->menu());
            }
        };
        for (QAction* a : frame.menuBar()->actions())
            if (a->menu()) walk(a->menu());
        for (CChildFrame* child : frame.Children())
            if (child->systemMenu()) walk(child->systemMenu());
        for (QWidget* w : QApplication::allWidgets())
            for (QAction* a : w->actions()) actions.insert(a);
        for (QAction* a : frame.findChildren<QAction*>()) actions.insert(a);
        QMap<QKeySequence, QString> owner;
        // Shortcuts not tied to an action (the tools' keys, say) count as owners as well.
        for (QShortcut* sc : frame.findChildren<QShortcut*>())
            for (const QKeySequence& k : sc->keys()) {
                if (k.isEmpty()) continue;
                QVERIFY2(!owner.contains(k),
                         qPrintable(QString("%1: two shortcut objects").arg(k.toString())));
                owner.insert(k,
                             sc->objectName().isEmpty() ? QString("a shortcut") : sc->objectName());
            }
        for (QAction* a : actions)
            for (const QKeySequence& k : a->shortcuts()) {
                if (k.isEmpty()) continue;
                QVERIFY2(
                    !owner.contains(k),
                    qPrintable(
                        QString("%1: %2 and %3").arg(k.toString(), owner.value(k), a->text())));
                owner.insert(k, a->text());
            }
        QVERIFY(owner.contains(QKeySequence("Ctrl+W")));

        // Ctrl+W on a modified image asks whether to save it; Cancel keeps it.
        frame.Children().last()->GetImage().SetModified(true);
        program.Messages().QueueAnswer(Answer::Cancel);
        const size_t asked = program.Messages().Entries().size();
        QTest::keyClick(&frame, Qt::Key_W, Qt::ControlModifier);
        QVERIFY(WaitFor([&] { return program.Messages().Entries().size() > asked; }));
        QCOMPARE(frame.Children().size(), 2);
        frame.Children().last()->GetImage().SetModified(false);
    }
};

QObject* MakeLayoutTest() {
    return new LayoutTest;
}

#include "LayoutTest.moc"
