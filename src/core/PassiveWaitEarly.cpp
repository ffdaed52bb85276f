// A shared library of its own, linked into zelvo-batch after libgomp: the loader runs its
// constructor after the C library's and before libgomp's, which reads the wait policy from the
// environment once. The program then need not start itself again to set the policy
// (WaitPassivelyBetweenPasses). In the desktop program Qt brings libgomp in first, so that one
// has a launcher instead.
#include <dlfcn.h>

#include <cstdlib>

namespace {

__attribute__((constructor)) void WaitPassivelyFromTheStart() {
    if (std::getenv("OMP_WAIT_POLICY")) return;  // the user's choice stands
    using MaxThreads = int (*)();
    const auto maxThreads =
        reinterpret_cast<MaxThreads>(dlsym(RTLD_DEFAULT, "omp_get_max_threads"));
    // Until libgomp has read its settings its team size is 1. Once it has, a policy set now would
    // not count, and the program must start again as before: so the environment is left alone.
    if (!maxThreads || maxThreads() != 1) return;
    setenv("OMP_WAIT_POLICY", "PASSIVE", 0);
}

}  // namespace
