#include "store/FileDynamicStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "platform/Messages.h"
#include "store/RowCursor.h"
#include "store/SpaceFailures.h"
#include "store/ZeroedBlock.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

using Store = FileDynamicStore;
constexpr uint64_t kPlenty = 5ull << 30;
const uint8_t kStart[8] = {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
const uint8_t kEnd[8] = {0xFF, 1, 0xFF, 1, 0xFF, 1, 0xFF, 1};

// Bytes of a file read through a fresh descriptor, independent of the store's own views.
std::vector<uint8_t> ReadAt(const std::string& path, uint64_t offset, size_t length) {
    std::vector<uint8_t> out(length);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    ssize_t got = pread(fd, out.data(), length, off_t(offset));
    close(fd);
    if (got != ssize_t(length)) return {};
    return out;
}

void WriteAt(const std::string& path, uint64_t offset, const void* data, size_t length) {
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, data, length, off_t(offset)), ssize_t(length));
    close(fd);
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

int64_t SizeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

bool Equals(const std::vector<uint8_t>& v, const uint8_t* p) {
    return v.size() == 8 && std::memcmp(v.data(), p, 8) == 0;
}

bool SameHeader(const FileDynamicStore::Header& a, const FileDynamicStore::Header& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Free-list sizes from head to tail.
std::vector<uint32_t> FreeSizes(const Store& s) {
    std::vector<uint32_t> out;
    for (uint32_t c = s.GetHeader().freeHead; c && out.size() < 100000; c = s.GetNode(c).next)
        out.push_back(s.GetNode(c).size);
    return out;
}

class StoreTest : public ::testing::Test {
protected:
    StoreTest() { disks.otherAvailable = kPlenty; }
    std::unique_ptr<Store> OpenStore() {
        auto s = std::make_unique<Store>(disks);
        EXPECT_TRUE(s->Open(dir.Path()));
        return s;
    }
    test::TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
};

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

// ---- File names and removal ----------------------------------------------------------------

TEST_F(StoreTest, NamesFollowTheSeries) {
    auto first = OpenStore();
    auto second = OpenStore();
    EXPECT_EQ(first->FileName(), dir.File("Photo Temp001.temp"));
    EXPECT_EQ(second->FileName(), dir.File("Photo Temp002.temp"));
    std::vector<std::unique_ptr<Store>> more;
    for (int i = 3; i <= 9; ++i) {
        more.push_back(OpenStore());
        EXPECT_EQ(more.back()->FileName(), dir.File(Format("Photo Temp00%d.temp", i)));
    }
    // All nine names held: no tenth store.
    messages.Clear();
    Store tenth(disks);
    EXPECT_FALSE(tenth.Open(dir.Path()));
    EXPECT_EQ(
        messages.Texts(),
        std::vector<std::string>{"Temporary file fails to create, \nthe program can not start."});
    // A released name is taken again first; the folder may lack its final slash.
    first.reset();
    EXPECT_FALSE(Exists(dir.File("Photo Temp001.temp")));
    Store again(disks);
    std::string noSlash = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_TRUE(again.Open(noSlash));
    EXPECT_EQ(again.FileName(), dir.File("Photo Temp001.temp"));
    EXPECT_TRUE(Exists(dir.File("Photo Temp002.temp")));
}

TEST_F(StoreTest, StaleFileIsReused) {
    {
        int fd = open(dir.File("Photo Temp001.temp").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        std::vector<uint8_t> junk(5 << 20, 0x5A);
        ASSERT_EQ(write(fd, junk.data(), junk.size()), ssize_t(junk.size()));
        close(fd);
    }
    auto s = OpenStore();
    EXPECT_EQ(s->FileName(), dir.File("Photo Temp001.temp"));
    EXPECT_EQ(SizeOf(s->FileName()), 3145768);
    // The whole index between its guards reads as empty, not as the junk that was there.
    EXPECT_EQ(ReadAt(s->FileName(), 48, 0x300020 - 48), std::vector<uint8_t>(0x300020 - 48, 0));
    EXPECT_TRUE(s->CheckStore());
}

// Runs that were killed leave files of the series that nobody holds; the next start takes
// them all away, except those whose journal says recovery still wants them, and those a
// running copy holds.
TEST_F(StoreTest, StaleFilesOfTheSeriesAreReclaimedAtStart) {
    auto held = OpenStore();  // 001, held by a running store
    for (int i : {2, 3, 5, 9}) {
        int fd = open(dir.File(Format("Photo Temp00%d.temp", i)).c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        std::vector<uint8_t> junk(1 << 20, 0x5A);
        ASSERT_EQ(write(fd, junk.data(), junk.size()), ssize_t(junk.size()));
        close(fd);
    }
    const std::string kept = dir.File("Photo Temp003.temp");
    {
        int fd = open((kept + ".journal").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    auto s = OpenStore();
    // 002 was stale: removed, then made again for this store; 003 has a journal.
    EXPECT_EQ(s->FileName(), dir.File("Photo Temp002.temp"));
    EXPECT_TRUE(Exists(held->FileName()));
    EXPECT_TRUE(held->CheckStore());
    EXPECT_EQ(SizeOf(kept), 1 << 20);
    EXPECT_FALSE(Exists(dir.File("Photo Temp005.temp")));
    EXPECT_FALSE(Exists(dir.File("Photo Temp009.temp")));
    // With 003 still kept for recovery, the next store skips it.
    auto third = OpenStore();
    EXPECT_EQ(third->FileName(), dir.File("Photo Temp004.temp"));
    EXPECT_EQ(SizeOf(kept), 1 << 20);
}

TEST_F(StoreTest, CreationFailsInAMissingFolder) {
    Store s(disks);
    EXPECT_FALSE(s.Open(dir.File("missing/")));
    EXPECT_EQ(
        messages.Texts(),
        std::vector<std::string>{"Temporary file fails to create, \nthe program can not start."});
    EXPECT_FALSE(s.IsOpen());
}

TEST_F(StoreTest, FileIsRemovedWhenTheStoreGoes) {
    std::string name;
    {
        auto s = OpenStore();
        name = s->FileName();
        s->Allocate(100);
        EXPECT_TRUE(Exists(name));
    }
    EXPECT_FALSE(Exists(name));
}

TEST_F(StoreTest, FileIsRemovedAtNormalExit) {
    auto mine = OpenStore();  // a store of this process must survive the child's exit
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Store s(disks);  // exit() skips its destructor: only the exit hook can remove the file
        if (!s.Open(dir.Path()) || s.FileName() != dir.File("Photo Temp002.temp")) _exit(3);
        exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(Exists(dir.File("Photo Temp002.temp")));
    EXPECT_TRUE(Exists(mine->FileName()));
    EXPECT_TRUE(mine->CheckStore());
}

TEST_F(StoreTest, FileIsRemovedOnSigterm) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        Store s(disks);
        char ok = s.Open(dir.Path()) && s.Allocate(1000) ? 'y' : 'n';
        if (write(fds[1], &ok, 1) != 1) _exit(3);
        for (;;) pause();
    }
    close(fds[1]);
    char ready = 0;
    ASSERT_EQ(read(fds[0], &ready, 1), 1);
    close(fds[0]);
    EXPECT_EQ(ready, 'y');
    EXPECT_TRUE(Exists(dir.File("Photo Temp001.temp")));
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_FALSE(Exists(dir.File("Photo Temp001.temp")));
}

// ---- A full disk -----------------------------------------------------------------------------

// An 8 MB tmpfs, mounted for one test.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& path) : m_path(path) {
        if (geteuid() != 0) {
            m_why = "not running as root";
            return;
        }
        mkdir(path.c_str(), 0700);
        if (mount("tmpfs", path.c_str(), "tmpfs", 0, "size=8m") != 0)
            m_why = std::string("mount failed: ") + std::strerror(errno);
        else
            m_mounted = true;
    }
    ~SmallDisk() {
        if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }
    const std::string& Why() const { return m_why; }

private:
    std::string m_path, m_why;
    bool m_mounted = false;
};

TEST_F(StoreTest, FullDiskFailsAtGrowthAndKeepsTheStoreSound) {
    SmallDisk disk(dir.File("small"));
    if (!disk.Mounted()) GTEST_SKIP() << "needs a size-limited tmpfs: " << disk.Why();
    {
        // The fake says there is plenty, so the store tries to grow and the disk itself refuses.
        Store s(disks);
        const uint64_t failuresBefore = ScratchSpaceFailures();
        ASSERT_TRUE(s.Open(dir.File("small/")));
        std::vector<BlockHandle> blocks;
        BlockHandle h;
        while (blocks.size() < 20 && (h = s.Allocate(1 << 20)) != 0) {
            s.Fill(h, uint8_t(0x40 + blocks.size()), false);
            blocks.push_back(h);
        }
        ASSERT_LT(blocks.size(), 20u);
        EXPECT_GE(blocks.size(), 2u);
        // A disk that fills up under the store is reported as a full disk, and counted.
        EXPECT_EQ(messages.Last(),
                  Format("Temporary disk %s not enough disk space! \nPlease restart the program "
                         "Or set temporary disk to other Disk partition.\n",
                         dir.File("small/").c_str()));
        EXPECT_EQ(ScratchSpaceFailures(), failuresBefore + 1);
        EXPECT_EQ(int64_t(s.GetHeader().fileSize), SizeOf(s.FileName()));
        EXPECT_EQ(s.UsedCount(), blocks.size());
        EXPECT_TRUE(s.CheckStore());
        for (size_t i = 0; i < blocks.size(); ++i) {
            Store::Span p = s.Payload(blocks[i]);
            auto bytes = ReadAt(s.FileName(), p.offset, p.length);
            ASSERT_EQ(bytes.size(), p.length);
            EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [&](uint8_t v) {
                return v == uint8_t(0x40 + i);
            })) << i;
        }
        // Space given back inside the file is used again without growing.
        ASSERT_TRUE(s.Free(blocks[0]));
        messages.Clear();
        BlockHandle again = s.Allocate(1 << 19);
        EXPECT_NE(again, 0u);
        s.Fill(again, 0x7F, true);
        EXPECT_TRUE(messages.Entries().empty());
        EXPECT_TRUE(s.CheckStore());
    }
}

// ---- Against a model ---------------------------------------------------------------------------

// A random run of allocations, frees, rewrites and shrinks, checked after every step against a
// map of live blocks and the bytes written into each.
TEST_F(StoreTest, RandomOperationsMatchAModel) {
    auto s = OpenStore();
    struct Live {
        uint64_t n;
        std::vector<uint8_t> bytes;  // the whole payload as written
    };
    std::map<BlockHandle, Live> live;
    std::vector<BlockHandle> freed;
    std::mt19937 rng(20240611);
    // Half the blocks are filled with one byte, half get a position-dependent pattern so that
    // a payload read from the wrong place shows.
    auto write = [&](BlockHandle h, Live& b) {
        Store::Span p = s->Payload(h);
        uint32_t key = rng();
        if (rng() % 2) {
            s->Fill(h, uint8_t(key), false);
            b.bytes.assign(p.length, uint8_t(key));
            return;
        }
        b.bytes.resize(p.length);
        for (uint64_t i = 0; i < p.length; ++i) b.bytes[i] = uint8_t(key * 131 + i * 7 + (i >> 9));
        MappedView v(*s, p.offset, p.length);
        ASSERT_TRUE(v.IsValid());
        std::memcpy(v.Data(), b.bytes.data(), p.length);
    };
    int fd = open(s->FileName().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> buffer(1 << 20);
    auto randomSize = [&]() -> uint64_t {
        uint32_t r = rng() % 100;
        if (r < 70) return 1 + rng() % 2000;
        if (r < 95) return 2000 + rng() % 40000;
        return 40000 + rng() % 200000;
    };

    for (int step = 0; step < 2000; ++step) {
        SCOPED_TRACE(step);
        messages.Clear();
        uint32_t op = rng() % 100;
        bool allocate = op < (live.size() < 16 ? 50u : 30u);
        if (allocate) {
            uint64_t n = randomSize();
            BlockHandle h = s->Allocate(n);
            ASSERT_NE(h, 0u);
            ASSERT_EQ(live.count(h), 0u);
            Live& b = live[h] = Live{n, {}};
            write(h, b);
        } else if (op < 85 && !live.empty()) {
            auto it = std::next(live.begin(), rng() % live.size());
            ASSERT_TRUE(s->Free(it->first));
            freed.push_back(it->first);
            live.erase(it);
        } else if (op < 93 && !live.empty()) {
            auto it = std::next(live.begin(), rng() % live.size());
            write(it->first, it->second);
        } else if (op < 97) {
            s->Shrink();
            if (live.empty()) freed.clear();  // the index starts again from its first slot
        } else if (!freed.empty()) {
            BlockHandle h = freed[rng() % freed.size()];
            if (!live.count(h)) {
                EXPECT_FALSE(s->Free(h));
                EXPECT_EQ(messages.Last(), "Delete Node False!");
                messages.Clear();
            }
        }
        EXPECT_TRUE(messages.Entries().empty());

        // Lists against the model; used and free ranges tile the data area exactly.
        Store::Header h = s->GetHeader();
        ASSERT_EQ(s->UsedCount(), live.size());
        std::vector<std::pair<uint64_t, uint64_t>> ranges;  // start, end
        std::vector<std::pair<uint64_t, uint64_t>> frees;
        size_t used = 0;
        for (uint32_t c = h.usedHead; c; c = s->GetNode(c).next, ++used) {
            ASSERT_LE(used, live.size());
            ASSERT_EQ(live.count(c), 1u);
            Store::Node n = s->GetNode(c);
            ASSERT_EQ(n.size, ((live[c].n + 3) / 4) * 4 + 16);
            ranges.push_back({n.start, uint64_t(n.start) + n.size});
        }
        ASSERT_EQ(used, live.size());
        uint32_t largest = 0, last = 0;
        for (uint32_t c = h.freeHead; c; c = s->GetNode(c).next) {
            ASSERT_LE(frees.size(), h.freeCount);
            Store::Node n = s->GetNode(c);
            EXPECT_GE(n.size, last);  // ascending
            last = n.size;
            largest = std::max(largest, n.size);
            frees.push_back({n.start, uint64_t(n.start) + n.size});
        }
        ASSERT_EQ(frees.size(), s->FreeCount());
        EXPECT_EQ(h.largestFree, largest);
        std::sort(frees.begin(), frees.end());
        for (size_t i = 1; i < frees.size(); ++i)
            EXPECT_LT(frees[i - 1].second, frees[i].first);  // merged: never adjacent
        ranges.insert(ranges.end(), frees.begin(), frees.end());
        std::sort(ranges.begin(), ranges.end());
        uint64_t at = Store::kDataStart;
        for (auto [b, e] : ranges) {
            ASSERT_EQ(b, at);
            at = e;
        }
        ASSERT_EQ(at, h.fileSize);
        ASSERT_EQ(SizeOf(s->FileName()), int64_t(h.fileSize));
        if (live.empty() && step % 10 == 0) s->Shrink();

        // Every live payload still holds what was written into it.
        for (auto& [handle, b] : live) {
            Store::Span p = s->Payload(handle);
            ASSERT_GE(p.length, b.n);
            ASSERT_EQ(p.length, b.bytes.size());
            ASSERT_EQ(pread(fd, buffer.data(), p.length, off_t(p.offset)), ssize_t(p.length));
            ASSERT_EQ(std::memcmp(buffer.data(), b.bytes.data(), p.length), 0)
                << "block " << handle;
        }
        ASSERT_TRUE(s->CheckStore());
    }
    close(fd);
}

}  // namespace
}  // namespace zelvo
