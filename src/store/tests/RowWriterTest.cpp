#include "store/RowWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "platform/Messages.h"
#include "store/RowCursor.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

uint8_t Pattern(uint32_t row, uint32_t i) {
    return uint8_t(row * 29 + i * 7 + 3);
}

class RowWriterTest : public ::testing::Test {
protected:
    RowWriterTest() : store(disks) {
        disks.otherAvailable = 5ull << 30;
        EXPECT_TRUE(store.Open(dir.Path()));
    }
    // A block of `offset` header bytes and `rows` rows, every byte 0xEE.
    BlockHandle MakeBlock(uint64_t offset, uint32_t rowBytes, uint32_t rows) {
        BlockHandle h = store.Allocate(offset + uint64_t(rowBytes) * rows);
        store.Fill(h, 0xEE, false);
        return h;
    }
    // The payload as the file holds it, read through a plain view.
    std::vector<uint8_t> Payload(BlockHandle h) {
        FileDynamicStore::Span p = store.Payload(h);
        MappedView v(store, p.offset, p.length);
        EXPECT_TRUE(v.IsValid());
        return std::vector<uint8_t>(v.Data(), v.Data() + p.length);
    }
    static void FillRow(uint8_t* p, uint32_t row, uint32_t rowBytes) {
        for (uint32_t i = 0; i < rowBytes; ++i) p[i] = Pattern(row, i);
    }

    test::TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
    FileDynamicStore store;
};

TEST_F(RowWriterTest, RowsInAnyOrderReachTheFileAndNothingElseIsTouched) {
    std::mt19937 rng(11);
    const uint32_t rowBytes = 300, rows = 80, offset = 40;
    // A small window, and one large enough that a rising pass writes aligned stretches and
    // holds back the rest.
    for (int order = 0; order < 8; ++order) {
        SCOPED_TRACE(order);
        const bool wide = order >= 4;
        const uint64_t window = wide ? 60 * rowBytes + 10 : 7 * rowBytes + 10;
        BlockHandle h = MakeBlock(offset, rowBytes, rows);
        // Rising, falling, shuffled, and a subset with rows asked twice.
        std::vector<uint32_t> seq(rows);
        std::iota(seq.begin(), seq.end(), 0u);
        if (order % 4 == 1) std::reverse(seq.begin(), seq.end());
        if (order % 4 == 2) std::shuffle(seq.begin(), seq.end(), rng);
        if (order % 4 == 3) {
            seq.clear();
            for (uint32_t r = 5; r < 70; r += (r % 7 == 0 ? 3 : 1)) {
                seq.push_back(r);
                if (r % 5 == 0) seq.push_back(r);
            }
        }
        std::vector<uint8_t> expect = Payload(h);
        {
            RowWriter w(store, h, offset, rowBytes, rows, window);
            for (uint32_t r : seq) {
                uint8_t* p = w.Row(r);
                ASSERT_NE(p, nullptr) << r;
                FillRow(p, r, rowBytes);
                FillRow(&expect[offset + size_t(r) * rowBytes], r, rowBytes);
            }
            EXPECT_TRUE(w.Flush());
            EXPECT_FALSE(w.Failed());
            if (order < 2) {
                EXPECT_EQ(w.WriteCount(), (rows + 6) / 7);
            }
        }
        EXPECT_EQ(Payload(h), expect);
        store.Free(h);
    }
}

TEST_F(RowWriterTest, HeldRowsAreWrittenWhenTheWriterGoes) {
    const uint32_t rowBytes = 1000, rows = 10;
    BlockHandle h = MakeBlock(0, rowBytes, rows);
    {
        RowWriter w(store, h, 0, rowBytes, rows);
        for (uint32_t r = 0; r < rows; ++r) FillRow(w.Row(r), r, rowBytes);
        EXPECT_EQ(w.WriteCount(), 0u) << "one window holds them all";
    }
    RowReader check(store, h, 0, rowBytes, rows);
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* p = check.Row(r);
        ASSERT_NE(p, nullptr);
        for (uint32_t i = 0; i < rowBytes; ++i) ASSERT_EQ(p[i], Pattern(r, i)) << r << "," << i;
    }
}

TEST_F(RowWriterTest, RowsItCannotGiveAreNull) {
    const uint32_t rowBytes = 100, rows = 50;
    BlockHandle h = MakeBlock(0, rowBytes, rows);
    // Rows claimed beyond the payload are cut at its end.
    RowWriter tooMany(store, h, 1, rowBytes, 60);
    uint8_t* last = tooMany.Row(48);
    ASSERT_NE(last, nullptr);
    FillRow(last, 48, rowBytes);
    EXPECT_EQ(tooMany.Row(49), nullptr);
    EXPECT_EQ(tooMany.Row(60), nullptr);
    EXPECT_EQ(RowWriter(store, 0, 0, rowBytes, 1).Row(0), nullptr);
    EXPECT_EQ(RowWriter(store, h, 0, 0, 1).Row(0), nullptr);
}

}  // namespace
}  // namespace zelvo
