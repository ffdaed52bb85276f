#include "tools/ColorPair.h"

#include <utility>

namespace zelvo {

void ColorPair::SetForeground(ColorRef color) {
    m_foreground = color & 0xFFFFFF;
    Changed();
}

void ColorPair::SetBackground(ColorRef color) {
    m_background = color & 0xFFFFFF;
    Changed();
}

void ColorPair::Swap() {
    std::swap(m_foreground, m_background);
    Changed();
}

void ColorPair::Reset() {
    m_foreground = kDefaultForeground;
    m_background = kDefaultBackground;
    Changed();
}

void ColorPair::Changed() {
    if (onChange) onChange();
}

}  // namespace zelvo
