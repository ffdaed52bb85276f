// The measure tool's line as the bar and scripts read it: the six read-outs of the line kept for
// a document, and the bar's "Clear".
#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/Types.h"

namespace zelvo {

class Image;

// The angle of the line from `a` to `b` in degrees (y grows downward), as the transform's
// rotation measures it, then taken into -180 .. 180.
double MeasureAngle(Point a, Point b);

// "X:…", "Y:…", "W:…", "H:…", "A:…", "D:…" for a line in `unit` ("px", "cm" or "in") on a
// canvas of `width` x `height` at `resolution` pixels per metre.
std::array<std::string, 6> MeasureReadouts(Point a, Point b, const std::string& unit, int32_t width,
                                           int32_t height, int32_t resolution);

class MeasureInfo {
public:
    virtual ~MeasureInfo() = default;
    // The line of `image` in canvas coordinates, when it has one.
    virtual std::optional<std::pair<Point, Point>> Line(const Image& image) const = 0;
    // The read-outs of that line in the bar's unit.
    virtual std::optional<std::array<std::string, 6>> Readouts(const Image& image) const = 0;
    // "Clear": the document's line goes.
    virtual void Clear(const Image& image) = 0;
};

}  // namespace zelvo
