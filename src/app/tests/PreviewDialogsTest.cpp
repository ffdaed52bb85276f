// The adjustment and filter dialogs over a real document: each opens from its menu item with
// its title and defaults; a change previews on the view without writing the layer; OK gives the
// pixels of the zelvo-batch command at the same values and one history state named after it; Cancel
// leaves the layer and the history as they were; OK without a change follows the table.
#include <filesystem>
#include <memory>
#include <sstream>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include "adjust/AdjustPass.h"
#include "app/CChildFrame.h"
#include "app/CCurvesDialog.h"
#include "app/CLevelsDialog.h"
#include "app/CSliderDialog.h"
#include "app/CZelvoView.h"
#include "app/tests/GuiTestSupport.h"
#include "batch/BatchRunner.h"
#include "commands/CommandIds.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"
#include "layers/StoredDib.h"
#include "view/DisplayRefresher.h"

using namespace zelvo;
using namespace zelvo::guitest;

namespace {

constexpr int32_t kW = 160, kH = 120;

// A document with a photograph-like first layer: smooth gradients with a little noise.
CChildFrame* Photo(CMainFrame& frame) {
    CChildFrame* child = frame.NewDocument({kW, kH, 2834});
    if (!child) return nullptr;
    Image& image = child->GetImage();
    HoldRender hold(image.ViewState());
    Layer& layer = *image.Layers().LayerAt(0);
    uint32_t seed = 7;
    for (int32_t r = 0; r < kH; ++r) {
        uint8_t* row = layer.Rows()->Row(uint32_t(StoredDib::StoredRow(r, kH)));
        for (int32_t c = 0; c < kW; ++c) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t noise = (seed >> 16) % 24;
            const uint32_t word = 100u << 24 | uint32_t(c * 255 / kW) << 16 |
                                  uint32_t((r * 200 / kH + noise) & 0xFF) << 8 |
                                  uint32_t((c + r) % 96 + noise * 4);
            std::memcpy(row + 4 * size_t(c), &word, 4);
        }
    }
    layer.ReleaseRows();
    return child;
}

std::vector<uint32_t> CurrentWords(Image& image) {
    PixelBuffer buffer;
    if (!ReadLayerPixels(*image.Layers().CurrentLayer(), buffer)) return {};
    return buffer.px;
}

std::string LastState(Image& image) {
    return HistoryPalette::RowText(image.History(), image.History().StateCount());
}

// Runs zelvo-batch's commands on `in` and returns the current layer of the result.
std::vector<uint32_t> BatchResult(Program& program, const std::string& in,
                                  const std::string& line) {
    const std::string out = program.TempFolder() + "/batch-out.zld";
    std::ostringstream output, errors;
    BatchRunner runner(output, errors);
    RegisterAllCommands(runner);
    std::istringstream script("open " + in + "\n" + line + "\nsave " + out + "\n");
    const std::string temp = program.TempFolder() + "/batch";
    std::filesystem::create_directories(temp);
    if (runner.Run(script, temp) != BatchRunner::kDone) {
        qWarning("batch failed: %s %s", output.str().c_str(), errors.str().c_str());
        return {};
    }
    CChildFrame* child = program.Frame().OpenDocument(out);
    if (!child) return {};
    std::vector<uint32_t> words = CurrentWords(child->GetImage());
    child->GetImage().SetModified(false);
    child->close();
    return words;
}

constexpr int kLevels = 100, kCurves = 101, kFreeCurves = 102;

int MenuIdOf(int which) {
    using K = SliderDialogKind;
    switch (which) {
        case kLevels:
            return kIdLevels;
        case kCurves:
        case kFreeCurves:
            return kIdCurves;
        default:
            break;
    }
    switch (K(which)) {
        case K::BrightnessContrast:
            return kIdBrightnessContrast;
        case K::Saturation:
            return kIdSaturation;
        case K::ColorBalance:
            return kIdColorBalance;
        case K::ShadowHighlight:
            return kIdShadowHighlight;
        case K::Blur:
            return kIdBlur;
        case K::SharpenMore:
            return kIdSharpenMore;
        case K::AddNoise:
            return kIdAddNoise;
        case K::Mosaic:
            return kIdMosaic;
    }
    return 0;
}

// Runs the menu command of `which` and `drive` on the dialog it opens; a dialog that `drive`
// leaves open is cancelled. False when no preview dialog came.
bool RunDialog(CMainFrame& frame, int which, const std::function<void(CPreviewDialog&)>& drive) {
    bool came = false;
    WhenModal([&](QWidget* modal) {
        auto* dialog = dynamic_cast<CPreviewDialog*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        came = true;
        drive(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    frame.UpdateCommandUI();
    frame.OnCommand(MenuIdOf(which));
    return came;
}

// The picture the view shows, waiting until it differs from (or equals) `than`.
bool PictureBecomes(CZelvoView& view, const QImage& than, bool differ) {
    return WaitFor([&] { return (view.Picture() != than) == differ; });
}

}  // namespace

class PreviewDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void dialogsOpenFromTheirMenuItemsWithTitlesAndDefaults() {
        Program program;
        CMainFrame& frame = program.Frame();
        QVERIFY(Photo(frame));
        struct Case {
            SliderDialogKind kind;
            const char* title;
            std::vector<const char*> texts;
            std::vector<int> values;
        };
        using K = SliderDialogKind;
        const Case cases[] = {
            {K::BrightnessContrast, "Brightness/Contrast", {"0", "0"}, {100, 100}},
            {K::Saturation, "Saturation", {"0"}, {100}},
            {K::ColorBalance, "Color Balance", {"0", "0", "0"}, {100, 100, 100}},
            {K::ShadowHighlight, "Shadow/Highlight:", {"50", "0", "30"}, {50, 0, 30}},
            {K::Blur, "Blur", {"0.1"}, {1}},
            {K::SharpenMore, "Sharpen", {"50", "1"}, {50, 1}},
            {K::AddNoise, "Add Noise", {"0"}, {0}},
            {K::Mosaic, "Mosaic", {"2"}, {2}},
        };
        for (const Case& c : cases) {
            const bool came = RunDialog(frame, int(c.kind), [&](CPreviewDialog& d) {
                auto* dialog = dynamic_cast<CSliderDialog*>(&d);
                QVERIFY(dialog && dialog->Prepared());
                QCOMPARE(dialog->windowTitle(), QString(c.title));
                QCOMPARE(dialog->Count(), int(c.texts.size()));
                for (int i = 0; i < dialog->Count(); ++i) {
                    QCOMPARE(dialog->Edit(i)->text(), QString(c.texts[size_t(i)]));
                    QCOMPARE(dialog->Slider(i)->value(), c.values[size_t(i)]);
                }
                QCOMPARE(dialog->MonochromaticBox() != nullptr, c.kind == K::AddNoise);
                if (dialog->MonochromaticBox()) QVERIFY(!dialog->MonochromaticBox()->isChecked());
            });
            QVERIFY2(came, c.title);
        }
        QVERIFY(RunDialog(frame, kLevels, [](CPreviewDialog& d) {
            auto* levels = dynamic_cast<CLevelsDialog*>(&d);
            QVERIFY(levels);
            QCOMPARE(levels->windowTitle(), QString("Levels"));
            const char* numbers[] = {"0", "1.00", "255"};
            for (int i = 0; i < 3; ++i) QCOMPARE(levels->InputEdit(i)->text(), QString(numbers[i]));
            QCOMPARE(levels->OutputEdit(0)->text(), QString("0"));
            QCOMPARE(levels->OutputEdit(1)->text(), QString("255"));
            QCOMPARE(levels->Input().Middle(), 127);
            // Past 255 nothing moves; the box, once left, shows the white point in use.
            levels->InputEdit(2)->setText("");
            QTest::keyClicks(levels->InputEdit(2), "300");
            emit levels->InputEdit(2)->editingFinished();
            QCOMPARE(levels->InputEdit(2)->text(), QString("30"));
            QCOMPARE(levels->Input().White(), 30);
        }));
        QVERIFY(RunDialog(frame, kCurves, [](CPreviewDialog& d) {
            auto* curves = dynamic_cast<CCurvesDialog*>(&d);
            QVERIFY(curves);
            QCOMPARE(curves->windowTitle(), QString("Curves"));
            QCOMPARE(curves->Graph()->size(), QSize(180 + 12, 180 + 12));
            QCOMPARE(curves->Model().Anchors().size(), size_t(2));
            QVERIFY(!curves->FreeLineBox()->isChecked());
        }));
    }

    void slidersAndEditsStayInStep() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = Photo(frame);
        QVERIFY(child);
        CSliderDialog dialog(*child->View(), SliderDialogKind::BrightnessContrast, &frame);
        dialog.show();
        // Each keystroke that leaves a number within the range moves the slider; anything else
        // is ignored ("101" stays where its "10" put the slider).
        struct Typed {
            const char* text;
            int slider;
        };
        const Typed typed[] = {{"25", 125}, {"-100", 0}, {"101", 110}, {"abc", 110}, {"7", 107}};
        for (const Typed& t : typed) {
            dialog.Edit(0)->setText("");
            QTest::keyClicks(dialog.Edit(0), t.text);
            QCOMPARE(dialog.Slider(0)->value(), t.slider);
        }
        // Once left, a box that was typed out of range shows the value in use.
        dialog.Edit(0)->setText("");
        QTest::keyClicks(dialog.Edit(0), "500");
        QCOMPARE(dialog.Edit(0)->text(), QString("500"));
        emit dialog.Edit(0)->editingFinished();
        QCOMPARE(dialog.Edit(0)->text(), QString("50"));
        QCOMPARE(dialog.Slider(0)->value(), 150);
        // A moved slider writes its number and selects it; wheel and arrows step.
        dialog.Slider(1)->setValue(150);
        QCOMPARE(dialog.Edit(1)->text(), QString("50"));
        QVERIFY(dialog.Edit(1)->hasSelectedText());
        QTest::keyClick(dialog.Edit(1), Qt::Key_Up);
        QCOMPARE(dialog.Slider(1)->value(), 151);
        QTest::keyClick(dialog.Edit(1), Qt::Key_Down);
        QTest::keyClick(dialog.Edit(1), Qt::Key_Down);
        QCOMPARE(dialog.Edit(1)->text(), QString("49"));
        QWheelEvent wheel(QPointF(5, 5), dialog.Edit(1)->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(dialog.Edit(1), &wheel);
        QCOMPARE(dialog.Slider(1)->value(), 150);
        // Blur's edit: tenths up to 1.0, whole radii above, read back as shown.
        CSliderDialog blur(*child->View(), SliderDialogKind::Blur, &frame);
        blur.Slider(0)->setValue(25);
        QCOMPARE(blur.Edit(0)->text(), QString("15"));
        blur.Slider(0)->setValue(7);
        QCOMPARE(blur.Edit(0)->text(), QString("0.7"));
        blur.Edit(0)->setText("");
        QTest::keyClicks(blur.Edit(0), "5");
        QCOMPARE(blur.Slider(0)->value(), 15);
        blur.Edit(0)->setText("");
        QTest::keyClicks(blur.Edit(0), "0.5");
        QCOMPARE(blur.Slider(0)->value(), 5);
        blur.reject();
        // Enter on a number typed out of range says so and keeps the dialog open, and so does
        // OK after the box was put back to the value in use; a number in range is taken.
        dialog.Edit(0)->setText("");
        QTest::keyClicks(dialog.Edit(0), "150");
        QTest::keyClick(dialog.Edit(0), Qt::Key_Return);
        QVERIFY(program.Messages().Contains("Please enter an integer between -100 and 100."));
        QCOMPARE(dialog.Edit(0)->text(), QString("150"));
        QVERIFY(dialog.isVisible());
        emit dialog.Edit(0)->editingFinished();
        dialog.accept();
        QVERIFY(dialog.isVisible());
        dialog.Edit(0)->setText("");
        QTest::keyClicks(dialog.Edit(0), "15");
        dialog.accept();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void aChangePreviewsAndCancelLeavesTheDocument() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = Photo(frame);
        QVERIFY(child);
        CZelvoView& view = *child->View();
        Image& image = child->GetImage();
        QVERIFY(WaitFor([&] { return !view.Picture().isNull(); }));
        QTest::qWait(1500);  // the first paint's fitted zoom and its redraw
        const QImage plain = view.Picture();
        const std::vector<uint32_t> words = CurrentWords(image);
        const int states = image.History().StateCount();
        using K = SliderDialogKind;
        for (int which : {int(K::BrightnessContrast), int(K::Saturation), int(K::ColorBalance),
                          int(K::ShadowHighlight), int(K::Blur), int(K::SharpenMore),
                          int(K::AddNoise), int(K::Mosaic), kLevels, kCurves}) {
            QString title;
            const bool came = RunDialog(frame, which, [&](CPreviewDialog& dialog) {
                title = dialog.windowTitle();
                if (auto* sliders = dynamic_cast<CSliderDialog*>(&dialog))
                    sliders->Slider(0)->setValue(sliders->Slider(0)->maximum() - 3);
                if (auto* levels = dynamic_cast<CLevelsDialog*>(&dialog)) {
                    levels->InputEdit(2)->setText("");
                    QTest::keyClicks(levels->InputEdit(2), "120");
                }
                if (auto* curves = dynamic_cast<CCurvesDialog*>(&dialog)) {
                    // Press on the straight line's middle, drag the new anchor up.
                    QTest::mousePress(curves->Graph(), Qt::LeftButton, {},
                                      CCurvesGraph::ClientOf(90, 91));
                    QTest::mouseMove(curves->Graph(), CCurvesGraph::ClientOf(90, 40));
                    QTest::mouseRelease(curves->Graph(), Qt::LeftButton, {},
                                        CCurvesGraph::ClientOf(90, 40));
                    QCOMPARE(curves->Model().Anchors().size(), size_t(3));
                    QCOMPARE(curves->InputLabel()->text(), QString("126"));
                }
                QVERIFY2(PictureBecomes(view, plain, true), title.toUtf8());
                QCOMPARE(CurrentWords(image), words);
                dialog.reject();
            });
            QVERIFY(came);
            QVERIFY2(PictureBecomes(view, plain, false), title.toUtf8());
            QCOMPARE(CurrentWords(image), words);
            QCOMPARE(image.History().StateCount(), states);
        }
    }

    void okAppliesWhatTheBatchCommandApplies() {
        Program program;
        CMainFrame& frame = program.Frame();
        using K = SliderDialogKind;
        struct Case {
            int which;
            std::vector<int> sliders;  // slider positions (the edits show them shifted)
            std::string line;          // the batch command at those values
            std::string state;
        };
        const Case cases[] = {
            {int(K::BrightnessContrast),
             {70, 145},
             "adjust brightness-contrast -30 45",
             "Brightness/Contrast"},
            {int(K::Saturation), {160}, "adjust saturation 60", "Saturation"},
            {int(K::ColorBalance),
             {130, 80, 110},
             "adjust color-balance 30 -20 10",
             "Color Balance"},
            {int(K::ShadowHighlight),
             {60, 20, 5},
             "adjust shadow-highlight 60 20 5",
             "Shadow/Highlight"},
            {int(K::Blur), {4}, "filter blur 4", "Blur"},
            {int(K::Blur), {14}, "filter blur 14", "Blur"},
            {int(K::SharpenMore), {70, 3}, "filter sharpen-more 70 3", "Sharpen"},
            {int(K::Mosaic), {6}, "filter mosaic 6", "Mosaic"},
            {kLevels, {}, "", "Levels"},
            {kCurves, {}, "", "Curves"},
            {kFreeCurves, {}, "", "Curves"},
        };
        for (const Case& c : cases) {
            CChildFrame* child = Photo(frame);
            QVERIFY(child);
            Image& image = child->GetImage();
            const std::string in = program.TempFolder() + "/in.zld";
            QVERIFY(image.Save(in, {}));
            const int states = image.History().StateCount();
            std::string line = c.line;
            QVERIFY(RunDialog(frame, c.which, [&](CPreviewDialog& dialog) {
                if (auto* sliders = dynamic_cast<CSliderDialog*>(&dialog))
                    for (size_t i = 0; i < c.sliders.size(); ++i)
                        sliders->Slider(int(i))->setValue(c.sliders[i]);
                if (auto* levels = dynamic_cast<CLevelsDialog*>(&dialog)) {
                    const std::pair<QLineEdit*, const char*> typed[] = {
                        {levels->InputEdit(0), "20"},
                        {levels->InputEdit(2), "200"},
                        {levels->OutputEdit(0), "250"},
                        {levels->OutputEdit(1), "5"}};
                    for (const auto& [edit, text] : typed) {
                        edit->setText("");
                        QTest::keyClicks(edit, text);
                    }
                    const LevelsInputSlider& input = levels->Input();
                    line = std::string("adjust levels 20 ") + std::to_string(input.Middle()) +
                           " 200 250 5";
                }
                if (auto* curves = dynamic_cast<CCurvesDialog*>(&dialog)) {
                    auto drag = [&](std::vector<Point> path) {
                        QTest::mousePress(curves->Graph(), Qt::LeftButton, {},
                                          CCurvesGraph::ClientOf(path[0].x, path[0].y));
                        for (const Point& p : path)
                            QTest::mouseMove(curves->Graph(), CCurvesGraph::ClientOf(p.x, p.y));
                        QTest::mouseRelease(curves->Graph(), Qt::LeftButton, {},
                                            CCurvesGraph::ClientOf(path.back().x, path.back().y));
                    };
                    drag({{60, 121}, {60, 70}});
                    if (c.which == kFreeCurves) {
                        // Strokes by hand over the anchors' curve, one running off the graph.
                        curves->FreeLineBox()->setChecked(true);
                        drag({{30, 150}, {45, 120}, {90, 60}});
                        drag({{120, 40}, {150, 30}, {200, 20}});
                    }
                    line = "adjust curves";
                    for (const Point& a : curves->Model().Anchors())
                        line += std::string(" ") + std::to_string(a.x) + "," + std::to_string(a.y);
                    if (c.which == kFreeCurves) {
                        line += " free";
                        for (const auto& stroke : curves->Graph()->Strokes()) {
                            if (&stroke != &curves->Graph()->Strokes().front()) line += " |";
                            for (const Point& p : stroke)
                                line += std::string(" ") + std::to_string(p.x) + "," +
                                        std::to_string(p.y);
                        }
                        QCOMPARE(curves->Graph()->Strokes().size(), size_t(2));
                    }
                }
                dialog.accept();
            }));
            QCOMPARE(image.History().StateCount(), states + 1);
            QCOMPARE(LastState(image), c.state);
            const std::vector<uint32_t> gui = CurrentWords(image);
            const std::vector<uint32_t> batch = BatchResult(program, in, line);
            QVERIFY2(!batch.empty(), line.c_str());
            QVERIFY2(gui == batch, line.c_str());
            image.SetModified(false);
            child->close();
        }
    }

    void okWithoutAChangeFollowsTheTable() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = Photo(frame);
        QVERIFY(child);
        Image& image = child->GetImage();
        using K = SliderDialogKind;
        const std::pair<int, bool> cases[] = {
            {kCurves, false},
            {int(K::ColorBalance), false},
            {kLevels, false},
            {int(K::BrightnessContrast), true},
            {int(K::Saturation), false},
            {int(K::ShadowHighlight), true},
        };
        for (const auto& [which, applied] : cases) {
            const int states = image.History().StateCount();
            QVERIFY(RunDialog(frame, which, [](CPreviewDialog& dialog) { dialog.accept(); }));
            QCOMPARE(image.History().StateCount(), states + (applied ? 1 : 0));
        }
    }
};

QObject* MakePreviewDialogsTest() {
    return new PreviewDialogsTest;
}

#include "PreviewDialogsTest.moc"
