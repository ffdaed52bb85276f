// Align and distribute the layers of the current layer's link group: each pixel member is moved
// so that one edge or centre lines up with the current layer's, or so that the members' edges
// or centres are spread evenly. Text and curve members stay where they are.
#pragma once

#include "history/HistoryManager.h"

namespace zelvo {

// The edges and centres in the order of the options bar's buttons and the menus.
enum class LayerEdge { Top, VerticalCenter, Bottom, Left, HorizontalCenter, Right };

// Members of the current layer's link group an align (2) or a distribute (3) needs before the
// menu offers it.
bool AlignEnabled(HistoryManager& history);
bool DistributeEnabled(HistoryManager& history);

// One "Align Layers" state when a member moved; messages for a current layer that is not a
// linked pixel layer, and for text or curve members left out. Returns 0 when refused, else 1.
int AlignLinkedLayers(HistoryManager& history, LayerEdge edge);
// One "Distribute Layers" state when a member moved; refused unless the group has at least
// three pixel layers and the current one is a pixel layer. Returns 0 when refused, else 1.
int DistributeLinkedLayers(HistoryManager& history, LayerEdge edge);

}  // namespace zelvo
