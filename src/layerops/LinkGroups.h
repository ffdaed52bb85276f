// Link groups: every member holds the ids of all members (itself included) and the same
// count; an unlinked layer has count 0. Linking is not recorded in history.
#pragma once

#include "history/HistoryManager.h"
#include "layers/LayerManager.h"

namespace zelvo {

// Whether every group is consistent: each listed id of a linked layer names a layer of the
// list with the same count and array. A negative count is internal error 1021.
bool LinkGroupsConsistent(const LayerManager& layers);
// Sets every layer's link count to 0.
void ClearLinkGroups(LayerManager& layers);
// Whether `layer` is in the current layer's group (the current layer itself included when
// it is linked).
bool InCurrentLinkGroup(LayerManager& layers, const Layer& layer);
// The palette's link column on the layer at list index `index`, with the current layer:
// links it into the current layer's group, or unlinks it. Inconsistent groups are cleared
// first. "Can only link 127 layers!" for a full group. Returns 1 when a group changed.
int ToggleLink(HistoryManager& history, int index);

}  // namespace zelvo
