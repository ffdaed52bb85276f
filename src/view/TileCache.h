// The display tile cache: a grid of 128 x 128 screen tiles, (screen height / 128 + 4) rows by
// (screen width / 128 + 4) columns, built once at start-up. The tiles of a row form a ring
// (left and right neighbours, the last linked back to the first) and so do the tiles of a
// column, so the grid rolls when the view scrolls instead of moving pixels. Each tile keeps
// three buffers of 32-bit pixels — `below`, `above` and `out` — from one fixed pool, and the
// record of what its pixels show: document, zoom, content serial and the canvas column and
// row of each of its pixel columns and rows (-1 outside the canvas).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zelvo {

class TileCache {
public:
    static constexpr int32_t kTileSize = 128;
    static constexpr int32_t kTilePixels = kTileSize * kTileSize;
    static constexpr int32_t kSpareTiles = 4;
    static constexpr uint32_t kOutsideBelow = 0x64B1B1B1u;  // grey 177, opaque
    static constexpr uint32_t kOutsideAbove = 0x00B1B1B1u;  // grey 177, nothing left
    static constexpr uint8_t kOutlineMarker = 101;          // fourth byte of an outline pixel

    struct Tile {
        // What the pixels of `out` show; `valid` is false until the tile is first rendered.
        bool valid = false;
        int32_t document = 0;
        float zoom = 0.0f;
        uint64_t content = 0;
        int32_t cols[kTileSize];
        int32_t rows[kTileSize];
        // What `below` and `above` were split for (the current layer's index in the list).
        bool splitValid = false;
        uint64_t splitContent = 0;
        int32_t splitCurrent = -1;
        // While a dialog previews: the current layer's word and the selection strength (255
        // without a selection) at each pixel, kept for every change of the dialog's values.
        bool previewValid = false;
        uint64_t previewContent = 0;
        int32_t previewCurrent = -1;
        std::vector<uint32_t> previewWords;
        std::vector<uint8_t> previewStrengths;
        // Ring neighbours (tile indices).
        int32_t left = 0, right = 0, up = 0, down = 0;
        // Rows top first, 128 pixels each, 4 bytes a pixel: B, G, R and the fourth byte.
        uint32_t* below = nullptr;
        uint32_t* above = nullptr;
        uint32_t* out = nullptr;
    };

    TileCache(int32_t screenWidth, int32_t screenHeight);
    TileCache(const TileCache&) = delete;
    TileCache& operator=(const TileCache&) = delete;

    int32_t Columns() const { return m_columns; }
    int32_t Rows() const { return m_rows; }
    bool IsAllocated() const { return m_pool != nullptr; }

    // The tile in slot (row, column) of the grid as it is rolled now: walked from the first
    // tile down the column ring and right along the row ring.
    Tile& At(int32_t slotRow, int32_t slotColumn) {
        return m_tiles[size_t(m_slots[size_t(slotRow * m_columns + slotColumn)])];
    }
    Tile& TileByIndex(int32_t index) { return m_tiles[size_t(index)]; }
    int32_t IndexAt(int32_t slotRow, int32_t slotColumn) const {
        return m_slots[size_t(slotRow * m_columns + slotColumn)];
    }
    int32_t First() const { return m_first; }

    // Rolls the rings: the first tile moves `columns` steps right (left when negative) and
    // `rows` steps down (up when negative).
    void Roll(int32_t columns, int32_t rows);
    // Forgets every tile's record.
    void InvalidateAll();

    // The column and row keys: the canvas map each slot column and row of the grid was last
    // laid out for, kept by physical column and row so that they roll with the tiles.
    std::vector<int32_t>& ColumnKey(int32_t slotColumn) {
        return m_columnKeys[size_t(PhysicalColumn(slotColumn))];
    }
    std::vector<int32_t>& RowKey(int32_t slotRow) {
        return m_rowKeys[size_t(PhysicalRow(slotRow))];
    }

private:
    int32_t PhysicalColumn(int32_t slotColumn) const {
        return m_slots[size_t(slotColumn)] % m_columns;
    }
    int32_t PhysicalRow(int32_t slotRow) const {
        return m_slots[size_t(slotRow * m_columns)] / m_columns;
    }
    void WalkSlots();

    int32_t m_columns;
    int32_t m_rows;
    int32_t m_first = 0;
    std::unique_ptr<uint32_t[]> m_pool;
    std::vector<Tile> m_tiles;
    std::vector<int32_t> m_slots;  // slot -> tile index
    std::vector<std::vector<int32_t>> m_columnKeys;
    std::vector<std::vector<int32_t>> m_rowKeys;
};

}  // namespace zelvo
