// Going to a row of the History palette: the start row's exchange of the live layers for the
// start snapshot and back, and the walk of undos or redos between states.
#include <chrono>
#include <thread>

#include "core/InternalError.h"
#include "history/HistoryManager.h"
#include "history/LayerListOps.h"
#include "platform/Feedback.h"

namespace zelvo {

void HistoryManager::GoToState(int target, int redraw) {
    WaitCursor wait;
    const int count = int(m_states.size());
    if (target < 0 || target > count) return;
    // Going to another row changes the picture from what a save wrote.
    if (target != (m_showingStart ? 0 : CurrentStateIndex())) m_host->SetModified(true);

    if (target == 0) {
        if (!m_hasStart) return;  // nothing was ever opened into this history
        if (!m_showingStart) ShowStartRow();
    } else {
        if (m_showingStart) LeaveStartRow();
        const int k = CurrentStateIndex();
        if (k == -1) {
            ShowInternalError(1012);
        } else if (target < k) {
            for (int i = k; i > target; --i) ApplyState(m_states[size_t(i - 1)], false);
            SetCurrentState(size_t(target - 1));
        } else if (target > k) {
            for (int i = k + 1; i <= target; ++i) ApplyState(m_states[size_t(i - 1)], true);
            SetCurrentState(size_t(target - 1));
        }
    }

    m_host->RefreshHistoryPalette();
    m_layers.CheckLayerList();
    CheckStates();
    if (redraw == 1) m_host->Redraw();
    m_host->StateSettled();
}

void HistoryManager::StopCompositing() {
    m_host->RequestCompositingStop();
    while (m_host->CompositingBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(15));
}

void HistoryManager::SetCanvas(int32_t width, int32_t height) {
    ImageGeometry& image = m_layers.Image();
    if (image.width == width && image.height == height) return;
    image.width = width;
    image.height = height;
    m_host->CanvasSizeChanged();
}

void HistoryManager::SetSelection(const LayerPtr& selection) {
    m_layers.SetSelectionObject(selection);
    m_layers.SetSelectionBounds(selection ? selection->Bounds() : Rect{});
}

void HistoryManager::TakeStartSnapshot(const std::vector<LayerPtr>& layers,
                                       const StateExtra& extra) {
    m_startSelection = LayerSnapshot::Take(m_layers.Selection());
    m_startLayers.clear();
    // Null layers keep their flags too: a current null layer must come back current.
    for (const LayerPtr& l : layers.empty() ? m_layers.Layers() : layers)
        m_startLayers.push_back(LayerSnapshot::Take(l));
    m_startWidth = extra.values.size() >= 2 ? extra.values[0] : m_layers.Image().width;
    m_startHeight = extra.values.size() >= 2 ? extra.values[1] : m_layers.Image().height;
    m_hasStart = true;
}

void HistoryManager::ShowStartRow() {
    StopCompositing();
    m_asideWidth = m_layers.Image().width;
    m_asideHeight = m_layers.Image().height;
    // The resolution undoing back to the first state would give: the one from before the
    // oldest Image Size or Crop still in effect (Print Size records no state and stays).
    m_asideResolution = m_host->DocumentResolution();
    const int k = CurrentStateIndex();
    if (m_droppedResolution > 0) {
        m_host->SetDocumentResolution(m_droppedResolution);
    } else {
        // Once the limit has dropped the opening's state, the first row may be one of them.
        for (int i = 1; i <= k; ++i)
            if (m_states[size_t(i - 1)].otherResolution > 0) {
                m_host->SetDocumentResolution(m_states[size_t(i - 1)].otherResolution);
                break;
            }
    }

    m_asideSelection = LayerSnapshot::Take(m_layers.Selection());
    m_startSelection.Apply();
    SetSelection(m_startSelection.layer);

    m_asideLayers.clear();
    for (const LayerPtr& l : m_layers.Layers()) m_asideLayers.push_back(LayerSnapshot::Take(l));
    while (m_layers.LayerCount() > 0) m_layers.RemoveAt(m_layers.LayerCount() - 1);

    m_startShown.clear();
    for (const LayerSnapshot& s : m_startLayers) {
        if (!s.layer) continue;
        if (s.Apply()) m_host->RenderCurve(*s.layer);
        m_layers.InsertAt(m_layers.LayerCount(), s.layer);
        m_startShown.push_back(s.layer);
    }
    SetCanvas(m_startWidth, m_startHeight);
    m_showingStart = true;
    m_host->ResumeCompositing();
}

void HistoryManager::LeaveStartRow() {
    StopCompositing();
    m_asideSelection.Apply();
    SetSelection(m_asideSelection.layer);

    while (m_layers.LayerCount() > 0) m_layers.RemoveAt(m_layers.LayerCount() - 1);
    for (const LayerSnapshot& s : m_asideLayers) {
        if (!s.layer) continue;
        if (s.Apply()) m_host->RenderCurve(*s.layer);
        m_layers.InsertAt(m_layers.LayerCount(), s.layer);
    }
    SetCanvas(m_asideWidth, m_asideHeight);
    if (m_asideResolution > 0) m_host->SetDocumentResolution(m_asideResolution);

    m_asideLayers.clear();
    m_asideSelection = {};
    m_startShown.clear();
    m_showingStart = false;
    m_host->ResumeCompositing();
}

}  // namespace zelvo
