#include "history/LayerOpacity.h"

namespace zelvo {

int LayerOpacityControl::SetLayerOpacity(int32_t value, int final) {
    LayerManager& lm = m_history.Layers();
    const int index = lm.CurrentIndex();
    const LayerPtr layer = lm.LayerAt(index);
    if (!layer) {
        m_dragging = false;
        return 0;
    }
    // A drag that changed layers on the way starts over from the new layer's value.
    if (!m_dragging || m_layer != layer.get()) {
        m_before = layer->Opacity();
        m_layer = layer.get();
        m_dragging = true;
    }
    layer->SetOpacity(value);
    if (final == 1) {
        m_dragging = false;
        m_layer = nullptr;
        // A release where the drag began (a click on the handle) changes nothing: recording it
        // would only throw the redo states away.
        if (layer->Opacity() == m_before) {
            m_history.Host().Redraw();
            return 1;
        }
        StateExtra extra;
        extra.values = {m_before};
        m_history.RecordState(layer, {}, kStateLayerOpacity, index, "Set Layer Opacity",
                              std::move(extra));
    }
    m_history.Host().Redraw();
    return 1;
}

}  // namespace zelvo
