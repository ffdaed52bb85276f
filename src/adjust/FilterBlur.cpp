// Filter > Blur...: a five-point Gaussian for slider values 1..10 (sigma = value / 10), a box
// blur of radius value - 10 above, which grows the layer by the radius within the canvas.
// Applied row by row in bands: the Gaussian keeps three rows, the box blur 2r + 2.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "adjust/BoxSums.h"
#include "adjust/Filters.h"
#include "adjust/MixRuns.h"
#include "core/CpuLevel.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

struct GaussianWeights {
    double w0, w1;
    explicit GaussianWeights(int32_t slider) {
        const double sigma = std::clamp(slider, 1, 10) * 0.1;
        w0 = 1 / (2 * M_PI * sigma * sigma);
        w1 = w0 * std::exp(-1 / (2 * sigma * sigma));
    }
};

// One pixel of a row: `mid` with its canvas neighbours `above` and `below` (null at the edges).
// The neighbours are added left, right, above, below: the sums are in floating point.
inline uint32_t GaussianPixel(const GaussianWeights& k, const uint32_t* above, const uint32_t* mid,
                              const uint32_t* below, int32_t w, int32_t x) {
    const double w0 = k.w0, w1 = k.w1;
    const uint32_t c = mid[x];
    double sb = w0 * ChB(c), sg = w0 * ChG(c), sr = w0 * ChR(c), sa = w0 * ChA(c), sw = w0;
    auto add = [&](uint32_t p) {
        if (ChA(p) == 0) return;
        sb += w1 * ChB(p), sg += w1 * ChG(p), sr += w1 * ChR(p), sa += w1 * ChA(p);
        sw += w1;
    };
    if (x > 0) add(mid[x - 1]);
    if (x + 1 < w) add(mid[x + 1]);
    if (above) add(above[x]);
    if (below) add(below[x]);
    const int a = std::min(100, int(sa / sw + 0.5));
    return MakePixel(int(sb / sw), int(sg / sw), int(sr / sw), a);
}

// The vector helpers below are internal and inlined: no call crosses an ABI boundary.
#pragma GCC diagnostic ignored "-Wpsabi"
using V8u = uint32_t __attribute__((vector_size(32)));
using V8i = int32_t __attribute__((vector_size(32)));
using V8l = int64_t __attribute__((vector_size(64)));
using V8d = double __attribute__((vector_size(64)));

inline V8u Load8(const uint32_t* p) {
    V8u v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline V8d Load8(const double* p) {
    V8d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store8(double* p, const V8d& v) {
    std::memcpy(p, &v, sizeof v);
}
inline V8d ToDouble(const V8u& v) {
    return __builtin_convertvector(V8i(v), V8d);
}
inline V8d Splat(double v) {
    return V8d{} + v;
}

// What one source pixel adds to each neighbour's sums, per channel plane (B, G, R, A, weight):
// w1 times the channel, or +0.0 for a transparent pixel, where the scalar rule adds nothing
// and which leaves the (non-negative) sums as they are. Every pixel is a neighbour of four
// others, so its terms are worked out once per source row instead of once per neighbour.
constexpr size_t kTermPlanes = 5;

[[gnu::always_inline]] inline void FillTerms(double w1, const uint32_t* px, int32_t w,
                                             double* terms) {
    const size_t n = size_t(w);
    double *b = terms, *g = b + n, *r = g + n, *a = r + n, *wt = a + n;
    const V8d w1v = Splat(w1);
    int32_t x = 0;
    for (; x + 8 <= w; x += 8) {
        const V8u p = Load8(px + x);
        const V8l on = __builtin_convertvector(V8i((p >> 24) != 0), V8l);
        auto part = [&on](const V8d& v) { return V8d(V8l(v) & on); };
        Store8(b + x, part(w1v * ToDouble(p & 0xff)));
        Store8(g + x, part(w1v * ToDouble((p >> 8) & 0xff)));
        Store8(r + x, part(w1v * ToDouble((p >> 16) & 0xff)));
        Store8(a + x, part(w1v * ToDouble(p >> 24)));
        Store8(wt + x, part(w1v));
    }
    for (; x < w; ++x) {
        const uint32_t p = px[x];
        const bool on = ChA(p) != 0;
        b[x] = on ? w1 * ChB(p) : 0.0;
        g[x] = on ? w1 * ChG(p) : 0.0;
        r[x] = on ? w1 * ChR(p) : 0.0;
        a[x] = on ? w1 * ChA(p) : 0.0;
        wt[x] = on ? w1 : 0.0;
    }
}

// One row: GaussianPixel at every x; the inner pixels, which have both side neighbours, eight
// at a time, every lane through the scalar rule's operations in its order (the file is built
// without contracting a product and a sum into one rounding). `*Terms` are the rows' terms.
[[gnu::always_inline]] inline void GaussianRow(const GaussianWeights& k, const uint32_t* above,
                                               const uint32_t* mid, const uint32_t* below,
                                               int32_t w, uint32_t* out, const double* aboveTerms,
                                               const double* midTerms, const double* belowTerms) {
    if (w <= 0) return;
    out[0] = GaussianPixel(k, above, mid, below, w, 0);
    const size_t n = size_t(w);
    const V8d w0 = Splat(k.w0);
    int32_t x = 1;
    for (; x + 8 <= w - 1; x += 8) {
        const V8u c = Load8(mid + x);
        V8d sb = w0 * ToDouble(c & 0xff), sg = w0 * ToDouble((c >> 8) & 0xff),
            sr = w0 * ToDouble((c >> 16) & 0xff), sa = w0 * ToDouble(c >> 24), sw = w0;
        auto add = [&](const double* t) {
            sb += Load8(t);
            sg += Load8(t + n);
            sr += Load8(t + 2 * n);
            sa += Load8(t + 3 * n);
            sw += Load8(t + 4 * n);
        };
        add(midTerms + x - 1);
        add(midTerms + x + 1);
        if (above) add(aboveTerms + x);
        if (below) add(belowTerms + x);
        const V8i qb = __builtin_convertvector(sb / sw, V8i);
        const V8i qg = __builtin_convertvector(sg / sw, V8i);
        const V8i qr = __builtin_convertvector(sr / sw, V8i);
        V8i qa = __builtin_convertvector(sa / sw + 0.5, V8i);
        qa = qa < 100 ? qa : 100;
        const V8u words = V8u(qb) | V8u(qg) << 8 | V8u(qr) << 16 | V8u(qa) << 24;
        std::memcpy(out + x, &words, sizeof words);
    }
    for (; x < w; ++x) out[x] = GaussianPixel(k, above, mid, below, w, x);
}

inline uint32_t BoxBlurPixel(const BoxRow& s, size_t i) {
    const int a = s.a[i] / s.area[i];
    if (a == 0 || s.count[i] == 0) return MakePixel(0, 0, 0, a);
    return MakePixel(s.b[i] / s.count[i], s.g[i] / s.count[i], s.r[i] / s.count[i], a);
}

[[gnu::always_inline]] inline V8i Load8(const std::vector<int32_t>& v, int32_t x) {
    V8i r;
    std::memcpy(&r, v.data() + x, sizeof r);
    return r;
}
[[gnu::always_inline]] inline V8i Quotient(const V8i& n, const V8i& d) {
    return __builtin_convertvector(
        __builtin_convertvector(n, V8d) / __builtin_convertvector(d, V8d), V8i);
}

// BoxBlurPixel eight pixels at a time. The sums are non-negative and at most 255 times a window
// of (2 * 100 + 1)^2 pixels, far below 2^53, so each truncated double quotient is exactly the
// integer one; a count of 0 (whose sums are 0) is divided as 1 and its channels masked off.
[[gnu::always_inline]] inline void BoxBlurRow(const BoxRow& s, int32_t w, uint32_t* out) {
    int32_t x = 0;
    for (; x + 8 <= w; x += 8) {
        const V8i count = Load8(s.count, x), one = count < 1;  // -1 where the count is 0
        const V8i divisor = count - one;
        const V8i a = Quotient(Load8(s.a, x), Load8(s.area, x));
        const V8i colour = Quotient(Load8(s.b, x), divisor) |
                           Quotient(Load8(s.g, x), divisor) << 8 |
                           Quotient(Load8(s.r, x), divisor) << 16;
        const V8i keep = ~((a == 0) | one);
        const V8u words = V8u(colour & keep) | V8u(a) << 24;
        std::memcpy(out + x, &words, sizeof words);
    }
    for (; x < w; ++x) out[x] = BoxBlurPixel(s, size_t(x));
}

// The kernels built for each processor level: the same operations in the same order, in
// lanes as wide as the level has.
struct BlurKernels {
    void (*fillTerms)(double, const uint32_t*, int32_t, double*);
    void (*row)(const GaussianWeights&, const uint32_t*, const uint32_t*, const uint32_t*, int32_t,
                uint32_t*, const double*, const double*, const double*);
    void (*boxRow)(const BoxRow&, int32_t, uint32_t*);
};

#define ZELVO_BLUR_KERNELS(NAME, TARGET)                                                           \
    TARGET void FillTerms##NAME(double w1, const uint32_t* px, int32_t w, double* terms) {         \
        FillTerms(w1, px, w, terms);                                                               \
    }                                                                                              \
    TARGET void GaussianRow##NAME(const GaussianWeights& k, const uint32_t* above,                 \
                                  const uint32_t* mid, const uint32_t* below, int32_t w,           \
                                  uint32_t* out, const double* aboveTerms, const double* midTerms, \
                                  const double* belowTerms) {                                      \
        GaussianRow(k, above, mid, below, w, out, aboveTerms, midTerms, belowTerms);               \
    }                                                                                              \
    TARGET void BoxBlurRow##NAME(const BoxRow& s, int32_t w, uint32_t* out) {                      \
        BoxBlurRow(s, w, out);                                                                     \
    }
ZELVO_BLUR_KERNELS(V4, __attribute__((target("arch=x86-64-v4"))))
ZELVO_BLUR_KERNELS(Avx2, __attribute__((target("avx2"))))
ZELVO_BLUR_KERNELS(Base, )
#undef ZELVO_BLUR_KERNELS

BlurKernels KernelsFor(CpuLevel level) {
    switch (level) {
        case CpuLevel::Avx512Vbmi:
        case CpuLevel::V4:
            return {FillTermsV4, GaussianRowV4, BoxBlurRowV4};
        case CpuLevel::Avx2:
            return {FillTermsAvx2, GaussianRowAvx2, BoxBlurRowAvx2};
        default:
            return {FillTermsBase, GaussianRowBase, BoxBlurRowBase};
    }
}

// The terms of the last three source rows a band asked for (the rows above, at and below an
// output row), each filled once.
class GaussianTerms {
public:
    GaussianTerms(double w1, int32_t w, const BlurKernels& kernels)
        : m_w1(w1),
          m_w(w),
          m_fill(kernels.fillTerms),
          m_planes(3 * kTermPlanes * size_t(std::max(w, 0))) {}
    // The terms of source row `row` whose pixels are `px` (null: none).
    const double* Of(int32_t row, const uint32_t* px) {
        if (!px) return nullptr;
        const size_t slot = size_t((row % 3 + 3) % 3);
        double* t = m_planes.data() + slot * kTermPlanes * size_t(m_w);
        if (m_rows[slot] != row) {
            m_fill(m_w1, px, m_w, t);
            m_rows[slot] = row;
        }
        return t;
    }

private:
    double m_w1;
    int32_t m_w;
    void (*m_fill)(double, const uint32_t*, int32_t, double*);
    std::vector<double> m_planes;
    int32_t m_rows[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
};

int ApplyGaussian(HistoryManager& history, const Layer& layer, int32_t slider) {
    const Rect b = layer.Bounds();
    const int32_t w = layer.Width(), h = layer.Height();
    const GaussianWeights k(slider);
    LayerManager& lm = history.Layers();
    return RunBandFilter(history, "Blur", b, false, [&](int32_t first, int32_t, uint64_t window) {
        std::shared_ptr<RowReader> src = LayerRowReader(layer, window);
        // The band looks one row back from its first.
        auto ring = std::make_shared<RowRing>(
            w, h, 3, [src](int32_t row) { return src->Row(uint32_t(row)); }, first - 1);
        const BlurKernels kernels = KernelsFor(BestCpuLevel());
        auto terms = std::make_shared<GaussianTerms>(k.w1, w, kernels);
        auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
        return RowFill([=](int32_t row, uint32_t* out) {
            // Stored rows run bottom-up: the canvas row above is the next stored row.
            const uint32_t* above = ring->Row(row + 1);
            const uint32_t* mid = ring->Row(row);
            const uint32_t* below = ring->Row(row - 1);
            if (!mid || ring->Failed()) return false;
            kernels.row(k, above, mid, below, w, out, terms->Of(row + 1, above),
                        terms->Of(row, mid), terms->Of(row - 1, below));
            if (const uint8_t* s = strength->Row(b.bottom - 1 - row)) {
                if (StrengthsArePercents(s, w))
                    MixRun(mid, out, s, out, w, true);
                else
                    for (int32_t x = 0; x < w; ++x)
                        out[x] = GaussianSelectionMix(mid[x], out[x], s[x]);
            }
            return true;
        });
    });
}

int ApplyBoxBlur(HistoryManager& history, const Layer& layer, int32_t slider) {
    LayerManager& lm = history.Layers();
    const Rect b = layer.Bounds();
    const int32_t radius =
        std::max(0, std::min(slider - 10, std::min(layer.Width(), layer.Height()) - 1));
    const Rect grown =
        Rect{b.left - radius, b.top - radius, b.right + radius, b.bottom + radius}.Intersect(
            CanvasRect(lm));
    if (grown.IsEmpty()) return 0;
    const int32_t gw = grown.Width(), gh = grown.Height();
    // The layer's rows laid into the grown rectangle, transparent around them.
    const int32_t from = std::max(b.left, grown.left), to = std::min(b.right, grown.right);
    return RunBandFilter(
        history, "Blur", grown, true, [&](int32_t first, int32_t, uint64_t window) {
            std::shared_ptr<RowReader> src = LayerRowReader(layer, window);
            auto padded = std::make_shared<std::vector<uint32_t>>(size_t(gw), 0);
            // The sums of the band's first row start from the rows of its window and the one
            // leaving it.
            auto ring = std::make_shared<RowRing>(
                gw, gh, BoxRingRows(radius),
                [=, &b](int32_t row) -> const uint8_t* {
                    std::fill(padded->begin(), padded->end(), 0u);
                    const int32_t cy = grown.bottom - 1 - row;
                    if (cy >= b.top && cy < b.bottom && from < to) {
                        const uint8_t* line = src->Row(uint32_t(b.bottom - 1 - cy));
                        if (!line) return nullptr;
                        std::memcpy(&padded->at(size_t(from - grown.left)),
                                    line + 4 * size_t(from - b.left), 4 * size_t(to - from));
                    }
                    return reinterpret_cast<const uint8_t*>(padded->data());
                },
                first - radius - 1);
            auto sums = std::make_shared<BoxRows>(
                gw, gh, radius, [ring](int32_t row) { return ring->Row(row); }, first);
            auto strength = std::make_shared<StrengthRows>(lm, grown.left, gw, window);
            const BlurKernels kernels = KernelsFor(BestCpuLevel());
            return RowFill([=](int32_t row, uint32_t* out) {
                const BoxRow* s = sums->Next();
                const uint32_t* old = ring->Row(row);
                if (!s || !old) return false;
                kernels.boxRow(*s, gw, out);
                if (const uint8_t* st = strength->Row(grown.bottom - 1 - row))
                    for (int32_t x = 0; x < gw; ++x)
                        out[x] = BoxSelectionMix(old[x], out[x], st[x]);
                return true;
            });
        });
}

}  // namespace

PixelBuffer GaussianBlurResult(const PixelBuffer& src, int32_t slider, CpuLevel level) {
    const GaussianWeights k(slider);
    const int32_t w = src.width, h = src.height;
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    const BlurKernels kernels = KernelsFor(level);
    GaussianTerms terms(k.w1, w, kernels);
    auto row = [&](int32_t y) {
        return y >= 0 && y < h ? &src.px[size_t(y) * size_t(w)] : nullptr;
    };
    for (int32_t y = 0; y < h; ++y)
        kernels.row(k, row(y - 1), row(y), row(y + 1), w, &out.px[size_t(y) * size_t(w)],
                    terms.Of(y - 1, row(y - 1)), terms.Of(y, row(y)), terms.Of(y + 1, row(y + 1)));
    return out;
}

uint32_t GaussianSelectionMix(uint32_t o, uint32_t r, int32_t s) {
    if (s >= 100) return r;
    if (s <= 0) return o;
    return MakePixel(StrengthMix(ChB(o), ChB(r), s), StrengthMix(ChG(o), ChG(r), s),
                     StrengthMix(ChR(o), ChR(r), s), StrengthMix(ChA(o), ChA(r), s));
}

PixelBuffer BoxBlurResult(const PixelBuffer& padded, int32_t radius) {
    PixelBuffer out{padded.width, padded.height, std::vector<uint32_t>(padded.px.size())};
    const BlurKernels kernels = KernelsFor(BestCpuLevel());
    ForEachBoxRow(padded, radius, [&](int32_t y, const BoxRow& s) {
        kernels.boxRow(s, out.width, &out.px[size_t(y) * size_t(out.width)]);
    });
    return out;
}

PixelBuffer PlaceInto(const PixelBuffer& src, const Rect& from, const Rect& to) {
    PixelBuffer out{to.Width(), to.Height(),
                    std::vector<uint32_t>(size_t(to.Width()) * size_t(to.Height()), 0)};
    const Rect both = from.Intersect(to);
    for (int32_t y = both.top; y < both.bottom; ++y)
        for (int32_t x = both.left; x < both.right; ++x)
            out.At(x - to.left, y - to.top) = src.At(x - from.left, y - from.top);
    return out;
}

int ApplyBlur(HistoryManager& history, int32_t slider) {
    const LayerPtr layer = CurrentPixelLayer(history.Layers());
    if (!layer) return 0;
    slider = std::clamp(slider, 1, 110);
    return slider <= 10 ? ApplyGaussian(history, *layer, slider)
                        : ApplyBoxBlur(history, *layer, slider);
}

}  // namespace zelvo
