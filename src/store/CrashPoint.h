// Fault injection for the crash-recovery tests: a named point in the code where the process
// kills itself with SIGKILL on the Nth pass when ZELVO_CRASH_POINT is "NAME:N". Without the
// variable a pass costs one relaxed load.
#pragma once

namespace zelvo {

void CrashPoint(const char* name);

}  // namespace zelvo
