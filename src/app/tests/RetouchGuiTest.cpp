// The healing tools on a real view: the patch tool's outline and a dragged patch in both modes,
// the healing brush's Alt-click source, its stroke and the size question's two answers. The
// pictures are grey ramps with a red blemish, so a heal must give back the ramp where the
// blemish was, not the colour of the place it copied from.
#include <QMenuBar>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>

#include "app/CChildFrame.h"
#include "app/CToolsPalette.h"
#include "app/CZelvoView.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "history/HistoryManager.h"
#include "tools/ToolController.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

constexpr ColorRef kBlemish = Rgb(255, 0, 0);

// The opaque layer word (B, G, R, A from the low byte) of colour `c`.
uint32_t Opaque(ColorRef c) {
    return 100u << 24 | uint32_t(RedOf(c)) << 16 | uint32_t(GreenOf(c)) << 8 | BlueOf(c);
}

// Whether the current layer's pixel at `c` is opaque grey `level` within `slack`.
bool GreyNear(Image& image, Point c, int level, int slack) {
    const uint32_t w = LayerPixel(image, c);
    if (w >> 24 != 100) return false;
    for (int shift : {0, 8, 16})
        if (std::abs(int((w >> shift) & 0xFF) - level) > slack) return false;
    return true;
}

std::vector<QPoint> Path(CZelvoView* view, const std::vector<Point>& corners, int steps) {
    std::vector<QPoint> out;
    for (size_t i = 0; i + 1 < corners.size(); ++i)
        for (int s = 0; s < steps; ++s) {
            const Point a = corners[i], b = corners[i + 1];
            out.push_back(
                ClientOf(view, {a.x + (b.x - a.x) * s / steps, a.y + (b.y - a.y) * s / steps}));
        }
    out.push_back(ClientOf(view, corners.back()));
    return out;
}

}  // namespace

class RetouchGuiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void theSourceCursorFollowsAltUnderAStillPointer() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        ToolController& tools = frame.Tools();
        auto source = [view] { return view->viewport()->cursor().hotSpot() == QPoint(16, 16); };
        struct Row {
            const char* keysTo;
            ToolId tool;
            QWidget* target;
        };
        // The view's own keys, and keys that go to the frame, a palette or the options bar.
        const Row rows[] = {{"view", kToolCloneStamp, view},
                            {"frame", kToolHealingBrush, &frame},
                            {"tools palette", kToolCloneStamp, frame.ToolsPalette()},
                            {"options bar", kToolHealingBrush, frame.OptionsStrip()}};
        for (const Row& r : rows) {
            QVERIFY(tools.SelectTool(r.tool));
            r.target->setFocus();
            QVERIFY2(!source(), r.keysTo);
            // A lone Alt, no mouse event: the menu bar takes its release.
            QTest::keyPress(r.target, Qt::Key_Alt, Qt::AltModifier);
            QVERIFY2(source(), r.keysTo);
            QTest::keyRelease(r.target, Qt::Key_Alt);
            QVERIFY2(!source(), r.keysTo);
            // Back to the picture for the next row, out of the menu bar's keyboard mode.
            QTest::keyClick(frame.menuBar(), Qt::Key_Escape);
        }
    }

    void patchOutlineThenDragHealsInBothModes() {
        // Ramp 40 + x / 2 with the blemish on [50, 70) x [50, 70); a clean copy of its
        // surroundings lies 120 pixels to the right.
        auto ramp = [](int x, int y) {
            const bool blemish = x >= 50 && x < 70 && y >= 50 && y < 70;
            return blemish ? kBlemish
                           : Rgb(uint8_t(40 + x / 2), uint8_t(40 + x / 2), uint8_t(40 + x / 2));
        };
        struct Row {
            const char* button;
            Point outline;  // the centre of the drawn outline
            int dx;         // the drag
        };
        // Source heals the outlined blemish from the right; Destination takes the outlined
        // clean area and heals what the moved outline lands on.
        const Row rows[] = {{"patch-source", {60, 60}, 120},
                            {"patch-destination", {180, 60}, -120}};
        for (const Row& r : rows) {
            Program program;
            CMainFrame& frame = program.Frame();
            CZelvoView* view = ReadyView(PictureDocument(frame, 300, 200, ramp), {700, 500}, true);
            QVERIFY(view);
            Image& image = view->GetImage();
            ToolController& tools = frame.Tools();
            QVERIFY(tools.SelectTool(kToolPatch));
            auto* mode = PageChild<QRadioButton>(frame, r.button);
            QVERIFY(mode);
            QTest::mouseClick(mode, Qt::LeftButton);
            QVERIFY(mode->isChecked());
            const size_t states = image.History().States().size();

            const Point c = r.outline;
            Drag(view->viewport(), Path(view,
                                        {{c.x - 18, c.y - 18},
                                         {c.x + 18, c.y - 18},
                                         {c.x + 18, c.y + 18},
                                         {c.x - 18, c.y + 18},
                                         {c.x - 18, c.y - 18}},
                                        6));
            QCOMPARE(LastStateName(image), std::string("Patch Tool Select"));
            QVERIFY(image.Layers().Selection() != nullptr);

            Drag(view->viewport(), Path(view, {c, {c.x + r.dx, c.y}}, 8));
            QVERIFY(!tools.IsBusy());
            QCOMPARE(LastStateName(image), std::string("Patch Tool"));
            QCOMPARE(image.History().States().size(), states + 2);
            // The blemish takes the ramp; outside the healed square nothing moves.
            for (Point p : {Point{60, 60}, Point{52, 52}, Point{68, 67}})
                QVERIFY2(GreyNear(image, p, 40 + p.x / 2, 2),
                         qPrintable(QString("%1 at %2,%3 (%4)")
                                        .arg(r.button)
                                        .arg(p.x)
                                        .arg(p.y)
                                        .arg(LayerPixel(image, p), 8, 16)));
            for (Point p : {Point{180, 60}, Point{60, 120}, Point{100, 60}})
                QCOMPARE(LayerPixel(image, p), Opaque(ramp(p.x, p.y)));
            QVERIFY(ShowsComposite(view, true));
        }
    }

    void healingBrushStrokeAndTheSizeQuestion() {
        // 2000 x 1600 (3.2 million pixels): a corner-to-corner stroke is past the size
        // question's limit, a short one is not. Ramp 40 + x / 16, one blemish under the short
        // stroke, one under the long one.
        auto inside = [](int x, int y, Point c) {
            return x >= c.x - 10 && x < c.x + 10 && y >= c.y - 10 && y < c.y + 10;
        };
        const Point shortBlemish{1000, 200}, longBlemish{420, 338};
        auto ramp = [&](int x, int y) {
            if (inside(x, y, shortBlemish) || inside(x, y, longBlemish)) return kBlemish;
            const auto v = uint8_t(40 + x / 16);
            return Rgb(v, v, v);
        };
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = ReadyView(PictureDocument(frame, 2000, 1600, ramp));
        QVERIFY(view);
        view->ApplyZoom(0.25f);
        view->Model().ScrollTo(0, 0);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        QTest::keyClick(view, 'J');
        QCOMPARE(int(tools.CurrentTool()), int(kToolHealingBrush));
        tools.Options().Set(0, "diameter", "40");
        tools.Options().Set(0, "hardness", "100");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::AltModifier,
                          ClientOf(view, {1500, 300}));
        QVERIFY(tools.Source().view != nullptr);

        const char* asked =
            "Due to the size of patches is large, may need to take some time, whether or not to "
            "continue?";
        struct Row {
            std::vector<Point> stroke;
            Point blemish;
            Answer answer;  // to the size question, Ok when none is asked
        };
        const Row rows[] = {
            {{{980, 200}, {1020, 200}}, shortBlemish, Answer::Ok},
            {{{20, 20}, {1980, 1580}}, longBlemish, Answer::No},
            {{{20, 20}, {1980, 1580}}, longBlemish, Answer::Yes},
        };
        for (const Row& r : rows) {
            program.Messages().Clear();
            if (r.answer != Answer::Ok) program.Messages().QueueAnswer(r.answer);
            const size_t states = image.History().States().size();
            Drag(view->viewport(), Path(view, r.stroke, 12));
            QVERIFY(!tools.IsBusy());
            QCOMPARE(program.Messages().Texts(), r.answer == Answer::Ok
                                                     ? std::vector<std::string>{}
                                                     : std::vector<std::string>{asked});
            const Point b = r.blemish;
            if (r.answer == Answer::No) {
                // Nothing recorded, the layer as it was, the preview gone from the view.
                QCOMPARE(image.History().States().size(), states);
                for (Point p : {b, Point{b.x - 30, b.y - 20}, Point{1000, 790}})
                    QCOMPARE(LayerPixel(image, p), Opaque(ramp(p.x, p.y)));
                QVERIFY(ShowsComposite(view));
                continue;
            }
            QCOMPARE(LastStateName(image), std::string("Healing Brush Tool"));
            QCOMPARE(image.History().States().size(), states + 1);
            for (Point p : {b, Point{b.x - 8, b.y + 8}})
                QVERIFY2(GreyNear(image, p, 40 + p.x / 16, 3),
                         qPrintable(QString("at %1,%2 (%3)")
                                        .arg(p.x)
                                        .arg(p.y)
                                        .arg(LayerPixel(image, p), 8, 16)));
        }
    }
};

QObject* MakeRetouchGuiTest() {
    return new RetouchGuiTest;
}

#include "RetouchGuiTest.moc"
