// Drawing text and Bézier paths into a 1-bit mask. The engine describes what to draw (text
// lines with a face, a cell height and a direction; Bézier point lists filled or stroked) and
// receives the result row by row, packed one bit per pixel, most significant bit first, a set
// bit being ink. The drawing itself is done by Qt in horizontal bands, so memory stays bounded
// by one band whatever the canvas size; no Qt type appears here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zelvo {

struct MaskPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const MaskPoint&, const MaskPoint&) = default;
};

// Lines of text, each drawn without its line-break characters. Horizontal text puts line k
// with the top-left of its cell at (x, y + k * h); vertical text turns the font a quarter turn
// clockwise and puts column k at (x - k * h, y), so columns run to the left.
struct MaskText {
    std::string face;  // UTF-8 family name
    int32_t size = 0;  // > 0: cell height in pixels; < 0: character (em) height
    bool vertical = false;
    int32_t x = 0;
    int32_t y = 0;
    std::vector<std::string> lines;
};

// Fill rule of a filled path: alternate (even-odd) or winding (non-zero).
enum class MaskFill { Alternate, Winding };

class MaskPainter {
public:
    MaskPainter(int32_t width, int32_t height);
    ~MaskPainter();
    MaskPainter(const MaskPainter&) = delete;
    MaskPainter& operator=(const MaskPainter&) = delete;

    // Queues text; returns the line height h (the font's cell height), 0 when no font could be
    // had (no display and no off-screen platform).
    int32_t AddText(const MaskText& text);
    // Queues a poly-Bézier: points[0] is the move-to, then groups of three (two control points
    // and the end point); a trailing incomplete group is ignored. Filled paths close implicitly.
    void AddBezierFill(const std::vector<MaskPoint>& points, MaskFill rule);
    void AddBezierStroke(const std::vector<MaskPoint>& points, int32_t penWidth);

    // Paints the queued items band by band, top row first, and hands every row that holds ink
    // to `row(y, bits)` (y counted from the top, (width + 7) / 8 bytes). Rows without ink are
    // not handed over. Returns false when a band could not be made or `row` returned false.
    bool Paint(const std::function<bool(int32_t y, const uint8_t* bits)>& row);

    // The cell height the text above would get for this face and size (0 when no font).
    static int32_t LineHeight(const std::string& face, int32_t size);
    // The pixel em size the text above asks the face for (an edit box draws with it).
    static int32_t EmSize(const std::string& face, int32_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The system's font families in enumeration order (UTF-8); empty without fonts.
std::vector<std::string> SystemFontFamilies();

// Makes sure the process has a Qt GUI application (needed for fonts): creates one when none
// exists, on the off-screen platform when no display is set. False when that is impossible
// (another kind of Qt application already runs).
bool EnsureGuiApplication();

}  // namespace zelvo
