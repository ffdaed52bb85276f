// The models behind the adjustment and filter dialogs' slider-and-edit pairs: ranges,
// defaults, the numbers the edits show, typed values (a value outside the range is ignored),
// wheel and arrow steps, and the delayed preview of the slow dialogs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvo {

struct SliderSpec {
    std::string caption;
    int32_t min = 0, max = 100, initial = 0;
    int32_t shownOffset = 0;  // the edit shows slider + shownOffset
    bool blurScale = false;   // the Blur slider's own edit text
};

class SliderEdit {
public:
    explicit SliderEdit(SliderSpec spec) : m_spec(std::move(spec)), m_value(m_spec.initial) {}
    int32_t Value() const { return m_value; }
    const SliderSpec& Spec() const { return m_spec; }
    // The edit's text for the slider's value.
    std::string Text() const;
    // A typed text: a whole number in the shown range (Blur: 0.1..10.0 in tenths, or
    // 11..100) moves the slider and returns true; anything else is ignored.
    bool Type(const std::string& text);
    // The slider moved (clamped to its range).
    void Slide(int32_t value);
    // Mouse wheel or up/down keys: `steps` slider steps.
    void Step(int32_t steps) { Slide(m_value + steps); }

private:
    SliderSpec m_spec;
    int32_t m_value;
};

// The sliders of each dialog, in their order.
std::vector<SliderSpec> BrightnessContrastSliders();
std::vector<SliderSpec> SaturationSliders();
std::vector<SliderSpec> ColorBalanceSliders();
std::vector<SliderSpec> ShadowHighlightSliders();
std::vector<SliderSpec> BlurSliders();
std::vector<SliderSpec> SharpenSliders();
std::vector<SliderSpec> AddNoiseSliders();
std::vector<SliderSpec> MosaicSliders();

// The delayed preview: a 100 ms timer ticks while the dialog is open; the preview runs on the
// first tick that comes more than 100 ms after the last change.
class PreviewDelay {
public:
    void Changed(int64_t nowMs) {
        m_last = nowMs;
        m_pending = true;
    }
    bool Tick(int64_t nowMs) {
        if (!m_pending || nowMs - m_last <= 100) return false;
        m_pending = false;
        return true;
    }

private:
    int64_t m_last = 0;
    bool m_pending = false;
};

}  // namespace zelvo
