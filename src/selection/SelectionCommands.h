// The Select menu's commands and Edit > Clear and Edit > Draw Border, on the document whose
// history (and through it, layers) is given. Each returns 1 when it changed the document and
// 0 when it did nothing; the messages they show go through AppMessages().
#pragma once

#include <cstdint>

#include "core/Types.h"
#include "history/HistoryManager.h"
#include "layers/Layer.h"

namespace zelvo {

enum class SelectionCommand {
    SelectAll,
    Deselect,
    Reselect,
    Inverse,
    Feather,
    Expand,
    Contract,
    LayerToSelection,
    Clear,
    DrawBorder,
};

// The menu's enabling rule (every command is disabled while a tool operation runs).
bool SelectionCommandEnabled(SelectionCommand command, HistoryManager& history);

int SelectAll(HistoryManager& history);
int Deselect(HistoryManager& history);
int Reselect(HistoryManager& history);
int InverseSelection(HistoryManager& history);

// How far Feather spreads for a radius (already clamped to 1..100).
int32_t FeatherSpread(int32_t radius);
int FeatherSelection(HistoryManager& history, int32_t radius);
int ExpandSelection(HistoryManager& history, int32_t pixels);
int ContractSelection(HistoryManager& history, int32_t pixels);

// Brings the mask bits of a text or curve layer up to date for Layer Convert to Selection: a
// text layer is rendered again; a curve layer is rendered with its fill switch forced on
// (forceFill true) before its bits are read, and rendered again as it is afterwards (false),
// so the layer does not stay drawn filled. The text and curve code provides it; without one,
// the bits are taken as they were last rendered.
class SelectionRerender {
public:
    virtual ~SelectionRerender() = default;
    virtual void RenderText(Layer& layer) = 0;
    virtual void RenderCurve(Layer& layer, bool forceFill) = 0;
};
int LayerToSelection(HistoryManager& history, SelectionRerender* rerender = nullptr);

// Edit > Clear: erases the current pixel layer by the selection's strengths.
int ClearSelection(HistoryManager& history);
// Edit > Draw Border: outlines the selection (or, without one, the layer's opaque parts) with
// a round pen of `width` pixels in `color` at `opacity` percent.
int DrawBorder(HistoryManager& history, int32_t width, ColorRef color, int32_t opacity);

}  // namespace zelvo
