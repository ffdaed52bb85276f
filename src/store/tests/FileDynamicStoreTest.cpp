// The scratch store's file layout and blocks: guards, the free list, best fit, shrinking,
// checks, zeroed blocks, mapping windows and the space it needs.
#include "store/FileDynamicStore.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "store/RowCursor.h"
#include "store/ZeroedBlock.h"
#include "store/tests/StoreTestSupport.h"

namespace zelvo {
namespace {

using namespace storetest;

TEST_F(StoreTest, OpenWritesTheEmptyLayout) {
    auto s = OpenStore();
    EXPECT_EQ(s->FileName(), dir.Path() + "Photo Temp001.temp");
    EXPECT_EQ(SizeOf(s->FileName()), 3145768);
    Store::Header h = s->GetHeader();
    EXPECT_EQ(h.fileSize, 3145768u);
    EXPECT_EQ(h.largestFree, 0u);
    EXPECT_EQ(h.nextSlot, 48u);
    EXPECT_EQ(h.indexSize, 0x300000u);
    EXPECT_EQ(h.usedHead | h.usedTail | h.usedCount | h.freeHead | h.freeTail | h.freeCount, 0u);
    EXPECT_TRUE(Equals(ReadAt(s->FileName(), 40, 8), kStart));
    EXPECT_TRUE(Equals(ReadAt(s->FileName(), 0x300020, 8), kEnd));
    auto words = ReadAt(s->FileName(), 0, 16);
    ASSERT_EQ(words.size(), 16u);
    EXPECT_EQ(words[0] | words[1] << 8 | words[2] << 16 | uint32_t(words[3]) << 24, 3145768u);
    EXPECT_TRUE(s->CheckStore());
    EXPECT_TRUE(messages.Entries().empty());
    EXPECT_FALSE(s->Open(dir.Path()));
    EXPECT_EQ(messages.Last(), "File  exist!");
}

TEST_F(StoreTest, BlockSizesAndGuards) {
    auto s = OpenStore();
    BlockHandle h = s->Allocate(1);
    EXPECT_EQ(h, 48u);
    Store::Node n = s->GetNode(h);
    EXPECT_EQ(n.inUse, 1u);
    EXPECT_EQ(n.start, Store::kDataStart);
    EXPECT_EQ(n.size, 20u);
    EXPECT_EQ(SizeOf(s->FileName()), int64_t(Store::kDataStart) + 20);
    EXPECT_TRUE(Equals(ReadAt(s->FileName(), n.start, 8), kStart));
    EXPECT_TRUE(Equals(ReadAt(s->FileName(), n.start + 12, 8), kEnd));
    Store::Span p = s->Payload(h);
    EXPECT_EQ(p.offset, uint64_t(n.start) + 8);
    EXPECT_EQ(p.length, 4u);
    EXPECT_TRUE(s->CheckBlock(h));

    // n rounded up to four, plus both guards; each new node takes the next slot.
    const std::pair<uint64_t, uint32_t> rows[] = {{4, 20}, {5, 24}, {8, 24}, {9, 28}, {1000, 1016}};
    uint32_t slot = 72;
    for (auto [req, size] : rows) {
        BlockHandle b = s->Allocate(req);
        EXPECT_EQ(b, slot) << req;
        EXPECT_EQ(s->GetNode(b).size, size) << req;
        EXPECT_EQ(s->GetNode(b).start + size, s->GetHeader().fileSize) << req;
        slot += 24;
    }
    EXPECT_EQ(s->Allocate(0), 0u);
    EXPECT_EQ(s->UsedCount(), 6u);
    EXPECT_TRUE(s->CheckStore());
}

TEST_F(StoreTest, FreeingMergesNeighbours) {
    auto s = OpenStore();
    BlockHandle a = s->Allocate(100), b = s->Allocate(200), c = s->Allocate(300),
                d = s->Allocate(400), e = s->Allocate(10);
    uint32_t aStart = s->GetNode(a).start, cEnd = s->GetNode(c).start + s->GetNode(c).size;
    // Two adjacent blocks: one free node covering both.
    ASSERT_TRUE(s->Free(a));
    ASSERT_TRUE(s->Free(b));
    ASSERT_EQ(s->FreeCount(), 1u);
    Store::Node f = s->GetNode(s->GetHeader().freeHead);
    EXPECT_EQ(f.start, aStart);
    EXPECT_EQ(f.size, 116u + 216u);
    EXPECT_EQ(s->GetHeader().largestFree, f.size);
    // Free d, then c between two free blocks: one node covering all.
    ASSERT_TRUE(s->Free(d));
    EXPECT_EQ(s->FreeCount(), 2u);
    ASSERT_TRUE(s->Free(c));
    ASSERT_EQ(s->FreeCount(), 1u);
    f = s->GetNode(s->GetHeader().freeHead);
    EXPECT_EQ(f.start, aStart);
    EXPECT_EQ(f.size, s->GetNode(e).start - aStart);
    EXPECT_GT(f.size, cEnd - aStart);
    EXPECT_EQ(s->UsedCount(), 1u);
    // The freed bytes keep their guards.
    EXPECT_TRUE(Equals(ReadAt(s->FileName(), aStart, 8), kStart));
    EXPECT_TRUE(s->CheckStore());
}

TEST_F(StoreTest, BestFitExactAndSplit) {
    auto s = OpenStore();
    BlockHandle a = s->Allocate(1000);
    s->Allocate(4);
    BlockHandle b = s->Allocate(200);
    s->Allocate(4);
    BlockHandle c = s->Allocate(600);
    s->Allocate(4);
    uint32_t aStart = s->GetNode(a).start, cStart = s->GetNode(c).start;
    uint32_t fileSize = s->GetHeader().fileSize;
    s->Free(a);
    s->Free(b);
    s->Free(c);
    EXPECT_EQ(FreeSizes(*s), (std::vector<uint32_t>{216, 616, 1016}));
    EXPECT_EQ(s->GetHeader().largestFree, 1016u);

    // 516 bytes: the smallest block that fits is c's; the 100-byte rest goes to the front.
    BlockHandle x = s->Allocate(500);
    EXPECT_EQ(s->GetNode(x).start, cStart);
    EXPECT_EQ(FreeSizes(*s), (std::vector<uint32_t>{100, 216, 1016}));
    EXPECT_EQ(s->GetNode(s->GetHeader().freeHead).start, cStart + 516);
    // 916 bytes from a's block leaves another 100, placed before the equal one.
    uint32_t oldHead = s->GetHeader().freeHead;
    BlockHandle y = s->Allocate(900);
    EXPECT_EQ(s->GetNode(y).start, aStart);
    EXPECT_EQ(FreeSizes(*s), (std::vector<uint32_t>{100, 100, 216}));
    EXPECT_EQ(s->GetNode(s->GetHeader().freeHead).start, aStart + 916);
    EXPECT_EQ(s->GetNode(s->GetHeader().freeHead).next, oldHead);
    EXPECT_EQ(s->GetHeader().largestFree, 216u);
    // An exact fit takes the largest block whole: no remainder node.
    uint32_t bStart = s->GetNode(s->GetHeader().freeTail).start;
    BlockHandle z = s->Allocate(200);
    EXPECT_EQ(s->GetNode(z).start, bStart);
    EXPECT_EQ(FreeSizes(*s), (std::vector<uint32_t>{100, 100}));
    EXPECT_EQ(s->GetHeader().largestFree, 100u);
    EXPECT_EQ(s->GetHeader().fileSize, fileSize);  // all from free space
    // Too big for any free block: the file grows.
    BlockHandle w = s->Allocate(200);
    EXPECT_EQ(s->GetNode(w).start, fileSize);
    EXPECT_EQ(SizeOf(s->FileName()), int64_t(fileSize) + 216);
    EXPECT_TRUE(s->CheckStore());
}

TEST_F(StoreTest, ShrinkCutsTheFreeTailAndResetsWhenEmpty) {
    auto s = OpenStore();
    std::vector<BlockHandle> hs;
    for (int i = 0; i < 6; ++i) hs.push_back(s->Allocate(1000 + i * 100));
    uint32_t end2 = s->GetNode(hs[2]).start + s->GetNode(hs[2]).size;
    s->Free(hs[1]);
    s->Free(hs[4]);
    s->Free(hs[5]);
    s->Free(hs[3]);
    s->Shrink();
    EXPECT_EQ(SizeOf(s->FileName()), int64_t(end2));
    EXPECT_EQ(s->GetHeader().fileSize, end2);
    EXPECT_EQ(s->FreeCount(), 1u);  // hs[1]'s hole stays
    EXPECT_TRUE(s->CheckStore());
    // Nothing free at the tail: Shrink leaves the file alone.
    s->Shrink();
    EXPECT_EQ(SizeOf(s->FileName()), int64_t(end2));

    s->Free(hs[0]);
    s->Free(hs[2]);
    s->Shrink();
    EXPECT_EQ(SizeOf(s->FileName()), 3145768);
    Store::Header h = s->GetHeader();
    EXPECT_EQ(h.fileSize, 3145768u);
    EXPECT_EQ(h.nextSlot, 48u);
    EXPECT_EQ(h.usedCount + h.freeCount + h.largestFree, 0u);
    EXPECT_EQ(s->GetNode(48).inUse, 0u);
    EXPECT_TRUE(s->CheckStore());
    EXPECT_EQ(s->Allocate(1), 48u);
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(StoreTest, ResetKeepsTheFileOpen) {
    auto s = OpenStore();
    for (int i = 0; i < 5; ++i) s->Allocate(5000);
    s->Reset();
    EXPECT_EQ(SizeOf(s->FileName()), 3145768);
    EXPECT_EQ(s->UsedCount(), 0u);
    EXPECT_EQ(s->GetHeader().nextSlot, 48u);
    EXPECT_TRUE(Equals(ReadAt(s->FileName(), 40, 8), kStart));
    EXPECT_TRUE(Equals(ReadAt(s->FileName(), 0x300020, 8), kEnd));
    EXPECT_EQ(s->GetNode(72).inUse, 0u);
    // Every record the allocations wrote is cleared, not only the first ones.
    EXPECT_EQ(ReadAt(s->FileName(), 48, 0x300020 - 48), std::vector<uint8_t>(0x300020 - 48, 0));
    EXPECT_TRUE(s->CheckStore());
}

TEST_F(StoreTest, FreeRefusesWhatIsNotAUsedBlock) {
    auto s = OpenStore();
    BlockHandle a = s->Allocate(10), b = s->Allocate(10);
    s->Allocate(10);
    ASSERT_TRUE(s->Free(a));
    ASSERT_TRUE(s->Free(b));
    BlockHandle freeNode = s->GetHeader().freeHead;
    Store::Header before = s->GetHeader();
    for (BlockHandle bad : {a, b, freeNode, BlockHandle(0), BlockHandle(12345), BlockHandle(50),
                            BlockHandle(0x300020), BlockHandle(0xFFFFFFF0)}) {
        messages.Clear();
        EXPECT_FALSE(s->Free(bad)) << bad;
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Delete Node False!"}) << bad;
    }
    EXPECT_TRUE(SameHeader(before, s->GetHeader()));
    EXPECT_TRUE(s->CheckStore());
}

TEST_F(StoreTest, CheckBlockFindsDamagedGuards) {
    auto s = OpenStore();
    BlockHandle a = s->Allocate(64), b = s->Allocate(64), c = s->Allocate(64);
    s->Allocate(64);
    Store::Node nb = s->GetNode(b);
    const std::string expected =
        Format("FileDynamicStore::CheckBlock error: start=%d,size=%d", int(nb.start), int(nb.size));
    for (uint64_t where : {uint64_t(nb.start) + 3, uint64_t(nb.start) + nb.size - 1}) {
        auto old = ReadAt(s->FileName(), where, 1);
        uint8_t bad = uint8_t(old[0] ^ 0x10);
        WriteAt(s->FileName(), where, &bad, 1);
        messages.Clear();
        EXPECT_FALSE(s->CheckBlock(b));
        EXPECT_EQ(messages.Last(), expected);
        EXPECT_TRUE(s->CheckBlock(a));
        EXPECT_TRUE(s->CheckBlock(c));
        EXPECT_FALSE(s->CheckStore());
        EXPECT_EQ(messages.Last(), "check error! =1");
        WriteAt(s->FileName(), where, old.data(), 1);
        EXPECT_TRUE(s->CheckBlock(b));
    }
    // A free block is checked from its neighbours' guards.
    s->Free(b);
    BlockHandle f = s->GetHeader().freeHead;
    EXPECT_TRUE(s->CheckBlock(f));
    uint8_t zero = 0;
    WriteAt(s->FileName(), s->GetNode(c).start, &zero, 1);  // start guard after it
    messages.Clear();
    EXPECT_FALSE(s->CheckBlock(f));
    EXPECT_EQ(messages.Texts().front(), expected);
    EXPECT_FALSE(s->CheckStore());
    EXPECT_EQ(messages.Last(), "check error! =2");
    EXPECT_FALSE(s->CheckBlock(b));  // a freed handle is no block
}

TEST_F(StoreTest, CheckStoreReportsEachCode) {
    auto s = OpenStore();
    BlockHandle a = s->Allocate(100);
    s->Allocate(300);
    BlockHandle c = s->Allocate(500);
    s->Allocate(700);
    s->Free(a);
    s->Free(c);
    ASSERT_TRUE(s->CheckStore());
    uint8_t* index = s->IndexViewForTesting();
    struct Row {
        uint32_t offset;  // header word or slot word to damage
        int code;
    };
    const Row rows[] = {
        {24, 1},                      // usedCount
        {20, 1},                      // usedTail
        {36, 2},                      // freeCount
        {28, 2},                      // freeHead
        {4, 3},                       // largestFree
        {0, 4},                       // fileSize
        {12, 5},                      // indexSize
        {s->GetHeader().nextSlot, 6}  // the first never-used slot
    };
    for (const Row& r : rows) {
        uint32_t old;
        std::memcpy(&old, index + r.offset, 4);
        uint32_t bad = old + 24;
        std::memcpy(index + r.offset, &bad, 4);
        messages.Clear();
        EXPECT_FALSE(s->CheckStore()) << r.offset;
        EXPECT_EQ(messages.Last(), Format("check error! =%d", r.code)) << r.offset;
        std::memcpy(index + r.offset, &old, 4);
        EXPECT_TRUE(s->CheckStore()) << r.offset;
    }
    // A used node whose back link is wrong.
    uint32_t oldPrev = s->GetNode(s->GetHeader().usedTail).prev;
    uint32_t zero = 0;
    std::memcpy(index + s->GetHeader().usedTail + 12, &zero, 4);
    EXPECT_FALSE(s->CheckStore());
    EXPECT_EQ(messages.Last(), "check error! =1");
    std::memcpy(index + s->GetHeader().usedTail + 12, &oldPrev, 4);
    // The real file shorter than the header says.
    ASSERT_EQ(truncate(s->FileName().c_str(), SizeOf(s->FileName()) - 4), 0);
    EXPECT_FALSE(s->CheckStore());
    EXPECT_EQ(messages.Last(), "check error! =4");
}

TEST_F(StoreTest, ClosedStoreDoesNothing) {
    Store s(disks);
    const std::vector<std::string> notOpen{"File not exist!"};
    auto expectOne = [&](auto call) {
        messages.Clear();
        call();
        EXPECT_EQ(messages.Texts(), notOpen);
    };
    expectOne([&] { EXPECT_EQ(s.Allocate(10), 0u); });
    expectOne([&] { EXPECT_FALSE(s.Free(48)); });
    expectOne([&] { EXPECT_EQ(s.FileHandle(), -1); });
    expectOne([&] { EXPECT_FALSE(s.CheckBlock(48)); });
    expectOne([&] { EXPECT_FALSE(s.CheckStore()); });
    expectOne([&] { s.Shrink(); });
    messages.Clear();
    s.Reset();
    s.Fill(48, 1, true);
    EXPECT_EQ(s.UsedCount(), 0u);
    EXPECT_EQ(s.FreeCount(), 0u);
    EXPECT_EQ(s.Payload(48).length, 0u);
    EXPECT_FALSE(MappedView(s, 0, 8).IsValid());
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(StoreTest, FillSetsEveryPayloadByte) {
    auto s = OpenStore();
    BlockHandle before = s->Allocate(8);
    const uint64_t n = 5 * 0x200000 + 3;  // several 2 MB views and a ragged tail
    BlockHandle h = s->Allocate(n);
    BlockHandle after = s->Allocate(8);
    s->Fill(before, 0x11, false);
    s->Fill(after, 0x22, false);
    s->Fill(h, 0xAB, true);
    Store::Span p = s->Payload(h);
    ASSERT_EQ(p.length, n + 1);
    auto bytes = ReadAt(s->FileName(), p.offset, p.length);
    ASSERT_EQ(bytes.size(), p.length);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t v) { return v == 0xAB; }));
    EXPECT_EQ(ReadAt(s->FileName(), s->Payload(before).offset, 8), std::vector<uint8_t>(8, 0x11));
    EXPECT_EQ(ReadAt(s->FileName(), s->Payload(after).offset, 8), std::vector<uint8_t>(8, 0x22));
    EXPECT_TRUE(s->CheckBlock(before));
    EXPECT_TRUE(s->CheckBlock(h));
    EXPECT_TRUE(s->CheckBlock(after));
}

// Fill writes without mapping: it must still mark a pinned block's seal before the first byte
// changes, and a block that a damaged index stretches past the file's end must not grow it.
TEST_F(StoreTest, FillMarksAPinnedSealAndNeverGrowsTheFile) {
    auto s = OpenStore();
    const BlockHandle seal = s->Allocate(8);
    const BlockHandle pinned = s->Allocate(0x200000 + 7);
    ASSERT_TRUE(seal && pinned);
    s->SetPins({{pinned, seal}});
    auto sealWord = [&] {
        const auto bytes = ReadAt(s->FileName(), s->Payload(seal).offset, 4);
        uint32_t v = 0;
        std::memcpy(&v, bytes.data(), 4);
        return v;
    };
    ASSERT_EQ(sealWord(), Store::kSealClean);
    s->Fill(pinned, 0x21, false);
    EXPECT_EQ(sealWord(), Store::kSealDirty);
    s->SetPins({});

    const BlockHandle last = s->Allocate(1000);
    ASSERT_NE(last, 0u);
    const uint64_t bytes = s->FileBytes();
    uint8_t* sizeWord = s->IndexViewForTesting() + last + 8;  // Node::size
    uint32_t size = 0;
    std::memcpy(&size, sizeWord, 4);
    const uint32_t stretched = size + 0x300000;
    std::memcpy(sizeWord, &stretched, 4);
    s->Fill(last, 0x42, false);
    std::memcpy(sizeWord, &size, 4);
    EXPECT_EQ(s->FileBytes(), bytes);
    EXPECT_EQ(std::filesystem::file_size(s->FileName()), bytes);
}

// Space the file grows by is not written again; a reused block has old bytes to clear.
TEST_F(StoreTest, AllocateZeroedGivesZerosFreshOrReused) {
    auto s = OpenStore();
    const uint64_t n = 3 * 0x200000 + 5;
    auto zeros = [&](BlockHandle h) {
        Store::Span p = s->Payload(h);
        auto bytes = ReadAt(s->FileName(), p.offset, p.length);
        return bytes.size() == p.length &&
               std::all_of(bytes.begin(), bytes.end(), [](uint8_t v) { return v == 0; });
    };
    BlockHandle fresh = AllocateZeroed(*s, n);
    ASSERT_NE(fresh, 0u);
    EXPECT_TRUE(zeros(fresh));
    const uint64_t offset = s->Payload(fresh).offset;
    s->Fill(fresh, 0x5A, true);
    s->Allocate(8);  // keeps the freed block from being the file's free tail
    ASSERT_TRUE(s->Free(fresh));
    BlockHandle reused = AllocateZeroed(*s, n);
    ASSERT_NE(reused, 0u);
    EXPECT_EQ(s->Payload(reused).offset, offset);
    EXPECT_TRUE(zeros(reused));
    EXPECT_TRUE(s->CheckBlock(reused));
}

// Reused space is zeroed alike on a disk file system and on tmpfs: a mapping of the old bytes
// that is still open reads the zeros, and the blocks on both sides, whose pages the unaligned
// edges share, keep their bytes.
TEST_F(StoreTest, ReusedSpaceReadsAsZerosThroughOpenViewsAndSparesItsNeighbours) {
    std::string shm = "/dev/shm/zelvo-test-XXXXXX";
    const bool haveShm = mkdtemp(shm.data()) != nullptr;
    const uint64_t n = 3 * 0x200000 + 5;
    for (const std::string& folder : {dir.Path(), haveShm ? shm + "/" : std::string()}) {
        if (folder.empty()) continue;
        SCOPED_TRACE(folder);
        Store s(disks);
        ASSERT_TRUE(s.Open(folder));
        const BlockHandle before = s.Allocate(4099), old = s.Allocate(n), after = s.Allocate(8);
        ASSERT_TRUE(before && old && after);
        s.Fill(before, 0x11, false);
        s.Fill(after, 0x77, false);
        const Store::Span p = s.Payload(old);
        MappedView held(s, p.offset, p.length);
        ASSERT_TRUE(held.IsValid());
        std::memset(held.Data(), 0x5A, p.length);
        ASSERT_TRUE(s.Free(old));
        const BlockHandle reused = AllocateZeroed(s, n);
        ASSERT_EQ(s.Payload(reused).offset, p.offset);
        auto all = [](const uint8_t* b, size_t len, uint8_t v) {
            return std::all_of(b, b + len, [v](uint8_t x) { return x == v; });
        };
        const auto disk = ReadAt(s.FileName(), p.offset, p.length);
        EXPECT_EQ(disk.size(), p.length);
        EXPECT_TRUE(all(disk.data(), disk.size(), 0));
        EXPECT_TRUE(all(held.Data(), p.length, 0));
        for (auto [h, v] : {std::pair{before, uint8_t(0x11)}, {after, uint8_t(0x77)}}) {
            const Store::Span q = s.Payload(h);
            const auto bytes = ReadAt(s.FileName(), q.offset, q.length);
            EXPECT_TRUE(bytes.size() == q.length && all(bytes.data(), bytes.size(), v)) << h;
        }
        EXPECT_TRUE(s.CheckStore());
    }
    if (haveShm) std::filesystem::remove_all(shm);
}

// An editing session: every edit writes a new layer-sized block while the history keeps the
// last 20 and gives back the oldest. Freed blocks are taken again before the file grows (they
// are still in the page cache), so the file stops growing once the history is full; each
// pattern of sizes has its own bound.
TEST_F(StoreTest, HistoryChurnReusesFreedBlocksAndKeepsTheFileBounded) {
    constexpr size_t kKept = 20;
    constexpr uint64_t kLayer = 1 << 20;
    struct Case {
        const char* name;
        std::vector<uint64_t> sizes;  // the edits' block sizes, in turn
        std::vector<uint64_t> masks;  // small blocks each edit allocates and frees again
    };
    const Case cases[] = {
        {"same size", {kLayer}, {}},
        {"two sizes", {kLayer, kLayer / 2 + 12}, {}},
        {"growing and shrinking", {kLayer, kLayer + 4096, kLayer + 8192, kLayer - 4096}, {}},
        {"with masks", {kLayer, kLayer - 100}, {3000, 70000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = OpenStore();
        std::vector<BlockHandle> history;
        uint64_t largest = 0, afterFull = 0;
        for (uint64_t n : c.sizes) largest = std::max(largest, n);
        for (uint64_t n : c.masks) largest = std::max(largest, n);
        for (int edit = 0; edit < 400; ++edit) {
            std::vector<BlockHandle> masks;
            for (uint64_t n : c.masks) masks.push_back(s->Allocate(n));
            const uint64_t n = c.sizes[size_t(edit) % c.sizes.size()];
            const uint32_t before = s->GetHeader().fileSize;
            const bool fits = s->GetHeader().largestFree >= ((n + 3) & ~uint64_t(3)) + 16;
            const BlockHandle h = s->Allocate(n);
            ASSERT_NE(h, 0u) << edit;
            // A free block that fits is always taken before the file grows.
            if (fits) {
                EXPECT_EQ(s->GetHeader().fileSize, before) << edit;
            }
            for (BlockHandle m : masks) ASSERT_TRUE(s->Free(m));
            history.push_back(h);
            if (history.size() > kKept) {
                ASSERT_TRUE(s->Free(history.front()));
                history.erase(history.begin());
            }
            if (edit == 100) afterFull = s->GetHeader().fileSize;
        }
        const uint64_t fileSize = s->GetHeader().fileSize;
        EXPECT_EQ(fileSize, afterFull);
        EXPECT_LE(fileSize, Store::kDataStart + (kKept + 3) * (largest + 32));
        EXPECT_TRUE(s->CheckStore());
        EXPECT_TRUE(messages.Entries().empty());
    }
}

TEST_F(StoreTest, MapWindowAlignsToTheGranularity) {
    auto s = OpenStore();
    EXPECT_EQ(s->Granularity(), kAllocationGranularity);
    const struct {
        uint64_t offset, length, view, viewLength;
        uint32_t delta;
    } rows[] = {{0, 10, 0, 10, 0},
                {65536, 8, 65536, 8, 0},
                {65537, 8, 65536, 9, 1},
                {3145768, 100, 3145728, 140, 40},
                {(5ull << 30) + 7, 1, 5ull << 30, 8, 7}};
    for (const auto& r : rows) {
        Store::Window w = s->MapWindow(r.offset, r.length);
        EXPECT_EQ(w.viewOffset, r.view) << r.offset;
        EXPECT_EQ(w.viewLength, r.viewLength) << r.offset;
        EXPECT_EQ(w.delta, r.delta) << r.offset;
    }
    EXPECT_EQ(s->FileHandle(), s->FileHandle());
    EXPECT_GE(s->FileHandle(), 0);
}

TEST_F(StoreTest, OpenNeedsOneHundredMegabytes) {
    disks.otherAvailable = 50ull << 20;
    Store s(disks);
    EXPECT_FALSE(s.Open(dir.Path()));
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.Folder(), "");
    EXPECT_EQ(messages.Texts(),
              (std::vector<std::string>{
                  Format("Please Save File!\n\n%s disk space for less!\n Please close the image "
                         "file and clean up disk space\xE3\x80\x82",
                         dir.Path().c_str()),
                  Format("%s disk space is less than 100M,temporary file fails to create, \nthe "
                         "program can not start.",
                         dir.Path().c_str())}));
    // The first is a warning the work goes on after; the second a failure.
    EXPECT_TRUE(IsStoreWarning(messages.Texts()[0]));
    EXPECT_FALSE(IsStoreWarning(messages.Texts()[1]));
    EXPECT_FALSE(Exists(dir.File("Photo Temp001.temp")));

    // Between 100 and 110 MB: it opens, with the warning.
    messages.Clear();
    disks.otherAvailable = 105ull << 20;
    EXPECT_TRUE(s.Open(dir.Path()));
    EXPECT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(messages.Last().rfind("Please Save File!", 0), 0u);
    // Unknown free space counts as none.
    Store t(disks);
    disks.otherAvailable = std::nullopt;
    EXPECT_FALSE(t.Open(dir.Path()));
}

TEST_F(StoreTest, GrowingNeedsSpace) {
    auto s = OpenStore();
    BlockHandle a = s->Allocate(4000);
    s->Allocate(10);
    s->Free(a);
    Store::Header before = s->GetHeader();
    disks.otherAvailable = 1 << 20;
    messages.Clear();
    EXPECT_EQ(s->Allocate(2 << 20), 0u);
    EXPECT_EQ(messages.Texts(),
              (std::vector<std::string>{
                  Format("Please Save File!\n\n%s disk space for less!\n Please close the image "
                         "file and clean up disk space\xE3\x80\x82",
                         dir.Path().c_str()),
                  Format("Temporary disk %s not enough disk space! \nPlease restart the program Or "
                         "set temporary disk to other Disk partition.\n",
                         dir.Path().c_str())}));
    EXPECT_TRUE(SameHeader(before, s->GetHeader()));
    // Free space inside the file needs no disk.
    messages.Clear();
    EXPECT_NE(s->Allocate(3000), 0u);
    EXPECT_TRUE(messages.Entries().empty());
    EXPECT_TRUE(s->CheckStore());
}

TEST_F(StoreTest, RequestsBeyondThirtyTwoBitsAreRefused) {
    auto s = OpenStore();
    Store::Header before = s->GetHeader();
    for (uint64_t n :
         {uint64_t(0xFFFFFFFF), uint64_t(0xFFFFFFEE), uint64_t(1) << 32, ~uint64_t(0)}) {
        messages.Clear();
        EXPECT_EQ(s->Allocate(n), 0u) << n;
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{
                                        "The requested block does not fit in the temporary file!"});
    }
    EXPECT_TRUE(SameHeader(before, s->GetHeader()));
}

TEST_F(StoreTest, NearlyFullFileWarnsAndCallsTheHook) {
    struct statvfs st;
    ASSERT_EQ(statvfs(dir.Path().c_str(), &st), 0);
    if (uint64_t(st.f_bavail) * st.f_frsize < (12ull << 30))
        GTEST_SKIP() << "needs 12 GB free on the test disk for a 3.9 GB scratch file";
    auto s = OpenStore();
    int calls = 0;
    s->onNearlyFull = [&] { ++calls; };
    BlockHandle big = s->Allocate(0xE6000000);
    ASSERT_NE(big, 0u);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Application cache too large!"});
    BlockHandle more = s->Allocate(0x1000000);
    ASSERT_NE(more, 0u);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(messages.Last(),
              "Soon filled with temporary file and needs to close a number of "
              "images \n to the release of temporary file space!");
    // The offsets are 32-bit: a block that would end past 4 GiB is refused.
    messages.Clear();
    EXPECT_EQ(s->Allocate(0x20000000), 0u);
    EXPECT_EQ(messages.Last(), "The requested block does not fit in the temporary file!");
    EXPECT_EQ(uint64_t(SizeOf(s->FileName())), s->GetHeader().fileSize);
    EXPECT_TRUE(s->Free(big));
    EXPECT_TRUE(s->Free(more));
    s->Shrink();
    EXPECT_EQ(SizeOf(s->FileName()), 3145768);
}

}  // namespace
}  // namespace zelvo
