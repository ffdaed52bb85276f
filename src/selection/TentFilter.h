// The tent filter: the program's separable, linearly weighted smoothing of integer samples,
// shared by feathering, brush tips and filters. Over a line of n samples with radius L,
//   out[x] = floor(S / W),  S = sum (L - |k|) * in[x + k],  W = sum (L - |k|),
// both sums over the offsets |k| <= L - 1 that stay inside the line. It runs on running sums,
// O(n) per line whatever L; L = 1 is the identity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace zelvo {

// floor(S / W) of the non-negative sums.
struct IntegerQuotient {
    int64_t operator()(int64_t s, int64_t w) const { return s / w; }
};

// One line. `in` and `out` must not overlap; the steps are in elements, so a column of an
// image can be filtered in place of a row. L is clamped to 1..n. `quotient(S, W)` gives what
// is written: it may stand in a cheaper division where the caller knows it gives floor(S / W)
// for its sums, or keep S for the caller to divide afterwards (L = 1 writes the samples).
template <class T, class Quotient = IntegerQuotient>
void TentFilterLine(const T* in, ptrdiff_t inStep, T* out, ptrdiff_t outStep, int32_t n,
                    int32_t radius, Quotient quotient = {}) {
    if (n <= 0) return;
    const int64_t L = radius < 1 ? 1 : (radius > n ? n : radius);
    if (L == 1) {
        for (int32_t x = 0; x < n; ++x) out[x * outStep] = in[x * inStep];
        return;
    }
    auto at = [&](int64_t i) -> int64_t { return (i >= 0 && i < n) ? int64_t(in[i * inStep]) : 0; };
    // Right half: samples x .. x+L-1; left half: x-L .. x-1.
    int64_t s = 0, right = 0, left = 0;
    for (int64_t k = 0; k < L; ++k) {
        s += (L - k) * at(k);
        right += at(k);
    }
    int64_t w = L * (L + 1) / 2;
    out[0] = T(quotient(s, w));
    auto edge = [&](int64_t x) {
        const int64_t moving = at(x - 1);
        right += at(x + L - 1) - moving;
        left += moving - at(x - L - 1);
        s += right - left;
        if (x < L) w += L - x;
        if (x > n - L) w += n - x - L;
        out[x * outStep] = T(quotient(s, w));
    };
    int64_t x = 1;
    for (; x < n && x <= L; ++x) edge(x);
    // From L + 1 to n - L every sample is inside the line and the weight stays L^2: the same
    // steps without the checks.
    for (; x <= n - L; ++x) {
        const int64_t moving = int64_t(in[(x - 1) * inStep]);
        right += int64_t(in[(x + L - 1) * inStep]) - moving;
        left += moving - int64_t(in[(x - L - 1) * inStep]);
        s += right - left;
        out[x * outStep] = T(quotient(s, w));
    }
    for (; x < n; ++x) edge(x);
}

// The same filter down the columns of a `width` x `height` byte image whose rows are read by
// `inRow(y)` and written by `outRow(y)`, each asked for rows in increasing order only. Every
// input row is copied into a ring of 2L + 1 rows before any output row it feeds is written,
// so the two may be the same rows (filtering in place). Returns false when a row callback
// returns null.
bool TentFilterColumns(int32_t width, int32_t height, int32_t radius,
                       const std::function<const uint8_t*(int32_t)>& inRow,
                       const std::function<uint8_t*(int32_t)>& outRow);
// Output rows [first, end) only, reading input rows first - L .. end + L - 2 that lie in the
// picture; the same bytes as the whole filter gives for those rows, so bands of rows can be
// filtered apart (not in place: another band may still read the rows this one writes).
bool TentFilterColumnBand(int32_t width, int32_t height, int32_t radius, int32_t first, int32_t end,
                          const std::function<const uint8_t*(int32_t)>& inRow,
                          const std::function<uint8_t*(int32_t)>& outRow);

}  // namespace zelvo
