// "Curves": a 180 x 180 graph with grey ramps along both axes, the curve and its anchors; a
// press within 20 pixels of an anchor picks it, one near a segment inserts an anchor there, and
// dragging moves it. "FreeLine" lets the user draw the curve by hand. "Input:" and "Output:"
// show the point under the mouse. Every change previews at once; OK applies only a changed
// curve.
#pragma once

#include <functional>

#include <QWidget>

#include "adjust/CurvesModel.h"
#include "app/CPreviewDialog.h"

class QCheckBox;
class QLabel;

namespace zelvo {

class CCurvesGraph : public QWidget {
public:
    static constexpr int kRamp = 10;  // the grey ramps left of and under the graph
    static constexpr int kGap = 2;
    CCurvesGraph(CurvesModel& model, std::function<void()> changed,
                 std::function<void(int32_t, int32_t)> hover, QWidget* parent);
    QSize sizeHint() const override;
    // The client position of graph point (x, y), both 1..180, and back.
    static QPoint ClientOf(int32_t x, int32_t y) { return {kRamp + kGap + x - 1, y - 1}; }
    static Point GraphOf(QPoint client) { return {client.x() - kRamp - kGap + 1, client.y() + 1}; }
    // The strokes drawn by hand since "FreeLine" was last switched, each point within the graph
    // (zelvo-batch's `adjust curves … free …` draws them again).
    const std::vector<std::vector<Point>>& Strokes() const { return m_strokes; }
    void ClearStrokes() { m_strokes.clear(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CurvesModel& m_model;
    std::function<void()> m_changed;
    std::function<void(int32_t, int32_t)> m_hover;
    int32_t m_dragging = -1;
    bool m_drawing = false;
    Point m_last{0, 0};
    std::vector<std::vector<Point>> m_strokes;
};

class CCurvesDialog : public CPreviewDialog {
    Q_OBJECT
public:
    CCurvesDialog(CZelvoView& view, QWidget* parent = nullptr);

    const CurvesModel& Model() const { return m_model; }
    CCurvesGraph* Graph() const { return m_graph; }
    QCheckBox* FreeLineBox() const { return m_freeLine; }
    QLabel* InputLabel() const { return m_inputText; }
    QLabel* OutputLabel() const { return m_outputText; }

    // The 256 transfer entries and whether the curve was changed.
    std::vector<int32_t> Params() const override;
    // The 256 transfer entries; false when the curve was not changed.
    bool Values(std::vector<int32_t>& values) const override;

private:
    void Hover(int32_t x, int32_t y);

    CurvesModel m_model;
    CCurvesGraph* m_graph;
    QCheckBox* m_freeLine;
    QLabel* m_inputText;
    QLabel* m_outputText;
};

}  // namespace zelvo
