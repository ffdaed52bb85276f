// The Navigator palette's arithmetic, kept apart from its widgets: the zoom slider's mapping in
// both directions, the zoom box's acceptance rule, the step buttons, the thumbnail's scale and
// place, the red frame(s) around the visible part, and a point dragged in the thumbnail turned
// into a zoomed canvas point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/Types.h"

namespace zelvo::NavigatorRules {

// Palette client coordinates; right and bottom are exclusive.
constexpr int kPaletteWidth = 200;
constexpr int kPaletteHeight = 150;
constexpr Rect kThumbnailArea{1, 1, 196, 85};
constexpr Rect kZoomEdit{1, 87, 40, 107};
constexpr Rect kZoomOutButton{42, 86, 70, 108};
constexpr Rect kSlider{70, 87, 167, 107};
constexpr Rect kZoomInButton{168, 86, 198, 108};
constexpr const char* kZoomOutCaption = "<<";
constexpr const char* kZoomInCaption = ">>";

constexpr int32_t kThumbnailMaxWidth = 180;
constexpr int32_t kThumbnailMaxHeight = 78;

constexpr int kSliderMin = 1;
constexpr int kSliderMax = 105;
constexpr int kSliderPage = 5;
constexpr int kSliderInitial = 50;
// Where the slider rests while no document is open.
constexpr int kSliderNoDocument = 52;
constexpr int kStep = 5;

constexpr int kTypedMinExclusive = 4;
constexpr int kTypedMax = 800;

constexpr ColorRef kFrameColor = Rgb(255, 0, 0);

// 1.0 = 100 %. Positions 50..55 are one flat stretch at 100 %.
float SliderToZoom(int position);
// The slider position that shows `zoom` (1..105).
int SliderForZoom(float zoom);

// The zoom box text, "%0.0f%%" of zoom x 100.
std::string ZoomText(float zoom);
// The integer at the start of the box text, as atoi reads it (0 when there is none).
int ParseTypedValue(const std::string& text);
// The zoom a typed percentage asks for, or nothing when it is outside (4, 800].
std::optional<float> TypedZoom(int value);

// "<<" and ">>": five positions, "<<" going to 1 from 5 or below, ">>" stopping at 105.
int StepDown(int position);
int StepUp(int position);

// Thumbnail pixels per document pixel, across and down. The thumbnail's sides are whole
// pixels, so the two differ, by far on a narrow picture (250 x 10000 gives a thumbnail 1 pixel
// wide and 78 tall): the frame and the drag take each axis by its own.
struct ThumbScale {
    float x = 0.0f, y = 0.0f;
    ThumbScale() = default;
    ThumbScale(float both) : x(both), y(both) {}  // NOLINT: one scale for both axes
    ThumbScale(float across, float down) : x(across), y(down) {}
    bool Valid() const { return x > 0.0f && y > 0.0f; }
    friend bool operator==(const ThumbScale&, const ThumbScale&) = default;
};
// Thumbnail width / document width and thumbnail height / document height; an axis the
// document has no extent in takes the other's; 0 when neither can be formed.
ThumbScale ThumbnailScale(int32_t thumbWidth, int32_t thumbHeight, int32_t docWidth,
                          int32_t docHeight);
// The thumbnail's top-left corner, centred in the thumbnail area.
Point ThumbnailOrigin(int32_t thumbWidth, int32_t thumbHeight);

struct Frames {
    Rect outer;
    // One pixel inside the outer frame, when that one is wider and taller than 5 pixels.
    std::optional<Rect> inner;
};
// The frame(s) around the visible part: the visible rectangle in document pixels, scaled and
// moved to the thumbnail's origin.
Frames FrameRects(const Rect& visible, ThumbScale scale, Point origin);

// The zoomed canvas point that a press at `pressed` (palette coordinates) asks the view to
// scroll to: the point in the thumbnail / scale, held within the canvas, times the zoom.
// Nothing when a scale is not positive.
std::optional<Point> DragTarget(Point pressed, Point origin, ThumbScale scale, float zoom,
                                int32_t canvasWidth, int32_t canvasHeight);

}  // namespace zelvo::NavigatorRules
