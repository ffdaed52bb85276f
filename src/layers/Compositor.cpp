#include "layers/Compositor.h"

#include <algorithm>
#include <cstring>

#include "layers/BlendRuns.h"
#include "layers/StoredDib.h"

namespace zelvo {

namespace {

// How far ahead of a gather in a row read in place its lines are prefetched (measured best
// between 1 and 4 KiB on the view benchmark's fitted repaint).
constexpr size_t kPrefetchBytes = 2048;

// Shared by every pass of the process, so read buffers keep their pages between frames.
ReadBufferPool& ReadBuffers() {
    static ReadBufferPool pool(Compositor::kKeptBufferBytes);
    return pool;
}

}  // namespace

Compositor::Compositor(const std::vector<LayerPtr>& layers, const std::vector<int32_t>& rows,
                       int32_t colBegin, int32_t colEnd, uint64_t allWindowsBytes) {
    struct Shown {
        const Layer* layer;
        std::vector<uint32_t> plan;
        int32_t c0, c1;  // layer columns [c0, c1) the pass touches
    };
    std::vector<Shown> shown;
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        const Layer* layer = it->get();
        if (!layer || layer->Kind() == LayerKind::Null || !layer->IsVisible() ||
            layer->HeldFromDisplay() || !layer->HasPixels())
            continue;
        if (layer->BitsPerPixel() != 32 && layer->BitsPerPixel() != 1) continue;
        // Opacity 0 gives I = 0 on every pixel.
        if (layer->Opacity() == 0) continue;
        const int32_t x = layer->Position().x;
        const int32_t c0 = std::max(colBegin, x) - x;
        const int32_t c1 = std::min<int64_t>(colEnd, int64_t(x) + layer->Width()) - x;
        if (c0 >= c1) continue;
        Shown s{layer, {}, c0, c1};
        for (int32_t cy : rows) {
            const int32_t stored = layer->StoredRowOf(cy);
            if (stored >= 0 && stored < layer->Height()) s.plan.push_back(uint32_t(stored));
        }
        if (!s.plan.empty()) shown.push_back(std::move(s));
    }
    // The buffers' sum stays bounded however many layers there are.
    const uint64_t window =
        shown.empty() ? 0 : std::min<uint64_t>(kWindowBytes, allWindowsBytes / shown.size());
    for (Shown& v : shown) {
        const Layer* layer = v.layer;
        const bool mask = layer->BitsPerPixel() == 1;
        // A mask's part starts on a whole byte, so bit positions keep their meaning.
        const int32_t first = mask ? v.c0 / 8 * 8 : v.c0;
        const uint32_t byteBegin = mask ? uint32_t(v.c0 / 8) : 4 * uint32_t(v.c0);
        const uint32_t byteEnd = mask ? uint32_t((v.c1 - 1) / 8 + 1) : 4 * uint32_t(v.c1);
        Source s;
        s.rows = std::make_unique<RowPlanReader>(layer->Store(), layer->Block(),
                                                 layer->RowsOffset(), layer->Stride(),
                                                 uint32_t(layer->Height()), std::move(v.plan),
                                                 byteBegin, byteEnd, window, &ReadBuffers());
        s.x = layer->Position().x;
        s.y = layer->Position().y;
        s.width = layer->Width();
        s.height = layer->Height();
        s.firstCol = first;
        s.opacity = uint32_t(layer->Opacity());
        s.bits = layer->BitsPerPixel();
        s.colorWord = StoredDib::PixelWord(layer->Color(), 100);
        m_sources.push_back(std::move(s));
    }
}

bool MappedLayers::Describe(const Layer& layer, Entry& e) {
    if (layer.Kind() == LayerKind::Null || !layer.IsVisible() || layer.HeldFromDisplay() ||
        !layer.HasPixels())
        return false;
    if (layer.BitsPerPixel() != 32 && layer.BitsPerPixel() != 1) return false;
    // Opacity 0 gives I = 0 on every pixel.
    if (layer.Opacity() == 0) return false;
    const FileDynamicStore::Span p = layer.Store().Payload(layer.Block());
    e.layer = &layer;
    e.block = layer.Block();
    e.rows = nullptr;
    e.stride = layer.Stride();
    // Only rows lying whole inside the block's payload are read, as RowPlanReader does.
    const uint64_t first = layer.RowsOffset();
    e.validRows =
        e.stride != 0 && p.length != 0 && first < p.length
            ? uint32_t(std::min<uint64_t>(uint64_t(layer.Height()), (p.length - first) / e.stride))
            : 0u;
    e.rowsAt = p.offset + first;
    e.x = layer.Position().x;
    e.y = layer.Position().y;
    e.width = layer.Width();
    e.height = layer.Height();
    e.opacity = uint32_t(layer.Opacity());
    e.bits = layer.BitsPerPixel();
    e.colorWord = StoredDib::PixelWord(layer.Color(), 100);
    return e.validRows != 0;
}

MappedLayers::MappedLayers(const std::vector<LayerPtr>& layers, StoreMapping& mapping) {
    const FileDynamicStore* store = nullptr;
    uint64_t end = 0;
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        Entry e;
        if (!*it || !Describe(**it, e)) continue;
        // Every layer of a document lives in the one scratch store.
        if (store && &(*it)->Store() != store) {
            m_complete = false;
            continue;
        }
        store = &(*it)->Store();
        end = std::max(end, e.rowsAt + uint64_t(e.validRows) * e.stride);
        m_entries.push_back(e);
    }
    if (m_entries.empty()) return;
    // One mapping for all of them, made before any span is taken: a later remap would move it.
    if (!mapping.Cover(*store, end)) {
        // Some block lies past the file's end; the others can still be read in place.
        uint64_t fits = 0;
        for (const Entry& e : m_entries) {
            const uint64_t last = e.rowsAt + uint64_t(e.validRows) * e.stride;
            if (last <= store->FileBytes()) fits = std::max(fits, last);
        }
        if (fits == 0 || !mapping.Cover(*store, fits)) {
            m_entries.clear();
            m_complete = false;
            return;
        }
    }
    size_t kept = 0;
    for (Entry& e : m_entries) {
        e.rows = mapping.At(e.rowsAt, uint64_t(e.validRows) * e.stride);
        if (e.rows)
            m_entries[kept++] = e;
        else
            m_complete = false;
    }
    m_entries.resize(kept);
}

bool MappedLayers::Describes(const std::vector<LayerPtr>& layers) const {
    if (!m_complete) return false;
    size_t k = 0;
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        Entry e;
        if (!*it || !Describe(**it, e)) continue;
        if (k >= m_entries.size()) return false;
        const Entry& o = m_entries[k++];
        if (o.layer != e.layer || o.block != e.block || o.rowsAt != e.rowsAt ||
            o.stride != e.stride || o.validRows != e.validRows || o.x != e.x || o.y != e.y ||
            o.width != e.width || o.height != e.height || o.opacity != e.opacity ||
            o.bits != e.bits || o.colorWord != e.colorWord)
            return false;
    }
    return k == m_entries.size();
}

Compositor::Compositor(const MappedLayers& table) {
    m_sources.reserve(table.m_entries.size());
    for (const MappedLayers::Entry& e : table.m_entries) {
        Source s;
        s.mapped = e.rows;
        s.stride = e.stride;
        s.validRows = e.validRows;
        s.x = e.x;
        s.y = e.y;
        s.width = e.width;
        s.height = e.height;
        s.firstCol = 0;
        s.opacity = e.opacity;
        s.bits = e.bits;
        s.colorWord = e.colorWord;
        m_sources.push_back(std::move(s));
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

void Compositor::ComposeRow(int32_t cy, int32_t firstCol, const int32_t* cols, int32_t n) {
    Reserve(n);
    m_n = n;
    std::fill_n(m_cov.data(), n, int16_t(100));
    std::fill_n(m_b.data(), n, uint16_t(0));
    std::fill_n(m_g.data(), n, uint16_t(0));
    std::fill_n(m_r.data(), n, uint16_t(0));

    for (Source& s : m_sources) {
        const int32_t storedRow = s.height + s.y - cy - 1;
        if (storedRow < 0 || storedRow >= s.height) continue;
        int32_t lo, hi;  // output pixels [lo, hi) fall inside the layer's columns
        if (!cols) {
            lo = std::max(0, s.x - firstCol);
            hi = int32_t(std::min<int64_t>(n, int64_t(s.x) + s.width - firstCol));
        } else {
            lo = int32_t(std::lower_bound(cols, cols + n, s.x) - cols);
            hi = int32_t(std::lower_bound(cols, cols + n, int64_t(s.x) + s.width) - cols);
        }
        if (lo >= hi) continue;
        // The reader's first byte holds layer column s.firstCol.
        const uint8_t* row =
            s.mapped ? (uint32_t(storedRow) < s.validRows ? s.mapped + size_t(storedRow) * s.stride
                                                          : nullptr)
                     : s.rows->Row(uint32_t(storedRow));
        if (!row) continue;
        const int32_t origin = s.x + s.firstCol;  // canvas column of that first byte

        const int32_t count = hi - lo;
        const uint8_t* px = reinterpret_cast<const uint8_t*>(m_pixels.data());
        if (s.bits == 32) {
            if (!cols) {
                px = row + 4 * size_t(firstCol + lo - origin);
            } else {
                uint32_t* __restrict dst = m_pixels.data();
                const int32_t* __restrict at = cols + lo;
                if (s.mapped) {
                    // Read in place, the row comes from memory, not from a buffer just filled:
                    // lines well ahead are asked for early, a few in flight all the time.
                    const size_t rowBytes = 4 * size_t(s.width);
                    for (int32_t i = 0; i < count; ++i) {
                        const size_t byte = 4 * size_t(at[i] - origin);
                        if ((i & 3) == 0 && byte + kPrefetchBytes < rowBytes)
                            __builtin_prefetch(row + byte + kPrefetchBytes);
                        std::memcpy(&dst[size_t(i)], row + byte, 4);
                    }
                } else {
                    for (int32_t i = 0; i < count; ++i)
                        std::memcpy(&dst[size_t(i)], row + 4 * size_t(at[i] - origin), 4);
                }
            }
        } else {
            // A set bit is the layer's colour at alpha 100, a clear bit a transparent pixel.
            for (int32_t i = 0; i < count; ++i) {
                const int32_t c = (cols ? cols[lo + i] : firstCol + lo + i) - origin;
                const bool set = (row[c >> 3] >> (7 - (c & 7))) & 1;
                m_pixels[size_t(i)] = set ? s.colorWord : 0u;
            }
        }
        const uint32_t alive = BlendRun(px, count, uint16_t(s.opacity), m_cov.data() + lo,
                                        m_b.data() + lo, m_g.data() + lo, m_r.data() + lo);
        if (!alive && lo == 0 && hi == n) break;
    }
}

void Compositor::StoreBgr(uint8_t* out, int step) {
    FinishRun(m_n, m_cov.data(), m_b.data(), m_g.data(), m_r.data(), out, step);
}

}  // namespace zelvo
