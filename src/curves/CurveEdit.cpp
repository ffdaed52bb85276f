#include "curves/CurveEdit.h"

#include "curves/Curve.h"
#include "history/LayerListOps.h"
#include "platform/Messages.h"

namespace zelvo {

bool RefuseNewLayer(const LayerManager& layers) {
    if (layers.LayerCount() < LayerManager::kMaxLayers) return false;
    AppMessages().Show("More than 100 layers, should not create a new layer!");
    return true;
}

CurveEdit::CurveEdit(LayerManager& layers, HistoryManager& history)
    : m_layers(layers), m_history(history) {}

LayerPtr CurveEdit::NewCurveLayer(const std::string& name, ColorRef color, bool filled) {
    if (RefuseNewLayer(m_layers)) return nullptr;
    auto layer = std::make_shared<Layer>(m_layers.Store());
    const ImageGeometry& image = m_layers.Image();
    if (!layer->Create(image.width, image.height, LayerKind::Curve, m_layers.NextId()))
        return nullptr;
    layer->SetSerial(m_layers.NextSerial());
    layer->SetColor(color);
    layer->SetFilled(filled);
    layer->SetClosed(false);
    const int below = m_layers.CurrentPosition();
    m_layers.InsertAt(below + 1, layer);
    MakeCurrentAt(m_layers, below + 1);
    m_history.RecordState(layer, {}, kStateNewCurve, below, name);
    return layer;
}

bool CurveEdit::BeginCurveEdit() {
    const LayerPtr current = m_layers.LayerAt(m_layers.CurrentIndex());
    if (!current || current->Kind() != LayerKind::Curve) return false;
    m_layer = current;
    m_before = CurveShape::Of(*current);
    return true;
}

bool CurveEdit::CommitCurveEdit(const std::string& name) {
    if (!m_layer) return false;
    const LayerPtr layer = m_layer;
    int index = m_layers.IndexOf(layer.get());
    if (index < 0) index = m_layers.CurrentIndex();
    // The history asks WriteSnapshot for the block while the copy is still held.
    m_history.RecordState(layer, {}, kStateModifyCurve, index,
                          name.empty() ? std::string("Modify curves") : name);
    m_layer.reset();
    m_before = {};
    RequestRedraw();
    return true;
}

void CurveEdit::CancelCurveEdit() {
    if (!m_layer) return;
    Layer& layer = *m_layer;
    layer.Anchors() = m_before.anchors;
    layer.SetClosed(m_before.closed != 0);
    layer.SetFilled(m_before.filled != 0);
    layer.SetColor(m_before.color);
    RenderCurve(layer);
    m_layer.reset();
    m_before = {};
    RequestRedraw();
}

bool CurveEdit::SetCurveStyle(bool filled, ColorRef color) {
    const LayerPtr current = m_layers.LayerAt(m_layers.CurrentIndex());
    if (!current || current->Kind() != LayerKind::Curve) return false;
    const char* name = nullptr;
    if (current->IsFilled() != filled)
        name = filled ? "Fill Curves" : "Cancel curve filling";
    else if (current->Color() != color)
        name = "Change the curve color";
    if (!name) return false;
    if (!BeginCurveEdit()) return false;
    current->SetFilled(filled);
    current->SetColor(color);
    RenderCurve(*current);
    return CommitCurveEdit(name);
}

BlockHandle CurveEdit::WriteSnapshot(Layer& layer) {
    const CurveShape after = CurveShape::Of(layer);
    const CurveShape& before = m_layer.get() == &layer ? m_before : after;
    return WriteCurveSnapshot(m_layers.Store(), before, after);
}

bool CurveEdit::LoadSnapshot(Layer& layer, BlockHandle block, bool after) {
    const bool loaded = LoadCurveSnapshot(m_layers.Store(), block, after, layer);
    RenderCurve(layer);
    const int at = m_layers.IndexOf(&layer);
    if (at >= 0) MakeCurrentAt(m_layers, at);
    return loaded;
}

}  // namespace zelvo
