// The scratch store against a model: random allocations, frees, rewrites and shrinks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "store/RowCursor.h"
#include "store/tests/StoreTestSupport.h"

namespace zelvo {
namespace {

using namespace storetest;
using StoreModelTest = StoreTest;

// ---- Against a model ---------------------------------------------------------------------------

// A random run of allocations, frees, rewrites and shrinks, checked after every step against a
// map of live blocks and the bytes written into each.
TEST_F(StoreModelTest, RandomOperationsMatchAModel) {
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
