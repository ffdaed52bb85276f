#include "geometry/RotateCanvas.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "geometry/RebuildCanvas.h"
#include "platform/Feedback.h"
#include "store/RowCursor.h"

namespace zelvo {

namespace {

// Flips and the half turn: each output row is one source row, reversed or not.
bool TurnRows(Layer& src, Layer& dst, int code) {
    const int32_t w = src.Width(), h = src.Height();
    RowReader in(src.Store(), src.Block(), src.RowsOffset(), src.Stride(), uint32_t(h));
    std::unique_ptr<RowCursor> out = dst.OpenRows();
    if (!out) return false;
    const bool mirror = code == kRotate180 || code == kFlipHorizontal;
    const bool upsideDown = code == kRotate180 || code == kFlipVertical;
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* s = in.Row(uint32_t(upsideDown ? h - 1 - r : r));
        uint8_t* d = out->Row(uint32_t(r));
        if (!s || !d) return false;
        if (!mirror) {
            std::memcpy(d, s, 4 * size_t(w));
            continue;
        }
        const uint32_t* sp = reinterpret_cast<const uint32_t*>(s);
        uint32_t* dp = reinterpret_cast<uint32_t*>(d);
        for (int32_t x = 0; x < w; ++x) dp[x] = sp[w - 1 - x];
    }
    return true;
}

// Quarter turns. Output row Y (from the top) is source column Y (clockwise) or w - 1 - Y
// (counterclockwise); the source row j (from the top) lands in output column h - 1 - j
// (clockwise) or j (counterclockwise).
bool TurnQuarter(Layer& src, Layer& dst, int code, size_t bandBytes) {
    const int32_t w = src.Width(), h = src.Height();
    const bool clockwise = code == kRotateClockwise;
    const int32_t band = int32_t(std::clamp<size_t>(bandBytes / (4 * size_t(h)), 1, size_t(w)));
    std::vector<uint32_t> buffer(size_t(band) * size_t(h));
    std::unique_ptr<RowCursor> out = dst.OpenRows();
    if (!out) return false;
    // Bands from the bottom output rows up, so the output block is written forward.
    for (int32_t end = w; end > 0; end -= band) {
        const int32_t first = std::max(0, end - band), count = end - first;
        RowReader in(src.Store(), src.Block(), src.RowsOffset(), src.Stride(), uint32_t(h));
        for (int32_t stored = 0; stored < h; ++stored) {
            const uint8_t* s = in.Row(uint32_t(stored));
            if (!s) return false;
            const uint32_t* sp = reinterpret_cast<const uint32_t*>(s);
            const int32_t j = h - 1 - stored;
            const size_t X = size_t(clockwise ? h - 1 - j : j);
            uint32_t* d = buffer.data() + X;
            if (clockwise) {
                for (int32_t k = 0; k < count; ++k) d[size_t(k) * size_t(h)] = sp[first + k];
            } else {
                for (int32_t k = 0; k < count; ++k)
                    d[size_t(k) * size_t(h)] = sp[w - 1 - (first + k)];
            }
        }
        for (int32_t k = count - 1; k >= 0; --k) {
            uint8_t* d = out->Row(uint32_t(w - 1 - (first + k)));
            if (!d) return false;
            std::memcpy(d, buffer.data() + size_t(k) * size_t(h), 4 * size_t(h));
        }
    }
    return true;
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
