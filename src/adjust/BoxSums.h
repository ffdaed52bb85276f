// Sums over the box window of every pixel of an image, kept as running column sums while the
// window slides down, so the cost per pixel does not depend on the radius. The rows come from
// a source asked in increasing order (a RowRing keeping 2 * radius + 2 rows is enough), so the
// memory is a few rows, whatever the height.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "adjust/AdjustPass.h"

namespace zelvo {

struct BoxRow {
    // Per pixel of one row: opaque count, channel sums of the opaque pixels, alpha sum of all,
    // and the window's area inside the image.
    std::vector<int32_t> count, b, g, r, a, area;
};

class BoxRows {
public:
    using RowAt = std::function<const uint32_t*(int32_t)>;

    // Next() first gives row `first`: a band of a pass starts its own sums there. The sums
    // are exact integers, so they do not depend on where they started.
    BoxRows(int32_t width, int32_t height, int32_t radius, RowAt rowAt, int32_t first = 0)
        : m_w(std::max(width, 0)),
          m_h(std::max(height, 0)),
          m_radius(std::max(radius, 0)),
          m_rowAt(std::move(rowAt)),
          m_first(std::clamp(first, 0, m_h)),
          m_y(m_first) {
        for (auto* v : {&m_cc, &m_cb, &m_cg, &m_cr, &m_ca}) v->assign(size_t(m_w), 0);
        for (auto* v : {&m_s.count, &m_s.b, &m_s.g, &m_s.r, &m_s.a, &m_s.area})
            v->assign(size_t(m_w), 0);
    }

    // The sums of row 0, 1, … in turn; null past the last row or when a row could not be had.
    const BoxRow* Next() {
        const int32_t y = m_y;
        if (y >= m_h) return nullptr;
        // Before row y the columns hold rows y - radius - 1 .. y + radius - 1.
        if (y == m_first)
            for (int32_t k = std::max(0, y - m_radius - 1); k < y + m_radius && k < m_h; ++k)
                if (!AddRow(k, 1)) return nullptr;
        if (y + m_radius < m_h && !AddRow(y + m_radius, 1)) return nullptr;
        if (y - m_radius - 1 >= 0 && !AddRow(y - m_radius - 1, -1)) return nullptr;
        const int32_t w = m_w, radius = m_radius;
        const int32_t rows = std::min(m_h - 1, y + radius) - std::max(0, y - radius) + 1;
        int64_t n = 0, b = 0, g = 0, r = 0, a = 0;
        for (int32_t x = 0; x < radius && x < w; ++x)
            n += m_cc[size_t(x)], b += m_cb[size_t(x)], g += m_cg[size_t(x)], r += m_cr[size_t(x)],
                a += m_ca[size_t(x)];
        for (int32_t x = 0; x < w; ++x) {
            const int32_t in = x + radius, out = x - radius - 1;
            if (in < w)
                n += m_cc[size_t(in)], b += m_cb[size_t(in)], g += m_cg[size_t(in)],
                    r += m_cr[size_t(in)], a += m_ca[size_t(in)];
            if (out >= 0)
                n -= m_cc[size_t(out)], b -= m_cb[size_t(out)], g -= m_cg[size_t(out)],
                    r -= m_cr[size_t(out)], a -= m_ca[size_t(out)];
            const int32_t cols = std::min(w - 1, x + radius) - std::max(0, x - radius) + 1;
            m_s.count[size_t(x)] = int32_t(n), m_s.b[size_t(x)] = int32_t(b),
            m_s.g[size_t(x)] = int32_t(g);
            m_s.r[size_t(x)] = int32_t(r), m_s.a[size_t(x)] = int32_t(a),
            m_s.area[size_t(x)] = rows * cols;
        }
        ++m_y;
        return &m_s;
    }

private:
    bool AddRow(int32_t y, int sign) {
        const uint32_t* line = m_rowAt(y);
        if (!line) return false;
        for (int32_t x = 0; x < m_w; ++x) {
            const uint32_t p = line[x];
            m_ca[size_t(x)] += sign * ChA(p);
            if (ChA(p) == 0) continue;
            m_cc[size_t(x)] += sign;
            m_cb[size_t(x)] += sign * ChB(p);
            m_cg[size_t(x)] += sign * ChG(p);
            m_cr[size_t(x)] += sign * ChR(p);
        }
        return true;
    }

    int32_t m_w, m_h, m_radius;
    RowAt m_rowAt;
    std::vector<int32_t> m_cc, m_cb, m_cg, m_cr, m_ca;  // column sums over the window's rows
    BoxRow m_s;
    int32_t m_first;
    int32_t m_y;
};

// Calls `row(y, sums)` for y = 0..height-1 in order, over a whole buffer.
template <class F>
void ForEachBoxRow(const PixelBuffer& src, int32_t radius, F row) {
    BoxRows rows(src.width, src.height, radius,
                 [&src](int32_t y) { return &src.px[size_t(y) * size_t(src.width)]; });
    for (int32_t y = 0; y < src.height; ++y) row(y, *rows.Next());
}

// The ring a box pass over `height` rows of radius `radius` needs: the window's rows and the
// one leaving it, and a row on either side of the centre for the neighbour rules.
inline int32_t BoxRingRows(int32_t radius) {
    return 2 * std::max(radius, 1) + 2;
}

// The selection rule of the box filters at strength s: the old pixel at 0, the result at 100;
// between, the old pixel where the result is transparent, a mix of every channel and A where
// the old pixel is opaque, and the result where it is not.
inline uint32_t BoxSelectionMix(uint32_t old, uint32_t res, int s) {
    if (s <= 0) return old;
    if (s >= 100) return res;
    if (ChA(res) == 0) return old;
    if (ChA(old) == 0) return res;
    return MakePixel(StrengthMix(ChB(old), ChB(res), s), StrengthMix(ChG(old), ChG(res), s),
                     StrengthMix(ChR(old), ChR(res), s), StrengthMix(ChA(old), ChA(res), s));
}

}  // namespace zelvo
