// The pixel-edit transaction: every pixel change replaces a layer object instead of writing
// into one the history may hold. Begin an edit (a fresh object for the whole current layer, a
// fresh object over a rectangle, or a stroke rectangle beside the list), fill it, and commit
// it with a state name, or cancel it. One per document, beside its LayerManager and history.
#pragma once

#include <string>

#include "history/HistoryManager.h"
#include "layers/LayerManager.h"

namespace zelvo {

class PixelEdit {
public:
    PixelEdit(LayerManager& layers, HistoryManager& history);
    ~PixelEdit();  // an edit still open is cancelled
    PixelEdit(const PixelEdit&) = delete;
    PixelEdit& operator=(const PixelEdit&) = delete;

    // A new object with the current layer's kind, size, serial, flags, opacity and position
    // (and the next id) takes the current layer's place; its pixels are not copied. Returns
    // the new object, null when refused (an edit already open: internal error 1026; no current
    // layer; no block to be had).
    LayerPtr BeginLayerEdit();
    // The same over the rectangle: a pixel layer object covering it, or a null-layer object
    // when `kind` is 0. With `keep` 1 the old layer's pixels are copied where the two overlap
    // and the rest is transparent; with 0 the caller writes every pixel. An edit already open
    // is internal error 1025.
    LayerPtr BeginRectEdit(int32_t left, int32_t top, int32_t right, int32_t bottom, int keep,
                           int kind = 1);
    // A 32-bit rectangle object, not in the list, that the tool fills with the changed pixels
    // and the marker alpha 101 elsewhere. An edit already open is refused (internal error 1025).
    LayerPtr BeginStrokeRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // Commit 1 records "pixel edit, whole layer" with the old object (name "Modify" when
    // empty); commit 0 puts the old object back. No layer edit open: internal error 1027.
    int CommitLayerEdit(int commit, const std::string& name = {});
    // Commit 1 records "pixel edit, changed rectangle" with the rectangle object (name
    // "Modify" when empty); commit 0 drops it. No stroke edit open: internal error 1024.
    int CommitRectEdit(int commit, const std::string& name = {});

    bool IsOpen() const { return m_mode != Mode::None; }
    const LayerPtr& OldLayer() const { return m_old; }
    const LayerPtr& NewLayer() const { return m_new; }

private:
    enum class Mode { None, Layer, Stroke };

    LayerPtr MakeReplacement(LayerKind kind, int32_t width, int32_t height, int32_t x, int32_t y,
                             bool keep);

    LayerManager& m_layers;
    HistoryManager& m_history;
    Mode m_mode = Mode::None;
    int m_index = -1;
    LayerPtr m_old;
    LayerPtr m_new;  // the replacement, or the stroke rectangle
};

}  // namespace zelvo
