// Rasterising the selection tools' shapes. Pixels are sampled at their centres, which gives
// the same pixels whichever way a shape was dragged.
#include "selection/SelectionShape.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zelvo {

ShapePlane::ShapePlane(const Rect& rect) : m_rect(rect.IsEmpty() ? Rect{} : rect) {
    if (m_rect.IsEmpty()) return;
    m_stride = (size_t(m_rect.Width()) + 7) / 8;
    m_bits.assign(m_stride * size_t(m_rect.Height()), 0);
}

bool ShapePlane::Bit(int32_t x, int32_t y) const {
    if (!m_rect.Contains({x, y})) return false;
    const size_t col = size_t(x - m_rect.left);
    return (m_bits[size_t(y - m_rect.top) * m_stride + col / 8] >> (7 - col % 8)) & 1;
}

void ShapePlane::Set(int32_t x, int32_t y) {
    if (!m_rect.Contains({x, y})) return;
    const size_t col = size_t(x - m_rect.left);
    m_bits[size_t(y - m_rect.top) * m_stride + col / 8] |= uint8_t(0x80 >> (col % 8));
}

void ShapePlane::SetRun(int32_t y, int32_t from, int32_t to) {
    if (y < m_rect.top || y >= m_rect.bottom) return;
    from = std::max(from, m_rect.left);
    to = std::min(to, m_rect.right);
    if (from >= to) return;
    uint8_t* row = m_bits.data() + size_t(y - m_rect.top) * m_stride;
    size_t a = size_t(from - m_rect.left), b = size_t(to - m_rect.left);
    // The partial bytes at both ends, whole bytes between.
    for (; a < b && a % 8; ++a) row[a / 8] |= uint8_t(0x80 >> (a % 8));
    for (; b > a && b % 8; --b) row[(b - 1) / 8] |= uint8_t(0x80 >> ((b - 1) % 8));
    if (a < b) std::memset(row + a / 8, 0xFF, (b - a) / 8);
}

void ShapePlane::SetRowWhere(int32_t y, int32_t from, const uint8_t* bytes, int32_t count,
                             uint8_t value) {
    if (y < m_rect.top || y >= m_rect.bottom) return;
    const int32_t begin = std::max(from, m_rect.left);
    const int32_t end = std::min(from + count, m_rect.right);
    if (begin >= end) return;
    uint8_t* row = m_bits.data() + size_t(y - m_rect.top) * m_stride;
    const uint8_t* in = bytes + (begin - from);
    size_t col = size_t(begin - m_rect.left);
    const size_t stop = size_t(end - m_rect.left);
    for (; col < stop && col % 8; ++col, ++in)
        if (*in == value) row[col / 8] |= uint8_t(0x80 >> (col % 8));
    // Eight columns to a byte, the leftmost in the high bit.
    for (; col + 8 <= stop; col += 8, in += 8) {
        uint8_t bits = 0;
        for (int k = 0; k < 8; ++k) bits = uint8_t(bits << 1) | uint8_t(in[k] == value);
        row[col / 8] |= bits;
    }
    for (; col < stop; ++col, ++in)
        if (*in == value) row[col / 8] |= uint8_t(0x80 >> (col % 8));
}

void ShapePlane::RowBytes(int32_t y, int32_t from, int32_t count, uint8_t* out) const {
    if (count <= 0) return;
    std::memset(out, 0, size_t(count));
    if (y < m_rect.top || y >= m_rect.bottom) return;
    const int32_t begin = std::max(from, m_rect.left);
    const int32_t end = std::min(from + count, m_rect.right);
    if (begin >= end) return;
    const uint8_t* row = m_bits.data() + size_t(y - m_rect.top) * m_stride;
    uint8_t* o = out + (begin - from);
    size_t col = size_t(begin - m_rect.left);
    const size_t stop = size_t(end - m_rect.left);
    for (; col < stop && col % 8; ++col) *o++ = (row[col / 8] >> (7 - col % 8)) & 1;
    // Eight columns from each byte, the leftmost in the high bit.
    for (; col + 8 <= stop; col += 8, o += 8) {
        const uint8_t bits = row[col / 8];
        for (int k = 0; k < 8; ++k) o[k] = (bits >> (7 - k)) & 1;
    }
    for (; col < stop; ++col) *o++ = (row[col / 8] >> (7 - col % 8)) & 1;
}

ShapePlane ShapePlane::Cropped(const Rect& rect) const {
    const Rect r = rect.Intersect(m_rect);
    if (r == m_rect) return *this;
    ShapePlane out(r);
    if (out.IsEmpty()) return out;
    // Each row's bits from column `shift` on, moved up to the byte boundary.
    const size_t shift = size_t(r.left - m_rect.left), first = shift / 8;
    const unsigned s = unsigned(shift % 8);
    const unsigned tail = unsigned(r.Width() % 8);
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const uint8_t* src = m_bits.data() + size_t(y - m_rect.top) * m_stride;
        uint8_t* dst = out.m_bits.data() + size_t(y - r.top) * out.m_stride;
        for (size_t k = 0; k < out.m_stride; ++k) {
            const size_t at = first + k;
            const unsigned next = at + 1 < m_stride ? src[at + 1] : 0u;
            dst[k] = s ? uint8_t((unsigned(src[at]) << s) | (next >> (8 - s))) : src[at];
        }
        if (tail) dst[out.m_stride - 1] &= uint8_t(0xFF << (8 - tail));
    }
    return out;
}

bool ShapePlane::AnySet() const {
    return std::any_of(m_bits.begin(), m_bits.end(), [](uint8_t b) { return b != 0; });
}

ShapePlane RasterizeRectangle(const Rect& rect) {
    ShapePlane plane(rect);
    for (int32_t y = rect.top; y < rect.bottom; ++y) plane.SetRun(y, rect.left, rect.right);
    return plane;
}

ShapePlane RasterizeEllipse(const Rect& rect) {
    return RasterizeEllipse(rect, rect);
}

ShapePlane RasterizeEllipse(const Rect& rect, const Rect& clip) {
    ShapePlane plane(rect.Intersect(clip));
    if (plane.IsEmpty() || rect.IsEmpty()) return plane;
    const Rect& r = plane.Bounds();
    // In units of half pixels everything is an integer: centre (l + r, t + b), radii w and h,
    // pixel centre (2x + 1, 2y + 1). Inside when (dx/w)^2 + (dy/h)^2 <= 1; a rectangle as far
    // out as coordinates go needs more than 64 bits for the products.
    using Wide = __int128;
    const Wide w = rect.Width(), h = rect.Height();
    const int64_t cx = int64_t(rect.left) + rect.right, cy = int64_t(rect.top) + rect.bottom;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const Wide dy = 2 * int64_t(y) + 1 - cy;
        for (int32_t x = r.left; x < r.right; ++x) {
            const Wide dx = 2 * int64_t(x) + 1 - cx;
            if (dx * dx * h * h + dy * dy * w * w <= w * w * h * h) plane.Set(x, y);
        }
    }
    return plane;
}

Rect PolygonBounds(const std::vector<Point>& points) {
    if (points.empty()) return {};
    Rect r{points[0].x, points[0].y, points[0].x + 1, points[0].y + 1};
    for (const Point& p : points) r = r.Union({p.x, p.y, p.x + 1, p.y + 1});
    return r;
}

ShapePlane RasterizePolygon(const std::vector<Point>& points, const Rect& bounds) {
    ShapePlane plane(bounds);
    if (plane.IsEmpty() || points.size() < 3) return plane;
    std::vector<double> xs;
    for (int32_t y = bounds.top; y < bounds.bottom; ++y) {
        const double yc = y + 0.5;
        xs.clear();
        for (size_t i = 0; i < points.size(); ++i) {
            const Point a = points[i], b = points[(i + 1) % points.size()];
            // Half-open in y, so a vertex on the scan line counts once.
            if ((a.y <= yc) == (b.y <= yc)) continue;
            xs.push_back(a.x + (yc - a.y) * double(b.x - a.x) / double(b.y - a.y));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
            // Pixels whose centre x + 0.5 lies in [xs[i], xs[i + 1]).
            const auto column = [&](double x) {
                return int32_t(
                    std::clamp(std::ceil(x - 0.5), double(bounds.left), double(bounds.right)));
            };
            const int32_t from = column(xs[i]);
            const int32_t to = column(xs[i + 1]);
            plane.SetRun(y, from, to);
        }
    }
    return plane;
}

}  // namespace zelvo
