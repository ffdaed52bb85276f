#include "app/CColorPalette.h"

#include <QColorDialog>
#include <QMouseEvent>
#include <QPainter>

#include "tools/ColorPair.h"

namespace zelvo {

namespace {
QColor ToQColor(ColorRef c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}
ColorRef FromQColor(const QColor& c) {
    return Rgb(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}
}  // namespace

std::optional<ColorRef> ChooseColor(QWidget* parent, ColorRef old, bool foreground) {
    const QColor chosen = QColorDialog::getColor(
        ToQColor(old), parent, foreground ? "Foreground Color" : "Background Color");
    if (!chosen.isValid()) return std::nullopt;
    return FromQColor(chosen);
}

CColorPalette::CColorPalette(ColorPair& colors, QWidget* parent)
    : QWidget(parent), m_colors(colors) {
    setFixedSize(kWidth, kHeight);
    setToolTip("Click a colour to change it");
}

ColorRef CColorPalette::Foreground() const {
    return m_colors.Foreground();
}

ColorRef CColorPalette::Background() const {
    return m_colors.Background();
}

void CColorPalette::SetColors(ColorRef foreground, ColorRef background) {
    // Whoever shows the pair hears of the change from the pair itself.
    if (foreground != m_colors.Foreground()) m_colors.SetForeground(foreground);
    if (background != m_colors.Background()) m_colors.SetBackground(background);
}

void CColorPalette::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // The background swatch lies under the foreground one.
    for (auto [r, c] :
         {std::pair{BackgroundRect(), Background()}, std::pair{ForegroundRect(), Foreground()}}) {
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
    const auto chosen = ChooseColor(this, foreground ? Foreground() : Background(), foreground);
    if (!chosen) return;
    if (foreground)
        m_colors.SetForeground(*chosen);
    else
        m_colors.SetBackground(*chosen);
}

}  // namespace zelvo
