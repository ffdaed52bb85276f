// When the selection commands are offered in the menus.
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

bool SelectionCommandEnabled(SelectionCommand command, HistoryManager& history) {
    if (history.Host().ToolBusy()) return false;
    LayerManager& lm = history.Layers();
    const bool selected = HasSelection(lm);
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    const LayerKind kind = current ? current->Kind() : LayerKind::Null;
    switch (command) {
        case SelectionCommand::SelectAll:
            return true;
        case SelectionCommand::Deselect:
        case SelectionCommand::Inverse:
        case SelectionCommand::Feather:
        case SelectionCommand::Expand:
        case SelectionCommand::Contract:
            return selected;
        case SelectionCommand::Reselect:
            return !selected && lm.LastDeselected() && lm.DeselectWidth() == lm.Image().width &&
                   lm.DeselectHeight() == lm.Image().height;
        case SelectionCommand::LayerToSelection:
            return current && (kind == LayerKind::Pixel || kind == LayerKind::Text ||
                               kind == LayerKind::Curve);
        case SelectionCommand::Clear:
            return current && kind == LayerKind::Pixel && selected;
        case SelectionCommand::DrawBorder:
            return current && (kind == LayerKind::Pixel || (kind == LayerKind::Null && selected));
    }
    return false;
}

}  // namespace zelvo
