// The Print Preview dialog without its widgets: the picture's place and size on the printer's
// page in whole millimetres, the scale, centring and fitting, the boxes' edits with their
// ranges, dragging in the preview and the rectangle Print draws into.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/Types.h"
#include "print/PrintPage.h"
#include "print/PrintUnits.h"

namespace zelvo {

// The boxes whose edits the model takes. An edit acts only while its own box has the keyboard
// focus, so the model's own refreshes of the other boxes never feed back.
enum class PrintField { None, Scale, Width, Height, Left, Top };

class PrintPreviewModel {
public:
    static constexpr int32_t kPreviewArea = 250;  // the preview's square, in dialog pixels
    static constexpr int32_t kPreviewOrigin = 10;
    static constexpr int32_t kDefaultResolution = 2834;  // 72 pixels per inch
    static constexpr float kMinScale = 0.01f;

    // The dialog's starting state for a picture of these pixels and resolution (pixels per
    // metre; 0 or less counts as 72 ppi) on `page`: 100 %, centred, box on, fit off,
    // both units centimetres.
    PrintPreviewModel(int32_t pixelWidth, int32_t pixelHeight, int32_t resolution,
                      const PrintPage& page);

    // Page Setup: the new page, re-centred and re-fitted as the flags say.
    void SetPage(const PrintPage& page);
    const PrintPage& Page() const { return m_page; }

    float Scale() const { return m_scale; }
    int32_t Left() const { return m_left; }
    int32_t Top() const { return m_top; }
    // The picture on paper at the current scale, truncated.
    int32_t WidthMm() const;
    int32_t HeightMm() const;
    // At 100 %, a zero size counting as 1 (the divisor of fit and the size boxes).
    int32_t Width100Mm() const;
    int32_t Height100Mm() const;

    bool Center() const { return m_center; }
    bool Fit() const { return m_fit; }
    bool BoundingBox() const { return m_box; }
    void SetCenter(bool on);
    void SetFit(bool on);
    void SetBoundingBox(bool on) { m_box = on; }
    // Print without the dialog: the picture stays at 100 % when it fits the page and is
    // scaled to fit it otherwise, so that nothing of it is cut off where the user cannot see.
    void FitWhenLargerThanPage();

    // Which boxes take input: the position while not centred; scale, size and Center Image
    // while fit is off.
    bool PositionEnabled() const { return !m_center; }
    bool ScaleEnabled() const { return !m_fit; }
    bool CenterEnabled() const { return !m_fit; }
    bool Draggable() const { return !m_center; }

    PrintUnit PositionUnit() const { return m_positionUnit; }
    PrintUnit SizeUnit() const { return m_sizeUnit; }
    void SetPositionUnit(PrintUnit unit) { m_positionUnit = unit; }
    void SetSizeUnit(PrintUnit unit) { m_sizeUnit = unit; }

    // The box with the keyboard focus (PrintField::None when none of the five has it).
    void SetFocus(PrintField field) { m_focus = field; }
    PrintField Focus() const { return m_focus; }
    // A box's text changed. True when the edit was taken: its box has the focus, is enabled
    // and holds a number in range. Anything else leaves the model as it was.
    bool Edit(PrintField field, const std::string& text);
    // The text a box shows for the model's values.
    std::string Text(PrintField field) const;

    // The preview window inside the dialog: the page's shape fitted into the 250 x 250 square,
    // centred in it, with the square at (10, 10).
    Rect PreviewRect() const;
    // The picture's rectangle in a preview client area `clientWidth` wide, and the dashed box
    // 2 pixels outside it (right and bottom exclusive).
    Rect PreviewImageRect(int32_t clientWidth) const;
    static Rect BoundingBoxRect(const Rect& imageRect) {
        return {imageRect.left - 2, imageRect.top - 2, imageRect.right + 2, imageRect.bottom + 2};
    }

    // Dragging in a preview client area `clientWidth` wide: a press inside the picture starts
    // a drag when the picture may be dragged (true then); each move places the picture by the
    // distance from the press; release ends it.
    bool PressAt(Point p, int32_t clientWidth);
    bool DragTo(Point p);  // true when the position changed
    void Release() { m_dragging = false; }
    bool Dragging() const { return m_dragging; }

    // Print's rectangle in the printer's device pixels for `page` (the horizontal factor used
    // on both axes, each coordinate truncated).
    Rect Destination(const PrintPage& page) const;
    Rect Destination() const { return Destination(m_page); }
    // The same rectangle before truncation and without a bound: left, top, right, bottom.
    std::array<double, 4> ExactDestination(const PrintPage& page) const;

private:
    int32_t SizeMm(int32_t pixels, float scale) const;
    void SetScale(float s);
    void Recentre();
    void ApplyFit();
    bool EditScale(const std::string& text);
    bool EditSize(const std::string& text, int32_t size100);
    bool EditPosition(const std::string& text, int32_t& target);

    int32_t m_pixelWidth;
    int32_t m_pixelHeight;
    int32_t m_resolution;
    PrintPage m_page;
    float m_scale = 1.0f;
    int32_t m_left = 0;
    int32_t m_top = 0;
    bool m_center = true;
    bool m_fit = false;
    bool m_box = true;
    PrintUnit m_positionUnit = PrintUnit::Centimeter;
    PrintUnit m_sizeUnit = PrintUnit::Centimeter;
    PrintField m_focus = PrintField::None;
    bool m_dragging = false;
    Point m_pressPoint;
    int32_t m_pressLeft = 0;
    int32_t m_pressTop = 0;
    double m_dragFactor = 1.0;
};

}  // namespace zelvo
