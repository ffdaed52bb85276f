#include "app/CColorPalette.h"

#include <QColorDialog>
#include <QMouseEvent>
#include <QPainter>

namespace zelvo {

namespace {
QColor ToQColor(ColorRef c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}
ColorRef FromQColor(const QColor& c) {
    return Rgb(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}
}  // namespace

CColorPalette::CColorPalette(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    setToolTip("Click a colour to change it");
}

void CColorPalette::SetColors(ColorRef foreground, ColorRef background) {
    m_foreground = foreground;
    m_background = background;
    update();
    emit colorsChanged();
}

void CColorPalette::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // The background swatch lies under the foreground one.
    for (auto [r, c] :
         {std::pair{BackgroundRect(), m_background}, std::pair{ForegroundRect(), m_foreground}}) {
        p.fillRect(r, ToQColor(c));
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(Qt::white);
        p.drawRect(r.adjusted(1, 1, -2, -2));
    }
}

void CColorPalette::mousePressEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    const bool foreground = ForegroundRect().contains(at);
    if (!foreground && !BackgroundRect().contains(at)) return;
    const ColorRef old = foreground ? m_foreground : m_background;
    const QColor chosen = QColorDialog::getColor(
        ToQColor(old), this, foreground ? "Foreground Color" : "Background Color");
    if (!chosen.isValid()) return;
    if (foreground)
        SetColors(FromQColor(chosen), m_background);
    else
        SetColors(m_foreground, FromQColor(chosen));
}

}  // namespace zelvo
