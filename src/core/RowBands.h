// The one place pixel passes go parallel: rows [0, rows) cut into contiguous bands, one per
// thread, on OpenMP's pool. A band's result must depend on its rows only, so that the output is
// the same for any thread count. Store access, progress and messages stay with the caller:
// bands report through atomics, and exceptions never leave a worker.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/Types.h"

namespace zelvo {

// The machine's cores (at least 1).
int32_t MachineCores();
// Threads a pass uses: the limit when one is set (> 0), else every core. A limit above the
// cores is honoured (the bands then share the cores), so that any split can be tried.
int32_t PassThreads();
constexpr int32_t kMostPassThreads = 256;
void SetPassThreadLimit(int32_t threads);
int32_t PassThreadLimit();
// Reads a thread count as the settings and `--threads` give it: 1..kMostPassThreads; 0 on
// anything else (no number, trailing text, out of range).
int32_t ParseThreadCount(const char* text);

// libgomp's idle threads spin for milliseconds after every parallel region unless told, in the
// environment the program starts with, to wait passively. Programs call this first thing with
// their arguments: when the environment names no policy, it sets the passive one and runs the
// same program again in place. A policy the user set is kept; if the restart fails, the program
// goes on as it is. (zelvo-batch and the desktop program's launcher set the policy before
// libgomp is loaded or reads it, so for them this is the fallback.)
void WaitPassivelyBetweenPasses(char** argv);

// Sets the limit for its lifetime (tests and benchmarks).
class ScopedPassThreads {
public:
    explicit ScopedPassThreads(int32_t threads) : m_old(PassThreadLimit()) {
        SetPassThreadLimit(threads);
    }
    ~ScopedPassThreads() { SetPassThreadLimit(m_old); }
    ScopedPassThreads(const ScopedPassThreads&) = delete;
    ScopedPassThreads& operator=(const ScopedPassThreads&) = delete;

private:
    int32_t m_old;
};

// body(first, end, caller) for contiguous bands covering [0, rows) in order, each of at least
// `minRows` rows (the last may be shorter when rows < minRows), at most PassThreads() of them
// at once. `caller` is true for the band run on the calling thread: only it may step progress
// or touch anything that belongs to that thread. The first exception a band throws is
// rethrown here after every band has ended.
constexpr int32_t kLeastBandRows = 16;  // a band pays for its own windows and look-around rows
using BandBody = std::function<void(int32_t first, int32_t end, bool caller)>;
void ForEachRowBand(int32_t rows, int32_t minRows, const BandBody& body);

// Pipelines of two stages: `caller` on the calling thread and `side` beside it on a second core
// when passes may use more than one thread, else one after the other, `caller` first. Store
// access stays with `caller`; `side` works on buffers of its own.
void RunBeside(const std::function<void()>& caller, const std::function<void()>& side);

// ForEachRowBand for passes that look for a rectangle: body(first, end, found) widens its band's
// own `found` (empty at first) and returns false to fail. The union of the bands' rectangles
// (empty when none found anything); nullopt when a band failed.
using UniteBody = std::function<bool(int32_t first, int32_t end, Rect& found)>;
std::optional<Rect> UniteOverBands(int32_t rows, int32_t minRows, const UniteBody& body);

// The share of a pass's `bytes` of windows each of `bands` bands gets, so that the pass's
// memory stays that of one band (never below 256 KiB, where calls start to cost more than
// copying).
uint64_t BandWindowBytes(uint64_t bytes, int32_t bands);

// The window of a pass that reads and writes rows by pread and pwrite. Small windows stay in the
// core's cache between the read, the work and the write, and the allocator keeps their buffers
// from pass to pass: larger ones come fresh from the kernel each time, every page faulted in.
inline constexpr uint64_t kPassWindowBytes = 256u << 10;
// Each band's share of kPassWindowBytes when `bands` bands run at once.
inline uint64_t BandWindowBytes(int32_t bands) {
    return BandWindowBytes(kPassWindowBytes, bands);
}

// How many bands ForEachRowBand would cut `rows` into now.
int32_t RowBandCount(int32_t rows, int32_t minRows);

}  // namespace zelvo
