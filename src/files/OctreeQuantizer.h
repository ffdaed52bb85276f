// Reduces a 24-bit picture to at most 256 colours for GIF: an octree of depth 8 gives the
// palette, then every pixel takes the index of its nearest palette colour.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "core/CpuLevel.h"
#include "files/RasterImage.h"
#include "files/RowSource.h"

namespace zelvo {

struct OctreePalette {
    std::array<PaletteEntry, 256> entries{};  // unused entries are zero
    int count = 0;                            // leaves found, 1..256
};

// Visits the pixels in the rows' own order (the tree depends on it). False when memory runs
// out, the rows cannot be had or are not 24-bit ones.
bool BuildOctreePalette(const RowSource& rows, OctreePalette& palette);

// The index of the palette colour nearest to (b, g, r) by squared distance, the lowest index
// among equals; all 256 entries take part. With AVX2 or AVX-512 every entry is measured, many
// at a time; plain code searches outward from the nearest green. Copies share nothing.
class NearestColour {
public:
    explicit NearestColour(const std::array<PaletteEntry, 256>& palette,
                           CpuLevel level = BestCpuLevel());
    uint8_t Find(uint8_t b, uint8_t g, uint8_t r);

private:
    uint8_t Search(int b, int g, int r) const;

    struct Candidate {
        int b, g, r;
        uint8_t index;
    };
    CpuLevel m_level;
    std::array<Candidate, 256> m_sorted;  // distinct colours by green, lowest index kept
    int m_count = 0;
    // Entry i as 16-bit lanes: blue and green in one word, red and zero in the other.
    alignas(64) std::array<uint32_t, 256> m_blueGreen;
    alignas(64) std::array<uint32_t, 256> m_red;
    std::array<uint32_t, 1 << 14> m_cacheKey;  // colour + 1, 0 for empty
    std::array<uint8_t, 1 << 14> m_cacheIndex;
};

// The 24-bit rows of `colours` as indices of their nearest colours in `palette`. Fill is for
// one thread at a time; it maps each band of colours in bands of rows on every core, each with
// a search (and its cache) of its own. std::bad_alloc when the search cannot be made.
class QuantizedRows : public RowSource {
public:
    QuantizedRows(const RowSource& colours, const std::array<PaletteEntry, 256>& palette);
    int32_t Width() const override { return m_colours.Width(); }
    int32_t Height() const override { return m_colours.Height(); }
    int Bits() const override { return 8; }
    RowOrder Order() const override { return m_colours.Order(); }
    bool Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
              size_t stride) const override;

private:
    const RowSource& m_colours;
    // Copied for each core, as a search is for one thread.
    const std::unique_ptr<const NearestColour> m_first;
    mutable std::mutex m_lock;
    mutable std::vector<std::unique_ptr<NearestColour>> m_idle;  // searches no band holds now
    mutable std::vector<uint8_t> m_bgr;                          // a band of the colours' rows
};

}  // namespace zelvo
