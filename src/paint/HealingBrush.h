// The healing brush's end of stroke: the dabs painted during the stroke were only its preview;
// the covered records are healed from the source (on the same layer, at a fixed offset) and
// committed as one state.
#pragma once

#include "core/Types.h"
#include "paint/Stroke.h"

namespace zelvo {

// After StrokeSession::Stop, before the commit: the large-area question, then the healing pass
// over the stroke's dirty rectangle, the source `sourceOffset` from each pixel on the stroke's
// layer, weighted by the stroke's selection. False when the stroke is to be discarded (No, or
// the pass could not run, which is reported).
bool HealStroke(StrokeSession& stroke, Point sourceOffset);

// After StrokeSession::Stop: the large-area question first (No discards the stroke and the
// layer stays as it was), then the healing pass over the stroke's dirty rectangle, the source
// `sourceOffset` from each pixel on the stroke's layer, weighted by the stroke's selection, and
// the commit "Healing Brush Tool" (the layer grows to take what lies outside it). Returns 1 when
// a state was recorded; every record is zero afterwards.
int CommitHealingStroke(HistoryManager& history, StrokeSession& stroke, Point sourceOffset);

}  // namespace zelvo
