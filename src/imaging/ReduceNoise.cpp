// Filter > Reduce Noise: the small reducer replaces isolated outliers by the mean of their
// opaque neighbours; the radius-based ones take the wide blur where it differs much from the
// narrow one.
#include <algorithm>
#include <cstdlib>

#include "imaging/BoxSums.h"
#include "imaging/ColourTent.h"
#include "imaging/Filters.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

const char* const kLargeLayerQuestion =
    "Due to layer is large, required a longer time, whether or not to continue?";

PixelBuffer ReduceSmallNoiseResult(const PixelBuffer& src) {
    const int32_t w = src.width, h = src.height;
    const int32_t radius = std::max(0, std::min(1, std::min(w, h) - 1));
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    // Neighbours in visiting order: left, right, above, below, below-left, above-left,
    // above-right, below-right.
    static const int kDx[8] = {-1, 1, 0, 0, -1, -1, 1, 1};
    static const int kDy[8] = {0, 0, -1, 1, 1, -1, -1, 1};
    ForEachBoxRow(src, radius, [&](int32_t y, const BoxRow& s) {
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = size_t(x);
            const int a = s.a[i] / s.area[i];
            if (a == 0) {
                out.At(x, y) = 0;
                continue;
            }
            const uint32_t p = src.At(x, y);
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
                    const int32_t nx = x + kDx[k], ny = y + kDy[k];
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    const uint32_t q = src.At(nx, ny);
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
            out.At(x, y) = MakePixel(o[0], o[1], o[2], a);
        }
    });
    return out;
}

PixelBuffer ReduceNoiseResult(const PixelBuffer& src, NoiseReducer kind, std::vector<uint8_t>* kOut) {
    const int32_t small = kind == NoiseReducer::Big ? 5 : 3;
    const int32_t large = kind == NoiseReducer::Big ? 11 : 7;
    const int limit = kind == NoiseReducer::Gray ? 4 : 3;
    const PixelBuffer a = ColourTentBlur(src, small);
    AppFeedback().StepProgress();
    const PixelBuffer b = ColourTentBlur(src, large);
    AppFeedback().StepProgress();
    PixelBuffer out = src;
    if (kOut) kOut->assign(src.px.size(), 0);
    for (size_t i = 0; i < src.px.size(); ++i) {
        const uint32_t p = src.px[i];
        int k = 0;
        bool big[3];
        for (int c = 0; c < 3; ++c) {
            const int sh = 8 * c;
            big[c] = std::abs(int((a.px[i] >> sh) & 0xff) - int((b.px[i] >> sh) & 0xff)) > 10;
            k += big[c];
        }
        if (kOut) (*kOut)[i] = uint8_t(k);
        if (k == 0 || k >= limit) continue;
        uint32_t r = p;
        for (int c = 0; c < 3; ++c)
            if (big[c]) r = (r & ~(0xffu << (8 * c))) | (b.px[i] & (0xffu << (8 * c)));
        out.px[i] = r;
    }
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
    AppFeedback().BeginProgress(4);
    PixelBuffer src;
    if (!ReadLayerPixels(*layer, src)) return AppFeedback().EndProgress(), 0;
    const std::vector<uint8_t> st = StrengthsOver(lm, layer->Bounds());
    PixelBuffer out;
    const char* name;
    if (kind == NoiseReducer::Small) {
        name = "Reduce Small Noise";
        out = ReduceSmallNoiseResult(src);
        AppFeedback().StepProgress();
        AppFeedback().StepProgress();
        if (!st.empty())
            for (size_t i = 0; i < out.px.size(); ++i) out.px[i] = BoxSelectionMix(src.px[i], out.px[i], st[i]);
    } else {
        name = kind == NoiseReducer::Medium ? "Reduce Medium Noise"
               : kind == NoiseReducer::Big  ? "Reduce Big Noise"
                                            : "Reduce Gray Noise";
        std::vector<uint8_t> k;
        out = ReduceNoiseResult(src, kind, &k);
        if (!st.empty())
            for (size_t i = 0; i < out.px.size(); ++i) {
                const int s = st[i];
                if (k[i] == 0 || s >= 100) continue;
                const uint32_t o = src.px[i], r = out.px[i];
                out.px[i] = s == 0 ? o
                                   : MakePixel(StrengthMix(ChB(o), ChB(r), s), StrengthMix(ChG(o), ChG(r), s),
                                               StrengthMix(ChR(o), ChR(r), s), ChA(o));
            }
    }
    AppFeedback().StepProgress();
    const int done = CommitResult(history, name, layer->Bounds(), out, kind == NoiseReducer::Small);
    AppFeedback().StepProgress();
    AppFeedback().EndProgress();
    return done;
}

}  // namespace zelvo
