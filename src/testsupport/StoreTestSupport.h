// A real scratch store in a fresh folder, on a fake disk with plenty of room: the set-up the
// tests of the store, the layers, the history and everything built on them share.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "core/PercentTables.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "testsupport/TempDir.h"

namespace zelvo::test {

inline const PercentTables& SharedTables() {
    static const PercentTables tables;
    return tables;
}

class StoreFixture : public ::testing::Test {
protected:
    // Call through ASSERT_NO_FATAL_FAILURE: a store that does not open ends the test.
    void OpenStore() {
        disks.otherAvailable = uint64_t(1) << 40;
        disks.disks.push_back({dir.Path(), true, uint64_t(1) << 40});
        store = std::make_unique<FileDynamicStore>(disks);
        ASSERT_TRUE(store->Open(dir.Path())) << messages.Last();
    }
    // Everything the test made has been let go.
    void ExpectStoreEmpty(const char* what = "") {
        if (store) {
            EXPECT_EQ(store->UsedCount(), 0u) << what;
        }
    }

    TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
    std::unique_ptr<FileDynamicStore> store;
};

}  // namespace zelvo::test
