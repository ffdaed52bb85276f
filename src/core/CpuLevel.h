// The instruction-set levels the vector kernels are built for, and whether this processor runs
// each. Every pass that keeps a kernel per level asks here, so a level means the same features
// wherever it is chosen. A pass with fewer kernels than levels runs, for a level, the best
// kernel it has at or below it.
#pragma once

namespace zelvo {

// In order: each level runs everything the ones before it do.
enum class CpuLevel {
    Base,        // the x86-64 baseline (SSE2), or plain code
    Avx2,        // AVX2 with BMI1 and BMI2
    V4,          // x86-64-v4: AVX-512 F, BW, CD, DQ, VL on top of AVX2, BMI2 and FMA
    Avx512Vbmi,  // x86-64-v4 with AVX-512 VBMI (byte permutes across a register)
};

bool CpuRuns(CpuLevel level);

// The highest level this processor runs.
CpuLevel BestCpuLevel();

// AVX2's gathers are slower than plain loads on this processor (AMD family 17h, Zen to Zen 2,
// which runs them as microcode): a table lookup is faster without them.
bool SlowGathers();

}  // namespace zelvo
