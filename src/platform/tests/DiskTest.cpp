#include "platform/Disk.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>

#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(FakeDiskService, AnswersFromTheLongestMatchingRoot) {
    FakeDiskService disks;
    disks.disks = {{"/", true, 100}, {"/mnt/d/", true, 200}, {"/mnt/dvd/", false, 300}};
    disks.systemRoot = "/";
    EXPECT_EQ(disks.AvailableBytes("/mnt/d/"), 200u);
    EXPECT_EQ(disks.AvailableBytes("/mnt/d"), 200u);
    EXPECT_EQ(disks.AvailableBytes("/mnt/d/sub/folder/"), 200u);
    EXPECT_EQ(disks.AvailableBytes("/mnt/dvd/x"), 300u);
    // "/mnt/dx" is not on /mnt/d/.
    EXPECT_EQ(disks.AvailableBytes("/mnt/dx/"), 100u);
    EXPECT_EQ(disks.AvailableBytes("/home/user"), 100u);
    EXPECT_EQ(disks.SystemRoot(), "/");
}

TEST(FakeDiskService, FoldersOffEveryDiskReportTheOtherAnswer) {
    FakeDiskService disks;
    disks.disks = {{"/mnt/d/", true, 200}};
    EXPECT_EQ(disks.AvailableBytes("/elsewhere/"), std::nullopt);
    disks.otherAvailable = 42;
    EXPECT_EQ(disks.AvailableBytes("/elsewhere/"), 42u);
    EXPECT_EQ(disks.AvailableBytes("/mnt/d/x/"), 200u);
}

TEST(FakeDiskService, RootsKeepTheirOrderAndOnlyListedFixedDisksAreFixed) {
    FakeDiskService disks;
    disks.disks = {{"/b/", true, 1}, {"/a/", false, 2}, {"/c d/", true, 3}};
    EXPECT_EQ(disks.DriveRoots(), (std::vector<std::string>{"/b/", "/a/", "/c d/"}));
    EXPECT_TRUE(disks.IsFixed("/b/"));
    EXPECT_FALSE(disks.IsFixed("/a/"));
    EXPECT_TRUE(disks.IsFixed("/c d/"));
    EXPECT_FALSE(disks.IsFixed("/z/"));
    EXPECT_FALSE(disks.IsFixed(""));
    ASSERT_NE(disks.Find("/a/"), nullptr);
    disks.Find("/a/")->fixed = true;
    EXPECT_TRUE(disks.IsFixed("/a/"));
    EXPECT_EQ(disks.Find("/nowhere/"), nullptr);
}

TEST(AppDisks, InstalledServiceIsUsedUntilCleared) {
    FakeDiskService fake;
    fake.systemRoot = "/fake/";
    SetAppDisks(&fake);
    EXPECT_EQ(&AppDisks(), &fake);
    EXPECT_EQ(AppDisks().SystemRoot(), "/fake/");
    SetAppDisks(nullptr);
    EXPECT_NE(&AppDisks(), &fake);
}

TEST(RealDiskService, AvailableBytesOfAFolderMatchStatvfs) {
    test::TempDir dir;
    RealDiskService disks;
    auto available = disks.AvailableBytes(dir.Path());
    ASSERT_TRUE(available.has_value());
    struct statvfs st {};
    ASSERT_EQ(statvfs(dir.Path().c_str(), &st), 0);
    uint64_t reference = uint64_t(st.f_bavail) * st.f_frsize;
    // Other programs write meanwhile: allow a few MB of drift.
    uint64_t drift = *available > reference ? *available - reference : reference - *available;
    EXPECT_LT(drift, uint64_t(64) << 20);
    EXPECT_EQ(disks.AvailableBytes(dir.File("no/such/folder")), std::nullopt);
}

TEST(RealDiskService, DriveRootsEndInSlashAreFixedWritableAndDistinct) {
    RealDiskService disks;
    auto roots = disks.DriveRoots();
    if (roots.empty()) GTEST_SKIP() << "this machine mounts no local disk file system";
    std::set<std::string> seen;
    for (const auto& root : roots) {
        SCOPED_TRACE(root);
        ASSERT_FALSE(root.empty());
        EXPECT_EQ(root.back(), '/');
        EXPECT_EQ(root.front(), '/');
        EXPECT_TRUE(disks.IsFixed(root));
        EXPECT_TRUE(disks.AvailableBytes(root).has_value());
        EXPECT_TRUE(seen.insert(root).second);
    }
    EXPECT_FALSE(disks.IsFixed(""));
    EXPECT_FALSE(disks.IsFixed("/proc/"));
}

TEST(RealDiskService, SystemRootIsOneOfTheDriveRoots) {
    RealDiskService disks;
    std::string system = disks.SystemRoot();
    if (system.empty()) GTEST_SKIP() << "/var/tmp is not on a local disk file system here";
    EXPECT_EQ(system.back(), '/');
    EXPECT_TRUE(disks.IsFixed(system));
    auto roots = disks.DriveRoots();
    EXPECT_NE(std::find(roots.begin(), roots.end(), system), roots.end());
}

TEST(ConfigDir, HonoursZelvoConfigDirAndEndsInSlash) {
    {
        ScopedEnv env("ZELVO_CONFIG_DIR", "/some/where");
        EXPECT_EQ(ConfigDir(), "/some/where/");
        EXPECT_EQ(ConfigPath("storedisk.qinf"), "/some/where/storedisk.qinf");
    }
    {
        ScopedEnv env("ZELVO_CONFIG_DIR", "/with slash/");
        EXPECT_EQ(ConfigDir(), "/with slash/");
    }
    {
        ScopedEnv unset("ZELVO_CONFIG_DIR", nullptr);
        ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
        EXPECT_EQ(ConfigDir(), "/xdg/zelvo/");
    }
    {
        ScopedEnv empty("ZELVO_CONFIG_DIR", "");
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(ConfigDir(), "/home/u/.config/zelvo/");
    }
}

}  // namespace
}  // namespace zelvo
