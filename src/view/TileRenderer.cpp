#include "view/TileRenderer.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <thread>

#include "layers/Compositor.h"
#include "layers/StoredDib.h"
#include "store/RowCursor.h"
#include "view/LayerRows.h"
#include "view/StrokeOverlay.h"
#include "view/ViewZoom.h"

namespace zelvo {

namespace {

constexpr int32_t kT = TileCache::kTileSize;
constexpr int32_t kMapSize = kT + 2;  // pixels -1 .. 128
constexpr uint32_t kGrey = TileCache::kOutsideAbove;
constexpr int64_t kAllLines = INT64_MAX;

// The canvas positions of the pixels -1 .. 128 of a slot along one axis; -1 off the canvas.
void AxisMap(int32_t slotEdge, int32_t screenEdge, int32_t visibleEdge, float zoom, int32_t canvas,
             std::vector<int32_t>& map) {
    map.resize(kMapSize);
    for (int32_t k = 0; k < kMapSize; ++k) {
        const int32_t at = CanvasAt(visibleEdge, slotEdge + k - 1 - screenEdge, zoom);
        map[size_t(k)] = at >= 0 && at < canvas ? at : -1;
    }
}

// The roll along one axis that keeps the most slots on tiles already laid out for their map:
// slot s takes the tile that was at slot s + shift.
int32_t BestShift(const std::vector<std::vector<int32_t>>& maps,
                  const std::vector<const std::vector<int32_t>*>& keys) {
    const int32_t n = int32_t(maps.size());
    int32_t best = 0, bestCount = 0;
    for (int32_t shift = -(n - 1); shift < n; ++shift) {
        int32_t count = 0;
        for (int32_t s = 0; s < n; ++s) {
            const int32_t from = s + shift;
            if (from < 0 || from >= n) continue;
            const std::vector<int32_t>& key = *keys[size_t(from)];
            if (key.size() == size_t(kT) &&
                std::memcmp(key.data(), maps[size_t(s)].data() + 1, sizeof(int32_t) * kT) == 0)
                ++count;
        }
        if (count > bestCount || (count == bestCount && count > 0 && shift == 0)) {
            best = shift;
            bestCount = count;
        }
    }
    return best;
}

}  // namespace

TilePlacement PlaceTiles(const ImageGeometry& g, int32_t clientWidth, int32_t clientHeight,
                         int32_t maxColumns, int32_t maxRows) {
    auto axis = [](int32_t screenEdge, int32_t visibleEdge, float zoom, int32_t client, int32_t max,
                   int32_t& origin, int32_t& count) {
        const int64_t zoomedEdge = int64_t(float(visibleEdge) * zoom);
        origin = screenEdge - int32_t(zoomedEdge % kT);
        count = client > origin ? std::min(max, (client - origin + kT - 1) / kT) : 0;
    };
    TilePlacement grid;
    axis(g.screenRect.left, g.visible.left, g.zoom, clientWidth, maxColumns, grid.originX,
         grid.columns);
    axis(g.screenRect.top, g.visible.top, g.zoom, clientHeight, maxRows, grid.originY, grid.rows);
    return grid;
}

TileRenderer::TileRenderer(TileCache& cache, const PercentTables& tables)
    : m_cache(cache), m_tables(tables) {}

void TileRenderer::Lay(const TileFrame& frame) {
    const ImageGeometry& g = frame.geometry;
    m_grid =
        PlaceTiles(g, frame.clientWidth, frame.clientHeight, m_cache.Columns(), m_cache.Rows());
    const int32_t nc = m_cache.Columns(), nr = m_cache.Rows();
    m_columnMaps.resize(size_t(nc));
    m_rowMaps.resize(size_t(nr));
    for (int32_t c = 0; c < nc; ++c)
        AxisMap(m_grid.originX + c * kT, g.screenRect.left, g.visible.left, g.zoom, g.width,
                m_columnMaps[size_t(c)]);
    for (int32_t r = 0; r < nr; ++r)
        AxisMap(m_grid.originY + r * kT, g.screenRect.top, g.visible.top, g.zoom, g.height,
                m_rowMaps[size_t(r)]);

    std::vector<const std::vector<int32_t>*> columnKeys(static_cast<size_t>(nc));
    std::vector<const std::vector<int32_t>*> rowKeys(static_cast<size_t>(nr));
    for (int32_t c = 0; c < nc; ++c) columnKeys[size_t(c)] = &m_cache.ColumnKey(c);
    for (int32_t r = 0; r < nr; ++r) rowKeys[size_t(r)] = &m_cache.RowKey(r);
    const int32_t dc = BestShift(m_columnMaps, columnKeys);
    const int32_t dr = BestShift(m_rowMaps, rowKeys);
    if (dc != 0 || dr != 0) m_cache.Roll(dc, dr);
    for (int32_t c = 0; c < nc; ++c)
        m_cache.ColumnKey(c).assign(m_columnMaps[size_t(c)].begin() + 1,
                                    m_columnMaps[size_t(c)].end() - 1);
    for (int32_t r = 0; r < nr; ++r)
        m_cache.RowKey(r).assign(m_rowMaps[size_t(r)].begin() + 1, m_rowMaps[size_t(r)].end() - 1);
}

bool TileRenderer::Matches(const TileCache::Tile& t, int32_t r, int32_t c) const {
    return t.valid && t.document == m_document && t.zoom == m_zoom && t.content == m_serial &&
           std::memcmp(t.cols, m_columnMaps[size_t(c)].data() + 1, sizeof t.cols) == 0 &&
           std::memcmp(t.rows, m_rowMaps[size_t(r)].data() + 1, sizeof t.rows) == 0;
}

int TileRenderer::Render(const TileFrame& frame, bool fresh) {
    if (!m_cache.IsAllocated() || !frame.layers) return 0;
    if (fresh || frame.document != m_document) ++m_serial;
    m_document = frame.document;
    m_zoom = frame.geometry.zoom;
    Lay(frame);
    std::vector<Stale> stale;
    for (int32_t r = 0; r < m_grid.rows; ++r)
        for (int32_t c = 0; c < m_grid.columns; ++c) {
            TileCache::Tile& t = m_cache.At(r, c);
            if (!Matches(t, r, c)) stale.push_back({r, c, &t});
        }
    if (stale.empty()) return 0;
    m_damageAll = true;
    const MappedLayers* table = PassTable(frame, fresh);
    // Pixel rows of the grid, counted down the slots (line = slot row x 128 + row in the tile).
    int64_t split = kAllLines;
    if (m_threads == 2 && stale.size() >= 2) {
        // Two halves of equal work, the same number of tile pixels each, cut between pixel rows
        // (within a tile row when need be), each half with its own compositor.
        std::vector<int64_t> perRow(size_t(m_grid.rows), 0);
        for (const Stale& t : stale) ++perRow[size_t(t.slotRow)];
        int64_t total = 0;
        for (int64_t n : perRow) total += n * kT;
        int64_t done = 0;
        for (int32_t r = 0; r < m_grid.rows && split == kAllLines; ++r) {
            const int64_t row = perRow[size_t(r)] * kT;
            if (row > 0 && 2 * (done + row) >= total)
                split = int64_t(r) * kT +
                        (total / 2 - done + perRow[size_t(r)] - 1) / perRow[size_t(r)];
            done += row;
        }
    }
    if (split != kAllLines) {
        std::thread helper([&] { RenderRows(frame, stale, table, split, kAllLines); });
        RenderRows(frame, stale, table, 0, split);
        helper.join();
    } else {
        RenderRows(frame, stale, table, 0, kAllLines);
    }
    FinishTiles(frame, stale);
    if (!m_fastScroll) m_table.reset();
    return int(stale.size());
}

bool TileRenderer::ShowsPartOf(const TileCache::Tile& tile, const Rect& rect) {
    auto meets = [](const int32_t* map, int32_t lo, int32_t hi) {
        for (int32_t k = 0; k < kT; ++k)
            if (map[k] >= lo && map[k] < hi) return true;
        return false;
    };
    return !rect.IsEmpty() && meets(tile.cols, rect.left, rect.right) &&
           meets(tile.rows, rect.top, rect.bottom);
}

int TileRenderer::RenderRect(const TileFrame& frame, const Rect& rect) {
    if (!m_cache.IsAllocated() || !frame.layers) return 0;
    // Another document's tiles hold nothing of this one.
    if (frame.document != m_document) return Render(frame, true);
    // Every tile of the cache, laid out now or kept in the rings for a later scroll.
    for (int32_t r = 0; r < m_cache.Rows(); ++r)
        for (int32_t c = 0; c < m_cache.Columns(); ++c) {
            TileCache::Tile& t = m_cache.At(r, c);
            if (t.valid && ShowsPartOf(t, rect)) t.valid = false;
        }
    return Render(frame, false);
}

void TileRenderer::SetFastScroll(bool on) {
    m_fastScroll = on;
    if (!on) m_table.reset();
}

void TileRenderer::ReleaseMapping() {
    m_table.reset();
    m_mapping.Release();
}

const MappedLayers* TileRenderer::PassTable(const TileFrame& frame, bool fresh) {
    if (!m_readInPlace) return nullptr;
    // A move during a thumb drag keeps the table, unless the layers themselves changed.
    if (!(m_fastScroll && !fresh && m_table && m_table->Describes(*frame.layers))) {
        m_table.reset();
        m_table = std::make_unique<MappedLayers>(*frame.layers, m_mapping);
        m_mappingsSeen = m_mapping.Mappings();
        ++m_tablesBuilt;
    }
    return m_table->Complete() ? m_table.get() : nullptr;
}

void TileRenderer::RenderRows(const TileFrame& frame, const std::vector<Stale>& tiles,
                              const MappedLayers* table, int64_t lineBegin, int64_t lineEnd) {
    // The tile rows [v0, v1) of slot row r that lie within the lines asked for.
    auto span = [&](int32_t r, int32_t& v0, int32_t& v1) {
        const int64_t top = int64_t(r) * kT;
        v0 = int32_t(std::clamp<int64_t>(lineBegin - top, 0, kT));
        v1 = int32_t(std::clamp<int64_t>(lineEnd - top, 0, kT));
    };
    struct Segment {
        const Stale* stale;
        int32_t ua, ub;  // tile pixels [ua, ub) show canvas columns
        int32_t at;      // where they start in the band's composed row
    };
    struct Band {
        int32_t slotRow;
        std::vector<Segment> segments;
        std::vector<int32_t> cols;
        bool contiguous = true;
    };
    std::vector<Band> bands;
    for (const Stale& s : tiles) {
        if (bands.empty() || bands.back().slotRow != s.slotRow)
            bands.push_back({s.slotRow, {}, {}, true});
        Band& b = bands.back();
        const std::vector<int32_t>& map = m_columnMaps[size_t(s.slotColumn)];
        int32_t ua = 0;
        while (ua < kT && map[size_t(ua + 1)] < 0) ++ua;
        int32_t ub = ua;
        while (ub < kT && map[size_t(ub + 1)] >= 0) ++ub;
        b.segments.push_back({&s, ua, ub, int32_t(b.cols.size())});
        for (int32_t u = ua; u < ub; ++u) b.cols.push_back(map[size_t(u + 1)]);
    }
    std::vector<int32_t> rows;
    int32_t colBegin = INT32_MAX, colEnd = INT32_MIN;
    size_t widest = 0;
    for (Band& b : bands) {
        if (b.cols.empty()) continue;
        for (size_t k = 1; k < b.cols.size(); ++k)
            if (b.cols[k] != b.cols[k - 1] + 1) b.contiguous = false;
        colBegin = std::min(colBegin, b.cols.front());
        colEnd = std::max(colEnd, b.cols.back() + 1);
        widest = std::max(widest, b.cols.size());
        const std::vector<int32_t>& map = m_rowMaps[size_t(b.slotRow)];
        int32_t v0, v1;
        span(b.slotRow, v0, v1);
        for (int32_t v = v0; v < v1; ++v)
            if (map[size_t(v + 1)] >= 0 && (rows.empty() || rows.back() != map[size_t(v + 1)]))
                rows.push_back(map[size_t(v + 1)]);
    }
    std::unique_ptr<Compositor> compositor;
    if (!rows.empty() && colBegin < colEnd)
        compositor = table ? std::make_unique<Compositor>(*table)
                           : std::make_unique<Compositor>(*frame.layers, rows, colBegin, colEnd);
    std::vector<uint32_t> line(widest, 0u);  // fourth bytes stay 0: StoreBgr leaves them

    for (const Band& b : bands) {
        const std::vector<int32_t>& map = m_rowMaps[size_t(b.slotRow)];
        int32_t lastCy = INT32_MIN;
        int32_t v0, v1;
        span(b.slotRow, v0, v1);
        for (int32_t v = v0; v < v1; ++v) {
            const int32_t cy = map[size_t(v + 1)];
            const bool shown = cy >= 0 && compositor && !b.cols.empty();
            if (shown && cy != lastCy) {
                const int32_t n = int32_t(b.cols.size());
                if (b.contiguous)
                    compositor->ComposeRow(cy, b.cols.front(), nullptr, n);
                else
                    compositor->ComposeRow(cy, 0, b.cols.data(), n);
                compositor->StoreBgr(reinterpret_cast<uint8_t*>(line.data()), 4);
                lastCy = cy;
            }
            for (const Segment& seg : b.segments) {
                uint32_t* o = seg.stale->tile->out + size_t(v) * kT;
                if (!shown) {
                    std::fill_n(o, kT, kGrey);
                    continue;
                }
                std::fill_n(o, seg.ua, kGrey);
                std::memcpy(o + seg.ua, line.data() + seg.at,
                            sizeof(uint32_t) * size_t(seg.ub - seg.ua));
                std::fill(o + seg.ub, o + kT, kGrey);
            }
        }
    }
}

void TileRenderer::FinishTiles(const TileFrame& frame, const std::vector<Stale>& tiles) {
    for (const Stale& s : tiles) {
        TileCache::Tile& t = *s.tile;
        t.valid = true;
        t.document = m_document;
        t.zoom = m_zoom;
        t.content = m_serial;
        std::memcpy(t.cols, m_columnMaps[size_t(s.slotColumn)].data() + 1, sizeof t.cols);
        std::memcpy(t.rows, m_rowMaps[size_t(s.slotRow)].data() + 1, sizeof t.rows);
        t.splitValid = false;
        t.previewValid = false;
        if (frame.selection) MarkOutline(frame, s);
    }
}

void TileRenderer::MarkOutline(const TileFrame& frame, const Stale& s) {
    const Layer* mask = frame.selection;
    if (!mask->HasPixels() || mask->BitsPerPixel() != 8) return;
    const std::vector<int32_t>& cols = m_columnMaps[size_t(s.slotColumn)];
    const std::vector<int32_t>& rows = m_rowMaps[size_t(s.slotRow)];
    RowReader reader(mask->Store(), mask->Block(), mask->RowsOffset(), mask->Stride(),
                     uint32_t(mask->Height()),
                     std::max<uint64_t>(mask->Stride(), uint64_t(64) << 10));
    // Strengths of the tile's pixels and the ring of neighbours around them.
    std::vector<uint8_t> st(size_t(kMapSize) * kMapSize, 0);
    const int32_t mx = mask->Position().x;
    // The canvas ends on screen at screenRect's far edges even where the truncated zoom would
    // reach its last column (or row) one pixel on: past them the client is grey, strength 0.
    const ImageGeometry& g = frame.geometry;
    const int32_t xEnd = g.visible.right >= g.width ? g.screenRect.right : INT32_MAX;
    const int32_t yEnd = g.visible.bottom >= g.height ? g.screenRect.bottom : INT32_MAX;
    const int32_t x0 = m_grid.originX + s.slotColumn * kT - 1;
    const int32_t y0 = m_grid.originY + s.slotRow * kT - 1;
    for (int32_t k = 0; k < kMapSize; ++k) {
        const int32_t cy = rows[size_t(k)];
        if (cy < 0 || y0 + k >= yEnd) continue;
        const int32_t stored = mask->StoredRowOf(cy);
        if (stored < 0 || stored >= mask->Height()) continue;
        const uint8_t* row = reader.Row(uint32_t(stored));
        if (!row) continue;
        uint8_t* dst = st.data() + size_t(k) * kMapSize;
        for (int32_t j = 0; j < kMapSize; ++j) {
            const int32_t cx = cols[size_t(j)] - mx;
            if (cols[size_t(j)] >= 0 && cx >= 0 && cx < mask->Width() && x0 + j < xEnd)
                dst[j] = row[cx];
        }
    }
    uint32_t* out = s.tile->out;
    for (int32_t v = 0; v < kT; ++v) {
        const uint8_t* up = st.data() + size_t(v) * kMapSize;
        const uint8_t* mid = up + kMapSize;
        const uint8_t* down = mid + kMapSize;
        for (int32_t u = 0; u < kT; ++u) {
            const bool on = OnOutline(mid[u + 1], mid[u], mid[u + 2], up[u + 1], down[u + 1]);
            uint32_t& w = out[size_t(v) * kT + size_t(u)];
            w = (w & 0x00FFFFFFu) | (on ? uint32_t(TileCache::kOutlineMarker) << 24 : 0u);
        }
    }
}

int TileRenderer::RecomposeCurrent(const TileFrame& frame) {
    if (!m_cache.IsAllocated() || !frame.layers) return 0;
    const std::vector<LayerPtr>& layers = *frame.layers;
    int32_t current = -1;
    for (size_t i = 0; i < layers.size(); ++i)
        if (layers[i] && layers[i]->IsCurrent()) current = int32_t(i);
    if (current < 0) return Render(frame, true);
    if (frame.document != m_document) ++m_serial;
    m_document = frame.document;
    m_zoom = frame.geometry.zoom;
    Lay(frame);
    m_damageAll = true;
    std::vector<Stale> all, stale;
    for (int32_t r = 0; r < m_grid.rows; ++r)
        for (int32_t c = 0; c < m_grid.columns; ++c) {
            TileCache::Tile& t = m_cache.At(r, c);
            all.push_back({r, c, &t});
            if (!Matches(t, r, c)) stale.push_back({r, c, &t});
        }
    if (!stale.empty()) {
        RenderRows(frame, stale, PassTable(frame, true), 0, kAllLines);
        FinishTiles(frame, stale);
        if (!m_fastScroll) m_table.reset();
    }
    for (const Stale& s : all) {
        TileCache::Tile& t = *s.tile;
        if (!t.splitValid || t.splitContent != m_serial || t.splitCurrent != current)
            BuildSplit(frame, s, current);
        ComposeOut(frame, s, current);
    }
    return int(all.size());
}

void TileRenderer::BuildSplit(const TileFrame& frame, const Stale& s, int32_t current) {
    const std::vector<LayerPtr>& layers = *frame.layers;
    const std::vector<int32_t>& cols = m_columnMaps[size_t(s.slotColumn)];
    const std::vector<int32_t>& rows = m_rowMaps[size_t(s.slotRow)];
    // Sources top first; `index` keeps their place against the current layer.
    std::vector<std::unique_ptr<LayerRows>> sources;
    std::vector<int32_t> index;
    SplitSources(layers, current, sources, index, m_readInPlace ? &m_mapping : nullptr);
    NoteMappings();
    TileCache::Tile& t = *s.tile;
    for (int32_t v = 0; v < kT; ++v) {
        const int32_t cy = rows[size_t(v + 1)];
        uint32_t* below = t.below + size_t(v) * kT;
        uint32_t* above = t.above + size_t(v) * kT;
        if (cy < 0) {
            std::fill_n(below, kT, TileCache::kOutsideBelow);
            std::fill_n(above, kT, TileCache::kOutsideAbove);
            continue;
        }
        for (auto& src : sources) src->Fetch(cy);
        for (int32_t u = 0; u < kT; ++u) {
            const int32_t cx = cols[size_t(u + 1)];
            if (cx < 0) {
                below[u] = TileCache::kOutsideBelow;
                above[u] = TileCache::kOutsideAbove;
                continue;
            }
            SplitPixel(sources, index, current, cx, m_tables, above[u], below[u]);
        }
    }
    t.splitValid = true;
    t.splitContent = m_serial;
    t.splitCurrent = current;
}

int TileRenderer::ShowStroke(const TileFrame& frame, const Rect& rect) {
    const StrokeOverlay* stroke = frame.stroke;
    if (!stroke || !m_cache.IsAllocated() || !frame.layers) return 0;
    const std::vector<LayerPtr>& layers = *frame.layers;
    int32_t current = -1;
    for (size_t i = 0; i < layers.size(); ++i)
        if (layers[i].get() == stroke->StrokeLayer()) current = int32_t(i);
    // Paint on a hidden layer shows nothing until it is shown.
    if (current < 0 || !layers[size_t(current)]->IsVisible()) return 0;
    const Rect area = rect.Intersect(stroke->Bounds());
    if (area.IsEmpty()) return 0;
    RowCursor records(stroke->Store(), stroke->Records(), 0, uint32_t(stroke->Width()) * 5,
                      uint32_t(stroke->Height()));
    int n = 0;
    for (int32_t r = 0; r < m_grid.rows; ++r)
        for (int32_t c = 0; c < m_grid.columns; ++c) {
            TileCache::Tile& t = m_cache.At(r, c);
            if (!Matches(t, r, c) || !ShowsPartOf(t, area)) continue;
            const Stale s{r, c, &t};
            if (!t.splitValid || t.splitContent != m_serial || t.splitCurrent != current)
                BuildSplit(frame, s, current);
            ComposeOut(frame, s, current, &records, &area);
            m_damage = m_damage.Union({SlotX(c), SlotY(r), SlotX(c) + kT, SlotY(r) + kT});
            ++n;
        }
    return n;
}

void TileRenderer::NoteMappings() {
    // A mapping made again would leave the kept table pointing into the old one.
    if (m_mapping.Mappings() != m_mappingsSeen) m_table.reset();
    m_mappingsSeen = m_mapping.Mappings();
}

void TileRenderer::ComposeOut(const TileFrame& frame, const Stale& s, int32_t current,
                              RowCursor* records, const Rect* only) {
    const Layer* layer = (*frame.layers)[size_t(current)].get();
    std::unique_ptr<LayerRows> src;
    if (Shows(layer))
        src = std::make_unique<LayerRows>(layer, m_readInPlace ? &m_mapping : nullptr);
    NoteMappings();
    const int32_t opacity = layer ? layer->Opacity() : 0;
    const std::vector<int32_t>& cols = m_columnMaps[size_t(s.slotColumn)];
    const std::vector<int32_t>& rows = m_rowMaps[size_t(s.slotRow)];
    TileCache::Tile& t = *s.tile;
    // Only the pixels showing `only` change; the rest of the tile already shows them right.
    int32_t u0 = 0, u1 = kT;
    if (only) {
        while (u0 < kT &&
               (cols[size_t(u0 + 1)] < only->left || cols[size_t(u0 + 1)] >= only->right))
            ++u0;
        u1 = u0;
        while (u1 < kT && cols[size_t(u1 + 1)] >= only->left && cols[size_t(u1 + 1)] < only->right)
            ++u1;
    }
    for (int32_t v = 0; v < kT; ++v) {
        const int32_t cy = rows[size_t(v + 1)];
        if (only && (cy < only->top || cy >= only->bottom)) continue;
        if (src) {
            if (cy >= 0)
                src->Fetch(cy);
            else
                src->row = nullptr;
        }
        uint8_t* rec = records && cy >= 0 ? records->Row(uint32_t(cy)) : nullptr;
        for (int32_t u = u0; u < u1; ++u) {
            const size_t at = size_t(v) * kT + size_t(u);
            const uint32_t ab = t.above[at], be = t.below[at];
            const int32_t cx = cols[size_t(u + 1)];
            uint32_t p = src && cx >= 0 ? src->At(cx) : 0u;
            // The painter writes a record's coverage after its pixel.
            if (rec && cx >= 0 &&
                std::atomic_ref<uint8_t>(rec[5 * size_t(cx)]).load(std::memory_order_acquire) != 0)
                std::memcpy(&p, rec + 5 * size_t(cx) + 1, 4);
            t.out[at] = (t.out[at] & 0xFF000000u) | ComposePixel(ab, be, p, opacity, m_tables);
        }
    }
}

}  // namespace zelvo
