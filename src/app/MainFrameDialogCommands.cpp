// The dialogs of the menu commands that take values: Feather, Expand, Contract, Draw Border,
// Image Size, Canvas Size and Print Size. Each gives the values its command table entry runs
// with.
#include "app/CCanvasSizeDialog.h"
#include "app/CColorPalette.h"
#include "app/CDrawBorderDialog.h"
#include "app/CImageSizeDialog.h"
#include "app/CMainFrame.h"
#include "app/CPrintSizeDialog.h"
#include "app/CSelectionPixelsDialog.h"
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
    };
    return dialogs;
}

}  // namespace zelvo
