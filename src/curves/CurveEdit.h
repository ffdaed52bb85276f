// The curve operations that end in history states, one object per document beside its layer
// manager and history: new curve layers, the open anchor edit (its copy of the curve from
// before the change), its commit as a curve snapshot and its cancel, the fill and colour
// options, and loading a snapshot half on undo and redo.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "curves/CurveSnapshot.h"
#include "history/HistoryManager.h"
#include "layers/LayerManager.h"

namespace zelvo {

class CurveEdit {
public:
    CurveEdit(LayerManager& layers, HistoryManager& history);
    CurveEdit(const CurveEdit&) = delete;
    CurveEdit& operator=(const CurveEdit&) = delete;

    // A curve layer of canvas size above the current layer, made current, recorded as "New
    // Curve Layer" under `name` (empty for a freely drawn curve, the shape name for a shape).
    // It takes `color` and `filled`, is open and has no anchors; the caller adds them and
    // renders. Null when refused ("More than 100 layers, should not create a new layer!") or
    // when its buffer cannot be had.
    LayerPtr NewCurveLayer(const std::string& name, ColorRef color = 0, bool filled = true);

    // Copies the current curve layer before a change. False (nothing open) when the current
    // layer is not a curve layer.
    bool BeginCurveEdit();
    bool IsOpen() const { return m_layer != nullptr; }
    // Records "modify curve" with `name` ("Modify curves" when empty) from the copy and the
    // layer as it is now. False when no edit is open.
    bool CommitCurveEdit(const std::string& name);
    // Puts the copied anchors back and renders the layer.
    void CancelCurveEdit();

    // The curve options on the current curve layer: "Fill Curves" / "Cancel curve filling" when
    // the fill changes, "Change the curve color" when only the colour does, nothing when
    // neither. Returns whether a state was recorded.
    bool SetCurveStyle(bool filled, ColorRef color);

    // For the document's history hooks: the snapshot of the open edit (the layer as it is now
    // on both sides when no edit of this layer is open); and the load of one half, after which
    // the layer is rendered and made current.
    BlockHandle WriteSnapshot(Layer& layer);
    // Asks the document to rebuild the composite after a curve changed.
    void RequestRedraw() { m_history.Host().Redraw(); }
    bool LoadSnapshot(Layer& layer, BlockHandle block, bool after);

private:
    LayerManager& m_layers;
    HistoryManager& m_history;
    LayerPtr m_layer;  // the layer of the open edit
    CurveShape m_before;
};

// The layer-count limit shared by every command that adds a layer.
bool RefuseNewLayer(const LayerManager& layers);

}  // namespace zelvo
