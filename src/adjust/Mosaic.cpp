// Filter > Mosaic...: cells laid from the bottom-left corner take the mean of their opaque
// pixels' colours and the mean alpha over the cell. Applied one band of cell rows at a time.
#include <algorithm>

#include "adjust/Filters.h"

namespace zelvo {

namespace {

// The cells of the band of stored rows [r0, r1): one value per cell, left to right.
template <class RowAt>
bool BandCells(RowAt rowAt, int32_t w, int32_t r0, int32_t r1, int32_t n,
               std::vector<uint32_t>& cells) {
    const size_t count = size_t((w + n - 1) / n);
    std::vector<int64_t> cnt(count, 0), b(count, 0), g(count, 0), r(count, 0), a(count, 0);
    for (int32_t row = r0; row < r1; ++row) {
        const uint32_t* line = rowAt(row);
        if (!line) return false;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = line[x];
            const size_t c = size_t(x / n);
            a[c] += ChA(p);
            if (ChA(p) == 0) continue;
            ++cnt[c], b[c] += ChB(p), g[c] += ChG(p), r[c] += ChR(p);
        }
    }
    cells.resize(count);
    for (size_t c = 0; c < count; ++c) {
        const int32_t x0 = int32_t(c) * n, x1 = std::min(w, x0 + n);
        const int64_t area = int64_t(r1 - r0) * (x1 - x0);
        cells[c] = cnt[c] == 0 ? MakePixel(0, 0, 0, int(a[c] / area))
                               : MakePixel(int(b[c] / cnt[c]), int(g[c] / cnt[c]),
                                           int(r[c] / cnt[c]), int(a[c] / area));
    }
    return true;
}

}  // namespace

PixelBuffer MosaicResult(const PixelBuffer& src, int32_t n) {
    n = std::max(1, n);
    const int32_t w = src.width, h = src.height;
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    // Stored rows run bottom-up: cell rows start at the bottom row.
    auto row = [&](int32_t stored) { return &src.px[size_t(h - 1 - stored) * size_t(w)]; };
    std::vector<uint32_t> cells;
    for (int32_t r0 = 0; r0 < h; r0 += n) {
        const int32_t r1 = std::min(h, r0 + n);
        BandCells(row, w, r0, r1, n, cells);
        for (int32_t stored = r0; stored < r1; ++stored)
            for (int32_t x = 0; x < w; ++x) out.At(x, h - 1 - stored) = cells[size_t(x / n)];
    }
    return out;
}

PixelBuffer MosaicPreview(const PixelBuffer& src, int32_t n, const std::vector<int32_t>& canvasX,
                          const std::vector<int32_t>& canvasY, const Rect& bounds) {
    n = std::max(1, n);
    PixelBuffer out = src;
    // Each sample's cell as a compact index: samples come in canvas order, so a cell's samples
    // are neighbours and a new cell starts wherever the grid index changes.
    auto compact = [](const std::vector<int32_t>& grid, std::vector<int32_t>& index) {
        index.assign(grid.size(), -1);
        int32_t count = 0, last = -1;
        for (size_t i = 0; i < grid.size(); ++i) {
            if (grid[i] < 0) continue;
            if (grid[i] != last) ++count, last = grid[i];
            index[i] = count - 1;
        }
        return count;
    };
    std::vector<int32_t> columns(size_t(src.width)), rows(size_t(src.height));
    for (int32_t x = 0; x < src.width; ++x) {
        const int32_t cx = canvasX[size_t(x)];
        columns[size_t(x)] = cx >= bounds.left && cx < bounds.right ? (cx - bounds.left) / n : -1;
    }
    for (int32_t y = 0; y < src.height; ++y) {
        const int32_t cy = canvasY[size_t(y)];
        rows[size_t(y)] =
            cy >= bounds.top && cy < bounds.bottom ? (bounds.bottom - 1 - cy) / n : -1;
    }
    std::vector<int32_t> col, row;
    const int32_t nc = compact(columns, col), nr = compact(rows, row);
    if (nc == 0 || nr == 0) return out;
    struct Sums {
        int64_t count = 0, opaque = 0, b = 0, g = 0, r = 0, a = 0;
    };
    std::vector<Sums> cells(size_t(nc) * size_t(nr));
    for (int32_t y = 0; y < src.height; ++y) {
        if (row[size_t(y)] < 0) continue;
        for (int32_t x = 0; x < src.width; ++x) {
            if (col[size_t(x)] < 0) continue;
            Sums& c = cells[size_t(row[size_t(y)]) * size_t(nc) + size_t(col[size_t(x)])];
            const uint32_t p = src.px[size_t(y) * size_t(src.width) + size_t(x)];
            ++c.count, c.a += ChA(p);
            if (ChA(p) == 0) continue;
            ++c.opaque, c.b += ChB(p), c.g += ChG(p), c.r += ChR(p);
        }
    }
    for (int32_t y = 0; y < src.height; ++y) {
        if (row[size_t(y)] < 0) continue;
        for (int32_t x = 0; x < src.width; ++x) {
            if (col[size_t(x)] < 0) continue;
            const Sums& c = cells[size_t(row[size_t(y)]) * size_t(nc) + size_t(col[size_t(x)])];
            out.px[size_t(y) * size_t(src.width) + size_t(x)] =
                c.opaque == 0 ? MakePixel(0, 0, 0, int(c.a / c.count))
                              : MakePixel(int(c.b / c.opaque), int(c.g / c.opaque),
                                          int(c.r / c.opaque), int(c.a / c.count));
        }
    }
    return out;
}

uint32_t MosaicSelectionMix(uint32_t old, uint32_t cell, int32_t s) {
    if (s <= 0) return old;
    if (s >= 100 || ChA(old) == 0) return cell;
    const int d = ChA(cell) * s / 100;
    const int a = d + (100 - d) * ChA(old) / 100;
    return MakePixel(StrengthMix(ChB(old), ChB(cell), s), StrengthMix(ChG(old), ChG(cell), s),
                     StrengthMix(ChR(old), ChR(cell), s), a);
}

int ApplyMosaic(HistoryManager& history, int32_t cell) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    const int32_t n = std::clamp(cell, 2, 200);
    const Rect b = layer->Bounds();
    const int32_t w = layer->Width(), h = layer->Height();
    return RunBandFilter(history, "Mosaic", b, false, [&](int32_t first, int32_t, uint64_t window) {
        std::shared_ptr<RowReader> src = LayerRowReader(*layer, window);
        // One band of cell rows: summed first, then written with the old pixels still at hand.
        // A pass band may start inside a cell: it sums that whole cell first.
        const int32_t firstCell = first - first % n;
        auto cellRows = std::make_shared<RowRing>(
            w, h, n, [src](int32_t row) { return src->Row(uint32_t(row)); }, firstCell);
        auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
        auto cells = std::make_shared<std::vector<uint32_t>>();
        return RowFill([=](int32_t row, uint32_t* out) {
            if (row % n == 0 || row == first) {
                const int32_t top = row - row % n;
                if (!BandCells([&](int32_t r) { return cellRows->Row(r); }, w, top,
                               std::min(h, top + n), n, *cells))
                    return false;
            }
            for (int32_t x = 0; x < w; ++x) out[x] = (*cells)[size_t(x / n)];
            if (const uint8_t* s = strength->Row(b.bottom - 1 - row)) {
                const uint32_t* old = cellRows->Row(row);
                if (!old) return false;
                for (int32_t x = 0; x < w; ++x) out[x] = MosaicSelectionMix(old[x], out[x], s[x]);
            }
            return true;
        });
    });
}

}  // namespace zelvo
