#include "app/CLevelsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include "app/DialogFields.h"

namespace zelvo {

namespace {

constexpr int kBarsHeight = 80;
constexpr int kRampHeight = 10;

// The layer's histogram: 256 bars of at most 80 pixels above a grey ramp.
class Histogram : public QWidget {
public:
    Histogram(const std::array<int64_t, 256>& counts, QWidget* parent)
        : QWidget(parent), m_bars(HistogramBars(counts)) {
        setFixedSize(256 + 2 * CLevelsHandles::kMargin, kBarsHeight + kRampHeight + 4);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int x0 = CLevelsHandles::kMargin;
        p.fillRect(QRect(x0, 0, 256, kBarsHeight + 1), Qt::white);
        p.setPen(Qt::black);
        for (int v = 0; v < 256; ++v)
            if (m_bars[size_t(v)] > 0)
                p.drawLine(x0 + v, kBarsHeight, x0 + v, kBarsHeight + 1 - m_bars[size_t(v)]);
        for (int v = 0; v < 256; ++v) {
            p.setPen(QColor(v, v, v));
            p.drawLine(x0 + v, kBarsHeight + 3, x0 + v, kBarsHeight + 2 + kRampHeight);
        }
    }

private:
    std::array<int32_t, 256> m_bars;
};

}  // namespace

CLevelsHandles::CLevelsHandles(std::function<std::vector<int32_t>()> values,
                               std::function<int(int32_t)> pick,
                               std::function<void(int, int32_t)> move, QWidget* parent)
    : QWidget(parent),
      m_values(std::move(values)),
      m_pick(std::move(pick)),
      m_move(std::move(move)) {
    setFixedSize(sizeHint());
}

void CLevelsHandles::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const std::vector<int32_t> v = m_values();
    for (size_t i = 0; i < v.size(); ++i) {
        // The first handle is black, the last white, one between them grey.
        const int shade = i == 0 ? 0 : (i + 1 == v.size() ? 255 : 128);
        const int x = XOf(v[i]);
        QPolygon tri;
        tri << QPoint(x, 1) << QPoint(x - 5, 12) << QPoint(x + 5, 12);
        p.setPen(Qt::black);
        p.setBrush(QColor(shade, shade, shade));
        p.drawPolygon(tri);
    }
}

void CLevelsHandles::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int32_t level = std::clamp(int32_t(event->position().x()) - kMargin, 0, 255);
    m_dragging = m_pick(level);
    m_move(m_dragging, level);
    update();
}

void CLevelsHandles::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging < 0) return;
    m_move(m_dragging, std::clamp(int32_t(event->position().x()) - kMargin, 0, 255));
    update();
}

void CLevelsHandles::mouseReleaseEvent(QMouseEvent*) {
    m_dragging = -1;
}

CLevelsDialog::CLevelsDialog(CZelvoView& view, QWidget* parent)
    : CPreviewDialog(view, kPreviewLevels, "Levels", parent) {
    auto* layout = new QGridLayout(this);
    auto* channelRow = new QHBoxLayout;
    channelRow->addWidget(new QLabel("Channel:", this));
    m_channel = new QComboBox(this);
    m_channel->addItem("RGB");
    m_channel->setEnabled(false);
    channelRow->addWidget(m_channel);
    channelRow->addStretch();
    layout->addLayout(channelRow, 0, 0);

    auto* inRow = new QHBoxLayout;
    inRow->addWidget(new QLabel("Input Levels:", this));
    for (int i = 0; i < 3; ++i) {
        m_inEdits[i] = new QLineEdit(this);
        m_inEdits[i]->setMaximumWidth(48);
        inRow->addWidget(m_inEdits[i]);
    }
    inRow->addStretch();
    m_inEdits[1]->setReadOnly(true);
    layout->addLayout(inRow, 1, 0);
    m_histogram = new Histogram(Processor().Histogram(), this);
    layout->addWidget(m_histogram, 2, 0);
    m_inputHandles = new CLevelsHandles(
        [this] {
            return std::vector<int32_t>{m_input.Black(), m_input.Middle(), m_input.White()};
        },
        [this](int32_t x) { return int(m_input.Pick(x)); },
        [this](int h, int32_t x) {
            m_input.Move(LevelsInputSlider::Handle(h), x);
            Show();
            Changed(false);
        },
        this);
    layout->addWidget(m_inputHandles, 3, 0);

    auto* outRow = new QHBoxLayout;
    outRow->addWidget(new QLabel("Output Levels:", this));
    for (int i = 0; i < 2; ++i) {
        m_outEdits[i] = new QLineEdit(this);
        m_outEdits[i]->setMaximumWidth(48);
        outRow->addWidget(m_outEdits[i]);
    }
    outRow->addStretch();
    layout->addLayout(outRow, 4, 0);
    m_outputHandles = new CLevelsHandles(
        [this] {
            return std::vector<int32_t>{m_output.Black(), m_output.White()};
        },
        [this](int32_t x) { return m_output.Pick(x); },
        [this](int h, int32_t x) {
            m_output.Move(h, x);
            Show();
            Changed(false);
        },
        this);
    layout->addWidget(m_outputHandles, 5, 0);

    const int edits[2] = {LevelsInputSlider::kBlack, LevelsInputSlider::kWhite};
    for (int k = 0; k < 2; ++k) {
        const int handle = edits[k];
        connect(m_inEdits[handle], &QLineEdit::textEdited, this,
                [this, handle](const QString& t) { TypedInput(handle, t); });
        connect(m_outEdits[k], &QLineEdit::textEdited, this,
                [this, k](const QString& t) { TypedOutput(k, t); });
        // A number out of range, or one the handles' order held back, is not in use: once the
        // box is left it shows the value that is.
        connect(m_inEdits[handle], &QLineEdit::editingFinished, this, [this] { Show(); });
        connect(m_outEdits[k], &QLineEdit::editingFinished, this, [this] { Show(); });
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setOrientation(Qt::Vertical);
    layout->addWidget(buttons, 0, 1, 6, 1, Qt::AlignTop);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Show();
    Changed(false);
}

std::vector<int32_t> CLevelsDialog::Params() const {
    return {m_input.Black(), m_input.Middle(), m_input.White(), m_output.Black(), m_output.White()};
}

void CLevelsDialog::Show() {
    m_inEdits[0]->setText(QString::number(m_input.Black()));
    m_inEdits[1]->setText(QString::fromStdString(m_input.MiddleReading()));
    m_inEdits[2]->setText(QString::number(m_input.White()));
    m_outEdits[0]->setText(QString::number(m_output.Black()));
    m_outEdits[1]->setText(QString::number(m_output.White()));
    m_inputHandles->update();
    m_outputHandles->update();
}

void CLevelsDialog::TypedInput(int handle, const QString& text) {
    // A whole number within 0..255 moves the handle; the constraints may hold it back.
    const std::optional<int64_t> v = ParseIntegerText(text);
    if (!v || *v < 0 || *v > 255) return;
    m_input.Move(LevelsInputSlider::Handle(handle), int32_t(*v));
    m_inEdits[1]->setText(QString::fromStdString(m_input.MiddleReading()));
    m_inputHandles->update();
    Changed(false);
}

void CLevelsDialog::TypedOutput(int handle, const QString& text) {
    const std::optional<int64_t> v = ParseIntegerText(text);
    if (!v || *v < 0 || *v > 255) return;
    m_output.Move(handle, int32_t(*v));
    m_outputHandles->update();
    Changed(false);
}

}  // namespace zelvo
