// The Move tool and the free transform in the program: Ctrl+T and its frame dragged on a real
// view with the preview drawn while it is pending, Enter, Esc and the options bar's buttons;
// the Move page's align buttons; a layer dragged with the Move tool.
#include <QAbstractButton>
#include <QLineEdit>
#include <QMdiArea>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "app/CChildFrame.h"
#include "app/CLayersPalette.h"
#include "app/CNavigatorPalette.h"
#include "app/CToolsPalette.h"
#include "app/CZelvoView.h"
#include "app/TransformPreview.h"
#include "app/tests/GuiTestSupport.h"
#include "commands/CommandIds.h"
#include "doc/Image.h"
#include "geometry/FreeTransform.h"
#include "history/HistoryManager.h"
#include "history/HistoryState.h"
#include "layerops/LinkGroups.h"
#include "layers/StoredDib.h"
#include "tools/FreeTransformTool.h"
#include "tools/ToolController.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

// A document of two pixel layers (the upper one current) in a window at 100 %, scrolled home.
CZelvoView* OpenLayers(CMainFrame& frame, uint32_t seed) {
    CChildFrame* child = RandomDocument(frame, 240, 180, seed);
    if (!child) return nullptr;
    child->GetImage().Layers().SelectLayerByIndex(2);
    return ReadyView(child, {600, 450}, true);
}

CChildFrame* ChildOf(QWidget* w) {
    while (w && !qobject_cast<CChildFrame*>(w)) w = w->parentWidget();
    return qobject_cast<CChildFrame*>(w);
}

void Drag(QWidget* target, QPoint from, QPoint to) {
    guitest::Drag(target, {from, (from + to) / 2, to});
}

QAbstractButton* PageButton(CMainFrame& frame, const QString& text) {
    for (QAbstractButton* b :
         frame.OptionsStrip()->currentWidget()->findChildren<QAbstractButton*>())
        if (b->text() == text || b->toolTip() == text) return b;
    return nullptr;
}

// Ctrl+T as the user presses it, with the menu's state brought up to date first.
void PressCtrlT(CMainFrame& frame) {
    frame.UpdateCommandUI();
    QTest::keyClick(&frame, Qt::Key_T, Qt::ControlModifier);
}

// Pixels of `rect` (client) that differ between two grabs.
int Differences(const QImage& a, const QImage& b, const QRect& rect) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

}  // namespace

class MoveGuiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void freeTransformDraggedCommittedAndCancelled() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenLayers(frame, 11);
        QVERIFY(view);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        const LayerPtr layer = image.Layers().CurrentLayer();
        const Rect b = layer->Bounds();
        const size_t states = image.History().States().size();
        QVERIFY(ShowsComposite(view));
        const QImage before = view->viewport()->grab().toImage();

        PressCtrlT(frame);
        QCOMPARE(int(tools.CurrentTool()), int(kToolFreeTransform));
        QVERIFY(tools.IsBusy() && layer->HeldFromDisplay());
        QVERIFY(PageButton(frame, "Commit") && PageButton(frame, "Vertical"));
        // The bottom-right handle 40 right and 20 down: the frame scales along its edges and
        // the layer's picture follows it beyond its old place.
        Drag(view->viewport(), ClientOf(view, {b.right, b.bottom}),
             ClientOf(view, {b.right + 40, b.bottom + 20}));
        const FrameCorners* pending = PendingFreeTransform(tools);
        QVERIFY(pending);
        QCOMPARE(*pending, RectFrame({b.left, b.top, b.right + 40, b.bottom + 20}));
        QTest::qWait(50);
        const QImage during = view->viewport()->grab().toImage();
        const QRect grown(ClientOf(view, {b.right + 2, b.top + 2}),
                          ClientOf(view, {b.right + 36, b.bottom - 2}));
        QVERIFY(Differences(before, during, grown) > grown.width() * grown.height() / 4);
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(!tools.IsBusy());
        QCOMPARE(LastStateName(image), std::string("Free Transform"));
        QCOMPARE(image.History().States().size(), states + 1);
        const LayerPtr fresh = image.Layers().CurrentLayer();
        QCOMPARE(fresh->Bounds(), (Rect{b.left, b.top, b.right + 40, b.bottom + 20}));
        QVERIFY(!layer->HeldFromDisplay() && !fresh->HeldFromDisplay());
        QVERIFY(ShowsComposite(view));

        // Esc after a drag leaves the layer and the history as they were, also when a palette
        // was shown and hidden meanwhile (a command that leaves the documents alone).
        const LayerPtr kept = image.Layers().CurrentLayer();
        PressCtrlT(frame);
        QVERIFY(tools.IsBusy());
        Drag(view->viewport(), ClientOf(view, {b.left + 20, b.top + 20}),
             ClientOf(view, {b.left + 50, b.top + 10}));
        for (int i = 0; i < 2; ++i) frame.OnCommand(kIdHistoryPaletteToggle);
        QVERIFY(tools.IsBusy() && PendingFreeTransform(tools));
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!tools.IsBusy() && !kept->HeldFromDisplay());
        QCOMPARE(image.Layers().CurrentLayer(), kept);
        QCOMPARE(kept->Bounds(), fresh->Bounds());
        QCOMPARE(image.History().States().size(), states + 1);

        // Drawn over the composite, the layer under the top one, or a hidden one, would show on
        // top of everything: it keeps its place in the picture and only the frame moves.
        for (const int index : {1, 2}) {
            if (index == 2) kept->SetVisible(false);
            image.Layers().SelectLayerByIndex(index);
            const LayerPtr covered = image.Layers().CurrentLayer();
            PressCtrlT(frame);
            QVERIFY(tools.IsBusy() && !covered->HeldFromDisplay());
            QTest::keyClick(view, Qt::Key_Escape);
            QVERIFY(!tools.IsBusy());
        }
    }

    void theFrameButtons() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenLayers(frame, 12);
        QVERIFY(view);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        const Rect b = image.Layers().CurrentLayer()->Bounds();
        const size_t states = image.History().States().size();
        struct Row {
            const char* button;
            FrameButton turn;
        };
        const Row rows[] = {{"90", FrameButton::Turn90},
                            {"-90", FrameButton::TurnMinus90},
                            {"180", FrameButton::Turn180},
                            {"Horizontal", FrameButton::Horizontal},
                            {"Vertical", FrameButton::Vertical}};
        for (const Row& r : rows) {
            PressCtrlT(frame);
            QVERIFY(tools.IsBusy());
            QTest::mouseClick(PageButton(frame, r.button), Qt::LeftButton);
            QVERIFY(PendingFreeTransform(tools));
            QCOMPARE(*PendingFreeTransform(tools), TurnFrame(RectFrame(b), r.turn));
            QTest::mouseClick(PageButton(frame, "Cancel"), Qt::LeftButton);
            QVERIFY(!tools.IsBusy());
            QCOMPARE(image.History().States().size(), states);
        }
        // A mirror committed with the bar's button keeps the layer's place.
        PressCtrlT(frame);
        QTest::mouseClick(PageButton(frame, "Horizontal"), Qt::LeftButton);
        QTest::mouseClick(PageButton(frame, "Commit"), Qt::LeftButton);
        QVERIFY(!tools.IsBusy());
        QCOMPARE(LastStateName(image), std::string("Free Transform"));
        QCOMPARE(image.Layers().CurrentLayer()->Bounds(), b);
    }

    void theMoveToolAndItsAlignButtons() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenLayers(frame, 13);
        QVERIFY(view);
        Image& image = view->GetImage();
        ToolController& tools = frame.Tools();
        QVERIFY(tools.SelectTool(kToolMove));
        const LayerPtr top = image.Layers().CurrentLayer();
        const Point at = top->Position();
        // A drag of 30 right and 20 down on the layer moves it by as much at 100 %.
        Drag(view->viewport(), ClientOf(view, {at.x + 5, at.y + 5}),
             ClientOf(view, {at.x + 35, at.y + 25}));
        QCOMPARE(top->Position(), (Point{at.x + 30, at.y + 20}));
        QCOMPARE(LastStateName(image), std::string("Move Layer"));
        QVERIFY(ShowsComposite(view));

        // Linked with the background, align left: the current (top) layer is the reference, so
        // the background's left edge moves to it.
        QCOMPARE(ToggleLink(image.History(), 0), 1);
        frame.UpdateCommandUI();
        QAbstractButton* left = PageButton(frame, "Align left edges");
        QAbstractButton* distribute = PageButton(frame, "Distribute top edges");
        QVERIFY(left && distribute);
        QVERIFY(left->isEnabled());
        QVERIFY(!distribute->isEnabled());  // two members are too few
        QTest::mouseClick(left, Qt::LeftButton);
        QCOMPARE(image.Layers().LayerAt(0)->Position().x, at.x + 30);
        QCOMPARE(LastStateName(image), std::string("Align Layers"));
    }

    void aLayerDroppedOnAnotherDocument() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* source = OpenLayers(frame, 14);
        CZelvoView* target = OpenLayers(frame, 15);
        QVERIFY(source && target);
        frame.Tile(false);
        QVERIFY(WaitFor([&] {
            return source->isVisible() && target->isVisible() &&
                   !source->window()->geometry().isEmpty();
        }));
        frame.MdiArea()->setActiveSubWindow(ChildOf(source));
        Image& from = source->GetImage();
        Image& to = target->GetImage();
        QVERIFY(frame.Tools().SelectTool(kToolMove));
        const LayerPtr moved = from.Layers().CurrentLayer();
        const Point at = moved->Position();
        const int layers = to.Layers().LayerCount();
        // The drop point: the middle of the other window, in the source viewport's coordinates.
        const QPoint there = source->viewport()->mapFromGlobal(
            target->viewport()->mapToGlobal(target->viewport()->rect().center()));
        QVERIFY(!source->viewport()->rect().contains(there));
        // A single layer is copied; a linked group is refused and copies nothing more.
        for (const bool linked : {false, true}) {
            if (linked) QCOMPARE(ToggleLink(from.History(), 0), 1);
            program.Messages().Clear();
            Drag(source->viewport(), ClientOf(source, {at.x + 5, at.y + 5}), there);
            QVERIFY(!frame.Tools().IsBusy());
            // The dragged layer is back in its place whatever happened.
            QCOMPARE(moved->Position(), at);
            QCOMPARE(to.Layers().LayerCount(), layers + 1);
            QCOMPARE(program.Messages().Contains(
                         "The current version should not duplicate the linked layers!"),
                     linked);
            if (!linked) {
                QCOMPARE(LastStateName(to), std::string("Duplicate Layer"));
                QCOMPARE(to.Layers().CurrentLayer()->Bounds().Width(), moved->Width());
                // The window that took the layer is the active one.
                QCOMPARE(frame.ActiveImage(), &to);
                QVERIFY(ShowsComposite(target));
                frame.MdiArea()->setActiveSubWindow(ChildOf(source));
            }
        }
    }

    // A palette clicked takes the keyboard: the arrows it does not use still nudge the layer,
    // while a box of the palette keeps what is typed into it.
    void arrowsPressedInAPaletteNudgeTheLayer() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenLayers(frame, 16);
        QVERIFY(view);
        QVERIFY(frame.Tools().SelectTool(kToolMove));
        const LayerPtr layer = view->GetImage().Layers().CurrentLayer();
        const Point at = layer->Position();
        QTest::keyClick(frame.ToolsPalette(), Qt::Key_Right);
        QTest::keyClick(frame.ToolsPalette(), Qt::Key_Down);
        QCOMPARE(layer->Position(), (Point{at.x + 1, at.y + 1}));
        QCOMPARE(LastStateName(view->GetImage()), std::string("Move Layer"));
        QLineEdit* box = frame.LayersPalette()->OpacityEdit();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Left);
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(layer->Position(), (Point{at.x + 1, at.y + 1}));
        // A click elsewhere on a palette (the navigator's picture) takes the keys from its box.
        CNavigatorPalette* navigator = frame.NavigatorPalette();
        navigator->ZoomEdit()->setFocus();
        QTest::mouseClick(navigator, Qt::LeftButton, {}, QPoint(navigator->width() / 2, 20));
        QTest::keyClick(navigator, Qt::Key_Left);
        QCOMPARE(layer->Position(), (Point{at.x, at.y + 1}));
    }

    // The preview of a distorted frame puts each pixel where the commit will: a projective
    // drawing of the same frame bends the picture differently.
    void thePreviewOfADistortedFrameShowsTheCommitsPixels() {
        Program program;
        CMainFrame& frame = program.Frame();
        CZelvoView* view = OpenLayers(frame, 17);
        QVERIFY(view);
        Image& image = view->GetImage();
        const LayerPtr layer = image.Layers().CurrentLayer();
        layer->SetOpacity(100);
        const Rect b = layer->Bounds();
        const FrameCorners f = {
            PointD{b.left + 10.0, b.top + 4.0}, PointD{b.right - 25.0, b.top + 20.0},
            PointD{b.right + 15.0, b.bottom - 6.0}, PointD{b.left - 8.0, b.bottom + 12.0}};
        const int32_t w = image.Width(), h = image.Height();
        ImageGeometry g;
        g.width = w;
        g.height = h;
        g.visible = {0, 0, w, h};
        g.screenRect = {0, 0, w, h};
        QImage drawn(w, h, QImage::Format_ARGB32);
        drawn.fill(Qt::transparent);
        {
            const TransformPreview preview(frame.Tools(), layer);
            QPainter p(&drawn);
            preview.Paint(p, g, f);
        }
        QCOMPARE(CommitFreeTransform(image.History(), f), 1);
        const LayerPtr fresh = image.Layers().CurrentLayer();
        const std::unique_ptr<ReadRowCursor> rows = fresh->OpenReadRows();
        QVERIFY(rows);
        const Rect nb = fresh->Bounds();
        int compared = 0;
        for (int32_t y = std::max(nb.top, 0); y < std::min(nb.bottom, h); ++y) {
            const uint8_t* row =
                rows->Row(uint32_t(StoredDib::StoredRow(y - nb.top, fresh->Height())));
            QVERIFY(row);
            for (int32_t x = std::max(nb.left, 0); x < std::min(nb.right, w); ++x) {
                uint32_t word;
                std::memcpy(&word, row + 4 * size_t(x - nb.left), 4);
                if (word >> 24 != 100) continue;  // partial alpha goes through Qt's rounding
                ++compared;
                QCOMPARE(drawn.pixel(x, y), 0xFF000000u | (word & 0xFFFFFFu));
            }
        }
        QVERIFY(compared > 1000);
    }
};

QObject* MakeMoveGuiTest() {
    return new MoveGuiTest;
}

#include "MoveGuiTest.moc"
