#include "history/HistoryManager.h"

#include "core/InternalError.h"
#include "history/LayerListOps.h"
#include "layers/TextLayer.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

LayerSnapshot LayerSnapshot::Take(const LayerPtr& layer) {
    LayerSnapshot s;
    s.layer = layer;
    if (!layer) return s;
    s.visible = layer->IsVisible();
    s.current = layer->IsCurrent();
    s.opacity = layer->Opacity();
    s.x = layer->Position().x;
    s.y = layer->Position().y;
    s.bounds = layer->Bounds();
    if (layer->Kind() == LayerKind::Text)
        s.textOrigin = {layer->Text().originX, layer->Text().originY};
    if (layer->Kind() == LayerKind::Curve) {
        s.anchors = layer->Anchors();
        s.closed = layer->IsClosed();
        s.filled = layer->IsFilled();
        s.color = layer->Color();
    }
    return s;
}

bool LayerSnapshot::Apply() const {
    if (!layer) return false;
    layer->SetVisible(visible);
    layer->SetCurrent(current);
    layer->SetOpacity(opacity);
    layer->SetPosition(x, y);
    layer->SetBounds(bounds);
    if (layer->Kind() == LayerKind::Text) {
        TextSettings& t = layer->Text();
        if (t.originX != textOrigin.x || t.originY != textOrigin.y) {
            t.originX = textOrigin.x;
            t.originY = textOrigin.y;
            RenderText(*layer);
        }
    }
    if (layer->Kind() != LayerKind::Curve) return false;
    if (layer->Anchors() == anchors && layer->IsClosed() == closed && layer->IsFilled() == filled &&
        layer->Color() == color)
        return false;
    layer->Anchors() = anchors;
    layer->SetClosed(closed);
    layer->SetFilled(filled);
    layer->SetColor(color);
    return true;
}

std::string StateDisplayName(const HistoryState& state) {
    if (!state.name.empty()) return state.name;
    switch (state.kind) {
        case kStateOpenImage:
            return "Open Image File";
        case kStateNewLayer:
            return "New Layer";
        case kStateDeleteLayer:
            return "Delete Layer";
        case kStateDuplicateLayer:
            return "Duplicate Layer";
        case kStateMoveLayer:
            return state.layer && state.layer->BitsPerPixel() == 8 ? "Move Selection"
                                                                   : "Move Layer";
        case kStateLayerOpacity:
            return "Set Layer Opacity";
        case kStateMoveUp:
            return "Move Up Layer";
        case kStateMoveDown:
            return "Move Down Layer";
        case kStateNewSelection:
        case kStateModifySelection:
            return "SelectSection";
        case kStateDeselect:
            return "CancelSelectSection";
        case kStateNewText:
            return "NewTextLayer";
        case kStateModifyText:
            return "ModifyText";
        case kStateNewCurve:
            return "New Curve Layer";
        case kStateModifyCurve:
            return "ModifyLineLayer";
        case kStateMoveLinked:
            return "Move Linked Layers";
        case kStateMergeLayers:
            return "Merge Layers";
        default:
            return "";
    }
}

HistoryManager::HistoryManager(LayerManager& layers, HistoryHost* host)
    : m_layers(layers), m_host(host ? host : &m_noHost) {}

HistoryManager::~HistoryManager() {
    // The document may be half gone by now: ask nothing of it.
    m_host = &m_noHost;
    ClearHistory();
}

bool HistoryManager::IsStartLayer(const Layer* layer) const {
    for (const LayerSnapshot& s : m_startLayers)
        if (s.layer.get() == layer) return true;
    return false;
}

int HistoryManager::CurrentStateIndex() const {
    for (size_t i = 0; i < m_states.size(); ++i)
        if (m_states[i].current == 1) return int(i) + 1;
    return -1;
}

void HistoryManager::SetCurrentState(size_t position) {
    for (size_t i = 0; i < m_states.size(); ++i) m_states[i].current = i == position ? 1 : 0;
}

void HistoryManager::RecordState(LayerPtr layer, const std::vector<LayerPtr>& layers, int32_t kind,
                                 int32_t index, const std::string& name, StateExtra extra) {
    if (kind != kStateModifyCurve) m_host->CloseCurveAnchorEdit();

    // The redo branch goes: everything after the shown row.
    if (m_showingStart) {
        ReleaseSetAside();
        while (!m_states.empty()) DiscardState(m_states.size() - 1);
        m_showingStart = false;
        m_droppedResolution = 0;
    } else {
        DiscardAfterCurrent();
    }

    // The cap comes before coalescing, so a coalesced step still drops the oldest state.
    if (int(m_states.size()) >= kMaxStates) {
        if (m_droppedResolution == 0) m_droppedResolution = m_states.front().otherResolution;
        DiscardState(0);
    }

    // Only the record of the opening leaves the document unmodified; an edit made from the
    // start row, after which the list was emptied above, is a change like any other.
    if (kind != kStateOpenImage) m_host->SetModified(true);

    const auto value = [&extra](size_t i, int32_t fallback) {
        return i < extra.values.size() ? extra.values[i] : fallback;
    };

    if (kind >= kStateMoveLayer && kind <= kStateMoveDown && !m_states.empty()) {
        HistoryState& newest = m_states.back();
        if (newest.kind == kind && newest.layer && layer && newest.layer->Id() == layer->Id()) {
            // Drags coalesce: moves and opacity keep the value from before the first step.
            if (kind == kStateMoveUp || kind == kStateMoveDown) {
                newest.steps += value(0, 1);
                newest.index = index;
            }
            CheckStates();
            m_host->StateSettled();
            return;
        }
    }

    if (kind == kStateOpenImage) TakeStartSnapshot(layers, extra);

    HistoryState state;
    state.id = ++m_lastId;
    state.layer = std::move(layer);
    state.kind = kind;
    state.index = index;
    state.name = name;
    switch (kind) {
        case kStateModifyCurve:
            if (state.layer) {
                state.visible = state.layer->IsVisible();
                if (state.layer->Kind() == LayerKind::Curve)
                    state.curveBlock = m_host->WriteCurveSnapshot(*state.layer);
            }
            break;
        case kStateMoveLayer:
            state.offsetX = value(0, 0);
            state.offsetY = value(1, 0);
            break;
        case kStateLayerOpacity:
            state.opacity = value(0, 100);
            break;
        case kStateMoveUp:
        case kStateMoveDown:
            state.steps = value(0, 1);
            break;
        case kStateWholeImage:
            state.layers = layers;
            state.otherWidth = value(0, m_layers.Image().width);
            state.otherHeight = value(1, m_layers.Image().height);
            // Image Size and Crop bring a new resolution: it is set here, with the state, so that
            // whoever the state is announced to (the recovery journal) sees the two together.
            // Only they keep the old one to go back to: Rotate Canvas and Canvas Size leave the
            // resolution alone, and undoing them must not undo a Print Size made since.
            state.otherResolution = value(2, 0) > 0 ? m_host->DocumentResolution() : 0;
            if (value(2, 0) > 0) m_host->SetDocumentResolution(value(2, 0));
            break;
        case kStateCanvasOnly:
            state.otherWidth = value(0, m_layers.Image().width);
            state.otherHeight = value(1, m_layers.Image().height);
            break;
        case kStateMoveLinked:
            state.records = std::move(extra.records);
            break;
        case kStateMergeLayers:
            for (MergePair& p : extra.pairs) {
                state.layers.push_back(std::move(p.layer));
                state.positions.push_back(p.position);
            }
            break;
        default:
            break;
    }
    m_states.push_back(std::move(state));
    SetCurrentState(m_states.size() - 1);

    const int count = int(m_states.size());
    if (count > 3) m_scrollOffset = kRowHeight * count - 3 * kRowHeight;
    m_host->RefreshHistoryPalette();

    CheckStates();
    m_host->StateSettled();
}

void HistoryManager::DiscardAfterCurrent() {
    while (!m_states.empty() && m_states.back().current != 1) DiscardState(m_states.size() - 1);
}

void HistoryManager::DiscardState(size_t position) {
    if (position >= m_states.size()) return;
    ReleaseState(m_states[position]);
    m_states.erase(m_states.begin() + std::ptrdiff_t(position));
}

void HistoryManager::ReleaseState(HistoryState& state) {
    if (state.kind == kStateDeselect && state.layer) m_host->ForgetDeselected(state.layer.get());
    const auto check = [](const LayerPtr& l) {
        if (l && l->Id() < 0) ShowInternalError(1011);
    };
    check(state.layer);
    for (const LayerPtr& l : state.layers) check(l);
    for (const MoveRecord& r : state.records) check(r.layer);
    if (state.curveBlock != 0) {
        m_layers.Store().Free(state.curveBlock);
        state.curveBlock = 0;
    }
    // Dropping the references frees each object whose last holder this state was; objects
    // the document, the start snapshot, the set-aside or another state still hold stay.
    state.layer.reset();
    state.layers.clear();
    state.records.clear();
}

void HistoryManager::ReleaseSetAside() {
    for (const LayerSnapshot& s : m_asideLayers)
        if (s.layer && (s.layer->Id() < 1 || s.layer->Id() > Layer::kMaxId))
            ShowInternalError(1006);
    m_asideLayers.clear();
    m_asideSelection = {};
    m_startShown.clear();
}

bool HistoryManager::VerifyLayer(const LayerPtr& layer) const {
    if (!layer) return true;
    if (layer->Id() < 0 || layer->Id() > Layer::kMaxId) return false;
    if (layer->HasPixels() && !m_layers.Store().CheckBlock(layer->Block())) return false;
    return true;
}

bool HistoryManager::CheckStates() {
    bool ok = true;
    for (const HistoryState& s : m_states) {
        bool stateOk = VerifyLayer(s.layer);
        for (const LayerPtr& l : s.layers) stateOk = stateOk && VerifyLayer(l);
        for (const MoveRecord& r : s.records) stateOk = stateOk && VerifyLayer(r.layer);
        if (!stateOk) {
            ShowInternalError(1002);
            ok = false;
            break;
        }
    }
    if (m_layers.LayerCount() > 0 && m_layers.CurrentIndex() < 0) m_layers.CurrentLayer();
    return ok;
}

int HistoryManager::DeleteCurrentState() {
    if (m_host->ToolBusy()) return 0;
    if (AppMessages().Ask("Whether delete history record?", Buttons::YesNo) != Answer::Yes)
        return 0;
    const int k = CurrentStateIndex();
    if (k < 0) return 0;
    GoToState(k - 1, 1);
    if (k == 1) {
        while (!m_states.empty()) DiscardState(m_states.size() - 1);
    } else {
        DiscardAfterCurrent();
    }
    const int count = int(m_states.size());
    m_scrollOffset = count > 3 ? kRowHeight * count - 3 * kRowHeight : 0;
    m_host->RefreshHistoryPalette();
    m_host->StateSettled();
    return 1;
}

void HistoryManager::ClearHistory() {
    if (m_showingStart) LeaveStartRow();
    while (!m_states.empty()) DiscardState(m_states.size() - 1);
    // Start layers no longer in the live list go with their last reference here.
    m_startLayers.clear();
    m_startSelection = {};
    m_hasStart = false;
    m_startWidth = m_startHeight = 0;
    m_droppedResolution = 0;
    m_scrollOffset = 0;
}

}  // namespace zelvo
