#include "store/RowCursor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

uint8_t Pattern(uint32_t row, uint32_t i) {
    return uint8_t(row * 37 + i * 11 + (i >> 8));
}

class RowCursorTest : public ::testing::Test {
protected:
    RowCursorTest() : store(disks) {
        disks.otherAvailable = 5ull << 30;
        EXPECT_TRUE(store.Open(dir.Path()));
    }
    // A block holding `rows` rows of `rowBytes` after `offset` bytes, rows written through a
    // plain view so the cursor is read against something it did not write.
    BlockHandle MakeRows(uint64_t offset, uint32_t rowBytes, uint32_t rows) {
        BlockHandle h = store.Allocate(offset + uint64_t(rowBytes) * rows);
        FileDynamicStore::Span p = store.Payload(h);
        MappedView v(store, p.offset, p.length);
        EXPECT_TRUE(v.IsValid());
        std::memset(v.Data(), 0xEE, p.length);
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t i = 0; i < rowBytes; ++i)
                v.Data()[offset + uint64_t(r) * rowBytes + i] = Pattern(r, i);
        return h;
    }
    static bool RowIs(const uint8_t* p, uint32_t row, uint32_t rowBytes) {
        if (!p) return false;
        for (uint32_t i = 0; i < rowBytes; ++i)
            if (p[i] != Pattern(row, i)) return false;
        return true;
    }

    test::TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
    FileDynamicStore store;
};

TEST_F(RowCursorTest, ReadsRowsInBothDirections) {
    // 1000-byte rows after a 40-byte header: many rows straddle a 64 KiB boundary.
    const uint32_t rowBytes = 1000, rows = 700;
    BlockHandle h = MakeRows(40, rowBytes, rows);
    for (uint64_t window :
         {uint64_t(1), uint64_t(2500), uint64_t(65536), RowCursor::kDefaultWindowBytes}) {
        SCOPED_TRACE(window);
        RowCursor up(store, h, 40, rowBytes, rows, window);
        for (uint32_t r = 0; r < rows; ++r) ASSERT_TRUE(RowIs(up.Row(r), r, rowBytes)) << r;
        RowCursor down(store, h, 40, rowBytes, rows, window);
        for (uint32_t r = rows; r-- > 0;) ASSERT_TRUE(RowIs(down.Row(r), r, rowBytes)) << r;
        // A scan maps each part once: about rows / rows-per-window windows.
        uint32_t perWindow = std::max<uint32_t>(1, uint32_t(window / rowBytes));
        uint32_t expected = (rows + perWindow - 1) / perWindow;
        EXPECT_EQ(up.MapCount(), expected);
        EXPECT_LE(down.MapCount(), expected + 1);
    }
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(RowCursorTest, WindowsSlideTowardsTheRequest) {
    const uint32_t rowBytes = 100, rows = 50;
    BlockHandle h = MakeRows(0, rowBytes, rows);
    RowCursor c(store, h, 0, rowBytes, rows, 1000);  // ten rows per window
    ASSERT_NE(c.Row(5), nullptr);
    EXPECT_EQ(c.WindowFirst(), 5u);
    EXPECT_EQ(c.WindowEnd(), 15u);
    ASSERT_NE(c.Row(14), nullptr);
    EXPECT_EQ(c.MapCount(), 1u);
    // Past the window: the next one starts at the row.
    ASSERT_TRUE(RowIs(c.Row(15), 15, rowBytes));
    EXPECT_EQ(c.WindowFirst(), 15u);
    EXPECT_EQ(c.WindowEnd(), 25u);
    // Before it: the next one ends at the row.
    ASSERT_TRUE(RowIs(c.Row(12), 12, rowBytes));
    EXPECT_EQ(c.WindowFirst(), 3u);
    EXPECT_EQ(c.WindowEnd(), 13u);
    ASSERT_TRUE(RowIs(c.Row(2), 2, rowBytes));
    EXPECT_EQ(c.WindowFirst(), 0u);  // clamped at the first row
    EXPECT_EQ(c.WindowEnd(), 10u);
    // Near the end the window keeps its size and stops at the last row.
    ASSERT_TRUE(RowIs(c.Row(45), 45, rowBytes));
    EXPECT_EQ(c.WindowFirst(), 40u);
    EXPECT_EQ(c.WindowEnd(), 50u);
    EXPECT_EQ(c.MapCount(), 5u);
}

TEST_F(RowCursorTest, CoverCentresTheRowsAndKeepsAWindowThatHoldsThem) {
    const uint32_t rowBytes = 100, rows = 50;
    BlockHandle h = MakeRows(0, rowBytes, rows);
    RowCursor c(store, h, 0, rowBytes, rows, 1000);  // ten rows per window
    struct Step {
        uint32_t first, end;
        bool ok;
        uint32_t windowFirst, windowEnd, maps;
    };
    const Step steps[] = {
        {20, 24, true, 17, 27, 1},   // three rows of room either side
        {18, 27, true, 17, 27, 1},   // inside: kept
        {25, 29, true, 22, 32, 2},   // past it: a window round them
        {0, 2, true, 0, 10, 3},      // clamped at the first row
        {47, 60, true, 40, 50, 4},   // cut at the last row, which the window keeps as its end
        {30, 45, true, 30, 40, 5},   // more than a window: it starts at the first
        {50, 51, false, 30, 40, 5},  // nothing there: the window stays
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.first << ".." << s.end);
        EXPECT_EQ(c.Cover(s.first, s.end), s.ok);
        EXPECT_EQ(c.WindowFirst(), s.windowFirst);
        EXPECT_EQ(c.WindowEnd(), s.windowEnd);
        EXPECT_EQ(c.MapCount(), s.maps);
        if (s.ok) {
            EXPECT_TRUE(RowIs(c.Row(s.windowFirst), s.windowFirst, rowBytes));
        }
    }
    EXPECT_EQ(c.MapCount(), 5u);  // the rows asked for were in the windows already
}

TEST_F(RowCursorTest, RowLargerThanTheWindow) {
    const uint32_t rowBytes = 200003, rows = 6;
    BlockHandle h = MakeRows(3, rowBytes, rows);
    RowCursor c(store, h, 3, rowBytes, rows, 65536);
    for (uint32_t r : {0u, 5u, 2u, 3u, 1u, 4u, 4u}) {
        ASSERT_TRUE(RowIs(c.Row(r), r, rowBytes)) << r;
        EXPECT_EQ(c.WindowFirst(), r);
        EXPECT_EQ(c.WindowEnd(), r + 1);
    }
    EXPECT_EQ(c.MapCount(), 6u);
}

TEST_F(RowCursorTest, WritesReachTheFile) {
    const uint32_t rowBytes = 4099, rows = 300;
    BlockHandle h = store.Allocate(uint64_t(rowBytes) * rows);
    {
        RowCursor w(store, h, 0, rowBytes, rows, 50000);
        for (uint32_t r = rows; r-- > 0;) {
            uint8_t* p = w.Row(r);
            ASSERT_NE(p, nullptr);
            for (uint32_t i = 0; i < rowBytes; ++i) p[i] = Pattern(r, i);
        }
        w.Flush();
    }
    FileDynamicStore::Span span = store.Payload(h);
    int fd = open(store.FileName().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t r = 0; r < rows; ++r) {
        ASSERT_EQ(pread(fd, row.data(), rowBytes, off_t(span.offset + uint64_t(r) * rowBytes)),
                  ssize_t(rowBytes));
        ASSERT_TRUE(RowIs(row.data(), r, rowBytes)) << r;
    }
    close(fd);
    EXPECT_TRUE(store.CheckBlock(h));  // no row spilled over the guards
}

TEST_F(RowCursorTest, RowsOutsideThePayloadGiveNull) {
    const uint32_t rowBytes = 64;
    BlockHandle h = MakeRows(0, rowBytes, 10);  // payload of exactly 640 bytes
    RowCursor c(store, h, 0, rowBytes, 10);
    EXPECT_NE(c.Row(9), nullptr);
    EXPECT_EQ(c.Row(10), nullptr);
    EXPECT_EQ(c.Row(0xFFFFFFFF), nullptr);
    // More rows claimed than the payload holds: only the whole ones are given.
    RowCursor tooMany(store, h, 0, rowBytes, 20);
    EXPECT_TRUE(RowIs(tooMany.Row(9), 9, rowBytes));
    EXPECT_EQ(tooMany.Row(10), nullptr);
    RowCursor shifted(store, h, 1, rowBytes, 10);  // the tenth row would cross the end guard
    EXPECT_NE(shifted.Row(8), nullptr);
    EXPECT_EQ(shifted.Row(9), nullptr);
    RowCursor pastEnd(store, h, 640, rowBytes, 1);
    EXPECT_EQ(pastEnd.Row(0), nullptr);
    RowCursor empty(store, h, 0, 0, 10);
    EXPECT_EQ(empty.Row(0), nullptr);
    RowCursor noBlock(store, 0, 0, rowBytes, 10);
    EXPECT_EQ(noBlock.Row(0), nullptr);
    RowCursor notABlock(store, 50, 0, rowBytes, 10);
    EXPECT_EQ(notABlock.Row(0), nullptr);
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(RowCursorTest, RandomOrderAgainstTheBytes) {
    const uint32_t rowBytes = 333, rows = 2000;
    BlockHandle h = MakeRows(17, rowBytes, rows);
    RowCursor c(store, h, 17, rowBytes, rows, 20000);
    std::mt19937 rng(7);
    uint32_t r = 1000;
    for (int i = 0; i < 5000; ++i) {
        // Mostly short steps either way, sometimes a jump.
        r = rng() % 10 == 0 ? rng() % rows
                            : uint32_t(std::clamp<int>(int(r) + int(rng() % 41) - 20, 0, rows - 1));
        ASSERT_TRUE(RowIs(c.Row(r), r, rowBytes)) << r;
        ASSERT_LE(c.WindowFirst(), r);
        ASSERT_LT(r, c.WindowEnd());
        ASSERT_LE(uint64_t(c.WindowEnd() - c.WindowFirst()) * rowBytes, 20000u);
    }
}

TEST_F(RowCursorTest, CursorsOnSeveralThreads) {
    const uint32_t rowBytes = 5000, rows = 800;
    BlockHandle h = MakeRows(0, rowBytes, rows);
    std::vector<int> bad(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            RowCursor c(store, h, 0, rowBytes, rows, 100000);
            for (int pass = 0; pass < 3; ++pass)
                for (uint32_t i = 0; i < rows; ++i) {
                    uint32_t r = (t % 2) ? rows - 1 - i : i;
                    if (!RowIs(c.Row(r), r, rowBytes)) ++bad[t];
                }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad, std::vector<int>(4, 0));
}

TEST_F(RowCursorTest, MappedViewStaysInsideTheFile) {
    BlockHandle h = store.Allocate(100);
    FileDynamicStore::Span p = store.Payload(h);
    uint64_t end = p.offset + p.length + 8;
    EXPECT_EQ(end, store.FileBytes());
    MappedView ok(store, end - 8, 8);
    ASSERT_TRUE(ok.IsValid());
    EXPECT_EQ(std::memcmp(ok.Data(), "\xFF\x01\xFF\x01\xFF\x01\xFF\x01", 8), 0);
    EXPECT_FALSE(MappedView(store, end - 7, 8).IsValid());
    EXPECT_FALSE(MappedView(store, end, 1).IsValid());
    EXPECT_FALSE(MappedView(store, ~uint64_t(0) - 2, 8).IsValid());
    EXPECT_FALSE(MappedView(store, p.offset, 0).IsValid());
    MappedView moved = std::move(ok);
    EXPECT_FALSE(ok.IsValid());
    ASSERT_TRUE(moved.IsValid());
    EXPECT_EQ(moved.Length(), 8u);
    moved.Reset();
    EXPECT_FALSE(moved.IsValid());
}

TEST_F(RowCursorTest, ReaderReadsWhatTheCursorWrote) {
    const uint32_t rowBytes = 1000, rows = 500;
    BlockHandle h = store.Allocate(40 + uint64_t(rowBytes) * rows);
    {
        RowCursor w(store, h, 40, rowBytes, rows, 7000);
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* p = w.Row(r);
            ASSERT_NE(p, nullptr);
            for (uint32_t i = 0; i < rowBytes; ++i) p[i] = Pattern(r, i);
        }
    }
    for (uint64_t window : {uint64_t(1), uint64_t(2500), RowCursor::kDefaultWindowBytes}) {
        SCOPED_TRACE(window);
        RowReader up(store, h, 40, rowBytes, rows, window);
        for (uint32_t r = 0; r < rows; ++r) ASSERT_TRUE(RowIs(up.Row(r), r, rowBytes)) << r;
        RowReader down(store, h, 40, rowBytes, rows, window);
        for (uint32_t r = rows; r-- > 0;) ASSERT_TRUE(RowIs(down.Row(r), r, rowBytes)) << r;
        uint32_t perWindow = std::max<uint32_t>(1, uint32_t(window / rowBytes));
        EXPECT_EQ(up.ReadCount(), (rows + perWindow - 1) / perWindow);
    }
}

TEST_F(RowCursorTest, ReaderPlacesWindowsLikeTheCursor) {
    const uint32_t rowBytes = 100, rows = 50;
    BlockHandle h = MakeRows(0, rowBytes, rows);
    RowReader r(store, h, 0, rowBytes, rows, 1000);
    RowCursor c(store, h, 0, rowBytes, rows, 1000);
    for (uint32_t row : {5u, 14u, 15u, 12u, 2u, 45u, 49u, 30u, 29u, 0u}) {
        ASSERT_TRUE(RowIs(r.Row(row), row, rowBytes)) << row;
        ASSERT_NE(c.Row(row), nullptr);
        EXPECT_EQ(r.WindowFirst(), c.WindowFirst()) << row;
        EXPECT_EQ(r.WindowEnd(), c.WindowEnd()) << row;
    }
    EXPECT_EQ(r.ReadCount(), c.MapCount());
    // The same bounds as the cursor.
    RowReader tooMany(store, h, 1, rowBytes, 60);
    EXPECT_NE(tooMany.Row(48), nullptr);
    EXPECT_EQ(tooMany.Row(49), nullptr);
    EXPECT_EQ(RowReader(store, 0, 0, rowBytes, 1).Row(0), nullptr);
    EXPECT_EQ(RowReader(store, h, 0, 0, 1).Row(0), nullptr);
    // A row larger than the window is read whole.
    RowReader big(store, h, 0, 2000, 2, 64);
    EXPECT_NE(big.Row(1), nullptr);
    EXPECT_EQ(big.WindowEnd() - big.WindowFirst(), 1u);
}

}  // namespace
}  // namespace zelvo
