// Small value types shared by the engine: a rectangle with exclusive right and bottom edges,
// a point, and a colour as 0x00BBGGRR.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zelvo {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    Rect Offset(int32_t dx, int32_t dy) const {
        return {left + dx, top + dy, right + dx, bottom + dy};
    }
    // Empty rectangles come back as all zeros, as IntersectRect does.
    Rect Intersect(const Rect& o) const {
        Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
               std::min(bottom, o.bottom)};
        return r.IsEmpty() ? Rect{} : r;
    }
    Rect Union(const Rect& o) const {
        if (IsEmpty()) return o;
        if (o.IsEmpty()) return *this;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                std::max(bottom, o.bottom)};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

using ColorRef = uint32_t;  // 0x00BBGGRR

constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return ColorRef(r) | (ColorRef(g) << 8) | (ColorRef(b) << 16);
}
constexpr uint8_t RedOf(ColorRef c) {
    return uint8_t(c);
}
constexpr uint8_t GreenOf(ColorRef c) {
    return uint8_t(c >> 8);
}
constexpr uint8_t BlueOf(ColorRef c) {
    return uint8_t(c >> 16);
}

}  // namespace zelvo
