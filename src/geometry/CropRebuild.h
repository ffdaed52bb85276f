// Image > Crop's rebuild of the document, called by the crop tool with its committed frame:
// every layer becomes its part of the frame scaled to the output size, the canvas takes that
// size and the resolution the tool gives, and one "Crop" state keeps the old list and canvas.
#pragma once

#include <cstdint>

#include "core/Types.h"
#include "geometry/Resample.h"
#include "history/HistoryManager.h"

namespace zelvo {

// `frame` in canvas coordinates (it may reach past the canvas); `width` x `height` the new
// canvas (1..10,000 a side, at most 20,000,000 pixels); `resolution` in pixels per metre goes
// to `documentResolution`. Pixel layers are scaled by width / frame width and height / frame
// height and cut to the new canvas (a layer left with nothing becomes a null layer); text and
// curve layers have their anchors moved and scaled alike (a text's font size in proportion)
// and are drawn again. The status bar's progress steps once per layer. The selection is left
// as it is. Returns 1 when done, 0 for a bad frame or size or when the store has no room (the
// document is then unchanged).
int CropRebuild(HistoryManager& history, const Rect& frame, int32_t width, int32_t height,
                int32_t resolution, int32_t& documentResolution,
                ResampleMode mode = ResampleMode::Smooth);

}  // namespace zelvo
