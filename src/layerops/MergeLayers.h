// Merge Linked, Merge Visible and Merge All: the layers of the set are composited into one
// new pixel layer over the union of their bounds, which takes their place in the list.
#pragma once

#include <cstdint>

#include "history/HistoryManager.h"

namespace zelvo {

enum class MergeMode : int { Linked = 1, Visible = 2, All = 3 };

// A merged layer covers at most this many pixels; a larger union is cut to the canvas.
constexpr int64_t kMaxMergePixels = 20000000;
// Nor is it wider or higher than this: a union of a layer taken far off the canvas would
// otherwise need its sums and rows of many megabytes each.
constexpr int32_t kMaxMergeSide = 100000;

// Returns 1 when layers were merged ("Merge Layers"), 0 when the set had fewer than two.
int MergeLayers(HistoryManager& history, MergeMode mode);

}  // namespace zelvo
