// Crash recovery: the cost of one journal write for a 10-layer document (it must not grow
// with the pixel count), and the time to recover a 10-layer 5000 x 4000 document from the
// scratch file a killed process left behind.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "BenchDocument.h"
#include "doc/Image.h"
#include "recovery/Recovery.h"
#include "recovery/RecoveryJournal.h"
#include "workspace/Workspace.h"

namespace zelvo::bench {
namespace {

constexpr int kLayers = 10;

std::string MakeFolder() {
    std::string base = "/var/tmp/zelvo-bench-XXXXXX";
    if (!mkdtemp(base.data())) std::abort();
    return base + "/";
}

std::unique_ptr<Image> TenLayerDocument(Workspace& w, int32_t width, int32_t height) {
    auto image = std::make_unique<Image>(w);
    NewImageSize size;
    size.width = width;
    size.height = height;
    size.resolution = 2834;
    if (!image->NewImage(size)) std::abort();
    FillRandomLayers(image->Layers(), width, height, kLayers);
    return image;
}

// Args: width, height.
void BM_JournalWrite(benchmark::State& state) {
    const std::string folder = MakeFolder();
    {
        Workspace w;
        if (!w.Setup(folder)) std::abort();
        RecoveryJournal journal(w);
        auto image = TenLayerDocument(w, int32_t(state.range(0)), int32_t(state.range(1)));
        for (auto _ : state) journal.DocumentChanged(*image);  // a full rewrite each time
        if (!journal.LastWriteOk()) state.SkipWithError("the journal could not be written");
        state.counters["pixels"] = double(state.range(0) * state.range(1));
        image.reset();
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_JournalWrite)
    ->Args({1000, 1000})
    ->Args({5000, 4000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A child process builds the document and dies by SIGKILL; the timed part finds its journal,
// checks it and copies the ten layers into this run's store.
void BM_Recover(benchmark::State& state) {
    const std::string folder = MakeFolder();
    {
        Workspace w;
        if (!w.Setup(folder)) std::abort();
        for (auto _ : state) {
            state.PauseTiming();
            pid_t pid = fork();
            if (pid == 0) {
                Workspace child;
                if (!child.Setup(folder)) _exit(3);
                RecoveryJournal journal(child);
                static std::unique_ptr<Image> image = TenLayerDocument(child, 5000, 4000);
                journal.DocumentChanged(*image);
                kill(getpid(), SIGKILL);
            }
            int status = 0;
            waitpid(pid, &status, 0);
            std::vector<std::unique_ptr<Image>> docs;
            state.ResumeTiming();
            RecoveryResult r = RecoverAll(w, FindRecoveryOffers(w),
                                          [&](std::unique_ptr<Image> i, const JournalDocument&) {
                                              docs.push_back(std::move(i));
                                          });
            state.PauseTiming();
            if (r.recovered != 1) state.SkipWithError("nothing was recovered");
            docs.clear();
            w.ResetStore();
            state.ResumeTiming();
        }
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Recover)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zelvo::bench

BENCHMARK_MAIN();
