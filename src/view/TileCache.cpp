#include "view/TileCache.h"

#include <algorithm>
#include <new>

namespace zelvo {

TileCache::TileCache(int32_t screenWidth, int32_t screenHeight)
    : m_columns(std::max(1, screenWidth) / kTileSize + kSpareTiles),
      m_rows(std::max(1, screenHeight) / kTileSize + kSpareTiles) {
    const size_t count = size_t(m_columns) * size_t(m_rows);
    // One pool for every buffer of every tile, taken once; its pages are touched only as tiles
    // are used.
    m_pool.reset(new (std::nothrow) uint32_t[count * 3 * size_t(kTilePixels)]);
    m_tiles.resize(count);
    for (int32_t r = 0; r < m_rows; ++r)
        for (int32_t c = 0; c < m_columns; ++c) {
            Tile& t = m_tiles[size_t(r * m_columns + c)];
            t.left = r * m_columns + (c + m_columns - 1) % m_columns;
            t.right = r * m_columns + (c + 1) % m_columns;
            t.up = ((r + m_rows - 1) % m_rows) * m_columns + c;
            t.down = ((r + 1) % m_rows) * m_columns + c;
            if (m_pool) {
                uint32_t* base = m_pool.get() + size_t(r * m_columns + c) * 3 * size_t(kTilePixels);
                t.below = base;
                t.above = base + kTilePixels;
                t.out = base + 2 * kTilePixels;
            }
        }
    m_slots.resize(count);
    m_columnKeys.assign(size_t(m_columns), {});
    m_rowKeys.assign(size_t(m_rows), {});
    WalkSlots();
}

void TileCache::WalkSlots() {
    int32_t rowStart = m_first;
    for (int32_t r = 0; r < m_rows; ++r) {
        int32_t t = rowStart;
        for (int32_t c = 0; c < m_columns; ++c) {
            m_slots[size_t(r * m_columns + c)] = t;
            t = m_tiles[size_t(t)].right;
        }
        rowStart = m_tiles[size_t(rowStart)].down;
    }
}

void TileCache::Roll(int32_t columns, int32_t rows) {
    for (; columns > 0; --columns) m_first = m_tiles[size_t(m_first)].right;
    for (; columns < 0; ++columns) m_first = m_tiles[size_t(m_first)].left;
    for (; rows > 0; --rows) m_first = m_tiles[size_t(m_first)].down;
    for (; rows < 0; ++rows) m_first = m_tiles[size_t(m_first)].up;
    WalkSlots();
}

void TileCache::InvalidateAll() {
    for (Tile& t : m_tiles) {
        t.valid = false;
        t.splitValid = false;
    }
}

}  // namespace zelvo
