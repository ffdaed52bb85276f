#include "layerops/LayerStack.h"

#include <cstring>
#include <memory>

#include "core/InternalError.h"
#include "curves/Curve.h"
#include "history/LayerListOps.h"
#include "layerops/LinkGroups.h"
#include "layers/LayerRows.h"
#include "layers/TextLayer.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "store/SpaceFailures.h"

namespace zelvo {

namespace {

// Copies every stored row of `from` into `to` (same kind, size and bits).
bool CopyRows(const Layer& from, Layer& to) {
    if (!from.HasPixels()) return !to.HasPixels();
    if (from.Width() != to.Width() || from.Height() != to.Height() ||
        from.BitsPerPixel() != to.BitsPerPixel())
        return false;
    RowReader src(from.Store(), from.Block(), from.RowsOffset(), from.Stride(),
                  uint32_t(from.Height()));
    // Written by pwrite in whole aligned stretches, not through a mapped window: no page takes
    // a fault, and the copy lies in large pages of the page cache, which every later read of it
    // copies faster. The copy is in the file for every reader once written; nothing needs it on
    // the disk itself.
    const std::unique_ptr<RowWriter> dst = OpenRowWriter(to);
    if (!dst) return false;
    for (uint32_t r = 0; r < uint32_t(from.Height()); ++r) {
        const uint8_t* s = src.Row(r);
        uint8_t* d = dst->Row(r);
        if (!s || !d) return false;
        std::memcpy(d, s, from.Stride());
    }
    return dst->Flush() && to.Store().CheckBlock(to.Block());
}

// The properties a copy takes over besides its content.
void CopyProperties(const Layer& from, Layer& to) {
    to.SetPosition(from.Position().x, from.Position().y);
    to.SetOpacity(from.Opacity());
    to.SetVisible(from.IsVisible());
    to.SetColor(from.Color());
}

// The text settings or the curve (anchors, flags, colour) of `from`.
void CopyVector(const Layer& from, Layer& to) {
    to.Text() = from.Text();
    to.Anchors() = from.Anchors();
    to.SetClosed(from.IsClosed());
    to.SetFilled(from.IsFilled());
    to.SetColor(from.Color());
    to.SetCurveBounds(from.CurveBounds());
}

int CopyErrorOf(LayerKind kind) {
    switch (kind) {
        case LayerKind::Text:
            return 1035;
        case LayerKind::Curve:
            return 1034;
        default:
            return 1033;
    }
}

// A copy that could not be made: the internal error, unless the store ran out of disk space
// on the way (it has shown the disk message, which says what is wrong).
void ShowCopyFailure(uint64_t spaceFailuresBefore, int code) {
    if (ScratchSpaceFailures() == spaceFailuresBefore) ShowInternalError(code);
}

// Puts a new layer just above the current one, makes it current and records the state.
void InsertAboveCurrent(HistoryManager& history, const LayerPtr& layer, int32_t kind,
                        const std::string& name) {
    LayerManager& lm = history.Layers();
    const int below = lm.CurrentPosition();
    lm.InsertAt(below + 1, layer);
    MakeCurrentAt(lm, below + 1);
    history.RecordState(layer, {}, kind, below, name);
    history.Host().Redraw();
}

}  // namespace

bool RefuseLayerAtLimit(const LayerManager& layers) {
    if (layers.LayerCount() < LayerManager::kMaxLayers) return false;
    AppMessages().Show("More than 100 layers, should not create a new layer!");
    return true;
}

int NewLayer(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    if (RefuseLayerAtLimit(lm)) return 0;
    if (lm.CurrentIndex() < 0) return 0;
    auto layer = std::make_shared<Layer>(lm.Store());
    layer->Create(0, 0, LayerKind::Null, lm.NextId());
    layer->SetSerial(lm.NextSerial());
    InsertAboveCurrent(history, layer, kStateNewLayer, "New Layer");
    return 1;
}

int DuplicateLayer(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    if (RefuseLayerAtLimit(lm)) return 0;
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    if (!current) {
        ShowInternalError(1032);
        return 0;
    }
    WaitCursor wait;
    const Layer& from = *current;
    auto copy = std::make_shared<Layer>(lm.Store());
    const uint64_t spaceFailures = ScratchSpaceFailures();
    bool ok;
    if (from.Kind() == LayerKind::Null) {
        ok = copy->Create(0, 0, LayerKind::Null, lm.NextId());
    } else {
        ok = copy->Create(from.Width(), from.Height(), from.Kind(), lm.NextId(),
                          from.BitsPerPixel(), false) &&
             CopyRows(from, *copy);
    }
    if (!ok) {
        ShowCopyFailure(spaceFailures, CopyErrorOf(from.Kind()));
        return 0;
    }
    copy->SetSerial(lm.NextSerial());
    CopyVector(from, *copy);
    CopyProperties(from, *copy);
    InsertAboveCurrent(history, copy, kStateDuplicateLayer, "Duplicate Layer");
    return 1;
}

int CopyLayerFrom(HistoryManager& history, const Layer* source, int redraw) {
    LayerManager& lm = history.Layers();
    if (!source) {
        ShowInternalError(1036);
        return 0;
    }
    if (RefuseLayerAtLimit(lm)) return 0;
    if (lm.CurrentIndex() < 0) return 0;
    WaitCursor wait;
    const Layer& from = *source;
    auto copy = std::make_shared<Layer>(lm.Store());
    const uint64_t spaceFailures = ScratchSpaceFailures();
    bool ok = true;
    switch (from.Kind()) {
        case LayerKind::Null:
            ok = copy->Create(0, 0, LayerKind::Null, lm.NextId());
            break;
        case LayerKind::Pixel:
            ok = copy->Create(from.Width(), from.Height(), LayerKind::Pixel, lm.NextId()) &&
                 CopyRows(from, *copy);
            break;
        case LayerKind::Text:
        case LayerKind::Curve: {
            // Vector layers are drawn again at this canvas's size.
            const ImageGeometry& canvas = lm.Image();
            ok = copy->Create(canvas.width, canvas.height, from.Kind(), lm.NextId());
            if (ok) {
                CopyVector(from, *copy);
                ok = from.Kind() == LayerKind::Text ? RenderText(*copy) : RenderCurve(*copy);
            }
            break;
        }
    }
    if (!ok) {
        ShowCopyFailure(spaceFailures, 1037);
        return 0;
    }
    copy->SetSerial(lm.NextSerial());
    if (from.Kind() == LayerKind::Pixel) copy->SetPosition(from.Position().x, from.Position().y);
    copy->SetOpacity(from.Opacity());
    copy->SetVisible(from.IsVisible());
    copy->SetColor(from.Color());
    const int below = lm.CurrentPosition();
    lm.InsertAt(below + 1, copy);
    MakeCurrentAt(lm, below + 1);
    history.RecordState(copy, {}, kStateDuplicateLayer, below, "Duplicate Layer");
    if (redraw == 1) history.Host().Redraw();
    return 1;
}

int DeleteLayer(HistoryManager& history) {
    LayerManager& lm = history.Layers();
    if (lm.LayerCount() < 2) return 0;
    const int at = lm.CurrentIndex();
    if (at < 0) return 0;
    ClearLinkGroups(lm);
    LayerPtr removed = lm.RemoveAt(at);
    // The layer that was just above takes the current flag, or the one below for the top.
    MakeCurrentAt(lm, at < lm.LayerCount() ? at : lm.LayerCount() - 1);
    history.RecordState(std::move(removed), {}, kStateDeleteLayer, at, "Delete Layer");
    history.Host().Redraw();
    return 1;
}

int MoveLayer(HistoryManager& history, MoveDirection direction, int steps) {
    LayerManager& lm = history.Layers();
    const int at = lm.CurrentIndex();
    if (at < 0 || steps < 1) return 0;
    const int dest = direction == MoveDirection::Up ? at + steps : at - steps;
    if (dest < 0 || dest >= lm.LayerCount()) return 0;
    LayerPtr layer = lm.RemoveAt(at);
    lm.InsertAt(dest, layer);
    MakeCurrentAt(lm, dest);
    StateExtra extra;
    extra.values = {steps};
    history.RecordState(layer, {}, direction == MoveDirection::Up ? kStateMoveUp : kStateMoveDown,
                        dest, "", std::move(extra));
    history.Host().Redraw();
    return 1;
}

int ToggleLayerVisible(HistoryManager& history, int index) {
    const LayerPtr layer = history.Layers().LayerAt(index);
    if (!layer) return 0;
    layer->ToggleVisible();
    // No history state, but the file and the flattened picture change: a close asks.
    history.Host().SetModified(true);
    history.Host().Redraw();
    return 1;
}

LayerPtr PasteAsLayer(HistoryManager& history, int32_t width, int32_t height) {
    LayerManager& lm = history.Layers();
    if (RefuseLayerAtLimit(lm)) return nullptr;
    if (lm.CurrentIndex() < 0) return nullptr;
    auto layer = std::make_shared<Layer>(lm.Store());
    if (!layer->Create(width, height, LayerKind::Pixel, lm.NextId())) return nullptr;
    layer->SetSerial(lm.NextSerial());
    InsertAboveCurrent(history, layer, kStateDuplicateLayer, "Paste");
    return layer;
}

}  // namespace zelvo
