#include "store/TempDisk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Messages.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

constexpr uint64_t kMB = 1048576;
constexpr uint64_t kGB = 1073741824;

// Points the config folder at a fresh folder for one test and restores the variable after.
class ConfigDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("ZELVO_CONFIG_DIR")) m_old = old;
        UseConfigDir(m_dir.Path());
    }
    void TearDown() override {
        if (m_old)
            setenv("ZELVO_CONFIG_DIR", m_old->c_str(), 1);
        else
            unsetenv("ZELVO_CONFIG_DIR");
    }
    void UseConfigDir(const std::string& dir) { setenv("ZELVO_CONFIG_DIR", dir.c_str(), 1); }

    std::string QinfPath() const { return ConfigPath(kStoreDiskFileName); }
    std::string ReadBytes() const {
        std::ifstream in(QinfPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void WriteBytes(const std::string& bytes) const {
        std::ofstream out(QinfPath(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    static std::string Word(uint32_t v) {
        std::string s;
        for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
        return s;
    }

    test::TempDir m_dir;
    std::optional<std::string> m_old;
};

// D-like disk, system disk, and an E-like disk, in drive order E, system, D.
FakeDiskService ThreeDisks(uint64_t eFree, uint64_t systemFree, uint64_t dFree) {
    FakeDiskService disks;
    disks.disks = {{"/mnt/cdrom/", false, 5 * kGB},
                   {"/mnt/e/", true, eFree},
                   {"/", true, systemFree},
                   {"/mnt/d/", true, dFree}};
    disks.systemRoot = "/";
    return disks;
}

TEST(TempDiskSpace, AvailableMeansMoreThanTheRequestOrAboveFourGiB) {
    const uint32_t n = kAutoChoiceBytes;
    struct Row {
        std::optional<uint64_t> available;
        bool expected;
    };
    const Row rows[] = {
        {std::nullopt, false},
        {0, false},
        {n - 1, false},
        {n, false},
        {n + 1, true},
        {0xFFFFFFFFull, true},
        {0x100000000ull, true},          // low 32 bits are 0: the high bits decide
        {0x100000000ull + 1, true},      // 4 GiB + 1 byte
        {0x100000000ull + n - 1, true},  // low bits below n
        {0x700000000ull, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.available ? std::to_string(*r.available) : "unknown");
        EXPECT_EQ(IsAvailable(r.available, n), r.expected);
        // For any 32-bit request the rule is plain "more than n bytes".
        if (r.available) {
            EXPECT_EQ(IsAvailable(r.available, n), *r.available > n);
        }
    }
    EXPECT_FALSE(IsAvailable(0, 0));
    EXPECT_TRUE(IsAvailable(1, 0));
}

TEST_F(ConfigDirTest, WritingANewFileGivesLengthThenPathThenNulIn264Bytes) {
    ASSERT_TRUE(WriteStoreDiskFile("/mnt/data/"));
    std::string bytes = ReadBytes();
    ASSERT_EQ(bytes.size(), 264u);
    std::string root = "/mnt/data/";
    EXPECT_EQ(bytes.substr(0, 4), Word(uint32_t(root.size() + 1)));
    EXPECT_EQ(bytes.substr(4, root.size()), root);
    EXPECT_EQ(bytes[4 + root.size()], '\0');
    EXPECT_EQ(bytes.substr(4 + root.size()), std::string(264 - 4 - root.size(), '\0'));
    EXPECT_EQ(ReadStoreDiskFile(), root);
}

TEST_F(ConfigDirTest, RewritingKeepsTheFileLengthAndTheTailBytes) {
    ASSERT_TRUE(WriteStoreDiskFile("/a/longer/root/"));
    ASSERT_TRUE(WriteStoreDiskFile("/b/"));
    std::string bytes = ReadBytes();
    ASSERT_EQ(bytes.size(), 264u);
    EXPECT_EQ(bytes.substr(0, 8), Word(4) + "/b/" + '\0');
    // Not truncated: the old path's tail after the new NUL is still there.
    EXPECT_EQ(bytes.substr(8, 12), std::string("onger/root/") + '\0');
    EXPECT_EQ(ReadStoreDiskFile(), "/b/");

    // A short existing file is written over without being padded to 264.
    WriteBytes("xyz");
    ASSERT_TRUE(WriteStoreDiskFile("/c/"));
    EXPECT_EQ(ReadBytes(), Word(4) + "/c/" + '\0');
}

TEST_F(ConfigDirTest, WritingCreatesAMissingConfigFolder) {
    UseConfigDir(m_dir.File("nested/config"));
    ASSERT_FALSE(std::filesystem::exists(m_dir.File("nested")));
    ASSERT_TRUE(WriteStoreDiskFile("/srv/scratch/"));
    EXPECT_EQ(std::filesystem::file_size(m_dir.File("nested/config/storedisk.qinf")), 264u);
    EXPECT_EQ(ReadStoreDiskFile(), "/srv/scratch/");
}

TEST_F(ConfigDirTest, RootsTooLongToReadBackAreNotWritten) {
    std::string longest(kMaxStoreDiskPath - 1, 'a');  // 259 bytes + NUL = 260
    ASSERT_TRUE(WriteStoreDiskFile(longest));
    EXPECT_EQ(ReadStoreDiskFile(), longest);
    std::string before = ReadBytes();
    EXPECT_FALSE(WriteStoreDiskFile(longest + "b"));
    EXPECT_FALSE(WriteStoreDiskFile(""));
    EXPECT_EQ(ReadBytes(), before);
}

TEST_F(ConfigDirTest, UnwritableConfigFolderDropsTheChoice) {
    // A file where the config folder should be: nothing can be created below it.
    std::ofstream(m_dir.File("plain")) << "x";
    UseConfigDir(m_dir.File("plain/sub"));
    ScopedRecordingMessages messages;
    EXPECT_FALSE(WriteStoreDiskFile("/mnt/d/"));
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(ConfigDirTest, MissingShortAndGarbledFilesAreIgnored) {
    EXPECT_EQ(ReadStoreDiskFile(), std::nullopt);  // missing
    const std::string path = "/mnt/d/";
    const std::string garbled[] = {
        "",
        "\x08\x00\x00",                           // 3 bytes
        Word(2) + "/\0" + std::string(10, '\0'),  // L <= 2
        Word(0) + std::string(10, '\0'),
        Word(uint32_t(path.size() + 1)) + path,  // L + 4 is one past the end
        Word(0xFFFFFFFFu) + path + '\0',         // L + 4 overflows 32 bits
        Word(9) + std::string(9, '\0'),          // an empty path
    };
    for (const auto& bytes : garbled) {
        SCOPED_TRACE(bytes.size());
        WriteBytes(bytes);
        EXPECT_EQ(ReadStoreDiskFile(), std::nullopt);
    }
    WriteBytes(Word(uint32_t(path.size() + 1)) + path + '\0');  // exactly L + 4 bytes
    EXPECT_EQ(ReadStoreDiskFile(), path);
}

TEST_F(ConfigDirTest, LengthsAbove260ReadOnly260Bytes) {
    std::string body(300, 'p');
    body[5] = '\0';
    WriteBytes(Word(300) + body);
    EXPECT_EQ(ReadStoreDiskFile(), "ppppp");
    // No NUL within the first 260 bytes: the 260 bytes are the path.
    WriteBytes(Word(300) + std::string(300, 'q'));
    EXPECT_EQ(ReadStoreDiskFile(), std::string(260, 'q'));
}

TEST_F(ConfigDirTest, StoredDiskWithEnoughSpaceIsChosen) {
    auto disks = ThreeDisks(5 * kGB, 5 * kGB, 300 * kMB);
    ASSERT_TRUE(WriteStoreDiskFile("/mnt/d/"));
    EXPECT_EQ(ChooseTempFolder(disks), "/mnt/d/");
}

TEST_F(ConfigDirTest, StoredDiskWith150MBFallsBackToTheSystemDiskThenTheFirstFixedDisk) {
    ASSERT_TRUE(WriteStoreDiskFile("/mnt/d/"));
    ScopedRecordingMessages messages;
    auto roomy = ThreeDisks(50 * kMB, 5 * kGB, 150 * kMB);
    EXPECT_EQ(ChooseTempFolder(roomy), "/");
    auto tight = ThreeDisks(50 * kMB, 150 * kMB, 150 * kMB);
    // The first fixed disk in drive order, whatever its free space.
    EXPECT_EQ(ChooseTempFolder(tight), "/mnt/e/");
    auto exact = ThreeDisks(50 * kMB, kAutoChoiceBytes, kAutoChoiceBytes);
    EXPECT_EQ(ChooseTempFolder(exact), "/mnt/e/");
    auto justOver = ThreeDisks(50 * kMB, kAutoChoiceBytes + 1, kAutoChoiceBytes);
    EXPECT_EQ(ChooseTempFolder(justOver), "/");
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(ConfigDirTest, StoredDiskThatIsNoLongerFixedOrKnownFallsBack) {
    auto disks = ThreeDisks(5 * kGB, 5 * kGB, 5 * kGB);
    ASSERT_TRUE(WriteStoreDiskFile("/mnt/cdrom/"));
    EXPECT_EQ(ChooseTempFolder(disks), "/");
    ASSERT_TRUE(WriteStoreDiskFile("/mnt/gone/"));
    EXPECT_EQ(ChooseTempFolder(disks), "/");
}

TEST_F(ConfigDirTest, GarbledFileFallsBackSilently) {
    WriteBytes(Word(200) + "/mnt/d/");
    ScopedRecordingMessages messages;
    auto disks = ThreeDisks(5 * kGB, 5 * kGB, 5 * kGB);
    EXPECT_EQ(ChooseTempFolder(disks), "/");
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(ConfigDirTest, NoFileAndA5GBSystemDiskChoosesIt) {
    FakeDiskService disks;
    disks.disks = {{"/", true, 5 * kGB}, {"/mnt/d/", true, 50 * kGB}};
    disks.systemRoot = "/";
    std::string chosen = ChooseTempFolder(disks);
    EXPECT_EQ(chosen, "/");
    EXPECT_FALSE(std::filesystem::exists(QinfPath()));

    TempDiskDialog dialog(disks, chosen);
    ASSERT_EQ(dialog.Lines().size(), 2u);
    EXPECT_EQ(dialog.Lines()[0].text, "/(System Disk)  Available Space5.0 G");
    EXPECT_EQ(dialog.Lines()[1].text, "/mnt/d/  Available Space50.0 G");
    EXPECT_EQ(dialog.Selected(), 0);
}

TEST_F(ConfigDirTest, SystemDiskThatIsNotFixedIsSkipped) {
    FakeDiskService disks;
    disks.disks = {{"/net/home/", false, 50 * kGB}, {"/mnt/d/", true, 10 * kMB}};
    disks.systemRoot = "/net/home/";
    EXPECT_EQ(ChooseTempFolder(disks), "/mnt/d/");
}

TEST_F(ConfigDirTest, NoFixedDiskGivesNoChoice) {
    FakeDiskService disks;
    disks.disks = {{"/net/home/", false, 50 * kGB}};
    disks.systemRoot = "/net/home/";
    EXPECT_EQ(ChooseTempFolder(disks), "");
    FakeDiskService none;
    EXPECT_EQ(ChooseTempFolder(none), "");
}

TEST(TempDiskDialogText, SpaceIsShownInWholeTenthsRoundedDown) {
    EXPECT_EQ(AvailableSpaceText(1610612736), "  Available Space1.5 G");
    EXPECT_EQ(AvailableSpaceText(1073741823), "  Available Space0.9 G");
    EXPECT_EQ(AvailableSpaceText(kGB), "  Available Space1.0 G");
    EXPECT_EQ(AvailableSpaceText(0), "  Available Space0.0 G");
    EXPECT_EQ(AvailableSpaceText(kMB * 102), "  Available Space0.0 G");  // 102 MB < 0.1 G
    EXPECT_EQ(AvailableSpaceText(kMB * 103), "  Available Space0.1 G");
    EXPECT_EQ(AvailableSpaceText(2000 * kGB), "  Available Space2000.0 G");
    EXPECT_STREQ(TempDiskDialog::kText,
                 "Select the disk partition as Temporary Disk.\n\nTemporary disks will remain "
                 "in use until you quit.");
}

TEST(TempDiskDialogLines, OneLinePerFixedDiskInDriveOrderWithTheCurrentSelected) {
    auto disks = ThreeDisks(1610612736, 5 * kGB, 1073741823);
    TempDiskDialog dialog(disks, "/mnt/d/");
    ASSERT_EQ(dialog.Lines().size(), 3u);
    EXPECT_EQ(dialog.Lines()[0].root, "/mnt/e/");
    EXPECT_EQ(dialog.Lines()[0].text, "/mnt/e/  Available Space1.5 G");
    EXPECT_EQ(dialog.Lines()[1].text, "/(System Disk)  Available Space5.0 G");
    EXPECT_EQ(dialog.Lines()[2].text, "/mnt/d/  Available Space0.9 G");
    EXPECT_EQ(dialog.Selected(), 2);

    TempDiskDialog unknown(disks, "/elsewhere/");
    EXPECT_EQ(unknown.Selected(), -1);
    unknown.Select(7);
    EXPECT_EQ(unknown.Selected(), -1);
    unknown.Select(1);
    EXPECT_EQ(unknown.Selected(), 1);
}

TEST_F(ConfigDirTest, OkWritesOnlyAFixedDiskWithMoreThan100MB) {
    FakeDiskService disks;
    disks.disks = {{"/mnt/small/", true, 80 * kMB},
                   {"/mnt/edge/", true, kDialogChoiceBytes},
                   {"/mnt/ok/", true, kDialogChoiceBytes + 1}};
    disks.systemRoot = "/mnt/ok/";
    ScopedRecordingMessages messages;

    TempDiskDialog dialog(disks, "/mnt/ok/");
    dialog.Select(0);
    EXPECT_FALSE(dialog.Ok());
    EXPECT_FALSE(std::filesystem::exists(QinfPath()));
    dialog.Select(1);
    EXPECT_FALSE(dialog.Ok());
    EXPECT_FALSE(std::filesystem::exists(QinfPath()));
    dialog.Select(2);
    EXPECT_TRUE(dialog.Ok());
    EXPECT_EQ(ReadStoreDiskFile(), "/mnt/ok/");

    // An 80 MB choice leaves the existing file as it was.
    std::string before = ReadBytes();
    dialog.Select(0);
    EXPECT_FALSE(dialog.Ok());
    EXPECT_EQ(ReadBytes(), before);
    EXPECT_TRUE(messages.Entries().empty());
}

TEST_F(ConfigDirTest, DiskThatShrankSinceTheDialogOpenedIsNotWritten) {
    FakeDiskService disks;
    disks.disks = {{"/mnt/d/", true, 5 * kGB}};
    TempDiskDialog dialog(disks, "");
    dialog.Select(0);
    disks.Find("/mnt/d/")->available = 10 * kMB;
    EXPECT_FALSE(dialog.Ok());
    disks.Find("/mnt/d/")->available = 5 * kGB;
    disks.Find("/mnt/d/")->fixed = false;
    EXPECT_FALSE(dialog.Ok());
    EXPECT_FALSE(std::filesystem::exists(QinfPath()));
}

TEST_F(ConfigDirTest, RootsWithBlanksSurviveTheDialogAndTheFile) {
    FakeDiskService disks;
    disks.disks = {{"/media/my disk/", true, 3 * kGB}, {"/", true, 3 * kGB}};
    disks.systemRoot = "/";
    TempDiskDialog dialog(disks, "/");
    EXPECT_EQ(dialog.Selected(), 1);
    EXPECT_EQ(dialog.Lines()[0].text, "/media/my disk/  Available Space3.0 G");
    dialog.Select(0);
    ASSERT_TRUE(dialog.Ok());
    EXPECT_EQ(ReadStoreDiskFile(), "/media/my disk/");
    // The next start uses the new choice.
    EXPECT_EQ(ChooseTempFolder(disks), "/media/my disk/");
}

}  // namespace
}  // namespace zelvo
