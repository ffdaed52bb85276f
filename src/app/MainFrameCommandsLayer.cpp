// The Layer menu: new, duplicate, delete, move, merge, clear border and rasterize, each by the
// layer operations' own enabling rule.
#include "app/AppCommands.h"
#include "app/CMainFrame.h"
#include "app/MainFrameCommands.h"
#include "doc/Image.h"
#include "layerops/LayerCommands.h"

namespace zelvo {

void RegisterLayerMenuCommands(CMainFrame& frame, const AddCommand& add) {
    static constexpr LayerCommandId kCommands[] = {
        kCmdNewLayer,    kCmdDuplicateLayer, kCmdDeleteLayer, kCmdMoveUp,      kCmdMoveDown,
        kCmdMergeLinked, kCmdMergeVisible,   kCmdMergeAll,    kCmdClearBorder, kCmdRasterize,
    };
    static_assert(
        int(kCmdNewLayer) == kIdNewLayer && int(kCmdDeleteLayer) == kIdDeleteLayer &&
        int(kCmdDuplicateLayer) == kIdDuplicateLayer && int(kCmdMergeLinked) == kIdMergeLinked &&
        int(kCmdMergeVisible) == kIdMergeVisible && int(kCmdMergeAll) == kIdMergeAll &&
        int(kCmdClearBorder) == kIdClearLayerBorder && int(kCmdRasterize) == kIdRasterizeLayer &&
        int(kCmdMoveUp) == kIdMoveLayerUp && int(kCmdMoveDown) == kIdMoveLayerDown);
    for (LayerCommandId id : kCommands)
        add(int(id),
            OnActiveImage(frame, [id](Image& image) { RunLayerCommand(id, image.History()); }),
            WhenActiveImage(frame,
                            [id](HistoryManager& h) { return LayerCommandEnabled(id, &h); }));
}

}  // namespace zelvo
