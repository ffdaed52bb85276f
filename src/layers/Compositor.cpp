#include "layers/Compositor.h"

#include <algorithm>
#include <cstring>

#include "layers/StoredDib.h"

namespace zelvo {

namespace {

// One layer's run of 32-bit pixels over the accumulators. Returns whether any pixel of the run
// still has coverage left. Unsigned arithmetic on values known to be non-negative, so that the
// divisions by constants become multiplications.
__attribute__((target_clones("avx2", "default"))) uint32_t BlendRun(
    const uint32_t* __restrict px, int32_t n, uint32_t opacity, int32_t* __restrict cov,
    uint32_t* __restrict b, uint32_t* __restrict g, uint32_t* __restrict r) {
    uint32_t alive = 0;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t p = px[i];
        const int32_t c = cov[i];
        // A pixel that is finished (coverage <= 0, possible only with alpha bytes above 100)
        // takes nothing more.
        const uint32_t cp = c > 0 ? uint32_t(c) : 0u;
        const uint32_t in = opacity * (p >> 24) * cp / 10000u;
        b[i] += in * (p & 0xFFu) / 100u;
        g[i] += in * ((p >> 8) & 0xFFu) / 100u;
        r[i] += in * ((p >> 16) & 0xFFu) / 100u;
        const int32_t left = c - int32_t(in);
        cov[i] = left;
        alive |= uint32_t(left > 0);
    }
    return alive;
}

}  // namespace

Compositor::Compositor(const std::vector<LayerPtr>& layers, const PercentTables& tables)
    : m_tables(tables) {
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        const Layer* layer = it->get();
        if (!layer || layer->Kind() == LayerKind::Null || !layer->IsVisible() || !layer->HasPixels())
            continue;
        if (layer->BitsPerPixel() != 32 && layer->BitsPerPixel() != 1) continue;
        // Opacity 0 gives I = 0 on every pixel.
        if (layer->Opacity() == 0) continue;
        Source s{layer,
                 layer->OpenRows(),
                 layer->Position().x,
                 layer->Position().y,
                 layer->Width(),
                 layer->Height(),
                 uint32_t(layer->Opacity()),
                 layer->BitsPerPixel(),
                 StoredDib::PixelWord(layer->Color(), 100)};
        if (s.rows) m_sources.push_back(std::move(s));
    }
}

Compositor::~Compositor() = default;

void Compositor::Reserve(int32_t n) {
    if (int32_t(m_cov.size()) < n) {
        m_cov.resize(size_t(n));
        m_b.resize(size_t(n));
        m_g.resize(size_t(n));
        m_r.resize(size_t(n));
        m_pixels.resize(size_t(n));
    }
}

namespace {

// Reads of the mapped rows otherwise wait on memory line by line; asking for the next row's
// bytes early keeps many lines in flight.
void Prefetch(const uint8_t* p, size_t bytes) {
    for (size_t off = 0; off < bytes; off += 64) __builtin_prefetch(p + off, 0, 3);
}

}  // namespace

void Compositor::ComposeRow(int32_t cy, int32_t firstCol, const int32_t* cols, int32_t n,
                            int32_t nextCy) {
    Reserve(n);
    m_n = n;
    std::fill_n(m_cov.data(), n, 100);
    std::fill_n(m_b.data(), n, 0u);
    std::fill_n(m_g.data(), n, 0u);
    std::fill_n(m_r.data(), n, 0u);

    for (Source& s : m_sources) {
        const int32_t storedRow = s.height + s.y - cy - 1;
        if (storedRow < 0 || storedRow >= s.height) continue;
        int32_t lo, hi;  // output pixels [lo, hi) fall inside the layer's columns
        if (!cols) {
            lo = std::max(0, s.x - firstCol);
            hi = std::min(n, s.x + s.width - firstCol);
        } else {
            lo = int32_t(std::lower_bound(cols, cols + n, s.x) - cols);
            hi = int32_t(std::lower_bound(cols, cols + n, s.x + s.width) - cols);
        }
        if (lo >= hi) continue;
        const uint8_t* row = s.rows->Row(uint32_t(storedRow));
        if (!row) continue;

        const int32_t count = hi - lo;
        // The next row in the same window lies (cy - nextCy) strides away; a row outside the
        // window would be mapped anew and is left alone.
        if (nextCy != kNoRow && nextCy != cy) {
            const int32_t nextRow = storedRow + cy - nextCy;
            if (nextRow >= int32_t(s.rows->WindowFirst()) && nextRow < int32_t(s.rows->WindowEnd())) {
                const int32_t c0 = (cols ? cols[lo] : firstCol + lo) - s.x;
                const int32_t c1 = (cols ? cols[hi - 1] : firstCol + hi - 1) - s.x;
                const size_t b0 = s.bits == 32 ? 4 * size_t(c0) : size_t(c0) / 8;
                const size_t b1 = s.bits == 32 ? 4 * size_t(c1) + 4 : size_t(c1) / 8 + 1;
                Prefetch(row + ptrdiff_t(nextRow - storedRow) * ptrdiff_t(s.rows->RowBytes()) + b0, b1 - b0);
            }
        }
        const uint32_t* px = m_pixels.data();
        if (s.bits == 32) {
            const uint8_t* first = row + 4 * size_t(firstCol + lo - s.x);
            if (!cols && reinterpret_cast<uintptr_t>(first) % 4 == 0) {
                px = reinterpret_cast<const uint32_t*>(first);
            } else if (!cols) {
                std::memcpy(m_pixels.data(), first, 4 * size_t(count));
            } else {
                for (int32_t i = 0; i < count; ++i)
                    std::memcpy(&m_pixels[size_t(i)], row + 4 * size_t(cols[lo + i] - s.x), 4);
            }
        } else {
            // A set bit is the layer's colour at alpha 100, a clear bit a transparent pixel.
            for (int32_t i = 0; i < count; ++i) {
                const int32_t c = (cols ? cols[lo + i] : firstCol + lo + i) - s.x;
                const bool set = (row[c >> 3] >> (7 - (c & 7))) & 1;
                m_pixels[size_t(i)] = set ? s.colorWord : 0u;
            }
        }
        const uint32_t alive = BlendRun(px, count, s.opacity, m_cov.data() + lo, m_b.data() + lo,
                                        m_g.data() + lo, m_r.data() + lo);
        if (!alive && lo == 0 && hi == n) break;
    }
}

void Compositor::StoreBgr(uint8_t* out, int step) const {
    const uint8_t* white = m_tables.T100Row(255);  // cov x 255 / 100
    for (int32_t i = 0; i < m_n; ++i) {
        const int32_t c = m_cov[size_t(i)];
        const uint32_t w = c > 0 ? white[c] : 0u;
        uint8_t* p = out + size_t(i) * size_t(step);
        p[0] = uint8_t(m_b[size_t(i)] + w);
        p[1] = uint8_t(m_g[size_t(i)] + w);
        p[2] = uint8_t(m_r[size_t(i)] + w);
    }
}

}  // namespace zelvo
