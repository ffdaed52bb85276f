// Image > Adjustments > Shadow/Highlight: channels are stretched between the histogram's
// 0.1 % bounds, and each pixel gains by the tone curve of its brightest channel over the
// blurred value of that channel.
#include <algorithm>
#include <cmath>

#include "imaging/AdjustPass.h"
#include "imaging/Adjustments.h"
#include "imaging/BezierSearch.h"
#include "imaging/ColourTent.h"
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
    SteppedSearch(c, 0, 255, [&o](int32_t i, double y) {
        o[size_t(i)] = int32_t(std::clamp(y, 0.0, 200.0));
    });
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

PixelBuffer ShadowHighlightResult(const PixelBuffer& src, const std::vector<uint8_t>& strength,
                                  const std::array<int64_t, 256>& histogram, int32_t shadows,
                                  int32_t highlights, int32_t radius) {
    const int32_t w = src.width, h = src.height;
    const Table256 S = StretchTable(StretchBoundsOf(histogram));
    const Table256 cs = ToneCurve(shadows), ch = ToneCurve(highlights);
    Table256 T{};
    for (int v = 0; v < 256; ++v) T[size_t(v)] = cs[size_t(v)] - ch[size_t(255 - v)];
    const int32_t L = std::min({radius, w, h});
    std::vector<int32_t> blurred[3];
    for (int c = 0; c < 3; ++c) {
        blurred[c].resize(src.px.size());
        for (size_t i = 0; i < src.px.size(); ++i)
            blurred[c][i] = S[(src.px[i] >> (8 * c)) & 0xff];
        TentBlurPlane(blurred[c], w, h, L);
        AppFeedback().StepProgress();
    }
    PixelBuffer out = src;
    for (size_t i = 0; i < src.px.size(); ++i) {
        const uint32_t p = src.px[i];
        const int s = strength.empty() ? 100 : strength[i];
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
            const int32_t bl = blurred[c][i];
            const int32_t tm = T[size_t(m)];
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
        out.px[i] = MakePixel(o[0], o[1], o[2], ChA(p));
    }
    return out;
}

int ApplyShadowHighlight(HistoryManager& history, int32_t shadows, int32_t highlights,
                         int32_t radius) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    WaitCursor wait;
    PixelBuffer src;
    if (!ReadLayerPixels(*layer, src)) return 0;
    AppFeedback().BeginProgress(5);
    const PixelBuffer out =
        ShadowHighlightResult(src, StrengthsOver(lm, layer->Bounds()),
                              SampledHistogram(src.px, src.width, src.height), shadows, highlights, radius);
    AppFeedback().StepProgress();
    const int done = CommitResult(history, "Shadow/Highlight", layer->Bounds(), out, false);
    AppFeedback().StepProgress();
    AppFeedback().EndProgress();
    return done;
}

}  // namespace zelvo
