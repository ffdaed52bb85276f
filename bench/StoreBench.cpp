// Scratch store speed: allocation/free churn over 10 000 mixed-size blocks, and a 20-megapixel
// 32-bit block (5000 x 4000, 80 MB) read and written row by row through RowCursor beside a
// plain memcpy of the same 80 MB in RAM.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"
#include "store/RowWriter.h"

namespace zelvo {
namespace {

constexpr uint32_t kWidth = 5000;
constexpr uint32_t kHeight = 4000;
constexpr uint32_t kRowBytes = kWidth * 4;
constexpr uint64_t kImageBytes = uint64_t(kRowBytes) * kHeight;

// One scratch store in a fresh folder under /var/tmp for the whole run.
struct Scratch {
    std::string folder;
    FakeDiskService disks;
    std::unique_ptr<FileDynamicStore> store;
    BlockHandle image = 0;

    Scratch() {
        std::string base = "/var/tmp/zelvo-store-bench-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        folder = base + "/";
        disks.otherAvailable = 64ull << 30;
        store = std::make_unique<FileDynamicStore>(disks);
        if (!store->Open(folder)) std::abort();
    }
    ~Scratch() {
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    BlockHandle Image() {
        if (!image) {
            image = store->Allocate(kImageBytes);
            if (!image) std::abort();
            store->Fill(image, 0x5A, false);
        }
        return image;
    }
};

Scratch& Env() {
    static Scratch s;
    return s;
}

// Mostly small blocks (masks, tiles) with some layer-sized ones.
uint64_t MixedSize(std::mt19937& rng) {
    uint32_t r = rng() % 100;
    if (r < 60) return 16 + rng() % 4096;
    if (r < 95) return 4096 + rng() % 65536;
    return 65536 + rng() % (1 << 20);
}

void BM_AllocateFreeChurn(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    if (Env().image) {
        store.Free(Env().image);
        Env().image = 0;
    }
    store.Reset();
    std::mt19937 rng(12345);
    std::vector<BlockHandle> live;
    live.reserve(10000);
    for (auto _ : state) {
        // 10 000 blocks; half freed in random order and allocated again (best fit from the
        // holes); then everything freed and the file cut back.
        for (int i = 0; i < 10000; ++i) live.push_back(store.Allocate(MixedSize(rng)));
        std::shuffle(live.begin(), live.end(), rng);
        for (int i = 0; i < 5000; ++i) store.Free(live[i]);
        for (int i = 0; i < 5000; ++i) live[i] = store.Allocate(MixedSize(rng));
        std::shuffle(live.begin(), live.end(), rng);
        for (BlockHandle h : live) store.Free(h);
        live.clear();
        store.Shrink();
    }
    state.SetItemsProcessed(state.iterations() * 30000);  // allocations + frees
}
BENCHMARK(BM_AllocateFreeChurn)->Unit(benchmark::kMillisecond);

void BM_RowCursorRead(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    BlockHandle h = Env().Image();
    std::vector<uint8_t> row(kRowBytes);
    uint64_t window = uint64_t(state.range(0)) << 20;
    for (auto _ : state) {
        RowCursor rows(store, h, 0, kRowBytes, kHeight, window);
        for (uint32_t r = 0; r < kHeight; ++r) {
            std::memcpy(row.data(), rows.Row(r), kRowBytes);
            benchmark::DoNotOptimize(row.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_RowCursorRead)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// The read-only reader: the same pass with windows copied by pread instead of mapped.
void BM_RowReaderRead(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    BlockHandle h = Env().Image();
    std::vector<uint8_t> row(kRowBytes);
    for (auto _ : state) {
        RowReader rows(store, h, 0, kRowBytes, kHeight);
        for (uint32_t r = 0; r < kHeight; ++r) {
            std::memcpy(row.data(), rows.Row(r), kRowBytes);
            benchmark::DoNotOptimize(row.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_RowReaderRead)->Unit(benchmark::kMillisecond);

void BM_RowCursorReadDownward(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    BlockHandle h = Env().Image();
    std::vector<uint8_t> row(kRowBytes);
    for (auto _ : state) {
        RowCursor rows(store, h, 0, kRowBytes, kHeight);
        for (uint32_t r = kHeight; r-- > 0;) {
            std::memcpy(row.data(), rows.Row(r), kRowBytes);
            benchmark::DoNotOptimize(row.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_RowCursorReadDownward)->Unit(benchmark::kMillisecond);

void BM_RowCursorWrite(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    BlockHandle h = Env().Image();
    std::vector<uint8_t> row(kRowBytes, 0x33);
    for (auto _ : state) {
        RowCursor rows(store, h, 0, kRowBytes, kHeight);
        for (uint32_t r = 0; r < kHeight; ++r) {
            std::memcpy(rows.Row(r), row.data(), kRowBytes);
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_RowCursorWrite)->Unit(benchmark::kMillisecond);

// What the kernel charges for mapping the same bytes without a cursor: 4 MiB views mapped,
// read and unmapped in turn. The cursor cannot beat this; it should not add to it.
void BM_PlainViewsRead(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    FileDynamicStore::Span p = store.Payload(Env().Image());
    std::vector<uint8_t> row(kRowBytes);
    const uint64_t window = 4 << 20;
    for (auto _ : state) {
        for (uint64_t at = 0; at < p.length; at += window) {
            MappedView v(store, p.offset + at, std::min<uint64_t>(window, p.length - at));
            for (uint64_t i = 0; i < v.Length(); i += kRowBytes) {
                std::memcpy(row.data(), v.Data() + i,
                            std::min<uint64_t>(kRowBytes, v.Length() - i));
                benchmark::DoNotOptimize(row.data());
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_PlainViewsRead)->Unit(benchmark::kMillisecond);

// The same bytes copied out of the page cache by pread, without any mapping.
void BM_PreadRead(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    FileDynamicStore::Span p = store.Payload(Env().Image());
    std::vector<uint8_t> buffer(4 << 20);
    for (auto _ : state) {
        for (uint64_t at = 0; at < p.length; at += buffer.size()) {
            size_t n = size_t(std::min<uint64_t>(buffer.size(), p.length - at));
            if (pread(store.FileHandle(), buffer.data(), n, off_t(p.offset + at)) != ssize_t(n))
                std::abort();
            benchmark::DoNotOptimize(buffer.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_PreadRead)->Unit(benchmark::kMillisecond);

// A new 20-megapixel layer written whole through RowWriter, as an edit writes its result.
// arg 0: every block is kept (each write lands on space the file has just grown by); 1: the
// block is freed after the write, so the next one reuses its space, still in the page cache;
// 2: as 1, but the freed space is first punched out of the file, as a store that gave freed
// blocks back to the disk would do. Measured (CPU, loaded 2-core virtual machine): grown space
// 15 to 67 ms, reused 7.5 to 9.3 ms, punched and reused 11.7 to 14 ms: freed blocks are kept.
void BM_NewLayerWrite(benchmark::State& state) {
    FileDynamicStore& store = *Env().store;
    std::vector<uint8_t> row(kRowBytes, 0x44);
    std::vector<BlockHandle> kept;
    for (auto _ : state) {
        const BlockHandle h = store.Allocate(kImageBytes);
        if (!h) {
            state.SkipWithError("no block");
            break;
        }
        {
            RowWriter rows(store, h, 0, kRowBytes, kHeight);
            for (uint32_t r = 0; r < kHeight; ++r) std::memcpy(rows.Row(r), row.data(), kRowBytes);
            if (!rows.Flush()) state.SkipWithError("write failed");
        }
        state.PauseTiming();
        if (state.range(0) == 0) {
            kept.push_back(h);
        } else {
            if (state.range(0) == 2) {
                const FileDynamicStore::Span p = store.Payload(h);
                fallocate(store.FileHandle(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                          off_t(p.offset), off_t(p.length));
            }
            store.Free(h);
        }
        state.ResumeTiming();
    }
    for (BlockHandle h : kept) store.Free(h);
    store.Shrink();
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_NewLayerWrite)->Arg(0)->Arg(1)->Arg(2)->Iterations(8)->Unit(benchmark::kMillisecond);

// A new layer's block zero-filled on space a freed block leaves (what every new layer of a
// session that has freed one pays before its pass writes it). Measured (CPU, loaded 2-core
// virtual machine, ext4): through 2 MB mapped windows 316 to 363 ms, by pwrite 8.2 to 9.5 ms.
// arg 1: every row is then written, as a creator that fills the block does. Zeroing by
// fallocate(FALLOC_FL_ZERO_RANGE) instead took 0.6 ms CPU for arg 0, but arg 1 then took 47 to
// 55 ms wall against 33 to 41 by pwrite: ext4 first writes the freed block's dirty pages to
// the disk and waits, and the write that follows finds no pages in the cache.
void BM_ZeroReusedBlock(benchmark::State& state) {
    std::vector<uint8_t> row(kRowBytes, 0x44);
    FileDynamicStore& store = *Env().store;
    const BlockHandle first = store.Allocate(kImageBytes);
    if (!first) {
        state.SkipWithError("no block");
        return;
    }
    store.Fill(first, 0x33, false);
    store.Free(first);
    for (auto _ : state) {
        state.PauseTiming();
        const BlockHandle h = store.Allocate(kImageBytes);
        state.ResumeTiming();
        if (!h) {
            state.SkipWithError("no block");
            break;
        }
        store.Fill(h, 0, false);
        if (state.range(0) == 1) {
            RowWriter rows(store, h, 0, kRowBytes, kHeight);
            for (uint32_t r = 0; r < kHeight; ++r) std::memcpy(rows.Row(r), row.data(), kRowBytes);
            if (!rows.Flush()) state.SkipWithError("write failed");
        }
        state.PauseTiming();
        store.Free(h);
        state.ResumeTiming();
    }
    store.Shrink();
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_ZeroReusedBlock)->Arg(0)->Arg(1)->Iterations(8)->Unit(benchmark::kMillisecond);

// The floor: the same 80 MB copied between two buffers already in RAM.
void BM_MemcpyInRam(benchmark::State& state) {
    std::vector<uint8_t> from(kImageBytes, 0x5A), to(kImageBytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kImageBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageBytes));
}
BENCHMARK(BM_MemcpyInRam)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelvo

BENCHMARK_MAIN();
