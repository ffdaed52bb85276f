// The palettes: F4-F8 and "~", Reset Palette Locations for both screen classes, the Layers
// and History palettes over a real document, the Color and Tools palettes.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CColorPalette.h"
#include "app/CHistoryPalette.h"
#include "app/CLayersPalette.h"
#include "app/CToolsPalette.h"
#include "app/ToolIcons.h"
#include "app/WindowLayout.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"
#include "layerops/LayersPaletteModel.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

bool AllShown(CMainFrame& f) {
    for (int p = 0; p < CMainFrame::kPaletteCount; ++p)
        if (f.Palette(p)->isHidden()) return false;
    return true;
}
bool AllHidden(CMainFrame& f) {
    for (int p = 0; p < CMainFrame::kPaletteCount; ++p)
        if (!f.Palette(p)->isHidden()) return false;
    return true;
}

QColor PixelAt(QWidget* w, QPoint at) {
    return w->grab().toImage().pixelColor(at);
}

// One notch of the wheel over `w`, down (towards the user) when `down`.
void WheelOver(QWidget* w, bool down) {
    const QPointF at(10, 10);
    QWheelEvent e(at, w->mapToGlobal(at), {}, QPoint(0, down ? -120 : 120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

}  // namespace

class PalettesTest : public QObject {
    Q_OBJECT
private slots:
    // QTest installs its own handler when a suite starts; ours goes in front of it.
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void f5TogglesLayersWithoutChangingTilde() {
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QDockWidget* layers = frame.Palette(CMainFrame::kLayers);
        QVERIFY(AllShown(frame));
        QTest::keyClick(&frame, Qt::Key_F5);
        QVERIFY(layers->isHidden());
        QVERIFY(frame.GetWorkspace().PalettesShown());
        QTest::keyClick(&frame, Qt::Key_F5);  // shown again, Show/Hide All unchanged
        QVERIFY(!layers->isHidden());
        QTest::keyClick(&frame, Qt::Key_F5);
        QTest::keyClick(&frame, Qt::Key_AsciiTilde);  // palettes were "shown": all hide
        QVERIFY(AllHidden(frame));
        QVERIFY(!frame.GetWorkspace().PalettesShown());
        QTest::keyClick(&frame, Qt::Key_F5);  // F5 on the hidden Layers palette shows it
        QVERIFY(!layers->isHidden());
        QVERIFY(frame.Palette(CMainFrame::kHistory)->isHidden());
        QTest::keyClick(&frame, Qt::Key_1, Qt::ControlModifier);  // so Show/Hide All shows all
        QVERIFY(AllShown(frame));
        QVERIFY(frame.GetWorkspace().PalettesShown());
        for (int key : {Qt::Key_F4, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8})
            QTest::keyClick(&frame, Qt::Key(key));
        QVERIFY(frame.Palette(CMainFrame::kTools)->isHidden());
        QVERIFY(frame.Palette(CMainFrame::kHistory)->isHidden());
        QVERIFY(frame.Palette(CMainFrame::kColor)->isHidden());
        QVERIFY(frame.Palette(CMainFrame::kNavigator)->isHidden());
        QVERIFY(!layers->isHidden());
    }

    // A palette docked into the frame would lie behind the floating ones; its title only
    // closes it, and a double-click on the title leaves it where it is.
    void paletteTitlesNeverDock() {
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        for (int p = 0; p < CMainFrame::kPaletteCount; ++p) {
            QDockWidget* dock = frame.Palette(p);
            QVERIFY(dock->isFloating());
            for (auto* b : dock->findChildren<QAbstractButton*>("dockWidgetFloatButton"))
                QVERIFY(!b->isVisible());
            for (Qt::DockWidgetArea a : {Qt::LeftDockWidgetArea, Qt::RightDockWidgetArea,
                                         Qt::TopDockWidgetArea, Qt::BottomDockWidgetArea})
                QVERIFY(!dock->isAreaAllowed(a));  // a drag over the frame's edge docks nothing
            const QPoint before = dock->frameGeometry().topLeft();
            QWidget* title = dock->titleBarWidget() ? dock->titleBarWidget() : dock;
            QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(20, 6));
            QVERIFY(dock->isFloating());
            QCOMPARE(dock->frameGeometry().topLeft(), before);
            auto* close = dock->findChild<QToolButton*>("paletteClose");
            QVERIFY(close);
            QTest::mouseClick(close, Qt::LeftButton);
            QVERIFY(dock->isHidden());
        }
    }

    void resetPaletteLocationsForBothScreenClasses() {
        Program program;
        CMainFrame& frame = program.Frame();
        frame.ToggleAllPalettes();
        QVERIFY(AllHidden(frame));
        frame.OnCommand(kIdResetPalettes);
        QVERIFY(AllShown(frame));
        QVERIFY(frame.GetWorkspace().PalettesShown());
        // The table's places count from the client area below the menu bar.
        const Rect area = frame.PaletteArea();
        QCOMPARE(frame.Palette(CMainFrame::kNavigator)->frameGeometry().topLeft(),
                 QPoint(area.right - 224, area.top + 75));
        QCOMPARE(frame.Palette(CMainFrame::kTools)->frameGeometry().topLeft(),
                 QPoint(area.left + 5, area.top + 75));

        // Palettes that leave room for one another take the table's places exactly.
        const PalettePlaces small = {Rect{0, 0, 200, 30}, Rect{0, 0, 200, 30}, Rect{0, 0, 200, 30},
                                     Rect{0, 0, 200, 30}, Rect{0, 0, 90, 400}};
        struct Case {
            Rect area;
            bool smaller;
            int x, colorY, historyY, layersY;
        };
        const Case cases[] = {
            {{0, 0, 800, 600}, true, 576, 115, 155, 305},
            {{0, 0, 1280, 1024}, false, 1056, 206, 327, 478},
            {{0, 40, 1024, 700}, true, 800, 115, 155, 305},  // one side below counts
        };
        for (const Case& c : cases) {
            const PalettePlaces p = DefaultPalettePlaces(c.area, c.smaller, small);
            const int top = c.area.top;
            QCOMPARE(p[0], (Rect{c.x, top + 75, c.x + 200, top + 105}));
            for (int i = 1; i < 4; ++i) QCOMPARE(p[size_t(i)].left, c.x);
            QCOMPARE(p[1].top, top + c.colorY);
            QCOMPARE(p[2].top, top + c.historyY);
            QCOMPARE(p[3].top, top + c.layersY);
            QCOMPARE(p[4], (Rect{5, top + 75, 95, top + 475}));
        }
    }

    void layersPaletteRowsAndClicks() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = frame.NewDocument({60, 40, 2834});
        QVERIFY(child);
        Image& image = child->GetImage();
        LayerManager& layers = image.Layers();
        QVERIFY(layers.AppendLayer(60, 40, LayerKind::Pixel));
        QVERIFY(layers.AppendLayer(0, 0, LayerKind::Null));
        QCOMPARE(layers.LayerCount(), 3);
        frame.RefreshPalettes();
        CLayersPalette* palette = frame.LayersPalette();
        QCOMPARE(palette->Document(), &image);
        // The top layer is the top row.
        QCOMPARE(palette->LayerIndexOfRow(0), 2);
        QCOMPARE(palette->LayerIndexOfRow(2), 0);
        QCOMPARE(palette->LayerIndexOfRow(3), -1);
        QVERIFY(!palette->ScrollBar()->isEnabled());

        // A click on the kind column makes that layer current and paints its row.
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, {}, QPoint(100, 2 * 25 + 10));
        QCOMPARE(layers.CurrentIndex(), 0);
        QCOMPARE(PixelAt(palette->RowsArea(), QPoint(175, 2 * 25 + 3)), QColor(10, 36, 106));
        QVERIFY(PixelAt(palette->RowsArea(), QPoint(175, 3)) != QColor(10, 36, 106));
        // A click on the first column flips the visibility of that row's layer only.
        const int before = image.History().StateCount();
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, {}, QPoint(10, 25 + 10));
        QVERIFY(!layers.LayerAt(1)->IsVisible());
        QVERIFY(layers.LayerAt(0)->IsVisible());
        QCOMPARE(image.History().StateCount(), before);  // no history step
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, {}, QPoint(10, 25 + 10));
        QVERIFY(layers.LayerAt(1)->IsVisible());
        // A right click makes its row's layer current and opens the Layer menu there.
        QStringList offered;
        QTimer::singleShot(0, [&offered] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                for (QAction* a : popup->actions()) offered << a->text();
                popup->close();
            }
        });
        QTest::mouseClick(palette->RowsArea(), Qt::RightButton, {}, QPoint(100, 25 + 10));
        QCOMPARE(layers.CurrentIndex(), 1);
        QVERIFY2(offered.contains("New Layer") && offered.contains("Delete Layer"),
                 qPrintable(offered.join(", ")));
        // The stack buttons are offered with a document.
        QVERIFY(palette->NewLayerButton()->isEnabled());
        QVERIFY(palette->DeleteLayerButton()->isEnabled());

        // Seven layers bring the scroll bar.
        for (int i = 0; i < 4; ++i) QVERIFY(layers.AppendLayer(0, 0, LayerKind::Null));
        palette->Refresh();
        QVERIFY(palette->ScrollBar()->isEnabled());
        palette->ScrollBar()->setValue(1);
        QCOMPARE(palette->LayerIndexOfRow(0), 5);
        // The wheel over the rows scrolls them.
        WheelOver(palette->RowsArea(), false);
        QCOMPARE(palette->LayerIndexOfRow(0), 6);
        WheelOver(palette->RowsArea(), true);
        QVERIFY(palette->LayerIndexOfRow(0) < 6);
    }

    void layersPaletteOpacity() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = frame.NewDocument({30, 20, 2834});
        Image& image = child->GetImage();
        frame.RefreshPalettes();
        CLayersPalette* palette = frame.LayersPalette();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QCOMPARE(palette->OpacitySlider()->value(), 100);
        QCOMPARE(palette->OpacityEdit()->text(), QString("100%"));
        QCOMPARE(palette->OpacitySlider()->toolTip(), QString("Set the transparency of layers"));
        palette->OpacityEdit()->setText("40");
        emit palette->OpacityEdit()->editingFinished();
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 40);
        QCOMPARE(palette->OpacitySlider()->value(), 40);
        QCOMPARE(image.History().StateCount(), 2);
        QCOMPARE(HistoryPalette::RowText(image.History(), 2), std::string("Set Layer Opacity"));
        // Text that is no number is ignored; "0" is taken.
        palette->OpacityEdit()->setText("abc");
        emit palette->OpacityEdit()->editingFinished();
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 40);
        palette->OpacityEdit()->setText("0");
        emit palette->OpacityEdit()->editingFinished();
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 0);
        // Typed in the box (it keeps the focus), a refused value and an untidy one both leave
        // the box showing the opacity in force.
        palette->OpacityEdit()->window()->activateWindow();
        palette->OpacityEdit()->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return palette->OpacityEdit()->hasFocus(); }));
        for (const auto& [typed, shown] : {std::pair{"150", "0%"}, std::pair{"060", "60%"}}) {
            palette->OpacityEdit()->setText(typed);
            emit palette->OpacityEdit()->editingFinished();
            QCOMPARE(palette->OpacityEdit()->text(), QString(shown));
        }
        palette->OpacityEdit()->setText("0");
        emit palette->OpacityEdit()->editingFinished();
        // Undo gives back the opacity from before the first change of the layer (coalesced).
        frame.UpdateCommandUI();
        QCOMPARE(frame.Action(kCmdUndoRedo)->text(), QString("Undo\tCtrl+Z"));
        QVERIFY(frame.Action(kCmdStepForward)->isEnabled());
        QVERIFY(!frame.Action(kCmdStepBackward)->isEnabled());
        QTest::keyClick(&frame, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 100);
        frame.UpdateCommandUI();
        QCOMPARE(frame.Action(kCmdUndoRedo)->text(), QString("Redo\tCtrl+Z"));
        QVERIFY(frame.Action(kCmdStepBackward)->isEnabled());
        frame.OnCommand(kCmdStepBackward);
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 0);
        // Enter in the box hands the keyboard back: Ctrl+Z is then the menu's Undo, not the
        // box's own.
        QLineEdit* box = palette->OpacityEdit();
        box->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return box->hasFocus(); }));
        box->selectAll();
        QTest::keyClicks(box, "30");
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 30);
        QWidget* keys = QApplication::focusWidget();
        QVERIFY(keys != box);
        QTest::keyClick(keys ? keys : palette, Qt::Key_Z, Qt::ControlModifier);
        // The change joined the layer's opacity state: the undo goes back before it.
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 100);
    }

    void historyPaletteClickAndDelete() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = frame.NewDocument({30, 20, 2834});
        Image& image = child->GetImage();
        frame.RefreshPalettes();
        frame.LayersPalette()->OpacityEdit()->setText("50");
        emit frame.LayersPalette()->OpacityEdit()->editingFinished();
        HistoryManager& history = image.History();
        QCOMPARE(history.StateCount(), 2);
        CHistoryPalette* palette = frame.HistoryPalette();
        palette->Refresh();
        QCOMPARE(HistoryPalette::RowText(history, 0), std::string("##Start:  Open New Image"));
        // The shown row is filled; the start row is not.
        QCOMPARE(PixelAt(palette->ListArea(), QPoint(170, 2 * 25 + 20)), QColor(10, 36, 106));
        QVERIFY(PixelAt(palette->ListArea(), QPoint(170, 20)) != QColor(10, 36, 106));
        QVERIFY(!palette->ScrollBar()->isEnabled());  // fewer than 4 states

        // A click goes to the row.
        QTest::mouseClick(palette->ListArea(), Qt::LeftButton, {}, QPoint(50, 30));
        QCOMPARE(history.CurrentStateIndex(), 1);
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 100);
        QTest::mouseClick(palette->ListArea(), Qt::LeftButton, {}, QPoint(50, 10));
        QVERIFY(history.ShowingStart());
        QTest::mouseClick(palette->ListArea(), Qt::LeftButton, {}, QPoint(50, 60));
        QVERIFY(!history.ShowingStart());
        QCOMPARE(history.CurrentStateIndex(), 2);

        // Delete asks; No keeps the state, Yes removes it.
        QCOMPARE(palette->DeleteButton()->geometry(), QRect(135, 106, 50, 22));
        QCOMPARE(palette->DeleteButton()->toolTip(), QString("Delete current state"));
        program.Messages().QueueAnswer(Answer::No);
        QTest::mouseClick(palette->DeleteButton(), Qt::LeftButton);
        QCOMPARE(program.Messages().Last(), std::string("Whether delete history record?"));
        QCOMPARE(history.StateCount(), 2);
        program.Messages().QueueAnswer(Answer::Yes);
        QTest::mouseClick(palette->DeleteButton(), Qt::LeftButton);
        QCOMPARE(history.StateCount(), 1);
        QCOMPARE(history.CurrentStateIndex(), 1);
        QCOMPARE(image.Layers().CurrentLayer()->Opacity(), 100);
    }

    void historyPaletteScrollsWithManyStates() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = frame.NewDocument({30, 20, 2834})->GetImage();
        frame.RefreshPalettes();
        LayerManager& layers = image.Layers();
        // Alternate two layers so that opacity steps do not coalesce.
        QVERIFY(layers.AppendLayer(30, 20, LayerKind::Pixel));
        for (int i = 0; i < 5; ++i) {
            layers.SelectLayerByIndex(1 + i % 2);
            frame.RefreshPalettes();
            frame.LayersPalette()->OpacityEdit()->setText(QString::number(10 + i));
            emit frame.LayersPalette()->OpacityEdit()->editingFinished();
        }
        HistoryManager& history = image.History();
        QCOMPARE(history.StateCount(), 6);
        frame.HistoryPalette()->Refresh();
        QScrollBar* bar = frame.HistoryPalette()->ScrollBar();
        QVERIFY(bar->isEnabled());
        // The newest row is in view after recording: offset 25 x count - 75.
        QCOMPARE(history.ScrollOffset(), 25 * 6 - 75);
        QCOMPARE(bar->value(), 25 * 6 - 75);
        QCOMPARE(bar->singleStep(), 25);
        QCOMPARE(bar->pageStep(), 50);
        bar->setValue(0);
        QCOMPARE(history.ScrollOffset(), 0);
        // The wheel over the rows scrolls them.
        WheelOver(frame.HistoryPalette()->ListArea(), true);
        QVERIFY(history.ScrollOffset() > 0);
        WheelOver(frame.HistoryPalette()->ListArea(), false);
        QCOMPARE(history.ScrollOffset(), 0);
    }

    void colorPaletteOpensTheChooser() {
        Program program;
        CColorPalette* palette = program.Frame().ColorPalette();
        QCOMPARE(palette->Foreground(), Rgb(0, 0, 0));
        QCOMPARE(palette->Background(), Rgb(255, 255, 255));
        WhenModal([](QWidget* w) {
            auto* chooser = qobject_cast<QColorDialog*>(w);
            if (!chooser) return;
            chooser->setCurrentColor(QColor(200, 30, 40));
            chooser->accept();
        });
        QTest::mouseClick(palette, Qt::LeftButton, {},
                          CColorPalette::ForegroundRect().topLeft() + QPoint(5, 5));
        QCOMPARE(palette->Foreground(), Rgb(200, 30, 40));
        WhenModal([](QWidget* w) {
            if (auto* chooser = qobject_cast<QColorDialog*>(w)) chooser->reject();
        });
        QTest::mouseClick(palette, Qt::LeftButton, {},
                          CColorPalette::BackgroundRect().bottomRight() - QPoint(5, 5));
        QCOMPARE(palette->Background(), Rgb(255, 255, 255));
    }

    void toolsPaletteHasEveryTool() {
        Program program;
        CToolsPalette* tools = program.Frame().ToolsPalette();
        const int ids[] = {1025, 1026, 1031, 1032, 1034, 1039, 1041, 1070, 1073,
                           1074, 1075, 1076, 1077, 1080, 1082, 1092, 1102, 1105,
                           1107, 1115, 1117, 1122, 1125, 1126, 1142, 1143};
        for (int id : ids) QVERIFY2(tools->Button(id), qPrintable(QString::number(id)));
        QCOMPARE(tools->Button(1025)->toolTip(), QString("Hand Tool (H)"));
        QCOMPARE(tools->Button(1041)->toolTip(), QString("Curve Tool (p)"));
        QCOMPARE(tools->Button(1142)->toolTip(),
                 QString("Switch Foreground and Background Colors (X)"));
        QVERIFY(tools->Button(1025)->isChecked());
        QVERIFY(tools->Button(1025)->isEnabled());
        QVERIFY(tools->Button(1034)->isEnabled());
        QTest::mouseClick(tools->Button(1025), Qt::LeftButton);
        QCOMPARE(program.Frame().Pane(0)->text(),
                 QString("Click and drag to scroll image in desired direction."));
    }

    void iconsForEveryToolCrispAtEveryRatio() {
        Program program;
        CToolsPalette* tools = program.Frame().ToolsPalette();
        for (const ToolButtonSpec& spec : CToolsPalette::Buttons()) {
            const QString id = QString::number(spec.id);
            QVERIFY2(IconResourceValid(ToolIconPath(spec.id)), qPrintable(id));
            QVERIFY2(!tools->Button(spec.id)->icon().isNull(), qPrintable(id));
            for (qreal ratio : {1.0, 1.5, 2.0}) {
                // Drawn at the screen's pixels, not scaled up from a small picture.
                const QPixmap normal = tools->Button(spec.id)->icon().pixmap(
                    QSize(22, 22), ratio, QIcon::Normal, QIcon::Off);
                const QPixmap selected = tools->Button(spec.id)->icon().pixmap(
                    QSize(22, 22), ratio, QIcon::Normal, QIcon::On);
                QCOMPARE(normal.size(), (QSizeF(22, 22) * ratio).toSize());
                QCOMPARE(normal.devicePixelRatio(), ratio);
                const QImage n = normal.toImage(), s = selected.toImage();
                int drawn = 0, lighter = 0;
                for (int y = 0; y < n.height(); ++y)
                    for (int x = 0; x < n.width(); ++x) {
                        if (qAlpha(n.pixel(x, y)) < 64) continue;
                        ++drawn;
                        if (qGray(s.pixel(x, y)) > qGray(n.pixel(x, y))) ++lighter;
                    }
                QVERIFY2(drawn >= n.width() / 2, qPrintable(id + " draws nothing"));
                QVERIFY2(lighter > 0, qPrintable(id + " has no selected look"));
            }
        }
        for (const char* name : {"layer-new", "layer-delete", "layer-up", "layer-down",
                                 "history-delete", "zoom-in", "zoom-out"})
            QVERIFY2(IconResourceValid(PaletteIconPath(name)), name);
        QVERIFY(!program.Frame().LayersPalette()->NewLayerButton()->icon().isNull());
        // The selected tool's button is filled with the selection colour.
        QToolButton* hand = tools->Button(1025);
        QVERIFY(hand->isChecked());
        QCOMPARE(hand->grab().toImage().pixelColor(2, hand->height() / 2), kToolSelectedFill);
    }

    void layersPaletteShowsEachLayersPicture() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = frame.NewDocument({60, 40, 2834});
        QVERIFY(child);
        frame.RefreshPalettes();
        CLayersPalette* palette = frame.LayersPalette();
        const int mid = CLayersPalette::kThumbnailSide / 2;
        QCOMPARE(palette->Thumbnail(0).pixelColor(mid, mid), QColor(Qt::white));
        // A command that changes the layer's pixels shows at once.
        frame.OnCommand(MenuCommandId("&Image/Adjustments", "Invert"));
        QCOMPARE(palette->Thumbnail(0).pixelColor(mid, mid), QColor(Qt::black));
        QVERIFY(palette->Thumbnail(5).isNull());
        // Drawn in the row beside the name.
        const QImage rows = palette->RowsArea()->grab().toImage();
        QCOMPARE(rows.pixelColor(LayersPaletteModel::kLinkRight + 2 + mid, 12), QColor(Qt::black));
    }
};

QObject* MakePalettesTest() {
    return new PalettesTest;
}

#include "PalettesTest.moc"
