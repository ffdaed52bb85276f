// The Layer menu's commands as the menu, the palette and zelvo-batch run them: their ids,
// when each is enabled, and the dispatch (which does nothing while a tool is in the middle of
// a mouse operation).
#pragma once

#include "history/HistoryManager.h"

namespace zelvo {

enum LayerCommandId : int {
    kCmdNewLayer = 32771,
    kCmdDeleteLayer = 32772,
    kCmdDuplicateLayer = 32774,
    kCmdMergeLinked = 32788,   // Ctrl+E
    kCmdMergeVisible = 32789,  // Ctrl+Shift+E
    kCmdMergeAll = 32790,
    kCmdClearBorder = 32819,
    kCmdRasterize = 32820,
    kCmdMoveUp = 32895,
    kCmdMoveDown = 32896,
};

// The update-UI rule of the command; `history` null means no document is open.
bool LayerCommandEnabled(LayerCommandId command, HistoryManager* history);
// Runs the command when it is enabled; returns 1 when the document changed.
int RunLayerCommand(LayerCommandId command, HistoryManager& history);

}  // namespace zelvo
