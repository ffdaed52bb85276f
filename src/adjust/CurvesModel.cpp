// Image > Adjustments > Curves: the editor model and the transfer table.
#include "adjust/CurvesModel.h"

#include <algorithm>
#include <cmath>

namespace zelvo {

CurvesModel::CurvesModel() {
    Reset();
}

void CurvesModel::Reset() {
    m_anchors = {{1, kSize}, {kSize, 1}};
    m_free = false;
    m_changed = false;
    Rebuild();
}

void CurvesModel::Rebuild() {
    const size_t n = m_anchors.size();
    m_segments.assign(n - 1, Bezier{});
    for (size_t i = 0; i + 1 < n; ++i) {
        Bezier& b = m_segments[i];
        b.x = {double(m_anchors[i].x), double(m_anchors[i].x), double(m_anchors[i + 1].x),
               double(m_anchors[i + 1].x)};
        b.y = {double(m_anchors[i].y), double(m_anchors[i].y), double(m_anchors[i + 1].y),
               double(m_anchors[i + 1].y)};
    }
    // Inner controls beside every interior anchor: at the x-midpoints of the two segments, on
    // the line through the anchor parallel to the chord between its neighbours.
    for (size_t i = 1; i + 1 < n; ++i) {
        const Point p = m_anchors[i - 1], a = m_anchors[i], q = m_anchors[i + 1];
        const double slope = double(q.y - p.y) / double(q.x - p.x);
        int32_t half = (a.x - p.x) / 2;
        const int32_t left = half == 0 ? p.x : p.x + half;
        half = (q.x - a.x) / 2;
        const int32_t right = half == 0 ? q.x : a.x + half;
        m_segments[i - 1].x[2] = left;
        m_segments[i - 1].y[2] = a.y + slope * (left - a.x);
        m_segments[i].x[1] = right;
        m_segments[i].y[1] = a.y + slope * (right - a.x);
    }
    if (m_free) return;
    for (const Bezier& b : m_segments)
        SteppedSearch(b, int32_t(b.x[0]), int32_t(b.x[3]), [this](int32_t x, double y) {
            if (x >= 1 && x <= kSize)
                m_samples[size_t(x - 1)] = int32_t(std::clamp(y, 1.0, double(kSize)));
        });
    // Beyond the end anchors the curve stays level, as a black or white point clips: left
    // alone, those samples would keep what earlier positions of the anchor left there.
    const Point first = m_anchors.front(), last = m_anchors.back();
    for (int32_t x = 1; x < first.x; ++x) m_samples[size_t(x - 1)] = std::clamp(first.y, 1, kSize);
    for (int32_t x = last.x + 1; x <= kSize; ++x)
        m_samples[size_t(x - 1)] = std::clamp(last.y, 1, kSize);
}

int32_t CurvesModel::Press(int32_t x, int32_t y) {
    int32_t best = -1;
    double bestD = 0;
    for (size_t i = 0; i < m_anchors.size(); ++i) {
        const double d = std::hypot(m_anchors[i].x - x, m_anchors[i].y - y);
        if (d <= kPickDistance && (best < 0 || d < bestD)) {
            best = int32_t(i);
            bestD = d;
        }
    }
    if (best >= 0) return best;
    for (size_t i = 0; i < m_segments.size(); ++i) {
        for (int k = 0; k <= 20; ++k) {
            const double t = k * 0.05;
            if (std::hypot(m_segments[i].X(t) - x, m_segments[i].Y(t) - y) > kPickDistance)
                continue;
            const Point prev = m_anchors[i], next = m_anchors[i + 1];
            if (next.x - prev.x < 2) return -1;  // no room for an anchor between them
            const Point at{std::clamp(x, prev.x + 1, next.x - 1), std::clamp(y, 1, kSize)};
            m_anchors.insert(m_anchors.begin() + ptrdiff_t(i + 1), at);
            m_changed = true;
            Rebuild();
            return int32_t(i + 1);
        }
    }
    return -1;
}

void CurvesModel::Drag(int32_t index, int32_t x, int32_t y) {
    if (index < 0 || size_t(index) >= m_anchors.size()) return;
    const int32_t lo = index > 0 ? m_anchors[size_t(index - 1)].x + 1 : 1;
    const int32_t hi =
        size_t(index) + 1 < m_anchors.size() ? m_anchors[size_t(index + 1)].x - 1 : kSize;
    if (lo > hi) return;
    m_anchors[size_t(index)] = {std::clamp(x, lo, hi), std::clamp(y, 1, kSize)};
    m_changed = true;
    Rebuild();
}

bool CurvesModel::SetAnchors(const std::vector<Point>& anchors) {
    if (anchors.size() < 2) return false;
    for (size_t i = 0; i < anchors.size(); ++i) {
        const Point p = anchors[i];
        if (p.x < 1 || p.x > kSize || p.y < 1 || p.y > kSize) return false;
        if (i > 0 && p.x <= anchors[i - 1].x) return false;
    }
    const std::vector<Point> before = m_anchors;
    m_anchors = anchors;
    if (m_anchors != before) m_changed = true;
    Rebuild();
    return true;
}

void CurvesModel::SetFreeLine(bool on) {
    m_free = on;
    Rebuild();
}

void CurvesModel::DrawFree(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    x0 = std::clamp(x0, 1, kSize), x1 = std::clamp(x1, 1, kSize);
    y0 = std::clamp(y0, 1, kSize), y1 = std::clamp(y1, 1, kSize);
    if (x0 > x1) std::swap(x0, x1), std::swap(y0, y1);
    for (int32_t x = x0; x <= x1; ++x)
        m_samples[size_t(x - 1)] = x1 == x0 ? y1 : y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    m_changed = true;
}

Table256 CurvesTableFromSamples(const std::array<int32_t, CurvesModel::kSize>& p) {
    Table256 t{};
    const double k = 255.0 / 179;
    auto out = [k](double y) { return std::clamp(255 - int32_t(std::trunc((y - 1) * k)), 0, 255); };
    t[0] = out(p[0]);
    t[255] = out(p[179]);
    for (int v = 1; v < 255; ++v) {
        const double x = v * 179.0 / 255;
        const int j = int(x);
        const double y =
            j >= 179 ? p[size_t(j)] : p[size_t(j)] + (x - j) * (p[size_t(j + 1)] - p[size_t(j)]);
        t[size_t(v)] = out(y);
    }
    return t;
}

Table256 CurvesModel::TransferTable() const {
    return CurvesTableFromSamples(m_samples);
}

}  // namespace zelvo
