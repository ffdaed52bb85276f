// The Move tool's rules that do not need a pointer, for the tool and its tests.
#pragma once

#include <cstdint>

namespace zelvo {

class Image;

// Image pixels one arrow press moves a layer at `zoom`: one screen step (trunc(zoom + 1)
// above 100 %, else 1) divided by the zoom and truncated.
int32_t NudgeStep(float zoom);

// Moves the current layer of `image` by (dx, dy) image pixels and records it as one state:
// "Move Layer" (pixel), "Move Text" (text) or "Move Curves" (curve). Linked and null layers do
// not move. Returns whether a state was recorded.
bool MoveCurrentLayer(Image& image, int32_t dx, int32_t dy);

}  // namespace zelvo
