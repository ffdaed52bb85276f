#include "app/CToolsPalette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>

#include "app/CColorPalette.h"
#include "app/ToolIcons.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

// One colour swatch of the pair: drawn from the pair each time, a click opens the chooser.
class ColorSwatch : public QWidget {
public:
    ColorSwatch(ColorPair& colors, bool foreground, QWidget* parent)
        : QWidget(parent), m_colors(colors), m_foreground(foreground) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const ColorRef c = m_foreground ? m_colors.Foreground() : m_colors.Background();
        p.fillRect(rect(), QColor(RedOf(c), GreenOf(c), BlueOf(c)));
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.setPen(Qt::white);
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        const ColorRef old = m_foreground ? m_colors.Foreground() : m_colors.Background();
        const auto chosen = ChooseColor(this, old, m_foreground);
        if (!chosen) return;
        if (m_foreground)
            m_colors.SetForeground(*chosen);
        else
            m_colors.SetBackground(*chosen);
    }

private:
    ColorPair& m_colors;
    bool m_foreground;
};

}  // namespace

const std::vector<ToolButtonSpec>& CToolsPalette::Buttons() {
    static const std::vector<ToolButtonSpec> buttons = {
        {1073, "Rectangular Marquee Tool (M)",
         "Draw rectangular selection.Use Shift for additional options.", "M"},
        {1074, "Elliptical Marquee Tool (M)",
         "Draw elliptical selection.Use Shift for additional options.", "M○"},
        {1031, "Free Marquee Tool (L)", "Draw freeform selection or move selection outline.", "L"},
        {1075, "Polygonal Marquee Tool (L)", "Click to set a selection segment point.", "L▲"},
        {1070, "Magic Wand Tool (W)",
         "Click to select adjacent pixels of similar color or move selection outline.", "W"},
        {1026, "Move Tool (V)",
         "Click and drag to move layer.Use Shift and Alt for additional options.", "V"},
        {1032, "Crop Tool (C)", "Click and drag to define cropping frame.", "C"},
        {1034, "Brush Tool (B)", "Click and drag to paint using foreground color.", "B"},
        {1076, "Eraser Tool (E)", "Click and drag to erase to background color.", "E"},
        {1077, "Clone Stamp Tool (S)",
         "Alt-click to define a source,and then Click and drag to create duplicate.", "S"},
        {1092, "Healing Brush Tool (J)",
         "Alt-click to define a source,and then click and drag to paint.", "J"},
        {1102, "Patch Tool (J)", "Move the selection to apply the patch.", "J▭"},
        {1105, "Paint Bucket Tool (G)",
         "Click on desired image area to fill with foreground color.", "G"},
        {1107, "Gradient Tool (G)", "Click and drag to fill with gradient.", "G▤"},
        {1125, "Blur Tool (R)", "Click and drag to blur desired area.", "R"},
        {1126, "Sharpen Tool (R)", "Click and drag to sharpen desired area.", "R△"},
        {1115, "Lighten/Darken Tool (O)", "Click and drag to lighten or darken.", "O"},
        {1117, "Sponge Tool (O)", "Click and drag to adjust saturation.", "O◌"},
        {1039, "Text Tool (T)", "Click to input text.", "T"},
        {1041, "Curve Tool (p)", "Click and drag to draw curve.", "P"},
        {1080, "Eyedropper Tool (I)", "Click image to choose new foreground color.", "I"},
        {1122, "Measure Tool (I)", "Click and drag to create measure line.", "I┘"},
        {1025, "Hand Tool (H)", "Click and drag to scroll image in desired direction.", "H"},
        {1082, "Zoom Tool (Z)", "Click to enlarge or reduce.", "Z"},
        {1142, "Switch Foreground and Background Colors (X)", "", "X"},
        {1143, "Default Foreground and Background Colors (D)", "", "D"},
    };
    return buttons;
}

CToolsPalette::CToolsPalette(ToolController& tools, QWidget* parent)
    : QWidget(parent), m_tools(tools) {
    // The selected tool: its light icon on the selection colour.
    setStyleSheet(QString("QToolButton { border: 1px solid transparent; border-radius: 3px; }"
                          "QToolButton:hover { border-color: %1; }"
                          "QToolButton:checked { background-color: %1; border-color: %2; }")
                      .arg(kToolSelectedFill.name(), kToolSelectedFill.darker(130).name()));
    for (const ToolButtonSpec& spec : Buttons()) {
        auto* b = new QToolButton(this);
        b->setText(QString::fromUtf8(spec.label));
        b->setIcon(ToolIcon(spec.id));
        b->setIconSize(QSize(kIconSide, kIconSide));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setToolTip(QString::fromUtf8(spec.tooltip));
        b->setCheckable(spec.id != kSwapColors && spec.id != kDefaultColors);
        const int id = spec.id;
        connect(b, &QToolButton::clicked, this, [this, id] { OnButton(id); });
        m_buttons[spec.id] = b;
        m_order.push_back(b);
    }
    m_background = new ColorSwatch(tools.Colors(), false, this);
    m_foreground = new ColorSwatch(tools.Colors(), true, this);
    SetColumns(2);
    ShowTool(tools.CurrentTool());
}

void CToolsPalette::SetColumns(int columns) {
    if (columns == m_columns) return;
    m_columns = columns;
    for (size_t i = 0; i < m_order.size(); ++i)
        m_order[i]->setGeometry(4 + int(i) % columns * 41, 4 + int(i) / columns * 36, 39, 34);
    const int rows = (int(m_order.size()) + columns - 1) / columns;
    // The background swatch lies under the foreground one, below the buttons.
    const int top = 14 + rows * 36;
    m_foreground->setGeometry(12, top, 36, 36);
    m_background->setGeometry(36, top + 24, 36, 36);
    setFixedSize(6 + columns * 41, top + 98);
}

void CToolsPalette::OnButton(int id) {
    if (id == kSwapColors) {
        m_tools.Colors().Swap();
    } else if (id == kDefaultColors) {
        m_tools.Colors().Reset();
    } else {
        const bool wasCurrent = m_tools.CurrentTool() == id;
        // Refused while a tool is busy: the button falls back to the tool that stays.
        if (m_tools.SelectTool(id) && wasCurrent)
            if (const ToolInfo* info = FindTool(id)) m_tools.ShowStatus(info->hint);
    }
    ShowTool(m_tools.CurrentTool());
}

void CToolsPalette::ShowTool(int tool) {
    for (auto& [id, button] : m_buttons)
        if (button->isCheckable()) button->setChecked(id == tool);
}

int CToolsPalette::ShownTool() const {
    for (auto& [id, button] : m_buttons)
        if (button->isChecked()) return id;
    return 0;
}

void CToolsPalette::ShowColors() {
    m_foreground->update();
    m_background->update();
}

QWidget* CToolsPalette::Swatch(int id) const {
    return id == kForegroundSwatch   ? m_foreground
           : id == kBackgroundSwatch ? m_background
                                     : nullptr;
}

QToolButton* CToolsPalette::Button(int id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

}  // namespace zelvo
