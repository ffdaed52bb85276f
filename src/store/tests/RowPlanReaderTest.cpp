#include "store/RowPlanReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "platform/Messages.h"
#include "store/RowCursor.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

uint8_t Pattern(uint32_t row, uint32_t i) {
    return uint8_t(row * 37 + i * 11 + (i >> 8));
}

class RowPlanReaderTest : public ::testing::Test {
protected:
    RowPlanReaderTest() : store(disks) {
        disks.otherAvailable = 5ull << 30;
        EXPECT_TRUE(store.Open(dir.Path()));
    }
    // A block of `rows` rows of `rowBytes` after `offset` bytes, written through a plain view.
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
    // Whether p holds bytes [begin, end) of the row.
    static bool PartIs(const uint8_t* p, uint32_t row, uint32_t begin, uint32_t end) {
        if (!p) return false;
        for (uint32_t i = begin; i < end; ++i)
            if (p[i - begin] != Pattern(row, i)) return false;
        return true;
    }

    test::TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
    FileDynamicStore store;
};

TEST_F(RowPlanReaderTest, RandomPlansGiveTheRightBytes) {
    std::mt19937 rng(7);
    auto pick = [&](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    };
    for (int round = 0; round < 60; ++round) {
        const uint32_t rowBytes = pick(0, 3) == 0 ? pick(9000, 20000) : pick(1, 900);
        const uint32_t rows = pick(1, 120);
        const uint32_t offset = pick(0, 100);
        BlockHandle h = MakeRows(offset, rowBytes, rows);
        // A monotonic plan with gaps and repeats, sometimes reaching past the last row.
        std::vector<uint32_t> plan;
        for (uint32_t r = 0; r < rows + 3; r += pick(1, 4)) {
            plan.push_back(r);
            if (pick(0, 5) == 0) plan.push_back(r);
        }
        const bool falling = pick(0, 1) != 0;
        if (falling) std::reverse(plan.begin(), plan.end());
        const uint32_t begin = pick(0, rowBytes - 1);
        const uint32_t end = pick(begin + 1, rowBytes);
        const uint64_t buffer = pick(0, 2) == 0 ? 1 : pick(1, 40000);
        ReadBufferPool pool(pick(0, 1) ? 0 : 1 << 20);
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " rowBytes " << rowBytes << " rows " << rows
                     << " part " << begin << ".." << end << " buffer " << buffer);
        const bool pooled = pick(0, 1) != 0;
        RowPlanReader reader(store, h, offset, rowBytes, rows, plan, begin, end, buffer,
                             pooled ? &pool : nullptr);
        EXPECT_EQ(reader.ByteBegin(), begin);
        EXPECT_EQ(reader.ByteEnd(), end);
        // Ask in plan order, skipping some rows (a layer the walk no longer reaches), asking
        // some twice, and now and then a row the plan does not hold.
        std::vector<uint32_t> asked;
        for (uint32_t r : plan) {
            if (pick(0, 4) == 0) continue;
            const uint8_t* p = reader.Row(r);
            if (r >= rows) {
                EXPECT_EQ(p, nullptr) << r;
                continue;
            }
            ASSERT_TRUE(PartIs(p, r, begin, end)) << r;
            if (pick(0, 3) == 0) {
                ASSERT_TRUE(PartIs(reader.Row(r), r, begin, end)) << r;
            }
            if (pick(0, 9) == 0) {
                const uint32_t other = pick(0, rows - 1);
                ASSERT_TRUE(PartIs(reader.Row(other), other, begin, end)) << "unplanned " << other;
            }
        }
    }
}

TEST_F(RowPlanReaderTest, PoolLendsTheSmallestFittingBufferAndKeepsWithinItsLimit) {
    ReadBufferPool pool(1000);
    ReadBufferPool::Buffer a = pool.Take(300);
    ASSERT_TRUE(a.data);
    EXPECT_EQ(a.bytes, 300u);
    const uint8_t* aData = a.data.get();
    ReadBufferPool::Buffer b = pool.Take(600);
    const uint8_t* bData = b.data.get();
    pool.Give(std::move(a));
    pool.Give(std::move(b));
    EXPECT_EQ(pool.KeptBytes(), 900u);
    // The smallest that fits is lent again; one too large for any is made fresh.
    ReadBufferPool::Buffer c = pool.Take(200);
    EXPECT_EQ(c.data.get(), aData);
    ReadBufferPool::Buffer d = pool.Take(700);
    EXPECT_NE(d.data.get(), bData);
    EXPECT_EQ(d.bytes, 700u);
    EXPECT_EQ(pool.KeptBytes(), 600u);
    // Giving back past the limit frees the smallest kept ones first; a buffer above the
    // limit is not kept at all.
    pool.Give(std::move(d));
    EXPECT_EQ(pool.KeptBytes(), 700u);
    pool.Give(std::move(c));
    EXPECT_EQ(pool.KeptBytes(), 1000u);
    pool.Give(pool.Take(2000));
    EXPECT_EQ(pool.KeptBytes(), 1000u);
    pool.Give({});
    EXPECT_EQ(pool.KeptBytes(), 1000u);
}

TEST_F(RowPlanReaderTest, PooledBuffersGoBackWhenTheReaderGoes) {
    const uint32_t rowBytes = 500, rows = 20;
    BlockHandle h = MakeRows(0, rowBytes, rows);
    std::vector<uint32_t> plan{3, 4, 5, 9};
    ReadBufferPool pool(1 << 20);
    for (int pass = 0; pass < 3; ++pass) {
        RowPlanReader reader(store, h, 0, rowBytes, rows, plan, 0, rowBytes, 4000, &pool);
        EXPECT_EQ(pool.KeptBytes(), pass == 0 ? 0u : 4000u);
        for (uint32_t r : plan) ASSERT_TRUE(PartIs(reader.Row(r), r, 0, rowBytes)) << r;
        EXPECT_EQ(pool.KeptBytes(), 0u) << "lent out while reading";
    }
    EXPECT_EQ(pool.KeptBytes(), 4000u);
}

TEST_F(RowPlanReaderTest, ConsecutiveWholeRowsAreReadInBufferSizedRuns) {
    const uint32_t rowBytes = 1000, rows = 95;
    BlockHandle h = MakeRows(40, rowBytes, rows);
    std::vector<uint32_t> plan(rows);
    for (uint32_t r = 0; r < rows; ++r) plan[r] = rows - 1 - r;  // top of the picture first
    // The buffer holds 10 rows (rounded placement aside: one run per refill).
    RowPlanReader reader(store, h, 40, rowBytes, rows, plan, 0, rowBytes, 10 * rowBytes);
    for (uint32_t r : plan) ASSERT_TRUE(PartIs(reader.Row(r), r, 0, rowBytes)) << r;
    EXPECT_EQ(reader.ReadCount(), 10u);
    EXPECT_EQ(reader.BytesRead(), uint64_t(rows) * rowBytes);
}

TEST_F(RowPlanReaderTest, SkippedRowsAreNeverRead) {
    // Wide rows, every fourth asked: the bytes between are too many to read through.
    const uint32_t rowBytes = RowPlanReader::kJoinGapBytes + 4000, rows = 40;
    BlockHandle h = MakeRows(0, rowBytes, rows);
    std::vector<uint32_t> plan;
    for (uint32_t r = 0; r < rows; r += 4) plan.push_back(r);
    RowPlanReader whole(store, h, 0, rowBytes, rows, plan, 0, rowBytes, 1 << 20);
    for (uint32_t r : plan) ASSERT_TRUE(PartIs(whole.Row(r), r, 0, rowBytes)) << r;
    EXPECT_EQ(whole.BytesRead(), uint64_t(plan.size()) * rowBytes);

    // Only part of each row: every row is read on its own, just that part.
    const uint32_t begin = 100, end = 1100;
    RowPlanReader part(store, h, 0, rowBytes, rows, plan, begin, end, 1 << 20);
    for (uint32_t r : plan) ASSERT_TRUE(PartIs(part.Row(r), r, begin, end)) << r;
    EXPECT_EQ(part.ReadCount(), plan.size());
    EXPECT_EQ(part.BytesRead(), uint64_t(plan.size()) * (end - begin));
}

TEST_F(RowPlanReaderTest, NarrowGapsAreReadThroughInOneCall) {
    const uint32_t rowBytes = 400, rows = 30;
    BlockHandle h = MakeRows(8, rowBytes, rows);
    std::vector<uint32_t> plan;
    for (uint32_t r = 0; r < rows; ++r) plan.push_back(r);
    RowPlanReader reader(store, h, 8, rowBytes, rows, plan, 120, 200, 1 << 20);
    for (uint32_t r : plan) ASSERT_TRUE(PartIs(reader.Row(r), r, 120, 200)) << r;
    EXPECT_EQ(reader.ReadCount(), 1u);
    EXPECT_EQ(reader.BytesRead(), uint64_t(rows - 1) * rowBytes + 80);

    // Every third row, falling: still one call through the rows between.
    std::vector<uint32_t> sparse;
    for (uint32_t r = rows; r-- > 0;)
        if (r % 3 == 1) sparse.push_back(r);
    RowPlanReader skipping(store, h, 8, rowBytes, rows, sparse, 0, rowBytes, 1 << 20);
    for (uint32_t r : sparse) ASSERT_TRUE(PartIs(skipping.Row(r), r, 0, rowBytes)) << r;
    EXPECT_EQ(skipping.ReadCount(), 1u);
    EXPECT_EQ(skipping.BytesRead(), uint64_t(sparse.front() - sparse.back() + 1) * rowBytes);
}

TEST_F(RowPlanReaderTest, RowsItCannotGiveAreNull) {
    const uint32_t rowBytes = 100, rows = 50;
    BlockHandle h = MakeRows(0, rowBytes, rows);
    std::vector<uint32_t> plan{0, 1, 2, 48, 49, 50, 60};
    // Rows claimed beyond the payload are cut at its end.
    RowPlanReader tooMany(store, h, 1, rowBytes, 60, plan, 0, rowBytes, 1000);
    EXPECT_NE(tooMany.Row(48), nullptr);
    EXPECT_EQ(tooMany.Row(49), nullptr);
    EXPECT_EQ(tooMany.Row(60), nullptr);
    // A part past the row is clamped to it; an empty part gives nothing.
    RowPlanReader clamped(store, h, 0, rowBytes, rows, plan, 90, 500, 1000);
    EXPECT_EQ(clamped.ByteEnd(), rowBytes);
    EXPECT_TRUE(PartIs(clamped.Row(2), 2, 90, rowBytes));
    EXPECT_EQ(RowPlanReader(store, h, 0, rowBytes, rows, plan, 30, 30, 1000).Row(1), nullptr);
    EXPECT_EQ(RowPlanReader(store, 0, 0, rowBytes, 1, plan, 0, rowBytes, 1000).Row(0), nullptr);
    EXPECT_EQ(RowPlanReader(store, h, 0, 0, 1, plan, 0, 0, 1000).Row(0), nullptr);
    // An empty plan still reads what is asked.
    RowPlanReader none(store, h, 0, rowBytes, rows, {}, 0, rowBytes, 1000);
    EXPECT_TRUE(PartIs(none.Row(7), 7, 0, rowBytes));
}

}  // namespace
}  // namespace zelvo
