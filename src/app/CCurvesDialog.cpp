#include "app/CCurvesDialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace zelvo {

namespace {

constexpr int32_t kN = CurvesModel::kSize;

// Levels under a graph point: input from x, output from y (y = 1 is 255).
int32_t InputOf(int32_t x) {
    return (x - 1) * 255 / (kN - 1);
}
int32_t OutputOf(int32_t y) {
    return 255 - (y - 1) * 255 / (kN - 1);
}

Point Inside(Point p) {
    return {std::clamp(p.x, 1, kN), std::clamp(p.y, 1, kN)};
}

}  // namespace

CCurvesGraph::CCurvesGraph(CurvesModel& model, std::function<void()> changed,
                           std::function<void(int32_t, int32_t)> hover, QWidget* parent)
    : QWidget(parent), m_model(model), m_changed(std::move(changed)), m_hover(std::move(hover)) {
    setFixedSize(sizeHint());
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

QSize CCurvesGraph::sizeHint() const {
    return {kRamp + kGap + kN, kN + kGap + kRamp};
}

void CCurvesGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPoint origin = ClientOf(1, 1);
    // Output ramp on the left (white at the top), input ramp underneath (black at the left).
    for (int32_t i = 1; i <= kN; ++i) {
        const int out = OutputOf(i), in = InputOf(i);
        p.setPen(QColor(out, out, out));
        p.drawLine(0, i - 1, kRamp - 1, i - 1);
        p.setPen(QColor(in, in, in));
        const int x = ClientOf(i, 1).x();
        p.drawLine(x, kN + kGap, x, kN + kGap + kRamp - 1);
    }
    p.fillRect(QRect(origin, QSize(kN, kN)), Qt::white);
    p.setPen(QColor(200, 200, 200));
    for (int k = 1; k < 4; ++k) {
        const int at = k * kN / 4;
        p.drawLine(origin.x() + at, origin.y(), origin.x() + at, origin.y() + kN - 1);
        p.drawLine(origin.x(), origin.y() + at, origin.x() + kN - 1, origin.y() + at);
    }
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(origin, QSize(kN - 1, kN - 1)));
    const auto& samples = m_model.Samples();
    QPolygon line;
    for (int32_t x = 1; x <= kN; ++x) line << ClientOf(x, samples[size_t(x - 1)]);
    p.drawPolyline(line);
    if (!m_model.FreeLine())
        for (const Point& a : m_model.Anchors()) {
            const QPoint c = ClientOf(a.x, a.y);
            p.fillRect(QRect(c.x() - 2, c.y() - 2, 5, 5), Qt::black);
        }
}

void CCurvesGraph::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Point g = GraphOf(event->position().toPoint());
    if (m_model.FreeLine()) {
        m_drawing = true;
        m_last = Inside(g);
        m_strokes.push_back({m_last});
        m_model.DrawFree(m_last.x, m_last.y, m_last.x, m_last.y);
    } else {
        m_dragging = m_model.Press(g.x, g.y);
        if (m_dragging < 0) return;
    }
    update();
    m_changed();
}

void CCurvesGraph::mouseMoveEvent(QMouseEvent* event) {
    const Point g = GraphOf(event->position().toPoint());
    if (g.x >= 1 && g.x <= kN && g.y >= 1 && g.y <= kN) m_hover(g.x, g.y);
    if (m_drawing) {
        const Point to = Inside(g);
        m_model.DrawFree(m_last.x, m_last.y, to.x, to.y);
        m_strokes.back().push_back(to);
        m_last = to;
    } else if (m_dragging >= 0) {
        m_model.Drag(m_dragging, g.x, g.y);
    } else {
        return;
    }
    update();
    m_changed();
}

void CCurvesGraph::mouseReleaseEvent(QMouseEvent*) {
    m_dragging = -1;
    m_drawing = false;
}

CCurvesDialog::CCurvesDialog(CZelvoView& view, QWidget* parent)
    : CPreviewDialog(view, kPreviewCurves, "Curves", parent) {
    auto* layout = new QGridLayout(this);
    m_graph = new CCurvesGraph(
        m_model, [this] { Changed(false); }, [this](int32_t x, int32_t y) { Hover(x, y); }, this);
    layout->addWidget(m_graph, 0, 0, 1, 2);
    m_inputText = new QLabel(this);
    m_outputText = new QLabel(this);
    auto* numbers = new QHBoxLayout;
    numbers->addWidget(new QLabel("Input:", this));
    numbers->addWidget(m_inputText);
    numbers->addSpacing(12);
    numbers->addWidget(new QLabel("Output:", this));
    numbers->addWidget(m_outputText);
    numbers->addStretch();
    layout->addLayout(numbers, 1, 0, 1, 2);
    m_freeLine = new QCheckBox("FreeLine", this);
    layout->addWidget(m_freeLine, 2, 0);
    connect(m_freeLine, &QCheckBox::toggled, this, [this](bool on) {
        m_model.SetFreeLine(on);
        m_graph->ClearStrokes();
        m_graph->update();
        Changed(false);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setOrientation(Qt::Vertical);
    layout->addWidget(buttons, 0, 2, 3, 1, Qt::AlignTop);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Changed(false);
}

std::vector<int32_t> CCurvesDialog::Params() const {
    const Table256 t = m_model.TransferTable();
    std::vector<int32_t> p(t.begin(), t.end());
    p.push_back(m_model.Changed() ? 1 : 0);
    return p;
}

bool CCurvesDialog::Values(std::vector<int32_t>& values) const {
    values = Params();
    values.pop_back();
    return m_model.Changed();
}

void CCurvesDialog::Hover(int32_t x, int32_t y) {
    m_inputText->setText(QString::number(InputOf(x)));
    m_outputText->setText(QString::number(OutputOf(y)));
}

}  // namespace zelvo
