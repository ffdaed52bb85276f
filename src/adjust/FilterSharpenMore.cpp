// Filter > Sharpen...: unsharp masking against a colour tent blur of radius R + 1, made row by
// row beside the source: the memory is about 2R rows, whatever the height.
#include "adjust/ColourTent.h"
#include "adjust/Filters.h"
#include "platform/Feedback.h"

namespace zelvo {

namespace {

uint32_t SharpenPixel(uint32_t p, uint32_t blurred, int32_t a, int32_t s) {
    if (s <= 0) return p;
    auto ch = [&](int v, int bl) {
        return s >= 100 ? Clamp255(v + a * (v - bl) / 100) : Clamp255(v + a * s * (v - bl) / 10000);
    };
    return MakePixel(ch(ChB(p), ChB(blurred)), ch(ChG(p), ChG(blurred)), ch(ChR(p), ChR(blurred)),
                     ChA(p));
}

void SharpenMoreRow(const uint32_t* src, const uint32_t* blurred, const uint8_t* strength,
                    int32_t amount, int32_t w, uint32_t* out) {
    for (int32_t x = 0; x < w; ++x)
        out[x] = SharpenPixel(src[x], blurred[x], amount, strength ? strength[x] : 100);
}

}  // namespace

PixelBuffer SharpenMoreResult(const PixelBuffer& src, int32_t amount, int32_t radius,
                              const std::vector<uint8_t>& strength) {
    const PixelBuffer blurred = ColourTentBlur(src, radius + 1);
    PixelBuffer out{src.width, src.height, std::vector<uint32_t>(src.px.size())};
    for (int32_t y = 0; y < src.height; ++y) {
        const size_t at = size_t(y) * size_t(src.width);
        SharpenMoreRow(&src.px[at], &blurred.px[at], strength.empty() ? nullptr : &strength[at],
                       amount, src.width, &out.px[at]);
    }
    return out;
}

int ApplySharpenMore(HistoryManager& history, int32_t amount, int32_t radius) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    WaitCursor wait;
    ProgressRun progress(3);
    const Rect b = layer->Bounds();
    const int32_t w = layer->Width(), h = layer->Height();
    const int32_t L = ColourTentRadius(radius + 1, w, h);
    const int done = RunBandFilter(
        history, "Sharpen", b, false,
        [&](int32_t first, int32_t, uint64_t window) {
            std::shared_ptr<RowReader> src = LayerRowReader(*layer, window);
            // The blur reads L - 1 rows ahead of the row it gives, and a band's first row
            // starts from the L rows before it; the ring keeps the row itself too.
            auto ring = std::make_shared<RowRing>(
                w, h, L + 1, [src](int32_t row) { return src->Row(uint32_t(row)); }, first - L);
            auto blurred = std::make_shared<TentRows>(
                w, h, L, [ring](int32_t row) { return ring->Row(row); }, nullptr, first);
            auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
            return RowFill([=](int32_t row, uint32_t* out) {
                const uint32_t* bl = blurred->Next();
                const uint32_t* old = ring->Row(row);
                if (!bl || !old) return false;
                SharpenMoreRow(old, bl, strength->Row(b.bottom - 1 - row), amount, w, out);
                return true;
            });
        },
        3);
    return done;
}

}  // namespace zelvo
