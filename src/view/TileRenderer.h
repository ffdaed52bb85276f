// Rendering into the display tile cache. A pass lays the grid over the client area — the tile
// edges follow the zoomed canvas, so a scrolled view finds most of its tiles again after the
// rings are rolled — and renders only the tiles whose record (document, zoom, content serial,
// canvas column and row of every pixel) no longer matches. A tile's `out` holds exactly what
// LayerManager::RenderDisplay shows at those screen positions; its fourth byte marks the
// selection outline. The `below` and `above` buffers, the layer stack split at the current
// layer, are built when a refresh that changes only the current layer needs them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/PercentTables.h"
#include "layers/Compositor.h"
#include "layers/ImageGeometry.h"
#include "layers/Layer.h"
#include "view/TileCache.h"

namespace zelvo {

class ImageProcessor;
class RowCursor;
class StrokeOverlay;

// What one pass shows.
struct TileFrame {
    const std::vector<LayerPtr>* layers = nullptr;  // bottom first
    const Layer* selection = nullptr;               // the 8-bit mask, or null
    int32_t document = 0;                           // the image's untitled number
    ImageGeometry geometry;
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    // While an adjustment or filter dialog previews: the current layer is drawn through it.
    const ImageProcessor* preview = nullptr;
    // While a brush stroke paints: its records over the stroke's layer.
    const StrokeOverlay* stroke = nullptr;
};

// Where the grid lies over the client area.
struct TilePlacement {
    int32_t originX = 0, originY = 0;  // client position of slot (0, 0)
    int32_t columns = 0, rows = 0;     // slots covering the client area
};

// The grid for a layout: its edges sit on multiples of 128 zoomed canvas pixels.
TilePlacement PlaceTiles(const ImageGeometry& geometry, int32_t clientWidth, int32_t clientHeight,
                         int32_t maxColumns, int32_t maxRows);

// Whether a pixel is on the selection outline: strength at least 50 with one of its four
// neighbours below 50.
inline bool OnOutline(uint8_t s, uint8_t left, uint8_t right, uint8_t up, uint8_t down) {
    return s >= 50 && (left < 50 || right < 50 || up < 50 || down < 50);
}

class TileRenderer {
public:
    TileRenderer(TileCache& cache, const PercentTables& tables);

    // Lays the grid out for the frame and renders the tiles that no longer match. `fresh`
    // means the document's pixels changed: none of its tiles matches any more. Returns the
    // number of tiles rendered.
    int Render(const TileFrame& frame, bool fresh);
    // The refresh of a rectangle: the pixels of canvas rectangle `rect` changed. Only the tiles
    // that show part of it are rendered again (with those a new layout exposes); tiles kept
    // off the grid that show part of it are forgotten. Returns the number of tiles rendered.
    int RenderRect(const TileFrame& frame, const Rect& rect);
    // Whether a tile's recorded pixels show part of canvas rectangle `rect`.
    static bool ShowsPartOf(const TileCache::Tile& tile, const Rect& rect);
    // The refresh of a change of the current layer only: `out` of every covering tile is
    // recomposed from `below`, `above` and the current layer (the split is built first where
    // it is missing). Returns the number of tiles recomposed.
    int RecomposeCurrent(const TileFrame& frame);
    // The stroke in progress (frame.stroke) drawn into the laid-out tiles that show part of
    // canvas rectangle `rect` and of the painted bounds: each is recomposed from its split and
    // the stroke layer with the records standing in wherever they cover. The split is kept
    // per tile, so a refresh while painting costs one composition per shown pixel of the
    // tiles touched. Returns the number of tiles recomposed.
    int ShowStroke(const TileFrame& frame, const Rect& rect);

    // The live preview of an adjustment or filter dialog (frame.preview): every covering tile
    // shows the current layer's pixels passed through the dialog's rule at their selection
    // strengths, or the filter's buffer of the visible area; the layer is only read. What the
    // layer, the split and the mask give is kept per tile, so a change of the dialog's values
    // costs one rule and one blend per shown pixel. `fresh` as for Render. Returns the number
    // of tiles drawn.
    int RenderPreview(const TileFrame& frame, bool fresh);
    // The preview is over: its per-tile buffers are freed and no tile matches any more.
    void EndPreview();
    bool PreviewShown() const { return m_previewShown; }

    // The client rectangle of the tiles written since the last call (by the stroke's
    // refreshes), and in `all` whether a pass wrote tiles anywhere else meanwhile, so that the
    // window copies and repaints only what changed. Taken under the render hold.
    Rect TakeDamage(bool& all) {
        all = m_damageAll;
        const Rect d = m_damage;
        m_damage = {};
        m_damageAll = false;
        return d;
    }

    const TilePlacement& Grid() const { return m_grid; }
    uint64_t ContentSerial() const { return m_serial; }
    int32_t LastDocument() const { return m_document; }
    // Threads a pass renders with (1 or 2).
    void SetThreads(int threads) { m_threads = threads < 2 ? 1 : 2; }
    // A scroll-thumb drag: while it lasts, the table of the layers read in place is built at
    // its first pass and used again by every move that changes no pixels.
    void SetFastScroll(bool on);
    bool FastScroll() const { return m_fastScroll; }
    // Whether layers are read in place through the kept mapping (the default) or copied out
    // row by row (benchmarks compare the two).
    void SetReadInPlace(bool on) { m_readInPlace = on; }
    // Gives back the mapping of the scratch file (no pass may be running).
    void ReleaseMapping();
    // Lets go of the pages of the scratch file that passes touched; the mapping stays.
    void DropMappedPages() { m_mapping.DropPages(); }
    // Tables of the layers built so far, and mappings of the file made (tests, benchmarks).
    long TablesBuilt() const { return m_tablesBuilt; }
    uint32_t Mappings() const { return m_mapping.Mappings(); }
    // The client position of slot (row, column).
    int32_t SlotX(int32_t column) const { return m_grid.originX + column * TileCache::kTileSize; }
    int32_t SlotY(int32_t row) const { return m_grid.originY + row * TileCache::kTileSize; }

private:
    struct Stale {
        int32_t slotRow, slotColumn;
        TileCache::Tile* tile;
    };
    void Lay(const TileFrame& frame);
    bool Matches(const TileCache::Tile& t, int32_t r, int32_t c) const;
    // The table of the layers read in place for this pass; null when they must be read by copy.
    const MappedLayers* PassTable(const TileFrame& frame, bool fresh);
    // Renders the `out` pixels of the tiles in grid lines [lineBegin, lineEnd) (line = slot
    // row x 128 + pixel row in the tile); two threads may each take their lines of the same
    // tiles. FinishTiles then records what the tiles show and marks the outline.
    void RenderRows(const TileFrame& frame, const std::vector<Stale>& tiles,
                    const MappedLayers* table, int64_t lineBegin, int64_t lineEnd);
    void FinishTiles(const TileFrame& frame, const std::vector<Stale>& tiles);
    void MarkOutline(const TileFrame& frame, const Stale& s);
    void BuildSplit(const TileFrame& frame, const Stale& s, int32_t current);
    // `records`: the stroke work block, whose covered records stand in for the layer's pixels.
    // `only`: compose just the pixels showing these canvas pixels.
    void ComposeOut(const TileFrame& frame, const Stale& s, int32_t current,
                    RowCursor* records = nullptr, const Rect* only = nullptr);
    // After reading layers through the kept mapping: drops the table if it was made again.
    void NoteMappings();
    struct PreviewMaps;
    // One slot row of the preview: the split and the kept layer words and strengths where
    // they are missing, then every tile's `out` through the dialog's rule.
    void PreviewBand(const TileFrame& frame, const std::vector<Stale>& band, int32_t current,
                     const PreviewMaps& maps);

    TileCache& m_cache;
    const PercentTables& m_tables;
    TilePlacement m_grid;
    uint64_t m_serial = 1;
    int32_t m_document = -1;
    float m_zoom = 0.0f;
    int m_threads = 1;
    bool m_fastScroll = false;
    bool m_readInPlace = true;
    bool m_previewShown = false;
    Rect m_damage;
    bool m_damageAll = false;
    // Kept from frame to frame; made again when the store's file changes.
    StoreMapping m_mapping;
    std::unique_ptr<MappedLayers> m_table;
    uint32_t m_mappingsSeen = 0;
    long m_tablesBuilt = 0;
    // The maps of the slots laid out now, 130 entries each (pixel -1 .. 128).
    std::vector<std::vector<int32_t>> m_columnMaps;
    std::vector<std::vector<int32_t>> m_rowMaps;
};

}  // namespace zelvo
