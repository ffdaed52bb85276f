// The live preview of the adjustment and filter dialogs, drawn into the tiles as a refresh of
// the current layer: the layer stack is split at the current layer once, the layer's words and
// the selection strengths under each tile pixel are kept, and every change of the dialog's
// values only passes those words through the rule (or takes the filter's buffer) and blends.
#include <algorithm>
#include <thread>

#include "adjust/ImageProcessor.h"
#include "view/LayerRows.h"
#include "view/TileRenderer.h"

namespace zelvo {

namespace {

constexpr int32_t kT = TileCache::kTileSize;
constexpr uint8_t kNoSelection = 255;

}  // namespace

// For a filter's buffer: the buffer column (row) showing each canvas column (row) of its area,
// the nearest one to the left (above) where the buffer skips it; empty when the rule is shown.
struct TileRenderer::PreviewMaps {
    Rect area;
    std::vector<int32_t> columns, rows;

    explicit PreviewMaps(const ImageProcessor& ip) {
        if (!ip.ShowsBuffer()) return;
        area = ip.PreviewArea();
        const PixelBuffer& buffer = ip.PreviewResult();
        Inverse(ip, buffer.width, area.Width(), columns);
        Inverse(ip, buffer.height, area.Height(), rows);
    }
    static void Inverse(const ImageProcessor& ip, int32_t count, int32_t extent,
                        std::vector<int32_t>& map) {
        map.assign(size_t(std::max(extent, 0)), -1);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t at = ip.PreviewOffset(i);
            if (at >= 0 && at < extent) map[size_t(at)] = i;
        }
        int32_t last = 0;
        for (int32_t& m : map) {
            if (m < 0) m = last;
            last = m;
        }
        if (count == 0) map.clear();
    }
    bool Buffer() const { return !columns.empty() && !rows.empty(); }
};

int TileRenderer::RenderPreview(const TileFrame& frame, bool fresh) {
    if (!m_cache.IsAllocated() || !frame.layers || !frame.preview) return 0;
    const std::vector<LayerPtr>& layers = *frame.layers;
    int32_t current = -1;
    for (size_t i = 0; i < layers.size(); ++i)
        if (layers[i] && layers[i]->IsCurrent()) current = int32_t(i);
    if (current < 0) return Render(frame, fresh);
    if (fresh || frame.document != m_document) ++m_serial;
    m_document = frame.document;
    m_zoom = frame.geometry.zoom;
    Lay(frame);
    std::vector<std::vector<Stale>> bands(size_t(m_grid.rows));
    std::vector<Stale> stale;
    int count = 0;
    for (int32_t r = 0; r < m_grid.rows; ++r)
        for (int32_t c = 0; c < m_grid.columns; ++c) {
            TileCache::Tile& t = m_cache.At(r, c);
            bands[size_t(r)].push_back({r, c, &t});
            if (!Matches(t, r, c)) stale.push_back({r, c, &t});
            ++count;
        }
    // Tiles laid out anew get their records (and the outline) from a plain pass first.
    if (!stale.empty()) {
        RenderRows(frame, stale, PassTable(frame, true), 0, INT64_MAX);
        FinishTiles(frame, stale);
        if (!m_fastScroll) m_table.reset();
    }
    m_previewShown = true;
    m_damageAll = true;
    const PreviewMaps maps(*frame.preview);
    auto work = [&](int32_t r0, int32_t r1) {
        for (int32_t r = r0; r < r1; ++r) PreviewBand(frame, bands[size_t(r)], current, maps);
    };
    if (m_threads == 2 && m_grid.rows >= 2) {
        const int32_t half = m_grid.rows / 2;
        std::thread helper([&] { work(half, m_grid.rows); });
        work(0, half);
        helper.join();
    } else {
        work(0, m_grid.rows);
    }
    return count;
}

void TileRenderer::PreviewBand(const TileFrame& frame, const std::vector<Stale>& band,
                               int32_t current, const PreviewMaps& maps) {
    if (band.empty()) return;
    const std::vector<LayerPtr>& layers = *frame.layers;
    const Layer* layer = layers[size_t(current)].get();
    const bool shown = Shows(layer);
    const ImageProcessor& ip = *frame.preview;
    const Layer* mask = ip.HasSelection() && frame.selection && frame.selection->HasPixels() &&
                                frame.selection->BitsPerPixel() == 8
                            ? frame.selection
                            : nullptr;
    const std::vector<int32_t>& rows = m_rowMaps[size_t(band.front().slotRow)];

    // What is missing of the split and of the kept words: one read of each row for the band.
    std::vector<const Stale*> needSplit, needWords;
    for (const Stale& s : band) {
        const TileCache::Tile& t = *s.tile;
        if (!t.splitValid || t.splitContent != m_serial || t.splitCurrent != current)
            needSplit.push_back(&s);
        if (!t.previewValid || t.previewContent != m_serial || t.previewCurrent != current)
            needWords.push_back(&s);
    }
    if (!needSplit.empty() || !needWords.empty()) {
        std::vector<std::unique_ptr<LayerRows>> sources;
        std::vector<int32_t> index;
        if (!needSplit.empty()) SplitSources(layers, current, sources, index);
        std::unique_ptr<LayerRows> words, strengths;
        if (!needWords.empty() && shown) words = std::make_unique<LayerRows>(layer);
        if (!needWords.empty() && mask) strengths = std::make_unique<LayerRows>(mask);
        for (const Stale* s : needWords) {
            s->tile->previewWords.assign(size_t(TileCache::kTilePixels), 0u);
            s->tile->previewStrengths.assign(size_t(TileCache::kTilePixels),
                                             mask ? uint8_t(0) : kNoSelection);
        }
        for (int32_t v = 0; v < kT; ++v) {
            const int32_t cy = rows[size_t(v + 1)];
            if (cy >= 0) {
                for (auto& src : sources) src->Fetch(cy);
                if (words) words->Fetch(cy);
                if (strengths) strengths->Fetch(cy);
            }
            for (const Stale* s : needSplit) {
                TileCache::Tile& t = *s->tile;
                const std::vector<int32_t>& cols = m_columnMaps[size_t(s->slotColumn)];
                uint32_t* below = t.below + size_t(v) * kT;
                uint32_t* above = t.above + size_t(v) * kT;
                for (int32_t u = 0; u < kT; ++u) {
                    const int32_t cx = cols[size_t(u + 1)];
                    if (cy < 0 || cx < 0) {
                        below[u] = TileCache::kOutsideBelow;
                        above[u] = TileCache::kOutsideAbove;
                    } else {
                        SplitPixel(sources, index, current, cx, m_tables, above[u], below[u]);
                    }
                }
            }
            if (cy < 0) continue;
            for (const Stale* s : needWords) {
                TileCache::Tile& t = *s->tile;
                const std::vector<int32_t>& cols = m_columnMaps[size_t(s->slotColumn)];
                uint32_t* w = t.previewWords.data() + size_t(v) * kT;
                uint8_t* st = t.previewStrengths.data() + size_t(v) * kT;
                for (int32_t u = 0; u < kT; ++u) {
                    const int32_t cx = cols[size_t(u + 1)];
                    if (cx < 0) continue;
                    if (words) w[u] = words->At(cx);
                    if (strengths) st[u] = std::min<uint8_t>(strengths->ByteAt(cx), 100);
                }
            }
        }
        for (const Stale* s : needSplit) {
            s->tile->splitValid = true;
            s->tile->splitContent = m_serial;
            s->tile->splitCurrent = current;
        }
        for (const Stale* s : needWords) {
            s->tile->previewValid = true;
            s->tile->previewContent = m_serial;
            s->tile->previewCurrent = current;
        }
    }

    // The tiles' pictures through the rule, or from the filter's buffer.
    const int32_t opacity = layer ? layer->Opacity() : 0;
    const bool buffer = shown && maps.Buffer();
    const PixelBuffer& result = ip.PreviewResult();
    for (const Stale& s : band) {
        TileCache::Tile& t = *s.tile;
        const std::vector<int32_t>& cols = m_columnMaps[size_t(s.slotColumn)];
        for (int32_t v = 0; v < kT; ++v) {
            const int32_t cy = rows[size_t(v + 1)];
            const int32_t by = buffer && cy >= maps.area.top && cy < maps.area.bottom
                                   ? maps.rows[size_t(cy - maps.area.top)]
                                   : -1;
            const uint32_t* resultRow =
                by >= 0 ? result.px.data() + size_t(by) * size_t(result.width) : nullptr;
            for (int32_t u = 0; u < kT; ++u) {
                const size_t at = size_t(v) * kT + size_t(u);
                uint32_t p = t.previewWords[at];
                if (buffer) {
                    const int32_t cx = cols[size_t(u + 1)];
                    if (resultRow && cx >= maps.area.left && cx < maps.area.right)
                        p = resultRow[maps.columns[size_t(cx - maps.area.left)]];
                } else if (p != 0) {
                    // Pixels at strength 0 are never changed.
                    const uint8_t strength = t.previewStrengths[at];
                    if (strength != 0)
                        p = ip.PreviewPixel(p, strength == kNoSelection ? -1 : strength);
                }
                t.out[at] = (t.out[at] & 0xFF000000u) |
                            ComposePixel(t.above[at], t.below[at], p, opacity, m_tables);
            }
        }
    }
}

void TileRenderer::EndPreview() {
    for (int32_t r = 0; r < m_cache.Rows(); ++r)
        for (int32_t c = 0; c < m_cache.Columns(); ++c) {
            TileCache::Tile& t = m_cache.At(r, c);
            t.valid = false;
            t.previewValid = false;
            std::vector<uint32_t>().swap(t.previewWords);
            std::vector<uint8_t>().swap(t.previewStrengths);
        }
    ++m_serial;
    m_previewShown = false;
}

}  // namespace zelvo
