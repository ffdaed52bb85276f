// The layered file format's speed: save and open of a 10-layer 4000 x 3000 document (about
// 480 MB of .zld), beside `cp` of a file of the same size on the same disk in the same run.
// The save includes writing to a temporary file, syncing it and renaming it over the target.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchDocument.h"
#include "core/PercentTables.h"
#include "layerops/MergeLayers.h"
#include "layerops/Zld.h"
#include "layers/LayerManager.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

extern char** environ;

namespace zelvo {
namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr int kLayers = 10;

// One store and one 10-layer document for the whole run, in a fresh folder under /var/tmp.
struct Fixture {
    std::string folder;
    FakeDiskService disks;
    std::unique_ptr<FileDynamicStore> store;
    PercentTables tables;
    ImageGeometry image;
    std::unique_ptr<LayerManager> layers;
    std::string saved;  // a .zld written once, for the open benchmark and cp's source
    uint64_t bytes = 0;

    Fixture() {
        std::string base = "/var/tmp/zelvo-zld-bench-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        folder = base + "/";
        disks.otherAvailable = 64ull << 30;
        store = std::make_unique<FileDynamicStore>(disks);
        if (!store->Open(folder)) std::abort();
        image.width = kWidth;
        image.height = kHeight;
        layers = std::make_unique<LayerManager>(*store, tables, image, 64, 64);
        for (int i = 0; i < kLayers; ++i) {
            LayerPtr l = layers->AppendLayer(kWidth, kHeight, LayerKind::Pixel);
            if (!l) std::abort();
            RowCursor* rows = l->Rows();
            for (int32_t r = 0; r < kHeight; ++r) {
                uint8_t* row = rows->Row(uint32_t(r));
                for (int32_t c = 0; c < kWidth; ++c) {
                    const uint32_t word =
                        (uint32_t((c + r + i) % 101) << 24) | uint32_t(c * 2654435761u >> 8);
                    std::memcpy(row + 4 * size_t(c), &word, 4);
                }
            }
            rows->Flush();
            l->ReleaseRows();
            l->SetPosition(i * 10, -i * 5);
        }
        layers->SelectLayerByIndex(1);
        saved = folder + "saved.zld";
        if (!WriteLayeredDocument(saved, *layers, 2834)) std::abort();
        bytes = std::filesystem::file_size(saved);
    }
    ~Fixture() {
        layers.reset();
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

void BM_SaveZld(benchmark::State& state) {
    Fixture& f = Shared();
    const std::string path = f.folder + "written.zld";
    for (auto _ : state) {
        if (!WriteLayeredDocument(path, *f.layers, 2834)) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
}

void BM_OpenZld(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        ImageGeometry image;
        LayerManager opened(*f.store, f.tables, image, 64, 64);
        int32_t res = 0;
        if (!CheckLayeredDocument(f.saved) || !ReadLayeredDocument(f.saved, opened, res))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(opened.LayerCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
}

// Merge All of a 10-layer stack of 4000 x 3000 with random alpha, each layer a little offset
// (the merged layer is 4090 x 3045), undone between runs outside the timing.
void BM_MergeAll(benchmark::State& state) {
    const bench::BenchThreads threads(state, 0);
    static bench::BenchDocument doc(kWidth, kHeight);
    static bool filled = false;
    if (!filled) {
        bench::FillRandomLayers(*doc.layers, kWidth, kHeight, kLayers);
        for (int i = 0; i < kLayers; ++i) doc.layers->LayerAt(i)->SetPosition(i * 10, -i * 5);
        doc.history->RecordState(nullptr, doc.layers->Layers(), kStateOpenImage, 0, "New Image",
                                 {});
        filled = true;
    }
    for (auto _ : state) {
        if (MergeLayers(*doc.history, MergeMode::All) != 1) state.SkipWithError("merge failed");
        state.PauseTiming();
        doc.history->GoToState(doc.history->StateCount() - 1, 0);
        state.ResumeTiming();
    }
    // Every layer read once, the merged layer written once.
    state.counters["touched_MB"] =
        (double(kLayers) * kWidth * kHeight * 4 + 4090.0 * 3045 * 4) / 1e6;
}

// The system's cp of the saved file: the yardstick for both.
void BM_CpSameSize(benchmark::State& state) {
    Fixture& f = Shared();
    const std::string target = f.folder + "copied.zld";
    for (auto _ : state) {
        pid_t pid = 0;
        std::vector<char*> argv = {const_cast<char*>("cp"), f.saved.data(),
                                   const_cast<char*>(target.c_str()), nullptr};
        if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot run cp");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
}

// cp followed by a sync of the copy: what the save's own guarantee (the file is on the disk
// before it replaces the old one) costs on top of a copy.
void BM_CpSameSizeSynced(benchmark::State& state) {
    Fixture& f = Shared();
    const std::string target = f.folder + "copied-synced.zld";
    for (auto _ : state) {
        pid_t pid = 0;
        std::vector<char*> argv = {const_cast<char*>("cp"), f.saved.data(),
                                   const_cast<char*>(target.c_str()), nullptr};
        if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot run cp");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const int fd = open(target.c_str(), O_RDONLY);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
}

BENCHMARK(BM_MergeAll)->Apply(bench::OneAndAllThreads)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveZld)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_OpenZld)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_CpSameSize)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
BENCHMARK(BM_CpSameSizeSynced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

}  // namespace
}  // namespace zelvo

int main(int argc, char** argv) {
    zelvo::ScopedRecordingMessages quiet;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
