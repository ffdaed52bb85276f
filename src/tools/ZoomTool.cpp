// The Zoom tool: each click applies the wheel's step three times, in or out as the options bar
// says, and shows the ratio as the wheel does.
#include <cstdio>

#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "tools/ZoomTool.h"
#include "view/ImageView.h"
#include "view/ViewZoom.h"

namespace zelvo {

std::string ZoomRatioText(float zoom) {
    char text[64];
    std::snprintf(text, sizeof text, "Show ratio：%d%%", int(zoom * 100));
    return text;
}

bool ZoomClick(ImageView& view, bool in) {
    float zoom = view.Zoom();
    for (int i = 0; i < 3; ++i) WheelZoomStep(zoom, in ? -1 : 1, false, false);
    return view.SetZoom(zoom);
}

namespace {

class ZoomTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& /*m*/) override {
        const bool in = Tools().Options().Get(kToolZoom, "zoom") != "out";
        ZoomClick(view, in);
        Tools().ShowStatus(ZoomRatioText(view.Zoom()));
        return true;
    }
    CursorShape Cursor() const override { return CursorShape::Zoom; }
};

}  // namespace

std::unique_ptr<MouseOperation> MakeZoomTool(ToolController& tools) {
    return std::make_unique<ZoomTool>(tools);
}

}  // namespace zelvo
