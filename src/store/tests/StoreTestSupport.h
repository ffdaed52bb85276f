// What the scratch store's tests share: the fixture with a store in a temporary folder on a disk
// with plenty of room, and reading the file behind the store's back.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "store/FileDynamicStore.h"
#include "store/SpaceFailures.h"
#include "testsupport/TempDir.h"

namespace zelvo::storetest {

using Store = FileDynamicStore;
inline constexpr uint64_t kPlenty = 5ull << 30;
inline constexpr uint8_t kStart[8] = {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
inline constexpr uint8_t kEnd[8] = {0xFF, 1, 0xFF, 1, 0xFF, 1, 0xFF, 1};

// Bytes of a file read through a fresh descriptor, independent of the store's own views.
inline std::vector<uint8_t> ReadAt(const std::string& path, uint64_t offset, size_t length) {
    std::vector<uint8_t> out(length);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    ssize_t got = pread(fd, out.data(), length, off_t(offset));
    close(fd);
    if (got != ssize_t(length)) return {};
    return out;
}

inline void WriteAt(const std::string& path, uint64_t offset, const void* data, size_t length) {
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, data, length, off_t(offset)), ssize_t(length));
    close(fd);
}

inline bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

inline int64_t SizeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

inline bool Equals(const std::vector<uint8_t>& v, const uint8_t* p) {
    return v.size() == 8 && std::memcmp(v.data(), p, 8) == 0;
}

inline bool SameHeader(const FileDynamicStore::Header& a, const FileDynamicStore::Header& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Free-list sizes from head to tail.
inline std::vector<uint32_t> FreeSizes(const Store& s) {
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

}  // namespace zelvo::storetest
