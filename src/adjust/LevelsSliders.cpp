#include "adjust/LevelsSliders.h"

#include <algorithm>
#include <cstdlib>

namespace zelvo {

LevelsInputSlider::Handle LevelsInputSlider::Pick(int32_t x) const {
    const int32_t db = std::abs(x - m_black), dm = std::abs(x - m_middle),
                  dw = std::abs(x - m_white);
    if (dm < db && dm < dw) return kMiddle;
    return dw < db ? kWhite : kBlack;
}

void LevelsInputSlider::PlaceMiddle() {
    m_middle =
        std::clamp(m_black + int32_t(m_fraction * (m_white - m_black)), m_black + 1, m_white - 1);
}

void LevelsInputSlider::Move(Handle h, int32_t x) {
    x = std::clamp(x, 0, 255);
    switch (h) {
        case kBlack:
            m_black = std::min(x, m_white - 2);
            PlaceMiddle();
            break;
        case kWhite:
            m_white = std::max(x, m_black + 2);
            PlaceMiddle();
            break;
        case kMiddle:
            m_middle = std::clamp(x, m_black + 1, m_white - 1);
            m_fraction = double(m_middle - m_black) / (m_white - m_black);
            break;
    }
}

int LevelsOutputSlider::Pick(int32_t x) const {
    return std::abs(x - m_white) < std::abs(x - m_black) ? 1 : 0;
}

void LevelsOutputSlider::Move(int handle, int32_t x) {
    (handle == 0 ? m_black : m_white) = std::clamp(x, 0, 255);
}

}  // namespace zelvo
