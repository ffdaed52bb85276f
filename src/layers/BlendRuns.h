// The compositing rule's vectorised steps over a run of pixels, shared by the flatten and the
// layer merge so that both give the same sums.
//
// Each step is built once per instruction set (the same integer arithmetic on every one) and
// the best one the CPU has is used; tests pick each level the CPU has in turn.
#pragma once

#include <cstdint>

#include "core/CpuLevel.h"

namespace zelvo {

// One layer's run of 32-bit pixels (B G R A bytes) over the accumulators: each pixel adds
// I = opacity x alpha x max(cov, 0) / 10000 of its colour (each channel I x value / 100) and
// takes I from cov. opacity is 0..100. Returns whether any pixel still has coverage left.
uint32_t BlendRun(const uint8_t* px, int32_t n, uint16_t opacity, int16_t* cov, uint16_t* b,
                  uint16_t* g, uint16_t* r);

// A merged layer's pixels from the accumulators, as B G R A words: alpha = 100 - max(cov, 0),
// a colour under partial alpha divided back by it (channel x 100 / alpha) and each channel
// capped at 255.
void StraightRun(int32_t n, const int16_t* cov, const uint16_t* b, const uint16_t* g,
                 const uint16_t* r, uint32_t* out);

// A flattened run from the accumulators: each sum plus the white left behind
// (max(cov, 0) x 255 / 100), low 8 bits, as B G R bytes at out + i x step. step is 3 (packed)
// or 4 (the fourth byte of each word is left as it is).
void FinishRun(int32_t n, const int16_t* cov, const uint16_t* b, const uint16_t* g,
               const uint16_t* r, uint8_t* out, int step);

// The runs use `level` (one the CPU has; a kernel for each level) while it lives; set it before
// a pass starts.
class ScopedRunLevel {
public:
    explicit ScopedRunLevel(CpuLevel level);
    ~ScopedRunLevel();
    ScopedRunLevel(const ScopedRunLevel&) = delete;
    ScopedRunLevel& operator=(const ScopedRunLevel&) = delete;

private:
    int m_old;
};

}  // namespace zelvo
