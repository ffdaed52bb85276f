#include "core/CpuLevel.h"

#if defined(__x86_64__)
#include <cpuid.h>

#include <cstring>
#endif

namespace zelvo {

namespace {

#if defined(__x86_64__)
// x86-64-v4 feature by feature: clang's __builtin_cpu_supports knows no level names, and every
// processor with these five AVX-512 parts has the rest of the level.
bool V4() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma") &&
           __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
}
#endif

}  // namespace

bool CpuRuns(CpuLevel level) {
    switch (level) {
        case CpuLevel::Base:
            return true;
#if defined(__x86_64__)
        case CpuLevel::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                   __builtin_cpu_supports("bmi2");
        case CpuLevel::V4:
            return V4();
        case CpuLevel::Avx512Vbmi:
            return V4() && __builtin_cpu_supports("avx512vbmi");
#else
        default:
            break;
#endif
    }
    return false;
}

CpuLevel BestCpuLevel() {
    static const CpuLevel best = CpuRuns(CpuLevel::Avx512Vbmi) ? CpuLevel::Avx512Vbmi
                                 : CpuRuns(CpuLevel::V4)       ? CpuLevel::V4
                                 : CpuRuns(CpuLevel::Avx2)     ? CpuLevel::Avx2
                                                               : CpuLevel::Base;
    return best;
}

bool SlowGathers() {
#if defined(__x86_64__)
    static const bool slow = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(0, &a, &b, &c, &d)) return false;
        char vendor[13] = {};
        std::memcpy(vendor, &b, 4);
        std::memcpy(vendor + 4, &d, 4);
        std::memcpy(vendor + 8, &c, 4);
        if (std::strcmp(vendor, "AuthenticAMD") != 0 || !__get_cpuid(1, &a, &b, &c, &d))
            return false;
        const unsigned family = ((a >> 8) & 0xF) + ((a >> 20) & 0xFF);
        return family == 0x17;
    }();
    return slow;
#else
    return false;
#endif
}

}  // namespace zelvo
