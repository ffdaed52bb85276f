// Undo and redo of one state, kind by kind. Every step is a swap (of a layer object at a list
// position, of a saved value, of pixels) or its exact inverse, so a state can be undone and
// redone any number of times.
#include <algorithm>
#include <utility>

#include "core/InternalError.h"
#include "history/HistoryManager.h"
#include "history/LayerListOps.h"

namespace zelvo {

namespace {

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// The list position of `layer`, found by object, else by id.
int FindLayer(const LayerManager& layers, const LayerPtr& layer) {
    if (!layer) return -1;
    const int at = layers.IndexOf(layer.get());
    if (at >= 0) return at;
    const LayerPtr byId = layers.FindById(layer->Id());
    return byId ? layers.IndexOf(byId.get()) : -1;
}

}  // namespace

void HistoryManager::ApplyState(HistoryState& state, bool redo) {
    LayerManager& lm = m_layers;
    switch (state.kind) {
        case kStateNewLayer:
        case kStateDuplicateLayer:
        case kStateNewText:
        case kStateNewCurve: {
            if (!state.layer) break;
            if (!redo) {
                int at = FindLayer(lm, state.layer);
                if (at < 0) at = state.index + 1;
                if (!lm.RemoveAt(at)) break;
                MakeCurrentAt(lm, Clamp(state.index, 0, lm.LayerCount() - 1));
            } else {
                const int at = Clamp(state.index + 1, 0, lm.LayerCount());
                lm.InsertAt(at, state.layer);
                MakeCurrentAt(lm, at);
            }
            break;
        }
        case kStateDeleteLayer: {
            if (!state.layer) break;
            if (!redo) {
                const int at = Clamp(state.index, 0, lm.LayerCount());
                lm.InsertAt(at, state.layer);
                MakeCurrentAt(lm, at);
            } else {
                int at = FindLayer(lm, state.layer);
                if (at < 0) at = state.index;
                if (!lm.RemoveAt(at)) break;
                MakeCurrentAt(lm, Clamp(at - 1, 0, lm.LayerCount() - 1));
            }
            break;
        }
        case kStateMoveLayer: {
            if (!state.layer) break;
            Layer& layer = *state.layer;
            if (layer.Kind() == LayerKind::Text) {
                Point origin{state.offsetX, state.offsetY};
                if (m_host->SwapTextOrigin(layer, origin)) {
                    state.offsetX = origin.x;
                    state.offsetY = origin.y;
                    break;
                }
            }
            SwapPosition(layer, state.offsetX, state.offsetY);
            // A moved selection keeps its bounds with it.
            if (lm.Selection() == state.layer) lm.SetSelectionBounds(layer.Bounds());
            break;
        }
        case kStateLayerOpacity: {
            if (!state.layer) break;
            const int32_t live = state.layer->Opacity();
            state.layer->SetOpacity(state.opacity);
            state.opacity = live;
            break;
        }
        case kStateMoveUp:
            MoveStep(state, redo, redo ? 1010 : 1009);
            break;
        case kStateMoveDown:
            MoveStep(state, !redo, redo ? 1008 : 1007);
            break;
        case kStateLayerPixels:
        case kStateModifyText:
            SwapLayerAt(state);
            break;
        case kStateNewSelection:
            SetSelection(redo ? state.layer : nullptr);
            break;
        case kStateModifySelection: {
            LayerPtr live = lm.Selection();
            SetSelection(state.layer);
            state.layer = std::move(live);
            break;
        }
        case kStateDeselect:
            SetSelection(redo ? nullptr : state.layer);
            break;
        case kStateWholeImage:
            SwapWholeImage(state);
            break;
        case kStateModifyCurve:
            if (state.layer && !m_host->LoadCurveSnapshot(*state.layer, state.curveBlock, redo))
                ShowInternalError(redo ? 1005 : 1003);
            break;
        case kStateRectPixels: {
            const LayerPtr target = lm.LayerAt(state.index);
            if (state.layer && target) SwapRectPixels(*state.layer, *target);
            break;
        }
        case kStateMoveLinked:
            for (MoveRecord& r : state.records) {
                if (!r.layer) continue;
                Layer& layer = *r.layer;
                if (layer.Kind() == LayerKind::Curve) {
                    m_host->MoveCurve(layer, redo ? r.dx : -r.dx, redo ? r.dy : -r.dy);
                    continue;
                }
                if (layer.Kind() == LayerKind::Text) {
                    Point origin{r.dx, r.dy};
                    if (m_host->SwapTextOrigin(layer, origin)) {
                        r.dx = origin.x;
                        r.dy = origin.y;
                        continue;
                    }
                }
                SwapPosition(layer, r.dx, r.dy);
            }
            break;
        case kStateMergeLayers:
            if (redo)
                RedoMerge(state);
            else
                UndoMerge(state);
            break;
        case kStateCanvasOnly: {
            const int32_t w = lm.Image().width, h = lm.Image().height;
            SetCanvas(state.otherWidth, state.otherHeight);
            state.otherWidth = w;
            state.otherHeight = h;
            break;
        }
        default:
            break;  // the start state and unknown kinds have nothing to swap
    }
}

void HistoryManager::SwapPosition(Layer& layer, int32_t& x, int32_t& y) {
    const Point live = layer.Position();
    layer.SetPosition(x, y);
    x = live.x;
    y = live.y;
}

void HistoryManager::MoveStep(HistoryState& state, bool towardTail, int errorCode) {
    LayerManager& lm = m_layers;
    int at = FindLayer(lm, state.layer);
    if (at < 0) at = state.index;
    if (at < 0 || at >= lm.LayerCount()) return;
    int dest = towardTail ? at + state.steps : at - state.steps;
    if (dest < 0 || dest >= lm.LayerCount()) {
        ShowInternalError(errorCode);
        dest = Clamp(dest, 0, lm.LayerCount() - 1);
    }
    LayerPtr layer = lm.RemoveAt(at);
    lm.InsertAt(dest, std::move(layer));
    MakeCurrentAt(lm, dest);
    state.index = lm.CurrentIndex();
}

void HistoryManager::SwapLayerAt(HistoryState& state) {
    LayerManager& lm = m_layers;
    if (!state.layer || state.index < 0 || state.index >= lm.LayerCount()) return;
    LayerPtr removed = lm.ReplaceAt(state.index, state.layer);
    TakeOverLinkGroup(lm, *state.layer, *removed);
    MakeCurrentAt(lm, state.index);
    state.layer = std::move(removed);
}

void HistoryManager::SwapWholeImage(HistoryState& state) {
    LayerManager& lm = m_layers;
    std::vector<LayerPtr> live = lm.Layers();
    while (lm.LayerCount() > 0) lm.RemoveAt(lm.LayerCount() - 1);
    for (LayerPtr& l : state.layers)
        if (l) lm.InsertAt(lm.LayerCount(), std::move(l));
    state.layers = std::move(live);
    if (state.name == "Canvas Size" && lm.LayerCount() > 0)
        MakeCurrentAt(lm, std::min(state.index, lm.LayerCount() - 1));

    const int32_t w = lm.Image().width, h = lm.Image().height;
    SetCanvas(state.otherWidth, state.otherHeight);
    state.otherWidth = w;
    state.otherHeight = h;
    if (state.otherResolution > 0) {
        const int32_t r = m_host->DocumentResolution();
        m_host->SetDocumentResolution(state.otherResolution);
        state.otherResolution = r;
    }
}

void HistoryManager::UndoMerge(HistoryState& state) {
    LayerManager& lm = m_layers;
    const int merged = FindLayer(lm, state.layer);
    if (merged >= 0) lm.RemoveAt(merged);
    int last = -1;
    for (size_t i = 0; i < state.layers.size(); ++i) {
        if (!state.layers[i]) continue;
        const int32_t saved = i < state.positions.size() ? state.positions[i] : 0;
        last = Clamp(saved, 0, lm.LayerCount());
        lm.InsertAt(last, state.layers[i]);
    }
    MakeCurrentAt(lm, last);
}

void HistoryManager::RedoMerge(HistoryState& state) {
    LayerManager& lm = m_layers;
    for (const LayerPtr& l : state.layers) {
        const int at = FindLayer(lm, l);
        if (at >= 0) lm.RemoveAt(at);
    }
    if (!state.layer) return;
    const int at = Clamp(state.index, 0, lm.LayerCount());
    lm.InsertAt(at, state.layer);
    MakeCurrentAt(lm, at);
}

}  // namespace zelvo
