#include "layerops/LayersPaletteModel.h"

#include <cstdlib>

#include "layerops/LayerStack.h"
#include "layerops/LinkGroups.h"
#include "platform/Messages.h"

namespace zelvo {

int LayersPaletteModel::LayerIndexOfRow(int row) const {
    if (row < 0 || row >= RowCount()) return -1;
    return RowCount() - 1 - row;
}

int LayersPaletteModel::RowOfLayerIndex(int index) const {
    if (index < 0 || index >= RowCount()) return -1;
    return RowCount() - 1 - index;
}

LayersPaletteModel::Row LayersPaletteModel::RowAt(int row) const {
    Row r;
    LayerManager& lm = m_history.Layers();
    const LayerPtr layer = lm.LayerAt(LayerIndexOfRow(row));
    if (!layer) return r;
    r.visibility = layer->IsVisible() ? "Show" : "Hide";
    r.linkMark = layer->LinkCount() > 0 && InCurrentLinkGroup(lm, *layer);
    r.name = LayerKindName(layer->Kind());
    r.current = layer->IsCurrent();
    return r;
}

Rect LayersPaletteModel::RowRect(int row) const {
    const int top = row * kRowHeight - m_scroll;
    return {0, top, kRowWidth, top + kRowHeight};
}

LayersPaletteModel::ClickResult LayersPaletteModel::Click(int x, int y, bool ctrl,
                                                          SelectionRerender* rerender) {
    if (y < 0) return ClickResult::Nothing;
    return ClickLayer(x, LayerIndexOfRow((y + m_scroll) / kRowHeight), ctrl, rerender);
}

LayersPaletteModel::ClickResult LayersPaletteModel::ClickLayer(int x, int index, bool ctrl,
                                                               SelectionRerender* rerender) {
    if (x < 0 || x >= kRowWidth || index < 0 || index >= RowCount()) return ClickResult::Nothing;
    if (x < kVisibilityRight) {
        ToggleLayerVisible(m_history, index);
        return ClickResult::ToggledVisibility;
    }
    if (x < kLinkRight) {
        ToggleLink(m_history, index);
        return ClickResult::ToggledLink;
    }
    LayerManager& lm = m_history.Layers();
    lm.SelectLayerByIndex(index + 1);
    const LayerPtr layer = lm.LayerAt(index);
    if (ctrl && layer && layer->Kind() != LayerKind::Null) LayerToSelection(m_history, rerender);
    m_history.Host().Redraw();
    return ClickResult::MadeCurrent;
}

int LayersPaletteModel::SliderValue() const {
    LayerManager& lm = m_history.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    return layer ? layer->Opacity() : 100;
}

std::string LayersPaletteModel::EditText() const {
    return Format("%d%%", SliderValue());
}

std::optional<int> LayersPaletteModel::ParseOpacityText(const std::string& text) {
    // atoi's reading: a leading number, the rest ignored; 0 counts only when written.
    const int value = std::atoi(text.c_str());
    if (value == 0 && (text.empty() || text[0] != '0')) return std::nullopt;
    if (value < 0 || value > 100) return std::nullopt;
    return value;
}

bool LayersPaletteModel::EditEntered(const std::string& text) {
    const std::optional<int> value = ParseOpacityText(text);
    if (!value || *value == SliderValue()) return false;
    return m_opacity.SetLayerOpacity(*value, 1) == 1;
}

}  // namespace zelvo
