// The colour tent blur: the tent filter on B, G and R, down every column first, then along
// every row. TentRows makes it one row at a time from a source read once in increasing order,
// keeping the running column sums and a ring of 2L + 1 rows, so its memory grows with the
// radius and the width, not with the height.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "adjust/AdjustPass.h"
#include "core/CpuLevel.h"

namespace zelvo {

class TentRows {
public:
    using RowAt = std::function<const uint32_t*(int32_t)>;

    // A `width` x `height` image whose rows come from `rowAt` (each asked once, in increasing
    // order, and only read during the call). L is clamped to 1..min(width, height). `map`
    // (256 entries, or null) replaces every channel value before it is blurred.
    // Next() first gives row `first` (a band of a pass starts there); its sums are then made
    // directly from the rows around it, which gives the same exact integers as sliding there.
    // `level` picks the kernels (the tests run each one the processor has).
    TentRows(int32_t width, int32_t height, int32_t radius, RowAt rowAt,
             const uint8_t* map = nullptr, int32_t first = 0, CpuLevel level = BestCpuLevel());
    ~TentRows();
    TentRows(const TentRows&) = delete;
    TentRows& operator=(const TentRows&) = delete;

    // Row 0, 1, … of the blur in turn, B, G and R with A = 100; null past the last row or when
    // a source row could not be had. Valid until the next call.
    const uint32_t* Next();
    // The rows of the source Next() has asked for ahead of the row it returns (L - 1).
    int32_t Lookahead() const { return m_L - 1; }

private:
    template <class Acc>
    struct Sums;
    bool Load(int32_t row);
    template <class Acc>
    void Step(Sums<Acc>& s, int32_t y);
    template <class Acc>
    void StartAt(Sums<Acc>& s, int32_t y);

    int32_t m_w, m_h, m_L;
    RowAt m_rowAt;
    const uint8_t* m_map;
    int32_t m_ringRows;
    std::vector<uint8_t> m_ring;  // per row slot: the B, G and R planes, `m_w` bytes each
    std::vector<int32_t> m_column, m_line;
    std::vector<uint32_t> m_out;
    std::unique_ptr<Sums<int32_t>> m_small;  // L up to 2048: 255 L^2 fits 32 bits
    std::unique_ptr<Sums<int64_t>> m_large;
    int64_t m_weight = 0;
    int32_t m_first = 0;
    int32_t m_y = 0;
    CpuLevel m_level;
};

// The whole colour tent blur of a buffer with radius min(L, width, height) clamped to 0..256;
// every output pixel has A = 100.
PixelBuffer ColourTentBlur(const PixelBuffer& src, int32_t radius, CpuLevel level = BestCpuLevel());

// q[i] = floor(s[i] / w) for 0 <= s[i], 0 < w and s[i] + w < 2^31, by the best kernel built
// at or below `level`, which the processor must run.
void FloorQuotients(CpuLevel level, const int32_t* s, int32_t w, int32_t* q, size_t n);

// The radius of a colour tent blur as the filters take it: min(L, width, height) within 0..256.
int32_t ColourTentRadius(int32_t radius, int32_t width, int32_t height);

}  // namespace zelvo
