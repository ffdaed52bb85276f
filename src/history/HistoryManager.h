// The document history: at most 20 named states after a fixed start row, recording, undo and
// redo by swapping layer objects, values or pixels, and the start row's set-aside of the live
// layers. One per document, used on the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "history/HistoryHost.h"
#include "history/HistoryState.h"
#include "layers/LayerManager.h"

namespace zelvo {

class HistoryManager {
public:
    static constexpr int kMaxStates = 20;
    static constexpr int kRowHeight = 25;

    // `host` may be null (nothing is asked of a document then).
    HistoryManager(LayerManager& layers, HistoryHost* host = nullptr);
    ~HistoryManager();  // ClearHistory
    HistoryManager(const HistoryManager&) = delete;
    HistoryManager& operator=(const HistoryManager&) = delete;

    void SetHost(HistoryHost* host) { m_host = host ? host : &m_noHost; }
    HistoryHost& Host() const { return *m_host; }
    LayerManager& Layers() const { return m_layers; }

    // Records one step after the operation has changed the document.
    void RecordState(LayerPtr layer, const std::vector<LayerPtr>& layers, int32_t kind,
                     int32_t index, const std::string& name, StateExtra extra = {});
    // Makes row `target` (0 = start row, 1..n = states) the shown one.
    void GoToState(int target, int redraw);
    // 1-based position of the current state, -1 when there is none.
    int CurrentStateIndex() const;
    // The palette's Delete button: asks "Whether delete history record?". Returns 1 when the
    // history changed.
    int DeleteCurrentState();
    // Discards every state and the start snapshot (the document is closing).
    void ClearHistory();

    const std::vector<HistoryState>& States() const { return m_states; }
    int StateCount() const { return int(m_states.size()); }
    bool ShowingStart() const { return m_showingStart; }
    uint32_t LastId() const { return m_lastId; }
    bool HasStartSnapshot() const { return m_hasStart; }
    int32_t StartWidth() const { return m_startWidth; }
    int32_t StartHeight() const { return m_startHeight; }
    const std::vector<LayerSnapshot>& StartLayers() const { return m_startLayers; }
    // Whether the start snapshot holds this object: its pixels must not change in place.
    bool IsStartLayer(const Layer* layer) const;

    // The History palette's scroll offset in pixels.
    int32_t ScrollOffset() const { return m_scrollOffset; }
    void SetScrollOffset(int32_t offset) { m_scrollOffset = offset; }

    // The consistency pass run after recording and navigating: every state's layers are
    // verified (internal error 1002) and a current layer is made sure of. Returns whether the
    // states passed.
    bool CheckStates();

private:
    void DiscardState(size_t position);
    void DiscardAfterCurrent();
    void ReleaseState(HistoryState& state);
    void ReleaseSetAside();
    void SetCurrentState(size_t position);
    bool VerifyLayer(const LayerPtr& layer) const;

    // Start row.
    void TakeStartSnapshot(const std::vector<LayerPtr>& layers, const StateExtra& extra);
    void ShowStartRow();
    void LeaveStartRow();
    void StopCompositing();
    void SetCanvas(int32_t width, int32_t height);

    // Undo (redo = false) or redo one state; defined with the per-kind swaps.
    void ApplyState(HistoryState& state, bool redo);
    void SwapLayerAt(HistoryState& state);
    void MoveStep(HistoryState& state, bool towardTail, int errorCode);
    void SwapPosition(Layer& layer, int32_t& x, int32_t& y);
    void SwapWholeImage(HistoryState& state);
    void UndoMerge(HistoryState& state);
    void RedoMerge(HistoryState& state);
    void SetSelection(const LayerPtr& selection);

    LayerManager& m_layers;
    HistoryHost m_noHost;
    HistoryHost* m_host;

    // Start snapshot, taken when state 1 is recorded.
    bool m_hasStart = false;
    LayerSnapshot m_startSelection;
    std::vector<LayerSnapshot> m_startLayers;
    int32_t m_startWidth = 0;
    int32_t m_startHeight = 0;

    // The live document while the start row is shown.
    LayerSnapshot m_asideSelection;
    std::vector<LayerSnapshot> m_asideLayers;
    std::vector<LayerPtr> m_startShown;  // the start layers put into the live list
    int32_t m_asideWidth = 0;
    int32_t m_asideHeight = 0;
    int32_t m_asideResolution = 0;
    // The resolution from before the oldest Image Size or Crop that the state limit dropped
    // (0: none was): the start row still shows the picture as opened.
    int32_t m_droppedResolution = 0;
    bool m_showingStart = false;

    std::vector<HistoryState> m_states;  // oldest first
    uint32_t m_lastId = 0;
    int32_t m_scrollOffset = 0;
};

}  // namespace zelvo
