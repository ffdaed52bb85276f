// Text and curves on a real view: typing into the in-place edit box and committing it, the text
// page's buttons and fields.
#include <QClipboard>
#include <QComboBox>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "app/CChildFrame.h"
#include "app/CLayersPalette.h"
#include "app/CTextToolUi.h"
#include "app/CZelvoView.h"
#include "app/tests/GuiTestSupport.h"
#include "commands/CommandIds.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"
#include "history/HistoryManager.h"
#include "history/HistoryState.h"
#include "layers/TextSettings.h"
#include "tools/ImagePoint.h"
#include "tools/ToolController.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

CTextEditBox* EditBox(CZelvoView* view) {
    return view->viewport()->findChild<CTextEditBox*>("TextEditBox");
}

// The box wherever it lives: upright on the viewport or turned inside its host.
CTextEditBox* AnyBox(CMainFrame& frame) {
    auto* ui = frame.findChild<CTextToolUi*>();
    return ui ? ui->Box() : nullptr;
}

QGraphicsView* Host(CZelvoView* view) {
    return view->viewport()->findChild<QGraphicsView*>("TextEditHost");
}

// The bounding rectangle of the dark pixels of `image`, translucent ones not counted.
QRect Ink(const QImage& image) {
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 128 && c.red() < 100 && c.green() < 100 && c.blue() < 100)
                ink |= QRect(x, y, 1, 1);
        }
    return ink;
}

LayerPtr Current(Image& image) {
    return image.Layers().LayerAt(image.Layers().CurrentIndex());
}

}  // namespace

class TextCurveGuiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void typesIntoTheBoxAndCommitsIt() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 400, 300);
        QVERIFY(view);
        Image& image = view->GetImage();
        view->ApplyZoom(2.0f);
        view->Model().ScrollTo(0, 0);
        QTest::keyClick(view, 'T');
        QCOMPARE(int(frame.Tools().CurrentTool()), int(kToolText));
        const int layers = image.Layers().LayerCount();

        // A click opens the box at the point, focused, in the bar's size at the view's zoom.
        const Point origin{30, 20};
        const Point client = ImageToView(view->Model(), origin);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(client.x, client.y));
        CTextEditBox* box = EditBox(view);
        QVERIFY(box);
        QVERIFY(WaitFor([box] { return box->hasFocus(); }));
        QVERIFY(std::abs(box->x() + 1 - client.x) <= 1 && std::abs(box->y() + 1 - client.y) <= 1);
        QVERIFY(box->font().pixelSize() > 60);  // 60 at zoom 2
        QCOMPARE(frame.Pane(0)->text(), QString("Ctrl+Enter key to submit. Esc key to cancel."));
        QCOMPARE(image.Layers().LayerCount(), layers + 1);

        QTest::keyClicks(box, "Hello");
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClicks(box, "world");
        // Selection and clipboard are the editor's own: copy the first line, paste it below.
        QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        // Typed while a palette has the keyboard, it still goes into the box.
        QTest::keyClicks(frame.LayersPalette(), "!");
        QCOMPARE(frame.Tools().TextSession()->Text(), std::string("Hello\r\nworldHello!"));
        const int wide = box->width();
        QVERIFY(wide > 100);

        QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(WaitFor([view] { return EditBox(view) == nullptr; }));
        QVERIFY(!frame.Tools().IsBusy());
        QCOMPARE(LastStateName(image), std::string("New Text Layer"));
        const LayerPtr layer = Current(image);
        QCOMPARE(int(layer->Kind()), int(LayerKind::Text));
        QCOMPARE(layer->Text().text, std::string("Hello\r\nworldHello!"));
        QCOMPARE(layer->Text().originX, origin.x);
        QCOMPARE(layer->Text().originY, origin.y);
        QVERIFY(view->hasFocus());

        // "Edit Current Text Layer" loads the box; Esc leaves the layer and the history.
        QWidget* page = frame.OptionsStrip()->currentWidget();
        auto* edit = page->findChild<QPushButton*>("Edit Current Text Layer");
        QVERIFY(edit);
        const int states = image.History().StateCount();
        edit->click();
        box = EditBox(view);
        QVERIFY(box);
        QCOMPARE(box->toPlainText(), QString("Hello\nworldHello!"));
        QTest::keyClicks(box, "!");
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(WaitFor([view] { return EditBox(view) == nullptr; }));
        QCOMPARE(Current(image), layer);
        QCOMPARE(image.History().StateCount(), states);

        // The size field on a committed layer is a state of its own.
        auto* sizes = page->findChild<QComboBox*>("size");
        QVERIFY(sizes);
        sizes->setCurrentIndex(2);
        emit sizes->activated(2);
        QCOMPARE(LastStateName(image), std::string("Text Size"));
        QCOMPARE(Current(image)->Text().fontSize, 30);
        // A typed size is applied; one out of range is refused aloud and the box shows the
        // size in use again, never a number that is not applied.
        const size_t messages = program.Messages().Entries().size();
        for (const auto& [typed, shown] : {std::pair{"2000", "30"}, std::pair{"45", "45"}}) {
            sizes->lineEdit()->selectAll();
            QTest::keyClicks(sizes->lineEdit(), typed);
            QTest::keyClick(sizes->lineEdit(), Qt::Key_Return);
            QCOMPARE(sizes->currentText(), QString(shown));
            QCOMPARE(Current(image)->Text().fontSize, QString(shown).toInt());
        }
        QCOMPARE(program.Messages().Entries().size(), messages + 1);
        QCOMPARE(program.Messages().Last(), std::string("Size range is 1~1000"));
    }

    void theBoxTurnsWithTheDirection() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 400, 300);
        QVERIFY(view);
        Image& image = view->GetImage();
        view->ApplyZoom(1.0f);
        view->Model().ScrollTo(0, 0);
        QTest::keyClick(view, 'T');
        frame.Tools().Options().Set(kToolText, "color", "#000000");
        const Point origin{200, 30};
        const Point client = ImageToView(view->Model(), origin);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(client.x, client.y));
        QVERIFY(EditBox(view));
        QTest::keyClicks(EditBox(view), "Hello");
        QTest::keyClick(EditBox(view), Qt::Key_Return);
        QTest::keyClicks(EditBox(view), "ab");
        QTest::keyClick(EditBox(view), Qt::Key_Left, Qt::ShiftModifier);
        auto* direction =
            frame.OptionsStrip()->currentWidget()->findChild<QPushButton*>("Direction");
        QVERIFY(direction);

        // Each press turns the open box; the text, caret and selection stay, keys still reach it.
        const bool turned[] = {true, false, true};
        for (bool vertical : turned) {
            direction->click();
            CTextEditBox* box = AnyBox(frame);
            QVERIFY(box);
            QVERIFY(WaitFor([&] { return (Host(view) != nullptr) == vertical; }));
            QCOMPARE(box->parentWidget() == view->viewport(), !vertical);
            QCOMPARE(box->toPlainText(), QString("Hello\nab"));
            QCOMPARE(box->textCursor().selectedText(), QString("b"));
            QVERIFY(WaitFor([box] { return box->hasFocus(); }));
            if (!vertical) {
                QVERIFY(box->width() > box->height());
                continue;
            }
            // A column as tall as the first line is wide, its right edge on the origin.
            const QRect host = Host(view)->geometry();
            QVERIFY2(host.height() > host.width() && host.height() == box->width() &&
                         host.width() == box->height(),
                     qPrintable(QString("host %1 x %2").arg(host.width()).arg(host.height())));
            QVERIFY(std::abs(host.right() + 1 - (client.x + 1)) <= 1);
            QCOMPARE(host.top(), client.y - 1);
            const QRect ink = Ink(Host(view)->grab().toImage());
            QVERIFY2(ink.height() > ink.width(),
                     qPrintable(QString("ink %1 x %2").arg(ink.width()).arg(ink.height())));
        }
        QTest::keyClick(AnyBox(frame), Qt::Key_End);
        QTest::keyClicks(AnyBox(frame), "!");
        QCOMPARE(frame.Tools().TextSession()->Text(), std::string("Hello\r\nab!"));
        const QRect host = Host(view)->geometry();

        // The committed layer draws where the turned box stood.
        QTest::keyClick(AnyBox(frame), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!AnyBox(frame));
        QVERIFY(WaitFor([view] { return Host(view) == nullptr; }));
        QCOMPARE(LastStateName(image), std::string("New Text Layer"));
        QCOMPARE(Current(image)->Text().direction, int32_t(kTextVertical));
        QVERIFY(ShowsComposite(view));
        const QRect ink = Ink(view->Picture());
        QVERIFY2(host.adjusted(-2, -2, 2, 2).contains(ink) && ink.height() > ink.width(),
                 qPrintable(QString("ink %1,%2 %3 x %4 in host %5,%6 %7 x %8")
                                .arg(ink.x())
                                .arg(ink.y())
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(host.x())
                                .arg(host.y())
                                .arg(host.width())
                                .arg(host.height())));
    }

    // The Layers palette acts on the list as the user sees it: the open text is committed (or,
    // untouched, dropped) first, and the row clicked is the layer clicked.
    void editMenuClipboardActsOnTheOpenText() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 200, 150);
        QVERIFY(view);
        QTest::keyClick(view, 'T');
        const Point client = ImageToView(view->Model(), Point{20, 20});
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(client.x, client.y));
        QVERIFY(WaitFor([view] { return EditBox(view) != nullptr; }));
        CTextEditBox* box = EditBox(view);
        QTest::keyClicks(box, "Hello");
        box->selectAll();
        // The picture has no selection; Cut and Copy are enabled for the text.
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdEditCut)->isEnabled() && frame.Action(kIdEditCopy)->isEnabled());
        frame.OnCommand(kIdEditCopy);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Hello"));
        frame.OnCommand(kIdEditCut);
        QCOMPARE(box->toPlainText(), QString());
        QVERIFY(frame.Tools().IsBusy());  // the edit stays open
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdEditPaste)->isEnabled());
        frame.OnCommand(kIdEditPaste);
        frame.OnCommand(kIdEditPaste);
        QCOMPARE(frame.Tools().TextSession()->Text(), std::string("HelloHello"));
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!view->GetImage().IsModified());
    }

    void layersPaletteEndsTheOpenText() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 200, 150);
        QVERIFY(view);
        Image& image = view->GetImage();
        LayerManager& layers = image.Layers();
        QVERIFY(layers.AppendLayer(200, 150, LayerKind::Pixel));
        frame.RefreshPalettes();
        const LayerPtr background = layers.LayerAt(0);
        CLayersPalette* palette = frame.LayersPalette();
        auto openText = [&] {
            QTest::keyClick(view, 'T');
            const Point client = ImageToView(view->Model(), Point{20, 20});
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(client.x, client.y));
            return WaitFor([view] { return EditBox(view) != nullptr; });
        };
        auto rowOf = [&](const LayerPtr& layer) {
            for (int row = 0; row < layers.LayerCount(); ++row)
                if (layers.LayerAt(palette->LayerIndexOfRow(row)) == layer) return row;
            return -1;
        };

        // Typed text, then the opacity typed into the palette: the text is a layer of its own
        // in the history before the opacity state, and both undo cleanly.
        QVERIFY(openText());
        QTest::keyClicks(EditBox(view), "Hi");
        palette->OpacityEdit()->setText("40");
        emit palette->OpacityEdit()->editingFinished();
        QVERIFY(!frame.Tools().IsBusy());
        const LayerPtr text = Current(image);
        QCOMPARE(int(text->Kind()), int(LayerKind::Text));
        QCOMPARE(text->Text().text, std::string("Hi"));
        QCOMPARE(text->Opacity(), 40);
        const auto& states = image.History().States();
        QVERIFY(states.size() >= 2);
        QCOMPARE(StateDisplayName(states[states.size() - 2]), std::string("New Text Layer"));
        frame.OnCommand(kCmdStepForward);
        QCOMPARE(Current(image)->Opacity(), 100);
        frame.OnCommand(kCmdStepForward);
        QCOMPARE(layers.LayerCount(), 2);

        // An untouched new text goes; the click still picks the row's layer under the pointer.
        QVERIFY(openText());
        QCOMPARE(layers.LayerCount(), 3);
        const int row = rowOf(background);
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, {},
                          QPoint(100, row * CLayersPalette::kRowHeight + 10));
        QVERIFY(!frame.Tools().IsBusy());
        QCOMPARE(layers.LayerCount(), 2);
        QCOMPARE(Current(image), background);
    }

    void drawsAThreeAnchorCurveAndClosesIt() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenView(frame, 300, 200);
        QVERIFY(view);
        Image& image = view->GetImage();
        view->ApplyZoom(1.5f);
        view->Model().ScrollTo(0, 0);
        // Layer > Anchor Point > Delete Anchor Point takes up the curve tool in that mode;
        // 'P' then Alt+1 draw.
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(kIdDeleteAnchor)->isEnabled());
        frame.OnCommand(kIdDeleteAnchor);
        QCOMPARE(int(frame.Tools().CurrentTool()), int(kToolCurve));
        QCOMPARE(frame.Tools().Options().Get(kToolCurve, "mode"), std::string("delete"));
        QTest::keyClick(view, 'P');
        QTest::keyClick(view, Qt::Key_1, Qt::AltModifier);
        QCOMPARE(int(frame.Tools().CurrentTool()), int(kToolCurve));
        QCOMPARE(frame.Tools().Options().Get(kToolCurve, "mode"), std::string("draw"));
        const Point anchors[] = {{20, 20}, {120, 30}, {60, 110}};
        auto at = [view](Point c) {
            const Point v = ImageToView(view->Model(), c);
            return QPoint(v.x, v.y);
        };
        for (Point a : anchors) QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at(a));
        const LayerPtr layer = Current(image);
        QCOMPARE(int(layer->Kind()), int(LayerKind::Curve));
        QCOMPARE(int(layer->Anchors().size()), 3);
        QVERIFY(!layer->IsClosed());
        // Back on the first anchor: the curve closes, no fourth anchor.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at(anchors[0]));
        QVERIFY(Current(image)->IsClosed());
        QCOMPARE(int(Current(image)->Anchors().size()), 3);
        for (size_t i = 0; i < 3; ++i) {
            const Point p = Current(image)->Anchors()[i].point;
            QVERIFY2(std::abs(p.x - anchors[i].x) <= 1 && std::abs(p.y - anchors[i].y) <= 1,
                     qPrintable(QString("anchor %1 at %2,%3").arg(i).arg(p.x).arg(p.y)));
        }
        QCOMPARE(LastStateName(image), std::string("Draw Line"));
        QCOMPARE(image.Layers().LayerCount(), 2);
    }
};

QObject* MakeTextCurveGuiTest() {
    return new TextCurveGuiTest;
}

#include "TextCurveGuiTest.moc"
