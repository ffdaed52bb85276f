// The Tools palette (F4): the tool box with a button and tool-tip for every tool, the colour
// swap and reset buttons and the two colour swatches. Only the Hand tool can be chosen until
// the tools arrive.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <QWidget>

class QToolButton;

namespace zelvo {

struct ToolButtonSpec {
    int id;
    const char* tooltip;
    const char* hint;
    const char* label;
};

class CToolsPalette : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 88;
    static constexpr int kHeight = 580;
    static constexpr int kHandTool = 1025;
    static constexpr int kIconSide = 22;

    explicit CToolsPalette(QWidget* parent = nullptr);
    // Every tool-box button, in tool-box order.
    static const std::vector<ToolButtonSpec>& Buttons();
    QToolButton* Button(int id) const;
    int CurrentTool() const { return m_current; }

signals:
    // The status hint of the tool just selected.
    void toolHint(const QString& hint);

private:
    std::map<int, QToolButton*> m_buttons;
    int m_current = kHandTool;
};

}  // namespace zelvo
