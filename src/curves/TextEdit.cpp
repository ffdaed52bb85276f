#include "curves/TextEdit.h"

#include "core/Limits.h"
#include "curves/CurveEdit.h"
#include "history/LayerListOps.h"
#include "layers/TextLayer.h"

namespace zelvo {

TextEdit::TextEdit(LayerManager& layers, HistoryManager& history)
    : m_layers(layers), m_history(history) {}

TextEdit::~TextEdit() {
    if (m_mode != Mode::None) EndText(0);
}

LayerPtr TextEdit::CurrentText() const {
    LayerPtr current = m_layers.LayerAt(m_layers.CurrentIndex());
    return current && current->Kind() == LayerKind::Text ? current : nullptr;
}

LayerPtr TextEdit::BeginNewText(int32_t width, int32_t height) {
    if (m_mode != Mode::None || RefuseNewLayer(m_layers)) return nullptr;
    auto layer = std::make_shared<Layer>(m_layers.Store());
    if (!layer->Create(width, height, LayerKind::Text, m_layers.NextId())) return nullptr;
    layer->SetSerial(m_layers.NextSerial());
    const int below = m_layers.CurrentPosition();
    m_layers.InsertAt(below + 1, layer);
    MakeCurrentAt(m_layers, below + 1);
    m_mode = Mode::New;
    m_edited = layer;
    m_index = below + 1;
    return layer;
}

LayerPtr TextEdit::BeginEditText() {
    if (m_mode != Mode::None) return nullptr;
    const LayerPtr current = CurrentText();
    if (!current) return nullptr;
    auto copy = std::make_shared<Layer>(m_layers.Store());
    if (!copy->Create(current->Width(), current->Height(), LayerKind::Text, m_layers.NextId()))
        return nullptr;
    // The copy carries the serial on, as every replacement object of a layer does.
    copy->SetSerial(current->Serial());
    copy->SetPosition(current->Position().x, current->Position().y);
    copy->Text() = current->Text();
    copy->SetColor(current->Color());
    copy->SetOpacity(current->Opacity());
    copy->SetVisible(current->IsVisible());
    copy->SetCurrent(true);
    RenderText(*copy);
    m_index = m_layers.CurrentIndex();
    m_kept = m_layers.ReplaceAt(m_index, copy);
    m_kept->SetCurrent(false);
    m_mode = Mode::Existing;
    m_edited = copy;
    return copy;
}

int TextEdit::EndText(int commit) {
    if (m_mode == Mode::None) return 0;
    const LayerPtr edited = m_edited;
    int index = m_layers.IndexOf(edited.get());
    if (index < 0) index = m_index;
    if (m_mode == Mode::Existing) {
        if (commit) {
            TakeOverLinkGroup(m_layers, *edited, *m_kept);
            m_history.RecordState(m_kept, {}, kStateModifyText, index, "Edit Text");
        } else {
            if (index >= 0 && index < m_layers.LayerCount()) m_layers.ReplaceAt(index, m_kept);
            MakeCurrentAt(m_layers, index);
        }
    } else {
        if (commit) {
            m_history.RecordState(edited, {}, kStateNewText, index - 1, "New Text Layer");
        } else {
            if (index >= 0 && index < m_layers.LayerCount()) m_layers.RemoveAt(index);
            // The layer that was current before, directly below the new one, is current
            // again, so the list is exactly as it was.
            const int below = index - 1 < 0 ? 0 : index - 1;
            if (m_layers.LayerCount() > 0)
                MakeCurrentAt(m_layers,
                              below < m_layers.LayerCount() ? below : m_layers.LayerCount() - 1);
        }
    }
    m_mode = Mode::None;
    m_edited.reset();
    m_kept.reset();
    m_index = -1;
    m_history.Host().Redraw();
    return 1;
}

int TextEdit::CommitTextChange(const std::string& name) {
    if (m_mode != Mode::Existing) return 0;
    TakeOverLinkGroup(m_layers, *m_edited, *m_kept);
    int index = m_layers.IndexOf(m_edited.get());
    if (index < 0) index = m_index;
    m_history.RecordState(m_kept, {}, kStateModifyText, index, name);
    m_mode = Mode::None;
    m_edited.reset();
    m_kept.reset();
    m_index = -1;
    m_history.Host().Redraw();
    return 1;
}

template <class Change>
bool TextEdit::ChangeCommitted(const std::string& name, Change change) {
    if (m_mode != Mode::None || !CurrentText()) return false;
    const LayerPtr copy = BeginEditText();
    if (!copy) return false;
    change(copy->Text());
    RenderText(*copy);
    return CommitTextChange(name) == 1;
}

bool TextEdit::FlipTextDirection() {
    return ChangeCommitted("Text Direction", [](TextSettings& t) {
        t.direction = t.direction == kTextHorizontal ? kTextVertical : kTextHorizontal;
    });
}

bool TextEdit::SetTextFont(const std::string& face) {
    const LayerPtr current = CurrentText();
    TextSettings probe;
    SetTextFace(probe, face);
    if (!current || current->Text().face == probe.face) return false;
    return ChangeCommitted("Text Font", [&](TextSettings& t) { t.face = probe.face; });
}

bool TextEdit::SetTextSize(int32_t size) {
    const LayerPtr current = CurrentText();
    if (!current || current->Text().fontSize == size) return false;
    return ChangeCommitted("Text Size", [&](TextSettings& t) { t.fontSize = size; });
}

bool TextEdit::MoveText(int32_t dx, int32_t dy) {
    if (m_mode != Mode::None) return false;
    const LayerPtr current = CurrentText();
    if (!current) return false;
    TextSettings& t = current->Text();
    const int32_t oldX = t.originX, oldY = t.originY;
    // The origin stays where the document format can hold it.
    t.originX = ClampCoordinate(int64_t(oldX) + dx);
    t.originY = ClampCoordinate(int64_t(oldY) + dy);
    RenderText(*current);
    m_history.RecordState(current, {}, kStateMoveLayer, m_layers.CurrentIndex(), "Move Text",
                          StateExtra{{oldX, oldY}, {}, {}});
    return true;
}

}  // namespace zelvo
