// Painting in the program: a brush stroke dragged with the mouse on a real view shows on screen
// while the button is still down (the tool poller paints, the view refreshes the painted
// rectangles) and lands in the layer at the release as one history state; the brush pop-up's
// sliders and the options model follow each other; non-raster layers are refused.
#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>

#include "app/CBrushPopup.h"
#include "app/CChildFrame.h"
#include "app/CZelvoView.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "history/HistoryManager.h"
#include "history/HistoryState.h"
#include "tools/ToolController.h"
#include "view/DisplayRefresher.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

// The picture's R, G, B at a client point.
QRgb Shown(CZelvoView* view, QPoint p) {
    return view->Picture().pixel(p) & 0xFFFFFFu;
}

}  // namespace

class PaintGuiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void aStrokeShowsWhilePaintingAndLandsAtTheRelease() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 400, 300);
        QVERIFY(view);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        tools.Colors().SetForeground(Rgb(200, 0, 0));
        QTest::keyClick(view, 'B');
        QCOMPARE(int(tools.CurrentTool()), int(kToolBrush));
        tools.Options().Set(0, "diameter", "9");
        tools.Options().Set(0, "hardness", "100");
        struct Row {
            float zoom;
            Point from, to;
        };
        const Row rows[] = {
            {1.0f, {40, 60}, {200, 60}},
            {0.5f, {60, 200}, {300, 120}},
            {2.0f, {20, 20}, {20, 90}},
        };
        const size_t statesBefore = image.History().States().size();
        for (const Row& r : rows) {
            view->ApplyZoom(r.zoom);
            view->Model().ScrollTo(0, 0);
            QVERIFY(ShowsComposite(view));
            const Point mid{(r.from.x + r.to.x) / 2, (r.from.y + r.to.y) / 2};
            QCOMPARE(Shown(view, ClientOf(view, mid)), QRgb(0xFFFFFF));
            QTest::mousePress(view->viewport(), Qt::LeftButton, {}, ClientOf(view, r.from));
            for (int i = 1; i <= 8; ++i) {
                const Point p{r.from.x + (r.to.x - r.from.x) * i / 8,
                              r.from.y + (r.to.y - r.from.y) * i / 8};
                QTest::mouseMove(view->viewport(), ClientOf(view, p));
            }
            QVERIFY(tools.IsBusy());
            // Before the release the picture shows the paint; the layer is not written yet.
            QVERIFY2(WaitFor([&] { return Shown(view, ClientOf(view, mid)) == 0xC80000u; }),
                     "the stroke does not show while painting");
            QCOMPARE(LayerPixel(image, mid), 0x64FFFFFFu);
            QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, ClientOf(view, r.to));
            QVERIFY(!tools.IsBusy());
            QCOMPARE(LayerPixel(image, mid), 0x64C80000u);
            QCOMPARE(LayerPixel(image, r.to), 0x64C80000u);
            QCOMPARE(StateDisplayName(image.History().States().back()), std::string("Brush Tool"));
            QVERIFY(ShowsComposite(view));
            QVERIFY(!image.ViewState().renderStroke);
        }
        QCOMPARE(image.History().States().size(), statesBefore + 3);
    }

    void aRetouchStrokeShowsWhilePaintingAsTheBrushDoes() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 400, 300);
        QVERIFY(view);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        QVERIFY(tools.SelectTool(kToolLightenDarken));
        tools.Options().Set(0, "diameter", "9");
        tools.Options().Set(0, "hardness", "100");
        tools.Options().Set(kToolLightenDarken, "tone", "dark");
        tools.Options().Set(kToolLightenDarken, "range", "highlights");
        const Point from{40, 100}, to{300, 100}, mid{170, 100};
        QVERIFY(ShowsComposite(view));
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, ClientOf(view, from));
        for (int i = 1; i <= 8; ++i)
            QTest::mouseMove(view->viewport(),
                             ClientOf(view, {from.x + (to.x - from.x) * i / 8, from.y}));
        QVERIFY(tools.IsBusy());
        // Dark over white in the highlights takes 85 off at full coverage.
        QVERIFY2(WaitFor([&] { return Shown(view, ClientOf(view, mid)) == 0xAAAAAAu; }),
                 "the darkening does not show while painting");
        QCOMPARE(LayerPixel(image, mid), 0x64FFFFFFu);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, ClientOf(view, to));
        QVERIFY(!tools.IsBusy());
        QCOMPARE(LayerPixel(image, mid), 0x64AAAAAAu);
        QCOMPARE(StateDisplayName(image.History().States().back()), std::string("Darken Tool"));
        QVERIFY(ShowsComposite(view));
        QVERIFY(!image.ViewState().renderStroke);
    }

    void theClonePageTheAltClickAndAClonedStrokeShownLive() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 400, 300);
        QVERIFY(view);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        tools.Colors().SetForeground(Rgb(0, 0, 200));
        QTest::keyClick(view, 'B');
        tools.Options().Set(0, "diameter", "21");
        tools.Options().Set(0, "hardness", "100");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, ClientOf(view, {60, 60}));
        QTest::keyClick(view, 'S');
        QCOMPARE(int(tools.CurrentTool()), int(kToolCloneStamp));
        QWidget* page = frame.OptionsStrip()->currentWidget();
        auto* aligned = page->findChild<QCheckBox*>("aligned");
        auto* all = page->findChild<QCheckBox*>("all-layers");
        QVERIFY(aligned && all);
        QVERIFY(!aligned->isChecked() && !all->isChecked());
        QTest::mouseClick(aligned, Qt::LeftButton);
        QCOMPARE(tools.Options().Get(kToolCloneStamp, "aligned"), std::string("1"));
        // Alt held: the source cursor; the Alt-click picks the source and paints nothing.
        view->setFocus();
        QTest::keyPress(view, Qt::Key_Alt);
        QCOMPARE(view->viewport()->cursor().hotSpot(), QPoint(16, 16));
        const size_t states = image.History().States().size();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::AltModifier,
                          ClientOf(view, {60, 60}));
        QTest::keyRelease(view, Qt::Key_Alt);
        QVERIFY(tools.Source().view != nullptr);
        QCOMPARE(image.History().States().size(), states);
        QVERIFY(view->viewport()->cursor().hotSpot() != QPoint(16, 16));
        // The copied blue shows before the release.
        const Point at{250, 150};
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, ClientOf(view, at));
        QTest::mouseMove(view->viewport(), ClientOf(view, {at.x + 2, at.y}));
        QVERIFY2(WaitFor([&] { return Shown(view, ClientOf(view, at)) == 0x0000C8u; }),
                 "the clone does not show while painting");
        QCOMPARE(LayerPixel(image, at), 0x64FFFFFFu);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, ClientOf(view, {at.x + 2, at.y}));
        QCOMPARE(LayerPixel(image, at), 0x640000C8u);
        QCOMPARE(StateDisplayName(image.History().States().back()),
                 std::string("Clone Stamp Tool"));
    }

    void thePopupSlidersAndTheModelFollowEachOther() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        tools.Colors().SetForeground(Rgb(200, 0, 0));
        QTest::keyClick(view, 'B');
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(100, 80));
        CBrushPopup* popup = nullptr;
        QVERIFY(WaitFor([&] {
            popup = frame.findChild<CBrushPopup*>();
            return popup && popup->isVisible();
        }));
        struct Row {
            const char* key;
            int tool;   // the page the value belongs to
            int shown;  // the default the pop-up opens with
            int set;
        };
        const Row rows[] = {
            {"diameter", 0, 10, 33}, {"hardness", 0, 0, 100}, {"opacity", kToolBrush, 100, 40}};
        for (const Row& r : rows) {
            auto* slider = popup->findChild<QSlider*>(QString(r.key) + "-slider");
            auto* box = popup->findChild<QSpinBox*>(QString(r.key) + "-box");
            QVERIFY(slider && box);
            QCOMPARE(slider->value(), r.shown);
            QCOMPARE(box->value(), r.shown);
            // The slider sets the model, the box follows; the options bar shows it too.
            slider->setValue(r.set);
            QCOMPARE(tools.Options().GetInt(r.tool, r.key), r.set);
            QCOMPARE(box->value(), r.set);
            auto* field = frame.OptionsStrip()->currentWidget()->findChild<QLineEdit*>(r.key);
            QVERIFY(field);
            QVERIFY2(field->text().startsWith(QString::number(r.set)), qPrintable(field->text()));
        }
        // A change made elsewhere (the options bar, the "[" and "]" keys) shows in the pop-up.
        tools.Options().Set(0, "diameter", "35");
        QCOMPARE(popup->findChild<QSpinBox*>("diameter-box")->value(), 35);
        QCOMPARE(popup->findChild<QSlider*>("diameter-slider")->value(), 35);
        popup->close();
        QVERIFY(WaitFor([&] { return !frame.findChild<CBrushPopup*>(); }));

        // A click with the new tip: one dab, hard, 35 across, at opacity 40 over white.
        const Point at{150, 100};
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, ClientOf(view, at));
        const uint32_t painted = 0x64E99999u;  // 255 x 0.6 + the red's 40 %, over opaque white
        QCOMPARE(LayerPixel(image, at), painted);
        QCOMPARE(LayerPixel(image, {at.x + 16, at.y}), painted);
        QCOMPARE(LayerPixel(image, {at.x, at.y + 19}), 0x64FFFFFFu);
    }

    void nonRasterLayersAreRefusedWithTheMessage() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        Image& image = view->GetImage();
        {
            HoldRender hold(image.ViewState());
            QVERIFY(image.Layers().AppendLayer(120, 80, LayerKind::Text));
            QVERIFY(image.Layers().SelectLayerByIndex(image.Layers().LayerCount()));
        }
        const size_t states = image.History().States().size();
        ToolController& tools = frame.Tools();
        for (ToolId tool : {kToolEraser, kToolPaintBucket, kToolGradient}) {
            program.Messages().Clear();
            QVERIFY(tools.SelectTool(tool));
            const QPoint a = ClientOf(view, {30, 30}), b = ClientOf(view, {90, 60});
            QTest::mousePress(view->viewport(), Qt::LeftButton, {}, a);
            QTest::mouseMove(view->viewport(), b);
            QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, b);
            QVERIFY(!tools.IsBusy());
            QCOMPARE(program.Messages().Texts(),
                     std::vector<std::string>{"This layer must be rasterized before proceeding!"});
            QCOMPARE(image.History().States().size(), states);
        }
    }
};

QObject* MakePaintGuiTest() {
    return new PaintGuiTest;
}

#include "PaintGuiTest.moc"
