// The Tools palette (F4): the tool box with a button and tool-tip for every tool, the colour
// swap and reset buttons and the two colour swatches. Every button goes through the frame's
// tool controller; the palette only shows what the controller holds (the current tool, the
// colour pair), whichever way it changed.
#pragma once

#include <map>
#include <vector>

#include <QWidget>

class QToolButton;

namespace zelvo {

class ColorPair;
class ToolController;

struct ToolButtonSpec {
    int id;
    const char* tooltip;
    const char* hint;
    const char* label;
};

class CToolsPalette : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHandTool = 1025;
    static constexpr int kIconSide = 22;

    CToolsPalette(ToolController& tools, QWidget* parent = nullptr);
    // Every tool-box button, in tool-box order.
    static const std::vector<ToolButtonSpec>& Buttons();
    QToolButton* Button(int id) const;
    // The swatch of 1053 (foreground) or 1054 (background); null for any other id.
    QWidget* Swatch(int id) const;
    // The tool whose button shows selected; 0 when none does (free transform has no button).
    int ShownTool() const;
    // Shows `tool` selected and every other button normal.
    void ShowTool(int tool);
    // Repaints the swatches from the colour pair.
    void ShowColors();
    // The buttons in two columns (88 x 580 pixels), or in three for a screen too short for that.
    void SetColumns(int columns);
    int Columns() const { return m_columns; }

private:
    void OnButton(int id);

    ToolController& m_tools;
    std::map<int, QToolButton*> m_buttons;
    std::vector<QToolButton*> m_order;  // tool-box order
    QWidget* m_foreground = nullptr;
    QWidget* m_background = nullptr;
    int m_columns = 0;
};

}  // namespace zelvo
