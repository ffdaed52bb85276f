#include "adjust/ColourTent.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "adjust/MixRuns.h"
#include "core/CpuLevel.h"
#include "selection/TentFilter.h"

namespace zelvo {

namespace {

// The weighted sums of a line as the tent filter makes them, kept whole to be divided after.
struct WeightedSum {
    int64_t operator()(int64_t s, int64_t) const { return s; }
};

// The product by the rounded reciprocal is off from s / w by less than (s / w) 2^-51, under
// 1 / w for s < 2^31: it never reaches the next whole number, and falls short of a whole
// quotient by at most one, which the remainder sets right. The exact integer quotient for a
// multiply, where a division takes many times as long.
inline void FloorQuotientsPlain(const int32_t* s, int32_t w, int32_t* q, size_t n) {
    const double inverse = 1.0 / double(w);
    for (size_t i = 0; i < n; ++i) {
        const int32_t t = int32_t(double(s[i]) * inverse);
        const int32_t r = s[i] - t * w;
        q[i] = t + int32_t(r >= w);
    }
}

#define ZELVO_TENT_KERNELS(NAME, TARGET)                                                  \
    TARGET void FloorQuotients##NAME(const int32_t* s, int32_t w, int32_t* q, size_t n) { \
        FloorQuotientsPlain(s, w, q, n);                                                  \
    }
ZELVO_TENT_KERNELS(V4, __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))))
ZELVO_TENT_KERNELS(Avx2, __attribute__((target("avx2"))))
ZELVO_TENT_KERNELS(Base, )
#undef ZELVO_TENT_KERNELS

#define ZELVO_V4 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))

// Lanes shifted up by k, zeros in: the zero-masked form is the plain one without GCC 12's false
// warning about its undefined pass-through.
template <int k>
ZELVO_V4 inline __m512i ShiftUp(__m512i v) {
    return _mm512_maskz_alignr_epi32(0xffff, v, _mm512_setzero_si512(), 16 - k);
}

// Running sums across the sixteen lanes.
ZELVO_V4 inline __m512i PrefixSums(__m512i v) {
    v = _mm512_add_epi32(v, ShiftUp<1>(v));
    v = _mm512_add_epi32(v, ShiftUp<2>(v));
    v = _mm512_add_epi32(v, ShiftUp<4>(v));
    return _mm512_add_epi32(v, ShiftUp<8>(v));
}

// The tent filter's weighted sums S of a line of n (TentFilterLine with WeightedSum), sixteen
// at a time: S moves on by d, the right half's sum less the left's, and d moves on by
// c[x+L-1] - 2 c[x-1] + c[x-L-1], so S is the running sum of the running sum of those, taken
// lane by lane. `padded` holds the line with L zeros on either side, so the ends need no
// checks; every value stays within 32 bits as S is at most 255 L^2 for L <= 2048.
ZELVO_V4 void TentSumsV4(const int32_t* padded, int32_t n, int32_t L, int32_t* out) {
    const int32_t* c = padded + L;
    int32_t s = 0, d = 0;
    for (int32_t k = 0; k < L && k < n; ++k) {
        s += (L - k) * c[k];
        d += c[k];
    }
    out[0] = s;
    const __m512i last = _mm512_set1_epi32(15);
    __m512i dv = _mm512_set1_epi32(d), sv = _mm512_set1_epi32(s);
    for (int32_t x = 1; x < n; x += 16) {
        // Lanes past the line read and write nothing.
        const __mmask16 in = n - x >= 16 ? __mmask16(0xffff) : __mmask16((1u << (n - x)) - 1);
        const __m512i ahead = _mm512_maskz_loadu_epi32(in, c + x + L - 1);
        const __m512i moving = _mm512_maskz_loadu_epi32(in, c + x - 1);
        const __m512i behind = _mm512_maskz_loadu_epi32(in, c + x - L - 1);
        const __m512i e =
            _mm512_add_epi32(_mm512_sub_epi32(ahead, _mm512_add_epi32(moving, moving)), behind);
        const __m512i dx = _mm512_add_epi32(PrefixSums(e), dv);
        const __m512i sx = _mm512_add_epi32(PrefixSums(dx), sv);
        _mm512_mask_storeu_epi32(out + x, in, sx);
        dv = _mm512_maskz_permutexvar_epi32(0xffff, last, dx);
        sv = _mm512_maskz_permutexvar_epi32(0xffff, last, sx);
    }
}

#undef ZELVO_V4

// The sum of the tent's weights L - |k| over the offsets inside a line of n at x: L^2 less the
// triangles cut off at either end.
int64_t LineWeight(int64_t L, int64_t n, int64_t x) {
    auto cut = [](int64_t j) { return j > 0 ? j * (j + 1) / 2 : 0; };
    return L * L - cut(L - 1 - x) - cut(x - (n - L));
}

}  // namespace

void FloorQuotients(CpuLevel level, const int32_t* s, int32_t w, int32_t* q, size_t n) {
    switch (level) {
        case CpuLevel::Avx512Vbmi:
        case CpuLevel::V4:
            return FloorQuotientsV4(s, w, q, n);
        case CpuLevel::Avx2:
            return FloorQuotientsAvx2(s, w, q, n);
        case CpuLevel::Base:
            return FloorQuotientsBase(s, w, q, n);
    }
}

// The running state of the line filter kept per column and channel: the weighted sum and the
// sum of the right half (rows y .. y+L-1) less that of the left half (y-L .. y-1), by which
// the weighted sum moves on; two streams for a row step instead of three.
template <class Acc>
struct TentRows::Sums {
    explicit Sums(size_t n) : s(n, 0), d(n, 0) {}
    std::vector<Acc> s, d;
};

TentRows::TentRows(int32_t width, int32_t height, int32_t radius, RowAt rowAt, const uint8_t* map,
                   int32_t first, CpuLevel level)
    : m_w(std::max(width, 0)),
      m_h(std::max(height, 0)),
      m_L(std::clamp(radius, 1, std::max(1, std::min(m_w, m_h)))),
      m_rowAt(std::move(rowAt)),
      m_map(map),
      m_ringRows(2 * m_L + 1),
      m_first(std::clamp(first, 0, m_h)),
      m_y(m_first),
      m_level(level) {
    const size_t planes = 3 * size_t(m_w);
    m_ring.resize(size_t(m_ringRows) * planes);
    m_column.resize(size_t(m_w) + 2 * size_t(m_L));  // L zeros on either side of the line
    m_line.resize(size_t(m_w));
    m_out.resize(size_t(m_w));
    if (m_L <= 2048)
        m_small = std::make_unique<Sums<int32_t>>(planes);
    else
        m_large = std::make_unique<Sums<int64_t>>(planes);
}

TentRows::~TentRows() = default;

bool TentRows::Load(int32_t row) {
    const uint32_t* src = m_rowAt(row);
    if (!src) return false;
    uint8_t* b = &m_ring[size_t(row % m_ringRows) * 3 * size_t(m_w)];
    uint8_t* g = b + m_w;
    uint8_t* r = g + m_w;
    if (m_map) {
        // Mapped by the table kernel into the output row, free until Next() fills it.
        ChannelTableRun(src, m_map, m_map, m_map, m_out.data(), m_w);
        src = m_out.data();
    }
    for (int32_t x = 0; x < m_w; ++x) {
        const uint32_t p = src[x];
        b[x] = uint8_t(p), g[x] = uint8_t(p >> 8), r[x] = uint8_t(p >> 16);
    }
    return true;
}

template <class Acc>
void TentRows::StartAt(Sums<Acc>& st, int32_t y) {
    const size_t n = 3 * size_t(m_w);
    const int32_t L = m_L;
    for (int32_t k = std::max(0, y - L); k < std::min(m_h, y + L); ++k) {
        const uint8_t* row = &m_ring[size_t(k % m_ringRows) * n];
        const Acc weight = Acc(L - std::abs(k - y));
        for (size_t i = 0; i < n; ++i) {
            if (k >= y)
                st.d[i] += row[i];
            else
                st.d[i] -= row[i];
            if (weight > 0) st.s[i] += weight * row[i];
        }
    }
    // The weight as the slide would have kept it.
    m_weight = int64_t(L) * (L + 1) / 2;
    for (int32_t k = 1; k <= y; ++k) {
        if (k < L) m_weight += L - k;
        if (k > m_h - L) m_weight += m_h - k - L;
    }
}

template <class Acc>
void TentRows::Step(Sums<Acc>& st, int32_t y) {
    const size_t n = 3 * size_t(m_w);
    auto slot = [&](int32_t row) { return &m_ring[size_t(row % m_ringRows) * n]; };
    const int32_t L = m_L;
    if (y == 0) {
        for (int32_t k = 0; k < L; ++k) {
            const uint8_t* row = slot(k);
            const Acc weight = Acc(L - k);
            for (size_t i = 0; i < n; ++i) {
                st.s[i] += weight * row[i];
                st.d[i] += row[i];
            }
        }
        m_weight = int64_t(L) * (L + 1) / 2;
        return;
    }
    const int32_t entering = y + L - 1, leaving = y - L - 1;
    const uint8_t* moving = slot(y - 1);
    const uint8_t* in = entering < m_h ? slot(entering) : nullptr;
    const uint8_t* gone = leaving >= 0 ? slot(leaving) : nullptr;
    // Row y - 1 passes from the right half to the left, `in` enters the right and `gone`
    // leaves the left.
    Acc* s = st.s.data();
    Acc* d = st.d.data();
    if (in && gone) {
        for (size_t i = 0; i < n; ++i) {
            d[i] += Acc(in[i]) - 2 * Acc(moving[i]) + gone[i];
            s[i] += d[i];
        }
    } else {
        for (size_t i = 0; i < n; ++i) {
            d[i] += Acc(in ? in[i] : 0) - 2 * Acc(moving[i]) + (gone ? gone[i] : 0);
            s[i] += d[i];
        }
    }
    if (y < L) m_weight += L - y;
    if (y > m_h - L) m_weight += m_h - y - L;
}

const uint32_t* TentRows::Next() {
    const int32_t y = m_y;
    if (y >= m_h || m_w == 0) return nullptr;
    const bool starting = y == m_first && y > 0;
    if (y == 0) {
        for (int32_t k = 0; k < m_L; ++k)
            if (!Load(k)) return nullptr;
    } else if (starting) {
        for (int32_t k = std::max(0, y - m_L); k < std::min(m_h, y + m_L); ++k)
            if (!Load(k)) return nullptr;
    } else if (y + m_L - 1 < m_h && !Load(y + m_L - 1)) {
        return nullptr;
    }
    if (starting && m_small)
        StartAt(*m_small, y);
    else if (starting)
        StartAt(*m_large, y);
    else if (m_small)
        Step(*m_small, y);
    else
        Step(*m_large, y);
    const size_t w = size_t(m_w);
    std::fill(m_out.begin(), m_out.end(), 100u << 24);
    const CpuLevel level = m_level;
    for (int c = 0; c < 3; ++c) {
        if (m_small) {
            // Sums of bytes under weights of at most L^2 for L <= 2048: every sum plus its weight
            // stays below 2^31, in the range of the exact quotients by a reciprocal.
            const int32_t L = m_L, n = m_w;
            int32_t* column = m_column.data() + L;
            FloorQuotients(level, m_small->s.data() + size_t(c) * w, int32_t(m_weight), column, w);
            if (level >= CpuLevel::V4)
                TentSumsV4(m_column.data(), n, L, m_line.data());
            else
                TentFilterLine<int32_t>(column, 1, m_line.data(), 1, n, L, WeightedSum{});
            // The weight is L^2 from L - 1 to n - L, and less towards the ends.
            const int32_t inner = std::min(L - 1, n), outer = std::max(n - L + 1, inner);
            FloorQuotients(level, m_line.data() + inner, L * L, m_line.data() + inner,
                           size_t(outer - inner));
            for (int32_t x = 0; x < inner; ++x)
                m_line[size_t(x)] = int32_t(m_line[size_t(x)] / LineWeight(L, n, x));
            for (int32_t x = outer; x < n; ++x)
                m_line[size_t(x)] = int32_t(m_line[size_t(x)] / LineWeight(L, n, x));
        } else {
            const int64_t* s = m_large->s.data() + size_t(c) * w;
            int32_t* column = m_column.data() + m_L;
            for (size_t x = 0; x < w; ++x) column[x] = int32_t(s[x] / m_weight);
            TentFilterLine<int32_t>(column, 1, m_line.data(), 1, m_w, m_L);
        }
        for (size_t x = 0; x < w; ++x) m_out[x] |= uint32_t(m_line[x]) << (8 * c);
    }
    ++m_y;
    return m_out.data();
}

int32_t ColourTentRadius(int32_t radius, int32_t width, int32_t height) {
    return std::clamp(std::min({radius, width, height}), 0, 256);
}

PixelBuffer ColourTentBlur(const PixelBuffer& src, int32_t radius, CpuLevel level) {
    const int32_t w = src.width, h = src.height;
    PixelBuffer out{w, h, std::vector<uint32_t>(src.px.size())};
    TentRows rows(
        w, h, ColourTentRadius(radius, w, h),
        [&src](int32_t y) { return &src.px[size_t(y) * size_t(src.width)]; }, nullptr, 0, level);
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* line = rows.Next();
        if (!line) break;
        std::memcpy(&out.px[size_t(y) * size_t(w)], line, 4 * size_t(w));
    }
    return out;
}

}  // namespace zelvo
