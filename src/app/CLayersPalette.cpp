#include "app/CLayersPalette.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

#include "doc/Image.h"
#include "history/LayerOpacity.h"

namespace zelvo {

namespace {

const QColor kCurrentFill(10, 36, 106);

// The rows area: paints through the palette and passes its clicks on.
class LayerRowsWidget : public QWidget {
public:
    explicit LayerRowsWidget(CLayersPalette* palette) : QWidget(palette), m_palette(palette) {}

protected:
    void paintEvent(QPaintEvent*) override { m_palette->PaintRows(this); }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            m_palette->ClickRow(int(e->position().x()), int(e->position().y()), e->modifiers());
    }

private:
    CLayersPalette* m_palette;
};

bool InGroupOf(const Layer& current, const Layer& layer) {
    if (current.LinkCount() <= 0) return false;
    const int n = std::min<int>(current.LinkCount(), Layer::kMaxLinks);
    for (int i = 0; i < n; ++i)
        if (current.LinkIds()[size_t(i)] == layer.Id()) return true;
    return false;
}

}  // namespace

CLayersPalette::CLayersPalette(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    m_rows = new LayerRowsWidget(this);
    m_rows->setGeometry(0, 0, kRowWidth, kRowHeight * kVisibleRows);
    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setGeometry(kRowWidth + 2, 0, 16, kRowHeight * kVisibleRows);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, 100);
    m_slider->setGeometry(0, 154, 140, 20);
    m_slider->setToolTip(kOpacityTooltip);
    m_edit = new QLineEdit(this);
    m_edit->setGeometry(144, 154, 52, 20);
    m_edit->setToolTip(kOpacityTooltip);
    m_new = new QPushButton("New Layer", this);
    m_delete = new QPushButton("Delete Layer", this);
    m_up = new QPushButton("Up", this);
    m_down = new QPushButton("Down", this);
    m_new->setGeometry(0, 177, 56, 22);
    m_delete->setGeometry(56, 177, 64, 22);
    m_up->setGeometry(120, 177, 40, 22);
    m_down->setGeometry(160, 177, 40, 22);
    for (QPushButton* b : {m_new, m_delete, m_up, m_down}) {
        QFont f = b->font();
        f.setPointSize(7);
        b->setFont(f);
        // The stack operations come with the layer operations.
        b->setEnabled(false);
    }

    connect(m_scroll, &QScrollBar::valueChanged, m_rows, [this] { m_rows->update(); });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int v) { ApplyOpacity(v, false); });
    connect(m_slider, &QSlider::sliderReleased, this, [this] { ApplyOpacity(m_slider->value(), true); });
    connect(m_slider, &QSlider::valueChanged, this, [this](int v) {
        // Keys and page clicks move without a drag: each is final.
        if (!m_refreshing && !m_slider->isSliderDown()) ApplyOpacity(v, true);
    });
    connect(m_edit, &QLineEdit::editingFinished, this, [this] {
        const QString text = m_edit->text().trimmed();
        // Read as a leading whole number; 0 only counts when the text begins with "0".
        int i = 0;
        while (i < text.size() && text[i].isDigit()) ++i;
        const int v = i > 0 && i <= 4 ? text.left(i).toInt() : 0;
        if ((v == 0 && !text.startsWith('0')) || v < 0 || v > 100 || v == m_slider->value()) {
            ShowOpacity();
            return;
        }
        ApplyOpacity(v, true);
    });
    Refresh();
}

CLayersPalette::~CLayersPalette() = default;

void CLayersPalette::SetDocument(Image* image) {
    if (image == m_image) return;
    m_image = image;
    m_opacity = image ? std::make_unique<LayerOpacityControl>(image->History()) : nullptr;
    m_scroll->setValue(0);
    Refresh();
}

void CLayersPalette::Refresh() {
    const int n = m_image && m_image->IsReady() ? m_image->Layers().LayerCount() : 0;
    m_refreshing = true;
    m_scroll->setRange(0, std::max(0, n - kVisibleRows));
    m_scroll->setPageStep(kVisibleRows);
    m_scroll->setEnabled(n > kVisibleRows);
    m_refreshing = false;
    m_slider->setEnabled(n > 0);
    m_edit->setEnabled(n > 0);
    ShowOpacity();
    m_rows->update();
}

void CLayersPalette::ShowOpacity() {
    if (m_slider->isSliderDown()) return;
    int opacity = 100;
    if (m_image && m_image->IsReady())
        if (LayerPtr current = m_image->Layers().CurrentLayer()) opacity = current->Opacity();
    m_refreshing = true;
    m_slider->setValue(opacity);
    if (!m_edit->hasFocus()) m_edit->setText(QString::asprintf("%d%%", opacity));
    m_refreshing = false;
}

void CLayersPalette::ApplyOpacity(int value, bool final) {
    if (!m_opacity || !m_image || !m_image->IsReady()) return;
    m_opacity->SetLayerOpacity(value, final ? 1 : 0);
    m_image->RequestRender(1);
    m_refreshing = true;
    m_edit->setText(QString::asprintf("%d%%", value));
    if (!m_slider->isSliderDown()) m_slider->setValue(value);
    m_refreshing = false;
}

int CLayersPalette::LayerIndexOfRow(int row) const {
    if (!m_image || !m_image->IsReady() || row < 0) return -1;
    const int n = m_image->Layers().LayerCount();
    const int index = n - 1 - (row + m_scroll->value());
    return index >= 0 && index < n ? index : -1;
}

void CLayersPalette::ClickRow(int x, int y, Qt::KeyboardModifiers) {
    if (y < 0) return;
    const int index = LayerIndexOfRow(y / kRowHeight);
    if (index < 0) return;
    LayerManager& layers = m_image->Layers();
    if (x < 40) {
        // Visibility is no history step; the composite is rebuilt.
        layers.LayerAt(index)->ToggleVisible();
        m_image->RequestRender(1);
    } else if (x < 60) {
        // Linking arrives with the layer operations.
        return;
    } else {
        layers.SelectLayerByIndex(index + 1);
        m_image->RequestRender(2);
    }
    Refresh();
}

void CLayersPalette::PaintRows(QWidget* target) {
    QPainter p(target);
    p.fillRect(target->rect(), Qt::white);
    if (!m_image || !m_image->IsReady()) return;
    LayerManager& layers = m_image->Layers();
    LayerPtr current = layers.CurrentLayer();
    for (int row = 0; row < kVisibleRows + 1; ++row) {
        const int index = LayerIndexOfRow(row);
        if (index < 0) break;
        const LayerPtr layer = layers.LayerAt(index);
        const QRect r(0, row * kRowHeight, kRowWidth, kRowHeight);
        const bool isCurrent = layer == current;
        p.setPen(Qt::gray);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(Qt::black);
        p.drawText(QRect(r.left() + 3, r.top(), 37, kRowHeight), Qt::AlignVCenter,
                   layer->IsVisible() ? "Show" : "Hide");
        if (current && InGroupOf(*current, *layer)) {
            p.drawEllipse(QPoint(r.left() + 46, r.center().y()), 4, 4);
            p.drawEllipse(QPoint(r.left() + 54, r.center().y()), 4, 4);
        }
        const QRect name(r.left() + 60, r.top(), kRowWidth - 60, kRowHeight);
        if (isCurrent) {
            p.fillRect(name, kCurrentFill);
            p.setPen(Qt::white);
        }
        p.drawText(name.adjusted(4, 0, 0, 0), Qt::AlignVCenter, LayerKindName(layer->Kind()));
    }
}

}  // namespace zelvo
