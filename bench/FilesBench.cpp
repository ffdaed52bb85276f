// Opening and saving a 20-megapixel photograph-like picture in every format, with libjpeg-turbo's
// own djpeg/cjpeg and a bare libjpeg decode beside the JPEG figures for comparison.
//   build/files-rel/bench/files_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "core/RowBands.h"
#include "files/BaselineJpegWriter.h"
#include "files/Codecs.h"
#include "files/RasterFile.h"
#include "files/SafeFile.h"

extern char** environ;

namespace zelvo {
namespace {

constexpr int kWidth = 5000;
constexpr int kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

// Smooth gradients and soft shapes with a little sensor-like noise.
const RasterImage& Photo(RowOrder order) {
    static RasterImage images[2];
    RasterImage& image = images[order == RowOrder::TopDown];
    if (image.IsEmpty()) {
        image.Allocate(kWidth, kHeight, 24, order);
        std::mt19937 random(1);
        std::normal_distribution<float> noise(0.f, 3.f);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = image.TopRow(y);
            for (int x = 0; x < kWidth; ++x) {
                const float sky = 255.f * y / kHeight;
                const float hill = 60.f * std::sin(x * 0.002f) * std::cos(y * 0.003f);
                const float v[3] = {180.f - sky * 0.4f + hill, 120.f + hill * 0.8f + x * 0.01f,
                                    60.f + sky * 0.5f - hill};
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = uint8_t(std::clamp(v[c] + noise(random), 0.f, 255.f));
            }
        }
    }
    return image;
}

const std::string& Folder() {
    static std::string folder = [] {
        std::string t = "/var/tmp/zelvo-files-bench-XXXXXX";
        if (!mkdtemp(t.data())) std::abort();
        std::atexit([] { std::filesystem::remove_all(Folder()); });
        return t + "/";
    }();
    return folder;
}

struct Format {
    int type;
    const char* file;
    int quality;
    int compression;
};

// The row order RenderFlat hands over for each format.
RowOrder OrderFor(const Format& f) {
    if (f.type == kFileBmp || f.type == kFileGif || (f.type == kFileJpeg && f.quality == 12))
        return RowOrder::BottomUp;
    return RowOrder::TopDown;
}

const Format kFormats[] = {
    {kFileBmp, "photo.bmp", 0, 0},
    {kFileJpeg, "photo.jpg", 8, 0},
    {kFileJpeg, "photo-q12.jpg", 12, 0},
    {kFilePng, "photo.png", 0, 0},
    {kFileTiff, "photo-lzw.tif", 0, kTiffLzw},
    {kFileTiff, "photo-jpeg.tif", 9, kTiffJpeg},
    {kFileTiff, "photo-zip.tif", 0, kTiffDeflate},
    {kFileGif, "photo.gif", 0, 0},
};

void SetRate(benchmark::State& state) {
    state.counters["MP/s"] =
        benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Save(benchmark::State& state, Format f) {
    const RasterImage& image = Photo(OrderFor(f));
    const std::string path = Folder() + f.file;
    for (auto _ : state)
        if (!WriteRasterFile(path, image, f.type, f.quality, f.compression))
            state.SkipWithError("save failed");
    SetRate(state);
    state.counters["MB"] = double(std::filesystem::file_size(path)) / 1e6;
}

double CpuMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// The own JPEG writer alone (quality 12) with each instruction set the CPU has, on `threads`
// threads (0: every core), into a temporary file that is never committed. main_cpu_ms and
// other_cpu_ms are the CPU time of the calling thread and of the others per save: on a machine
// other programs keep busy, the longer of the two shows what a save would take on cores of its
// own (run with OMP_WAIT_POLICY=passive, so that waiting threads sleep instead of spinning).
void BM_SaveQ12Level(benchmark::State& state, CpuLevel level, int threads) {
    if (!CpuRuns(level)) {
        state.SkipWithError("the CPU lacks this instruction set");
        return;
    }
    ScopedJpegLevel scoped(level);
    ScopedPassThreads scopedThreads(threads);
    const RasterImage& image = Photo(RowOrder::BottomUp);
    double main = 0, all = 0;
    for (auto _ : state) {
        SafeFile file(Folder() + "level.jpg");
        if (!file.Open()) state.SkipWithError("save failed");
        const double main0 = CpuMs(CLOCK_THREAD_CPUTIME_ID), all0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        if (!EncodeBaselineJpeg(file, RasterImageRows(image), JpegLibraryQuality(12)))
            state.SkipWithError("save failed");
        main += CpuMs(CLOCK_THREAD_CPUTIME_ID) - main0;
        all += CpuMs(CLOCK_PROCESS_CPUTIME_ID) - all0;
    }
    SetRate(state);
    const double n = double(std::max<int64_t>(state.iterations(), 1));
    state.counters["main_cpu_ms"] = main / n;
    state.counters["other_cpu_ms"] = (all - main) / n;
}

void BM_Open(benchmark::State& state, Format f) {
    const std::string path = Folder() + f.file;
    if (!std::filesystem::exists(path) &&
        !WriteRasterFile(path, Photo(OrderFor(f)), f.type, f.quality, f.compression))
        state.SkipWithError("save failed");
    for (auto _ : state) {
        RasterReadResult r = ReadRasterFile(path);
        if (!r.ok) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(r.image.Data());
    }
    SetRate(state);
}

// Runs a command, returning its wall time in seconds, or a negative value when it failed.
double RunTimed(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_DjpegDecode(benchmark::State& state) {
    const std::string path = Folder() + "photo.jpg";
    if (!std::filesystem::exists(path))
        WriteRasterFile(path, Photo(RowOrder::TopDown), kFileJpeg, 8, 0);
    for (auto _ : state) {
        const double t = RunTimed({"djpeg", "-bmp", "-outfile", "/dev/null", path});
        if (t < 0) {
            state.SkipWithError("djpeg not available (Debian package libjpeg-turbo-progs)");
            break;
        }
        state.SetIterationTime(t);
    }
    SetRate(state);
}

void BM_CjpegEncode(benchmark::State& state) {
    // The same picture as a BMP for cjpeg, at the library quality of level 8.
    const std::string bmp = Folder() + "photo-cjpeg-in.bmp";
    if (!std::filesystem::exists(bmp))
        WriteRasterFile(bmp, Photo(RowOrder::BottomUp), kFileBmp, 0, 0);
    const std::string quality = std::to_string(JpegLibraryQuality(8));
    for (auto _ : state) {
        const double t =
            RunTimed({"cjpeg", "-quality", quality, "-outfile", Folder() + "cjpeg.jpg", bmp});
        if (t < 0) {
            state.SkipWithError("cjpeg not available (Debian package libjpeg-turbo-progs)");
            break;
        }
        state.SetIterationTime(t);
    }
    SetRate(state);
}

// libjpeg alone: the file already in memory, rows decoded into one reused buffer, or (`fresh`)
// into a newly allocated one as a reader must.
void BM_LibjpegBareDecode(benchmark::State& state, bool fresh) {
    const std::string path = Folder() + "photo.jpg";
    if (!std::filesystem::exists(path))
        WriteRasterFile(path, Photo(RowOrder::TopDown), kFileJpeg, 8, 0);
    std::vector<uint8_t> file(std::filesystem::file_size(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f || std::fread(file.data(), 1, file.size(), f) != file.size())
        state.SkipWithError("read failed");
    if (f) std::fclose(f);
    std::vector<uint8_t> pixels(size_t(kWidth) * 3 * kHeight);
    for (auto _ : state) {
        if (fresh) std::vector<uint8_t>(size_t(kWidth) * 3 * kHeight).swap(pixels);
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.data() + size_t(cinfo.output_scanline) * kWidth * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.data());
    }
    SetRate(state);
}

void Register() {
    for (const Format& f : kFormats) {
        benchmark::RegisterBenchmark((std::string("Save/") + f.file).c_str(), BM_Save, f)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
        benchmark::RegisterBenchmark((std::string("Open/") + f.file).c_str(), BM_Open, f)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
    const std::pair<const char*, CpuLevel> levels[] = {
        {"plain", CpuLevel::Base}, {"avx2", CpuLevel::Avx2}, {"avx512", CpuLevel::V4}};
    for (auto [name, level] : levels)
        for (int threads : {1, 0})
            benchmark::RegisterBenchmark(
                (std::string("SaveQ12Writer/") + name + (threads ? "/threads:1" : "/threads:all"))
                    .c_str(),
                BM_SaveQ12Level, level, threads)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(3)
                ->UseRealTime();
    benchmark::RegisterBenchmark("Reference/djpeg photo.jpg", BM_DjpegDecode)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->UseManualTime();
    benchmark::RegisterBenchmark("Reference/libjpeg bare decode photo.jpg", BM_LibjpegBareDecode,
                                 false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("Reference/libjpeg bare decode into a new buffer photo.jpg",
                                 BM_LibjpegBareDecode, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("Reference/cjpeg photo.jpg", BM_CjpegEncode)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->UseManualTime();
}

}  // namespace
}  // namespace zelvo

int main(int argc, char** argv) {
    zelvo::Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
