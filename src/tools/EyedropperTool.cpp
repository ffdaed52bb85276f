// The eyedropper: a press, and every move while pressed, takes the colour the view shows under
// the pointer (the composite of the visible layers, not the current layer) as the foreground
// colour: one screen pixel, or the per-channel mean of the 3 x 3 or 5 x 5 around it.
#include "tools/EyedropperTool.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "doc/Image.h"
#include "layers/Compositor.h"
#include "tools/Operations.h"
#include "tools/ToolController.h"
#include "view/ImageView.h"
#include "view/ViewZoom.h"

namespace zelvo {

std::optional<ColorRef> DisplayedColor(ImageView& view, Point client, int size) {
    Image& image = view.GetImage();
    const ImageGeometry& g = image.Geometry();
    const int half = size / 2;
    // The canvas pixel each screen pixel of the square shows, row by screen row; screen pixels
    // off the picture show no colour of the image and are left out of the mean.
    std::vector<int32_t> rows;
    std::vector<std::vector<int32_t>> cols;
    int32_t colBegin = INT32_MAX, colEnd = INT32_MIN;
    for (int dy = -half; dy <= half; ++dy) {
        std::vector<int32_t> line;
        int32_t row = 0;
        for (int dx = -half; dx <= half; ++dx) {
            const Point s{client.x + dx, client.y + dy};
            if (!g.screenRect.Contains(s)) continue;
            const Point c = ClientToCanvas(g, s);
            if (c.x < 0 || c.y < 0 || c.x >= image.Width() || c.y >= image.Height()) continue;
            line.push_back(c.x);
            row = c.y;
            colBegin = std::min(colBegin, c.x);
            colEnd = std::max(colEnd, c.x + 1);
        }
        if (line.empty()) continue;
        rows.push_back(row);
        cols.push_back(std::move(line));
    }
    if (rows.empty()) return std::nullopt;
    uint32_t sum[3] = {0, 0, 0}, n = 0;
    Compositor compositor(image.Layers().Layers(), rows, colBegin, colEnd);
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::vector<int32_t>& line = cols[i];
        compositor.ComposeRow(rows[i], 0, line.data(), int32_t(line.size()));
        std::vector<uint8_t> bgr(line.size() * 3);
        compositor.StoreBgr(bgr.data(), 3);
        for (size_t k = 0; k < line.size(); ++k, ++n) {
            sum[0] += bgr[3 * k];
            sum[1] += bgr[3 * k + 1];
            sum[2] += bgr[3 * k + 2];
        }
    }
    return Rgb(uint8_t(sum[2] / n), uint8_t(sum[1] / n), uint8_t(sum[0] / n));
}

namespace {

class EyedropperTool : public MouseOperation {
public:
    using MouseOperation::MouseOperation;

    bool Press(ImageView& view, const ViewMouse& m) override {
        Pick(view, m.client);
        return true;
    }
    void Move(ImageView& view, const ViewMouse& m) override { Pick(view, m.client); }
    bool Release(ImageView& /*view*/, const ViewMouse& /*m*/) override { return false; }
    CursorShape Cursor() const override { return CursorShape::Eyedropper; }

private:
    void Pick(ImageView& view, Point client) {
        const std::string sample = Tools().Options().Get(kToolEyedropper, "sample");
        const int size = sample == "5x5" ? 5 : sample == "3x3" ? 3 : 1;
        if (const auto color = DisplayedColor(view, client, size))
            Tools().Colors().SetForeground(*color);
    }
};

}  // namespace

std::unique_ptr<MouseOperation> MakeEyedropperTool(ToolController& tools) {
    return std::make_unique<EyedropperTool>(tools);
}

}  // namespace zelvo
