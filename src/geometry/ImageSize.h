// Image > Image Size: the dialog's model (pixel sizes, document sizes and resolution kept in
// step, "Scale Styles" keeping the canvas's ratio, the validity check) and the resize of every
// layer of the document, recorded as one "Image Size" state.
#pragma once

#include <cstdint>
#include <optional>

#include "core/Limits.h"
#include "geometry/Geometry.h"
#include "history/HistoryManager.h"

namespace zelvo {

// What the dialog's OK hands to the resize.
struct ImageSizeRequest {
    int32_t width = 0;
    int32_t height = 0;
    int32_t resolution = 0;   // pixels per metre
    bool scaleStyles = true;  // on: smooth resampling; off: nearest neighbour
};

class ImageSizeDialogModel {
public:
    ImageSizeDialogModel(int32_t canvasWidth, int32_t canvasHeight, int32_t resolution);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int32_t Resolution() const { return m_resolution; }
    // "Document Size" in the chosen unit and "Resolution:" in the chosen unit, two decimals.
    float DocumentWidth() const;
    float DocumentHeight() const;
    float ResolutionValue() const;

    LengthUnit documentUnit = LengthUnit::Centimeter;  // Centimeter or Inch
    DensityUnit resolutionUnit = DensityUnit::PixelsPerInch;
    bool scaleStyles = true;

    // The edits of the boxes; each returns false (changing nothing) for a value out of range
    // or equal to the shown one. With "Scale Styles" on the other pixel size follows in the
    // canvas's current ratio.
    bool EditPixelWidth(int32_t value);
    bool EditPixelHeight(int32_t value);
    bool EditDocumentWidth(double length);  // 0.04 .. 10,000
    bool EditDocumentHeight(double length);
    bool EditResolution(double value);  // 0.04 .. 10,000
    // Sets the three values as given, without coupling (zelvo-batch's `image size`).
    void SetValues(int32_t width, int32_t height, int32_t resolution);

    // Leaving an edit: both pixel sizes 1..10,000, a resolution not negative and at most
    // 20,000,000 pixels; otherwise the dialog returns to the canvas's values and says why.
    // Returns whether the state was valid.
    bool CheckState();
    void Reset();

    // OK: nothing when nothing changed; "The new image should not more than 20 million
    // pixels!" (and nothing) above the limit; else the resize to do.
    std::optional<ImageSizeRequest> Ok();

private:
    int32_t PixelsFor(double length) const;
    void Follow(bool widthEdited);

    int32_t m_canvasWidth;
    int32_t m_canvasHeight;
    int32_t m_canvasResolution;
    int32_t m_width;
    int32_t m_height;
    int32_t m_resolution;
};

// Removes the selection (Deselect) and rebuilds every layer at the new size: pixel layers
// resampled, text and curve layers drawn again with their anchors scaled (a text's font size
// in proportion), null layers kept; one "Image Size" state; the resolution becomes the
// request's. The status bar's progress steps once per layer. Returns 1 when done, 0 when
// refused or when the store had no room (the document is then unchanged, the selection
// aside).
int ResizeImage(HistoryManager& history, const ImageSizeRequest& request,
                int32_t& documentResolution);

}  // namespace zelvo
