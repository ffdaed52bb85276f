// The brush pop-up of the brush-driven tools' right button: the shared "Diameter:" and
// "Hardness:" controls in a small window at the pointer, kept on the screen.
#pragma once

#include <QFrame>

class QSlider;
class QSpinBox;

namespace zelvo {

class ToolController;

class CBrushPopup : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 170;
    static constexpr int kHeight = 180;

    CBrushPopup(ToolController& tools, QWidget* parent = nullptr);
    // At `global`, moved left and up by its own size where it would leave the screen.
    void ShowAt(const QPoint& global);

private:
    void Add(const char* caption, const char* key, int min, int max, int top);

    ToolController& m_tools;
};

}  // namespace zelvo
