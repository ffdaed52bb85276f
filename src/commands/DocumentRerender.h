// Text layers drawn again and curve layers drawn filled for Layer Convert to Selection (and the
// Layers palette's Ctrl+click), then as they are: the one rerender the menus, the palette and
// zelvo-batch share.
#pragma once

#include "selection/SelectionCommands.h"

namespace zelvo {

class DocumentRerender : public SelectionRerender {
public:
    void RenderText(Layer& layer) override;
    void RenderCurve(Layer& layer, bool forceFill) override;
};

}  // namespace zelvo
