// The Image menu (Desaturate, Invert, Image Size, Canvas Size, Print Size, Rotate Canvas) and
// the Filter menu's commands without a dialog (Sharpen and the noise reducers). The commands
// whose dialogs preview on the view stay disabled until those dialogs exist.
#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/Filters.h"
#include "app/CCanvasSizeDialog.h"
#include "app/CImageSizeDialog.h"
#include "app/CMainFrame.h"
#include "app/CPrintSizeDialog.h"
#include "app/MainFrameCommands.h"
#include "doc/Image.h"
#include "geometry/CanvasSize.h"
#include "geometry/ImageSize.h"
#include "geometry/RotateCanvas.h"

namespace zelvo {

namespace {

constexpr const char* kImage = "&Image";
constexpr const char* kAdjust = "&Image/Adjustments";
constexpr const char* kRotate = "&Image/Rotate Canvas";
constexpr const char* kFilter = "Fi&lter";
constexpr const char* kNoise = "Fi&lter/Reduce Noise";

// Adjustments and filters: a current pixel layer, no tool operation running.
bool PixelLayerCommandEnabled(HistoryManager& h) {
    return !h.Host().ToolBusy() && CurrentPixelLayer(h.Layers()) != nullptr;
}

std::function<bool()> GeometryEnabled(CMainFrame& frame, GeometryCommand command) {
    return WhenActiveImage(
        frame, [command](HistoryManager& h) { return GeometryCommandEnabled(command, h); });
}

void OnImageSize(CMainFrame& frame, Image& image) {
    CImageSizeDialog dialog(image.Width(), image.Height(), image.Resolution(), &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Request()) return;
    int32_t resolution = image.Resolution();
    if (ResizeImage(image.History(), *dialog.Request(), resolution))
        image.SetResolution(resolution);
}

void OnCanvasSize(CMainFrame& frame, Image& image) {
    CCanvasSizeDialog dialog(image.Width(), image.Height(), image.Resolution(), &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.ChangeRequested()) return;
    ChangeCanvasSize(image.History(), dialog.Model().NewWidth(), dialog.Model().NewHeight());
}

void OnPrintSize(CMainFrame& frame, Image& image) {
    CPrintSizeDialog dialog(image.Width(), image.Height(), image.Resolution(), &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return;
    image.SetResolution(*dialog.Result());
    // No history state, but the document now differs from its file.
    image.SetModified(true);
}

}  // namespace

void RegisterImageAndFilterCommands(CMainFrame& frame, const AddCommand& add) {
    const auto pixelLayer = WhenActiveImage(frame, PixelLayerCommandEnabled);
    add(MenuId(kAdjust, "Desaturate"),
        OnActiveImage(frame, [](Image& image) { ApplyDesaturate(image.History()); }), pixelLayer);
    add(MenuId(kAdjust, "Invert"),
        OnActiveImage(frame, [](Image& image) { ApplyInvert(image.History()); }), pixelLayer);

    add(MenuId(kImage, "Image Size"),
        OnActiveImage(frame, [&frame](Image& image) { OnImageSize(frame, image); }),
        GeometryEnabled(frame, GeometryCommand::ImageSize));
    add(MenuId(kImage, "Canvas Size"),
        OnActiveImage(frame, [&frame](Image& image) { OnCanvasSize(frame, image); }),
        GeometryEnabled(frame, GeometryCommand::CanvasSize));
    add(MenuId(kImage, "Print Size"),
        OnActiveImage(frame, [&frame](Image& image) { OnPrintSize(frame, image); }),
        GeometryEnabled(frame, GeometryCommand::PrintSize));
    for (const TurnEntry& turn : kTurnEntries) {
        const int code = turn.code;
        add(MenuId(kRotate, turn.text),
            OnActiveImage(frame, [code](Image& image) { RotateCanvas(image.History(), code); }),
            GeometryEnabled(frame, GeometryCommand::RotateCanvas));
    }

    add(MenuId(kFilter, "Sharpen"),
        OnActiveImage(frame, [](Image& image) { ApplySharpen(image.History()); }), pixelLayer);
    static constexpr struct {
        const char* text;
        NoiseReducer kind;
    } kReducers[] = {
        {"Reduce Small Noise(1-2Pixels)", NoiseReducer::Small},
        {"Reduce Medium Noise(3-5Pixels)", NoiseReducer::Medium},
        {"Reduce Big Noise(6-9Pixels)", NoiseReducer::Big},
        {"Reduce Gray Noise(3-5Pixels)", NoiseReducer::Gray},
    };
    for (const auto& reducer : kReducers) {
        const NoiseReducer kind = reducer.kind;
        // The large-layer question is asked by the reducer itself.
        add(MenuId(kNoise, reducer.text),
            OnActiveImage(frame, [kind](Image& image) { ApplyReduceNoise(image.History(), kind); }),
            pixelLayer);
    }
}

}  // namespace zelvo
