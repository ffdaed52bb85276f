// Saving must never damage the previous file: failures at every stage of every writer leave
// it byte for byte as it was, and no temporary file behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "TestImages.h"
#include "files/RasterFile.h"
#include "files/SafeFile.h"
#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    DIR* d = opendir(folder.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            out.push_back(e->d_name);
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

// Lets `budget` bytes through, then reports a full disk; can also fail the sync or the rename.
class FaultyOps : public FileOps {
public:
    size_t budget = SIZE_MAX;
    bool dieWhenSpent = false;  // _exit instead of a full disk
    bool failSync = false;
    bool failRename = false;
    int renameErrno = EXDEV;
    std::string refuseFolder;  // new files there are refused, as in a folder not ours
    // The first temporary file is taken, locked and removed at once by "another save's"
    // clean-up, between its creation and our lock.
    bool stealFirst = false;
    int stolen = -1;
    int writes = 0;

    ~FaultyOps() override {
        if (stolen >= 0) close(stolen);
    }

    ssize_t PWrite(int fd, const void* data, size_t size, off_t offset) override {
        ++writes;
        if (size > budget && dieWhenSpent) {
            // The process killed in the middle of the write.
            if (budget > 0) FileOps::PWrite(fd, data, budget, offset);
            _exit(0);
        }
        if (size > budget) {
            if (budget == 0) {
                errno = ENOSPC;
                return -1;
            }
            size = budget;
        }
        ssize_t n = FileOps::PWrite(fd, data, size, offset);
        if (n > 0) budget -= size_t(n);
        return n;
    }
    int Sync(int fd) override {
        if (failSync) {
            errno = EIO;
            return -1;
        }
        return FileOps::Sync(fd);
    }
    int Rename(const char* from, const char* to) override {
        if (failRename) {
            errno = renameErrno;
            return -1;
        }
        return FileOps::Rename(from, to);
    }
    int Create(const char* path, int flags, mode_t mode) override {
        if (!refuseFolder.empty() && std::string(path).rfind(refuseFolder, 0) == 0) {
            errno = EACCES;
            return -1;
        }
        const int fd = FileOps::Create(path, flags, mode);
        if (fd >= 0 && stealFirst && stolen < 0) {
            stolen = open(path, O_RDONLY | O_CLOEXEC);
            flock(stolen, LOCK_EX);
            unlink(path);
        }
        return fd;
    }
};

struct Format {
    int type;
    const char* name;
    int quality;
};
const Format kFormats[] = {{kFileBmp, "old.bmp", 0},  {kFilePng, "old.png", 0},
                           {kFileTiff, "old.tif", 9}, {kFileGif, "old.gif", 0},
                           {kFileJpeg, "old.jpg", 8}, {kFileJpeg, "old.jpeg", 12}};

TEST(SafeSave, FailuresLeaveThePreviousFileIntact) {
    const auto image = test::SmoothImage(300, 200, RowOrder::BottomUp);
    const std::vector<uint8_t> previous = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};
    enum Stage { NoSpaceAtOnce, NoSpaceMidway, SyncFails, RenameFails };
    for (const Format& f : kFormats) {
        for (Stage stage : {NoSpaceAtOnce, NoSpaceMidway, SyncFails, RenameFails}) {
            SCOPED_TRACE(std::string(f.name) + " stage " + std::to_string(stage));
            test::TempDir dir;
            const std::string path = dir.File(f.name);
            test::WriteBytes(path, previous);
            FaultyOps ops;
            ops.budget = stage == NoSpaceAtOnce ? 0 : stage == NoSpaceMidway ? 1000 : SIZE_MAX;
            ops.failSync = stage == SyncFails;
            ops.failRename = stage == RenameFails;
            {
                ScopedFileOps scoped(&ops);
                EXPECT_FALSE(WriteRasterFile(path, image, f.type, f.quality, kTiffLzw));
            }
            EXPECT_EQ(test::ReadBytes(path), previous);
            EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{f.name});
        }
    }
}

TEST(SafeSave, SuccessReplacesTheFileAndLeavesNothingElse) {
    const auto image = test::SmoothImage(30, 20, RowOrder::BottomUp);
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        // Names up to the file system's 255 bytes, the longest in two-byte letters.
        std::string longest;
        while (longest.size() + 2 + std::strlen(f.name) <= 255) longest += "\xC3\xA9";
        for (const std::string& name : {std::string(f.name), longest + f.name}) {
            test::TempDir dir;
            const std::string path = dir.File(name);
            test::WriteBytes(path, {'o', 'l', 'd'});
            ASSERT_TRUE(WriteRasterFile(path, image, f.type, f.quality, kTiffDeflate));
            EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{name});
            EXPECT_TRUE(ReadRasterFile(path).ok);
        }
    }
}

// Saving keeps the file's permissions, owner and group, and writes through links.
TEST(SafeSave, KeepsPermissionsAndFollowsLinks) {
    test::TempDir dir;
    const auto image = test::SmoothImage(10, 10, RowOrder::BottomUp);
    const std::string real = dir.File("real.bmp");
    test::WriteBytes(real, {1, 2, 3});
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(real.c_str(), 1001, 2000), 0);
    }
    ASSERT_EQ(symlink(real.c_str(), dir.File("link.bmp").c_str()), 0);
    ASSERT_TRUE(WriteRasterFile(dir.File("link.bmp"), image, kFileBmp, 0, 0));
    struct stat st;
    ASSERT_EQ(lstat(dir.File("link.bmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_TRUE(st.st_uid == 1001 && st.st_gid == 2000);
    }
    EXPECT_EQ(test::ReadBytes(real).size(), 54u + 32u * 10u);
    // A link to a file not there yet: the file is made, the link stays.
    ASSERT_EQ(symlink("later.bmp", dir.File("ahead.bmp").c_str()), 0);
    ASSERT_TRUE(WriteRasterFile(dir.File("ahead.bmp"), image, kFileBmp, 0, 0));
    ASSERT_EQ(lstat(dir.File("ahead.bmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(ReadRasterFile(dir.File("later.bmp")).ok);
    EXPECT_EQ(Names(dir.Path()),
              (std::vector<std::string>{"ahead.bmp", "later.bmp", "link.bmp", "real.bmp"}));
}

TEST(SafeSave, UnwritablePlacesFailCleanly) {
    test::TempDir dir;
    const auto image = test::SmoothImage(10, 10, RowOrder::BottomUp);
    EXPECT_FALSE(WriteRasterFile(dir.File("missing/x.bmp"), image, kFileBmp, 0, 0));
    test::WriteBytes(dir.File("plain"), {1});
    EXPECT_FALSE(WriteRasterFile(dir.File("plain/x.png"), image, kFilePng, 0, 0));
    EXPECT_FALSE(WriteRasterFile(dir.Path(), image, kFileBmp, 0, 0));  // a folder name
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"plain"});
}

// TMPDIR set to `folder` while it lives, then as it was.
class ScopedTmpdir {
public:
    explicit ScopedTmpdir(const std::string& folder) {
        const char* previous = std::getenv("TMPDIR");
        m_had = previous != nullptr;
        if (previous) m_previous = previous;
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~ScopedTmpdir() {
        if (m_had)
            setenv("TMPDIR", m_previous.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    ScopedTmpdir(const ScopedTmpdir&) = delete;
    ScopedTmpdir& operator=(const ScopedTmpdir&) = delete;

private:
    bool m_had = false;
    std::string m_previous;
};

// A writable file in a folder that takes no new files is written in place, through a temporary
// file in the system's temporary folder; a copy that fails midway leaves the old bytes. A new
// file there still cannot be made.
TEST(SafeSave, AFolderThatTakesNoNewFilesHasItsFileWrittenInPlace) {
    test::TempDir dir, temp;
    const ScopedTmpdir tmpdir(temp.Path());
    const auto image = test::SmoothImage(40, 30, RowOrder::BottomUp);
    const std::string path = dir.File("x.bmp");
    const std::vector<uint8_t> previous = {5, 6};
    ASSERT_TRUE(WriteRasterFile(path, image, kFileBmp, 0, 0));
    const size_t whole = test::ReadBytes(path).size();
    for (const bool diskFills : {false, true}) {
        SCOPED_TRACE(diskFills ? "the disk fills while copying" : "room enough");
        test::WriteBytes(path, previous);
        struct stat before, after;
        ASSERT_EQ(stat(path.c_str(), &before), 0);
        FaultyOps ops;
        ops.refuseFolder = dir.Path();
        if (diskFills) ops.budget = whole + 100;  // the temporary file, then 100 bytes of the copy
        {
            ScopedFileOps scoped(&ops);
            EXPECT_EQ(WriteRasterFile(path, image, kFileBmp, 0, 0), !diskFills);
            EXPECT_FALSE(WriteRasterFile(dir.File("new.bmp"), image, kFileBmp, 0, 0));
        }
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        if (diskFills)
            EXPECT_EQ(test::ReadBytes(path), previous);
        else
            EXPECT_TRUE(ReadRasterFile(path).ok);
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"x.bmp"});
        EXPECT_TRUE(Names(temp.Path()).empty());
    }
}

// A file with another name (a hard link) is written in place: both names show what was saved.
TEST(SafeSave, AFileWithTwoNamesKeepsBoth) {
    test::TempDir dir, temp;
    const ScopedTmpdir tmpdir(temp.Path());
    const std::string path = dir.File("x.bmp"), other = dir.File("y.bmp");
    test::WriteBytes(path, {1, 2, 3});
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    const auto image = test::SmoothImage(40, 30, RowOrder::BottomUp);
    ASSERT_TRUE(WriteRasterFile(path, image, kFileBmp, 0, 0));
    struct stat a, b;
    ASSERT_EQ(stat(path.c_str(), &a), 0);
    ASSERT_EQ(stat(other.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_nlink, 2u);
    EXPECT_TRUE(ReadRasterFile(other).ok);
    EXPECT_TRUE(Names(temp.Path()).empty());
}

// An in-place save killed while it copies over the file leaves it half new, half old: the next
// start puts the old bytes back and says so, and leaves nothing of the save behind.
TEST(SafeSave, AnInPlaceSaveKilledMidwayIsPutBackAtTheNextStart) {
    test::TempDir dir, temp;
    const ScopedTmpdir tmpdir(temp.Path());
    const auto image = test::SmoothImage(40, 30, RowOrder::BottomUp);
    const std::string path = dir.File("x.bmp");
    ASSERT_TRUE(WriteRasterFile(path, image, kFileBmp, 0, 0));
    const size_t whole = test::ReadBytes(path).size();
    const std::vector<uint8_t> previous(whole + 500, 7);
    test::WriteBytes(path, previous);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FaultyOps ops;
        ops.refuseFolder = dir.Path();
        ops.budget = whole + 100;  // the temporary file, then 100 bytes of the copy
        ops.dieWhenSpent = true;
        ScopedFileOps scoped(&ops);
        WriteRasterFile(path, image, kFileBmp, 0, 0);
        _exit(1);  // not killed: the test's premise failed
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_NE(test::ReadBytes(path), previous);  // half written
    ScopedRecordingMessages messages;
    // The temporary folder may be shared: a record others could have written steers nothing.
    std::string record;
    for (const std::string& name : Names(temp.Path()))
        if (name.size() > 11 && name.compare(name.size() - 11, 11, "-old.target") == 0)
            record = temp.File(name);
    ASSERT_FALSE(record.empty());
    ASSERT_EQ(chmod(record.c_str(), 0622), 0);
    EXPECT_EQ(RestoreInterruptedSaves(), 0);
    EXPECT_NE(test::ReadBytes(path), previous);
    ASSERT_EQ(chmod(record.c_str(), 0600), 0);
    EXPECT_EQ(RestoreInterruptedSaves(), 1);
    EXPECT_EQ(test::ReadBytes(path), previous);
    EXPECT_EQ(messages.Texts(),
              std::vector<std::string>{"The save of " + path +
                                       " was cut off before it ended: the file is back as it was "
                                       "before that save."});
    EXPECT_TRUE(Names(temp.Path()).empty());
    EXPECT_EQ(RestoreInterruptedSaves(), 0);
}

// A sticky folder refuses to let another user's file be replaced, though it may be written: it
// is written in place. A temporary file that another save's clean-up takes in the instant
// before it is locked is given up for another.
TEST(SafeSave, StickyFoldersAndRacingCleanUps) {
    test::TempDir dir;
    const auto image = test::SmoothImage(40, 30, RowOrder::BottomUp);
    const std::string path = dir.File("x.png");
    for (const bool sticky : {true, false}) {
        SCOPED_TRACE(sticky ? "sticky folder" : "racing clean-up");
        test::WriteBytes(path, {1, 2, 3});
        FaultyOps ops;
        ops.failRename = sticky;
        ops.renameErrno = EPERM;
        ops.stealFirst = !sticky;
        {
            ScopedFileOps scoped(&ops);
            EXPECT_TRUE(WriteRasterFile(path, image, kFilePng, 0, 0));
        }
        EXPECT_TRUE(ReadRasterFile(path).ok);
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"x.png"});
    }
}

// A file made read-only is kept from a save, as writing into it would be, although its folder
// would let a rename replace it. Root may write anything, so as root an ordinary user saves.
TEST(SafeSave, ReadOnlyFileIsKept) {
    test::TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    const std::string kept = dir.File("kept.bmp");
    test::WriteBytes(kept, {5, 6});
    ASSERT_EQ(chmod(kept.c_str(), 0444), 0);
    // 0: a new file in the folder written and the read-only one refused; 1: it was not;
    // 2: the folder cannot be written (no user here to try it as).
    auto attempt = [&] {
        SafeFile fresh(dir.File("fresh.bmp"));
        if (!fresh.Open() || !fresh.Write("x", 1) || !fresh.Commit()) return 2;
        SafeFile readOnly(kept);
        return readOnly.Open() ? 1 : 0;
    };
    int result = 0;
    if (geteuid() != 0) {
        result = attempt();
    } else {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 ? attempt() : 2);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        result = WEXITSTATUS(status);
    }
    if (result == 2) GTEST_SKIP() << "no unprivileged user can write into a test folder here";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::ReadBytes(kept), (std::vector<uint8_t>{5, 6}));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"fresh.bmp", "kept.bmp"}));
}

TEST(SafeFile, SeeksReadsAndRewritesLikeAFile) {
    test::TempDir dir;
    SafeFile f(dir.File("s.bin"));
    ASSERT_TRUE(f.Open());
    EXPECT_EQ(f.TempPath().find(dir.Path() + ".s.bin.zelvo-tmp-"), 0u);
    ASSERT_TRUE(f.Write("abcdef", 6));
    ASSERT_TRUE(f.Seek(2));
    ASSERT_TRUE(f.Write("XY", 2));
    EXPECT_EQ(f.Position(), 4u);
    EXPECT_EQ(f.Size(), 6u);
    char back[6];
    ASSERT_EQ(f.ReadAt(0, back, 6), 6u);
    EXPECT_EQ(std::string(back, 6), "abXYef");
    ASSERT_TRUE(f.Seek(8));
    ASSERT_TRUE(f.Write("Z", 1));
    EXPECT_EQ(f.Size(), 9u);
    ASSERT_TRUE(f.Commit());
    const auto bytes = test::ReadBytes(dir.File("s.bin"));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'a', 'b', 'X', 'Y', 'e', 'f', 0, 0, 'Z'}));
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"s.bin"});
}

// Pieces below and above the buffer's size, in any order and after seeks, land where a plain
// file would put them; a disk that fills during a large piece fails the save.
TEST(SafeFile, LargeAndSmallPiecesLandInPlace) {
    struct Step {
        uint64_t seekTo;  // UINT64_MAX: no seek
        size_t size;
    };
    constexpr uint64_t kHere = UINT64_MAX;
    constexpr size_t kLarge = 300000, kHuge = 1 << 20;
    const std::vector<std::vector<Step>> cases = {
        {{kHere, 10}, {kHere, kLarge}, {kHere, 7}},
        {{kHere, kHuge}, {kHere, kLarge}},
        {{kHere, 100}, {kHere, kLarge}, {50, 20}, {kHere, kLarge}, {3, 5}},
        {{kHere, kLarge}, {100, kLarge}, {kHere, 1}},
        {{5000, kHuge}, {0, 10}},
    };
    test::TempDir dir;
    uint8_t value = 1;
    for (size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(c);
        std::vector<uint8_t> expected;
        SafeFile f(dir.File("p.bin"));
        ASSERT_TRUE(f.Open());
        uint64_t at = 0;
        for (const Step& step : cases[c]) {
            if (step.seekTo != kHere) {
                ASSERT_TRUE(f.Seek(step.seekTo));
                at = step.seekTo;
            }
            std::vector<uint8_t> piece(step.size);
            for (uint8_t& b : piece) b = value++;
            ASSERT_TRUE(f.Write(piece.data(), piece.size()));
            if (expected.size() < at + piece.size()) expected.resize(at + piece.size());
            std::copy(piece.begin(), piece.end(), expected.begin() + ptrdiff_t(at));
            at += piece.size();
            EXPECT_EQ(f.Position(), at);
            EXPECT_EQ(f.Size(), expected.size());
        }
        ASSERT_TRUE(f.Commit());
        EXPECT_EQ(test::ReadBytes(dir.File("p.bin")), expected);
    }
    test::WriteBytes(dir.File("p.bin"), {'o', 'l', 'd'});
    for (size_t budget : {size_t(0), size_t(100), size_t(kLarge - 1)}) {
        SCOPED_TRACE(budget);
        FaultyOps ops;
        ops.budget = budget;
        ScopedFileOps scoped(&ops);
        SafeFile f(dir.File("p.bin"));
        ASSERT_TRUE(f.Open());
        const std::vector<uint8_t> piece(kLarge, 9);
        EXPECT_TRUE(f.Write(piece.data(), 10));
        EXPECT_FALSE(f.Write(piece.data(), piece.size()));
        EXPECT_FALSE(f.Write(piece.data(), 1));
        EXPECT_FALSE(f.Commit());
        EXPECT_EQ(test::ReadBytes(dir.File("p.bin")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"p.bin"});
}

TEST(SafeFile, AbandonedOrDestroyedFilesVanish) {
    test::TempDir dir;
    {
        SafeFile f(dir.File("a"));
        ASSERT_TRUE(f.Open());
        ASSERT_TRUE(f.Write("x", 1));
        EXPECT_EQ(Names(dir.Path()).size(), 1u);
    }
    EXPECT_TRUE(Names(dir.Path()).empty());
    SafeFile g(dir.File("b"));
    ASSERT_TRUE(g.Open());
    g.Abandon();
    EXPECT_FALSE(g.Write("x", 1));
    EXPECT_FALSE(g.Commit());
    EXPECT_TRUE(Names(dir.Path()).empty());
}

// A save interrupted in a child: by a signal the program can catch, the temporary file goes
// at once; by SIGKILL it stays until the next save to that folder, which removes it while a
// save still running in another process keeps its own.
TEST(SafeFile, InterruptedSavesLeaveNothingAfterTheNextSave) {
    test::TempDir dir;
    test::WriteBytes(dir.File("doc.bmp"), {'o', 'l', 'd'});
    // Another save in progress (this process) must survive the clean-up.
    SafeFile running(dir.File("other.bmp"));
    ASSERT_TRUE(running.Open());
    ASSERT_TRUE(running.Write("r", 1));
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(sig);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            SafeFile f(dir.File("doc.bmp"));
            const std::vector<uint8_t> half(300000, 7);
            const char ok = f.Open() && f.Write(half.data(), half.size()) ? 'y' : 'n';
            if (write(fds[1], &ok, 1) != 1) _exit(3);
            for (;;) pause();
        }
        close(fds[1]);
        char ready = 0;
        ASSERT_EQ(read(fds[0], &ready, 1), 1);
        close(fds[0]);
        ASSERT_EQ(ready, 'y');
        EXPECT_EQ(Names(dir.Path()).size(), 3u);  // doc, its temporary, other's temporary
        ASSERT_EQ(kill(pid, sig), 0);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(Names(dir.Path()).size(), sig == SIGKILL ? 3u : 2u);
        // The next save to the folder.
        SafeFile next(dir.File("new.bmp"));
        ASSERT_TRUE(next.Open());
        ASSERT_TRUE(next.Write("n", 1));
        ASSERT_TRUE(next.Commit());
        const auto names = Names(dir.Path());
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(names[1], "doc.bmp");
        EXPECT_EQ(names[2], "new.bmp");
        EXPECT_EQ(names[0].rfind(".other.bmp.zelvo-tmp-", 0), 0u) << names[0];
        EXPECT_EQ(test::ReadBytes(dir.File("doc.bmp")), (std::vector<uint8_t>{'o', 'l', 'd'}));
        std::remove(dir.File("new.bmp").c_str());
    }
    ASSERT_TRUE(running.Commit());
}

}  // namespace
}  // namespace zelvo
