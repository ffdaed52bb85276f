// Filter > Sharpen...: unsharp masking against a colour tent blur of radius R + 1.
#include "imaging/ColourTent.h"
#include "imaging/Filters.h"
#include "platform/Feedback.h"

namespace zelvo {

namespace {
uint32_t SharpenPixel(uint32_t p, uint32_t blurred, int32_t a, int32_t s) {
    if (s <= 0) return p;
    auto ch = [&](int v, int bl) {
        return s >= 100 ? Clamp255(v + a * (v - bl) / 100) : Clamp255(v + a * s * (v - bl) / 10000);
    };
    return MakePixel(ch(ChB(p), ChB(blurred)), ch(ChG(p), ChG(blurred)), ch(ChR(p), ChR(blurred)), ChA(p));
}
}  // namespace

PixelBuffer SharpenMoreResult(const PixelBuffer& src, int32_t amount, int32_t radius,
                              const std::vector<uint8_t>& strength) {
    const PixelBuffer blurred = ColourTentBlur(src, radius + 1);
    PixelBuffer out{src.width, src.height, std::vector<uint32_t>(src.px.size())};
    for (size_t i = 0; i < src.px.size(); ++i)
        out.px[i] = SharpenPixel(src.px[i], blurred.px[i], amount, strength.empty() ? 100 : strength[i]);
    return out;
}

int ApplySharpenMore(HistoryManager& history, int32_t amount, int32_t radius) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    WaitCursor wait;
    AppFeedback().BeginProgress(3);
    PixelBuffer src;
    if (!ReadLayerPixels(*layer, src)) return AppFeedback().EndProgress(), 0;
    const PixelBuffer blurred = ColourTentBlur(src, radius + 1);
    AppFeedback().StepProgress();
    const std::vector<uint8_t> st = StrengthsOver(lm, layer->Bounds());
    PixelBuffer out{src.width, src.height, std::vector<uint32_t>(src.px.size())};
    for (size_t i = 0; i < src.px.size(); ++i)
        out.px[i] = SharpenPixel(src.px[i], blurred.px[i], amount, st.empty() ? 100 : st[i]);
    AppFeedback().StepProgress();
    const int done = CommitResult(history, "Sharpen", layer->Bounds(), out, false);
    AppFeedback().StepProgress();
    AppFeedback().EndProgress();
    return done;
}

}  // namespace zelvo
