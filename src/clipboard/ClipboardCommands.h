// Edit > Copy, Cut, Paste and "Clean up the clipboard" for pixels (the text editor has its
// own). The clipboard is passed in: the Qt one in the GUI, an in-process one elsewhere.
#pragma once

#include <functional>

#include "core/Types.h"
#include "history/HistoryManager.h"
#include "platform/Clipboard.h"

namespace zelvo {

// Kept by the main frame's image processor for the whole run, one for all documents: the
// canvas rectangle of the last Copy or Cut, against whose size a paste is matched.
struct ClipboardState {
    Rect lastCopy;
};

// Copy and Cut are offered while the document has a selection; they act on a pixel layer.
bool CopyEnabled(HistoryManager& history);
bool PasteEnabled(Clipboard& clipboard);

// The selected part of the current pixel layer onto the clipboard, composited over white with
// the effective opacity in the fourth byte. Returns 1 when something was put there.
int CopySelection(HistoryManager& history, Clipboard& clipboard, ClipboardState& state);
// Clear, then the pixels as they were before it onto the clipboard.
int CutSelection(HistoryManager& history, Clipboard& clipboard, ClipboardState& state);

enum class PasteResult {
    Nothing,  // no usable bitmap (or no layer): nothing happens, without a message
    Pasted,   // a null current layer got the pixels, recorded as "Paste"
    // The current layer is not a null layer and no way to make a new layer was given.
    NeedsNewLayer,
};
// Makes the pixel layer a paste goes into when the current layer is not a null layer: above
// the current one, current, its state recorded (the layer operations' PasteAsLayer).
using NewPasteLayer = std::function<LayerPtr(int32_t width, int32_t height)>;
PasteResult PasteClipboard(HistoryManager& history, Clipboard& clipboard,
                           const ClipboardState& state, const NewPasteLayer& newLayer = {});

// Empties the clipboard.
int CleanClipboard(Clipboard& clipboard);

}  // namespace zelvo
