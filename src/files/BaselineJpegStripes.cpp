// The baseline JPEG writer's stripes: runs of MCU rows taken in order by every thread of the
// pass, each starting from the DC predictions of the row above it. A stripe coded while the
// stream has not reached it is kept unstuffed in one of a few reused buffers until the caller
// joins it on at whatever bit the stream has reached, so the bits waiting stay bounded however
// large the picture.
#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
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
// bytes (and so where 0xFF needs its zero) depends on the stripes before it. Mapped rather than
// allocated so that growing moves no bytes; the first room is mapped in at once (every page
// faulted in on its own costs a trap, on virtual machines a dear one) and reused stripe after
// stripe.
class RawBits {
public:
    RawBits() = default;
    RawBits(const RawBits&) = delete;
    RawBits& operator=(const RawBits&) = delete;
    ~RawBits() {
        if (m_data) munmap(m_data, m_capacity);
    }

    // Empties it for the next stripe, with room for about `bytes` (a guess: more is had when
    // needed). Throws std::bad_alloc when the memory cannot be had, as Take does.
    void Restart(size_t bytes) {
        m_size = 0;
        m_bits = m_count = 0;
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
    static constexpr size_t kGrain = size_t(64) << 10;

    void Grow(size_t least) {
        const size_t capacity = (std::max(least, kGrain) + kGrain - 1) / kGrain * kGrain;
        void* p = m_data ? mremap(m_data, m_capacity, capacity, MREMAP_MAYMOVE)
                         : mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_POPULATE, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
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
    // Bands of `bandRows` rows (SaveBandRows when 0). Throws std::bad_alloc when the memory
    // cannot be had.
    StripeRows(const PictureSetup& s, int bandRows)
        : m_setup(s),
          m_bands(s.rows, RowOrder::TopDown, size_t(s.width) * 3, bandRows),
          m_planes(size_t(s.planeWidth) * 8 * 3),
          m_scratch(size_t(s.planeWidth) * 3) {
        if (!m_bands.Ready()) throw std::bad_alloc();
        for (int c = 0; c < 3; ++c) plane[c] = m_planes.data() + size_t(s.planeWidth) * 8 * c;
    }
    // Columns from `column` (a multiple of 16 below the width) on; rows past the picture repeat
    // its last row. False when the rows cannot be had.
    bool Convert(int mcuRow, int column = 0) {
        const PictureSetup& s = m_setup;
        for (int r = 0; r < 8; ++r) {
            const size_t at = size_t(r) * s.planeWidth + size_t(column);
            const uint8_t* row = m_bands.Row(std::min(8 * mcuRow + r, s.height - 1));
            if (!row) return false;
            ConvertRow(s.kernels, row + 3 * size_t(column), s.width - column,
                       s.convertWidth - column, m_scratch.data(), plane[0] + at, plane[1] + at,
                       plane[2] + at);
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
    const int last = s.blocksAcross - 1;
    const int bx = last / s.kernels.lanes * s.kernels.lanes;
    if (!rows.Convert(mcuRow, 8 * bx)) return false;
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
        auto words = [&](size_t& i, size_t end) {
            for (; i + 8 <= end; i += 8) {
                uint64_t word;
                std::memcpy(&word, p + i, 8);
                word = __builtin_bswap64(word);
                const uint64_t big = __builtin_bswap64(c.bits | word >> shift);
                std::memcpy(c.at, &big, 8);
                c.at += 8;
                c.bits = word << (63 - shift) << 1;  // nothing left over when shift is 0
            }
        };
        size_t i = 0;
        words(i, std::min(part, size_t(8)));
        if (i > 0 && i + 16 <= part) {
            // Sixteen bytes at a time, each made of the low bits of the byte before it and the
            // high bits of its own, as the pending bits are the low bits of the byte before.
            const __m128i right = _mm_cvtsi32_si128(int(shift));
            const __m128i left = _mm_cvtsi32_si128(int(8 - shift));
            const __m128i keepRight = _mm_set1_epi8(char(0xFF >> shift));
            const __m128i keepLeft = _mm_set1_epi8(char(0xFF << (8 - shift)));
            for (; i + 16 <= part; i += 16) {
                const __m128i own = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1));
                const __m128i out =
                    _mm_or_si128(_mm_and_si128(_mm_srl_epi16(own, right), keepRight),
                                 _mm_and_si128(_mm_sll_epi16(before, left), keepLeft));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(c.at), out);
                c.at += 16;
            }
            c.bits = uint64_t(uint8_t(p[i - 1] << (8 - shift))) << 56;
        }
        words(i, part);
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
    const int mcuRows = (setup.height + 7) / 8;
    int threads = PassThreads();
    if (threads == 1 || mcuRows == 1) {
        try {
            StripeRows rows(setup, 0);
            Component own[3] = {comps[0], comps[1], comps[2]};
            const std::atomic<bool> never{false};
            return CodeStripe(w, setup, rows, own, 0, mcuRows, never);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    // Every stripe but the first starts a band at the MCU row before it, for its predictions:
    // a band of `span` MCU rows holds a stripe and that row, so every row is rendered once but
    // those. The threads' bands share the memory of one; at least four stripes a thread.
    const int bandRows = SaveBandRows(size_t(setup.width) * 3, INT32_MAX) / threads;
    const int span =
        std::max(2, std::min(bandRows / 8, (mcuRows + 4 * threads - 1) / (4 * threads) + 1));
    // Stripe 0 is [0, span), stripe i > 0 [i (span - 1) + 1, (i + 1) (span - 1) + 1).
    auto stripeFirst = [&](int i) { return std::min(mcuRows, i == 0 ? 0 : i * (span - 1) + 1); };
    const int count = 1 + (mcuRows - 2) / (span - 1);
    threads = std::min(threads, count);
    // A stripe waits in one of `slots` buffers from being coded until it is joined on: one a
    // thread and two more, so that finished stripes seldom hold up a thread (one more was a few
    // per cent slower on two threads).
    const int slots = threads + 2;
    std::vector<RawBits> raw;
    std::vector<char> finished;  // of each stripe coded into its buffer
    try {
        raw = std::vector<RawBits>(size_t(slots));
        finished.resize(size_t(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // About one and a half bytes a pixel, what a photograph takes at the highest quality.
    const size_t guess = size_t(span - 1) * size_t(setup.blocksAcross) * 96;

    std::mutex lock;
    std::condition_variable changed;
    int next = 0;    // the first stripe no thread has taken
    int joined = 0;  // the stripes on the stream
    std::atomic<bool> stop{false};
    bool failed = false;
    // With the lock held: how coding stripe i ended, onto the stream (`direct`) or into its
    // buffer.
    auto record = [&](int i, bool had, bool direct) {
        if (!had) {
            failed = true;
            stop.store(true);
        } else if (direct) {
            if (!w.Ok()) stop.store(true);
            joined = i + 1;
        } else {
            finished[size_t(i)] = 1;
        }
        changed.notify_all();
    };
    // Codes stripe i with `rows`, onto the stream when `direct`, else into its buffer.
    auto code = [&](StripeRows& rows, int i, bool direct) {
        const int first = stripeFirst(i), end = stripeFirst(i + 1);
        Component own[3] = {comps[0], comps[1], comps[2]};
        if (first > 0 && !SetPredictions(setup, rows, own, first - 1)) return false;
        if (direct) return CodeStripe(w, setup, rows, own, first, end, stop);
        RawBits& bits = raw[size_t(i % slots)];
        bits.Restart(guess);
        return CodeStripe(bits, setup, rows, own, first, end, stop);
    };
    // The caller writes the stream: it joins finished stripes in order, codes a stripe straight
    // onto the stream when every one before it is on, and otherwise takes the next stripe like
    // the other threads. The others only code stripes into buffers.
    auto callerLoop = [&](StripeRows& rows) {
        std::unique_lock<std::mutex> hold(lock);
        while (!stop.load()) {
            if (joined < count && finished[size_t(joined)]) {
                const RawBits& bits = raw[size_t(joined % slots)];
                hold.unlock();
                w.Append(bits.Data(), bits.Size(), bits.PendingBits(), bits.PendingCount());
                hold.lock();
                if (!w.Ok()) stop.store(true);
                ++joined;
                changed.notify_all();
                continue;
            }
            if (joined == count) break;
            // Nothing left to take, or the next stripe's buffer still holds an earlier one:
            // wait for the stripe to join.
            if (next == count || next - joined >= slots) {
                changed.wait(hold, [&] { return stop.load() || finished[size_t(joined)]; });
                continue;
            }
            const int i = next++;
            const bool direct = i == joined;
            hold.unlock();
            const bool had = code(rows, i, direct);
            hold.lock();
            record(i, had, direct);
        }
    };
    auto workerLoop = [&](StripeRows& rows) {
        std::unique_lock<std::mutex> hold(lock);
        while (!stop.load() && next < count) {
            const int i = next++;
            changed.wait(hold, [&] { return stop.load() || i - joined < slots; });
            if (stop.load()) break;
            hold.unlock();
            const bool had = code(rows, i, false);
            hold.lock();
            record(i, had, false);
        }
    };
    ForEachRowBand(threads, 1, [&](int32_t, int32_t, bool caller) {
        try {
            StripeRows rows(setup, 8 * span);
            if (caller)
                callerLoop(rows);
            else
                workerLoop(rows);
        } catch (const std::bad_alloc&) {
            const std::lock_guard<std::mutex> hold(lock);
            record(0, false, false);
        }
    });
    return !failed && w.Ok();
}

}  // namespace zelvo::jpeg
