#include "adjust/AdjustDialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/Messages.h"

namespace zelvo {

std::string SliderEdit::Text() const {
    if (m_spec.blurScale)
        return m_value <= 10 ? Format("%0.1f", m_value * 0.1) : Format("%d", m_value - 10);
    return Format("%d", m_value + m_spec.shownOffset);
}

bool SliderEdit::Type(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    if (m_spec.blurScale) {
        // Read as the box shows it: tenths up to "1.0", whole radii from "1" (a fraction
        // above 1 goes to the nearest radius).
        const double v = std::strtod(text.c_str(), &end);
        if (*end != '\0' || !(v >= 0.1 - 1e-9 && v <= 100 + 1e-9)) return false;
        const bool tenths = v < 1 - 1e-9 || (v <= 1 + 1e-9 && text.find('.') != std::string::npos);
        m_value = tenths ? std::clamp(int32_t(std::lround(v * 10)), 1, 10)
                         : std::clamp(int32_t(std::lround(v)), 1, 100) + 10;
        return true;
    }
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0') return false;
    const long slider = v - m_spec.shownOffset;
    if (slider < m_spec.min || slider > m_spec.max) return false;
    m_value = int32_t(slider);
    return true;
}

void SliderEdit::Slide(int32_t value) {
    m_value = std::clamp(value, m_spec.min, m_spec.max);
}

std::vector<SliderSpec> BrightnessContrastSliders() {
    return {{"Brightness:", 0, 200, 100, -100}, {"Contrast:", 0, 200, 100, -100}};
}
std::vector<SliderSpec> SaturationSliders() {
    return {{"Saturation:", 0, 200, 100, -100}};
}
std::vector<SliderSpec> ColorBalanceSliders() {
    return {{"Cyan-Red", 0, 200, 100, -100},
            {"Magenta-Green", 0, 200, 100, -100},
            {"Yellow-Blue", 0, 200, 100, -100}};
}
std::vector<SliderSpec> ShadowHighlightSliders() {
    return {{"Shadows:", 0, 100, 50}, {"Highlights:", 0, 100, 0}, {"Radius:", 1, 256, 30}};
}
std::vector<SliderSpec> BlurSliders() {
    return {{"Blur:", 1, 110, 1, 0, true}};
}
std::vector<SliderSpec> SharpenSliders() {
    return {{"Amount:", 1, 100, 50}, {"Radius:", 1, 100, 1}};
}
std::vector<SliderSpec> AddNoiseSliders() {
    return {{"Amount:", 0, 100, 0}};
}
std::vector<SliderSpec> MosaicSliders() {
    return {{"Cell Size:", 2, 200, 2}};
}

}  // namespace zelvo
