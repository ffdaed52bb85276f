#include "app/NavigatorRules.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>

namespace zelvo::NavigatorRules {

float SliderToZoom(int position) {
    if (position <= 0) position = 1;
    if (position < 50) return std::max(float(position * 0.02), 0.05f);
    if (position <= 55) return 1.0f;
    if (position <= 105) return std::min(float(1.0 + (position - 55) * 0.15), 8.0f);
    return 8.0f;
}

int SliderForZoom(float zoom) {
    int position = 52;
    if (zoom < 0.05f) {
        position = 2;
    } else if (zoom > 8.0f) {
        position = 104;
    } else if (zoom == 1.0f) {
        position = 52;
    } else if (zoom < 1.0f) {
        position = int(double(zoom) * 50.0);
    } else if (zoom > 1.0f) {
        position = int(55.0 + (double(zoom) - 1.0) * 7.142857);
    }
    // A NaN zoom fails every comparison above and keeps the resting position.
    return std::clamp(position, kSliderMin, kSliderMax);
}

std::string ZoomText(float zoom) {
    char text[32];
    std::snprintf(text, sizeof text, "%0.0f%%", double(zoom) * 100.0);
    return text;
}

int ParseTypedValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        // Anything this long is refused anyway; stop before it overflows.
        if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

std::optional<float> TypedZoom(int value) {
    if (value <= kTypedMinExclusive || value > kTypedMax) return std::nullopt;
    return float(value * 0.01);
}

int StepDown(int position) {
    return position <= kStep ? kSliderMin : position - kStep;
}

int StepUp(int position) {
    return std::min(position + kStep, kSliderMax);
}

ThumbScale ThumbnailScale(int32_t thumbWidth, int32_t thumbHeight, int32_t docWidth,
                          int32_t docHeight) {
    const float x = docWidth > 0 ? float(thumbWidth) / float(docWidth) : 0.0f;
    const float y = docHeight > 0 ? float(thumbHeight) / float(docHeight) : 0.0f;
    return {x > 0.0f ? x : y, y > 0.0f ? y : x};
}

Point ThumbnailOrigin(int32_t thumbWidth, int32_t thumbHeight) {
    return {kThumbnailArea.left + (kThumbnailArea.Width() - thumbWidth) / 2,
            kThumbnailArea.top + (kThumbnailArea.Height() - thumbHeight) / 2};
}

Frames FrameRects(const Rect& visible, ThumbScale scale, Point origin) {
    auto across = [scale](int32_t v) { return int32_t(float(v) * scale.x); };
    auto down = [scale](int32_t v) { return int32_t(float(v) * scale.y); };
    Frames frames;
    frames.outer =
        Rect{across(visible.left), down(visible.top), across(visible.right), down(visible.bottom)}
            .Offset(origin.x, origin.y);
    if (frames.outer.Width() > 5 && frames.outer.Height() > 5) {
        const Rect& o = frames.outer;
        frames.inner = Rect{o.left + 1, o.top + 1, o.right - 1, o.bottom - 1};
    }
    return frames;
}

std::optional<Point> DragTarget(Point pressed, Point origin, ThumbScale scale, float zoom,
                                int32_t canvasWidth, int32_t canvasHeight) {
    if (!scale.Valid()) return std::nullopt;
    // A drag may leave the thumbnail; the view is never asked for a point off the canvas.
    auto toZoomed = [&](int32_t p, int32_t o, float s, int32_t extent) {
        const float doc = std::clamp(float(p - o) / s, 0.0f, float(std::max(extent, 0)));
        return int32_t(float(int32_t(doc)) * zoom);
    };
    return Point{toZoomed(pressed.x, origin.x, scale.x, canvasWidth),
                 toZoomed(pressed.y, origin.y, scale.y, canvasHeight)};
}

}  // namespace zelvo::NavigatorRules
