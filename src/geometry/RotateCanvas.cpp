#include "geometry/RotateCanvas.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "core/RowBands.h"
#include "geometry/RebuildCanvas.h"
#include "platform/Feedback.h"
#include "store/RowCursor.h"

namespace zelvo {

namespace {

// Flips and the half turn: each output row is one source row, reversed or not.
bool TurnRows(Layer& src, Layer& dst, int code) {
    const int32_t w = src.Width(), h = src.Height();
    const bool mirror = code == kRotate180 || code == kFlipHorizontal;
    const bool upsideDown = code == kRotate180 || code == kFlipVertical;
    const uint64_t window =
        BandWindowBytes(RowCursor::kDefaultWindowBytes, RowBandCount(h, kLeastBandRows));
    std::atomic<bool> ok{true};
    ForEachRowBand(h, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        RowReader in(src.Store(), src.Block(), src.RowsOffset(), src.Stride(), uint32_t(h), window);
        RowCursor out(dst.Store(), dst.Block(), dst.RowsOffset(), dst.Stride(), uint32_t(h),
                      window);
        for (int32_t r = first; r < end && ok; ++r) {
            const uint8_t* s = in.Row(uint32_t(upsideDown ? h - 1 - r : r));
            uint8_t* d = out.Row(uint32_t(r));
            if (!s || !d) {
                ok = false;
                return;
            }
            if (!mirror) {
                std::memcpy(d, s, 4 * size_t(w));
                continue;
            }
            const uint32_t* sp = reinterpret_cast<const uint32_t*>(s);
            uint32_t* dp = reinterpret_cast<uint32_t*>(d);
            for (int32_t x = 0; x < w; ++x) dp[x] = sp[w - 1 - x];
        }
    });
    return ok;
}

// Quarter turns. Output row Y (from the top) is source column Y (clockwise) or w - 1 - Y
// (counterclockwise); the source row j (from the top) lands in output column h - 1 - j
// (clockwise) or j (counterclockwise).
bool TurnQuarter(Layer& src, Layer& dst, int code, size_t bandBytes) {
    const int32_t w = src.Width(), h = src.Height();
    const bool clockwise = code == kRotateClockwise;
    const int32_t band = int32_t(std::clamp<size_t>(bandBytes / (4 * size_t(h)), 1, size_t(w)));
    std::vector<uint32_t> buffer(size_t(band) * size_t(h));
    if (!dst.HasPixels()) return false;
    std::atomic<bool> ok{true};
    // Bands from the bottom output rows up, so the output block is written forward. Within a
    // band, row bands of the source fill their own columns of the buffer, then row bands of
    // the output copy their own rows out of it.
    for (int32_t end = w; end > 0 && ok; end -= band) {
        const int32_t first = std::max(0, end - band), count = end - first;
        const uint64_t inWindow =
            BandWindowBytes(RowCursor::kDefaultWindowBytes, RowBandCount(h, kLeastBandRows));
        ForEachRowBand(h, kLeastBandRows, [&](int32_t from, int32_t to, bool) {
            RowReader in(src.Store(), src.Block(), src.RowsOffset(), src.Stride(), uint32_t(h),
                         inWindow);
            // Sixteen source rows at a time, so that each buffer row takes a whole cache line
            // of them at once instead of one word per source row.
            constexpr int32_t kGroup = 16;
            std::vector<uint32_t> group(size_t(kGroup) * size_t(count));
            for (int32_t g0 = from; g0 < to; g0 += kGroup) {
                const int32_t n = std::min(kGroup, to - g0);
                for (int32_t i = 0; i < n; ++i) {
                    const uint8_t* s = in.Row(uint32_t(g0 + i));
                    if (!s) {
                        ok = false;
                        return;
                    }
                    const uint32_t* sp = reinterpret_cast<const uint32_t*>(s);
                    uint32_t* line = group.data() + size_t(i) * size_t(count);
                    if (clockwise)
                        std::memcpy(line, sp + first, 4 * size_t(count));
                    else
                        for (int32_t k = 0; k < count; ++k) line[k] = sp[w - 1 - (first + k)];
                }
                // Stored row `stored` lands in buffer column `stored` (clockwise) or
                // h - 1 - stored (counterclockwise).
                for (int32_t k = 0; k < count; ++k) {
                    uint32_t* d = buffer.data() + size_t(k) * size_t(h);
                    const uint32_t* c = group.data() + size_t(k);
                    if (clockwise)
                        for (int32_t i = 0; i < n; ++i) d[g0 + i] = c[size_t(i) * size_t(count)];
                    else
                        for (int32_t i = 0; i < n; ++i)
                            d[h - 1 - g0 - i] = c[size_t(i) * size_t(count)];
                }
            }
        });
        if (!ok) break;
        const uint64_t outWindow =
            BandWindowBytes(RowCursor::kDefaultWindowBytes, RowBandCount(count, 1));
        ForEachRowBand(count, 1, [&](int32_t from, int32_t to, bool) {
            RowCursor out(dst.Store(), dst.Block(), dst.RowsOffset(), dst.Stride(), uint32_t(w),
                          outWindow);
            // Output row w - end + i holds buffer row count - 1 - i.
            for (int32_t i = from; i < to; ++i) {
                uint8_t* d = out.Row(uint32_t(w - end + i));
                if (!d) {
                    ok = false;
                    return;
                }
                std::memcpy(d, buffer.data() + size_t(count - 1 - i) * size_t(h), 4 * size_t(h));
            }
        });
    }
    return ok;
}

}  // namespace

bool TurnPixels(Layer& src, Layer& dst, int code, size_t bandBytes) {
    if (src.BitsPerPixel() != 32 || dst.BitsPerPixel() != 32 || !src.HasPixels() ||
        !dst.HasPixels() || code < kRotateCounterclockwise || code > kFlipVertical)
        return false;
    int32_t w = 0, h = 0;
    RotatedCanvasSize(code, src.Width(), src.Height(), w, h);
    if (dst.Width() != w || dst.Height() != h) return false;
    if (code == kRotateCounterclockwise || code == kRotateClockwise)
        return TurnQuarter(src, dst, code, bandBytes);
    return TurnRows(src, dst, code);
}

int RotateCanvas(HistoryManager& history, int code) {
    LayerManager& lm = history.Layers();
    if (code < kRotateCounterclockwise || code > kFlipVertical || !lm.CheckLayerList()) return 0;
    WaitCursor wait;
    const int32_t W = lm.Image().width, H = lm.Image().height;
    int32_t newWidth = 0, newHeight = 0;
    RotatedCanvasSize(code, W, H, newWidth, newHeight);
    CanvasLayerRules rules;
    rules.pixel = [&](const LayerPtr& old) -> LayerPtr {
        if (!old->HasPixels()) return NewLayerLike(lm, *old, LayerKind::Null, 0, 0);
        const Rect r = MapCanvasRect(old->Bounds(), code, W, H);
        LayerPtr fresh = NewLayerLike(lm, *old, LayerKind::Pixel, r.Width(), r.Height());
        if (!fresh) return nullptr;
        fresh->SetPosition(r.left, r.top);
        if (!TurnPixels(*old, *fresh, code)) return nullptr;
        return fresh;
    };
    rules.map = [code, W, H](Point p) { return MapCanvasPoint(p, code, W, H); };
    return RebuildCanvas(history, "Rotate Canvas", newWidth, newHeight, rules);
}

}  // namespace zelvo
