#include "store/KeptView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

class KeptViewTest : public ::testing::Test {
protected:
    KeptViewTest() { disks.otherAvailable = 5ull << 30; }
    std::unique_ptr<FileDynamicStore> OpenStore(const std::string& folder) {
        auto s = std::make_unique<FileDynamicStore>(disks);
        EXPECT_TRUE(s->Open(folder));
        return s;
    }
    // Whether every payload byte the view shows is `byte`.
    static bool Shows(const MappedView& v, uint8_t byte) {
        return v.IsValid() && std::all_of(v.Data(), v.Data() + v.Length(),
                                          [byte](uint8_t b) { return b == byte; });
    }
    test::TempDir dir, other;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
};

// The kept view is used again only for the same bytes of the same file; in every other case
// the view shows the block asked for.
TEST_F(KeptViewTest, ReusedOnlyForTheSameBytesOfTheSameFile) {
    constexpr uint64_t kBytes = 3 * 0x100000 + 100;
    auto s = OpenStore(dir.Path());
    const BlockHandle a = s->Allocate(kBytes), b = s->Allocate(kBytes);
    ASSERT_TRUE(a && b);
    s->Fill(a, 0xAA, false);
    s->Fill(b, 0xBB, false);
    const uint64_t aOffset = s->Payload(a).offset;
    KeptView kept;
    KeptView::Key key;

    MappedView v = kept.Take(*s, a, key);
    ASSERT_TRUE(Shows(v, 0xAA));
    EXPECT_EQ(v.Length(), s->Payload(a).length);
    kept.Give(std::move(v), key);
    EXPECT_TRUE(Shows(kept.Take(*s, b, key), 0xBB));
    v = kept.Take(*s, a, key);
    const uint8_t* first = v.Data();
    kept.Give(std::move(v), key);
    // The same block: the kept mapping itself.
    v = kept.Take(*s, a, key);
    EXPECT_EQ(v.Data(), first);
    EXPECT_TRUE(Shows(v, 0xAA));
    kept.Give(std::move(v), key);

    // Each case asks for a block that differs from the kept view's only as its name says; the
    // view taken must show the asked block's bytes.
    std::unique_ptr<FileDynamicStore> s2;
    BlockHandle c = 0, d = 0, e = 0;
    struct Case {
        const char* name;
        std::function<void()> change;
        std::function<FileDynamicStore&()> store;
        std::function<BlockHandle()> asked;
        uint8_t byte;
    };
    const Case cases[] = {
        // The file cut back and grown again: the same offset and size, a later generation.
        {"the same place after a reset",
         [&] {
             s->Reset();
             c = s->Allocate(kBytes);
             s->Fill(c, 0xCC, false);
         },
         [&]() -> FileDynamicStore& { return *s; }, [&] { return c; }, 0xCC},
        // Another store's file: the same offset, size and generation.
        {"the same place in another file",
         [&] {
             s2 = OpenStore(other.Path());
             s2->Reset();  // its generation now equals the first store's
             d = s2->Allocate(kBytes);
             s2->Fill(d, 0xDD, false);
         },
         [&]() -> FileDynamicStore& { return *s2; }, [&] { return d; }, 0xDD},
        {"another block of the same file",
         [&] {
             e = s2->Allocate(kBytes);
             s2->Fill(e, 0xEE, false);
         },
         [&]() -> FileDynamicStore& { return *s2; }, [&] { return e; }, 0xEE},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        k.change();
        const BlockHandle h = k.asked();
        ASSERT_NE(h, 0u);
        const KeptView::Key before = key;
        v = kept.Take(k.store(), h, key);
        EXPECT_FALSE(key == before);
        EXPECT_TRUE(Shows(v, k.byte));
        kept.Give(std::move(v), key);
    }
    // The cases differed from the kept view only as they said.
    EXPECT_EQ(s->Payload(c).offset, aOffset);
    EXPECT_EQ(s2->Payload(d).offset, aOffset);
    EXPECT_EQ(s2->Generation(), s->Generation());
    // Taken out while in use: a second user gets its own view.
    v = kept.Take(*s2, s2->GetHeader().usedHead, key);
    KeptView::Key key2;
    MappedView w = kept.Take(*s2, s2->GetHeader().usedHead, key2);
    EXPECT_TRUE(v.IsValid() && w.IsValid());
    EXPECT_NE(v.Data(), w.Data());
    EXPECT_TRUE(key == key2);
    // Nothing to map: invalid, and nothing shown.
    EXPECT_FALSE(kept.Take(*s, 0, key).IsValid());
    EXPECT_TRUE(messages.Entries().empty());
}

}  // namespace
}  // namespace zelvo
