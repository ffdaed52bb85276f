// The menu commands that run the engine on the active document: the Layer, Select, Edit,
// Image and Filter menus. Each group registers a handler and an enabling condition per
// command id with the main frame; a handler ends with the frame's DocumentChanged.
#pragma once

#include <functional>

#include "history/HistoryManager.h"
#include "selection/SelectionCommands.h"

namespace zelvo {

class CMainFrame;
class Image;

using AddCommand =
    std::function<void(int id, std::function<void()> handler, std::function<bool()> enabled)>;

void RegisterLayerMenuCommands(CMainFrame& frame, const AddCommand& add);
void RegisterSelectAndEditCommands(CMainFrame& frame, const AddCommand& add);
void RegisterImageAndFilterCommands(CMainFrame& frame, const AddCommand& add);

// The five turns that Edit > Transform (the current layer) and Image > Rotate Canvas (every
// layer) both offer, in menu order, with their geometry codes.
struct TurnEntry {
    const char* text;
    int code;
};
extern const TurnEntry kTurnEntries[5];

// The id of a menu entry that has no fixed id (0 when the table has no such entry).
int MenuId(const char* menu, const char* text);

// Helpers for the handlers: run `work` on the active document and redraw it; enable when a
// document is open, ready and `condition` holds for its history.
std::function<void()> OnActiveImage(CMainFrame& frame, std::function<void(Image&)> work);
std::function<bool()> WhenActiveImage(CMainFrame& frame,
                                      std::function<bool(HistoryManager&)> condition);

// Text layers are drawn again and curve layers drawn filled for Layer Convert to Selection
// (and the palette's Ctrl+click), then as they are.
class DocumentRerender : public SelectionRerender {
public:
    void RenderText(Layer& layer) override;
    void RenderCurve(Layer& layer, bool forceFill) override;
};

}  // namespace zelvo
