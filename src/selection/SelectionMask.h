// The document's selection: an 8-bit layer object of strengths 0..100 (grey palette) over its
// own rectangle of the canvas, held by the LayerManager. A pixel counts as inside the outline
// at strength 50 or more; canvas pixels outside the rectangle have strength 0. Every change of
// the selection goes through SetSelection, which records it in the history.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/Types.h"
#include "layers/LayerManager.h"
#include "store/RowCursor.h"

namespace zelvo {

class HistoryManager;

constexpr int32_t kInsideStrength = 50;

// How SetSelection changes the selection (the history's state kinds).
enum SelectionChange : int32_t {
    kSelectionNew = 11,     // there was none
    kSelectionModify = 12,  // the current one is replaced
    kSelectionRemove = 13,  // deselect
};

// (0, 0, canvas width, canvas height).
Rect CanvasRect(const LayerManager& layers);

// A new mask object placed at `rect`, its id from the manager's counter. The bytes are left
// as the store has them unless `zeroFill`: the creator writes every byte. Null for an empty
// rectangle or when the store has no room (it has told the user).
LayerPtr CreateSelectionMask(LayerManager& layers, const Rect& rect, bool zeroFill = false);

// The mask bytes of canvas row `cy` through the mask's own row cursor (valid until its next
// use); null outside the mask.
uint8_t* MaskRow(Layer& mask, int32_t cy);
// Strengths of canvas row `cy`, columns left .. left+count-1, into `dst` (0 outside the mask).
void ReadMaskRow(Layer& mask, int32_t cy, int32_t left, int32_t count, uint8_t* dst);
// The same through `rows`, a reader of the mask's own rows, as bands of a pass read; false when
// the row cannot be read.
bool ReadMaskRow(const Layer& mask, RowReader& rows, int32_t cy, int32_t left, int32_t count,
                 uint8_t* dst);

// Writes every row of a new mask or layer, the padding after its samples cleared, in bands of
// rows on every core by pwrite. `band(window)` is called once in each band, with the band's
// share of window bytes for readers of its own, and gives the function that fills the samples
// of canvas row cy; false from it fails the pass. False when a row could not be had or written.
using RowSamplesFill = std::function<bool(int32_t cy, uint8_t* samples)>;
bool WriteRowsInBands(Layer& layer, const std::function<RowSamplesFill(uint64_t window)>& band);

// The smallest canvas rectangle holding every non-zero byte; (0, 0, 0, 0) when there is none.
Rect TightRect(Layer& mask);
// Whether some byte of the mask exceeds `threshold` (a mask is visible above 49).
bool AnyByteAbove(Layer& mask, int threshold);

// Whether the document has a current selection.
bool HasSelection(const LayerManager& layers);

// Changes the selection and records the step: kind 11 makes `mask` current ("New Selection"
// by default), 12 replaces the current mask, keeping it in the state ("Modify Selection"), 13
// removes it ("Deselect") and remembers it with the canvas size for Reselect. Any change
// forgets the previously remembered mask first.
void SetSelection(HistoryManager& history, LayerPtr mask, int32_t kind,
                  const std::string& name = {});

// Moves the mask's rectangle by (dx, dy) as the selection tools' drag and nudge do, recording
// one "Move Selection" step (a move of the 8-bit object). Returns 0 without a selection or
// for a null move.
int MoveSelection(HistoryManager& history, int32_t dx, int32_t dy);

}  // namespace zelvo
