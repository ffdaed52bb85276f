// Image > Print Size: the dialog's model (print width, height and resolution kept in step with
// the pixel size) and its OK, which changes only the document's resolution: no pixel changes and
// no history state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "geometry/Geometry.h"

namespace zelvo {

class PrintSizeDialogModel {
public:
    PrintSizeDialogModel(int32_t canvasWidth, int32_t canvasHeight, int32_t resolution);

    // "Width:%d Height:%d  (Pixels)".
    std::string PixelSizeText() const;

    LengthUnit Unit() const { return m_unit; }
    DensityUnit ResUnit() const { return m_resUnit; }
    // Choosing a unit shows the values in it (from the resolution as it stands).
    void SetUnit(LengthUnit unit);  // Centimeter or Inch
    void SetResolutionUnit(DensityUnit unit);

    double PrintWidth() const { return m_width; }
    double PrintHeight() const { return m_height; }
    double ResolutionValue() const { return m_res; }
    // The boxes as shown: "%0.2f" for the sizes, "%d" for the resolution.
    std::string WidthText() const;
    std::string HeightText() const;
    std::string ResolutionText() const;

    // Width or height 0.01 up to below 3000: the other follows in the canvas's ratio and the
    // resolution becomes pixels / length. Resolution 0.01 up to below 10,000: width and height
    // follow. A value out of range is refused (false).
    bool EditWidth(double value);
    bool EditHeight(double value);
    bool EditResolution(double value);

    // OK: the new resolution in pixels per metre when it lies in 1..99,999 and differs from
    // the document's; nothing when no box was edited.
    std::optional<int32_t> Ok() const;
    // Whether the boxes as edited give a resolution outside 1..99,999 pixels per metre, which
    // OK would drop (from 2539.99 pixels per inch, or a side too short for the picture).
    bool ResolutionOutOfRange() const;
    // What OK says when it is.
    static constexpr const char* kResolutionRangeText =
        "The resolution should be from 0.02 to 2539.98 pixels per inch (0.01 to 999.99 pixels "
        "per centimetre).";

private:
    double LengthFor(int32_t pixels) const;  // at the resolution shown, in the unit
    void ShowFromResolution();
    // One side typed: the other keeps the canvas's proportions, and the resolution becomes the
    // typed side's pixels over its length.
    bool EditSide(double value, int32_t pixels, int32_t otherPixels, double& side, double& other);
    double PixelsPerUnitLength() const;  // resolution value as pixels per unit of length

    int32_t m_canvasWidth;
    int32_t m_canvasHeight;
    int32_t m_resolution;
    LengthUnit m_unit = LengthUnit::Centimeter;
    DensityUnit m_resUnit = DensityUnit::PixelsPerInch;
    double m_width = 0;
    double m_height = 0;
    double m_res = 0;
    bool m_edited = false;
};

}  // namespace zelvo
