#include "paint/RetouchDabs.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "paint/PixelRules.h"
#include "paint/Stroke.h"
#include "paint/StrokeGeometry.h"

namespace zelvo {

namespace {

struct Curve {
    double x[4], y[4];
    int cap;
};

double Bezier(const double* c, double t) {
    const double u = 1 - t;
    return u * u * u * c[0] + 3 * u * u * t * c[1] + 3 * u * t * t * c[2] + t * t * t * c[3];
}

const Curve kHighlights{{0, 0, 256, 256}, {0, 0, 85, 85}, 85};
const Curve kShadows{{0, 0, 256, 256}, {85, 85, 0, 0}, 85};
const Curve kMidtones{{0, 50, 225, 256}, {0, 100, 0, 0}, 70};

}  // namespace

std::array<int, 256> ToneTable(ToneRange range, bool dark) {
    const Curve& c = range == ToneRange::Midtones               ? kMidtones
                     : (range == ToneRange::Highlights) != dark ? kHighlights
                                                                : kShadows;
    std::array<int, 256> table{};
    // The curve's x grows with t, so one walk serves every x: coarse steps until it passes x,
    // then fine steps from the last coarse point that had not.
    double t = 0;
    for (int x = 1; x <= 256; ++x) {
        while (t < 1 && Bezier(c.x, t) < x) t += 0.005;
        double f = std::max(0.0, t - 0.005);
        while (f < t && Bezier(c.x, f) < x) f += 0.001;
        const double y = Bezier(c.y, std::min(1.0, f));
        const double whole = std::floor(y);
        const int v = int(whole) + (y - whole >= 0.3 ? 1 : 0);
        table[size_t(x - 1)] = std::clamp(v, 0, c.cap);
        t = std::max(0.0, t - 0.005);
    }
    return table;
}

void BlurKernel(int strength, RetouchParams& params) {
    if (strength <= 0) {
        params.w0 = 1;
        params.w1 = params.w2 = 0;
        return;
    }
    const double s = strength / 100.0;
    params.w0 = 1 / (2 * std::numbers::pi * s * s);
    params.w1 = params.w0 * std::exp(-1 / (2 * s * s));
    params.w2 = params.w0 * std::exp(-2 / (2 * s * s));
}

void SpongePixel(const uint8_t* in, int e, bool desaturate, uint8_t* out) {
    const int sum = in[0] + in[1] + in[2];
    const int u = 100 + (desaturate ? -e : e);  // the factor, in hundredths
    for (int i = 0; i < 3; ++i) {
        // g + u (v - g) with g = sum / 3, over the common denominator 300.
        const int num = sum * 100 + u * (3 * in[i] - sum);
        out[i] = uint8_t(std::clamp(num / 300, 0, 255));
    }
    out[3] = in[3];
}

bool StrokePainter::RetouchDab(const Rect& dab, const Rect& clip) {
    const PercentTables& t = *m_target.tables;
    const BrushTip& tip = m_target.tip;
    const RetouchParams& rp = m_target.retouch;
    const StrokeKind kind = m_target.kind;
    Layer* layer = m_target.layer.get();
    const Rect lb = m_layerRows ? layer->Bounds() : Rect{};
    Layer* mask = m_target.mask.get();
    const Rect mb = mask ? mask->Bounds() : Rect{};
    const Rect canvas{0, 0, m_target.canvasWidth, m_target.canvasHeight};

    // The dab's pixels and a one-pixel ring around them, copied out first so that every rule
    // reads values from before this dab: the pre-stroke layer pixel and the record.
    const Rect ring{clip.left - 1, clip.top - 1, clip.right + 1, clip.bottom + 1};
    const size_t gw = size_t(ring.Width()), gh = size_t(ring.Height());
    m_retouchLayer.assign(gw * gh * 4, 0);
    m_retouchRecords.assign(gw * gh * 5, 0);
    for (int32_t y = ring.top; y < ring.bottom; ++y) {
        const size_t gi = size_t(y - ring.top) * gw;
        const Rect lr = Rect{ring.left, y, ring.right, y + 1}.Intersect(lb);
        if (!lr.IsEmpty()) {
            const uint8_t* row = m_layerRows->Row(uint32_t(layer->StoredRowOf(y)));
            if (!row) return false;
            std::memcpy(&m_retouchLayer[(gi + size_t(lr.left - ring.left)) * 4],
                        row + 4 * size_t(lr.left - lb.left), 4 * size_t(lr.Width()));
        }
        const Rect rr = Rect{ring.left, y, ring.right, y + 1}.Intersect(canvas);
        if (!rr.IsEmpty()) {
            const uint8_t* row = m_records->Row(uint32_t(y));
            if (!row) return false;
            std::memcpy(&m_retouchRecords[(gi + size_t(rr.left - ring.left)) * 5],
                        row + 5 * size_t(rr.left), 5 * size_t(rr.Width()));
        }
    }
    auto at = [&](int32_t x, int32_t y) {
        return size_t(y - ring.top) * gw + size_t(x - ring.left);
    };
    // The value a blur reads: the record where this stroke has painted it, else the layer.
    auto current = [&](int32_t x, int32_t y) -> const uint8_t* {
        const size_t i = at(x, y);
        return m_retouchRecords[i * 5] ? &m_retouchRecords[i * 5 + 1] : &m_retouchLayer[i * 4];
    };

    for (int32_t cy = clip.top; cy < clip.bottom; ++cy) {
        uint8_t* rec = m_records->Row(uint32_t(cy));
        if (!rec) return false;
        const uint8_t* mrow = nullptr;
        if (m_maskRows && cy >= mb.top && cy < mb.bottom) {
            mrow = m_maskRows->Row(uint32_t(mask->StoredRowOf(cy)));
            if (!mrow) return false;
        }
        // Rows of the ring stay in the copies; only this row's records are written.
        for (int32_t cx = clip.left; cx < clip.right; ++cx) {
            const int tv = tip.At(cy - dab.top, cx - dab.left);
            if (tv == 0) continue;
            const size_t i = at(cx, cy);
            const int c = m_retouchRecords[i * 5];
            if (c == 0) ++m_touched;
            const int c2 = AddCoverage(t, c, tv);
            const int e = SelectionShare(t, c2, mask != nullptr, mrow, mb, cx);
            const uint8_t* p = &m_retouchLayer[i * 4];
            uint8_t out[4] = {p[0], p[1], p[2], p[3]};
            if (p[3] != 0) {
                switch (kind) {
                    case StrokeKind::Lighten:
                        for (int k = 0; k < 3; ++k) out[k] = uint8_t(LightenChannel(rp, p[k], e));
                        break;
                    case StrokeKind::Darken:
                        for (int k = 0; k < 3; ++k) out[k] = uint8_t(DarkenChannel(rp, p[k], e));
                        break;
                    case StrokeKind::SpongeSaturate:
                    case StrokeKind::SpongeDesaturate:
                        SpongePixel(p, e, kind == StrokeKind::SpongeDesaturate, out);
                        break;
                    case StrokeKind::Sharpen: {
                        int n = 0, sum[3] = {0, 0, 0};
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dx = -1; dx <= 1; ++dx) {
                                const uint8_t* q = &m_retouchLayer[at(cx + dx, cy + dy) * 4];
                                if ((dx == 0 && dy == 0) || q[3] == 0) continue;
                                ++n;
                                for (int k = 0; k < 3; ++k) sum[k] += q[k];
                            }
                        for (int k = 0; k < 3; ++k)
                            out[k] =
                                uint8_t(std::clamp(p[k] + (n * p[k] - sum[k]) * e / 400, 0, 255));
                        break;
                    }
                    case StrokeKind::Blur: {
                        const uint8_t* v = current(cx, cy);
                        double acc[3] = {rp.w0 * v[0], rp.w0 * v[1], rp.w0 * v[2]};
                        double weight = rp.w0;
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dx = -1; dx <= 1; ++dx) {
                                if (dx == 0 && dy == 0) continue;
                                const int32_t nx = cx + dx, ny = cy + dy;
                                if (!lb.Contains({nx, ny})) continue;
                                const uint8_t* q = current(nx, ny);
                                if (q[3] == 0) continue;
                                const double w = dx != 0 && dy != 0 ? rp.w2 : rp.w1;
                                weight += w;
                                for (int k = 0; k < 3; ++k) acc[k] += w * q[k];
                            }
                        for (int k = 0; k < 3; ++k) {
                            // The small bias keeps a lone centre (w0 v / w0) from rounding below v.
                            const int b = int(acc[k] / weight + 1e-9);
                            out[k] = uint8_t(v[k] + e * (b - v[k]) / 100);
                        }
                        out[3] = v[3];
                        break;
                    }
                    default:
                        break;
                }
            }
            uint8_t* r = rec + 5 * size_t(cx);
            std::memcpy(r + 1, out, 4);
            // The coverage last, as the brush does: the display reads the records meanwhile.
            std::atomic_ref<uint8_t>(r[0]).store(uint8_t(c2), std::memory_order_release);
        }
    }
    return true;
}

}  // namespace zelvo
