// The three composites of LayerManager: flat at scale 1 for saving, the fitted thumbnail, and
// the visible part of the canvas at the view's zoom into the display buffer.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/InternalError.h"
#include "core/RowBands.h"
#include "layers/Compositor.h"
#include "layers/LayerManager.h"
#include "layers/StoredDib.h"

namespace zelvo {

namespace {

// The grey shown around the canvas, as B G R of a display word.
constexpr uint32_t kOutsideGrey = 177u * 0x010101u;

// Display words [from, to) of a row turn grey; their fourth bytes are left as they are.
void FillGrey(uint8_t* px, int32_t from, int32_t to) {
    for (int32_t k = from; k < to; ++k) {
        uint32_t w;
        std::memcpy(&w, px + 4 * size_t(k), 4);
        w = (w & 0xFF000000u) | kOutsideGrey;
        std::memcpy(px + 4 * size_t(k), &w, 4);
    }
}

}  // namespace

bool LayerManager::RenderFlat(uint8_t* dst, size_t stride, int bits, int format, int option) {
    if (bits != 24 && bits != 32) {
        ShowInternalError(1022);
        return false;
    }
    const int32_t w = m_image.width, h = m_image.height;
    if (!dst || w <= 0 || h <= 0) return false;
    const int step = bits / 8;
    if (stride < size_t(w) * size_t(step)) return false;
    return RenderFlatRows(0, h, FlatRowsTopFirst(format, option), dst, stride, step);
}

bool LayerManager::RenderFlatRows(int32_t first, int32_t end, bool topFirst, uint8_t* dst,
                                  size_t stride, int step) const {
    const int32_t w = m_image.width, h = m_image.height;
    if (!dst || w <= 0 || first < 0 || end > h || first >= end || (step != 3 && step != 4) ||
        stride < size_t(w) * size_t(step))
        return false;
    // The canvas rows asked for, [low, low + count), composed top to bottom whatever the order.
    const int32_t count = end - first;
    const int32_t low = topFirst ? first : h - end;

    // Bands of canvas rows, each with its own compositor, write disjoint rows of `dst`; their
    // read buffers together stay within one compositor's budget, whatever the core count.
    const uint64_t budget =
        BandWindowBytes(Compositor::kAllWindowsBytes, RowBandCount(count, kLeastBandRows));
    ForEachRowBand(count, kLeastBandRows, [&](int32_t bandFirst, int32_t bandEnd, bool) {
        std::vector<int32_t> canvasRows;
        for (int32_t cy = low + bandFirst; cy < low + bandEnd; ++cy) canvasRows.push_back(cy);
        Compositor compositor(m_layers, canvasRows, 0, w, budget);
        for (const int32_t cy : canvasRows) {
            compositor.ComposeRow(cy, 0, nullptr, w);
            const size_t outRow = size_t(topFirst ? cy - first : h - 1 - cy - first);
            compositor.StoreBgr(dst + outRow * stride, step);
        }
    });
    return true;
}

std::vector<uint8_t> LayerManager::RenderThumbnail(int32_t width, int32_t height) {
    const int32_t cw = m_image.width, ch = m_image.height;
    if (width <= 0 || height <= 0 || cw <= 0 || ch <= 0) return {};
    const float s = std::min(float(width) / float(cw), float(height) / float(ch));
    // At least a pixel across and down: a picture 100 times taller than wide still shows.
    const int32_t tw = std::max(1, int32_t(float(cw) * s)),
                  th = std::max(1, int32_t(float(ch) * s));

    const uint32_t stride = StoredDib::Stride(tw, 24);
    std::vector<uint8_t> dib(StoredDib::kHeaderBytes + size_t(stride) * size_t(th), 0);
    StoredDib::WriteHeader(dib.data(), tw, th, 24);
    uint8_t* rows = dib.data() + StoredDib::kHeaderBytes;

    // A float quotient can land on the canvas edge itself; the last column or row stands in.
    std::vector<int32_t> cols(static_cast<size_t>(tw));
    for (int32_t i = 0; i < tw; ++i) cols[size_t(i)] = std::min(int32_t(float(i) / s), cw - 1);
    std::vector<int32_t> canvasRows(static_cast<size_t>(th));
    for (int32_t j = 0; j < th; ++j)
        canvasRows[size_t(j)] = std::min(int32_t(float(j) / s), ch - 1);
    // Bands of thumbnail rows as in the flatten: each composes and writes its own rows.
    const uint64_t budget =
        BandWindowBytes(Compositor::kAllWindowsBytes, RowBandCount(th, kLeastBandRows));
    ForEachRowBand(th, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::vector<int32_t> bandRows(canvasRows.begin() + first, canvasRows.begin() + end);
        Compositor compositor(m_layers, bandRows, cols.front(), cols.back() + 1, budget);
        for (int32_t j = first; j < end; ++j) {
            compositor.ComposeRow(canvasRows[size_t(j)], 0, cols.data(), tw);
            compositor.StoreBgr(rows + size_t(StoredDib::StoredRow(j, th)) * stride, 3);
        }
    });
    return dib;
}

bool LayerManager::RenderDisplay() {
    if (!m_display) return false;
    const float zoom = m_image.zoom;
    if (!(zoom > 0.0f)) return false;
    const Rect out = m_image.screenRect.Intersect({0, 0, m_screenWidth, m_screenHeight});
    if (out.IsEmpty()) return true;
    const int32_t cw = m_image.width, ch = m_image.height;
    const int32_t n = out.Width();
    // Output pixel (i, j) of screenRect shows canvas pixel visible + (i, j) / zoom, truncated.
    const int32_t i0 = out.left - m_image.screenRect.left;
    const int32_t j0 = out.top - m_image.screenRect.top;

    std::vector<int32_t> cols(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k)
        cols[size_t(k)] = m_image.visible.left + int32_t(float(i0 + k) / zoom);
    // The columns inside the canvas form one run [lo, hi) since they never decrease.
    int32_t lo = 0, hi = n;
    while (lo < n && cols[size_t(lo)] < 0) ++lo;
    while (hi > lo && cols[size_t(hi - 1)] >= cw) --hi;
    const bool contiguous = hi > lo && cols[size_t(hi - 1)] - cols[size_t(lo)] == hi - 1 - lo;

    // The display buffer stays mapped whole from one render to the next: a fresh mapping
    // would take a write fault on every page of every frame.
    if (!m_displayRows) {
        const uint32_t stride = m_display->Stride();
        m_displayRows = std::make_unique<RowCursor>(
            m_store, m_display->Block(), m_display->RowsOffset(), stride,
            uint32_t(m_display->Height()), uint64_t(stride) * uint64_t(m_display->Height()));
    }
    RowCursor* target = m_displayRows.get();
    std::vector<int32_t> canvasRows(static_cast<size_t>(out.Height()));
    std::vector<int32_t> shownRows;  // the canvas rows among them, for the layers' read plans
    for (int32_t j = 0; j < out.Height(); ++j) {
        const int32_t cy = m_image.visible.top + int32_t(float(j0 + j) / zoom);
        canvasRows[size_t(j)] = cy;
        if (cy >= 0 && cy < ch) shownRows.push_back(cy);
    }
    // The layers are read in place through a mapping of the scratch file kept from one render
    // to the next; by copy when some layer cannot be (its block is not all in the file).
    const MappedLayers table(m_layers, m_sourceMapping);
    std::unique_ptr<Compositor> made =
        table.Complete()
            ? std::make_unique<Compositor>(table)
            : std::make_unique<Compositor>(m_layers, shownRows, hi > lo ? cols[size_t(lo)] : 0,
                                           hi > lo ? cols[size_t(hi - 1)] + 1 : 0);
    Compositor& compositor = *made;
    int32_t lastCy = INT32_MIN;
    for (int32_t j = 0; j < out.Height(); ++j) {
        const int32_t cy = canvasRows[size_t(j)];
        const int32_t sy = out.top + j;
        uint8_t* row = target->Row(uint32_t(StoredDib::StoredRow(sy, m_screenHeight)));
        if (!row) return false;
        uint8_t* px = row + 4 * size_t(out.left);
        const bool inside = cy >= 0 && cy < ch && hi > lo;
        if (!inside) {
            FillGrey(px, 0, n);
            continue;
        }
        FillGrey(px, 0, lo);
        FillGrey(px, hi, n);
        // Rows repeated by a zoom above 1 reuse the composed sums.
        if (cy != lastCy) {
            if (contiguous)
                compositor.ComposeRow(cy, cols[size_t(lo)], nullptr, hi - lo);
            else
                compositor.ComposeRow(cy, 0, cols.data() + lo, hi - lo);
            lastCy = cy;
        }
        compositor.StoreBgr(px + 4 * size_t(lo), 4);
    }
    return true;
}

}  // namespace zelvo
