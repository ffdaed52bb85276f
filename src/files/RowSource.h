// Where an encoder takes a picture's rows from, a band at a time, so that writing a file never
// needs the whole picture in memory: the layer stack renders each band as it is asked for, a
// RasterImage hands over copies of its rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "files/RasterImage.h"

namespace zelvo {

class RowSource {
public:
    virtual ~RowSource() = default;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    // 24 (b, g, r triples) or 8 (palette indices).
    virtual int Bits() const { return 24; }
    // The order the picture is kept in; the GIF palette visits the pixels in it, so the
    // palette is the one a buffer in that order would give.
    virtual RowOrder Order() const = 0;
    // Rows [first, end), counted from the top for TopDown and from the bottom for BottomUp, to
    // `dst` one every `stride` bytes, row `first` first. Only the pixel bytes of each row are
    // written; the rest of the stride is left as it is. False when the rows cannot be had.
    // Safe to call from several threads at once unless the source says otherwise.
    virtual bool Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
                      size_t stride) const = 0;
};

// The rows of an image that outlives the source.
class RasterImageRows : public RowSource {
public:
    explicit RasterImageRows(const RasterImage& image) : m_image(image) {}
    int32_t Width() const override { return m_image.Width(); }
    int32_t Height() const override { return m_image.Height(); }
    int Bits() const override { return m_image.Bits(); }
    RowOrder Order() const override { return m_image.Order(); }
    bool Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
              size_t stride) const override;

private:
    const RasterImage& m_image;
};

// The rows an encoder asks for at once: a few megabytes of `rowBytes`-long rows, at least
// one, at most `height`.
int32_t SaveBandRows(size_t rowBytes, int32_t height);
// Sets the band size for its lifetime (tests cross band boundaries on small pictures).
class ScopedSaveBandBytes {
public:
    explicit ScopedSaveBandBytes(size_t bytes);
    ~ScopedSaveBandBytes();
    ScopedSaveBandBytes(const ScopedSaveBandBytes&) = delete;
    ScopedSaveBandBytes& operator=(const ScopedSaveBandBytes&) = delete;

private:
    size_t m_old;
};

// An encoder's window on a source: rows asked for one after another, in `order`, are rendered a
// band at a time into one buffer. Made before an encoder's setjmp, so that a library's error
// jump skips no destructor.
class SaveBands {
public:
    // `stride` bytes a row (its tail beyond the pixels stays zero); bands of `rows` rows (at
    // most the picture's), or of SaveBandRows when 0.
    SaveBands(const RowSource& source, RowOrder order, size_t stride, int32_t rows = 0);
    // False when the buffer could not be had.
    bool Ready() const { return m_rows > 0; }
    // Row `y` of the order; a row outside the band held starts the next band there. Null when
    // the band cannot be had.
    uint8_t* Row(int32_t y);

private:
    const RowSource& m_source;
    RowOrder m_order;
    size_t m_stride;
    int32_t m_rows = 0;  // a band's rows
    int32_t m_first = 0, m_end = 0;
    std::vector<uint8_t> m_buffer;
};

}  // namespace zelvo
