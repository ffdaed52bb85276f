// Reduces a 24-bit picture to at most 256 colours for GIF: an octree of depth 8 gives the
// palette, then every pixel takes the index of its nearest palette colour.
#pragma once

#include <array>

#include "files/RasterImage.h"

namespace zelvo {

struct OctreePalette {
    std::array<PaletteEntry, 256> entries{};  // unused entries are zero
    int count = 0;                            // leaves found, 1..256
};

// False when memory runs out or the image is not a 24-bit one.
bool BuildOctreePalette(const RasterImage& image, OctreePalette& palette);

// The index of the palette colour nearest to (b, g, r) by squared distance, the lowest index
// among equals; all 256 entries take part.
class NearestColour {
public:
    explicit NearestColour(const std::array<PaletteEntry, 256>& palette);
    uint8_t Find(uint8_t b, uint8_t g, uint8_t r);

private:
    uint8_t Search(int b, int g, int r) const;

    struct Candidate {
        int b, g, r;
        uint8_t index;
    };
    std::array<Candidate, 256> m_sorted;  // distinct colours by green, lowest index kept
    int m_count = 0;
    std::array<uint32_t, 1 << 14> m_cacheKey;  // colour + 1, 0 for empty
    std::array<uint8_t, 1 << 14> m_cacheIndex;
};

// An 8-bit image of the same size and row order with the octree palette; false when memory
// runs out.
bool QuantizeForGif(const RasterImage& image, RasterImage& indexed);

}  // namespace zelvo
