#include "geometry/Resample.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "core/RowBands.h"
#include "geometry/Geometry.h"
#include "platform/Messages.h"
#include "store/RowCursor.h"

namespace zelvo {

namespace {

int32_t ClampIndex(int32_t v, int32_t n) {
    return v < 0 ? 0 : (v >= n ? n - 1 : v);
}

// The source index output index i samples: trunc(i / s), kept inside the source (R3 may give
// one more output pixel than i / s reaches).
int32_t NearestIndex(int32_t i, float s, int32_t n) {
    return ClampIndex(int32_t(float(i) / s), n);
}

// Per output index along one axis, the source indices it reads and their weights. Colour taps
// weigh `weight`; alpha taps (`alpha` 1) are the upper-left sample when enlarging and every
// covered sample when reducing.
struct AxisTaps {
    std::vector<int32_t> start;  // taps of output o are [start[o], start[o + 1])
    std::vector<int32_t> index;
    std::vector<uint32_t> weight;
    std::vector<uint8_t> alpha;
    std::vector<uint32_t> alphaCount;  // per output: how many alpha taps
    int32_t lowest = 0;                // the source indices used
    int32_t highest = 0;

    void Add(int32_t i, uint32_t w, bool a) {
        index.push_back(i);
        weight.push_back(w);
        alpha.push_back(a ? 1 : 0);
    }
};

// Taps for outputs first .. first + count - 1 (counted from the scaled picture's edge).
AxisTaps BuildTaps(int32_t first, int32_t count, float s, int32_t n) {
    AxisTaps t;
    t.lowest = n;
    t.highest = -1;
    for (int32_t o = 0; o < count; ++o) {
        t.start.push_back(int32_t(t.index.size()));
        const int32_t i = first + o;
        if (s == 1.0f) {
            t.Add(ClampIndex(i, n), 1, true);
        } else if (s > 1.0f) {
            const float u = float(i) / s;
            const int32_t b = ClampIndex(int32_t(u), n);
            const uint32_t w1 = uint32_t(std::lround((u - float(b)) * 256.0f));
            if (b + 1 >= n || w1 == 0) {
                // The last source row and column are copied.
                t.Add(b, 256, true);
            } else {
                t.Add(b, 256 - std::min<uint32_t>(w1, 256), true);
                t.Add(b + 1, std::min<uint32_t>(w1, 256), false);
            }
        } else {
            const int32_t lo = ClampIndex(int32_t(float(i) / s), n);
            int32_t hi = int32_t(std::ceil(float(i + 1) / s));
            hi = std::clamp(hi, lo + 1, n);
            for (int32_t k = lo; k < hi; ++k) t.Add(k, 1, true);
        }
        uint32_t alphas = 0;
        for (size_t k = size_t(t.start.back()); k < t.index.size(); ++k) {
            alphas += t.alpha[k];
            t.lowest = std::min(t.lowest, t.index[k]);
            t.highest = std::max(t.highest, t.index[k]);
        }
        t.alphaCount.push_back(alphas);
    }
    t.start.push_back(int32_t(t.index.size()));
    return t;
}

// Runs body(first, end, in, out) over bands of the output's stored rows [first, end), each band
// with its own reader of `src` and cursor of `dst`; false when any band failed.
bool InRowBands(const Layer& src, const Layer& dst,
                const std::function<bool(int32_t, int32_t, RowReader&, RowCursor&)>& body) {
    if (!src.HasPixels() || !dst.HasPixels()) return false;
    const int32_t rows = dst.Height();
    const uint64_t window =
        BandWindowBytes(RowCursor::kDefaultWindowBytes, RowBandCount(rows, kLeastBandRows));
    std::atomic<bool> ok{true};
    ForEachRowBand(rows, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        RowReader in(src.Store(), src.Block(), src.RowsOffset(), src.Stride(),
                     uint32_t(src.Height()), window);
        RowCursor out(dst.Store(), dst.Block(), dst.RowsOffset(), dst.Stride(), uint32_t(rows),
                      window);
        if (!body(first, end, in, out)) ok = false;
    });
    return ok;
}

bool ResampleNearest(Layer& src, Layer& dst, const Rect& full, float sx, float sy) {
    const Rect kept = dst.Bounds();
    const int32_t w = src.Width(), h = src.Height(), kw = kept.Width();
    std::vector<int32_t> column(static_cast<size_t>(kw));
    for (int32_t o = 0; o < kw; ++o)
        column[size_t(o)] = NearestIndex(kept.left - full.left + o, sx, w);
    return InRowBands(src, dst, [&](int32_t first, int32_t end, RowReader& in, RowCursor& out) {
        std::vector<uint32_t> line(static_cast<size_t>(kw));
        int32_t lineSource = -1;
        // Stored rows bottom-up, so both blocks are walked forward.
        for (int32_t r = first; r < end; ++r) {
            const int32_t y = kept.bottom - 1 - r;
            const int32_t source = h - 1 - NearestIndex(y - full.top, sy, h);
            if (source != lineSource) {
                const uint8_t* s = in.Row(uint32_t(source));
                if (!s) return false;
                const uint32_t* sp = reinterpret_cast<const uint32_t*>(s);
                for (int32_t o = 0; o < kw; ++o) line[size_t(o)] = sp[column[size_t(o)]];
                lineSource = source;
            }
            uint8_t* d = out.Row(uint32_t(r));
            if (!d) return false;
            std::memcpy(d, line.data(), 4 * size_t(kw));
        }
        return true;
    });
}

bool ResampleCopy(Layer& src, Layer& dst, const Rect& full) {
    const Rect kept = dst.Bounds();
    const int32_t h = src.Height();
    const size_t from = 4 * size_t(kept.left - full.left);
    return InRowBands(src, dst, [&](int32_t first, int32_t end, RowReader& in, RowCursor& out) {
        for (int32_t r = first; r < end; ++r) {
            const int32_t y = kept.bottom - 1 - r;
            const uint8_t* s = in.Row(uint32_t(h - 1 - ClampIndex(y - full.top, h)));
            uint8_t* d = out.Row(uint32_t(r));
            if (!s || !d) return false;
            std::memcpy(d, s + from, 4 * size_t(kept.Width()));
        }
        return true;
    });
}

bool ResampleSmooth(Layer& src, Layer& dst, const Rect& full, float sx, float sy) {
    const Rect kept = dst.Bounds();
    const int32_t w = src.Width(), h = src.Height(), kw = kept.Width(), kh = kept.Height();
    const AxisTaps cols = BuildTaps(kept.left - full.left, kw, sx, w);
    const AxisTaps rows = BuildTaps(kept.top - full.top, kh, sy, h);
    const int32_t c0 = cols.lowest, span = cols.highest - cols.lowest + 1;
    return InRowBands(src, dst, [&](int32_t first, int32_t end, RowReader& in, RowCursor& out) {
        // Per source column, the row taps summed: colour of the opaque samples, their weight,
        // alpha.
        std::vector<uint32_t> sumB(static_cast<size_t>(span)), sumG(sumB.size()), sumR(sumB.size()),
            sumW(sumB.size()), sumA(sumB.size());
        for (int32_t r = first; r < end; ++r) {
            const int32_t o = kh - 1 - r;  // output row from the top of the kept part
            std::fill(sumB.begin(), sumB.end(), 0u);
            std::fill(sumG.begin(), sumG.end(), 0u);
            std::fill(sumR.begin(), sumR.end(), 0u);
            std::fill(sumW.begin(), sumW.end(), 0u);
            std::fill(sumA.begin(), sumA.end(), 0u);
            // Taps in stored-row order (the reverse of theirs), so the reader's window only
            // moves forward: the integer sums do not depend on the order.
            for (int32_t k = rows.start[size_t(o) + 1] - 1; k >= rows.start[size_t(o)]; --k) {
                const uint8_t* s = in.Row(uint32_t(h - 1 - rows.index[size_t(k)]));
                if (!s) return false;
                const uint32_t wy = rows.weight[size_t(k)];
                const bool alphaTap = rows.alpha[size_t(k)] != 0;
                s += 4 * size_t(c0);
                for (int32_t c = 0; c < span; ++c, s += 4) {
                    const uint32_t a = s[3];
                    if (alphaTap) sumA[size_t(c)] += a;
                    if (a == 0) continue;
                    sumB[size_t(c)] += wy * s[0];
                    sumG[size_t(c)] += wy * s[1];
                    sumR[size_t(c)] += wy * s[2];
                    sumW[size_t(c)] += wy;
                }
            }
            const uint64_t rowAlphas = rows.alphaCount[size_t(o)];
            uint8_t* d = out.Row(uint32_t(r));
            if (!d) return false;
            for (int32_t x = 0; x < kw; ++x, d += 4) {
                uint64_t b = 0, g = 0, red = 0, wsum = 0, a = 0;
                for (int32_t k = cols.start[size_t(x)]; k < cols.start[size_t(x) + 1]; ++k) {
                    const size_t c = size_t(cols.index[size_t(k)] - c0);
                    const uint64_t wx = cols.weight[size_t(k)];
                    b += wx * sumB[c];
                    g += wx * sumG[c];
                    red += wx * sumR[c];
                    wsum += wx * sumW[c];
                    if (cols.alpha[size_t(k)]) a += sumA[c];
                }
                const uint64_t alphaDiv = rowAlphas * cols.alphaCount[size_t(x)];
                d[3] = uint8_t(alphaDiv ? (a + alphaDiv / 2) / alphaDiv : 0);
                if (wsum == 0) {
                    d[0] = d[1] = d[2] = 0;
                    continue;
                }
                d[0] = uint8_t((b + wsum / 2) / wsum);
                d[1] = uint8_t((g + wsum / 2) / wsum);
                d[2] = uint8_t((red + wsum / 2) / wsum);
            }
        }
        return true;
    });
}

}  // namespace

Rect ScaledLayerRect(const Rect& r, float sx, float sy) {
    const int32_t left = RoundR3(float(r.left) * sx), top = RoundR3(float(r.top) * sy);
    return {left, top, left + RoundR3(float(r.Width()) * sx),
            top + RoundR3(float(r.Height()) * sy)};
}

bool ResamplePixels(Layer& src, Layer& dst, const Rect& full, float sx, float sy,
                    ResampleMode mode) {
    if (src.BitsPerPixel() != 32 || dst.BitsPerPixel() != 32 || !src.HasPixels() ||
        !dst.HasPixels() || !(sx > 0.0f) || !(sy > 0.0f))
        return false;
    if (mode == ResampleMode::Nearest) return ResampleNearest(src, dst, full, sx, sy);
    if (sx == 1.0f && sy == 1.0f) return ResampleCopy(src, dst, full);
    return ResampleSmooth(src, dst, full, sx, sy);
}

LayerPtr ResampleLayer(LayerManager& layers, Layer& old, const Rect& full, float sx, float sy,
                       ResampleMode mode, const Rect& canvas, bool cutToCanvas) {
    Rect kept = full;
    if (!full.IsEmpty() && int64_t(full.Width()) * int64_t(full.Height()) > kMaxScaledLayerPixels) {
        AppMessages().Show("Images more than 20 million pixels,Will be cut!");
        kept = full.Intersect(canvas);
    } else if (cutToCanvas) {
        kept = full.Intersect(canvas);
    }
    if (kept.IsEmpty() || !old.HasPixels()) return NewLayerLike(layers, old, LayerKind::Null, 0, 0);
    LayerPtr fresh = NewLayerLike(layers, old, LayerKind::Pixel, kept.Width(), kept.Height());
    if (!fresh) return nullptr;
    fresh->SetPosition(kept.left, kept.top);
    if (!ResamplePixels(old, *fresh, full, sx, sy, mode)) return nullptr;
    return fresh;
}

}  // namespace zelvo
