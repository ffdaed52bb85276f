// The baseline JPEG writer's stripes: MCU rows coded a stripe per thread, each starting from
// the DC predictions of the row above it, the stripes after the caller's kept unstuffed in
// memory and joined on at whatever bit the stream has reached.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include <immintrin.h>
#include <sys/mman.h>

#include "core/RowBands.h"
#include "files/BaselineJpegCoder.h"
#include "files/PixelRows.h"

namespace zelvo::jpeg {

namespace {

// A stripe's entropy-coded bits, unstuffed, gathered in memory: where they fall in the file's
// bytes (and so where 0xFF needs its zero) depends on the stripes before it. The memory is
// mapped in huge pages where the system gives them: a fresh 4 KiB page costs a fault, and a
// picture's coded bits are tens of megabytes.
class RawBits {
public:
    RawBits() = default;
    RawBits(RawBits&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)),
          m_size(other.m_size),
          m_capacity(std::exchange(other.m_capacity, 0)),
          m_bits(other.m_bits),
          m_count(other.m_count) {}
    RawBits(const RawBits&) = delete;
    RawBits& operator=(const RawBits&) = delete;
    ~RawBits() {
        if (m_data) munmap(m_data, m_capacity);
    }
    RawBits& operator=(RawBits&& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_bits, other.m_bits);
        std::swap(m_count, other.m_count);
        return *this;
    }

    // Room for about `bytes` (a guess: more is had when needed). Throws std::bad_alloc when
    // the memory cannot be had, as Take does.
    void Reserve(size_t bytes) {
        if (bytes + kGroupBytes + 8 > m_capacity) Grow(bytes + kGroupBytes + 8);
    }
    BitCursor Take() {
        if (m_size + kGroupBytes + 8 > m_capacity) Grow(2 * m_capacity);
        return {m_bits, m_count, m_data + m_size};
    }
    void Give(const BitCursor& c) {
        m_bits = c.bits;
        m_count = c.count;
        m_size = size_t(c.at - m_data);
    }
    bool Ok() const { return true; }
    const uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    uint64_t PendingBits() const { return m_bits; }
    int PendingCount() const { return int(m_count); }

private:
    static constexpr size_t kHuge = size_t(2) << 20;

    void Grow(size_t least) {
        const size_t capacity = (std::max(least, kHuge) + kHuge - 1) / kHuge * kHuge;
        void* p;
        if (m_data) {
            p = mremap(m_data, m_capacity, capacity, MREMAP_MAYMOVE);
        } else {
            // Over-mapped by a huge page and trimmed, so that the start is aligned to one.
            p = mmap(nullptr, capacity + kHuge, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (p != MAP_FAILED) {
                const uintptr_t at = reinterpret_cast<uintptr_t>(p);
                const uintptr_t aligned = (at + kHuge - 1) / kHuge * kHuge;
                if (aligned > at) munmap(p, aligned - at);
                if (aligned + capacity < at + capacity + kHuge)
                    munmap(reinterpret_cast<void*>(aligned + capacity),
                           at + capacity + kHuge - aligned - capacity);
                p = reinterpret_cast<void*>(aligned);
            }
        }
        if (p == MAP_FAILED) throw std::bad_alloc();
        madvise(p, capacity, MADV_HUGEPAGE);
        m_data = static_cast<uint8_t*>(p);
        m_capacity = capacity;
    }
    uint8_t* m_data = nullptr;
    size_t m_size = 0, m_capacity = 0;
    uint64_t m_bits = 0, m_count = 0;
};
// One row's b, g, r triples split into three byte planes of `count` bytes (a multiple of 16),
// then converted; columns past the picture repeat its last column.
void ConvertRow(const JpegKernels& kernels, const uint8_t* bgr, int width, int count,
                uint8_t* scratch, float* y, float* cb, float* cr) {
    uint8_t* blue = scratch;
    uint8_t* green = scratch + count;
    uint8_t* red = scratch + 2 * count;
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i b, g, r;
        SplitBgr16(bgr + 3 * x, b, g, r);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + x), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(green + x), g);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(red + x), r);
    }
    for (; x < width; ++x) {
        blue[x] = bgr[3 * x];
        green[x] = bgr[3 * x + 1];
        red[x] = bgr[3 * x + 2];
    }
    for (x = width; x < count; ++x) {
        blue[x] = blue[width - 1];
        green[x] = green[width - 1];
        red[x] = red[width - 1];
    }
    kernels.convert(blue, green, red, count, y, cb, cr);
}

// A thread's eight picture rows as three float planes, taken from its own band of the rows.
class StripeRows {
public:
    // Throws std::bad_alloc when the memory cannot be had.
    explicit StripeRows(const PictureSetup& s)
        : m_setup(s),
          m_bands(s.rows, RowOrder::TopDown, size_t(s.width) * 3),
          m_planes(size_t(s.planeWidth) * 8 * 3),
          m_scratch(size_t(s.planeWidth) * 3) {
        if (!m_bands.Ready()) throw std::bad_alloc();
        for (int c = 0; c < 3; ++c) plane[c] = m_planes.data() + size_t(s.planeWidth) * 8 * c;
    }
    // Rows past the picture repeat its last row. False when the rows cannot be had.
    bool Convert(int mcuRow) {
        const PictureSetup& s = m_setup;
        for (int r = 0; r < 8; ++r) {
            const size_t at = size_t(r) * s.planeWidth;
            const uint8_t* row = m_bands.Row(std::min(8 * mcuRow + r, s.height - 1));
            if (!row) return false;
            ConvertRow(s.kernels, row, s.width, s.convertWidth, m_scratch.data(), plane[0] + at,
                       plane[1] + at, plane[2] + at);
        }
        return true;
    }
    float* plane[3];

private:
    const PictureSetup& m_setup;
    SaveBands m_bands;
    std::vector<float> m_planes;
    std::vector<uint8_t> m_scratch;
};

// Codes MCU rows [first, end) into `sink` (a BitWriter or RawBits) until it fails or `stop`
// is set; false when the rows cannot be had.
template <class Sink>
bool CodeStripe(Sink& sink, const PictureSetup& s, StripeRows& rows, Component* comps, int first,
                int end, const std::atomic<bool>& stop) {
    alignas(16) int16_t coef[3][kMaxLanes][64];
    for (int m = first; m < end && sink.Ok() && !stop.load(std::memory_order_relaxed); ++m) {
        if (!rows.Convert(m)) return false;
        for (int bx = 0; bx < s.blocksAcross; bx += s.kernels.lanes) {
            for (int c = 0; c < 3; ++c)
                s.kernels.transform(rows.plane[c] + 8 * bx, size_t(s.planeWidth),
                                    comps[c].reciprocal, coef[c]);
            const int lanes = std::min(s.kernels.lanes, s.blocksAcross - bx);
            sink.Give(s.kernels.encode(sink.Take(), coef, lanes, comps));
        }
    }
    return true;
}

// The DC predictions a stripe starts from: the quantised DC values of the last block of the
// MCU row before it, recomputed rather than waited for. False when the rows cannot be had.
bool SetPredictions(const PictureSetup& s, StripeRows& rows, Component* comps, int mcuRow) {
    if (!rows.Convert(mcuRow)) return false;
    const int last = s.blocksAcross - 1;
    const int bx = last / s.kernels.lanes * s.kernels.lanes;
    alignas(16) int16_t coef[kMaxLanes][64];
    for (int c = 0; c < 3; ++c) {
        s.kernels.transform(rows.plane[c] + 8 * bx, size_t(s.planeWidth), comps[c].reciprocal,
                            coef);
        comps[c].previousDc = coef[last - bx][0];
    }
    return true;
}

}  // namespace

void BitWriter::Append(const uint8_t* p, size_t bytes, uint64_t tail, int tailCount) {
    constexpr size_t kPart = (kGroupBytes - 8) / 8 * 8;
    while (bytes > 0) {
        const size_t part = std::min(bytes, kPart);
        BitCursor c = Take();
        const uint64_t shift = c.count;
        size_t i = 0;
        for (; i + 8 <= part; i += 8) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            word = __builtin_bswap64(word);
            const uint64_t big = __builtin_bswap64(c.bits | word >> shift);
            std::memcpy(c.at, &big, 8);
            c.at += 8;
            c.bits = word << (63 - shift) << 1;  // nothing left over when shift is 0
        }
        for (; i < part; ++i) Put(c, uint64_t(p[i]) << 56 | 8);
        Give(c);
        p += part;
        bytes -= part;
    }
    if (tailCount > 0) {
        BitCursor c = Take();
        Put(c, (tail & ~uint64_t(63)) | uint64_t(tailCount));
        Give(c);
    }
}

bool CodeStripes(BitWriter& w, const PictureSetup& setup, const Component* comps) {
    // Stripes of MCU rows, one a thread, each transformed and coded on its own. The caller
    // codes the first straight into the file; the others keep their bits in memory until the
    // caller joins them on at whatever bit the stream has reached. The caller's stripe is a
    // tenth shorter than the others: the file's writes and the join are its work too.
    const int mcuRows = (setup.height + 7) / 8;
    const int count = RowBandCount(mcuRows, 1);
    const int callerRows = count > 1 ? std::max(1, int(int64_t(mcuRows) * 9 / (10 * count))) : 0;
    auto stripeFirst = [&](int i) {
        if (i == 0 || count == 1) return i == 0 ? 0 : mcuRows;
        return callerRows + int(int64_t(mcuRows - callerRows) * (i - 1) / (count - 1));
    };
    std::vector<RawBits> stripes;
    try {
        stripes.resize(size_t(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::atomic<bool> stop{false}, failed{false}, direct{false};
    ForEachRowBand(count, 1, [&](int32_t firstStripe, int32_t endStripe, bool caller) {
        try {
            StripeRows rows(setup);
            for (int i = firstStripe; i < endStripe; ++i) {
                const int first = stripeFirst(i), end = stripeFirst(i + 1);
                Component own[3] = {comps[0], comps[1], comps[2]};
                bool had = first == 0 || SetPredictions(setup, rows, own, first - 1);
                if (i == 0 && caller) {
                    had = had && CodeStripe(w, setup, rows, own, first, end, stop);
                    if (!w.Ok()) stop.store(true);
                    direct.store(true);
                } else if (had) {
                    // About one and a half bytes a pixel, what a photograph takes at the
                    // highest quality; more is mapped when needed.
                    stripes[size_t(i)].Reserve(size_t(end - first) * size_t(setup.blocksAcross) *
                                               96);
                    had = CodeStripe(stripes[size_t(i)], setup, rows, own, first, end, stop);
                }
                if (!had) {
                    failed.store(true);
                    stop.store(true);
                }
            }
        } catch (const std::bad_alloc&) {
            failed.store(true);
            stop.store(true);
        }
    });
    if (failed.load()) return false;
    for (int i = direct.load() ? 1 : 0; i < count && w.Ok(); ++i)
        w.Append(stripes[size_t(i)].Data(), stripes[size_t(i)].Size(),
                 stripes[size_t(i)].PendingBits(), stripes[size_t(i)].PendingCount());
    return true;
}

}  // namespace zelvo::jpeg
