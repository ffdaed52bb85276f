#include "platform/ExitCleanup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zelvo {

namespace {

struct LiveFile {
    std::atomic<int> state{0};  // 0 free, 1 being written, 2 live
    pid_t pid = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    char path[PATH_MAX] = {};
    char keep[PATH_MAX] = {};  // empty, or a file whose presence keeps this one on a signal
};
// The scratch file, and a save or two in flight per open document.
constexpr int kMaxLive = 64;
LiveFile g_live[kMaxLive];

void UnlinkLive(const LiveFile& e) {
    struct stat st;
    if (e.pid == getpid() && stat(e.path, &st) == 0 && st.st_dev == e.dev && st.st_ino == e.ino)
        unlink(e.path);
}

void UnlinkUnkeptLive() {
    for (auto& e : g_live)
        if (e.state.load(std::memory_order_acquire) == 2 &&
            (e.keep[0] == '\0' || access(e.keep, F_OK) != 0))
            UnlinkLive(e);
}

void OnTerminatingSignal(int sig) {
    int saved = errno;
    UnlinkUnkeptLive();
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    raise(sig);  // delivered with the default action once this handler returns
    errno = saved;
}

void InstallCleanupHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // An exit() from inside a library (Qt's when the display connection breaks) leaves the
        // documents open as a signal does: their recovery journal keeps the scratch file. An
        // orderly end has removed the journal by then.
        std::atexit(UnlinkUnkeptLive);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (sigaction(sig, nullptr, &old) != 0) continue;
            // An ignored signal stays ignored; someone else's handler is left in charge.
            if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
            struct sigaction sa {};
            sa.sa_handler = OnTerminatingSignal;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            sigaction(sig, &sa, nullptr);
        }
    });
}

}  // namespace

int RegisterRemoveAtExit(const std::string& path, int fd, const std::string& keepIfPresent) {
    InstallCleanupHandlers();
    struct stat st;
    if (path.size() >= PATH_MAX || keepIfPresent.size() >= PATH_MAX || fstat(fd, &st) != 0)
        return -1;
    for (int i = 0; i < kMaxLive; ++i) {
        int expected = 0;
        if (!g_live[i].state.compare_exchange_strong(expected, 1)) continue;
        g_live[i].pid = getpid();
        g_live[i].dev = st.st_dev;
        g_live[i].ino = st.st_ino;
        std::memcpy(g_live[i].path, path.c_str(), path.size() + 1);
        std::memcpy(g_live[i].keep, keepIfPresent.c_str(), keepIfPresent.size() + 1);
        g_live[i].state.store(2, std::memory_order_release);
        return i;
    }
    return -1;
}

void RemoveRegistered(int entry) {
    if (entry < 0 || entry >= kMaxLive) return;
    // Out of the table before the name goes, so a signal in between finds nothing to do.
    LiveFile& e = g_live[entry];
    e.state.store(1, std::memory_order_release);
    UnlinkLive(e);
    e.state.store(0, std::memory_order_release);
}

void UnregisterRemoveAtExit(int entry) {
    if (entry >= 0 && entry < kMaxLive) g_live[entry].state.store(0, std::memory_order_release);
}

}  // namespace zelvo
