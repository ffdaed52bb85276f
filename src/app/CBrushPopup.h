// The brush pop-up of the brush-driven tools' right button: "Diameter:" and "Hardness:" (shared
// by those tools) and "Opacity:" of the current tool, each a number box over a slider, in a
// small window at the pointer, kept on the screen. The controls set the options model and
// follow it while the pop-up is open (the "[" and "]" keys, the options bar).
#pragma once

#include <string>
#include <vector>

#include <QFrame>

class QSlider;
class QSpinBox;

namespace zelvo {

class ToolController;

class CBrushPopup : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 170;
    static constexpr int kHeight = 200;

    CBrushPopup(ToolController& tools, QWidget* parent = nullptr);
    // At `global`, moved left and up by its own size where it would leave the screen.
    void ShowAt(const QPoint& global);
    // The model's value of `key` on `tool`'s page changed (0: a shared value).
    void ModelChanged(int tool, const std::string& key);

private:
    struct Row {
        const char* key;
        int tool;  // the page the value belongs to (0: shared)
        QSpinBox* spin;
        QSlider* slider;
    };
    void Add(const char* caption, const char* key, int tool, int min, int max, int top);
    void Show(const Row& row);

    ToolController& m_tools;
    std::vector<Row> m_rows;
};

}  // namespace zelvo
