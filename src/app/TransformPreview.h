// What the view shows of a pixel layer while its free transform is pending: the layer's pixels
// taken once at a reduced size and drawn through the frame at every repaint by the commit's own
// row mapping and sampling, so the picture follows each drag at once where the commit will put
// it; the commit draws the real pixels afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/FreeTransform.h"
#include "layers/ImageGeometry.h"
#include "layers/Layer.h"

class QPainter;

namespace zelvo {

class ToolController;

class TransformPreview {
public:
    // The longer side of the kept copy at most.
    static constexpr int kMaxSide = 1024;

    // Reads the layer (every n-th pixel of every n-th row when it is larger than kMaxSide);
    // the frame is asked of `tools` at each paint.
    TransformPreview(const ToolController& tools, const LayerPtr& layer);
    const LayerPtr& Layer() const { return m_layer; }

    // Draws the kept pixels with the layer's opacity so that the layer's rectangle fills the
    // pending frame on a view of geometry `g` (nothing once the transform has ended).
    void Paint(QPainter& p, const ImageGeometry& g) const;
    void Paint(QPainter& p, const ImageGeometry& g, const FrameCorners& frame) const;
    // Draws the same over `dib`, a 24-bit thumbnail (header and bottom-up rows) of the whole
    // canvas of canvasWidth x canvasHeight, whose composite leaves the held layer out.
    void PaintOverThumbnail(std::vector<uint8_t>& dib, int32_t canvasWidth,
                            int32_t canvasHeight) const;

private:
    const ToolController& m_tools;
    LayerPtr m_layer;
    // The kept pixels as stored (alpha a percent), rows top-down; every m_step-th of the layer's.
    std::vector<uint32_t> m_words;
    int32_t m_width = 0, m_height = 0, m_step = 1;
};

}  // namespace zelvo
