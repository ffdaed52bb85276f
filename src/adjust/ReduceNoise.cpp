// Filter > Reduce Noise: the small reducer replaces isolated outliers by the mean of their
// opaque neighbours; the radius-based ones take the wide blur where it differs much from the
// narrow one. All of them run row by row over a ring of a few rows.
#include <algorithm>
#include <cstdlib>

#include "adjust/BoxSums.h"
#include "adjust/ColourTent.h"
#include "adjust/Filters.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

const char* const kLargeLayerQuestion =
    "Due to layer is large, required a longer time, whether or not to continue?";

namespace {

int32_t SmallRadius(int32_t w, int32_t h) {
    return std::max(0, std::min(1, std::min(w, h) - 1));
}

// One row of the small reducer: `mid` with its canvas neighbours `above` and `below` (null at
// the edges).
void ReduceSmallRow(const BoxRow& s, const uint32_t* above, const uint32_t* mid,
                    const uint32_t* below, int32_t w, uint32_t* out) {
    // Neighbours in visiting order: left, right, above, below, below-left, above-left,
    // above-right, below-right.
    static const int kDx[8] = {-1, 1, 0, 0, -1, -1, 1, 1};
    static const int kDy[8] = {0, 0, -1, 1, 1, -1, -1, 1};
    const uint32_t* rows[3] = {above, mid, below};
    for (int32_t x = 0; x < w; ++x) {
        const size_t i = size_t(x);
        const int a = s.a[i] / s.area[i];
        if (a == 0) {
            out[x] = 0;
            continue;
        }
        const uint32_t p = mid[x];
        const int g = s.count[i];
        const int v[3] = {ChB(p), ChG(p), ChR(p)};
        const int S[3] = {s.b[i], s.g[i], s.r[i]};
        bool outlier = false;
        for (int c = 0; c < 3; ++c) outlier |= std::abs(v[c] * g - S[c]) > 5 * (g - 1);
        int o[3] = {v[0], v[1], v[2]};
        if (outlier) {
            int count[3] = {0, 0, 0};
            bool stop = false;
            for (int k = 0; k < 8 && !stop; ++k) {
                const int32_t nx = x + kDx[k];
                const uint32_t* line = rows[1 + kDy[k]];
                if (nx < 0 || nx >= w || !line) continue;
                const uint32_t q = line[nx];
                if (ChA(q) == 0) continue;
                const int qv[3] = {ChB(q), ChG(q), ChR(q)};
                for (int c = 0; c < 3; ++c) {
                    if (std::abs(qv[c] - v[c]) < 5) ++count[c];
                    if (count[c] >= 2) stop = true;
                }
            }
            if (!stop && g > 1)
                for (int c = 0; c < 3; ++c) o[c] = (S[c] - v[c]) / (g - 1);
        }
        out[x] = MakePixel(o[0], o[1], o[2], a);
    }
}

struct Radii {
    int32_t small, large, limit;
    explicit Radii(NoiseReducer kind)
        : small(kind == NoiseReducer::Big ? 5 : 3),
          large(kind == NoiseReducer::Big ? 11 : 7),
          limit(kind == NoiseReducer::Gray ? 4 : 3) {}
};

// One row of a radius-based reducer from the two blurs; `k` (channels with d > 10) per pixel.
void ReduceRow(const uint32_t* src, const uint32_t* a, const uint32_t* b, int32_t limit, int32_t w,
               uint32_t* out, uint8_t* kOut) {
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t p = src[x];
        int k = 0;
        bool big[3];
        for (int c = 0; c < 3; ++c) {
            const int sh = 8 * c;
            big[c] = std::abs(int((a[x] >> sh) & 0xff) - int((b[x] >> sh) & 0xff)) > 10;
            k += big[c];
        }
        kOut[x] = uint8_t(k);
        out[x] = p;
        if (k == 0 || k >= limit) continue;
        uint32_t r = p;
        for (int c = 0; c < 3; ++c)
            if (big[c]) r = (r & ~(0xffu << (8 * c))) | (b[x] & (0xffu << (8 * c)));
        out[x] = r;
    }
}

// The selection rule of the radius-based reducers: only where k > 0.
uint32_t ReduceMix(uint32_t o, uint32_t r, int k, int s) {
    if (k == 0 || s >= 100) return r;
    if (s == 0) return o;
    return MakePixel(StrengthMix(ChB(o), ChB(r), s), StrengthMix(ChG(o), ChG(r), s),
                     StrengthMix(ChR(o), ChR(r), s), ChA(o));
}

}  // namespace

PixelBuffer ReduceSmallNoiseResult(const PixelBuffer& src) {
    const int32_t w = src.width, h = src.height;
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    auto row = [&](int32_t y) {
        return (y >= 0 && y < h) ? &src.px[size_t(y) * size_t(w)] : nullptr;
    };
    ForEachBoxRow(src, SmallRadius(w, h), [&](int32_t y, const BoxRow& s) {
        ReduceSmallRow(s, row(y - 1), row(y), row(y + 1), w, &out.px[size_t(y) * size_t(w)]);
    });
    return out;
}

PixelBuffer ReduceNoiseResult(const PixelBuffer& src, NoiseReducer kind,
                              std::vector<uint8_t>* kOut) {
    const Radii r(kind);
    const PixelBuffer a = ColourTentBlur(src, r.small);
    const PixelBuffer b = ColourTentBlur(src, r.large);
    PixelBuffer out{src.width, src.height, std::vector<uint32_t>(src.px.size())};
    std::vector<uint8_t> k(src.px.size());
    for (int32_t y = 0; y < src.height; ++y) {
        const size_t at = size_t(y) * size_t(src.width);
        ReduceRow(&src.px[at], &a.px[at], &b.px[at], r.limit, src.width, &out.px[at], &k[at]);
    }
    if (kOut) *kOut = std::move(k);
    return out;
}

int ApplyReduceNoise(HistoryManager& history, NoiseReducer kind) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    if (kind != NoiseReducer::Small &&
        int64_t(layer->Width()) * layer->Height() > kLargeLayerPixels &&
        AppMessages().Ask(kLargeLayerQuestion, Buttons::YesNo) != Answer::Yes)
        return 0;
    WaitCursor wait;
    ProgressRun progress(4);
    const Rect b = layer->Bounds();
    const int32_t w = layer->Width(), h = layer->Height();
    int done = 0;
    if (kind == NoiseReducer::Small) {
        const int32_t radius = SmallRadius(w, h);
        done = RunBandFilter(
            history, "Reduce Small Noise", b, true,
            [&](int32_t first, int32_t, uint64_t window) {
                std::shared_ptr<RowReader> src = LayerRowReader(*layer, window);
                auto ring = std::make_shared<RowRing>(
                    w, h, BoxRingRows(radius),
                    [src](int32_t row) { return src->Row(uint32_t(row)); }, first - radius - 1);
                auto sums = std::make_shared<BoxRows>(
                    w, h, radius, [ring](int32_t row) { return ring->Row(row); }, first);
                auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
                return RowFill([=](int32_t row, uint32_t* out) {
                    const BoxRow* s = sums->Next();
                    // Stored rows run bottom-up: the canvas row above is the next stored row.
                    const uint32_t* above = ring->Row(row + 1);
                    const uint32_t* mid = ring->Row(row);
                    const uint32_t* below = ring->Row(row - 1);
                    if (!s || !mid || ring->Failed()) return false;
                    ReduceSmallRow(*s, above, mid, below, w, out);
                    if (const uint8_t* st = strength->Row(b.bottom - 1 - row))
                        for (int32_t x = 0; x < w; ++x)
                            out[x] = BoxSelectionMix(mid[x], out[x], st[x]);
                    return true;
                });
            },
            4);
    } else {
        const Radii r(kind);
        const int32_t small = ColourTentRadius(r.small, w, h),
                      large = ColourTentRadius(r.large, w, h);
        const char* name = kind == NoiseReducer::Medium ? "Reduce Medium Noise"
                           : kind == NoiseReducer::Big  ? "Reduce Big Noise"
                                                        : "Reduce Gray Noise";
        done = RunBandFilter(
            history, name, b, false,
            [&](int32_t first, int32_t, uint64_t window) {
                std::shared_ptr<RowReader> src = LayerRowReader(*layer, window);
                // Both blurs read ahead of the row they give; the ring keeps the row itself
                // too. A band after the first starts both blurs from the rows before it: the
                // ring then reaches back that far as well.
                const int32_t most = std::max(small, large);
                auto ring = std::make_shared<RowRing>(
                    w, h, first > 0 ? 2 * most + 1 : most + 1,
                    [src](int32_t row) { return src->Row(uint32_t(row)); }, first - most);
                auto narrow = std::make_shared<TentRows>(
                    w, h, small, [ring](int32_t row) { return ring->Row(row); }, nullptr, first);
                auto wide = std::make_shared<TentRows>(
                    w, h, large, [ring](int32_t row) { return ring->Row(row); }, nullptr, first);
                auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
                auto k = std::make_shared<std::vector<uint8_t>>(size_t(w));
                return RowFill([=, &r](int32_t row, uint32_t* out) {
                    const uint32_t* na = narrow->Next();
                    const uint32_t* wi = wide->Next();
                    const uint32_t* old = ring->Row(row);
                    if (!na || !wi || !old) return false;
                    ReduceRow(old, na, wi, r.limit, w, out, k->data());
                    if (const uint8_t* st = strength->Row(b.bottom - 1 - row))
                        for (int32_t x = 0; x < w; ++x)
                            out[x] = ReduceMix(old[x], out[x], (*k)[size_t(x)], st[x]);
                    return true;
                });
            },
            4);
    }
    return done;
}

}  // namespace zelvo
