// The menu commands and the Layers palette over real documents: layer operations from the
// palette and the menu, selection and clipboard, adjustments and filters, the geometry
// commands through their dialogs, and when the commands are offered.
#include <algorithm>
#include <array>
#include <cstring>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "adjust/AdjustPass.h"
#include "adjust/Filters.h"
#include "app/AppCommands.h"
#include "app/CCanvasSizeDialog.h"
#include "app/CChildFrame.h"
#include "app/CDrawBorderDialog.h"
#include "app/CHistoryPalette.h"
#include "app/CImageSizeDialog.h"
#include "app/CLayersPalette.h"
#include "app/CPrintSizeDialog.h"
#include "app/CSelectionPixelsDialog.h"
#include "app/MainFrameCommands.h"
#include "app/tests/GuiTestSupport.h"
#include "core/Limits.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"
#include "layers/StoredDib.h"
#include "selection/SelectionMask.h"
#include "testsupport/BusyToolHost.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

using Rgb3 = std::array<int, 3>;

// The composite at canvas pixel (x, y), through the engine's own flattening.
Rgb3 CompositeAt(Image& image, int x, int y) {
    const std::vector<uint8_t> dib = image.Layers().RenderThumbnail(image.Width(), image.Height());
    if (dib.size() < StoredDib::kHeaderBytes) return {-1, -1, -1};
    int32_t w = 0, h = 0;
    std::memcpy(&w, dib.data() + 4, 4);
    std::memcpy(&h, dib.data() + 8, 4);
    if (w != image.Width() || h != image.Height()) return {-2, -2, -2};
    const uint8_t* row =
        dib.data() + StoredDib::kHeaderBytes + size_t(h - 1 - y) * StoredDib::Stride(w, 24);
    return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
}

// The newest history row's name.
std::string LastState(Image& image) {
    return HistoryPalette::RowText(image.History(), image.History().StateCount());
}

int Id(const char* menu, const char* text) {
    return MenuCommandId(menu, text);
}

bool Enabled(CMainFrame& frame, int id) {
    frame.UpdateCommandUI();
    QAction* a = frame.Action(id);
    return a && a->isEnabled();
}

// A document of one colour from a file, so the colours are not the white of New.
Image& OpenColoured(Program& program, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    const std::string path = WriteBmp(program.TempFolder() + "/c.bmp", w, h, r, g, b);
    CChildFrame* child = program.Frame().OpenDocument(path);
    if (!child) qFatal("the test picture did not open");
    program.Frame().RefreshPalettes();
    program.Frame().UpdateCommandUI();
    return child->GetImage();
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void paletteButtonsRunTheLayerOperations() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = frame.NewDocument({40, 30, 2834})->GetImage();
        frame.RefreshPalettes();
        CLayersPalette* palette = frame.LayersPalette();
        LayerManager& layers = image.Layers();
        QVERIFY(palette->NewLayerButton()->isEnabled());
        QCOMPARE(palette->NewLayerButton()->text(), QString("New Layer"));

        QTest::mouseClick(palette->NewLayerButton(), Qt::LeftButton);
        QCOMPARE(layers.LayerCount(), 2);
        QCOMPARE(layers.CurrentIndex(), 1);
        QCOMPARE(layers.CurrentLayer()->Kind(), LayerKind::Null);
        QCOMPARE(LastState(image), std::string("New Layer"));
        QCOMPARE(palette->LayerIndexOfRow(0), 1);  // the new layer is the top row
        QCOMPARE(palette->LayerIndexOfRow(1), 0);

        // Down takes the null layer under the white one; Up brings it back.
        QTest::mouseClick(palette->DownButton(), Qt::LeftButton);
        QCOMPARE(layers.LayerAt(0)->Kind(), LayerKind::Null);
        QCOMPARE(LastState(image), std::string("Move Down Layer"));
        const int states = image.History().StateCount();
        QTest::mouseClick(palette->DownButton(), Qt::LeftButton);  // already at the bottom
        QCOMPARE(image.History().StateCount(), states);
        QTest::mouseClick(palette->UpButton(), Qt::LeftButton);
        QCOMPARE(layers.LayerAt(1)->Kind(), LayerKind::Null);
        QCOMPARE(LastState(image), std::string("Move Up Layer"));

        // Delete removes the current (top) layer; the one below becomes current; the last
        // layer stays.
        QTest::mouseClick(palette->DeleteLayerButton(), Qt::LeftButton);
        QCOMPARE(layers.LayerCount(), 1);
        QCOMPARE(layers.CurrentLayer()->Kind(), LayerKind::Pixel);
        QCOMPARE(LastState(image), std::string("Delete Layer"));
        QTest::mouseClick(palette->DeleteLayerButton(), Qt::LeftButton);
        QCOMPARE(layers.LayerCount(), 1);

        // The History palette follows: its newest row is the delete.
        QCOMPARE(HistoryPalette::RowCount(image.History()), image.History().StateCount() + 1);
        QCOMPARE(image.History().CurrentStateIndex(), image.History().StateCount());
        // Undo through the menu key brings the layer back.
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        frame.UpdateCommandUI();
        QTest::keyClick(&frame, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(layers.LayerCount(), 2);
    }

    void linkMarksEnableMergeLinked() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 20, 10, 200, 100, 50);
        LayerManager& layers = image.Layers();
        frame.OnCommand(kIdDuplicateLayer);
        QCOMPARE(layers.LayerCount(), 2);
        QCOMPARE(LastState(image), std::string("Duplicate Layer"));
        // Without a link, Merge Linked is not offered and its key does nothing.
        QVERIFY(!Enabled(frame, kIdMergeLinked));
        QVERIFY(Enabled(frame, kIdMergeVisible));
        QVERIFY(Enabled(frame, kIdMergeAll));
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(&frame, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(layers.LayerCount(), 2);

        // The link column of the lower row links it to the current (top) layer.
        CLayersPalette* palette = frame.LayersPalette();
        const int states = image.History().StateCount();
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, {}, QPoint(50, 25 + 10));
        QCOMPARE(layers.LayerAt(0)->LinkCount(), 2);
        QCOMPARE(layers.LayerAt(1)->LinkCount(), 2);
        QCOMPARE(image.History().StateCount(), states);  // linking is no history step
        QVERIFY(Enabled(frame, kIdMergeLinked));
        QTest::keyClick(&frame, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(layers.LayerCount(), 1);
        QCOMPARE(LastState(image), std::string("Merge Layers"));
        QCOMPARE(CompositeAt(image, 5, 5), (Rgb3{200, 100, 50}));
        // One layer: nothing left to merge.
        QVERIFY(!Enabled(frame, kIdMergeVisible));
        QVERIFY(!Enabled(frame, kIdMergeAll));
    }

    void paletteVisibilityAndCtrlClick() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 20, 10, 10, 20, 30);
        frame.OnCommand(kIdNewLayer);
        CLayersPalette* palette = frame.LayersPalette();
        // Hiding the picture layer leaves the composite on white.
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, {}, QPoint(10, 25 + 10));
        QVERIFY(!image.Layers().LayerAt(0)->IsVisible());
        QCOMPARE(CompositeAt(image, 3, 3), (Rgb3{255, 255, 255}));
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, {}, QPoint(10, 25 + 10));
        QCOMPARE(CompositeAt(image, 3, 3), (Rgb3{10, 20, 30}));
        // Ctrl+click on the picture row makes it current and selects its opaque pixels.
        QVERIFY(!HasSelection(image.Layers()));
        QTest::mouseClick(palette->RowsArea(), Qt::LeftButton, Qt::ControlModifier,
                          QPoint(100, 25 + 10));
        QCOMPARE(image.Layers().CurrentIndex(), 0);
        QVERIFY(HasSelection(image.Layers()));
        QCOMPARE(LastState(image), std::string("Convert Layer To Slection"));
    }

    void selectAllCopyPasteMakesANewLayer() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 16, 12, 90, 140, 230);
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        // Copy needs a selection.
        QVERIFY(!Enabled(frame, kIdEditCopy));
        QVERIFY(!Enabled(frame, kIdEditCut));
        QTest::keyClick(&frame, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(HasSelection(image.Layers()));
        QCOMPARE(LastState(image), std::string("Select All"));
        QVERIFY(Enabled(frame, kIdEditCopy));
        frame.OnCommand(Id("&Edit", "Clean up the clipboard"));
        QVERIFY(!Enabled(frame, kIdEditPaste));
        QTest::keyClick(&frame, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(Enabled(frame, kIdEditPaste));
        QTest::keyClick(&frame, Qt::Key_V, Qt::ControlModifier);
        LayerManager& layers = image.Layers();
        QCOMPARE(layers.LayerCount(), 2);
        QCOMPARE(LastState(image), std::string("Paste"));
        QCOMPARE(layers.CurrentIndex(), 1);
        QCOMPARE(layers.CurrentLayer()->Bounds(), (Rect{0, 0, 16, 12}));
        // An opaque pixel copied under a full selection comes back as it was.
        PixelBuffer pasted;
        QVERIFY(ReadLayerPixels(*layers.CurrentLayer(), pasted));
        QCOMPARE(pasted.At(7, 5), MakePixel(230, 140, 90, 100));
        // Clean up empties the clipboard: Paste is no longer offered.
        frame.OnCommand(Id("&Edit", "Clean up the clipboard"));
        QVERIFY(!Enabled(frame, kIdEditPaste));
    }

    void cutClearsTheSelectionAndDeselectReselect() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 10, 10, 1, 2, 3);
        frame.OnCommand(Id("&Select", "Select All"));
        frame.OnCommand(kIdEditCut);
        LayerManager& layers = image.Layers();
        QCOMPARE(LastState(image), std::string("Clear"));
        // A fully selected layer is cleared away into a null layer.
        QCOMPARE(layers.CurrentLayer()->Kind(), LayerKind::Null);
        QVERIFY(Enabled(frame, kIdEditPaste));
        QVERIFY(!Enabled(frame, Id("&Edit", "Clear")));  // no pixel layer any more
        // Paste onto the null layer fills it, as one "Paste" pixel edit.
        frame.OnCommand(kIdEditPaste);
        QCOMPARE(layers.LayerCount(), 1);
        QCOMPARE(layers.CurrentLayer()->Kind(), LayerKind::Pixel);
        QCOMPARE(CompositeAt(image, 9, 9), (Rgb3{1, 2, 3}));
        QCOMPARE(LastState(image), std::string("Paste"));

        const int reselect = Id("&Select", "Reselect");
        QVERIFY(!Enabled(frame, reselect));
        frame.OnCommand(Id("&Select", "Deselect"));
        QVERIFY(!HasSelection(layers));
        QVERIFY(Enabled(frame, reselect));
        QVERIFY(!Enabled(frame, Id("&Select", "Inverse")));
        frame.OnCommand(reselect);
        QVERIFY(HasSelection(layers));
        QCOMPARE(LastState(image), std::string("Reselect"));
        // Everything is selected: Inverse deselects.
        frame.OnCommand(Id("&Select", "Inverse"));
        QVERIFY(!HasSelection(layers));
    }

    void invertByKeyAndUndo() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 12, 8, 200, 100, 40);
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QCOMPARE(CompositeAt(image, 4, 4), (Rgb3{200, 100, 40}));
        QTest::keyClick(&frame, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(CompositeAt(image, 4, 4), (Rgb3{255 - 200, 255 - 100, 255 - 40}));
        QCOMPARE(LastState(image), std::string("Invert Color"));
        QTest::keyClick(&frame, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(CompositeAt(image, 4, 4), (Rgb3{200, 100, 40}));
        // Desaturate: the mean of the three channels.
        QTest::keyClick(&frame, Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
        const int grey = (200 + 100 + 40) / 3;
        QCOMPARE(CompositeAt(image, 4, 4), (Rgb3{grey, grey, grey}));
        QCOMPARE(LastState(image), std::string("Desaturate"));
    }

    void pixelCommandsNeedAPixelLayer() {
        Program program;
        CMainFrame& frame = program.Frame();
        OpenColoured(program, 12, 8, 9, 9, 9);
        const int invert = Id("&Image/Adjustments", "Invert");
        const int sharpen = Id("Filte&r", "Sharpen");
        const int small = Id("Filte&r/Reduce Noise", "Reduce Small Noise(1-2Pixels)");
        const int flip = Id("&Edit/Transform", "Flip Horizontal");
        const int curves = Id("&Image/Adjustments", "Curves...");
        const int blur = Id("Filte&r", "Blur...");
        for (int id : {invert, sharpen, small, flip, curves, blur}) QVERIFY(Enabled(frame, id));
        frame.OnCommand(kIdNewLayer);  // a null layer is current
        for (int id : {invert, sharpen, small, flip, curves, blur}) QVERIFY(!Enabled(frame, id));
        // The canvas commands do not care about the layer.
        QVERIFY(Enabled(frame, Id("&Image", "Image Size")));
        QVERIFY(Enabled(frame, Id("&Image/Rotate Canvas", "Rotate 180")));
        QVERIFY(Enabled(frame, Id("&Select", "Select All")));
        // The crop and the tools' commands are not offered.
        for (auto [menu, text] :
             {std::pair{"&Image", "Crop"}, std::pair{"&Edit", "Free Transform"}})
            QVERIFY2(!Enabled(frame, Id(menu, text)), text);
        // No document: nothing on a document is offered.
        for (CChildFrame* c : frame.Children()) c->GetImage().SetModified(false);
        QVERIFY(frame.CloseAllDocuments());
        QVERIFY(WaitFor([&] { return frame.ActiveImage() == nullptr; }));
        for (int id : {int(kIdNewLayer), Id("&Select", "Select All"), Id("&Image", "Image Size")})
            QVERIFY(!Enabled(frame, id));
    }

    void filtersAndTheLargeLayerQuestion() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 9, 9, 100, 100, 100);
        frame.OnCommand(Id("Filte&r", "Sharpen"));
        QCOMPARE(LastState(image), std::string("Sharpen"));
        frame.OnCommand(Id("Filte&r/Reduce Noise", "Reduce Gray Noise(3-5Pixels)"));
        QCOMPARE(LastState(image), std::string("Reduce Gray Noise"));
        // A flat picture has no noise to take away.
        QCOMPARE(CompositeAt(image, 4, 4), (Rgb3{100, 100, 100}));

        // Above 5,000,000 pixels the reducer asks first; No cancels.
        Image& big = frame.NewDocument({2500, 2001, 2834})->GetImage();
        frame.UpdateCommandUI();
        const int states = big.History().StateCount();
        program.Messages().QueueAnswer(Answer::No);
        frame.OnCommand(Id("Filte&r/Reduce Noise", "Reduce Big Noise(6-9Pixels)"));
        QCOMPARE(program.Messages().Last(), std::string(kLargeLayerQuestion));
        QCOMPARE(big.History().StateCount(), states);
    }

    void rotateAndTransform() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 40, 30, 5, 6, 7);
        frame.OnCommand(Id("&Image/Rotate Canvas", "Rotate 90 Clockwise"));
        QCOMPARE(image.Width(), 30);
        QCOMPARE(image.Height(), 40);
        QCOMPARE(LastState(image), std::string("Rotate Canvas"));
        QCOMPARE(image.Layers().CurrentLayer()->Bounds(), (Rect{0, 0, 30, 40}));
        frame.OnCommand(Id("&Edit/Transform", "Rotate 90 Counterclockwise"));
        QCOMPARE(LastState(image), std::string("Transform Layer"));
        // The layer turns about its centre: 30 x 40 at (0, 0) becomes 40 x 30 at (-5, 5).
        QCOMPARE(image.Layers().CurrentLayer()->Bounds(), (Rect{-5, 5, 35, 35}));
        frame.OnCommand(kCmdUndoRedo);
        QCOMPARE(image.Layers().CurrentLayer()->Bounds(), (Rect{0, 0, 30, 40}));
        // The start row of the History palette gives back the canvas from before the turn.
        frame.HistoryPalette()->ClickList(10);
        QVERIFY(image.History().ShowingStart());
        QCOMPARE(image.Width(), 40);
        QCOMPARE(image.Height(), 30);
    }

    void featherAndExpandDialogs() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 30, 30, 0, 0, 0);
        const int feather = Id("&Select", "Feather...");
        QVERIFY(!Enabled(frame, feather));
        frame.OnCommand(Id("&Select", "Select All"));
        QVERIFY(Enabled(frame, feather));

        bool stayedOpen = false;
        QString title, label, hint, start;
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CFeatherDialog*>(w);
            if (!dialog) return;
            title = dialog->windowTitle();
            label = dialog->ValueLabel()->text();
            hint = dialog->HintLabel()->text();
            start = dialog->ValueEdit()->text();
            dialog->ValueEdit()->setText("101");
            dialog->accept();
            stayedOpen = dialog->isVisible() && dialog->result() != QDialog::Accepted;
            dialog->ValueEdit()->setText("0");
            dialog->accept();
        });
        frame.OnCommand(feather);
        QCOMPARE(title, QString("Feather Selection"));
        QCOMPARE(label, QString("Feather:"));
        QCOMPARE(hint, QString("( 0---100 Pixels )"));
        QCOMPARE(start, QString("2"));
        QVERIFY(stayedOpen);
        QVERIFY(program.Messages().Contains("Please enter an integer between 0 and 100."));
        QCOMPARE(LastState(image), std::string("Feather"));

        // Contract: the same dialog with its own caption; text that is no number is refused.
        program.Messages().Clear();
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CExpandContractDialog*>(w);
            if (!dialog) return;
            title = dialog->windowTitle();
            label = dialog->ValueLabel()->text();
            dialog->ValueEdit()->setText("x");
            dialog->accept();
            stayedOpen = dialog->isVisible();
            dialog->ValueEdit()->setText("3");
            dialog->accept();
        });
        frame.OnCommand(Id("&Select/Modify Selection", "Contract"));
        QCOMPARE(title, QString("Contract Selection"));
        QCOMPARE(label, QString("Contract:"));
        QVERIFY(stayedOpen);
        QCOMPARE(program.Messages().Texts().front(), std::string("Please enter an integer."));
        QCOMPARE(LastState(image), std::string("Contract Selection"));
        // Cancel changes nothing.
        const int states = image.History().StateCount();
        WhenModal([](QWidget* w) {
            if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
        });
        frame.OnCommand(Id("&Select/Modify Selection", "Expand"));
        QCOMPARE(image.History().StateCount(), states);
    }

    void drawBorderDialog() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = frame.NewDocument({20, 20, 2834})->GetImage();
        frame.RefreshPalettes();
        frame.OnCommand(Id("&Select", "Select All"));
        bool stayedOpen = false;
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CDrawBorderDialog*>(w);
            if (!dialog) return;
            dialog->WidthEdit()->setText("51");
            dialog->accept();
            stayedOpen = dialog->isVisible();
            dialog->WidthEdit()->setText("2");
            dialog->OpacityEdit()->setText("100");
            dialog->accept();
        });
        frame.OnCommand(Id("&Edit", "Draw Border"));
        QVERIFY(stayedOpen);
        QVERIFY(program.Messages().Contains("Please enter an integer between 1 and 50."));
        QCOMPARE(LastState(image), std::string("Draw Border"));
        // The foreground (black) is drawn on the canvas edge; the middle stays white.
        QCOMPARE(CompositeAt(image, 0, 10), (Rgb3{0, 0, 0}));
        QCOMPARE(CompositeAt(image, 10, 10), (Rgb3{255, 255, 255}));
    }

    void imageSizeDialogRefusesAndResizes() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 40, 30, 50, 60, 70);
        bool stayedOpen = false;
        QString shownWidth, shownRes;
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CImageSizeDialog*>(w);
            if (!dialog) return;
            shownWidth = dialog->PixelWidthEdit()->text();
            shownRes = dialog->ResolutionEdit()->text();
            dialog->PixelWidthEdit()->setText("10001");
            dialog->accept();
            stayedOpen = dialog->isVisible();
            // Scale Styles keeps the ratio: 20 wide makes 15 high.
            dialog->PixelWidthEdit()->setText("20");
            emit dialog->PixelWidthEdit()->editingFinished();
            if (dialog->PixelHeightEdit()->text() != "15") dialog->reject();
            dialog->accept();
        });
        frame.OnCommand(Id("&Image", "Image Size"));
        QCOMPARE(shownWidth, QString("40"));
        // 2834 pixels per metre per inch, in two decimals: D2(2834 x 0.0254 = 71.9836).
        QCOMPARE(shownRes, QString("71.98"));
        QVERIFY(stayedOpen);
        QVERIFY(program.Messages().Contains("Please enter an integer between 1 and 10000."));
        QCOMPARE(image.Width(), 20);
        QCOMPARE(image.Height(), 15);
        QCOMPARE(LastState(image), std::string("Image Size"));
        QCOMPARE(CompositeAt(image, 19, 14), (Rgb3{50, 60, 70}));
    }

    // A pixel size refused leaves every box on the canvas's values, even when its message takes
    // the focus from a box still showing the refused state (that box was not edited).
    void imageSizeRefusalIsNotUndoneByAStaleBox() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 300, 200, 50, 60, 70);
        QString width, height, okWidth;
        bool stayedOpen = false;
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CImageSizeDialog*>(w);
            if (!dialog) return;
            dialog->PixelWidthEdit()->setText("5000");
            emit dialog->PixelWidthEdit()->editingFinished();
            // The message box takes the focus from Document Width while it shows the 5000 wide
            // state's text.
            program.Messages().onEntry = [dialog](const RecordingMessages::Entry&) {
                emit dialog->DocumentWidthEdit()->editingFinished();
            };
            dialog->PixelHeightEdit()->setText("10000");
            emit dialog->PixelHeightEdit()->editingFinished();
            program.Messages().onEntry = nullptr;
            width = dialog->PixelWidthEdit()->text();
            height = dialog->PixelHeightEdit()->text();
            // OK (Enter) on a typed size the model refuses says why as well and stays open on
            // the canvas's values, as leaving the box does.
            dialog->PixelWidthEdit()->setText("10000");
            dialog->accept();
            stayedOpen = dialog->isVisible();
            okWidth = dialog->PixelWidthEdit()->text();
            // Enter in the box leaves it first (refused there), and the same press is no OK.
            dialog->PixelWidthEdit()->setText("10000");
            dialog->PixelWidthEdit()->setFocus();
            QTest::keyClick(dialog->PixelWidthEdit(), Qt::Key_Return);
            stayedOpen = stayedOpen && dialog->isVisible();
            dialog->reject();
        });
        frame.OnCommand(Id("&Image", "Image Size"));
        const auto& shown = program.Messages().Texts();
        QCOMPARE(std::count(shown.begin(), shown.end(), std::string(kImageLimitsMessage)), 3);
        QCOMPARE(width, QString("300"));
        QCOMPARE(height, QString("200"));
        QVERIFY(stayedOpen);
        QCOMPARE(okWidth, QString("300"));
        QCOMPARE(image.Width(), 300);
    }

    void canvasSizeAsksBeforeCutting() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 40, 30, 50, 60, 70);
        QString current;
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CCanvasSizeDialog*>(w);
            if (!dialog) return;
            dialog->UnitBox()->setCurrentIndex(2);  // Pixels
            current = dialog->CurrentWidthLabel()->text();
            dialog->WidthEdit()->setText("25");
            dialog->accept();
        });
        program.Messages().QueueAnswer(Answer::Ok);
        frame.OnCommand(Id("&Image", "Canvas Size"));
        QCOMPARE(current, QString("Width:  40 Pixels"));
        QCOMPARE(program.Messages().Last(),
                 std::string("The new size is less than the current size, the image will be cut! "
                             "Whether to continue?"));
        QCOMPARE(image.Width(), 25);
        QCOMPARE(image.Height(), 30);
        QCOMPARE(LastState(image), std::string("Canvas Size"));
        // The layer keeps its pixels beyond the new canvas.
        QCOMPARE(image.Layers().CurrentLayer()->Bounds(), (Rect{0, 0, 40, 30}));

        // Cancel to the question: nothing changes.
        const int states = image.History().StateCount();
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CCanvasSizeDialog*>(w);
            if (!dialog) return;
            dialog->UnitBox()->setCurrentIndex(2);
            dialog->HeightEdit()->setText("10");
            dialog->accept();
        });
        program.Messages().QueueAnswer(Answer::Cancel);
        frame.OnCommand(Id("&Image", "Canvas Size"));
        QCOMPARE(image.Height(), 30);
        QCOMPARE(image.History().StateCount(), states);
    }

    void printSizeChangesOnlyTheResolution() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = OpenColoured(program, 40, 30, 50, 60, 70);
        image.SetModified(false);
        const int states = image.History().StateCount();
        QString pixels;
        WhenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<CPrintSizeDialog*>(w);
            if (!dialog) return;
            pixels = dialog->PixelSizeLabel()->text();
            dialog->ResolutionEdit()->setText("10000");  // up to below 10,000 only
            dialog->accept();
            if (!dialog->isVisible()) return;
            // Taken by the box, but past what the document can hold: said, not dropped.
            dialog->ResolutionEdit()->setText("2540");
            dialog->accept();
            if (!dialog->isVisible()) return;
            dialog->ResolutionEdit()->setText("300");
            dialog->accept();
        });
        frame.OnCommand(Id("&Image", "Print Size"));
        QCOMPARE(pixels, QString("Width:40 Height:30  (Pixels)"));
        QVERIFY(
            program.Messages().Contains("Please enter a number of at least 0.01 and below 10000."));
        QVERIFY(
            program.Messages().Contains("The resolution should be from 0.02 to 2539.98 "
                                        "pixels per inch (0.01 to 999.99 pixels per "
                                        "centimetre)."));
        QCOMPARE(image.Resolution(), int32_t(300 * 39.37008 + 0.5));
        QCOMPARE(image.Width(), 40);
        QCOMPARE(image.History().StateCount(), states);
        QVERIFY(image.IsModified());
    }

    // Every row of the command tables is a menu item where the table says, with its text and
    // keys; every dialog the frame offers belongs to a table row that takes values.
    void everyCommandTableRowIsAMenuItem() {
        Program program;
        CMainFrame& frame = program.Frame();
        int rows = 0;
        for (const CommandFamily& family : CommandFamilies()) {
            for (const CommandEntry& e : family.entries) {
                if (e.IsSeparator()) continue;
                const QString where = QString::fromStdString(e.menu + " / " + e.text);
                QAction* action = frame.Action(e.id);
                QVERIFY2(action, qPrintable(where));
                QVERIFY2(action->text().startsWith(QString::fromStdString(e.text)),
                         qPrintable(where + " reads " + action->text()));
                QMenu* menu = frame.Menu(QString::fromStdString(e.menu));
                QVERIFY2(menu && menu->actions().contains(action), qPrintable(where));
                QList<QKeySequence> keys;
                for (const QString& k :
                     QString::fromStdString(e.keys).split(';', Qt::SkipEmptyParts))
                    keys.append(QKeySequence(k));
                QCOMPARE(action->shortcuts(), keys);
                ++rows;
            }
        }
        QVERIFY(rows > 100);
        for (const DialogCommand& d : DialogCommands()) {
            const CommandEntry* e = FindCommand(d.id);
            QVERIFY(e && e->TakesValues() && e->run);
        }
    }

    // A tool in the middle of a drag disables the document commands; triggered anyway (a key
    // held down), they do nothing. zelvo-batch refuses the same verbs by the same rule.
    void aBusyToolDisablesTheDocumentCommands() {
        Program program;
        CMainFrame& frame = program.Frame();
        Image& image = frame.NewDocument({20, 10, 2834})->GetImage();
        frame.OnCommand(kIdSelectAll);
        const char* verbs[] = {"adjust invert", "filter sharpen",   "layer new",
                               "select none",   "select feather",   "edit clear",
                               "edit copy",     "edit border",      "image rotate cw",
                               "image size",    "transform flip-h", "select all"};
        for (const char* verb : verbs) {
            const CommandEntry* e = FindCommandByVerb(verb);
            QVERIFY2(e && e->refusedWhileToolBusy, verb);
            QVERIFY2(Enabled(frame, e->id), verb);
        }
        test::BusyToolHost busy;
        image.History().SetHost(&busy);
        const int states = image.History().StateCount();
        int refused = 0;
        for (const CommandFamily& family : CommandFamilies())
            for (const CommandEntry& e : family.entries) {
                if (!e.refusedWhileToolBusy || !e.run) continue;
                QVERIFY2(!Enabled(frame, e.id), e.verb.c_str());
                ++refused;
            }
        QVERIFY(refused > 40);
        // No dialog opens and nothing is recorded.
        for (const char* verb : verbs) frame.OnCommand(FindCommandByVerb(verb)->id);
        QCOMPARE(image.History().StateCount(), states);
        image.History().SetHost(&image);
        QVERIFY(Enabled(frame, kIdInvert));
    }
};

QObject* MakeCommandsTest() {
    return new CommandsTest;
}

#include "CommandsTest.moc"
