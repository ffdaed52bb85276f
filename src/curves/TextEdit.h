// The text operations that end in history states, one object per document beside its layer
// manager and history: the text edit (a new layer or a copy of an existing one, committed or
// cancelled), the direction, face and size changes of a committed layer, and moving a text
// layer's origin.
#pragma once

#include <cstdint>
#include <string>

#include "history/HistoryManager.h"
#include "layers/LayerManager.h"
#include "layers/TextSettings.h"

namespace zelvo {

class TextEdit {
public:
    enum class Mode { None, New, Existing };

    TextEdit(LayerManager& layers, HistoryManager& history);
    ~TextEdit();  // an edit still open is cancelled
    TextEdit(const TextEdit&) = delete;
    TextEdit& operator=(const TextEdit&) = delete;

    // A text layer of `width` x `height` above the current layer, made current; nothing is
    // recorded yet. Null when an edit is open, at 100 layers ("More than 100 layers, should not
    // create a new layer!") or when its buffer cannot be had.
    LayerPtr BeginNewText(int32_t width, int32_t height);
    // A rendered copy of the current text layer takes its place in the list; the layer itself
    // is kept aside. Null when the current layer is not a text layer or an edit is open.
    LayerPtr BeginEditText();
    // Commit 1 records "New Text Layer" (a new layer) or "Edit Text" (an existing one); commit
    // 0 removes the new layer, or puts the kept layer back. Returns 0 when no edit was open.
    int EndText(int commit);
    // As EndText(1) for an existing layer, under `name`.
    int CommitTextChange(const std::string& name);

    Mode EditMode() const { return m_mode; }
    // The layer being edited (the new layer or the copy).
    const LayerPtr& EditedLayer() const { return m_edited; }

    // Changes of a committed text layer without the edit box, each one state ("Text
    // Direction", "Text Font", "Text Size"). They do nothing (and return false) when the current
    // layer is not a text layer, an edit is open, or the value would not change.
    bool FlipTextDirection();
    bool SetTextFont(const std::string& face);
    bool SetTextSize(int32_t size);

    // The move tool's move of the current text layer by (dx, dy): records "Move Text" with the
    // origin from before and renders again.
    bool MoveText(int32_t dx, int32_t dy);

private:
    LayerPtr CurrentText() const;
    template <class Change>
    bool ChangeCommitted(const std::string& name, Change change);

    LayerManager& m_layers;
    HistoryManager& m_history;
    Mode m_mode = Mode::None;
    LayerPtr m_edited;
    LayerPtr m_kept;   // the existing layer set aside while its copy is edited
    int m_index = -1;  // list position of the edited layer
};

}  // namespace zelvo
