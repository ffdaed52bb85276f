#include "files/FuzzRead.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/Codecs.h"
#include "files/RasterFile.h"

namespace zelvo {

namespace {

// Keeps the decoded picture and lends scratch room in memory with windows of the fewest rows,
// so that what a decoder keeps in the scratch is checked against what it keeps in memory.
class ScratchImageSink : public RasterSink, public DecodeScratch {
public:
    bool Start(int32_t width, int32_t height) override {
        return image.Allocate(width, height, 24, RowOrder::BottomUp);
    }
    std::unique_ptr<RasterRows> Band(int32_t, int32_t) override {
        return std::make_unique<Rows>(image);
    }
    DecodeScratch* Scratch() override { return this; }
    int Borrow(uint64_t bytes) noexcept override {
        if (bytes > kMostBytes - m_lent) return -1;
        m_lent += bytes;
        m_areas.emplace_back(bytes);
        return int(m_areas.size() - 1);
    }
    bool Write(int area, uint64_t offset, const void* data, size_t n) noexcept override {
        if (!Inside(area, offset, n)) std::abort();
        std::memcpy(m_areas[size_t(area)].data() + offset, data, n);
        return true;
    }
    bool Read(int area, uint64_t offset, void* data, size_t n) noexcept override {
        if (!Inside(area, offset, n)) std::abort();
        std::memcpy(data, m_areas[size_t(area)].data() + offset, n);
        return true;
    }
    size_t WindowBytes() const noexcept override { return 1; }

    RasterImage image;

private:
    static constexpr uint64_t kMostBytes = uint64_t(64) << 20;
    class Rows : public RasterRows {
    public:
        explicit Rows(RasterImage& image) : m_image(image) {}
        bool Put(int32_t y, const uint8_t* bgr) override {
            if (y < 0 || y >= m_image.Height()) std::abort();
            std::memcpy(m_image.BottomRow(y), bgr, size_t(m_image.Width()) * 3);
            return true;
        }
        bool Flush() override { return true; }

    private:
        RasterImage& m_image;
    };
    bool Inside(int area, uint64_t offset, size_t n) const {
        return area >= 0 && size_t(area) < m_areas.size() &&
               offset <= m_areas[size_t(area)].size() && n <= m_areas[size_t(area)].size() - offset;
    }
    std::vector<std::vector<uint8_t>> m_areas;
    uint64_t m_lent = 0;
};

bool SameImage(const RasterImage& a, const RasterImage& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.ByteSize() == b.ByteSize() &&
           std::memcmp(a.Data(), b.Data(), a.ByteSize()) == 0;
}

// JPEG and PNG decode the same with and without scratch room.
void CheckScratchDecode(const uint8_t* data, size_t size, const std::string& extension,
                        const ReadLimits& limits) {
    const bool jpeg = extension == "jpeg" || extension == "jpg";
    if (!jpeg && extension != "png") return;
    auto decode = [&](RasterSink& sink) {
        MemorySource source(data, size);
        return jpeg ? DecodeJpeg(source, limits, sink) : DecodePng(source, limits, sink);
    };
    class ImageOnly : public ScratchImageSink {
        DecodeScratch* Scratch() override { return nullptr; }
    } plain;
    ScratchImageSink lent;
    const bool ok = decode(plain);
    if (decode(lent) != ok || (ok && !SameImage(plain.image, lent.image))) std::abort();
}

}  // namespace

void FuzzReadRaster(const uint8_t* data, size_t size, const std::string& extension) {
    ReadLimits limits;
    limits.maxPixels = kFuzzMaxPixels;
    CheckScratchDecode(data, size, extension, limits);
    RasterReadResult r = ReadRasterMemory(data, size, extension, limits);
    if (!r.ok) {
        if (!r.image.IsEmpty() || r.message != kCannotOpenText) std::abort();
        return;
    }
    const RasterImage& image = r.image;
    if (image.Bits() != 24 || image.Order() != RowOrder::BottomUp || image.Width() <= 0 ||
        image.Height() <= 0 || int64_t(image.Width()) * image.Height() > kFuzzMaxPixels ||
        image.Stride() != size_t(DibStride(image.Width(), 24)) ||
        image.ByteSize() != image.Stride() * size_t(image.Height()))
        std::abort();
    // Touch the first and last bytes so that a short buffer shows under the sanitizers.
    volatile uint8_t sink = image.Data()[0];
    sink = image.Data()[image.ByteSize() - 1];
    (void)sink;
}

}  // namespace zelvo
