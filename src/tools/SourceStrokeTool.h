// The brush-driven tools that copy from a source (clone stamp, healing brush): the Alt-click
// that picks the source, the check of the source at the press, and the cross that marks the
// position being sampled in the source document's view while the stroke goes on.
#pragma once

#include "tools/CloneSource.h"
#include "tools/StrokeTool.h"

namespace zelvo {

class SourceStrokeTool : public StrokeTool {
public:
    using StrokeTool::StrokeTool;

    void Overlay(ImageView& view, OverlayCanvas& canvas) override;
    void OverlayOther(ImageView& view, OverlayCanvas& canvas) override;

    static constexpr const char* kNoSource =
        "Alt-Click to define a source point to be used to repair the image!";

protected:
    // With Alt held the press defines the source at its point on `layer` and is used up: true.
    bool PickSource(ImageView& view, const ViewMouse& m, const LayerPtr& layer);
    // Whether the source may serve a stroke on `image` (the healing brush's rule with
    // `currentLayerOnly`: the same document and its current layer); false shows the message.
    bool CheckSource(Image& image, bool currentLayerOnly);
    // This stroke samples the source at stroke point + `offset`; `start` is its first point.
    void SampleAt(Point offset, Point start);

    void Moved(Point p) override;
    void Ended(Image& image, bool committed) override;

private:
    void DrawCross(ImageView& view, OverlayCanvas& canvas);
    void RepaintSourceView();

    Point m_offset, m_current;
};

}  // namespace zelvo
