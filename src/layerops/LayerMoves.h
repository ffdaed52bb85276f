// Moving whole layers: where a layer stands (a pixel layer's offset, a text layer's origin,
// a curve layer's anchors), moving it there and back, and the members of a link group. The
// Move tool, align and distribute share these so that every kind moves the same way.
#pragma once

#include <cstdint>
#include <vector>

#include "history/HistoryManager.h"
#include "layers/LayerManager.h"

namespace zelvo {

// The layer's own position: a pixel layer's offset, a text layer's origin. A curve layer has
// none of its own (its anchors move), nor has a null layer: (0, 0).
Point LayerPlace(const Layer& layer);
// Moves a pixel or text layer so that its place is `to` (a text layer renders again). Curve
// and null layers are left alone.
void SetLayerPlace(Layer& layer, Point to);
// Shifts a curve layer's anchors by `by` and renders it again.
void ShiftCurveLayer(Layer& layer, Point by);

// The members of the current layer's link group in the group's order; empty when the current
// layer is not linked or the group does not hold together (ids naming no layer).
std::vector<LayerPtr> CurrentLinkGroup(const LayerManager& layers);

// One member of a moved group: its place before the move and how far a curve layer's anchors
// have been shifted since.
struct MovedLayer {
    LayerPtr layer;
    Point start;
    Point shifted;
};

// The group's members at rest, ready to move together.
std::vector<MovedLayer> StartGroupMove(const std::vector<LayerPtr>& members);
// Every member at its start place plus `offset`.
Point MoveGroupTo(std::vector<MovedLayer>& group, Point offset);  // returns the offset applied
// Every member back at its start place.
void RestoreGroup(std::vector<MovedLayer>& group);
// The kind-21 records of a moved group (the saved place of pixel and text layers, the shift
// of a curve layer), for members that actually moved.
std::vector<MoveRecord> GroupRecords(const std::vector<MovedLayer>& group);

}  // namespace zelvo
