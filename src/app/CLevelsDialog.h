// "Levels": the layer's histogram of 256 bars above a grey ramp, the channel box fixed to its
// first entry, "Input Levels:" with the black, middle (shown as a gamma-like reading such as
// "1.00") and white numbers over a three-handle slider, and "Output Levels:" with two numbers
// over a two-handle slider. Every move previews at once.
#pragma once

#include <functional>

#include <QWidget>

#include "adjust/LevelsSliders.h"
#include "app/CPreviewDialog.h"

class QComboBox;
class QLineEdit;

namespace zelvo {

// A bar of level handles over 0..255 (one pixel per level): black, grey and white triangles.
class CLevelsHandles : public QWidget {
public:
    static constexpr int kMargin = 6;
    // `values` gives the handles' levels, left to right; `pick` the handle a press at a level
    // takes; `move` moves that handle to a level.
    CLevelsHandles(std::function<std::vector<int32_t>()> values, std::function<int(int32_t)> pick,
                   std::function<void(int, int32_t)> move, QWidget* parent);
    QSize sizeHint() const override { return {256 + 2 * kMargin, 14}; }
    // The client x of a level.
    static int XOf(int32_t level) { return kMargin + level; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<std::vector<int32_t>()> m_values;
    std::function<int(int32_t)> m_pick;
    std::function<void(int, int32_t)> m_move;
    int m_dragging = -1;
};

class CLevelsDialog : public CPreviewDialog {
    Q_OBJECT
public:
    CLevelsDialog(CZelvoView& view, QWidget* parent = nullptr);

    const LevelsInputSlider& Input() const { return m_input; }
    const LevelsOutputSlider& Output() const { return m_output; }
    CLevelsHandles* InputHandles() const { return m_inputHandles; }
    CLevelsHandles* OutputHandles() const { return m_outputHandles; }
    QWidget* HistogramView() const { return m_histogram; }
    QComboBox* ChannelBox() const { return m_channel; }
    // Input black, middle (the reading), white; output black, white.
    QLineEdit* InputEdit(int i) const { return m_inEdits[i]; }
    QLineEdit* OutputEdit(int i) const { return m_outEdits[i]; }

    std::vector<int32_t> Params() const override;

private:
    void Show();
    void TypedInput(int handle, const QString& text);
    void TypedOutput(int handle, const QString& text);

    LevelsInputSlider m_input;
    LevelsOutputSlider m_output;
    QWidget* m_histogram;
    QComboBox* m_channel;
    CLevelsHandles* m_inputHandles;
    CLevelsHandles* m_outputHandles;
    QLineEdit* m_inEdits[3];
    QLineEdit* m_outEdits[2];
};

}  // namespace zelvo
