#include "store/CrashPoint.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zelvo {

namespace {

struct Target {
    std::string name;
    long count = 0;  // 0: no target
};

const Target& TargetFromEnvironment() {
    static const Target target = [] {
        Target t;
        const char* v = std::getenv("ZELVO_CRASH_POINT");
        const char* colon = v ? std::strrchr(v, ':') : nullptr;
        if (!colon) return t;
        t.name.assign(v, size_t(colon - v));
        t.count = std::strtol(colon + 1, nullptr, 10);
        return t;
    }();
    return target;
}

std::atomic<long> g_passes{0};

}  // namespace

void CrashPoint(const char* name) {
    const Target& t = TargetFromEnvironment();
    if (t.count <= 0 || t.name != name) return;
    if (g_passes.fetch_add(1, std::memory_order_relaxed) + 1 == t.count) kill(getpid(), SIGKILL);
}

}  // namespace zelvo
