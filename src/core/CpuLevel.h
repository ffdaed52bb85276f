// The instruction-set levels the vector kernels are built for, and whether this processor runs
// each. Every pass that keeps a kernel per level asks here, so a level means the same features
// wherever it is chosen.
#pragma once

namespace zelvo {

enum class CpuLevel {
    Avx2,        // AVX2 with BMI1 and BMI2
    V4,          // x86-64-v4: AVX-512 F, BW, CD, DQ, VL on top of AVX2, BMI2 and FMA
    Avx512Vbmi,  // x86-64-v4 with AVX-512 VBMI (byte permutes across a register)
};

bool CpuRuns(CpuLevel level);

}  // namespace zelvo
