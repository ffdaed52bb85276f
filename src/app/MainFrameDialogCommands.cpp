// The dialogs of the menu commands that take values: Feather, Expand, Contract, Draw Border,
// Image Size, Canvas Size, Print Size, and the adjustment and filter dialogs that preview on
// the active view. Each gives the values its command table entry runs with.
#include "app/CCanvasSizeDialog.h"
#include "app/CChildFrame.h"
#include "app/CColorPalette.h"
#include "app/CCurvesDialog.h"
#include "app/CDrawBorderDialog.h"
#include "app/CImageSizeDialog.h"
#include "app/CLevelsDialog.h"
#include "app/CMainFrame.h"
#include "app/CPrintSizeDialog.h"
#include "app/CSelectionPixelsDialog.h"
#include "app/CSliderDialog.h"
#include "app/CZelvoView.h"
#include "app/MainFrameCommands.h"
#include "doc/Image.h"

namespace zelvo {

namespace {

bool Feather(CMainFrame& frame, Image&, CommandValues& values) {
    CFeatherDialog dialog(&frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return false;
    values = {*dialog.Result()};
    return true;
}

template <bool contract>
bool ExpandContract(CMainFrame& frame, Image&, CommandValues& values) {
    CExpandContractDialog dialog(contract, &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return false;
    values = {*dialog.Result()};
    return true;
}

// The swatch opens on the foreground colour, and the colour drawn with becomes it.
bool DrawBorder(CMainFrame& frame, Image&, CommandValues& values) {
    CColorPalette* colors = frame.ColorPalette();
    const ColorRef foreground = colors ? colors->Foreground() : 0;
    CDrawBorderDialog dialog(foreground, &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return false;
    const DrawBorderValues chosen = *dialog.Result();
    if (colors) colors->SetColors(chosen.color, colors->Background());
    values = {chosen.width, int32_t(chosen.color), chosen.opacity};
    return true;
}

bool ImageSize(CMainFrame& frame, Image& image, CommandValues& values) {
    CImageSizeDialog dialog(image.Width(), image.Height(), image.Resolution(), &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Request()) return false;
    const ImageSizeRequest& r = *dialog.Request();
    values = {r.width, r.height, r.resolution, r.scaleStyles ? 1 : 0};
    return true;
}

bool CanvasSize(CMainFrame& frame, Image& image, CommandValues& values) {
    CCanvasSizeDialog dialog(image.Width(), image.Height(), image.Resolution(), &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.ChangeRequested()) return false;
    values = {dialog.Model().NewWidth(), dialog.Model().NewHeight()};
    return true;
}

bool PrintSize(CMainFrame& frame, Image& image, CommandValues& values) {
    CPrintSizeDialog dialog(image.Width(), image.Height(), image.Resolution(), &frame);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return false;
    values = {*dialog.Result()};
    return true;
}

// The preview dialogs work on the active window's view of `image`.
CZelvoView* ViewOf(CMainFrame& frame, Image& image) {
    CChildFrame* child = frame.ActiveChild();
    return child && &child->GetImage() == &image ? child->View() : nullptr;
}

bool RunPreview(CPreviewDialog& dialog, CommandValues& values) {
    if (!dialog.Prepared() || dialog.exec() != QDialog::Accepted) return false;
    return dialog.Values(values);
}

template <SliderDialogKind kind>
bool Sliders(CMainFrame& frame, Image& image, CommandValues& values) {
    CZelvoView* view = ViewOf(frame, image);
    if (!view) return false;
    CSliderDialog dialog(*view, kind, &frame);
    return RunPreview(dialog, values);
}

bool Levels(CMainFrame& frame, Image& image, CommandValues& values) {
    CZelvoView* view = ViewOf(frame, image);
    if (!view) return false;
    CLevelsDialog dialog(*view, &frame);
    return RunPreview(dialog, values);
}

bool Curves(CMainFrame& frame, Image& image, CommandValues& values) {
    CZelvoView* view = ViewOf(frame, image);
    if (!view) return false;
    CCurvesDialog dialog(*view, &frame);
    return RunPreview(dialog, values);
}

}  // namespace

const std::vector<DialogCommand>& DialogCommands() {
    static const std::vector<DialogCommand> dialogs = {
        {kIdFeather, Feather},
        {kIdExpand, ExpandContract<false>},
        {kIdContract, ExpandContract<true>},
        {kIdDrawBorder, DrawBorder},
        {kIdImageSize, ImageSize},
        {kIdCanvasSize, CanvasSize},
        {kIdPrintSize, PrintSize},
        {kIdCurves, Curves},
        {kIdColorBalance, Sliders<SliderDialogKind::ColorBalance>},
        {kIdLevels, Levels},
        {kIdBrightnessContrast, Sliders<SliderDialogKind::BrightnessContrast>},
        {kIdSaturation, Sliders<SliderDialogKind::Saturation>},
        {kIdShadowHighlight, Sliders<SliderDialogKind::ShadowHighlight>},
        {kIdBlur, Sliders<SliderDialogKind::Blur>},
        {kIdSharpenMore, Sliders<SliderDialogKind::SharpenMore>},
        {kIdAddNoise, Sliders<SliderDialogKind::AddNoise>},
        {kIdMosaic, Sliders<SliderDialogKind::Mosaic>},
    };
    return dialogs;
}

}  // namespace zelvo
