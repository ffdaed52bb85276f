// The Color palette (F7): the two swatches of the tool controller's colour pair; a click on one
// opens the colour chooser for it. The pair is the only place the colours live: the palette
// draws from it and writes to it.
#pragma once

#include <optional>

#include <QWidget>

#include "core/Types.h"

namespace zelvo {

class ColorPair;

// The colour chooser on `old`, captioned for the foreground or the background colour;
// nullopt when the user cancelled.
std::optional<ColorRef> ChooseColor(QWidget* parent, ColorRef old, bool foreground);

class CColorPalette : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 150;
    static constexpr QRect ForegroundRect() { return QRect(20, 20, 48, 48); }
    static constexpr QRect BackgroundRect() { return QRect(44, 44, 48, 48); }

    explicit CColorPalette(ColorPair& colors, QWidget* parent = nullptr);
    ColorRef Foreground() const;
    ColorRef Background() const;
    void SetColors(ColorRef foreground, ColorRef background);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    ColorPair& m_colors;
};

}  // namespace zelvo
