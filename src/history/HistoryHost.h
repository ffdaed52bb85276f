// What the history asks of the document (and, through it, of the view, the palettes and the
// text and curve code that arrive later). Every method has a harmless default, so a document
// without a view, or a test, implements only what it needs.
#pragma once

#include "core/Types.h"
#include "layers/Layer.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

class HistoryHost {
public:
    virtual ~HistoryHost() = default;

    // The document's modified flag.
    virtual void SetModified(bool /*modified*/) {}
    // The canvas width or height changed: the view geometry is refreshed.
    virtual void CanvasSizeChanged() {}
    // The document's resolution in pixels per metre (0: the host keeps none), which the
    // canvas states (Image Size, Crop) carry across undo and redo.
    virtual int32_t DocumentResolution() const { return 0; }
    virtual void SetDocumentResolution(int32_t /*ppm*/) {}
    // Rebuild the composite and repaint the view and the palettes.
    virtual void Redraw() {}
    // Repaint the History palette only.
    virtual void RefreshHistoryPalette() {}
    // The shown state has changed (a state recorded, undone, redone or deleted) and the
    // document is at rest in it: the recovery journal records it.
    virtual void StateSettled() {}

    // Background compositing: asked to stop before the layer list is swapped for or from the
    // start row; the history polls CompositingBusy() every 15 ms, then resumes it (which marks
    // the composite for rebuilding and clears the stop request).
    virtual void RequestCompositingStop() {}
    virtual bool CompositingBusy() { return false; }
    virtual void ResumeCompositing() {}

    // The current tool is in the middle of a mouse operation (history commands do nothing).
    virtual bool ToolBusy() { return false; }
    // Ends any pending tool interaction before a history command moves.
    virtual void EndToolInteraction() {}
    // After a history command moved: the curve tool refreshes itself when it is current.
    virtual void AfterHistoryMove() {}
    // Recording any state but "modify curve" first closes the curve tool's pending anchor edit.
    virtual void CloseCurveAnchorEdit() {}

    // Text layers: exchanges the layer's text origin with `origin` and renders the text again.
    // Returns false when not handled (no text support yet): the layer position is swapped then.
    virtual bool SwapTextOrigin(Layer& /*layer*/, Point& /*origin*/) { return false; }
    // Curve layers: moves the anchors by (dx, dy) and renders again (kind 21).
    virtual void MoveCurve(Layer& /*layer*/, int32_t /*dx*/, int32_t /*dy*/) {}
    // Curve layers: renders the anchors again, after the start row put back its own.
    virtual void RenderCurve(Layer& /*layer*/) {}
    // Writes the curve snapshot of a "modify curve" state into a new store block (0 if none).
    virtual BlockHandle WriteCurveSnapshot(Layer& /*layer*/) { return 0; }
    // Loads the "before" (after = false) or "after" half of a curve snapshot into the layer.
    // Returns false when the anchor counts differ.
    virtual bool LoadCurveSnapshot(Layer& /*layer*/, BlockHandle /*block*/, bool /*after*/) {
        return true;
    }
    // A deselect state is going away: the selection it removed is no longer offered to
    // "Reselect" if that is the one remembered.
    virtual void ForgetDeselected(const Layer* /*selection*/) {}
};

}  // namespace zelvo
