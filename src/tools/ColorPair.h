// The foreground and background colours the tools paint with (0x00BBGGRR), with the swap (X)
// and reset (D) of the tool box. Whoever shows the pair listens to `onChange`.
#pragma once

#include <functional>

#include "core/Types.h"

namespace zelvo {

class ColorPair {
public:
    static constexpr ColorRef kDefaultForeground = Rgb(0, 0, 0);
    static constexpr ColorRef kDefaultBackground = Rgb(255, 255, 255);

    ColorRef Foreground() const { return m_foreground; }
    ColorRef Background() const { return m_background; }
    void SetForeground(ColorRef color);
    void SetBackground(ColorRef color);
    void Swap();
    void Reset();

    std::function<void()> onChange;

private:
    void Changed();

    ColorRef m_foreground = kDefaultForeground;
    ColorRef m_background = kDefaultBackground;
};

}  // namespace zelvo
