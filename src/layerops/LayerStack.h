// The commands that add, copy, remove, reorder and show layers as a whole, each recording its
// history state: New Layer, Duplicate Layer, a layer copied from another document, Delete
// Layer, Move Up/Down Layer, the visibility toggle and the new layer a paste goes into.
// Every function works on the document whose history (and through it, layers) is given and
// returns 1 when it changed the document, 0 when it did nothing.
#pragma once

#include <cstdint>

#include "history/HistoryManager.h"
#include "layers/Layer.h"

namespace zelvo {

// The 100-layer limit of every command that adds a layer: shows "More than 100 layers, should
// not create a new layer!" and returns true when the list is full.
bool RefuseLayerAtLimit(const LayerManager& layers);

// A null layer above the current one, made current; "New Layer".
int NewLayer(HistoryManager& history);
// A copy of the current layer (pixels, or text settings, or curve anchors with flags and
// colour; position, opacity, visibility) above it, made current; "Duplicate Layer".
int DuplicateLayer(HistoryManager& history);
// A copy of a layer of another document (text and curve layers made at this canvas's size,
// pixel layers at their own), above the current layer, made current; "Duplicate Layer".
int CopyLayerFrom(HistoryManager& history, const Layer* source, int redraw);
// Removes the current layer (all link groups are cleared first); "Delete Layer". The layer
// above it becomes current, or the one below when it was the top layer. Nothing with fewer
// than two layers.
int DeleteLayer(HistoryManager& history);

enum class MoveDirection { Up, Down };
// Moves the current layer `steps` positions toward the top or the bottom; nothing (and no
// state) when the list ends first. "Move Up Layer" / "Move Down Layer".
int MoveLayer(HistoryManager& history, MoveDirection direction, int steps);
// Flips the visibility of the layer at list index `index`; no history state.
int ToggleLayerVisible(HistoryManager& history, int index);
// A pixel layer of width x height above the current one, made current, recorded as "Paste";
// the caller fills its pixels. Null when refused or when no block can be had.
LayerPtr PasteAsLayer(HistoryManager& history, int32_t width, int32_t height);

}  // namespace zelvo
