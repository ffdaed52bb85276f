// PNG writing: the same bytes libpng writes with its default settings for a 24-bit picture
// (every filter tried on each row, the least sum of absolute differences chosen, zlib level 6
// with the filtered strategy, IDAT chunks of 8192 bytes), but the five filters of a row are
// worked out side by side in vector lanes instead of one byte and one filter at a time.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "core/CpuLevel.h"
#include "core/RowBands.h"
#include "files/Codecs.h"
#include "files/RowSource.h"
#include "files/SafeFile.h"

namespace zelvo {

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr size_t kIdatBytes = 8192;  // libpng's compression buffer, hence its IDAT length
constexpr int kPixelBytes = 3;

enum Filter : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAvg = 3, kPaeth = 4 };

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

bool WriteChunk(SafeFile& file, const char* type, const uint8_t* data, size_t size) {
    uint8_t head[8];
    PutU32(head, uint32_t(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (size > 0) crc = crc32(crc, data, uInt(size));
    uint8_t tail[4];
    PutU32(tail, uint32_t(crc));
    return file.Write(head, 8) && (size == 0 || file.Write(data, size)) && file.Write(tail, 4);
}

// A filtered byte's cost: its distance from zero as a signed byte.
inline uint32_t Cost(uint8_t v) {
    return v < 128 ? v : 256u - v;
}

// The candidates of one row, each one filter-type byte and `n` filtered bytes.
struct Candidates {
    explicit Candidates(size_t n) : stride(n + 1), bytes(5 * stride) {}
    uint8_t* Row(int filter) { return bytes.data() + size_t(filter) * stride; }
    size_t stride;
    std::vector<uint8_t> bytes;
};

// Fills every candidate of `raw` (above it `prev`, zeros for the first row) and returns the
// one libpng's default choice takes: the least total cost, the earliest of equals in the order
// None, Sub, Up, Average, Paeth, among the filters `allowed` (bit per type). Plain loops over
// independent bytes, which the compiler turns into vector code for each instruction set.
[[gnu::always_inline]] inline const uint8_t* ChooseFilterBody(const uint8_t* raw,
                                                              const uint8_t* prev, size_t n,
                                                              unsigned allowed, Candidates& c) {
    uint8_t* none = c.Row(kNone);
    uint8_t* sub = c.Row(kSub);
    uint8_t* up = c.Row(kUp);
    uint8_t* avg = c.Row(kAvg);
    uint8_t* paeth = c.Row(kPaeth);
    none[0] = kNone;
    sub[0] = kSub;
    up[0] = kUp;
    avg[0] = kAvg;
    paeth[0] = kPaeth;
    uint32_t cost[5] = {};
    for (size_t i = 0; i < n; ++i) {
        none[1 + i] = raw[i];
        cost[kNone] += Cost(raw[i]);
    }
    const size_t lead = std::min<size_t>(kPixelBytes, n);
    // The first pixel has nothing to its left: a, c = 0.
    for (size_t i = 0; i < lead; ++i) {
        sub[1 + i] = raw[i];
        up[1 + i] = uint8_t(raw[i] - prev[i]);
        avg[1 + i] = uint8_t(raw[i] - prev[i] / 2);
        paeth[1 + i] = uint8_t(raw[i] - prev[i]);
        cost[kSub] += Cost(sub[1 + i]);
        cost[kUp] += Cost(up[1 + i]);
        cost[kAvg] += Cost(avg[1 + i]);
        cost[kPaeth] += Cost(paeth[1 + i]);
    }
    uint32_t subCost = 0, upCost = 0, avgCost = 0, paethCost = 0;
    for (size_t i = lead; i < n; ++i) {
        const uint8_t v = uint8_t(raw[i] - raw[i - kPixelBytes]);
        sub[1 + i] = v;
        subCost += Cost(v);
    }
    for (size_t i = lead; i < n; ++i) {
        const uint8_t v = uint8_t(raw[i] - prev[i]);
        up[1 + i] = v;
        upCost += Cost(v);
    }
    for (size_t i = lead; i < n; ++i) {
        const uint8_t v = uint8_t(raw[i] - ((prev[i] + raw[i - kPixelBytes]) >> 1));
        avg[1 + i] = v;
        avgCost += Cost(v);
    }
    for (size_t i = lead; i < n; ++i) {
        const int a = raw[i - kPixelBytes], b = prev[i], cc = prev[i - kPixelBytes];
        const int p = b - cc, q = a - cc;
        const int pa = p < 0 ? -p : p, pb = q < 0 ? -q : q, pc = p + q < 0 ? -(p + q) : p + q;
        const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc) ? b : cc;
        const uint8_t v = uint8_t(raw[i] - predictor);
        paeth[1 + i] = v;
        paethCost += Cost(v);
    }
    cost[kSub] += subCost;
    cost[kUp] += upCost;
    cost[kAvg] += avgCost;
    cost[kPaeth] += paethCost;
    int best = -1;
    for (int f = kNone; f <= kPaeth; ++f)
        if ((allowed & (1u << f)) && (best < 0 || cost[f] < cost[best])) best = f;
    return c.Row(best);
}

using ChooseFilterFn = const uint8_t* (*)(const uint8_t*, const uint8_t*, size_t, unsigned,
                                          Candidates&);

const uint8_t* ChooseFilterPlain(const uint8_t* raw, const uint8_t* prev, size_t n,
                                 unsigned allowed, Candidates& c) {
    return ChooseFilterBody(raw, prev, n, allowed, c);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) const uint8_t* ChooseFilterAvx2(const uint8_t* raw,
                                                                const uint8_t* prev, size_t n,
                                                                unsigned allowed, Candidates& c) {
    return ChooseFilterBody(raw, prev, n, allowed, c);
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) const uint8_t* ChooseFilterAvx512(
    const uint8_t* raw, const uint8_t* prev, size_t n, unsigned allowed, Candidates& c) {
    return ChooseFilterBody(raw, prev, n, allowed, c);
}
#endif

ChooseFilterFn ChooseFilterFor(CpuLevel level) {
#if defined(__x86_64__)
    if (level >= CpuLevel::V4) return ChooseFilterAvx512;
    if (level >= CpuLevel::Avx2) return ChooseFilterAvx2;
#endif
    (void)level;
    return ChooseFilterPlain;
}

// The zlib stream of the filtered rows, cut into IDAT chunks as libpng cuts it.
class IdatWriter {
public:
    IdatWriter(SafeFile& file, uint64_t dataBytes) : m_file(file), m_dataBytes(dataBytes) {}
    ~IdatWriter() {
        if (m_open) deflateEnd(&m_z);
    }
    IdatWriter(const IdatWriter&) = delete;
    IdatWriter& operator=(const IdatWriter&) = delete;

    bool Start(int strategy) {
        // A small picture gets the smallest window that still sees all of it, as in libpng.
        int windowBits = 15;
        if (m_dataBytes <= 16384) {
            unsigned half = 1u << (windowBits - 1);
            while (m_dataBytes + 262 <= half) {
                half >>= 1;
                --windowBits;
            }
        }
        std::memset(&m_z, 0, sizeof m_z);
        if (deflateInit2(&m_z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, strategy) != Z_OK)
            return false;
        m_open = true;
        m_z.next_out = m_out.data();
        m_z.avail_out = uInt(m_out.size());
        return true;
    }

    bool Add(const uint8_t* data, size_t size, int flush) {
        m_z.next_in = const_cast<Bytef*>(data);
        m_z.avail_in = uInt(size);
        for (;;) {
            const int ret = deflate(&m_z, flush);
            if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) return false;
            if (m_z.avail_out == 0) {
                if (!Emit(m_out.size())) return false;
                continue;
            }
            if (flush == Z_FINISH) return ret == Z_STREAM_END && Emit(m_out.size() - m_z.avail_out);
            if (m_z.avail_in == 0) return true;
        }
    }

private:
    bool Emit(size_t size) {
        if (!m_emitted) OptimizeHeader();
        m_emitted = true;
        const bool ok = size == 0 || WriteChunk(m_file, "IDAT", m_out.data(), size);
        m_z.next_out = m_out.data();
        m_z.avail_out = uInt(m_out.size());
        return ok;
    }

    // The window size the stream's header names, brought down to what the data needs.
    void OptimizeHeader() {
        if (m_dataBytes > 16384) return;
        unsigned cmf = m_out[0];
        if ((cmf & 0x0f) != 8 || (cmf & 0xf0) > 0x70) return;
        unsigned info = cmf >> 4;
        unsigned half = 1u << (info + 7);
        if (m_dataBytes > half) return;
        do {
            half >>= 1;
            --info;
        } while (info > 0 && m_dataBytes <= half);
        cmf = (cmf & 0x0f) | (info << 4);
        m_out[0] = uint8_t(cmf);
        unsigned flg = m_out[1] & 0xe0u;
        flg += 0x1f - ((cmf << 8) + flg) % 0x1f;
        m_out[1] = uint8_t(flg);
    }

    SafeFile& m_file;
    uint64_t m_dataBytes;
    z_stream m_z{};
    bool m_open = false;
    bool m_emitted = false;
    std::array<uint8_t, kIdatBytes> m_out{};
};

}  // namespace

bool EncodePng(SafeFile& file, const RowSource& rows, CpuLevel level) {
    if (!CpuRuns(level)) level = BestCpuLevel();
    if (rows.Width() <= 0 || rows.Height() <= 0 || rows.Bits() != 24) return false;
    const uint32_t width = uint32_t(rows.Width()), height = uint32_t(rows.Height());
    const size_t n = size_t(width) * kPixelBytes;
    try {
        uint8_t ihdr[13];
        PutU32(ihdr, width);
        PutU32(ihdr + 4, height);
        ihdr[8] = 8;   // bits a sample
        ihdr[9] = 2;   // RGB
        ihdr[10] = 0;  // deflate
        ihdr[11] = 0;  // adaptive filters
        ihdr[12] = 0;  // not interlaced
        if (!file.Write(kSignature, sizeof kSignature) || !WriteChunk(file, "IHDR", ihdr, 13))
            return false;

        // A single row cannot look up, a single column cannot look left.
        unsigned allowed = 0x1f;
        if (height == 1) allowed &= ~((1u << kUp) | (1u << kAvg) | (1u << kPaeth));
        if (width == 1) allowed &= ~((1u << kSub) | (1u << kAvg) | (1u << kPaeth));
        const int strategy = allowed == (1u << kNone) ? Z_DEFAULT_STRATEGY : Z_FILTERED;

        IdatWriter idat(file, uint64_t(n + 1) * height);
        if (!idat.Start(strategy)) return false;
        // The caller reads a band's rows and filters them while a second core deflates the band
        // before; three buffers of a third of a band take the memory one band did. On one
        // thread each row is deflated as it is filtered, sparing the copy.
        const bool direct = PassThreads() == 1;
        const uint32_t bandRows = uint32_t(std::max(1, SaveBandRows(n, int32_t(height)) / 3));
        std::vector<uint8_t> bgr(size_t(bandRows) * n), raw(n), prev(n, 0);
        std::vector<uint8_t> ready(direct ? 0 : size_t(bandRows) * (n + 1)), coding(ready.size());
        Candidates candidates(n);
        const ChooseFilterFn choose = ChooseFilterFor(level);
        auto prepare = [&](uint32_t first, uint32_t count) {
            if (!rows.Fill(int32_t(first), int32_t(first + count), RowOrder::TopDown, bgr.data(),
                           n))
                return false;
            for (uint32_t r = 0; r < count; ++r) {
                const uint8_t* p = bgr.data() + size_t(r) * n;
                for (size_t i = 0; i < n; i += kPixelBytes) {
                    raw[i] = p[i + 2];
                    raw[i + 1] = p[i + 1];
                    raw[i + 2] = p[i];
                }
                const uint8_t* chosen = choose(raw.data(), prev.data(), n, allowed, candidates);
                if (direct && !idat.Add(chosen, n + 1, Z_NO_FLUSH)) return false;
                if (!direct) std::memcpy(ready.data() + size_t(r) * (n + 1), chosen, n + 1);
                raw.swap(prev);
            }
            return true;
        };
        if (!prepare(0, std::min(bandRows, height))) return false;
        for (uint32_t first = 0; first < height; first += bandRows) {
            const uint32_t count = std::min(bandRows, height - first), next = first + count;
            ready.swap(coding);
            bool prepared = true, added = true;
            RunBeside(
                [&] {
                    if (next < height) prepared = prepare(next, std::min(bandRows, height - next));
                },
                [&] {
                    for (uint32_t r = 0; !direct && added && r < count; ++r)
                        added = idat.Add(coding.data() + size_t(r) * (n + 1), n + 1, Z_NO_FLUSH);
                });
            if (!prepared || !added) return false;
        }
        if (!idat.Add(nullptr, 0, Z_FINISH)) return false;
        return WriteChunk(file, "IEND", nullptr, 0) && !file.Failed();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zelvo
