#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/RowBands.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace zelvo {

TEST(RowBands, CoverEveryRowOnceInContiguousBands) {
    struct Case {
        int32_t threads, rows, minRows, bands;
    };
    for (const Case c :
         {Case{1, 100, 1, 1}, Case{2, 100, 1, 2}, Case{8, 100, 1, 8}, Case{8, 5, 1, 5},
          Case{8, 100, 30, 3}, Case{3, 7, 8, 1}, Case{8, 0, 1, 0}}) {
        const ScopedPassThreads threads(c.threads);
        EXPECT_EQ(RowBandCount(c.rows, c.minRows), c.bands) << c.threads << " " << c.rows;
        std::mutex lock;
        std::vector<std::pair<int32_t, int32_t>> seen;
        std::atomic<int32_t> callers{0};
        ForEachRowBand(c.rows, c.minRows, [&](int32_t first, int32_t end, bool caller) {
            if (caller) ++callers;
            const std::lock_guard<std::mutex> hold(lock);
            seen.emplace_back(first, end);
        });
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(int32_t(seen.size()), c.bands);
        int32_t next = 0;
        for (const auto& [first, end] : seen) {
            EXPECT_EQ(first, next);
            EXPECT_LT(first, end);
            EXPECT_GE(end - first, std::min(c.minRows, c.rows));
            next = end;
        }
        EXPECT_EQ(next, c.rows);
        EXPECT_EQ(callers.load() >= 1, c.bands > 0);
    }
}

TEST(RowBands, ABandsExceptionReachesTheCallerAfterEveryBandEnded) {
    const ScopedPassThreads threads(4);
    std::atomic<int32_t> ended{0};
    EXPECT_THROW(ForEachRowBand(40, 1,
                                [&](int32_t first, int32_t, bool) {
                                    ++ended;
                                    if (first == 10) throw std::runtime_error("band");
                                }),
                 std::runtime_error);
    EXPECT_EQ(ended.load(), 4);
}

TEST(RowBands, ThreadCountsFromSettingsAreWholeNumbersInRange) {
    const int32_t cores = MachineCores();
    struct Case {
        const char* text;
        int32_t expected;
    };
    for (const Case c : {Case{"1", 1}, Case{"256", 256}, Case{"257", 0}, Case{"0", 0},
                         Case{"-2", 0}, Case{"2x", 0}, Case{"", 0}, Case{" 2", 0}, Case{nullptr, 0},
                         Case{"99999999999999999999", 0}})
        EXPECT_EQ(ParseThreadCount(c.text), c.expected) << (c.text ? c.text : "null");
    const ScopedPassThreads none(0);
    EXPECT_EQ(PassThreads(), cores);
}

#ifdef _OPENMP
// What the OpenMP runtime read from the environment when it was loaded (it prints it on stderr).
std::string RuntimeSettings() {
    std::fflush(stderr);
    FILE* text = std::tmpfile();
    if (!text) return {};
    const int saved = dup(2);
    dup2(fileno(text), 2);
    omp_display_env(1);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(text);
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, text)) > 0;) out.append(buf, n);
    std::fclose(text);
    return out;
}

// This program's arguments, as it was started.
std::vector<std::string> CommandLine() {
    std::vector<std::string> args;
    FILE* f = std::fopen("/proc/self/cmdline", "rb");
    if (!f) return args;
    std::string arg;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c != 0) {
            arg += char(c);
        } else {
            args.push_back(arg);
            arg.clear();
        }
    }
    std::fclose(f);
    return args;
}

// CTest runs this with no policy in the environment (and ZELVO_TEST_NO_POLICY set), and with
// OMP_WAIT_POLICY=active and OMP_MAX_ACTIVE_LEVELS=3.
TEST(RowBands, DISABLED_ProgramsStartAgainSoIdleThreadsWaitPassively) {
    const bool userChose = !std::getenv("ZELVO_TEST_NO_POLICY");
    if (!std::getenv("OMP_WAIT_POLICY")) {
        std::vector<std::string> args = CommandLine();
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        WaitPassivelyBetweenPasses(argv.data());
        FAIL() << "the program did not start again";
    }
    std::string policy = std::getenv("OMP_WAIT_POLICY");
    for (char& c : policy) c = char(std::toupper(static_cast<unsigned char>(c)));
    // The runtime shows an unset policy as passive too; only the spin count tells them apart.
    const std::string expected =
        userChose ? "OMP_WAIT_POLICY = '" + policy + "'" : "GOMP_SPINCOUNT = '0'";
    const std::string shown = RuntimeSettings();
    EXPECT_NE(shown.find(expected), std::string::npos) << shown;
    if (const char* levels = std::getenv("OMP_MAX_ACTIVE_LEVELS")) {
        EXPECT_EQ(omp_get_max_active_levels(), std::atoi(levels));
    }
}
#endif

}  // namespace zelvo
