// The scratch store's file on disk: the names of the series, stale files taken back at start,
// removal when the store goes, at exit and on SIGTERM, and a disk that fills up.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "store/RowCursor.h"
#include "store/SeriesListing.h"
#include "store/tests/StoreTestSupport.h"

namespace zelvo {
namespace {

using namespace storetest;
class StoreFileTest : public StoreTest {
protected:
    // A store for each number, each expected to take that name of the series.
    std::vector<std::unique_ptr<Store>> OpenSeries(std::initializer_list<int> numbers) {
        std::vector<std::unique_ptr<Store>> stores;
        for (int i : numbers) {
            stores.push_back(OpenStore());
            EXPECT_EQ(stores.back()->FileName(), dir.File(Format("Photo Temp00%d.temp", i)));
        }
        return stores;
    }
    void ExpectNoFurtherStore() {
        messages.Clear();
        Store further(disks);
        EXPECT_FALSE(further.Open(dir.Path()));
        EXPECT_EQ(messages.Texts(),
                  std::vector<std::string>{
                      "Temporary file fails to create, \nthe program can not start."});
    }
};

// ---- File names and removal ----------------------------------------------------------------

TEST_F(StoreFileTest, NamesFollowTheSeries) {
    auto first = OpenStore();
    auto second = OpenStore();
    EXPECT_EQ(first->FileName(), dir.File("Photo Temp001.temp"));
    EXPECT_EQ(second->FileName(), dir.File("Photo Temp002.temp"));
    const auto more = OpenSeries({3, 4, 5, 6, 7, 8, 9});
    // All nine names held: no tenth store.
    ExpectNoFurtherStore();
    // A released name is taken again first; the folder may lack its final slash.
    first.reset();
    EXPECT_FALSE(Exists(dir.File("Photo Temp001.temp")));
    Store again(disks);
    std::string noSlash = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_TRUE(again.Open(noSlash));
    EXPECT_EQ(again.FileName(), dir.File("Photo Temp001.temp"));
    EXPECT_TRUE(Exists(dir.File("Photo Temp002.temp")));
}

TEST_F(StoreFileTest, StaleFileIsReused) {
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
TEST_F(StoreFileTest, StaleFilesOfTheSeriesAreReclaimedAtStart) {
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

// Files kept for recovery do not count against the nine running copies: the series goes on
// past them.
TEST_F(StoreFileTest, FilesKeptForRecoveryPushTheSeriesOn) {
    for (int i : {3, 5}) {
        const std::string kept = dir.File(Format("Photo Temp00%d.temp", i));
        for (const std::string& name : {kept, kept + ".journal"}) {
            int fd = open(name.c_str(), O_WRONLY | O_CREAT, 0600);
            ASSERT_GE(fd, 0);
            close(fd);
        }
    }
    // A name spelled otherwise is no name of the series.
    const int decoy = open(dir.File("Photo Temp0003.temp").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(decoy, 0);
    close(decoy);
    EXPECT_EQ(SeriesInFolder(dir.Path()), (std::vector<int>{3, 5}));
    const auto running = OpenSeries({1, 2, 4, 6, 7, 8, 9, 10, 11});
    ExpectNoFurtherStore();
    EXPECT_TRUE(Exists(dir.File("Photo Temp003.temp.journal")));
    EXPECT_TRUE(Exists(dir.File("Photo Temp005.temp")));
}

TEST_F(StoreFileTest, CreationFailsInAMissingFolder) {
    Store s(disks);
    EXPECT_FALSE(s.Open(dir.File("missing/")));
    EXPECT_EQ(
        messages.Texts(),
        std::vector<std::string>{"Temporary file fails to create, \nthe program can not start."});
    EXPECT_FALSE(s.IsOpen());
}

TEST_F(StoreFileTest, FileIsRemovedWhenTheStoreGoes) {
    std::string name;
    {
        auto s = OpenStore();
        name = s->FileName();
        s->Allocate(100);
        EXPECT_TRUE(Exists(name));
    }
    EXPECT_FALSE(Exists(name));
}

TEST_F(StoreFileTest, FileIsRemovedAtNormalExit) {
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

TEST_F(StoreFileTest, FileIsRemovedOnSigterm) {
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

TEST_F(StoreFileTest, FullDiskFailsAtGrowthAndKeepsTheStoreSound) {
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

}  // namespace
}  // namespace zelvo
