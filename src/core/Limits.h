// The ranges numbers from files and scripts are held to where they come in, so that no
// arithmetic on them downstream can overflow.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelvo {

// The farthest any position may lie from the canvas origin, in each axis: far enough for any
// drawing, near enough that sums of positions and sizes never overflow 32 bits.
constexpr int32_t kMaxCoordinate = 1 << 24;

constexpr bool IsCoordinate(int64_t v) {
    return v >= -kMaxCoordinate && v <= kMaxCoordinate;
}

constexpr int32_t ClampCoordinate(int64_t v) {
    return int32_t(v < -kMaxCoordinate ? -kMaxCoordinate : v > kMaxCoordinate ? kMaxCoordinate : v);
}

// The font sizes the text bar and scripts take; a negative size asks for the character height
// instead of the cell, 0 for the system's default.
constexpr int32_t kMaxFontSize = 1000;
// Image Size scales a text's size beyond that; it stops at twice the largest canvas side.
constexpr int32_t kMaxLayerFontSize = 20000;

// A result past the largest image is cut to it, and the command goes on.
inline constexpr const char* kWillBeCutMessage = "Images more than 20 million pixels,Will be cut!";

// The longest text of a text layer, in bytes: what the layered file reads back.
constexpr size_t kMaxTextBytes = (size_t(1) << 20) - 1;
inline constexpr const char* kTextTooLongMessage =
    "The text is too long: a text layer holds at most 1,048,575 bytes.";

// The most anchor points of a curve layer: what the layered file reads back.
constexpr size_t kMaxCurveAnchors = 99999;
inline constexpr const char* kCurveTooLongMessage = "A curve holds at most 99,999 anchor points.";

// The largest image: New Image, Image Size and Canvas Size hold to both limits and say so.
constexpr int32_t kMaxImageSide = 10000;
constexpr int64_t kMaxImagePixels = 20000000;
inline constexpr const char* kImageLimitsMessage =
    "Image should not more than 20 million pixels,\n or the height and width should not more "
    "than 10,000 pixels!";

}  // namespace zelvo
