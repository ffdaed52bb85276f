// The crop, measure and eyedropper tools on a real view: the crop page's frame buttons, shade and
// presets, the measure read-outs and Clear, the swatches following the eyedropper.
#include <fstream>
#include <functional>

#include <cstdlib>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "app/CChildFrame.h"
#include "app/CColorPalette.h"
#include "app/CNavigatorPalette.h"
#include "app/CToolsPalette.h"
#include "app/CZelvoView.h"
#include "app/tests/GuiTestSupport.h"
#include "commands/CommandIds.h"
#include "curves/Shapes.h"
#include "doc/Image.h"
#include "history/HistoryManager.h"
#include "history/HistoryState.h"
#include "tools/CropTool.h"
#include "tools/MeasureTool.h"
#include "tools/ToolController.h"
#include "tools/ToolTable.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

// Whether the navigator's thumbnail shows `c` (within a step of smoothing) at the fraction
// (fx, fy) of its width and height.
bool ThumbnailShows(CMainFrame& frame, double fx, double fy, ColorRef c) {
    const QImage& t = frame.NavigatorPalette()->Thumbnail();
    if (t.isNull()) return false;
    const QColor shown = t.pixelColor(int(fx * t.width()), int(fy * t.height()));
    return std::abs(shown.red() - RedOf(c)) <= 4 && std::abs(shown.green() - GreenOf(c)) <= 4 &&
           std::abs(shown.blue() - BlueOf(c)) <= 4;
}

}  // namespace

class CropMeasureGuiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void cropPageFollowsTheFrame() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = ReadyView(frame.NewDocument({300, 200, 2834}), {700, 500}, true);
        QVERIFY(view);
        Image& image = view->GetImage();
        const std::string start = LastStateName(image);
        QTest::keyClick(view, 'C');
        QCOMPARE(int(frame.Tools().CurrentTool()), int(kToolCrop));
        auto* commit = PageChild<QPushButton>(frame, "Commit");
        auto* cancel = PageChild<QPushButton>(frame, "Cancel");
        auto* shield = PageChild<QCheckBox>(frame, "Shield");
        QVERIFY(commit && cancel && shield);
        QWidget* page = frame.OptionsStrip()->currentWidget();
        auto shown = [&](bool open) {
            return commit->isVisibleTo(page) == open && cancel->isVisibleTo(page) == open &&
                   shield->isVisibleTo(page) == open;
        };
        auto shade = [view] { return view->viewport()->findChild<QWidget*>("CropShade"); };
        QVERIFY(shown(false));
        QVERIFY(!shade());

        // Both ways a frame ends: the buttons and the shade follow it.
        struct Row {
            QPushButton* button;
            QSize size;
            std::string state;
        };
        const Row rows[] = {{cancel, {300, 200}, start}, {commit, {120, 80}, "Crop"}};
        for (const Row& r : rows) {
            Drag(view->viewport(),
                 {ClientOf(view, {20, 30}), ClientOf(view, {80, 70}), ClientOf(view, {140, 110})});
            QVERIFY(frame.Tools().CropFrame()->Frame().has_value());
            QVERIFY(WaitFor([&] { return shown(true) && shade() && shade()->isVisible(); }));
            QCOMPARE(frame.Pane(0)->text(),
                     QString("Submitted by the Enter key, press Esc key to cancel."));
            // Zoom In waits for the frame, which stays open.
            frame.UpdateCommandUI();
            QVERIFY(!frame.Action(kIdZoomIn)->isEnabled());
            const float zoom = view->Model().Zoom();
            frame.OnCommand(kIdZoomIn);
            QCOMPARE(view->Model().Zoom(), zoom);
            QVERIFY(frame.Tools().IsBusy());
            // Actual Pixels acts, and the frame stays open all the same.
            frame.OnCommand(kIdActualPixels);
            QCOMPARE(view->Model().Zoom(), 1.0f);
            QVERIFY(frame.Tools().IsBusy());
            QVERIFY(frame.Tools().CropFrame()->Frame().has_value());
            // "Shield" off takes the shade away, on brings it back.
            shield->click();
            QVERIFY(WaitFor([&] { return !shade(); }));
            shield->click();
            QVERIFY(WaitFor([&] { return shade() != nullptr; }));
            r.button->click();
            QVERIFY(!frame.Tools().CropFrame()->Frame().has_value());
            QVERIFY(WaitFor([&] { return shown(false) && !shade(); }));
            QCOMPARE(QSize(image.Width(), image.Height()), r.size);
            QCOMPARE(LastStateName(image), r.state);
            QCOMPARE(frame.Pane(0)->text().toStdString(), std::string(FindTool(kToolCrop)->hint));
        }

        // Image > Crop commits an open frame as "Commit" does and is disabled without one;
        // Undo, which cannot run past an open frame, is disabled while it is open.
        frame.UpdateCommandUI();
        QVERIFY(!frame.Action(kIdCrop)->isEnabled() && frame.Action(kCmdUndoRedo)->isEnabled());
        Drag(view->viewport(),
             {ClientOf(view, {10, 10}), ClientOf(view, {40, 30}), ClientOf(view, {70, 50})});
        QVERIFY(frame.Tools().CropFrame()->Frame().has_value());
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdCrop)->isEnabled() && !frame.Action(kCmdUndoRedo)->isEnabled());
        frame.OnCommand(kIdCrop);
        QVERIFY(!frame.Tools().CropFrame()->Frame().has_value() && !frame.Tools().IsBusy());
        QCOMPARE(QSize(image.Width(), image.Height()), QSize(60, 40));

        // "+" keeps the bar's size as a preset shown in the combo; "-" takes it away again.
        auto* presets = PageChild<QComboBox>(frame, "presets");
        QVERIFY(presets);
        ToolOptions& options = frame.Tools().Options();
        options.SetStored(kToolCrop, "width", "640");
        options.SetStored(kToolCrop, "height", "480");
        const int before = presets->count();
        PageChild<QPushButton>(frame, "+")->click();
        QCOMPARE(presets->count(), before + 1);
        QCOMPARE(presets->currentText(), QString("640.00x480.00 Pixels"));
        PageChild<QPushButton>(frame, "-")->click();
        QCOMPARE(presets->count(), before);
        // "<>" exchanges the sizes.
        PageChild<QPushButton>(frame, "<>")->click();
        QCOMPARE(options.Get(kToolCrop, "width"), std::string("480"));
        QCOMPARE(options.Get(kToolCrop, "height"), std::string("640"));
    }

    void theStatusPaneShowsWholeHints() {
        Program program;
        CMainFrame& frame = program.Frame();
        frame.resize(1280, 700);
        QLabel* pane = frame.Pane(0);
        std::vector<std::string> texts = {"Ctrl+Enter key to submit. Esc key to cancel.",
                                          "Alt + mouse wheel，zoom display image."};
        for (const ToolInfo& t : ToolTable()) texts.push_back(t.hint);
        for (const std::string& text : texts) {
            frame.Tools().ShowStatus(text);
            QCOMPARE(pane->text(), QString::fromStdString(text));
            const int needed =
                pane->fontMetrics().horizontalAdvance(pane->text()) + 2 * pane->frameWidth();
            QVERIFY2(WaitFor([&] { return pane->width() >= std::max(needed, 200); }), text.c_str());
            // The progress bar keeps clear of pane 1, which moves along.
            QVERIFY2(frame.ProgressBar()->x() > frame.Pane(1)->geometry().right(), text.c_str());
            QVERIFY2(frame.Pane(1)->x() >= pane->geometry().right(), text.c_str());
        }
        // Back to a short text: the pane and the bar return to their places.
        frame.Tools().ShowStatus("Short");
        QVERIFY(WaitFor([&] { return pane->width() == 200; }));
        QCOMPARE(frame.ProgressBar()->geometry(), QRect(655, 2, 130, 16));
    }

    void theNavigatorShowsALayerHeldByAFreeTransform() {
        Program program;
        CMainFrame& frame = program.Frame();
        const ColorRef red = Rgb(200, 30, 40), blue = Rgb(10, 20, 230), white = Rgb(255, 255, 255);
        const std::string path = WriteBmp(program.TempFolder() + "/halves.bmp", 200, 100,
                                          [&](int x, int) { return x < 100 ? red : blue; });
        CZelvoView* view = ReadyView(frame.OpenDocument(path), {700, 500}, true);
        QVERIFY(view);
        const LayerPtr layer = view->GetImage().Layers().CurrentLayer();
        frame.UpdateCommandUI();
        QTest::keyClick(&frame, Qt::Key_T, Qt::ControlModifier);
        QVERIFY(layer->HeldFromDisplay());
        // Held out of the composite, the layer still shows in the thumbnail through its preview.
        QVERIFY(WaitFor([&] {
            return ThumbnailShows(frame, 0.25, 0.5, red) && ThumbnailShows(frame, 0.75, 0.5, blue);
        }));
        // The frame dragged to the top-left quarter: the thumbnail follows, white elsewhere.
        Drag(view->viewport(),
             {ClientOf(view, {200, 100}), ClientOf(view, {150, 75}), ClientOf(view, {100, 50})});
        QVERIFY(WaitFor([&] {
            return ThumbnailShows(frame, 0.12, 0.25, red) &&
                   ThumbnailShows(frame, 0.38, 0.25, blue) &&
                   ThumbnailShows(frame, 0.75, 0.75, white) &&
                   ThumbnailShows(frame, 0.25, 0.75, white);
        }));
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!layer->HeldFromDisplay());
        QVERIFY(WaitFor([&] {
            return ThumbnailShows(frame, 0.25, 0.75, red) &&
                   ThumbnailShows(frame, 0.75, 0.75, blue);
        }));
    }

    void theCurveShapeListPlacesAShape() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = ReadyView(frame.NewDocument({300, 200, 2834}), {700, 500}, true);
        QVERIFY(view);
        Image& image = view->GetImage();
        QTest::keyClick(view, 'P');
        auto* shapes = PageChild<QComboBox>(frame, "shape");
        QVERIFY(shapes);
        QCOMPARE(shapes->count(), kShapeCount + 1);
        for (int i = 0; i <= kShapeCount; ++i)
            QCOMPARE(shapes->itemText(i).toStdString(), ShapeNames()[size_t(i)]);
        QCOMPARE(shapes->currentIndex(), 0);
        const int heart = ShapeIndex("Heart-shaped");
        shapes->setCurrentIndex(heart);
        emit shapes->activated(heart);
        QCOMPARE(frame.Tools().Options().GetInt(kToolCurve, "shape"), heart);
        const int layers = image.Layers().LayerCount();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, ClientOf(view, {40, 30}));
        QCOMPARE(image.Layers().LayerCount(), layers + 1);
        const LayerPtr placed = image.Layers().CurrentLayer();
        QCOMPARE(placed->Anchors().size(), ShapeTemplate(heart).size());
        QCOMPARE(placed->Anchors()[0].point.x, ShapeTemplate(heart)[0].point.x + 40);
        QCOMPARE(frame.Pane(0)->text(), QString("Using Free Transform adjust the size of Curves."));
        // The list follows the model whichever way it changed.
        frame.Tools().Options().Set(kToolCurve, "shape", "2");
        QCOMPARE(shapes->currentIndex(), 2);
    }

    void measurePageShowsTheLineAndClearsIt() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = ReadyView(frame.NewDocument({300, 200, 2834}), {700, 500}, true);
        QVERIFY(view);
        QVERIFY(frame.Tools().SelectTool(kToolMeasure));
        frame.UpdateCommandUI();
        auto text = [&](const char* name) {
            QLabel* l = PageChild<QLabel>(frame, name);
            return l ? l->text() : QString("missing");
        };
        QCOMPARE(text("readout-A"), QString("A:"));
        Drag(view->viewport(),
             {ClientOf(view, {110, 50}), ClientOf(view, {70, 50}), ClientOf(view, {10, 50})});
        QVERIFY(WaitFor([&] { return text("readout-D") == "D:100"; }));
        QCOMPARE(text("readout-X"), QString("X:110"));
        QCOMPARE(text("readout-Y"), QString("Y:50"));
        QCOMPARE(text("readout-W"), QString("W:-100"));
        QCOMPARE(text("readout-H"), QString("H:0"));
        QCOMPARE(text("readout-A"), QString("A:180.00"));
        // The line shows only while the tool is current: a switch either way repaints the view.
        struct PaintCount : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++paints;
                return false;
            }
        } count;
        view->viewport()->installEventFilter(&count);
        for (ToolId tool : {kToolHand, kToolMeasure}) {
            QTest::qWait(50);
            count.paints = 0;
            QVERIFY(frame.Tools().SelectTool(tool));
            QVERIFY(WaitFor([&] { return count.paints > 0; }));
        }
        view->viewport()->removeEventFilter(&count);
        PageChild<QPushButton>(frame, "Clear")->click();
        QCOMPARE(text("readout-D"), QString("D:"));
        QCOMPARE(text("readout-X"), QString("X:"));
        QVERIFY(!frame.Tools().Measure()->Readouts(view->GetImage()));
    }

    void eyedropperColoursTheSwatchesAtOnce() {
        Program program;
        CMainFrame& frame = program.Frame();
        // Left half red, right half blue, one green pixel at (30, 20).
        const ColorRef red = Rgb(200, 30, 40), blue = Rgb(10, 20, 230), green = Rgb(20, 180, 60);
        const std::string path =
            WriteBmp(program.TempFolder() + "/two.bmp", 100, 60, [&](int x, int y) {
                return x == 30 && y == 20 ? green : x < 50 ? red : blue;
            });
        CZelvoView* view = ReadyView(frame.OpenDocument(path), {700, 500}, true);
        QVERIFY(view);
        view->ApplyZoom(4.0f);
        view->Model().ScrollTo(0, 0);
        QVERIFY(frame.Tools().SelectTool(kToolEyedropper));
        const int states = view->GetImage().History().StateCount();
        CToolsPalette* tools = frame.ToolsPalette();
        CColorPalette* colors = frame.ColorPalette();
        ToolOptions& options = frame.Tools().Options();
        auto swatches = [&](ColorRef c) {
            return frame.Tools().Colors().Foreground() == c &&
                   ShownColor(tools->Swatch(kForegroundSwatch), {18, 18}) == c &&
                   ShownColor(colors, CColorPalette::ForegroundRect().center()) == c;
        };
        // The press takes the pixel, each move while pressed the pixel under it: the swatches
        // show each colour before the button comes up.
        QWidget* port = view->viewport();
        const QPoint onGreen = ClientOf(view, {30, 20}) + QPoint(1, 1);
        QTest::mousePress(port, Qt::LeftButton, {}, onGreen);
        QVERIFY(swatches(green));
        QTest::mouseMove(port, ClientOf(view, {70, 40}));
        QVERIFY(swatches(blue));
        QTest::mouseMove(port, ClientOf(view, {10, 40}));
        QVERIFY(swatches(red));
        QTest::mouseRelease(port, Qt::LeftButton, {}, ClientOf(view, {10, 40}));
        // A 3 x 3 mean at zoom 4 still sees the one canvas pixel under a screen pixel well
        // inside it; at zoom 1 the green pixel is one of nine.
        options.SetStored(kToolEyedropper, "sample", "3x3");
        QTest::mouseClick(port, Qt::LeftButton, {}, onGreen);
        QVERIFY(swatches(green));
        view->ApplyZoom(1.0f);
        view->Model().ScrollTo(0, 0);
        QTest::mouseClick(port, Qt::LeftButton, {}, ClientOf(view, {30, 20}));
        QVERIFY(swatches(Rgb((8 * 200 + 20) / 9, (8 * 30 + 180) / 9, (8 * 40 + 60) / 9)));
        QCOMPARE(view->GetImage().History().StateCount(), states);
    }
};

QObject* MakeCropMeasureGuiTest() {
    return new CropMeasureGuiTest;
}

#include "CropMeasureGuiTest.moc"
