// The Layers palette without its widget: rows (the top layer first) with their three columns,
// what a click in each does, the scroll bar's enabling, and the opacity slider and edit box.
#pragma once

#include <optional>
#include <string>

#include "core/Types.h"
#include "history/HistoryManager.h"
#include "history/LayerOpacity.h"
#include "selection/SelectionCommands.h"

namespace zelvo {

class LayersPaletteModel {
public:
    static constexpr int kRowHeight = 25;
    static constexpr int kRowWidth = 180;
    static constexpr int kVisibilityRight = 40;  // column 0: "Show" / "Hide"
    static constexpr int kLinkRight = 60;        // column 1: the link mark
    static constexpr int kScrollFromLayers = 7;  // the scroll bar is disabled below this
    static constexpr int kVisibleRows = 6;
    static constexpr ColorRef kCurrentFill = Rgb(10, 36, 106);
    static constexpr ColorRef kCurrentText = Rgb(255, 255, 255);
    static constexpr ColorRef kPlainText = Rgb(0, 0, 0);
    static constexpr const char* kOpacityTooltip = "Set the transparency of layers";
    static constexpr const char* kNewLayerCaption = "New Layer";
    static constexpr const char* kDeleteLayerCaption = "Delete Layer";
    static constexpr const char* kUpCaption = "Up";
    static constexpr const char* kDownCaption = "Down";

    explicit LayersPaletteModel(HistoryManager& history) : m_history(history), m_opacity(history) {}

    int RowCount() const { return m_history.Layers().LayerCount(); }
    // Row 0 is the top layer. -1 for a row without a layer.
    int LayerIndexOfRow(int row) const;
    int RowOfLayerIndex(int index) const;

    struct Row {
        std::string visibility;  // "Show" or "Hide"
        bool linkMark = false;   // in the current layer's link group
        std::string name;        // "Null Layer", "Pixel Layer", "Text Layer", "Curve Layer"
        bool current = false;    // filled with kCurrentFill, written in kCurrentText
    };
    Row RowAt(int row) const;
    Rect RowRect(int row) const;

    enum class ClickResult { Nothing, ToggledVisibility, ToggledLink, MadeCurrent };
    // A click at (x, y) of the rows area: column 0 toggles the visibility, column 1 the link,
    // elsewhere the row's layer becomes current; with Ctrl also a pixel, text or curve layer
    // is turned into a selection (through `rerender` for text and curve masks).
    ClickResult Click(int x, int y, bool ctrl, SelectionRerender* rerender = nullptr);
    // The same click at column x of the row of the layer at `index`.
    ClickResult ClickLayer(int x, int index, bool ctrl, SelectionRerender* rerender = nullptr);

    // The vertical scroll bar: disabled below 7 layers.
    bool ScrollEnabled() const { return RowCount() >= kScrollFromLayers; }
    int ScrollMaximum() const { return kRowHeight * RowCount(); }
    int ScrollPage() const { return kRowHeight * kVisibleRows; }
    int ScrollOffset() const { return m_scroll; }
    void SetScrollOffset(int offset) { m_scroll = offset; }

    // The slider shows the current layer's opacity; the edit box "%d%%".
    int SliderValue() const;
    std::string EditText() const;
    // A slider move (preview) and its end (one "Set Layer Opacity" state).
    int SliderMoved(int value) { return m_opacity.SetLayerOpacity(value, 0); }
    int SliderReleased(int value) { return m_opacity.SetLayerOpacity(value, 1); }
    // The edit box's text: an integer 0..100 (0 only when the text begins with "0") that
    // differs from the slider is applied as final. Returns whether it was applied.
    bool EditEntered(const std::string& text);
    // The value the edit box's text stands for, when it is acceptable.
    static std::optional<int> ParseOpacityText(const std::string& text);

private:
    HistoryManager& m_history;
    LayerOpacityControl m_opacity;
    int m_scroll = 0;
};

}  // namespace zelvo
