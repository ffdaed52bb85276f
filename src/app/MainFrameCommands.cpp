// What the menu command groups share: the ids of unnumbered entries, running a command on the
// active document, and the text and curve drawing that Layer Convert to Selection needs.
#include "app/MainFrameCommands.h"

#include "app/AppCommands.h"
#include "app/CMainFrame.h"
#include "curves/Curve.h"
#include "doc/Image.h"
#include "geometry/Geometry.h"
#include "layers/TextLayer.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

const TurnEntry kTurnEntries[5] = {
    {"Rotate 90 Clockwise", kRotateClockwise},
    {"Rotate 90 Counterclockwise", kRotateCounterclockwise},
    {"Rotate 180", kRotate180},
    {"Flip Horizontal", kFlipHorizontal},
    {"Flip Vertical", kFlipVertical},
};

int MenuId(const char* menu, const char* text) {
    return MenuCommandId(menu, text);
}

std::function<void()> OnActiveImage(CMainFrame& frame, std::function<void(Image&)> work) {
    return [&frame, work = std::move(work)] {
        Image* image = frame.ActiveImage();
        if (!image || !image->IsReady()) return;
        {
            // The refresher reads layer fields the command changes in place.
            HoldRender hold(image->ViewState());
            work(*image);
        }
        // The command may have closed nothing but changed anything: redraw in every case.
        if (frame.ActiveImage() == image) frame.DocumentChanged(*image);
    };
}

std::function<bool()> WhenActiveImage(CMainFrame& frame,
                                      std::function<bool(HistoryManager&)> condition) {
    return [&frame, condition = std::move(condition)] {
        Image* image = frame.ActiveImage();
        return image && image->IsReady() && condition(image->History());
    };
}

void DocumentRerender::RenderText(Layer& layer) {
    zelvo::RenderText(layer);
}

void DocumentRerender::RenderCurve(Layer& layer, bool forceFill) {
    const bool filled = layer.IsFilled();
    if (forceFill) layer.SetFilled(true);
    zelvo::RenderCurve(layer);
    layer.SetFilled(filled);
}

}  // namespace zelvo
