#include "layerops/LayerCommands.h"

#include "layerops/BorderRasterize.h"
#include "layerops/LayerStack.h"
#include "layerops/MergeLayers.h"

namespace zelvo {

bool LayerCommandEnabled(LayerCommandId command, HistoryManager* history) {
    if (!history || history->Host().ToolBusy()) return false;
    LayerManager& lm = history->Layers();
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    switch (command) {
        case kCmdNewLayer:
        case kCmdDeleteLayer:
        case kCmdDuplicateLayer:
        case kCmdMoveUp:
        case kCmdMoveDown:
            return true;
        case kCmdMergeLinked:
            return current && current->LinkCount() > 0;
        case kCmdMergeVisible: {
            int shown = 0;
            for (const LayerPtr& l : lm.Layers()) shown += l->IsVisible() ? 1 : 0;
            return shown >= 2;
        }
        case kCmdMergeAll:
            return lm.LayerCount() > 1;
        case kCmdClearBorder:
            return current && current->Kind() == LayerKind::Pixel;
        case kCmdRasterize:
            return current &&
                   (current->Kind() == LayerKind::Text || current->Kind() == LayerKind::Curve);
    }
    return false;
}

int RunLayerCommand(LayerCommandId command, HistoryManager& history) {
    if (!LayerCommandEnabled(command, &history)) return 0;
    switch (command) {
        case kCmdNewLayer:
            return NewLayer(history);
        case kCmdDeleteLayer:
            return DeleteLayer(history);
        case kCmdDuplicateLayer:
            return DuplicateLayer(history);
        case kCmdMergeLinked:
            return MergeLayers(history, MergeMode::Linked);
        case kCmdMergeVisible:
            return MergeLayers(history, MergeMode::Visible);
        case kCmdMergeAll:
            return MergeLayers(history, MergeMode::All);
        case kCmdClearBorder:
            return ClearTransparentBorder(history);
        case kCmdRasterize:
            return RasterizeLayer(history);
        case kCmdMoveUp:
            return MoveLayer(history, MoveDirection::Up, 1);
        case kCmdMoveDown:
            return MoveLayer(history, MoveDirection::Down, 1);
    }
    return 0;
}

}  // namespace zelvo
