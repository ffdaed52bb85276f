// The tools in the program: tools chosen from the tool box and by their letters, a rectangle
// dragged on a real view at several zooms and the selection it leaves, the options bar
// following the model both ways, the colour keys and buttons, and Zoom In / Zoom Out.
#include <functional>
#include <map>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CColorPalette.h"
#include "app/COptionsBar.h"
#include "app/CToolsPalette.h"
#include "app/CZelvoView.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "history/HistoryManager.h"
#include "history/HistoryState.h"
#include "platform/Disk.h"
#include "selection/SelectionMask.h"
#include "tools/ToolController.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

// The canvas point a client point maps to: the offset from the picture's edge divided by the
// zoom, truncated.
Point CanvasOf(CZelvoView* view, QPoint p) {
    const ImageGeometry& g = view->GetImage().Geometry();
    return {g.visible.left + int(float(p.x() - g.screenRect.left) / g.zoom),
            g.visible.top + int(float(p.y() - g.screenRect.top) / g.zoom)};
}

Rect SelectionRect(Image& image) {
    LayerPtr mask = image.Layers().Selection();
    return mask ? TightRect(*mask) : Rect{};
}

QString PageName(CMainFrame& frame) {
    QWidget* page = frame.OptionsStrip()->currentWidget();
    return page ? page->objectName() : QString();
}

}  // namespace

class ToolsGuiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void lettersChooseToolsAndTheirPages() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        ToolController& tools = frame.Tools();
        struct Row {
            const char* keys;
            ToolId tool;
        };
        // From Hand, in one run: pairs toggle and remember their member.
        const Row rows[] = {
            {"M", kToolRectMarquee},    {"M", kToolEllipseMarquee}, {"B", kToolBrush},
            {"M", kToolEllipseMarquee}, {"L", kToolLasso},          {"L", kToolPolygon},
            {"W", kToolMagicWand},      {"l", kToolPolygon},        {"Z", kToolZoom},
            {"H", kToolHand},
        };
        for (const Row& r : rows) {
            QTest::keyClick(view, r.keys[0]);
            QCOMPARE(int(tools.CurrentTool()), int(r.tool));
            // The status hint and the options page follow the switch.
            QCOMPARE(frame.Pane(0)->text().toStdString(), std::string(FindTool(r.tool)->hint));
            const bool hasPage = !tools.Options().Controls(r.tool).empty();
            QCOMPARE(PageName(frame),
                     hasPage ? QString("OptionsPage%1").arg(int(r.tool)) : QString());
        }
        // The brush shows its circle: the diameter on screen, clamped to 5..200.
        QTest::keyClick(view, 'B');
        const QCursor cursor = view->viewport()->cursor();
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        const int size = std::clamp(int(10 * view->Zoom()), 5, 200);
        QCOMPARE(cursor.pixmap().width(), size + 2);
        QCOMPARE(cursor.hotSpot(), QPoint((size + 2) / 2, (size + 2) / 2));
    }

    void dragsARectangleAtEveryZoom() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 400, 300);
        QVERIFY(view);
        Image& image = view->GetImage();
        QTest::keyClick(view, 'M');
        QCOMPARE(int(frame.Tools().CurrentTool()), int(kToolRectMarquee));
        struct Row {
            float zoom;
            Point from, to;
        };
        const Row rows[] = {
            {1.0f, {20, 30}, {140, 90}},
            {1.0f, {140, 90}, {20, 30}},  // reversed
            {0.5f, {40, 20}, {300, 250}},
            {2.0f, {10, 10}, {90, 60}},
        };
        for (const Row& r : rows) {
            view->ApplyZoom(r.zoom);
            view->Model().ScrollTo(0, 0);
            const QPoint a = ClientOf(view, r.from), b = ClientOf(view, r.to);
            const QPoint mid = (a + b) / 2;
            Drag(view->viewport(), {a, mid, b});
            QVERIFY(!frame.Tools().IsBusy());
            const Point ca = CanvasOf(view, a), cb = CanvasOf(view, b);
            const Rect expected{std::min(ca.x, cb.x), std::min(ca.y, cb.y), std::max(ca.x, cb.x),
                                std::max(ca.y, cb.y)};
            QCOMPARE(SelectionRect(image), expected);
            QCOMPARE(LastStateName(image), std::string("Rectangular Select"));
        }
        // A click of 3 pixels off the selection is no shape: in New mode it deselects.
        view->ApplyZoom(1.0f);
        const QPoint p = ClientOf(view, {300, 250});
        Drag(view->viewport(), {p, p + QPoint(3, 0)});
        QCOMPARE(SelectionRect(image), Rect{});
    }

    void theOptionsBarAndTheModelFollowEachOther() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 200, 100);
        QVERIFY(view);
        ToolController& tools = frame.Tools();
        QTest::keyClick(view, 'W');
        QWidget* page = frame.OptionsStrip()->currentWidget();
        auto* range = page->findChild<QLineEdit*>("tolerance");
        auto* contiguous = page->findChild<QCheckBox*>("contiguous");
        QVERIFY(range && contiguous);
        QCOMPARE(range->text(), QString("32"));
        QVERIFY(contiguous->isChecked());
        // A value the bar refuses: its message, and the range becomes 0.
        range->setFocus();
        range->selectAll();
        QTest::keyClicks(range, "300");
        QTest::keyClick(range, Qt::Key_Return);
        QVERIFY(program.Messages().Contains("Color range is 0~255"));
        QCOMPARE(tools.Options().Get(kToolMagicWand, "tolerance"), std::string("0"));
        QCOMPARE(range->text(), QString("0"));
        range->selectAll();
        QTest::keyClicks(range, "45");
        QTest::keyClick(range, Qt::Key_Return);
        QCOMPARE(tools.Options().Get(kToolMagicWand, "tolerance"), std::string("45"));
        QTest::mouseClick(contiguous, Qt::LeftButton);
        QCOMPARE(tools.Options().Get(kToolMagicWand, "contiguous"), std::string("0"));
        // Alt+3 in the view: Subtract, on this page and on the marquee's, which shares it.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_3, Qt::AltModifier);
        QCOMPARE(tools.Options().Get(0, "mode"), std::string("subtract"));
        QVERIFY(page->findChild<QRadioButton*>("mode-subtract")->isChecked());
        QTest::keyClick(view, 'M');
        QWidget* marquee = frame.OptionsStrip()->currentWidget();
        QVERIFY(marquee != page);
        QVERIFY(marquee->findChild<QRadioButton*>("mode-subtract")->isChecked());
        view->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return QApplication::focusWidget() != nullptr; }));
        QTest::mouseClick(marquee->findChild<QRadioButton*>("mode-add"), Qt::LeftButton);
        QCOMPARE(tools.Options().Get(0, "mode"), std::string("add"));
        // The click leaves the keyboard where it was: an arrow goes to the view, not to the
        // next mode button.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(tools.Options().Get(0, "mode"), std::string("add"));
        // The brush page: "]" steps the diameter field.
        QTest::keyClick(view, 'B');
        auto* diameter = frame.OptionsStrip()->currentWidget()->findChild<QLineEdit*>("diameter");
        QVERIFY(diameter);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_BracketRight);
        QCOMPARE(diameter->text(), QString("13"));
    }

    void colourKeys() {
        Program program;
        CMainFrame& frame = program.Frame();
        ColorPair& pair = frame.Tools().Colors();
        pair.SetForeground(Rgb(10, 20, 30));
        // Without a document the frame takes the keys.
        frame.activateWindow();
        frame.setFocus();
        QTest::keyClick(&frame, 'X');
        QCOMPARE(pair.Foreground(), ColorPair::kDefaultBackground);
        QCOMPARE(pair.Background(), Rgb(10, 20, 30));
        CZelvoView* view = OpenView(frame, 100, 100);
        QVERIFY(view);
        QTest::keyClick(view, 'D');
        QCOMPARE(pair.Foreground(), ColorPair::kDefaultForeground);
        QCOMPARE(pair.Background(), ColorPair::kDefaultBackground);
    }

    void thePaletteShowsTheCurrentToolWhicheverWayItChanged() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        ToolController& tools = frame.Tools();
        CToolsPalette* palette = frame.ToolsPalette();
        QCOMPARE(palette->ShownTool(), int(kToolHand));
        for (const ToolInfo& t : ToolTable())
            QVERIFY2(palette->Button(t.id)->isEnabled(), t.tooltip);
        struct Row {
            int button;  // a palette button, or 0 for the key
            char key;
            ToolId tool;
        };
        const Row rows[] = {
            {0, 'M', kToolRectMarquee},
            {kToolBrush, 0, kToolBrush},
            {0, 'M', kToolRectMarquee},
            {0, 'M', kToolEllipseMarquee},
            {kToolRectMarquee, 0, kToolRectMarquee},
            {kToolRectMarquee, 0, kToolRectMarquee},  // a click on the current tool keeps it
            {0, 'B', kToolBrush},
            {kToolPolygon, 0, kToolPolygon},
            {0, 'L', kToolLasso},
            {kToolMeasure, 0, kToolMeasure},
            {0, 'I', kToolEyedropper},
            {kToolZoom, 0, kToolZoom},
            {0, 'H', kToolHand},
        };
        for (const Row& r : rows) {
            frame.Pane(0)->clear();
            if (r.button) {
                QTest::mouseClick(palette->Button(r.button), Qt::LeftButton);
            } else {
                view->setFocus();
                QTest::keyClick(view, r.key);
            }
            QCOMPARE(int(tools.CurrentTool()), int(r.tool));
            QCOMPARE(palette->ShownTool(), int(r.tool));
            QCOMPARE(frame.Pane(0)->text().toStdString(), std::string(FindTool(r.tool)->hint));
        }
        // Space and Ctrl lend the Hand and Move tools for one press: the tool stays.
        QTest::keyClick(view, 'B');
        QTest::keyPress(view, Qt::Key_Space);
        QCOMPARE(palette->ShownTool(), int(kToolBrush));
        QTest::keyRelease(view, Qt::Key_Space);
        QCOMPARE(palette->ShownTool(), int(kToolBrush));
        // While a polygon is drawn the switch is refused: the button does not stay pressed.
        QTest::keyClick(view, 'L');
        QTest::keyClick(view, 'L');
        QCOMPARE(int(tools.CurrentTool()), int(kToolPolygon));
        for (Point c : {Point{10, 10}, Point{100, 10}})
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, ClientOf(view, c));
        QVERIFY(tools.IsBusy());
        QTest::mouseClick(palette->Button(kToolBrush), Qt::LeftButton);
        QCOMPARE(int(tools.CurrentTool()), int(kToolPolygon));
        QCOMPARE(palette->ShownTool(), int(kToolPolygon));
        QVERIFY(!palette->Button(kToolBrush)->isChecked());
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!tools.IsBusy());
        QTest::mouseClick(palette->Button(kToolBrush), Qt::LeftButton);
        QCOMPARE(palette->ShownTool(), int(kToolBrush));
    }

    void bothPalettesShowTheColourPairAtOnce() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 100, 100);
        QVERIFY(view);
        ColorPair& pair = frame.Tools().Colors();
        CToolsPalette* tools = frame.ToolsPalette();
        CColorPalette* colors = frame.ColorPalette();
        const ColorRef red = Rgb(200, 30, 40), blue = Rgb(10, 20, 230);
        struct Row {
            const char* what;
            std::function<void()> act;
            ColorRef fg, bg;
        };
        const Row rows[] = {
            {"pair", [&] { pair.SetForeground(red); }, red, ColorPair::kDefaultBackground},
            {"X", [&] { QTest::keyClick(view, 'X'); }, ColorPair::kDefaultBackground, red},
            {"D", [&] { QTest::keyClick(view, 'D'); }, ColorPair::kDefaultForeground,
             ColorPair::kDefaultBackground},
            {"background swatch",
             [&] {
                 WhenModal([](QWidget* w) {
                     auto* chooser = qobject_cast<QColorDialog*>(w);
                     if (!chooser) return;
                     chooser->setCurrentColor(QColor(10, 20, 230));
                     chooser->accept();
                 });
                 QTest::mouseClick(tools->Swatch(kBackgroundSwatch), Qt::LeftButton, {},
                                   QPoint(30, 30));  // off the foreground swatch
             },
             ColorPair::kDefaultForeground, blue},
            {"cancelled chooser",
             [&] {
                 WhenModal([](QWidget* w) {
                     if (auto* chooser = qobject_cast<QColorDialog*>(w)) chooser->reject();
                 });
                 QTest::mouseClick(tools->Swatch(kForegroundSwatch), Qt::LeftButton);
             },
             ColorPair::kDefaultForeground, blue},
            {"swap button", [&] { QTest::mouseClick(tools->Button(kSwapColors), Qt::LeftButton); },
             blue, ColorPair::kDefaultForeground},
            {"color palette",
             [&] {
                 WhenModal([](QWidget* w) {
                     auto* chooser = qobject_cast<QColorDialog*>(w);
                     if (!chooser) return;
                     chooser->setCurrentColor(QColor(200, 30, 40));
                     chooser->accept();
                 });
                 QTest::mouseClick(colors, Qt::LeftButton, {},
                                   CColorPalette::ForegroundRect().center());
             },
             red, ColorPair::kDefaultForeground},
            {"default button",
             [&] { QTest::mouseClick(tools->Button(kDefaultColors), Qt::LeftButton); },
             ColorPair::kDefaultForeground, ColorPair::kDefaultBackground},
        };
        for (const Row& r : rows) {
            r.act();
            QVERIFY2(pair.Foreground() == r.fg && pair.Background() == r.bg, r.what);
            // What both palettes draw now, without waiting for anything else to repaint them.
            QVERIFY2(ShownColor(tools->Swatch(kForegroundSwatch), {18, 18}) == r.fg, r.what);
            QVERIFY2(ShownColor(tools->Swatch(kBackgroundSwatch), {30, 30}) == r.bg, r.what);
            QVERIFY2(ShownColor(colors, CColorPalette::ForegroundRect().center()) == r.fg, r.what);
            QVERIFY2(ShownColor(colors, CColorPalette::BackgroundRect().bottomRight() -
                                            QPoint(4, 4)) == r.bg,
                     r.what);
        }
    }

    void plainCursorsFromTheViewMenu() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        QAction* plain = frame.Action(kIdPlainCursors);
        QVERIFY(plain && plain->isCheckable());
        const ToolId tools[] = {kToolBrush, kToolRectMarquee, kToolZoom, kToolHand, kToolMove};
        std::map<int, Qt::CursorShape> own;
        for (ToolId t : tools) {
            QVERIFY(frame.Tools().SelectTool(t));
            own[t] = view->viewport()->cursor().shape();
        }
        QCOMPARE(own[kToolBrush], Qt::BitmapCursor);
        QSettings settings(QString::fromStdString(ConfigPath("zelvo.ini")), QSettings::IniFormat);
        for (bool on : {true, false}) {
            frame.UpdateCommandUI();
            QCOMPARE(plain->isChecked(), !on);
            QVERIFY(frame.Tools().SelectTool(kToolBrush));
            plain->trigger();
            QCOMPARE(plain->isChecked(), on);
            QCOMPARE(frame.Tools().PlainCursors(), on);
            settings.sync();
            QCOMPARE(settings.value("Tools/PlainCursors").toBool(), on);
            // The pointer of the tool in hand changes at once, without a move over the view.
            QCOMPARE(view->viewport()->cursor().shape(), on ? Qt::ArrowCursor : Qt::BitmapCursor);
            for (ToolId t : tools) {
                QVERIFY(frame.Tools().SelectTool(t));
                const bool standard = on && t != kToolHand && t != kToolMove;
                QCOMPARE(view->viewport()->cursor().shape(), standard ? Qt::ArrowCursor : own[t]);
            }
        }
    }

    void zoomCommandsStepThroughTheZoomTool() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        view->ApplyZoom(1.0f);
        frame.UpdateCommandUI();
        frame.Action(kIdZoomIn)->trigger();
        QVERIFY(qAbs(view->Zoom() - 1.331f) < 0.001f);
        QCOMPARE(frame.Tools().Options().Get(kToolZoom, "zoom"), std::string("in"));
        QCOMPARE(frame.Pane(1)->text(), QString::fromUtf8("Show ratio：133%"));
        frame.Action(kIdZoomOut)->trigger();
        QVERIFY(qAbs(view->Zoom() - 1.0f) < 0.001f);
        QCOMPARE(frame.Tools().Options().Get(kToolZoom, "zoom"), std::string("out"));
        // A command ends a polygon in progress as its closing would.
        QTest::keyClick(view, 'L');
        QTest::keyClick(view, 'L');
        QCOMPARE(int(frame.Tools().CurrentTool()), int(kToolPolygon));
        for (Point c : {Point{10, 10}, Point{100, 10}, Point{100, 80}})
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, ClientOf(view, c));
        QVERIFY(frame.Tools().IsBusy());
        frame.OnCommand(kIdActualPixels);
        QVERIFY(!frame.Tools().IsBusy());
        QCOMPARE(LastStateName(view->GetImage()), std::string("Polygonal Select"));
    }
};

QObject* MakeToolsGuiTest() {
    return new ToolsGuiTest;
}

#include "ToolsGuiTest.moc"
