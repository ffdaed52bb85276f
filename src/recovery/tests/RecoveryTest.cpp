#include "recovery/Recovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>

#include "clipboard/ClipboardCommands.h"
#include "doc/Image.h"
#include "geometry/ImageSize.h"
#include "history/PixelEdit.h"
#include "layerops/LayerThumbnail.h"
#include "platform/Disk.h"
#include "platform/Messages.h"
#include "recovery/RecoveryJournal.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"
#include "testsupport/TempDir.h"
#include "workspace/Workspace.h"

namespace zelvo {
namespace {

constexpr ColorRef kRed = 0x0000FF;

class RecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        disks.disks.push_back({dir.Path(), true, uint64_t(1) << 40});
        disks.otherAvailable = uint64_t(1) << 40;
    }

    std::unique_ptr<Workspace> MakeWorkspace() {
        auto w = std::make_unique<Workspace>(disks);
        EXPECT_TRUE(w->Setup(dir.Path())) << messages.Last();
        return w;
    }

    // Runs `work` in a child process that then dies by SIGKILL, as a crash would leave it, or
    // by `signal`; 0 calls exit(1) instead, as a library does when it cannot go on.
    void RunAndKill(const std::function<void(Workspace&, RecoveryJournal&)>& work,
                    int signal = SIGKILL) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Workspace w(disks);
            if (!w.Setup(dir.Path())) _exit(3);
            RecoveryJournal journal(w);
            work(w, journal);
            if (signal == 0) std::exit(1);
            kill(getpid(), signal);
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        if (signal == 0)
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        else
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    }

    static std::unique_ptr<Image> NewRed(Workspace& w, int32_t width, int32_t height) {
        auto image = std::make_unique<Image>(w);
        NewImageSize size;
        size.width = width;
        size.height = height;
        size.resolution = 2834;
        if (!image->NewImage(size)) return nullptr;
        PixelEdit edit(image->Layers(), image->History());
        LayerPtr fresh = edit.BeginLayerEdit();
        if (!fresh || !fresh->FillColor(kRed, 100, 100, false)) return nullptr;
        edit.CommitLayerEdit(1, "Fill");
        return image;
    }

    static uint32_t PixelAt(Layer& layer, int32_t x, int32_t y) {
        uint32_t v = 0;
        std::memcpy(&v, layer.Rows()->Row(uint32_t(layer.StoredRowOf(y))) + 4 * x, 4);
        return v;
    }

    RecoveryResult RecoverInto(Workspace& w, std::vector<std::unique_ptr<Image>>& out) {
        return RecoverAll(
            w, FindRecoveryOffers(w),
            [&](std::unique_ptr<Image> i, const JournalDocument&) { out.push_back(std::move(i)); });
    }

    size_t FilesInFolder() const {
        return size_t(std::distance(std::filesystem::directory_iterator(dir.Path()),
                                    std::filesystem::directory_iterator()));
    }

    test::TempDir dir;
    FakeDiskService disks;
    ScopedRecordingMessages messages;
};

TEST_F(RecoveryTest, KilledDocumentsComeBackAtTheirLastRecordedState) {
    RunAndKill([](Workspace& w, RecoveryJournal&) {
        static std::unique_ptr<Image> a, b;  // never released: the process dies with them
        a = NewRed(w, 40, 30);
        b = NewRed(w, 8, 8);
        a->Layers().CurrentLayer()->SetOpacity(37);
        a->History().RecordState(a->Layers().CurrentLayer(), {}, kStateLayerOpacity, 0,
                                 "Set Layer Opacity", {{100}, {}, {}});
        // An edit begun but never recorded is the edit in progress: it is not kept.
        PixelEdit edit(b->Layers(), b->History());
        edit.BeginLayerEdit()->FillColor(0x00FF00, 100, 100, false);
    });
    auto w = MakeWorkspace();
    std::vector<RecoveryOffer> offers = FindRecoveryOffers(*w);
    ASSERT_EQ(offers.size(), 1u);
    ASSERT_TRUE(offers[0].readable) << offers[0].why;
    EXPECT_EQ(DescribeOffer(offers[0])[0],
              "Untitled-1 \xE2\x80\x94 40 \xC3\x97 30, 1 layer, at \"Set Layer Opacity\"");

    std::vector<std::unique_ptr<Image>> docs;
    RecoveryResult r = RecoverInto(*w, docs);
    EXPECT_EQ(r.recovered, 2);
    EXPECT_EQ(r.refused, 0);
    ASSERT_EQ(docs.size(), 2u);
    Layer& a = *docs[0]->Layers().CurrentLayer();
    EXPECT_EQ(docs[0]->Width(), 40);
    EXPECT_EQ(a.Opacity(), 37);
    EXPECT_EQ(PixelAt(a, 39, 29), 0x64FF0000u);
    EXPECT_TRUE(docs[0]->IsModified());
    EXPECT_EQ(PixelAt(*docs[1]->Layers().CurrentLayer(), 0, 0), 0x64FF0000u);
    // Only this run's own scratch file and journal are left.
    EXPECT_TRUE(FindRecoveryOffers(*w).empty());
    docs.clear();
}

// Work kept from more crashes than there are names for running copies never stops a start, and
// every piece of it is offered.
TEST_F(RecoveryTest, KeptWorkOfTenCrashesIsAllOffered) {
    for (int i = 0; i < 10; ++i)
        RunAndKill([](Workspace& w, RecoveryJournal&) {
            static std::unique_ptr<Image> a;
            a = NewRed(w, 4, 3);
        });
    auto w = MakeWorkspace();
    EXPECT_EQ(w->Store().FileName(), dir.File("Photo Temp0011.temp"));
    std::vector<std::unique_ptr<Image>> docs;
    RecoveryResult r = RecoverInto(*w, docs);
    EXPECT_EQ(r.recovered, 10);
    EXPECT_EQ(r.refused, 0);
    EXPECT_TRUE(FindRecoveryOffers(*w).empty());
    docs.clear();
}

// Looking at a document between edits (a layer thumbnail, a selection test, Copy) reads its
// pixels and its mask and changes neither: it stays recoverable.
TEST_F(RecoveryTest, ReadingADocumentKeepsItRecoverable) {
    RunAndKill([](Workspace& w, RecoveryJournal&) {
        static std::unique_ptr<Image> a;
        a = NewRed(w, 40, 30);
        if (!a || SelectAll(a->History()) != 1) _exit(5);
        LayerThumbnail(*a->Layers().CurrentLayer(), 40, 30, 16);
        uint8_t strength[40];
        ReadMaskRow(*a->Layers().Selection(), 3, 0, 40, strength);
        MemoryClipboard clipboard;
        ClipboardState state;
        if (CopySelection(a->History(), clipboard, state) != 1) _exit(6);
    });
    auto w = MakeWorkspace();
    std::vector<RecoveryOffer> offers = FindRecoveryOffers(*w);
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_TRUE(offers[0].readable) << offers[0].why;
    std::vector<std::unique_ptr<Image>> docs;
    EXPECT_EQ(RecoverInto(*w, docs).recovered, 1);
    docs.clear();
}

// A kill in the middle of an in-place change, a damaged block and a damaged journal are each
// refused with a reason; a good document beside them still comes back.
TEST_F(RecoveryTest, DamageIsRefusedClearly) {
    struct Case {
        const char* name;
        std::function<void(Workspace&)> work;
        std::function<void(const RecoveryOffer&)> damage;
        const char* message;
        int recovered;
    };
    std::vector<Case> cases = {
        {"changed in place",
         [](Workspace& w) {
             static std::unique_ptr<Image> a = NewRed(w, 16, 16);
             a->Layers().CurrentLayer()->Rows()->Row(0)[0] = 1;
         },
         nullptr, "being changed when the program stopped", 0},
        {"damaged guard", [](Workspace& w) { static std::unique_ptr<Image> a = NewRed(w, 16, 16); },
         [](const RecoveryOffer& o) {
             const JournalBlock b = o.journal.documents[0].layers[0].block;
             int fd = open(o.scratchPath.c_str(), O_WRONLY);
             const uint8_t zero = 0;
             ASSERT_EQ(pwrite(fd, &zero, 1, b.start + b.size - 1), 1);
             close(fd);
         },
         "pixels in the temporary file are damaged", 0},
        {"damaged journal",
         [](Workspace& w) { static std::unique_ptr<Image> a = NewRed(w, 16, 16); },
         [](const RecoveryOffer& o) {
             int fd = open(o.journalPath.c_str(), O_WRONLY);
             ASSERT_EQ(pwrite(fd, "X", 1, 60), 1);
             close(fd);
         },
         "incomplete or damaged", 0},
    };
    // A seal changed in place and then covered by the journal being written holds for that
    // journal only: the process may die before the seal is cleared.
    auto covered = [](uint32_t ahead) {
        return [ahead](const RecoveryOffer& o) {
            const uint32_t word = FileDynamicStore::SealCoveredBy(o.journal.sequence + ahead);
            int fd = open(o.scratchPath.c_str(), O_WRONLY);
            ASSERT_EQ(pwrite(fd, &word, 4, o.journal.documents[0].seal.start + 8), 4);
            close(fd);
        };
    };
    const auto inPlace = [](Workspace& w) {
        static std::unique_ptr<Image> a = NewRed(w, 16, 16);
        a->Layers().CurrentLayer()->Rows()->Row(0)[0] = 1;
    };
    cases.push_back({"covered by the journal", inPlace, covered(0), "", 1});
    cases.push_back({"covered by a journal never written", inPlace, covered(1),
                     "being changed when the program stopped", 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunAndKill([&](Workspace& w, RecoveryJournal&) { c.work(w); });
        auto w = MakeWorkspace();
        std::vector<RecoveryOffer> offers = FindRecoveryOffers(*w);
        ASSERT_EQ(offers.size(), 1u);
        if (c.damage) c.damage(offers[0]);
        offers = FindRecoveryOffers(*w);
        std::vector<std::unique_ptr<Image>> docs;
        RecoveryResult r = RecoverInto(*w, docs);
        EXPECT_EQ(r.recovered, c.recovered);
        EXPECT_EQ(r.refused, 1 - c.recovered);
        EXPECT_NE(messages.Last().find(c.message), std::string::npos) << messages.Last();
        // A journal that cannot be read leaves its files for Discard: the pixels may still be
        // there for another version of the program.
        const bool unreadable = std::string(c.name) == "damaged journal";
        EXPECT_EQ(FindRecoveryOffers(*w).size(), unreadable ? 1u : 0u);
        if (unreadable) {
            EXPECT_EQ(DiscardAll(FindRecoveryOffers(*w)), 1);
        }
        EXPECT_TRUE(FindRecoveryOffers(*w).empty());
    }
}

// A closed terminal or a logout ends the program by a signal: open documents stay recoverable.
TEST_F(RecoveryTest, TerminatingSignalsKeepJournaledWork) {
    for (int signal : {SIGTERM, SIGHUP}) {
        RunAndKill([](Workspace& w, RecoveryJournal&) { static auto a = NewRed(w, 8, 8); }, signal);
        auto w = MakeWorkspace();
        std::vector<std::unique_ptr<Image>> docs;
        EXPECT_EQ(RecoverInto(*w, docs).recovered, 1) << signal;
    }
    // Without a document there is nothing to keep: the file goes as before.
    RunAndKill([](Workspace&, RecoveryJournal&) {}, SIGTERM);
    EXPECT_EQ(FilesInFolder(), 0u);
}

// Qt ends the program with exit(1) when the display connection breaks (a logout, a lost remote
// session): the documents were never closed, and their work stays recoverable. An exit after
// they were closed leaves nothing behind.
TEST_F(RecoveryTest, AnExitWithDocumentsOpenKeepsJournaledWork) {
    RunAndKill(
        [](Workspace& w, RecoveryJournal&) {
            [[maybe_unused]] static Image* a = NewRed(w, 8, 8).release();
        },
        0);
    {
        auto w = MakeWorkspace();
        std::vector<std::unique_ptr<Image>> docs;
        EXPECT_EQ(RecoverInto(*w, docs).recovered, 1);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        std::filesystem::remove(entry.path());
    RunAndKill(
        [](Workspace& w, RecoveryJournal&) {
            auto a = NewRed(w, 8, 8);
            a.reset();
        },
        0);
    EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(RecoveryTest, LaterKeepsTheFilesDiscardRemovesThem) {
    RunAndKill([](Workspace& w, RecoveryJournal&) {
        static std::unique_ptr<Image> a = NewRed(w, 16, 16);
    });
    {
        // A start that neither recovers nor discards leaves the stale file as it is.
        auto w = MakeWorkspace();
        EXPECT_EQ(FindRecoveryOffers(*w).size(), 1u);
        EXPECT_NE(w->Store().FileName(), FindRecoveryOffers(*w)[0].scratchPath);
    }
    auto w = MakeWorkspace();
    std::vector<RecoveryOffer> offers = FindRecoveryOffers(*w);
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(DiscardAll(offers), 1);
    EXPECT_TRUE(FindRecoveryOffers(*w).empty());
    w.reset();
    EXPECT_EQ(FilesInFolder(), 0u);
}

// A crash right after Image Size brings the document back with its new resolution: the state
// and the resolution reach the journal together.
TEST_F(RecoveryTest, ImageSizeComesBackWithItsResolution) {
    RunAndKill([](Workspace& w, RecoveryJournal&) {
        static std::unique_ptr<Image> a = NewRed(w, 40, 30);
        int32_t resolution = a->Resolution();
        ResizeImage(a->History(), {20, 15, 11811, false}, resolution);
    });
    auto w = MakeWorkspace();
    std::vector<std::unique_ptr<Image>> docs;
    ASSERT_EQ(RecoverInto(*w, docs).recovered, 1);
    EXPECT_EQ(docs[0]->Width(), 20);
    EXPECT_EQ(docs[0]->Resolution(), 11811);
}

// A recovery that finds no room for a document keeps the files, so that it can be tried again
// once there is room; a journal whose scratch file was deleted by hand goes at the next start.
TEST_F(RecoveryTest, WorkThatFindsNoRoomIsKeptForAnotherTry) {
    RunAndKill([](Workspace& w, RecoveryJournal&) {
        static std::unique_ptr<Image> a = NewRed(w, 8, 8);
        static std::unique_ptr<Image> b = NewRed(w, 1000, 1000);
    });
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A file-size limit makes the new store's growth fail as a full disk would.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16u << 20, 16u << 20};  // room for the small one only
        setrlimit(RLIMIT_FSIZE, &limit);
        Workspace w(disks);
        if (!w.Setup(dir.Path())) _exit(3);
        std::vector<std::unique_ptr<Image>> docs;
        const RecoveryResult r = RecoverInto(w, docs);
        _exit(r.recovered == 1 && r.refused == 1 ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    {
        auto w = MakeWorkspace();
        std::vector<std::unique_ptr<Image>> docs;
        // Only the work that found no room is offered again, not what came back with it.
        ASSERT_EQ(RecoverInto(*w, docs).recovered, 1);
        EXPECT_EQ(docs[0]->Width(), 1000);
        EXPECT_EQ(PixelAt(*docs[0]->Layers().CurrentLayer(), 999, 999), 0x64FF0000u);
    }

    RunAndKill(
        [](Workspace& w, RecoveryJournal&) { static std::unique_ptr<Image> a = NewRed(w, 8, 8); });
    const std::vector<RecoveryOffer> offers = FindRecoveryOffers(*MakeWorkspace());
    ASSERT_EQ(offers.size(), 1u);
    std::filesystem::remove(offers[0].scratchPath);
    auto w = MakeWorkspace();
    EXPECT_FALSE(std::filesystem::exists(offers[0].journalPath));
    EXPECT_EQ(w->Store().FileName(), offers[0].scratchPath);  // its name is free again
}

// A dead run's scratch file can fill its disk, so the next start chooses another one: the work
// is still offered from there. A folder given on the command line is the only one looked in.
TEST_F(RecoveryTest, WorkLeftOnAnotherDiskIsOfferedWhenTheDiskWasChosen) {
    RunAndKill([](Workspace& w, RecoveryJournal&) {
        static std::unique_ptr<Image> a = NewRed(w, 16, 16);
    });
    test::TempDir other;
    disks.disks[0].available = 150u << 20;  // under the 200 MB of the automatic choice
    disks.disks.push_back({other.Path(), true, uint64_t(1) << 40});
    disks.systemRoot = other.Path();
    for (bool given : {true, false}) {
        Workspace w(disks);
        ASSERT_TRUE(given ? w.Setup(other.Path()) : w.Setup()) << messages.Last();
        ASSERT_EQ(w.TempFolder(), other.Path());
        const std::vector<RecoveryOffer> offers = FindRecoveryOffers(w);
        ASSERT_EQ(offers.size(), given ? 0u : 1u) << given;
        if (given) continue;
        EXPECT_EQ(offers[0].scratchPath.rfind(dir.Path(), 0), 0u) << offers[0].scratchPath;
        std::vector<std::unique_ptr<Image>> docs;
        EXPECT_EQ(RecoverAll(w, offers,
                             [&](std::unique_ptr<Image> i, const JournalDocument&) {
                                 docs.push_back(std::move(i));
                             })
                      .recovered,
                  1);
        ASSERT_EQ(docs.size(), 1u);
        EXPECT_EQ(PixelAt(*docs[0]->Layers().CurrentLayer(), 15, 15), 0x64FF0000u);
        EXPECT_EQ(FilesInFolder(), 0u);
    }
}

TEST_F(RecoveryTest, CleanRunLeavesNothingBehind) {
    {
        auto w = MakeWorkspace();
        RecoveryJournal journal(*w);
        auto a = NewRed(*w, 16, 16);
        ASSERT_TRUE(a);
        EXPECT_TRUE(std::filesystem::exists(journal.Path()));
        a->Release();
        // Closing the last document removes the journal at once.
        EXPECT_FALSE(std::filesystem::exists(journal.Path()));
        a = NewRed(*w, 16, 16);
    }
    EXPECT_EQ(FilesInFolder(), 0u);
}

// Blocks the journal names are never freed or reused, and the first write to one marks its
// document's seal, also through a window mapped before the block was pinned.
TEST_F(RecoveryTest, PinnedBlocksStayAndWritesMarkTheSeal) {
    auto w = MakeWorkspace();
    FileDynamicStore& s = w->Store();
    BlockHandle pixels = s.Allocate(4096), seal = s.Allocate(4);
    ASSERT_TRUE(pixels && seal);
    RowCursor early(s, pixels, 0, 64, 64);
    ASSERT_NE(early.Row(0), nullptr);
    ASSERT_TRUE(s.WriteWord(seal, 0, FileDynamicStore::kSealClean));
    auto sealWord = [&] {
        uint32_t v = 0;
        EXPECT_EQ(pread(s.FileHandle(), &v, 4, off_t(s.Payload(seal).offset)), 4);
        return v;
    };
    s.SetPins({{pixels, seal}});
    const uint32_t used = s.UsedCount();
    EXPECT_TRUE(s.Free(pixels));
    EXPECT_EQ(s.UsedCount(), used);
    EXPECT_EQ(s.DeferredFrees(), 1u);
    const BlockHandle other = s.Allocate(4096);
    EXPECT_NE(other, pixels);
    EXPECT_EQ(sealWord(), FileDynamicStore::kSealClean);
    ASSERT_NE(early.Row(1), nullptr);  // the kept window notices the pin
    EXPECT_EQ(sealWord(), FileDynamicStore::kSealDirty);
    s.SetPins({});
    EXPECT_EQ(s.DeferredFrees(), 0u);
    EXPECT_EQ(s.UsedCount(), used);  // one more allocated, the pinned one gone
    EXPECT_EQ(s.GetNode(pixels).inUse, 0u);
    EXPECT_TRUE(s.CheckStore());
}

}  // namespace
}  // namespace zelvo
