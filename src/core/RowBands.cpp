#include "core/RowBands.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>

#include <unistd.h>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace zelvo {

namespace {
std::atomic<int32_t> g_limit{0};
}  // namespace

int32_t MachineCores() {
#ifdef _OPENMP
    // Honours the process's CPU affinity, as the pool does.
    return std::max(1, omp_get_num_procs());
#else
    return int32_t(std::max(1u, std::thread::hardware_concurrency()));
#endif
}

int32_t PassThreads() {
#ifdef _OPENMP
    const int32_t limit = g_limit.load(std::memory_order_relaxed);
    return limit > 0 ? limit : MachineCores();
#else
    return 1;  // built without OpenMP: every pass runs on the caller
#endif
}

void SetPassThreadLimit(int32_t threads) {
    g_limit.store(std::max(threads, 0), std::memory_order_relaxed);
}

int32_t PassThreadLimit() {
    return g_limit.load(std::memory_order_relaxed);
}

void WaitPassivelyBetweenPasses(char** argv) {
#if defined(_OPENMP) && defined(__linux__)
    // On two cores with anything else running, the spinning thread took the core the caller
    // needed: a Levels pass took 11-12 ms on two threads beside one busy process, against 8 ms
    // waiting passively, and the same 4.6 ms either way on an idle machine.
    if (!argv || !argv[0] || std::getenv("OMP_WAIT_POLICY")) return;
    if (setenv("OMP_WAIT_POLICY", "PASSIVE", 1) != 0) return;
    execv("/proc/self/exe", argv);
#else
    (void)argv;
#endif
}

int32_t ParseThreadCount(const char* text) {
    if (!text || *text < '0' || *text > '9') return 0;
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || n < 1 || n > kMostPassThreads) return 0;
    return int32_t(n);
}

uint64_t BandWindowBytes(uint64_t bytes, int32_t bands) {
    constexpr uint64_t kLeast = 256u << 10;
    return std::max(std::min(kLeast, bytes), bytes / uint64_t(std::max(bands, 1)));
}

int32_t RowBandCount(int32_t rows, int32_t minRows) {
    if (rows <= 0) return 0;
    const int32_t most = std::max<int32_t>(1, rows / std::max<int32_t>(minRows, 1));
    return std::min(PassThreads(), most);
}

void ForEachRowBand(int32_t rows, int32_t minRows, const BandBody& body) {
    const int32_t bands = RowBandCount(rows, minRows);
    if (bands <= 0) return;
    auto bandFirst = [&](int32_t i) { return int32_t(int64_t(rows) * i / bands); };
    if (bands == 1) {
        body(0, rows, true);
        return;
    }
    std::exception_ptr failure;
    std::mutex failureLock;
#ifdef _OPENMP
    // schedule(static, 1) hands band i to thread i of the team; thread 0 is the caller.
#pragma omp parallel for num_threads(bands) schedule(static, 1)
#endif
    for (int32_t i = 0; i < bands; ++i) {
        bool caller = i == 0;
#ifdef _OPENMP
        caller = omp_get_thread_num() == 0;
#endif
        try {
            body(bandFirst(i), bandFirst(i + 1), caller);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

void RunBeside(const std::function<void()>& caller, const std::function<void()>& side) {
    // Two "rows": band 0 goes to the calling thread, band 1 to the next thread of the team.
    ForEachRowBand(2, 1, [&](int32_t first, int32_t end, bool) {
        for (int32_t job = first; job < end; ++job) job == 0 ? caller() : side();
    });
}

std::optional<Rect> UniteOverBands(int32_t rows, int32_t minRows, const UniteBody& body) {
    std::mutex joined;
    Rect united;
    std::atomic<bool> failed{false};
    ForEachRowBand(rows, minRows, [&](int32_t first, int32_t end, bool) {
        Rect found;
        if (!body(first, end, found)) return void(failed = true);
        const std::lock_guard<std::mutex> lock(joined);
        united = united.Union(found);
    });
    if (failed) return std::nullopt;
    return united;
}

}  // namespace zelvo
