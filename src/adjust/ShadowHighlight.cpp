// Image > Adjustments > Shadow/Highlight: channels are stretched between the histogram's
// 0.1 % bounds, and each pixel gains by the tone curve of its brightest channel over the
// blurred value of that channel. The blurred copy is made row by row beside the rows written.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/BezierSearch.h"
#include "adjust/ColourTent.h"
#include "platform/Feedback.h"

namespace zelvo {

Table256 ToneCurve(int32_t amount) {
    Table256 o{};
    if (amount < 1) return o;
    const int32_t a = amount > 100 ? 100 : amount;
    int32_t x1, y1;
    if (a <= 10) {
        const double s = a * 0.1;
        x1 = 168 - int32_t(30 * s);
        y1 = 19 + int32_t(30 * s);
    } else if (a <= 50) {
        const double s = (a - 10) * 0.025;
        x1 = 138 - int32_t(30 * s);
        y1 = 49 + int32_t(88 * s);
    } else {
        const double s = (a - 50) * 0.02;
        x1 = 108 - int32_t(27 * s);
        y1 = 137 + int32_t(84 * s);
    }
    const Bezier c{{0, double(x1), 90, 269}, {0, double(y1), -10, 4}};
    SteppedSearch(c, 0, 255,
                  [&o](int32_t i, double y) { o[size_t(i)] = int32_t(std::clamp(y, 0.0, 200.0)); });
    return o;
}

StretchBounds StretchBoundsOf(const std::array<int64_t, 256>& counts) {
    int64_t total = 0;
    for (int64_t c : counts) total += c;
    const int64_t limit = total / 1000;
    StretchBounds b;
    int64_t run = 0;
    for (int v = 0; v < 256; ++v) {
        run += counts[size_t(v)];
        if (run >= limit) {
            b.low = v;
            break;
        }
    }
    run = 0;
    for (int v = 255; v >= 0; --v) {
        run += counts[size_t(v)];
        if (run >= limit) {
            b.high = v;
            break;
        }
    }
    return b;
}

Table256 StretchTable(const StretchBounds& b) {
    Table256 s{};
    for (int v = 0; v < 256; ++v) {
        if (v < b.low)
            s[size_t(v)] = 0;
        else if (v > b.high)
            s[size_t(v)] = 255;
        else if (b.high <= b.low)
            s[size_t(v)] = 255;  // a single level: nothing to stretch between
        else
            s[size_t(v)] = int32_t(double(v - b.low) / (b.high - b.low) * 255 + 0.5);
    }
    return s;
}

namespace {

// The tables of one Shadow/Highlight run: the stretch S (as a byte map for the blur) and the
// tone table T.
struct ShadowHighlightTables {
    Table256 S{}, T{};
    std::array<uint8_t, 256> map{};
    ShadowHighlightTables(const std::array<int64_t, 256>& histogram, int32_t shadows,
                          int32_t highlights) {
        S = StretchTable(StretchBoundsOf(histogram));
        const Table256 cs = ToneCurve(shadows), ch = ToneCurve(highlights);
        for (int v = 0; v < 256; ++v) {
            T[size_t(v)] = cs[size_t(v)] - ch[size_t(255 - v)];
            map[size_t(v)] = uint8_t(S[size_t(v)]);
        }
    }
};

// One row: `blurred` holds the tent-blurred stretched channels; `strength` is null without a
// selection.
void ShadowHighlightRow(const ShadowHighlightTables& t, const uint32_t* src,
                        const uint32_t* blurred, const uint8_t* strength, int32_t w,
                        uint32_t* out) {
    const Table256& S = t.S;
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t p = src[x];
        out[x] = p;
        const int s = strength ? strength[x] : 100;
        if (s == 0) continue;
        if (s < 100 && ChA(p) == 0) continue;
        const int sv[3] = {S[size_t(ChB(p))], S[size_t(ChG(p))], S[size_t(ChR(p))]};
        // Brightest channel: red over green, and either over blue on ties.
        int c = 2;
        if (sv[2] >= sv[1] && sv[2] >= sv[0])
            c = 2;
        else if (sv[1] >= sv[0])
            c = 1;
        else
            c = 0;
        const int m = sv[c];
        double g = 0;
        if (m != 0) {
            const int32_t bl = int32_t((blurred[x] >> (8 * c)) & 0xff);
            const int32_t tm = t.T[size_t(m)];
            if (bl != 0)
                g = double(tm) / bl;
            else
                g = tm > 0 ? 1 : 0;  // unbounded gain: capped
        }
        if (g > 1) g = 1;
        int o[3];
        const int v[3] = {ChB(p), ChG(p), ChR(p)};
        for (int k = 0; k < 3; ++k) {
            if (s >= 100)
                o[k] = Clamp255(sv[k] + int(std::trunc(g * sv[k])));
            else
                o[k] = Clamp255(v[k] + int(std::trunc(((1 + g) * sv[k] - v[k]) * s * 0.01)));
        }
        out[x] = MakePixel(o[0], o[1], o[2], ChA(p));
    }
}

}  // namespace

PixelBuffer ShadowHighlightResult(const PixelBuffer& src, const std::vector<uint8_t>& strength,
                                  const std::array<int64_t, 256>& histogram, int32_t shadows,
                                  int32_t highlights, int32_t radius) {
    const int32_t w = src.width, h = src.height;
    const ShadowHighlightTables t(histogram, shadows, highlights);
    TentRows blurred(
        w, h, std::min({radius, w, h}),
        [&src](int32_t y) { return &src.px[size_t(y) * size_t(src.width)]; }, t.map.data());
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* bl = blurred.Next();
        if (!bl) break;
        const size_t at = size_t(y) * size_t(w);
        ShadowHighlightRow(t, &src.px[at], bl, strength.empty() ? nullptr : &strength[at], w,
                           &out.px[at]);
    }
    return out;
}

int ApplyShadowHighlight(HistoryManager& history, int32_t shadows, int32_t highlights,
                         int32_t radius) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    WaitCursor wait;
    ProgressRun progress(5);
    const Rect b = layer->Bounds();
    const int32_t w = layer->Width(), h = layer->Height();
    const ShadowHighlightTables t(LayerHistogram(*layer), shadows, highlights);
    progress.Step();
    const int32_t L = std::min({radius, w, h});
    const int done = RunBandFilter(
        history, "Shadow/Highlight", b, false,
        [&](int32_t first, int32_t, uint64_t window) {
            // The blur reads the stretched rows through its own reader, ahead of the rows
            // written.
            std::shared_ptr<RowReader> ahead = LayerRowReader(*layer, window),
                                       src = LayerRowReader(*layer, window);
            auto aheadLine = std::make_shared<std::vector<uint32_t>>(size_t(w));
            auto blurred = std::make_shared<TentRows>(
                w, h, L,
                [ahead, aheadLine, w](int32_t row) -> const uint32_t* {
                    const uint8_t* line = ahead->Row(uint32_t(row));
                    if (!line) return nullptr;
                    std::memcpy(aheadLine->data(), line, 4 * size_t(w));
                    return aheadLine->data();
                },
                t.map.data(), first);
            auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
            auto in = std::make_shared<std::vector<uint32_t>>(size_t(w));
            return RowFill([=, &t](int32_t row, uint32_t* out) {
                const uint32_t* bl = blurred->Next();
                const uint8_t* line = src->Row(uint32_t(row));
                if (!bl || !line) return false;
                std::memcpy(in->data(), line, 4 * size_t(w));
                ShadowHighlightRow(t, in->data(), bl, strength->Row(b.bottom - 1 - row), w, out);
                return true;
            });
        },
        4);
    return done;
}

}  // namespace zelvo
