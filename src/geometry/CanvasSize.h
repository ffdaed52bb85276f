// Image > Canvas Size: the dialog's model (the current size line in the chosen unit, the new
// size boxes, the 20-million-pixel checks and the question before cutting) and the change of
// the canvas itself, which keeps the top-left corner: pixel layers keep their pixels, even
// outside the new canvas; text, curve and null layers are rebuilt for the new size.
#pragma once

#include <cstdint>
#include <string>

#include "geometry/Geometry.h"
#include "history/HistoryManager.h"

namespace zelvo {

class CanvasSizeDialogModel {
public:
    CanvasSizeDialogModel(int32_t canvasWidth, int32_t canvasHeight, int32_t resolution);

    // "Width:  %d Pixels", "Width:  %.2f Centimeter", "Width:  %.2f Inch" (and Height) after
    // the unit box.
    std::string CurrentWidthText() const;
    std::string CurrentHeightText() const;

    LengthUnit Unit() const { return m_unit; }
    // Choosing a unit shows the new size in it.
    void SetUnit(LengthUnit unit);
    // The values of the New Size boxes in the unit (two decimals cut).
    double ShownWidth() const { return m_shownWidth; }
    double ShownHeight() const { return m_shownHeight; }
    int32_t NewWidth() const { return m_newWidth; }
    int32_t NewHeight() const { return m_newHeight; }

    // An edit of a box: a value out of 0.04..10,000, or one that makes no whole pixel, is
    // refused (false); the shown value is accepted as it is (true, nothing changes). A product
    // of 20,000,001 pixels or more restores the current size and shows "The new image should
    // not more than 20 million pixels, need re-set the size!" (false).
    bool EditWidth(double value);
    bool EditHeight(double value);

    enum class Outcome { Unchanged, Cancelled, TooLarge, Change };
    // OK: a larger product shows "The new image should not more than 20 million pixels!"; a
    // change that shrinks either side asks "The new size is less than the current size, the
    // image will be cut! Whether to continue?" (Cancel: no change).
    Outcome Ok();

private:
    int32_t PixelsFor(double value) const;
    double Shown(int32_t pixels) const;
    bool Edit(double value, bool width);
    void ShowNewSize();

    int32_t m_canvasWidth;
    int32_t m_canvasHeight;
    int32_t m_resolution;
    LengthUnit m_unit = LengthUnit::Centimeter;
    int32_t m_newWidth;
    int32_t m_newHeight;
    double m_shownWidth = 0;
    double m_shownHeight = 0;
};

// Changes the canvas to width x height keeping the top-left corner and records "Canvas Size"
// (the selection is left as it is). Returns 1 when done, 0 for a size out of range or when the
// store has no room (the document is then unchanged).
int ChangeCanvasSize(HistoryManager& history, int32_t width, int32_t height);

}  // namespace zelvo
