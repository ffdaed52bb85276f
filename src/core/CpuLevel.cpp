#include "core/CpuLevel.h"

namespace zelvo {

bool CpuRuns(CpuLevel level) {
#if defined(__x86_64__)
    switch (level) {
        case CpuLevel::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                   __builtin_cpu_supports("bmi2");
        case CpuLevel::V4:
            return __builtin_cpu_supports("x86-64-v4");
        case CpuLevel::Avx512Vbmi:
            return __builtin_cpu_supports("x86-64-v4") && __builtin_cpu_supports("avx512vbmi");
    }
#endif
    (void)level;
    return false;
}

}  // namespace zelvo
