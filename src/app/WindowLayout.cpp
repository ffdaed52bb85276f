#include "app/WindowLayout.h"

#include <algorithm>
#include <cmath>

namespace zelvo {

SideMargins PaletteMargins(const Rect& client, const std::vector<Rect>& palettes) {
    SideMargins m{0, 0};
    const int middle = client.left + client.Width() / 2;
    for (const Rect& p : palettes) {
        if (p.Intersect(client).IsEmpty()) continue;
        if (p.left + p.Width() / 2 < middle)
            m.left = std::max(m.left, p.right - client.left);
        else
            m.right = std::max(m.right, client.right - p.left);
    }
    return m;
}

void WindowSlots::Reset(const Rect& client, int screenWidth, bool palettesShown,
                        SideMargins margins) {
    int left = client.left, right = client.right;
    const int clientHeight = client.Height();
    const int w = std::max(screenWidth / 2, screenWidth - 474);
    // Leave room for the palettes on both sides, unless that leaves less than a usual window
    // or two fifths of the client area (a screen 1024 wide has 484 pixels between them).
    const int room = client.Width() - margins.left - margins.right;
    if (palettesShown && room >= std::min(w, client.Width() * 2 / 5)) {
        left += margins.left;
        right -= margins.right;
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
                            bool palettesShown, SideMargins margins) {
    std::vector<Rect> cells;
    const TileGrid grid = TileGridFor(n, horizontal);
    if (grid.columns == 0) return cells;
    Rect work = client;
    if (palettesShown && client.Width() > screenWidth - 150) {
        work.left += margins.left;
        work.right -= margins.right;
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

std::vector<Rect> CascadeCells(int n, const Rect& client, int screenWidth, bool palettesShown,
                               SideMargins margins) {
    WindowSlots slots;
    slots.Reset(client, screenWidth, palettesShown, margins);
    std::vector<Rect> cells;
    for (int i = 0; i < n; ++i) {
        cells.push_back(slots.Current());
        slots.Advance();
    }
    return cells;
}

Rect KeepInside(const Rect& r, const Rect& area) {
    const int x = std::max(area.left, std::min(r.left, area.right - r.Width()));
    const int y = std::max(area.top, std::min(r.top, area.bottom - r.Height()));
    return r.Offset(x - r.left, y - r.top);
}

PalettePlaces DefaultPalettePlaces(const Rect& area, bool smallerScreen,
                                   const PalettePlaces& sizes) {
    constexpr int kGap = 2;
    constexpr int kColumnStep = 224;
    // The table: the right column top to bottom, then the Tools palette on the left.
    const int tableY[kPalettePlaces] = {75, smallerScreen ? 115 : 206, smallerScreen ? 155 : 327,
                                        smallerScreen ? 305 : 478, 75};
    PalettePlaces places;
    int x = area.right - kColumnStep;
    int below = area.top;  // the bottom of the palette above in the column
    for (int i = 0; i < kPalettePlaces - 1; ++i) {
        const int w = sizes[size_t(i)].Width(), h = sizes[size_t(i)].Height();
        int y = std::max(area.top + tableY[i], below + kGap);
        if (y + h > area.bottom && below > area.top) {
            x -= kColumnStep;
            y = area.top + tableY[0];
        }
        places[size_t(i)] = KeepInside({x, y, x + w, y + h}, area);
        below = places[size_t(i)].bottom;
    }
    const Rect& tools = sizes[kPalettePlaces - 1];
    places[kPalettePlaces - 1] = KeepInside(
        Rect{0, 0, tools.Width(), tools.Height()}.Offset(area.left + 5, area.top + tableY[4]),
        area);
    return places;
}

}  // namespace zelvo
