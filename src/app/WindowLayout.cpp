#include "app/WindowLayout.h"

#include <algorithm>
#include <cmath>

namespace zelvo {

void WindowSlots::Reset(const Rect& client, int screenWidth, bool palettesShown) {
    int left = client.left, right = client.right;
    const int clientHeight = client.Height();
    const int w = std::max(screenWidth / 2, screenWidth - 474);
    // Leave room for the palettes on both sides.
    if (palettesShown && w < client.Width() - 324) {
        left += 100;
        right -= 224;
    }
    const int remaining = right - left;
    if (w < remaining) {
        m_width = w;
        m_maxIndex = std::max(0, (remaining - w) / kStepX - 1);
    } else {
        m_width = remaining - 10;
        m_maxIndex = 0;
    }
    const int h = w * 3 / 4;
    if (h < clientHeight) {
        m_height = h;
        m_maxRow = std::max(0, (clientHeight - h - 60) / kStepY);
    } else {
        m_height = clientHeight - 60;
        m_maxRow = 0;
    }
    m_left = left + 5;
    m_index = 0;
    m_row = 0;
}

Rect WindowSlots::Current() const {
    const int x = m_left + m_index * kStepX;
    const int y = m_row * kStepY + 5;
    return {x, y, x + m_width, y + m_height};
}

void WindowSlots::Advance() {
    if (m_index < m_maxIndex) ++m_index;
    if (m_row < m_maxRow) ++m_row;
}

TileGrid TileGridFor(int n, bool horizontal) {
    if (n <= 0) return {};
    int larger = 1, smaller = 1;
    if (n > 64) {
        const int k = int(std::floor(std::sqrt(double(n)))) + 1;
        larger = smaller = k;
    } else if (n >= 2) {
        int k = 1;
        while (k * k < n) ++k;
        larger = k;
        smaller = k * (k - 1) >= n ? k - 1 : k;
    }
    return horizontal ? TileGrid{larger, smaller} : TileGrid{smaller, larger};
}

std::vector<Rect> TileCells(int n, bool horizontal, const Rect& client, int screenWidth,
                            bool palettesShown) {
    std::vector<Rect> cells;
    const TileGrid grid = TileGridFor(n, horizontal);
    if (grid.columns == 0) return cells;
    Rect work = client;
    if (palettesShown && client.Width() > screenWidth - 150) {
        work.left += 100;
        work.right -= 224;
    }
    const int cw = std::max(1, (work.Width() - 10) / grid.columns);
    const int ch = std::max(1, (work.Height() - 60) / grid.rows);
    for (int i = 0; i < n; ++i) {
        const int x = work.left + (i % grid.columns) * cw;
        const int y = 5 + (i / grid.columns) * ch;
        cells.push_back({x, y, x + cw, y + ch});
    }
    return cells;
}

std::vector<Rect> CascadeCells(int n, const Rect& client, int screenWidth, bool palettesShown) {
    WindowSlots slots;
    slots.Reset(client, screenWidth, palettesShown);
    std::vector<Rect> cells;
    for (int i = 0; i < n; ++i) {
        cells.push_back(slots.Current());
        slots.Advance();
    }
    return cells;
}

}  // namespace zelvo
