// Pictures and small file builders shared by the codec tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "files/RasterFile.h"
#include "files/RasterImage.h"

namespace zelvo::test {

// A smooth picture: gradients across and down, with a gentle wave.
RasterImage SmoothImage(int width, int height, RowOrder order = RowOrder::TopDown);
// Random pixels drawn from `colours` (0x00BBGGRR-free: b, g, r triples).
RasterImage RandomImage(int width, int height, std::mt19937& random, int colourBits = 8);

// A progressive JPEG written by libjpeg (quality 90) of a smooth picture with grain, in
// `components` channels: 1 grey, 3 RGB (4:2:0) or 4 CMYK.
std::vector<uint8_t> ProgressiveJpeg(int width, int height, int components, std::mt19937& random);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x);
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x);

// A BMP with a 40-byte info header; `palette` holds b, g, r triples; `data` follows the
// headers and the palette (and, for bit fields, the three masks).
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                             const std::vector<uint8_t>& palette, const std::vector<uint8_t>& data,
                             const std::vector<uint32_t>& masks = {});

// One of the pixel layouts a BMP reader takes.
struct BmpLayout {
    int bits;
    uint32_t compression;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    bool topDown;
};
struct BmpCase {
    std::vector<uint8_t> bytes;
    RasterImage expected;  // what a reader must make of `bytes`, bottom row first
};
// A random picture stored as `layout`, with only its first `keptRows` rows in file order in the
// file (an uncompressed file also keeps half of the next row): the rows missing, and for an
// uncompressed file the half row too, are white in `expected`.
BmpCase MakeBmpCase(const BmpLayout& layout, int32_t width, int32_t height, int32_t keptRows,
                    std::mt19937& random);

// Keeps the rows a reader streams and counts every breach of the sink's rules.
class RecordingSink : public RasterSink {
public:
    bool Start(int32_t width, int32_t height) override {
        ++starts;
        puts.assign(size_t(height), 0);
        return image.Allocate(width, height, 24, RowOrder::BottomUp);
    }
    std::unique_ptr<RasterRows> Band(int32_t first, int32_t end) override {
        return std::make_unique<Rows>(*this, first, end);
    }

    RasterImage image;
    int starts = 0;
    std::vector<int> puts;  // per row; bands are disjoint, so no two threads share an element
    std::atomic<int> outside{0}, putsAfterFlush{0};

private:
    class Rows : public RasterRows {
    public:
        Rows(RecordingSink& sink, int32_t first, int32_t end)
            : m_sink(sink), m_first(first), m_end(end) {}
        bool Put(int32_t y, const uint8_t* bgr) override {
            if (y < m_first || y >= m_end) return ++m_sink.outside, false;
            if (m_flushed) ++m_sink.putsAfterFlush;
            ++m_sink.puts[size_t(y)];
            std::memcpy(m_sink.image.BottomRow(y), bgr, size_t(m_sink.image.Width()) * 3);
            return true;
        }
        bool Flush() override { return m_flushed = true; }

    private:
        RecordingSink& m_sink;
        int32_t m_first, m_end;
        bool m_flushed = false;
    };
};

// Scratch room in memory that can be told to refuse, or to fail after some transfers.
class MemoryScratch : public DecodeScratch {
public:
    int Borrow(uint64_t bytes) noexcept override {
        if (refuse) return -1;
        areas.emplace_back(bytes);
        return int(areas.size() - 1);
    }
    bool Write(int area, uint64_t offset, const void* data, size_t n) noexcept override {
        if (!Transfer(area, offset, n)) return false;
        std::memcpy(areas[size_t(area)].data() + offset, data, n);
        return true;
    }
    bool Read(int area, uint64_t offset, void* data, size_t n) noexcept override {
        if (!Transfer(area, offset, n)) return false;
        std::memcpy(data, areas[size_t(area)].data() + offset, n);
        return true;
    }
    size_t WindowBytes() const noexcept override { return window; }

    std::vector<std::vector<uint8_t>> areas;
    size_t window = 1;
    bool refuse = false;
    int transfersLeft = -1;  // below 0: never fails
    int outside = 0, transfers = 0;

private:
    bool Transfer(int area, uint64_t offset, size_t n) {
        if (transfersLeft == 0) return false;
        if (transfersLeft > 0) --transfersLeft;
        ++transfers;
        const bool inside =
            area >= 0 && size_t(area) < areas.size() && offset + n <= areas[size_t(area)].size();
        outside += !inside;
        return inside;
    }
};

class ScratchSink : public RecordingSink {
public:
    DecodeScratch* Scratch() override { return &scratch; }
    MemoryScratch scratch;
};

// Largest difference of any channel between two 24-bit images of the same size, compared by
// picture row (so the row orders may differ).
int MaxDifference(const RasterImage& a, const RasterImage& b);
bool SamePixels(const RasterImage& a, const RasterImage& b);

// An Exif APP1 segment's bytes ("Exif\0\0", a TIFF header, one directory whose second entry is
// the orientation as `type` with `count` values), and a JPEG with such a segment after its
// start marker.
std::vector<uint8_t> ExifPayload(uint32_t orientation, bool bigEndian = false, uint32_t type = 3,
                                 uint32_t count = 1);
std::vector<uint8_t> WithApp1Segment(std::vector<uint8_t> jpeg,
                                     const std::vector<uint8_t>& payload);

}  // namespace zelvo::test
