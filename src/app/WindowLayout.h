// Where image windows go: the new-window slot that places each new or opened image 8 pixels
// right and 13 pixels down from the last, and the cells of Cascade and the two Tile commands.
// Plain geometry, so the rules can be checked without windows.
#pragma once

#include <vector>

#include "core/Types.h"

namespace zelvo {

class WindowSlots {
public:
    static constexpr int kStepX = 8;
    static constexpr int kStepY = 13;

    // Steps 1-4 of the placement: recomputed at every File New and every use of the open
    // dialog. `client` is the frame's client rectangle.
    void Reset(const Rect& client, int screenWidth, bool palettesShown);
    // The rectangle of the current slot.
    Rect Current() const;
    // Moves to the next slot while there are slots left to the right and below.
    void Advance();

    int Left() const { return m_left; }
    int Index() const { return m_index; }
    int Row() const { return m_row; }
    int MaxIndex() const { return m_maxIndex; }
    int MaxRow() const { return m_maxRow; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    int m_left = 5;
    int m_index = 0;
    int m_row = 0;
    int m_maxIndex = 0;
    int m_maxRow = 0;
    int m_width = 400;
    int m_height = 300;
};

struct TileGrid {
    int columns = 0;
    int rows = 0;
    friend bool operator==(const TileGrid&, const TileGrid&) = default;
};

// The grid for n windows; Horizontal Tile puts the larger count in columns, Vertical Tile in
// rows. n <= 0 gives an empty grid.
TileGrid TileGridFor(int n, bool horizontal);

// The cells, row by row, for n windows in the client rectangle.
std::vector<Rect> TileCells(int n, bool horizontal, const Rect& client, int screenWidth,
                            bool palettesShown);

// Cascade: the slot rectangles of n windows from the first slot on.
std::vector<Rect> CascadeCells(int n, const Rect& client, int screenWidth, bool palettesShown);

}  // namespace zelvo
