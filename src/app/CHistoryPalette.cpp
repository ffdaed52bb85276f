#include "app/CHistoryPalette.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

#include "app/ToolIcons.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

namespace {

QColor ToQColor(ColorRef c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

class HistoryListWidget : public QWidget {
public:
    explicit HistoryListWidget(CHistoryPalette* palette) : QWidget(palette), m_palette(palette) {}

protected:
    void paintEvent(QPaintEvent*) override { m_palette->PaintList(this); }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) m_palette->ClickList(int(e->position().y()));
    }
    // The wheel over the rows scrolls them as over their scroll bar.
    void wheelEvent(QWheelEvent* e) override {
        QCoreApplication::sendEvent(m_palette->ScrollBar(), e);
    }

private:
    CHistoryPalette* m_palette;
};

}  // namespace

CHistoryPalette::CHistoryPalette(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    m_list = new HistoryListWidget(this);
    m_list->setGeometry(0, 0, HistoryPalette::kRowWidth, HistoryPalette::kListHeight);
    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setGeometry(HistoryPalette::kRowWidth + 2, 0, 16, HistoryPalette::kListHeight);
    m_scroll->setSingleStep(HistoryPalette::kLineStep);
    m_scroll->setPageStep(HistoryPalette::kPageStep);
    const Rect b = HistoryPalette::kDeleteButton;
    m_delete = new QPushButton(HistoryPalette::kDeleteCaption, this);
    m_delete->setGeometry(b.left, b.top, b.Width(), b.Height());
    m_delete->setToolTip(HistoryPalette::kDeleteTooltip);
    m_delete->setIcon(PaletteIcon("history-delete"));
    m_delete->setIconSize(QSize(12, 12));
    // The caption beside its icon within the button's fixed width.
    QFont small = m_delete->font();
    small.setPointSize(7);
    m_delete->setFont(small);
    m_delete->setStyleSheet("QPushButton { padding: 0px 1px; }");
    connect(m_delete, &QPushButton::clicked, this, [this] { DeleteCurrent(); });
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int v) {
        if (m_refreshing || !m_image) return;
        m_image->History().SetScrollOffset(v);
        m_list->update();
    });
    Refresh();
}

void CHistoryPalette::SetDocument(Image* image) {
    if (image == m_image) return;
    m_image = image;
    Refresh();
}

void CHistoryPalette::Refresh() {
    m_refreshing = true;
    const bool ready = m_image && m_image->IsReady();
    const HistoryPalette::ScrollRange range =
        ready ? HistoryPalette::Scroll(m_image->History()) : HistoryPalette::ScrollRange{};
    if (range.enabled) {
        // The last position still shows a full page, as with a page of 75 pixels.
        m_scroll->setRange(range.minimum, std::max(range.minimum, range.maximum - range.page + 1));
        m_scroll->setValue(m_image->History().ScrollOffset());
    } else {
        m_scroll->setRange(0, 0);
    }
    m_scroll->setEnabled(range.enabled);
    m_delete->setEnabled(ready);
    m_refreshing = false;
    m_list->update();
}

void CHistoryPalette::ClickList(int y) {
    if (!m_image || !m_image->IsReady()) return;
    HistoryManager& history = m_image->History();
    if (history.Host().ToolBusy()) return;
    int clicked;
    {
        HoldRender hold(m_image->ViewState());
        clicked = HistoryPalette::Click(history, y);
    }
    if (clicked >= 0) m_image->RequestRender(1);
    Refresh();
}

void CHistoryPalette::DeleteCurrent() {
    if (!m_image || !m_image->IsReady()) return;
    bool deleted;
    {
        HoldRender hold(m_image->ViewState());
        deleted = m_image->History().DeleteCurrentState();
    }
    if (deleted) m_image->RequestRender(1);
    Refresh();
}

void CHistoryPalette::PaintList(QWidget* target) {
    QPainter p(target);
    p.fillRect(target->rect(), Qt::white);
    if (!m_image || !m_image->IsReady()) return;
    const HistoryManager& history = m_image->History();
    const int shown = HistoryPalette::ShownRow(history);
    for (int row = 0; row < HistoryPalette::RowCount(history); ++row) {
        const Rect r = HistoryPalette::RowRect(history, row);
        if (r.bottom <= 0 || r.top >= HistoryPalette::kListHeight) continue;
        const QRect q(r.left, r.top, r.Width(), r.Height());
        if (row == shown) {
            p.fillRect(q, ToQColor(HistoryPalette::kShownFill));
            p.setPen(ToQColor(HistoryPalette::kShownText));
        } else {
            p.setPen(Qt::black);
            p.drawRect(q.adjusted(0, 0, -1, -1));
            p.setPen(ToQColor(HistoryPalette::kPlainText));
        }
        p.drawText(q.adjusted(HistoryPalette::kTextLeft, HistoryPalette::kTextTop, 0, 0),
                   Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(HistoryPalette::RowText(history, row)));
    }
}

}  // namespace zelvo
