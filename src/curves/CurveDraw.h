// The curve tool's Draw mode, shared by the tool and by zelvo-batch's `curve`: the first anchor
// makes a curve layer ("New Curve Layer"), every further anchor is one "Draw Line" state, and
// closing on the first anchor is one more, after which drawing ends.
#pragma once

#include <vector>

#include "curves/CurveEdit.h"

namespace zelvo {

class CurveDraw {
public:
    CurveDraw(LayerManager& layers, CurveEdit& curves);
    CurveDraw(const CurveDraw&) = delete;
    CurveDraw& operator=(const CurveDraw&) = delete;

    // A curve is being drawn: from the first press until the close, `End` or a refusal.
    bool Drawing() const { return m_pressed || m_layer != nullptr; }
    bool Pressed() const { return m_pressed; }
    // The layer drawn on; null before the first anchor's release.
    const LayerPtr& DrawnLayer() const { return m_layer; }

    // A press at canvas point `p`. The tool tests hits in view coordinates: `hitsFirst` and
    // `hitsLast` say the press lies on the current curve layer's first or last anchor point.
    // Not drawing: a press on an end of the current open curve continues from that end (the
    // anchor order reversed for the first one); otherwise a first anchor is started, to take
    // `color` and `filled` at its release. Drawing: a press on the first anchor of a curve of
    // two or more closes it; otherwise an anchor is appended. New anchors are corners. False
    // when nothing was started (an anchor edit could not be opened).
    bool Press(Point p, bool hitsFirst, bool hitsLast, ColorRef color, bool filled);
    // The outgoing handle of the anchor being placed follows `pointer`, the incoming handle
    // takes the mirror point. The layer is rendered at the release.
    void Drag(Point pointer);
    // Makes the layer for a first anchor, or renders and records "Draw Line". False when the
    // layer was refused or could not be made; drawing then ends.
    bool Release();
    // Stops drawing; a pressed anchor is released first.
    void End();

private:
    CurveAnchor* Placing();
    void Reset();

    LayerManager& m_layers;
    CurveEdit& m_curves;
    LayerPtr m_layer;
    CurveAnchor m_first{};  // the first anchor until its layer exists
    ColorRef m_color = 0;
    bool m_filled = true;
    bool m_pressed = false;
    bool m_closing = false;
};

// Draws a curve of corner anchors at `points` as the Draw mode does, one press and release an
// anchor, and a press on the first anchor for `closed`. The new layer, or null when the first
// anchor was refused; a later refusal leaves what was drawn so far and returns null.
LayerPtr DrawCurve(LayerManager& layers, CurveEdit& curves, const std::vector<Point>& points,
                   bool closed, ColorRef color, bool filled);

}  // namespace zelvo
