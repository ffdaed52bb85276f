// The Levels dialog's two sliders: three input handles (black, middle, white) where the middle
// keeps its fraction of the way between the others, and two free output handles.
#pragma once

#include <cstdint>
#include <string>

#include "adjust/Adjustments.h"

namespace zelvo {

class LevelsInputSlider {
public:
    enum Handle { kBlack = 0, kMiddle = 1, kWhite = 2 };
    // The handle a click at `x` picks: the middle only when strictly nearer than both others,
    // else the strictly nearer of black and white, black on a tie.
    Handle Pick(int32_t x) const;
    // Moves a handle to `x` within 0..255 and the constraints; black or white carry the middle
    // along at its fraction, the middle sets the fraction anew.
    void Move(Handle h, int32_t x);
    int32_t Black() const { return m_black; }
    int32_t Middle() const { return m_middle; }
    int32_t White() const { return m_white; }
    double Fraction() const { return m_fraction; }
    std::string MiddleReading() const { return LevelsMiddleReading(m_black, m_middle, m_white); }

private:
    void PlaceMiddle();
    int32_t m_black = 0, m_middle = 127, m_white = 255;
    double m_fraction = 0.5;
};

class LevelsOutputSlider {
public:
    // 0 black, 1 white; black on a tie.
    int Pick(int32_t x) const;
    void Move(int handle, int32_t x);
    int32_t Black() const { return m_black; }
    int32_t White() const { return m_white; }

private:
    int32_t m_black = 0, m_white = 255;
};

}  // namespace zelvo
