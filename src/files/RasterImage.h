// The raster buffer exchanged between the file codecs and the document: 24-bit BGR rows padded
// to 4 bytes (or 8-bit indices with a 256-entry palette for GIF output), in either row order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zelvo {

// The sizes the rest of the program holds: a picture up to kQuietRasterPixels opens without a
// word; a larger one, up to the side and pixel caps, only when the user agrees first (the
// readers ask before they allocate anything for it); anything beyond is refused.
constexpr int64_t kMaxRasterSide = 10000;
constexpr int64_t kQuietRasterPixels = 20000000;
constexpr int64_t kMaxRasterPixels = kMaxRasterSide * kMaxRasterSide;

enum class RowOrder {
    BottomUp,  // the bottom row first, as a DIB stores it and as the readers return it
    TopDown,
};

struct PaletteEntry {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// Row stride of a `bits`-per-pixel DIB row, 0 when it does not fit in 32 bits.
constexpr int64_t DibStride(int64_t width, int bits) {
    return ((width * bits + 31) / 32) * 4;
}

class RasterImage {
public:
    RasterImage() = default;
    RasterImage(RasterImage&&) noexcept = default;
    RasterImage& operator=(RasterImage&&) noexcept = default;
    RasterImage(const RasterImage&) = delete;
    RasterImage& operator=(const RasterImage&) = delete;

    // Allocates a zero-filled buffer; false (and an empty image) when the size is not positive,
    // past the limits above, or the memory cannot be had. `bits` is 24 or 8.
    bool Allocate(int32_t width, int32_t height, int bits = 24,
                  RowOrder order = RowOrder::BottomUp);
    void Clear();

    bool IsEmpty() const { return m_size == 0; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int Bits() const { return m_bits; }
    size_t Stride() const { return m_stride; }
    RowOrder Order() const { return m_order; }
    // Relabels the row order without moving rows (for a buffer filled in the other order).
    void SetOrder(RowOrder order) { m_order = order; }

    // Row `i` in storage order.
    uint8_t* StoredRow(int32_t i) { return m_pixels.get() + size_t(i) * m_stride; }
    const uint8_t* StoredRow(int32_t i) const { return m_pixels.get() + size_t(i) * m_stride; }
    // Row `y` counted from the top of the picture, whatever the storage order.
    uint8_t* TopRow(int32_t y) { return StoredRow(StorageIndex(y)); }
    const uint8_t* TopRow(int32_t y) const { return StoredRow(StorageIndex(y)); }
    // Row `y` counted from the bottom of the picture.
    uint8_t* BottomRow(int32_t y) { return TopRow(m_height - 1 - y); }
    const uint8_t* BottomRow(int32_t y) const { return TopRow(m_height - 1 - y); }

    uint8_t* Data() { return m_pixels.get(); }
    const uint8_t* Data() const { return m_pixels.get(); }
    size_t ByteSize() const { return m_size; }

    // For 8-bit images: the palette, always 256 entries (unused ones zero).
    std::array<PaletteEntry, 256>& Palette() { return m_palette; }
    const std::array<PaletteEntry, 256>& Palette() const { return m_palette; }

    // Reorders the rows in place into `order`.
    void ConvertOrder(RowOrder order);

private:
    int32_t StorageIndex(int32_t y) const {
        return m_order == RowOrder::TopDown ? y : m_height - 1 - y;
    }

    int32_t m_width = 0;
    int32_t m_height = 0;
    int m_bits = 24;
    size_t m_stride = 0;
    RowOrder m_order = RowOrder::BottomUp;
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    // calloc: fresh pages come zeroed from the system without a second pass over them.
    std::unique_ptr<uint8_t[], Free> m_pixels;
    size_t m_size = 0;
    std::array<PaletteEntry, 256> m_palette{};
};

// Whether a picture of this size may be decoded at all (checked in 64 bits, so any values
// read from a file can be passed straight in).
bool IsAcceptableRasterSize(int64_t width, int64_t height, int64_t maxPixels = kMaxRasterPixels);

}  // namespace zelvo
