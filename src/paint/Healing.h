// The healing pass the healing brush and the patch tool share: the covered records of a stroke
// are replaced by the source's pixels with their detail kept and their smooth colour traded for
// the destination's. The smooth colour of either side is a membrane spanned over the covered
// area from its boundary by straight-line interpolation along rows, columns and both diagonals,
// so the pass is linear in the rectangle (no iterative solver).
#pragma once

#include <cstdint>

#include "core/Types.h"
#include "layers/Layer.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

struct HealSetup {
    const FileDynamicStore* store = nullptr;
    BlockHandle records = 0;  // the stroke work block, canvasWidth x canvasHeight records
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
    const Layer* layer = nullptr;   // the destination, read as it was before the stroke
    const Layer* source = nullptr;  // sampled at the source positions
    Point sourceOffset;             // source position minus destination position
    const Layer* mask = nullptr;    // the weight (0..100), null when there is no selection
    Point maskOffset;               // the weight of pixel p is the mask's value at p - maskOffset
};

// Heals every record of `area` (clipped to the canvas) whose coverage is non-zero: the record
// takes the healed pixel, its coverage is kept. Work memory is a few bytes per pixel of the
// area, freed before returning. False when a row could not be mapped or the memory could not be
// had; the records are then left partly written and the caller discards the stroke.
bool HealRecords(const HealSetup& setup, const Rect& area);

// The look of a heal before it runs (the patch being dragged): every record of `area` whose
// weight is non-zero takes the source pixel laid over the layer's by the weight (all of it
// without a mask), coverage the weight; the rest are left alone. False when a row could not be
// mapped.
bool PreviewHeal(const HealSetup& setup, const Rect& area);

// Heals of over 2,999,999 pixels take a while: the user is asked first (two wordings, by size).
// False when the answer is No.
bool ConfirmHealSize(const Rect& area);

}  // namespace zelvo
