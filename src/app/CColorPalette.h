// The Color palette (F7): the two swatches of the colour pair; a click on one opens the colour
// chooser for it.
#pragma once

#include <QWidget>

#include "core/Types.h"

namespace zelvo {

class CColorPalette : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 150;
    static constexpr QRect ForegroundRect() { return QRect(20, 20, 48, 48); }
    static constexpr QRect BackgroundRect() { return QRect(44, 44, 48, 48); }

    explicit CColorPalette(QWidget* parent = nullptr);
    ColorRef Foreground() const { return m_foreground; }
    ColorRef Background() const { return m_background; }
    void SetColors(ColorRef foreground, ColorRef background);

signals:
    void colorsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    ColorRef m_foreground = Rgb(0, 0, 0);
    ColorRef m_background = Rgb(255, 255, 255);
};

}  // namespace zelvo
