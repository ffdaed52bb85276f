#include "geometry/FreeTransform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "history/PixelEdit.h"
#include "layers/StoreMapping.h"
#include "layers/StoredDib.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

constexpr int64_t kMaxFramePixels = 20000000;
// Corners computed through sines and cosines land a hair off whole pixels.
constexpr double kSnap = 1e-4;

double Cross(PointD a, PointD b) {
    return a.x * b.y - a.y * b.x;
}
PointD Sub(PointD a, PointD b) {
    return {a.x - b.x, a.y - b.y};
}
PointD Add(PointD a, PointD b) {
    return {a.x + b.x, a.y + b.y};
}
PointD Scale(PointD a, double k) {
    return {a.x * k, a.y * k};
}
PointD Lerp(PointD a, PointD b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

PointD Centre(const FrameCorners& f) {
    double l = f[0].x, r = f[0].x, t = f[0].y, b = f[0].y;
    for (const PointD& p : f) {
        l = std::min(l, p.x), r = std::max(r, p.x), t = std::min(t, p.y), b = std::max(b, p.y);
    }
    return {(l + r) / 2, (t + b) / 2};
}

// Where a destination row crosses the frame: the leftmost and rightmost crossings, with the
// source points they stand for. False when the row misses the frame.
struct Crossing {
    double x;
    PointD source;
};
bool CrossRow(const FrameCorners& f, const std::array<PointD, 4>& src, double y, Crossing& left,
              Crossing& right) {
    bool any = false;
    for (int k = 0; k < 4; ++k) {
        const PointD a = f[size_t(k)], b = f[size_t((k + 1) % 4)];
        if (a.y == b.y) continue;
        const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
        if (y < lo || y > hi) continue;
        const double t = (y - a.y) / (b.y - a.y);
        const Crossing c{a.x + (b.x - a.x) * t, Lerp(src[size_t(k)], src[size_t((k + 1) % 4)], t)};
        if (!any || c.x < left.x) left = c;
        if (!any || c.x > right.x) right = c;
        any = true;
    }
    return any;
}

}  // namespace

FrameCorners RectFrame(const Rect& r) {
    return {PointD{double(r.left), double(r.top)}, PointD{double(r.right), double(r.top)},
            PointD{double(r.right), double(r.bottom)}, PointD{double(r.left), double(r.bottom)}};
}

Rect FrameBounds(const FrameCorners& f) {
    double l = f[0].x, r = f[0].x, t = f[0].y, b = f[0].y;
    for (const PointD& p : f) {
        l = std::min(l, p.x), r = std::max(r, p.x), t = std::min(t, p.y), b = std::max(b, p.y);
    }
    const auto clampInt = [](double v) { return int32_t(std::clamp(v, -1e9, 1e9)); };
    return {clampInt(std::floor(l + kSnap)), clampInt(std::floor(t + kSnap)),
            clampInt(std::ceil(r - kSnap)), clampInt(std::ceil(b - kSnap))};
}

double PointerAngle(PointD centre, PointD p) {
    const double dx = p.x - centre.x, dy = p.y - centre.y;
    if (dx == 0) return dy < 0 ? 90 : (dy > 0 ? 270 : 0);
    const double a = std::atan(dy / dx) * 57.29578;
    if (dx >= 0 && dy <= 0) return -a;
    if (dx >= 0) return 360 - a;
    return 180 - a;
}

PointD RotationCentre(const FrameCorners& f) {
    const Rect b = FrameBounds(f);
    const int32_t right = b.Width() > 2 ? b.right - 1 : b.right;
    const int32_t bottom = b.Height() > 2 ? b.bottom - 1 : b.bottom;
    return {(b.left + right) / 2.0, (b.top + bottom) / 2.0};
}

FrameCorners RotateFrame(const FrameCorners& frame, PointD c, double degrees) {
    FrameCorners out;
    const double r = degrees * 0.0174533;
    for (size_t i = 0; i < 4; ++i) {
        const double d = std::hypot(frame[i].x - c.x, frame[i].y - c.y);
        const double a = PointerAngle(c, frame[i]) * 0.0174533 + r;
        out[i] = {c.x + d * std::cos(a), c.y - d * std::sin(a)};
    }
    return out;
}

FrameCorners DragCorner(const FrameCorners& start, int corner, PointD to, bool distort,
                        bool proportional) {
    FrameCorners f = start;
    const size_t i = size_t(corner & 3);
    if (distort) {
        f[i] = to;
        return f;
    }
    const PointD o = start[(i + 2) % 4];
    const PointD c = start[i];
    if (proportional) {
        const PointD axis = Sub(c, o);
        const double len = axis.x * axis.x + axis.y * axis.y;
        if (len > 0) {
            const PointD v = Sub(to, o);
            to = Add(o, Scale(axis, (v.x * axis.x + v.y * axis.y) / len));
        }
    }
    // Each neighbour stays on its edge through the opposite corner, and the dragged corner's
    // two edges keep their directions.
    const size_t n1 = (i + 1) % 4, n2 = (i + 3) % 4;
    const PointD d1 = Sub(start[n1], o), d2 = Sub(start[n2], o);
    const double den = Cross(d1, d2);
    if (std::abs(den) < 1e-12) {
        f[i] = to;
        return f;
    }
    const PointD v = Sub(to, o);
    f[i] = to;
    f[n1] = Add(o, Scale(d1, Cross(v, d2) / den));
    f[n2] = Add(o, Scale(d2, Cross(d1, v) / den));
    return f;
}

FrameCorners TurnFrame(const FrameCorners& frame, FrameButton button) {
    const PointD c = Centre(frame);
    FrameCorners out = frame;
    switch (button) {
        // Whole turns exactly, so that a turned frame still meets whole pixels.
        case FrameButton::Turn90:  // clockwise on screen
            for (PointD& p : out) p = {c.x - (p.y - c.y), c.y + (p.x - c.x)};
            return out;
        case FrameButton::TurnMinus90:
            for (PointD& p : out) p = {c.x + (p.y - c.y), c.y - (p.x - c.x)};
            return out;
        case FrameButton::Turn180:
            for (PointD& p : out) p = {2 * c.x - p.x, 2 * c.y - p.y};
            return out;
        case FrameButton::Horizontal:
            for (PointD& p : out) p.x = 2 * c.x - p.x;
            return out;
        case FrameButton::Vertical:
            for (PointD& p : out) p.y = 2 * c.y - p.y;
            return out;
    }
    return out;
}

PointD MapThroughFrame(const Rect& source, const FrameCorners& f, PointD p) {
    const double u = source.Width() > 0 ? (p.x - source.left) / source.Width() : 0;
    const double v = source.Height() > 0 ? (p.y - source.top) / source.Height() : 0;
    return Lerp(Lerp(f[0], f[1], u), Lerp(f[3], f[2], u), v);
}

std::vector<CurveAnchor> MapAnchors(const std::vector<CurveAnchor>& anchors, const Rect& source,
                                    const FrameCorners& frame) {
    const auto map = [&](Point p) {
        const PointD q = MapThroughFrame(source, frame, {double(p.x), double(p.y)});
        return Point{int32_t(std::lround(q.x)), int32_t(std::lround(q.y))};
    };
    std::vector<CurveAnchor> out = anchors;
    for (CurveAnchor& a : out) {
        a.in = map(a.in);
        a.point = map(a.point);
        a.out = map(a.out);
    }
    return out;
}

SampleAxis SampleAt(double position, int32_t size) {
    const double base = std::floor(position);
    const double fraction = position - base;
    const auto clampIndex = [size](double v) {
        return int32_t(std::clamp(v, 0.0, double(std::max(0, size - 1))));
    };
    if (fraction >= 0.2 && fraction <= 0.8)
        return {clampIndex(base), clampIndex(base + 1), int32_t(std::lround(fraction * 256))};
    const int32_t nearest = clampIndex(fraction < 0.5 ? base : base + 1);
    return {nearest, nearest, 0};
}

int CommitFreeTransform(HistoryManager& history, const FrameCorners& frame) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels() ||
        layer->BitsPerPixel() != 32)
        return 0;
    Rect area = FrameBounds(frame);
    if (int64_t(area.Width()) * area.Height() > kMaxFramePixels) {
        AppMessages().Show("Images more than 20 million pixels,Will be cut!");
        const ImageGeometry& canvas = lm.Image();
        area = {std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, canvas.width),
                std::min(area.bottom, canvas.height)};
    }
    if (area.IsEmpty()) return 0;
    WaitCursor wait;
    const int32_t sw = layer->Width(), sh = layer->Height();
    const Point at = layer->Position();
    // Source edges in source pixel units, in the corners' order.
    const std::array<PointD, 4> src = {PointD{0, 0}, PointD{double(sw), 0},
                                       PointD{double(sw), double(sh)}, PointD{0, double(sh)}};
    FrameCorners local = frame;  // frame in the source layer's own coordinates
    for (PointD& p : local) p = {p.x - at.x, p.y - at.y};

    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 0);
    if (!fresh) return 0;
    const Layer& old = *edit.OldLayer();
    // The source rows read in place from the page cache: a turned row crosses many of them.
    StoreMapping mapping;
    const FileDynamicStore& store = old.Store();
    const uint64_t rowsAt = store.Payload(old.Block()).offset + old.RowsOffset();
    const uint64_t bytes = uint64_t(old.Stride()) * uint64_t(sh);
    const uint8_t* rows =
        mapping.Cover(store, rowsAt + bytes) ? mapping.At(rowsAt, bytes) : nullptr;
    RowCursor* out = fresh->Rows();
    if (!rows || !out) {
        fresh->ReleaseRows();
        edit.CommitLayerEdit(0);
        return 0;
    }
    const uint32_t stride = old.Stride();
    const auto pixel = [&](int32_t col, int32_t row) {
        uint32_t w;
        std::memcpy(&w, rows + size_t(sh - 1 - row) * stride + size_t(col) * 4, 4);
        return w;
    };
    const int32_t dw = area.Width(), dh = area.Height();
    std::vector<uint32_t> line(static_cast<size_t>(dw));
    for (int32_t r = 0; r < dh; ++r) {
        std::fill(line.begin(), line.end(), 0u);
        const double y = area.top + r + 0.5 - at.y;
        Crossing left{}, right{};
        if (CrossRow(local, src, y, left, right)) {
            const double span = right.x - left.x;
            const int32_t first = std::max(0, int32_t(std::ceil(left.x - 0.5 + at.x - area.left)));
            const int32_t last =
                std::min(dw - 1, int32_t(std::floor(right.x - 0.5 + at.x - area.left)));
            for (int32_t c = first; c <= last; ++c) {
                const double x = area.left + c + 0.5 - at.x;
                const double s = span > 0 ? (x - left.x) / span : 0;
                const PointD p = Lerp(left.source, right.source, s);
                const SampleAxis ax = SampleAt(p.x - 0.5, sw), ay = SampleAt(p.y - 0.5, sh);
                const uint32_t p00 = pixel(ax.first, ay.first), p01 = pixel(ax.second, ay.first);
                const uint32_t p10 = pixel(ax.first, ay.second), p11 = pixel(ax.second, ay.second);
                uint32_t word = 0;
                for (int ch = 0; ch < 32; ch += 8) {
                    const auto mix = [&](uint32_t a, uint32_t b, int32_t w) {
                        return int32_t((a >> ch) & 0xFF) * (256 - w) +
                               int32_t((b >> ch) & 0xFF) * w;
                    };
                    const int64_t top = mix(p00, p01, ax.weight), bottom = mix(p10, p11, ax.weight);
                    const int64_t v = (top * (256 - ay.weight) + bottom * ay.weight + 32768) >> 16;
                    word |= uint32_t(v) << ch;
                }
                line[size_t(c)] = word;
            }
        }
        uint8_t* dst = out->Row(uint32_t(dh - 1 - r));
        if (!dst) {
            fresh->ReleaseRows();
            edit.CommitLayerEdit(0);
            return 0;
        }
        std::memcpy(dst, line.data(), size_t(dw) * 4);
    }
    out->Flush();
    fresh->ReleaseRows();
    return edit.CommitLayerEdit(1, "Free Transform");
}

}  // namespace zelvo
