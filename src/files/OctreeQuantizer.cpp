#include "files/OctreeQuantizer.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "core/RowBands.h"

namespace zelvo {

namespace {

constexpr int kDepth = 8;
constexpr int kMaxColours = 256;
constexpr int32_t kNone = -1;

struct Node {
    bool leaf = false;
    uint64_t count = 0;
    uint64_t sumBlue = 0, sumGreen = 0, sumRed = 0;
    int32_t child[8] = {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    int32_t nextReducible = kNone;
};

class Octree {
public:
    Octree() {
        m_reducible.fill(kNone);
        m_memo.fill(kNone);
    }

    // Adds one colour; true when that made a node (which may have set off reductions).
    bool Add(uint8_t b, uint8_t g, uint8_t r) {
        if (m_root == kNone) m_root = Create(0);
        bool made = false;
        Node& leaf = m_nodes[size_t(Walk<true>(b, g, r, m_memo, made))];
        ++leaf.count;
        leaf.sumBlue += b;
        leaf.sumGreen += g;
        leaf.sumRed += r;
        while (m_leaves > kMaxColours && Reduce()) {
        }
        return made;
    }

    // Adds the colours [0, n) of `bgr` on every core while the tree keeps its shape, and returns
    // how many were added: fewer than n when the next colour would make a node. Sums commute, so
    // the leaves end as one colour after another would leave them.
    int64_t AddWhileSettled(const uint8_t* bgr, int64_t n) {
        if (m_root == kNone) return 0;
        constexpr int64_t kUnit = 1024;  // colours; bands are cut in whole units
        constexpr int kCacheBits = 14;
        constexpr size_t kCacheSize = size_t(1) << kCacheBits;
        struct Band {
            int64_t first = 0, end = 0, added = 0;
            std::vector<Leaf> sums;
        };
        const int32_t units = int32_t((n + kUnit - 1) / kUnit);
        std::vector<Band> bands;
        bands.reserve(size_t(std::min(units, PassThreads())));
        std::mutex lock;
        ForEachRowBand(units, 1, [&](int32_t first, int32_t end, bool) {
            Band band;
            band.first = first * kUnit;
            band.end = std::min(n, end * kUnit);
            band.sums.resize(m_nodes.size());
            std::array<int32_t, kMemoSize> memo = m_memo;
            // Neighbouring pixels repeat colours: the leaves of recent ones spare most walks.
            std::vector<uint32_t> cacheKey(kCacheSize, 0);  // colour + 1, 0 for empty
            std::vector<int32_t> cacheLeaf(kCacheSize);
            int64_t i = band.first;
            for (const uint8_t* p = bgr + 3 * i; i < band.end; ++i, p += 3) {
                const uint32_t colour = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
                const uint32_t slot = (colour * 2654435761u) >> (32 - kCacheBits);
                int32_t leaf;
                if (cacheKey[slot] == colour + 1) {
                    leaf = cacheLeaf[slot];
                } else {
                    bool made = false;
                    leaf = Walk<false>(p[0], p[1], p[2], memo, made);
                    if (leaf == kNone) break;
                    cacheKey[slot] = colour + 1;
                    cacheLeaf[slot] = leaf;
                }
                Leaf& sum = band.sums[size_t(leaf)];
                ++sum.count;
                sum.blue += p[0];
                sum.green += p[1];
                sum.red += p[2];
            }
            band.added = i - band.first;
            const std::lock_guard<std::mutex> hold(lock);
            bands.push_back(std::move(band));
        });
        std::sort(bands.begin(), bands.end(),
                  [](const Band& a, const Band& b) { return a.first < b.first; });
        // Bands past the first that stopped counted colours the tree may no longer place so.
        int64_t added = 0;
        for (const Band& band : bands) {
            for (size_t id = 0; id < band.sums.size(); ++id) {
                const Leaf& sum = band.sums[id];
                if (sum.count == 0) continue;
                Node& leaf = m_nodes[id];
                leaf.count += sum.count;
                leaf.sumBlue += sum.blue;
                leaf.sumGreen += sum.green;
                leaf.sumRed += sum.red;
            }
            added += band.added;
            if (band.first + band.added < band.end) break;
        }
        return added;
    }

    int Palette(std::array<PaletteEntry, 256>& out) const {
        out.fill({});
        int n = 0;
        if (m_root != kNone) Walk(m_root, out, n);
        return n;
    }

private:
    int32_t Create(int depth) {
        int32_t id;
        if (!m_free.empty()) {
            id = m_free.back();
            m_free.pop_back();
            m_nodes[id] = Node{};
        } else {
            id = int32_t(m_nodes.size());
            m_nodes.emplace_back();
        }
        if (depth == kDepth) {
            m_nodes[id].leaf = true;
            ++m_leaves;
        } else {
            m_nodes[id].nextReducible = m_reducible[depth];
            m_reducible[depth] = id;
        }
        return id;
    }

    // Merges the newest node of the deepest non-empty level into one leaf.
    bool Reduce() {
        int depth = kDepth - 1;
        while (depth > 0 && m_reducible[depth] == kNone) --depth;
        const int32_t id = m_reducible[depth];
        if (id == kNone) return false;
        m_reducible[depth] = m_nodes[id].nextReducible;
        if (depth < kMemoDepth) m_memo.fill(kNone);
        int children = 0;
        for (int i = 0; i < 8; ++i) {
            const int32_t c = m_nodes[id].child[i];
            if (c == kNone) continue;
            Node& node = m_nodes[id];
            node.count += m_nodes[c].count;
            node.sumBlue += m_nodes[c].sumBlue;
            node.sumGreen += m_nodes[c].sumGreen;
            node.sumRed += m_nodes[c].sumRed;
            node.child[i] = kNone;
            m_free.push_back(c);
            ++children;
        }
        m_nodes[id].leaf = true;
        m_leaves -= children - 1;
        return true;
    }

    void Walk(int32_t id, std::array<PaletteEntry, 256>& out, int& n) const {
        const Node& node = m_nodes[id];
        if (node.leaf) {
            if (n < kMaxColours && node.count > 0)
                out[n] = {uint8_t(node.sumBlue / node.count), uint8_t(node.sumGreen / node.count),
                          uint8_t(node.sumRed / node.count)};
            ++n;
            return;
        }
        for (int i = 0; i < 8; ++i)
            if (node.child[i] != kNone) Walk(node.child[i], out, n);
    }

    static constexpr int kMemoDepth = 4;
    static constexpr size_t kMemoSize = size_t(1) << (3 * kMemoDepth);

    struct Leaf {
        uint64_t count = 0, blue = 0, green = 0, red = 0;
    };

    static uint32_t Prefix(uint8_t b, uint8_t g, uint8_t r) {
        return Spread(b >> (8 - kMemoDepth)) << 2 | Spread(g >> (8 - kMemoDepth)) << 1 |
               Spread(r >> (8 - kMemoDepth));
    }

    // The leaf of the colour, walked down to from the node `memo` remembers for the colour's
    // first kMemoDepth levels (or from the root); the node stays where it is until a reduction
    // above it. A missing node is made when kMake (and `made` set), else the walk gives kNone
    // and changes nothing of the tree, so that bands may walk it at once.
    template <bool kMake>
    int32_t Walk(uint8_t b, uint8_t g, uint8_t r, std::array<int32_t, kMemoSize>& memo,
                 bool& made) {
        const uint32_t prefix = Prefix(b, g, r);
        int32_t node = memo[prefix];
        int depth = kMemoDepth;
        if (node == kNone) {
            node = m_root;
            depth = 0;
        }
        for (; !m_nodes[node].leaf; ++depth) {
            const int shift = 7 - depth;
            const int index =
                (((b >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((r >> shift) & 1);
            int32_t next = m_nodes[node].child[index];
            if (next == kNone) {
                if constexpr (!kMake) return kNone;
                next = Create(depth + 1);
                m_nodes[node].child[index] = next;
                made = true;
            }
            node = next;
            if (depth + 1 == kMemoDepth) memo[prefix] = node;
        }
        return node;
    }

    // Bit k of the low kMemoDepth bits of v moved to bit 3k.
    static uint32_t Spread(uint32_t v) {
        uint32_t out = 0;
        for (int k = 0; k < kMemoDepth; ++k) out |= ((v >> k) & 1) << (3 * k);
        return out;
    }

    std::vector<Node> m_nodes;
    std::vector<int32_t> m_free;
    std::array<int32_t, kMemoSize> m_memo;
    std::array<int32_t, kDepth> m_reducible;
    int32_t m_root = kNone;
    int m_leaves = 0;
};

}  // namespace

bool BuildOctreePalette(const RowSource& rows, OctreePalette& palette) {
    if (rows.Width() <= 0 || rows.Height() <= 0 || rows.Bits() != 24) return false;
    // Colours since the tree last changed shape before the next ones go to every core, and the
    // most a go takes (doubling from the least while the tree stays settled).
    constexpr int64_t kSettled = 4096, kLeastGo = int64_t(1) << 16, kMostGo = int64_t(1) << 20;
    try {
        auto tree = std::make_unique<Octree>();
        const size_t stride = size_t(rows.Width()) * 3;
        const int32_t bandRows = SaveBandRows(stride, rows.Height());
        SaveBands bands(rows, rows.Order(), stride, bandRows);
        int64_t settled = 0, go = kLeastGo;
        for (int32_t y = 0; y < rows.Height(); y += bandRows) {
            const uint8_t* band = bands.Row(y);  // the band's rows follow one another
            if (!band) return false;
            const int64_t colours = int64_t(std::min(bandRows, rows.Height() - y)) * rows.Width();
            for (int64_t i = 0; i < colours;) {
                if (settled >= kSettled && colours - i >= kSettled) {
                    const int64_t want = std::min(go, colours - i);
                    const int64_t added = tree->AddWhileSettled(band + 3 * i, want);
                    i += added;
                    settled += added;
                    go = added == want ? std::min(2 * go, kMostGo) : kLeastGo;
                    if (added == want) continue;
                }
                const uint8_t* p = band + 3 * i++;
                settled = tree->Add(p[0], p[1], p[2]) ? 0 : settled + 1;
            }
        }
        palette.count = std::min(tree->Palette(palette.entries), kMaxColours);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

namespace {

#if defined(__x86_64__)
// Each entry's squared distance from two multiply-adds of 16-bit differences, with its index in
// the low byte below it (distances stay under 2^18), so the least key is the nearest entry and
// the lowest index among equals.
__attribute__((target("avx2"))) inline uint8_t LeastOfEight(__m256i keys) {
    __m128i m = _mm_min_epi32(_mm256_castsi256_si128(keys), _mm256_extracti128_si256(keys, 1));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return uint8_t(_mm_cvtsi128_si32(m));
}

__attribute__((target("avx2"))) uint8_t SearchAvx2(const uint32_t* blueGreen, const uint32_t* red,
                                                   int b, int g, int r) {
    const __m256i bg = _mm256_set1_epi32(int32_t(uint32_t(b) | uint32_t(g) << 16));
    const __m256i rr = _mm256_set1_epi32(r);
    __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i step = _mm256_set1_epi32(8);
    __m256i least = _mm256_set1_epi32(INT32_MAX);
    for (int i = 0; i < 256; i += 8) {
        const __m256i d1 = _mm256_sub_epi16(
            _mm256_load_si256(reinterpret_cast<const __m256i*>(blueGreen + i)), bg);
        const __m256i d2 =
            _mm256_sub_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(red + i)), rr);
        const __m256i d = _mm256_add_epi32(_mm256_madd_epi16(d1, d1), _mm256_madd_epi16(d2, d2));
        least = _mm256_min_epi32(least, _mm256_or_si256(_mm256_slli_epi32(d, 8), index));
        index = _mm256_add_epi32(index, step);
    }
    return LeastOfEight(least);
}

__attribute__((target("avx512f,avx512bw"))) uint8_t SearchAvx512(const uint32_t* blueGreen,
                                                                 const uint32_t* red, int b, int g,
                                                                 int r) {
    const __m512i bg = _mm512_set1_epi32(int32_t(uint32_t(b) | uint32_t(g) << 16));
    const __m512i rr = _mm512_set1_epi32(r);
    __m512i index = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i step = _mm512_set1_epi32(16);
    __m512i least = _mm512_set1_epi32(INT32_MAX);
    for (int i = 0; i < 256; i += 16) {
        const __m512i d1 = _mm512_sub_epi16(_mm512_load_si512(blueGreen + i), bg);
        const __m512i d2 = _mm512_sub_epi16(_mm512_load_si512(red + i), rr);
        const __m512i d = _mm512_add_epi32(_mm512_madd_epi16(d1, d1), _mm512_madd_epi16(d2, d2));
        // The masked forms spare GCC 12 a warning about the plain forms' undefined merge source.
        least = _mm512_maskz_min_epi32(
            0xffff, least, _mm512_or_si512(_mm512_maskz_slli_epi32(0xffff, d, 8), index));
        index = _mm512_add_epi32(index, step);
    }
    return LeastOfEight(_mm256_min_epi32(_mm512_maskz_extracti64x4_epi64(0xf, least, 0),
                                         _mm512_maskz_extracti64x4_epi64(0xf, least, 1)));
}
#endif

}  // namespace

NearestColour::NearestColour(const std::array<PaletteEntry, 256>& palette, CpuLevel level)
    : m_level(CpuRuns(level) ? level : BestCpuLevel()) {
    for (int i = 0; i < 256; ++i) {
        m_blueGreen[i] = uint32_t(palette[i].blue) | uint32_t(palette[i].green) << 16;
        m_red[i] = palette[i].red;
    }
    // Later duplicates of a colour can never win a tie, so only the first of each is kept.
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& e = palette[i];
        bool seen = false;
        for (int j = 0; j < m_count && !seen; ++j)
            seen = m_sorted[j].b == e.blue && m_sorted[j].g == e.green && m_sorted[j].r == e.red;
        if (!seen) m_sorted[m_count++] = {e.blue, e.green, e.red, uint8_t(i)};
    }
    std::sort(m_sorted.begin(), m_sorted.begin() + m_count,
              [](const Candidate& a, const Candidate& b) { return a.g < b.g; });
    m_cacheKey.fill(0);
    m_cacheIndex.fill(0);
}

uint8_t NearestColour::Search(int b, int g, int r) const {
#if defined(__x86_64__)
    if (m_level >= CpuLevel::V4) return SearchAvx512(m_blueGreen.data(), m_red.data(), b, g, r);
    if (m_level >= CpuLevel::Avx2) return SearchAvx2(m_blueGreen.data(), m_red.data(), b, g, r);
#endif
    // Outward from the candidates nearest in green; a side stops once its green distance alone
    // is beyond the best distance found.
    int hi = int(std::lower_bound(m_sorted.begin(), m_sorted.begin() + m_count, g,
                                  [](const Candidate& c, int v) { return c.g < v; }) -
                 m_sorted.begin());
    int lo = hi - 1;
    int best = 1 << 30;
    int bestIndex = 256;
    auto consider = [&](const Candidate& c) {
        const int d = (c.b - b) * (c.b - b) + (c.g - g) * (c.g - g) + (c.r - r) * (c.r - r);
        if (d < best || (d == best && c.index < bestIndex)) {
            best = d;
            bestIndex = c.index;
        }
    };
    while (lo >= 0 || hi < m_count) {
        if (hi < m_count) {
            const int dg = m_sorted[hi].g - g;
            if (dg * dg > best)
                hi = m_count;
            else
                consider(m_sorted[hi++]);
        }
        if (lo >= 0) {
            const int dg = g - m_sorted[lo].g;
            if (dg * dg > best)
                lo = -1;
            else
                consider(m_sorted[lo--]);
        }
    }
    return uint8_t(bestIndex);
}

uint8_t NearestColour::Find(uint8_t b, uint8_t g, uint8_t r) {
    const uint32_t colour = (uint32_t(b) << 16) | (uint32_t(g) << 8) | r;
    const uint32_t slot = (colour * 2654435761u) >> 18;
    if (m_cacheKey[slot] == colour + 1) return m_cacheIndex[slot];
    const uint8_t index = Search(b, g, r);
    m_cacheKey[slot] = colour + 1;
    m_cacheIndex[slot] = index;
    return index;
}

QuantizedRows::QuantizedRows(const RowSource& colours, const std::array<PaletteEntry, 256>& palette)
    : m_colours(colours), m_first(std::make_unique<const NearestColour>(palette)) {
    m_idle.reserve(size_t(kMostPassThreads));  // so that a band's return cannot throw
}

bool QuantizedRows::Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
                         size_t stride) const {
    const int32_t width = m_colours.Width();
    const size_t bgrStride = size_t(width) * 3;
    // The colours come a band at a time, however many indexed rows are asked for.
    const int32_t most = SaveBandRows(bgrStride, end - first);
    try {
        m_bgr.resize(size_t(most) * bgrStride);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int32_t y = first; y < end; y += most) {
        const int32_t n = std::min(most, end - y);
        if (!m_colours.Fill(y, y + n, order, m_bgr.data(), bgrStride)) return false;
        std::atomic<bool> failed{false};
        ForEachRowBand(n, kLeastBandRows, [&](int32_t from, int32_t to, bool) {
            std::unique_ptr<NearestColour> nearest;
            {
                const std::lock_guard<std::mutex> hold(m_lock);
                if (!m_idle.empty()) {
                    nearest = std::move(m_idle.back());
                    m_idle.pop_back();
                }
            }
            try {
                if (!nearest) nearest = std::make_unique<NearestColour>(*m_first);
            } catch (const std::bad_alloc&) {
                failed = true;
                return;
            }
            for (int32_t r = from; r < to; ++r) {
                const uint8_t* src = m_bgr.data() + size_t(r) * bgrStride;
                uint8_t* out = dst + size_t(r) * stride;
                for (int32_t x = 0; x < width; ++x, src += 3)
                    out[x] = nearest->Find(src[0], src[1], src[2]);
            }
            const std::lock_guard<std::mutex> hold(m_lock);
            m_idle.push_back(std::move(nearest));
        });
        if (failed) return false;
        dst += size_t(n) * stride;
    }
    return true;
}

}  // namespace zelvo
