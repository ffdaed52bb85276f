// The brush tip: a square of coverage values 0..O (side S) made from the diameter, hardness and
// opacity of the options bar, with the soft edge blurred by the tent filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelvo {

struct BrushTip {
    int32_t side = 0;
    // side x side values, row 0 at the top of the dab, column 0 at its left.
    std::vector<uint8_t> values;
    uint8_t At(int32_t row, int32_t col) const {
        return values[size_t(row) * size_t(side) + size_t(col)];
    }
};

// D 1..500, H 0..100, O 0..100 (clamped).
BrushTip BuildTip(int diameter, int hardness, int opacity);

// The separable tent blur of radius `radius` over a square of `side` values, in place: rows
// into `work`, then columns back; positions outside the square do not count.
void TentBlurSquare(std::vector<uint8_t>& values, int32_t side, int32_t radius,
                    std::vector<uint8_t>& work);

}  // namespace zelvo
