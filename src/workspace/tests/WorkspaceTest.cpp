#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "store/RowCursor.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

constexpr uint64_t kGB = 1073741824;
constexpr uint32_t kStrokeRowBytes = 5 * 5000;
constexpr const char* kStartFailure =
    "temporary disk file fails to create, the program should not start.";

class RecordingFeedback : public ProgressCounter {
public:
    void StatusText(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("ZELVO_CONFIG_DIR")) m_oldConfig = old;
        setenv("ZELVO_CONFIG_DIR", m_config.Path().c_str(), 1);
        SetAppFeedback(&m_feedback);
    }
    void TearDown() override {
        SetAppFeedback(nullptr);
        if (m_oldConfig)
            setenv("ZELVO_CONFIG_DIR", m_oldConfig->c_str(), 1);
        else
            unsetenv("ZELVO_CONFIG_DIR");
    }

    // Rows of 25 000 bytes (5 bytes x 5000 pixels) sampled across a block.
    static std::vector<uint32_t> SampleRows(uint32_t rowCount) {
        return {0, 1, rowCount / 3, rowCount / 2, rowCount - 2, rowCount - 1};
    }
    static uint32_t RowCountOf(const FileDynamicStore& store, BlockHandle h) {
        return uint32_t(store.Payload(h).length / kStrokeRowBytes);
    }
    static bool SampledRowsAreZero(const FileDynamicStore& store, BlockHandle h) {
        uint32_t rows = RowCountOf(store, h);
        RowCursor cursor(store, h, 0, kStrokeRowBytes, rows);
        for (uint32_t r : SampleRows(rows)) {
            const uint8_t* row = cursor.Row(r);
            if (!row) return false;
            if (!std::all_of(row, row + kStrokeRowBytes, [](uint8_t b) { return b == 0; }))
                return false;
        }
        // The payload's last bytes, past the whole rows.
        auto span = store.Payload(h);
        MappedView tail(store, span.offset + span.length - 16, 16);
        if (!tail.IsValid()) return false;
        return std::all_of(tail.Data(), tail.Data() + 16, [](uint8_t b) { return b == 0; });
    }
    static void Scribble(const FileDynamicStore& store, BlockHandle h) {
        uint32_t rows = RowCountOf(store, h);
        RowCursor cursor(store, h, 0, kStrokeRowBytes, rows);
        for (uint32_t r : SampleRows(rows)) {
            uint8_t* row = cursor.Row(r);
            ASSERT_NE(row, nullptr);
            std::fill(row, row + kStrokeRowBytes, uint8_t(0xAB));
        }
        cursor.Flush();
        auto span = store.Payload(h);
        MappedView tail(store, span.offset + span.length - 16, 16);
        ASSERT_TRUE(tail.IsValid());
        std::fill(tail.Data(), tail.Data() + 16, uint8_t(0xCD));
        tail.Flush();
    }

    test::TempDir m_config;
    test::TempDir m_scratch;
    RecordingFeedback m_feedback;
    ScopedRecordingMessages m_messages;
    std::optional<std::string> m_oldConfig;
};

TEST_F(WorkspaceTest, SetupOpensAnEmptyStoreAndTheFirstStrokeReservesAZeroFilledBlock) {
    Workspace ws;
    EXPECT_FALSE(ws.IsRunning());
    ASSERT_TRUE(ws.Setup(m_scratch.Path()));
    EXPECT_TRUE(m_messages.Entries().empty());
    EXPECT_EQ(ws.TempFolder(), m_scratch.Path());
    ASSERT_TRUE(ws.Store().IsOpen());
    EXPECT_EQ(ws.Store().Folder(), m_scratch.Path());
    EXPECT_TRUE(std::filesystem::exists(ws.Store().FileName()));
    EXPECT_TRUE(ws.IsRunning());

    EXPECT_EQ(ws.Store().UsedCount(), 0u);
    EXPECT_EQ(ws.StrokeBlock(), 0u);
    EXPECT_EQ(std::filesystem::file_size(ws.Store().FileName()),
              uint64_t(FileDynamicStore::kDataStart));

    // A small canvas still gets the start-up size.
    ASSERT_TRUE(ws.EnsureStrokeCapacity(30, 20));
    EXPECT_EQ(ws.Store().UsedCount(), 1u);
    EXPECT_EQ(ws.Store().GetHeader().usedCount, 1u);
    ASSERT_NE(ws.StrokeBlock(), 0u);
    EXPECT_EQ(ws.Store().Payload(ws.StrokeBlock()).length, 5ull * 5000 * 4000);
    EXPECT_EQ(ws.StrokeCapacity(), 5000ull * 4000);
    EXPECT_TRUE(ws.Store().CheckBlock(ws.StrokeBlock()));
    EXPECT_TRUE(ws.Store().CheckStore());
    EXPECT_TRUE(SampledRowsAreZero(ws.Store(), ws.StrokeBlock()));
    EXPECT_TRUE(m_messages.Entries().empty());
}

TEST_F(WorkspaceTest, ForcedFolderGetsItsTrailingSlash) {
    Workspace ws;
    std::string folder = m_scratch.Path();
    folder.pop_back();
    ASSERT_TRUE(ws.Setup(folder));
    EXPECT_EQ(ws.TempFolder(), m_scratch.Path());
    EXPECT_EQ(std::filesystem::path(ws.Store().FileName()).parent_path(),
              std::filesystem::path(folder));
}

TEST_F(WorkspaceTest, SetupWithoutAForcedFolderUsesTheChosenDisk) {
    FakeDiskService disks;
    disks.disks = {{"/mnt/cdrom/", false, 5 * kGB}, {m_scratch.Path(), true, 5 * kGB}};
    disks.systemRoot = m_scratch.Path();
    Workspace ws(disks);
    ASSERT_TRUE(ws.Setup());
    EXPECT_EQ(ws.TempFolder(), m_scratch.Path());
    EXPECT_TRUE(ws.Store().IsOpen());
    EXPECT_EQ(ws.Store().UsedCount(), 0u);
    EXPECT_TRUE(m_messages.Entries().empty());
}

TEST_F(WorkspaceTest, NoFixedDiskStopsTheStartWithOneMessage) {
    FakeDiskService disks;
    disks.disks = {{"/mnt/cdrom/", false, 5 * kGB}};
    Workspace ws(disks);
    EXPECT_FALSE(ws.Setup());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kStartFailure});
    EXPECT_FALSE(ws.Store().IsOpen());
    EXPECT_FALSE(ws.IsRunning());
}

TEST_F(WorkspaceTest, NonexistentFolderFailsSayingSoThenTheStartMessage) {
    const std::string missing = m_scratch.File("no/such/folder/");
    for (const bool realDisks : {true, false}) {
        m_messages.Clear();
        FakeDiskService disks;  // plenty of space reported
        disks.otherAvailable = 5 * kGB;
        auto ws = realDisks ? std::make_unique<Workspace>() : std::make_unique<Workspace>(disks);
        EXPECT_FALSE(ws->Setup(missing));
        EXPECT_EQ(m_messages.Texts(),
                  (std::vector<std::string>{"The temporary folder " + missing + " is not there.",
                                            kStartFailure}));
        EXPECT_FALSE(ws->Store().IsOpen());
    }
    // An empty name (--temp-dir "") says so too.
    m_messages.Clear();
    Workspace empty;
    EXPECT_FALSE(empty.Setup(std::string()));
    EXPECT_EQ(m_messages.Texts(),
              (std::vector<std::string>{"No temporary folder was named.", kStartFailure}));
}

TEST_F(WorkspaceTest, FolderUnderAPlainFileFails) {
    std::string file = m_scratch.File("plain");
    { std::ofstream(file) << "x"; }
    FakeDiskService disks;
    disks.otherAvailable = 5 * kGB;
    Workspace ws(disks);
    EXPECT_FALSE(ws.Setup(file + "/"));
    auto texts = m_messages.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], kStartFailure);
}

TEST_F(WorkspaceTest, SetupRunsOnce) {
    Workspace ws;
    ASSERT_TRUE(ws.Setup(m_scratch.Path()));
    EXPECT_FALSE(ws.Setup(m_scratch.Path()));
    EXPECT_EQ(ws.Store().UsedCount(), 0u);
}

TEST_F(WorkspaceTest, SharedTablesBuffersAndFlags) {
    Workspace ws;
    EXPECT_EQ(ws.ScreenWidth(), 1920);
    EXPECT_EQ(ws.ScreenHeight(), 1080);
    ws.SetScreenSize(800, 600);
    EXPECT_EQ(ws.ScreenWidth(), 800);
    EXPECT_EQ(ws.ScreenHeight(), 600);
    ASSERT_TRUE(ws.Setup(m_scratch.Path()));

    for (int i : {0, 1, 99, 128, 255})
        for (int j : {0, 1, 50, 99, 100}) EXPECT_EQ(ws.Tables().T100(i, j), i * j / 100);
    for (int i : {0, 7, 255})
        for (int j : {0, 1, 4999, 10000}) EXPECT_EQ(ws.Tables().T10000(i, j), i * j / 10000);

    // Reading and writing every byte: the sanitizer catches a buffer that is too short.
    uint8_t* thumb = ws.NavigatorThumbnail();
    EXPECT_TRUE(
        std::all_of(thumb, thumb + Workspace::kThumbnailBytes, [](uint8_t b) { return b == 0; }));
    std::fill(ws.SmallWorkBuffer(), ws.SmallWorkBuffer() + 65576, uint8_t(1));
    std::fill(ws.LargeWorkBuffer(), ws.LargeWorkBuffer() + 1048576, uint8_t(2));
    EXPECT_EQ(ws.SmallWorkBuffer()[65575], 1);
    EXPECT_EQ(ws.LargeWorkBuffer()[1048575], 2);
    EXPECT_NE(ws.SmallWorkBuffer(), ws.LargeWorkBuffer());

    EXPECT_FALSE(ws.PalettesShown());
    ws.SetPalettesShown(true);
    EXPECT_TRUE(ws.PalettesShown());
    EXPECT_FALSE(ws.IsPrinting());
    ws.SetPrinting(true);
    EXPECT_TRUE(ws.IsPrinting());
    ws.SetRunning(false);
    EXPECT_FALSE(ws.IsRunning());
}

TEST_F(WorkspaceTest, UntitledNumbersCountFromOne) {
    Workspace ws;
    EXPECT_EQ(ws.NextUntitledNumber(), 1);
    EXPECT_EQ(ws.NextUntitledNumber(), 2);
    EXPECT_EQ(ws.NextUntitledNumber(), 3);
    Workspace other;
    EXPECT_EQ(other.NextUntitledNumber(), 1);
}

TEST_F(WorkspaceTest, StrokeBlockGrowsOnlyWhenAnImageNeedsMorePixels) {
    Workspace ws;
    ASSERT_TRUE(ws.Setup(m_scratch.Path()));
    ASSERT_TRUE(ws.EnsureStrokeCapacity(1, 1));
    BlockHandle first = ws.StrokeBlock();
    for (auto [w, h] :
         {std::pair{5000, 4000}, {4000, 5000}, {1, 20000000}, {100, 100}, {0, 9}, {-5, 10000}}) {
        EXPECT_TRUE(ws.EnsureStrokeCapacity(w, h));
        EXPECT_EQ(ws.StrokeBlock(), first);
    }
    EXPECT_EQ(ws.StrokeCapacity(), 20000000u);

    // A dirty free block the new one will be carved from: the grown block must still be zero.
    BlockHandle dirty = ws.Store().Allocate(5ull * 5001 * 4100);
    ASSERT_NE(dirty, 0u);
    Scribble(ws.Store(), dirty);
    ASSERT_TRUE(ws.Store().Free(dirty));

    ASSERT_TRUE(ws.EnsureStrokeCapacity(5001, 4000));
    EXPECT_NE(ws.StrokeBlock(), first);
    EXPECT_EQ(ws.StrokeCapacity(), 5001u * 4000);
    EXPECT_GE(ws.Store().Payload(ws.StrokeBlock()).length, 5ull * 5001 * 4000);
    EXPECT_EQ(ws.Store().UsedCount(), 1u);
    EXPECT_TRUE(SampledRowsAreZero(ws.Store(), ws.StrokeBlock()));
    EXPECT_TRUE(ws.Store().CheckStore());

    BlockHandle grown = ws.StrokeBlock();
    EXPECT_TRUE(ws.EnsureStrokeCapacity(5000, 4000));
    EXPECT_TRUE(ws.EnsureStrokeCapacity(5001, 4000));
    EXPECT_EQ(ws.StrokeBlock(), grown);
    EXPECT_EQ(ws.StrokeCapacity(), 5001u * 4000);
}

TEST_F(WorkspaceTest, ResetStoreEmptiesTheStoreAndTheNextStrokeGetsZeros) {
    Workspace ws;
    ASSERT_TRUE(ws.Setup(m_scratch.Path()));
    // Nothing at all, then only the stroke block: nothing to clean.
    EXPECT_TRUE(ws.ResetStore());
    EXPECT_EQ(ws.Store().UsedCount(), 0u);
    ASSERT_TRUE(ws.EnsureStrokeCapacity(100, 100));
    BlockHandle stroke = ws.StrokeBlock();
    EXPECT_TRUE(ws.ResetStore());
    EXPECT_EQ(ws.StrokeBlock(), stroke);
    EXPECT_TRUE(m_feedback.texts.empty());

    Scribble(ws.Store(), stroke);
    for (uint64_t n : {1000u, 70000u, 3000000u}) ASSERT_NE(ws.Store().Allocate(n), 0u);
    ASSERT_EQ(ws.Store().UsedCount(), 4u);

    ASSERT_TRUE(ws.ResetStore());
    EXPECT_EQ(m_feedback.texts, std::vector<std::string>{"Clean up temporary disk"});
    EXPECT_EQ(ws.Store().UsedCount(), 0u);
    EXPECT_EQ(ws.Store().FreeCount(), 0u);
    EXPECT_EQ(ws.StrokeBlock(), 0u);
    EXPECT_EQ(ws.Store().GetHeader().fileSize, FileDynamicStore::kDataStart);
    EXPECT_TRUE(ws.Store().CheckStore());

    // The next stroke is handed the scribbled bytes' place again: they must read as zeros.
    ASSERT_TRUE(ws.EnsureStrokeCapacity(100, 100));
    EXPECT_EQ(ws.Store().Payload(ws.StrokeBlock()).length, 100000000u);
    EXPECT_EQ(ws.StrokeCapacity(), 20000000u);
    EXPECT_EQ(ws.Store().Payload(ws.StrokeBlock()).offset,
              uint64_t(FileDynamicStore::kDataStart) + FileDynamicStore::kGuardBytes);
    EXPECT_TRUE(SampledRowsAreZero(ws.Store(), ws.StrokeBlock()));
    EXPECT_TRUE(ws.Store().CheckStore());
    EXPECT_TRUE(m_messages.Entries().empty());
}

TEST_F(WorkspaceTest, ResetStoreGivesUpAGrownStrokeBlock) {
    Workspace ws;
    ASSERT_TRUE(ws.Setup(m_scratch.Path()));
    struct Row {
        bool other;  // another block is left besides the stroke block
        std::vector<std::string> texts;
    };
    for (const Row& row : {Row{true, {"Clean up temporary disk", "Clean up temporary disk."}},
                           Row{false, {"Clean up temporary disk."}}}) {
        m_feedback.texts.clear();
        ASSERT_TRUE(ws.EnsureStrokeCapacity(6000, 4000));
        if (row.other) {
            ASSERT_NE(ws.Store().Allocate(4096), 0u);
        }
        ASSERT_TRUE(ws.ResetStore());
        EXPECT_EQ(m_feedback.texts, row.texts) << row.other;
        EXPECT_EQ(ws.Store().UsedCount(), 0u);
        EXPECT_EQ(ws.StrokeBlock(), 0u);
        EXPECT_EQ(ws.StrokeCapacity(), 20000000u);
        EXPECT_EQ(ws.Store().GetHeader().fileSize, FileDynamicStore::kDataStart);
        EXPECT_TRUE(ws.Store().CheckStore());
        // The next block has the start-up size again.
        ASSERT_TRUE(ws.EnsureStrokeCapacity(100, 100));
        EXPECT_EQ(ws.Store().Payload(ws.StrokeBlock()).length, 100000000u);
        EXPECT_TRUE(SampledRowsAreZero(ws.Store(), ws.StrokeBlock()));
    }
}

TEST_F(WorkspaceTest, AStrokeBlockThatCannotBeHadIsRefusedWithTheStoresMessage) {
    FakeDiskService disks;
    disks.disks = {{m_scratch.Path(), true, 5 * kGB}};
    Workspace ws(disks);
    ASSERT_TRUE(ws.Setup(m_scratch.Path()));
    const std::string noSpace = "Temporary disk " + m_scratch.Path() +
                                " not enough disk space! \nPlease restart the program Or set "
                                "temporary disk to other Disk partition.\n";
    struct Row {
        int width, height;    // the canvas asked for
        bool reservedBefore;  // a start-up size block is already there
    };
    for (const Row& row : {Row{30, 20, false}, Row{6000, 4000, true}}) {
        ws.ResetStore();
        if (row.reservedBefore) {
            ASSERT_TRUE(ws.EnsureStrokeCapacity(1, 1));
        }
        const BlockHandle before = ws.StrokeBlock();
        const uint64_t fileSize = ws.Store().GetHeader().fileSize;
        m_messages.Clear();
        disks.disks[0].available = 90000000;  // less than any stroke block
        EXPECT_FALSE(ws.EnsureStrokeCapacity(row.width, row.height)) << row.width;
        EXPECT_TRUE(m_messages.Contains(noSpace)) << row.width;
        EXPECT_EQ(ws.StrokeBlock(), before);
        EXPECT_EQ(ws.StrokeCapacity(), 20000000u);
        EXPECT_EQ(ws.Store().GetHeader().fileSize, fileSize);
        EXPECT_TRUE(ws.Store().CheckStore());
        // With the space back the same request succeeds.
        disks.disks[0].available = 5 * kGB;
        EXPECT_TRUE(ws.EnsureStrokeCapacity(row.width, row.height)) << row.width;
        EXPECT_NE(ws.StrokeBlock(), 0u);
        EXPECT_GE(ws.StrokeCapacity(), uint64_t(row.width) * uint64_t(row.height));
    }
}

TEST_F(WorkspaceTest, WithoutSetupNothingIsAllocated) {
    Workspace ws;
    EXPECT_FALSE(ws.EnsureStrokeCapacity(6000, 4000));
    EXPECT_FALSE(ws.ResetStore());
    EXPECT_EQ(ws.StrokeBlock(), 0u);
}

}  // namespace
}  // namespace zelvo
