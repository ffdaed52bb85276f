// Tables of the own baseline JPEG writer, shared with its tests.
#pragma once

#include <array>
#include <cstdint>

#include "core/CpuLevel.h"

namespace zelvo {

// Zig-zag position k -> natural (row-major) index of the coefficient.
extern const std::array<uint8_t, 64> kJpegZigZag;
// The example tables of ITU T.81 Annex K in natural order.
extern const std::array<uint8_t, 64> kJpegLuminanceBase;
extern const std::array<uint8_t, 64> kJpegChrominanceBase;

// An Annex K table scaled by the library quality Q, in natural order.
std::array<uint8_t, 64> ScaledQuantTable(const std::array<uint8_t, 64>& base, int quality);

// The writer's colour conversion and DCT are built once per instruction set (the same float
// operations in the same order on every one; kernels for Base, Avx2 and V4) and the best one
// the CPU has is used; tests pick each level the CPU has in turn. The writer uses `level` (one
// the CPU has) while this lives.
class ScopedJpegLevel {
public:
    explicit ScopedJpegLevel(CpuLevel level);
    ~ScopedJpegLevel();
    ScopedJpegLevel(const ScopedJpegLevel&) = delete;
    ScopedJpegLevel& operator=(const ScopedJpegLevel&) = delete;

private:
    int m_old;
};

}  // namespace zelvo
