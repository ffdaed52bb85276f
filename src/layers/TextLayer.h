// Text layers: rendering the text settings into the layer's 1-bit mask, the text origin swap
// the history uses for moves, and the text options bar's lists (font faces and sizes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Types.h"
#include "layers/Layer.h"
#include "layers/TextSettings.h"

namespace zelvo {

// The lines of a text: split at each CR, each without its CR and LF characters.
std::vector<std::string> TextLines(const std::string& text);

// Redraws the mask of a text layer from its settings: cleared, then every line drawn in white
// with the font's cell height as the line step (internal errors 1014 when the mask cannot be
// drawn, 1015 when it cannot be written back). False for a layer that is not a text layer.
bool RenderText(Layer& layer);

// The line step of these settings: the font's cell height (0 without fonts).
int32_t TextLineHeight(const TextSettings& settings);

// Exchanges the text origin with `origin` and renders again (moves and their undo).
void SwapTextOrigin(Layer& layer, Point& origin);

// Stores a face name as the layer record holds it: at most 31 bytes, cut at a whole UTF-8
// character.
void SetTextFace(TextSettings& settings, const std::string& face);

// The font face list of the text options bar from the families as enumerated: names whose
// first byte is 0x80 or above first, then the others, each group in enumeration order, with
// "Agency FB" moved just before "Arial".
std::vector<std::string> FontFaceList(const std::vector<std::string>& enumerated);
// The entry selected at start: "Arial", else the first (0; -1 for an empty list).
int DefaultFontFaceIndex(const std::vector<std::string>& faces);

// 10, 20, … 200, then 225, 250, … 500: 32 sizes; the sixth, 60, is selected at start.
const std::vector<int32_t>& FontSizeList();
constexpr int kDefaultFontSizeIndex = 5;

}  // namespace zelvo
