// The layer opacity slider and edit box: a drag previews on the current layer and the final
// value records one "Set Layer Opacity" state holding the opacity from before the drag.
#pragma once

#include <cstdint>

#include "history/HistoryManager.h"

namespace zelvo {

class LayerOpacityControl {
public:
    explicit LayerOpacityControl(HistoryManager& history) : m_history(history) {}

    // Sets the current layer's opacity (clamped to 0..100); the first call of a drag
    // remembers the old value, and `final` 1 records the state with it. Returns 0 when there
    // is no current layer.
    int SetLayerOpacity(int32_t value, int final);
    bool Dragging() const { return m_dragging; }

private:
    HistoryManager& m_history;
    bool m_dragging = false;
    int32_t m_before = 100;
    const Layer* m_layer = nullptr;
};

}  // namespace zelvo
