// Where image windows go: the new-window slot that places each new or opened image 8 pixels
// right and 13 pixels down from the last, and the cells of Cascade and the two Tile commands.
// Plain geometry, so the rules can be checked without windows.
#pragma once

#include <array>
#include <vector>

#include "core/Types.h"

namespace zelvo {

// The room the floating palettes take at the two sides of the client area while they are shown.
struct SideMargins {
    int left = 100;
    int right = 224;
    friend bool operator==(const SideMargins&, const SideMargins&) = default;
};

// The margins the palettes `palettes` (in the coordinates of `client`) take: one whose centre
// lies in the left half reserves the client area up to its right edge, one in the right half
// from its left edge on. Palettes beside or outside the client area take nothing.
SideMargins PaletteMargins(const Rect& client, const std::vector<Rect>& palettes);

class WindowSlots {
public:
    static constexpr int kStepX = 8;
    static constexpr int kStepY = 13;

    // Steps 1-4 of the placement: recomputed at every File New and every use of the open
    // dialog. `client` is the frame's client rectangle; `margins` the palettes' room.
    void Reset(const Rect& client, int screenWidth, bool palettesShown, SideMargins margins = {});
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
                            bool palettesShown, SideMargins margins = {});

// Cascade: the slot rectangles of n windows from the first slot on.
std::vector<Rect> CascadeCells(int n, const Rect& client, int screenWidth, bool palettesShown,
                               SideMargins margins = {});

// The five floating palettes, in the order Navigator, Color, History, Layers, Tools.
inline constexpr int kPalettePlaces = 5;
using PalettePlaces = std::array<Rect, kPalettePlaces>;

// Where the palettes float at first start and after Reset Palette Locations. `area` is where a
// palette may lie (screen coordinates: the frame's client area below its menu bar, within the
// screen); `sizes` holds their outer sizes (only Width and Height are read). The table's
// places count from the area's top-left corner, the right column at area.right - 224; a
// palette moves down off the one above it, one that would run past the bottom opens a column
// further left, and each is then kept inside the area.
PalettePlaces DefaultPalettePlaces(const Rect& area, bool smallerScreen,
                                   const PalettePlaces& sizes);

// `r` moved (never resized) into `area`; one larger than the area keeps to its top-left.
Rect KeepInside(const Rect& r, const Rect& area);

}  // namespace zelvo
