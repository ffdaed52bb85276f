#include "recovery/Recovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "doc/Image.h"
#include "layers/StoredDib.h"
#include "platform/Messages.h"
#include "recovery/RecoveryJournal.h"
#include "store/FileDynamicStore.h"
#include "store/SeriesListing.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

constexpr uint64_t kMaxJournalBytes = 64ull << 20;
constexpr uint8_t kStartGuard[8] = {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
constexpr uint8_t kEndGuard[8] = {0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x01};

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

bool ReadAt(int fd, void* dst, size_t n, uint64_t offset) {
    auto* p = static_cast<uint8_t*>(dst);
    for (size_t done = 0; done < n;) {
        ssize_t got = pread(fd, p + done, n - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += size_t(got);
    }
    return true;
}

bool ReadJournal(const std::string& path, std::vector<uint8_t>& bytes, std::string& why) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0) close(fd);
        why = "it cannot be read";
        return false;
    }
    if (uint64_t(st.st_size) > kMaxJournalBytes) {
        close(fd);
        why = "it is too large";
        return false;
    }
    bytes.resize(size_t(st.st_size));
    bool ok = ReadAt(fd, bytes.data(), bytes.size(), 0);
    close(fd);
    if (!ok) why = "it cannot be read";
    return ok;
}

// Opens and locks a stale scratch file; -1 when a running process holds it (or it is gone).
int LockStale(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Copies bytes between the files in the kernel where it can, else through a small buffer.
bool CopyRange(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t length) {
    loff_t in = loff_t(fromOffset), out = loff_t(toOffset);
    uint64_t left = length;
    while (left > 0) {
        ssize_t n =
            copy_file_range(from, &in, to, &out, size_t(std::min<uint64_t>(left, 1u << 30)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        left -= uint64_t(n);
    }
    std::vector<uint8_t> buffer;
    while (left > 0) {
        if (buffer.empty()) buffer.resize(1u << 20);
        size_t step = size_t(std::min<uint64_t>(left, buffer.size()));
        if (!ReadAt(from, buffer.data(), step, uint64_t(in))) return false;
        for (size_t done = 0; done < step;) {
            ssize_t put = pwrite(to, buffer.data() + done, step - done, off_t(out) + off_t(done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += size_t(put);
        }
        in += loff_t(step);
        out += loff_t(step);
        left -= step;
    }
    return true;
}

// The block the journal names must lie inside the file and carry both guards.
bool BlockIntact(int fd, uint64_t fileBytes, const JournalBlock& b) {
    if (b.start < FileDynamicStore::kDataStart || b.size < 2 * FileDynamicStore::kGuardBytes ||
        uint64_t(b.start) + b.size > fileBytes)
        return false;
    uint8_t head[8], tail[8];
    return ReadAt(fd, head, 8, b.start) && ReadAt(fd, tail, 8, uint64_t(b.start) + b.size - 8) &&
           std::memcmp(head, kStartGuard, 8) == 0 && std::memcmp(tail, kEndGuard, 8) == 0;
}

// The reasons that are this run's, not the document's: recovery can be tried again.
constexpr const char* kNoRoom = "the temporary disk has no room for it";
constexpr const char* kNotCopied = "its pixels cannot be copied";
constexpr const char* kKeptUntilDiscarded = " Its files are kept until you discard them.";
constexpr const char* kKeptForLater =
    " Its work is kept: free some space or choose another temporary disk, and recover again.";

class Refusal {
public:
    explicit Refusal(std::string why) : why(std::move(why)) {}
    std::string why;
};

// Makes one layer of the new store from its record, its pixels copied from the stale file
// after the block's guards and bitmap header have been checked against the record.
LayerPtr RebuildLayer(const JournalLayer& j, int fd, uint64_t fileBytes, FileDynamicStore& store,
                      std::string& why) {
    auto l = std::make_shared<Layer>(store);
    const LayerKind kind = LayerKind(j.kind);
    if (kind == LayerKind::Null) {
        l->Create(0, 0, kind, j.id, 0, false);
    } else {
        const bool bitsOk = j.bitsPerPixel == 1 || j.bitsPerPixel == 8 || j.bitsPerPixel == 32;
        if (!bitsOk || j.width <= 0 || j.height <= 0) {
            why = "a layer record holds impossible values";
            return nullptr;
        }
        if (!BlockIntact(fd, fileBytes, j.block)) {
            why = "its pixels in the temporary file are damaged";
            return nullptr;
        }
        if (!l->Create(j.width, j.height, kind, j.id, j.bitsPerPixel, false)) {
            why = kNoRoom;
            return nullptr;
        }
        const FileDynamicStore::Span p = store.Payload(l->Block());
        if (uint64_t(j.block.size) != uint64_t(p.length) + 2 * FileDynamicStore::kGuardBytes) {
            why = "its pixels in the temporary file are damaged";
            return nullptr;
        }
        const uint32_t headerBytes = StoredDib::RowsOffset(j.bitsPerPixel);
        std::vector<uint8_t> oldHeader(headerBytes), newHeader(headerBytes);
        const int storeFd = store.FileHandle();
        const uint64_t from = uint64_t(j.block.start) + FileDynamicStore::kGuardBytes;
        if (!ReadAt(fd, oldHeader.data(), headerBytes, from) ||
            !ReadAt(storeFd, newHeader.data(), headerBytes, p.offset) || oldHeader != newHeader) {
            why = "its pixels in the temporary file are damaged";
            return nullptr;
        }
        if (!CopyRange(fd, from, storeFd, p.offset, p.length)) {
            why = kNotCopied;
            return nullptr;
        }
    }
    l->SetSerial(j.serial);
    l->SetCurrent(j.current != 0);
    l->SetVisible(j.visible != 0);
    l->SetOpacity(j.opacity);
    l->SetPosition(j.x, j.y);
    l->SetBounds(j.bounds);
    l->SetColor(j.color);
    l->SetClosed(j.closed != 0);
    l->SetFilled(j.filled != 0);
    l->LinkIds().fill(0);
    for (size_t i = 0; i < j.linkIds.size() && i < l->LinkIds().size(); ++i)
        l->LinkIds()[i] = j.linkIds[i];
    l->SetLinkCount(j.linkCount);
    l->Text() = j.text;
    l->Anchors() = j.anchors;
    l->SetCurveBounds(j.curveBounds);
    return l;
}

bool RebuildDocument(const JournalDocument& d, uint32_t sequence, int fd, uint64_t fileBytes,
                     Image& image, std::string& why) {
    if (!BlockIntact(fd, fileBytes, d.seal) || d.seal.size < 2 * 8 + 4) {
        why = "its record in the temporary file is damaged";
        return false;
    }
    uint32_t seal = FileDynamicStore::kSealDirty;
    if (!ReadAt(fd, &seal, 4, uint64_t(d.seal.start) + 8) ||
        (seal != FileDynamicStore::kSealClean &&
         seal != FileDynamicStore::SealCoveredBy(sequence))) {
        why = "it was being changed when the program stopped";
        return false;
    }
    LayerManager& lm = image.Layers();
    FileDynamicStore& store = lm.Store();
    image.Geometry().width = d.width;
    image.Geometry().height = d.height;
    auto fail = [&] {
        lm.SetSelectionObject(nullptr);
        lm.DestroyAll();
        image.Geometry() = {};
        return false;
    };
    for (const JournalLayer& j : d.layers) {
        LayerPtr l = RebuildLayer(j, fd, fileBytes, store, why);
        if (!l) return fail();
        lm.InsertAt(lm.LayerCount(), std::move(l));
    }
    if (d.hasSelection) {
        LayerPtr sel = RebuildLayer(d.selection, fd, fileBytes, store, why);
        if (!sel) return fail();
        lm.SetSelectionObject(std::move(sel));
        lm.SetSelectionBounds(d.selectionBounds);
    }
    lm.SetCounters(d.lastLayerId, d.lastSerial);
    if (!image.FinishRecovered(d.path, d.resolution)) {
        why = kNoRoom;
        return fail();
    }
    return true;
}

void RemoveFiles(const RecoveryOffer& offer) {
    // The journal first: a crash in between leaves a plain stale file, reclaimed as any other.
    unlink(offer.journalPath.c_str());
    unlink((offer.journalPath + ".tmp").c_str());
    unlink(offer.scratchPath.c_str());
}

}  // namespace

std::vector<RecoveryOffer> FindRecoveryOffers(const std::string& folder,
                                              const std::string& ownScratch) {
    std::vector<RecoveryOffer> offers;
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (int i : SeriesInFolder(dir)) {
        RecoveryOffer o;
        o.scratchPath = FileDynamicStore::SeriesName(dir, i);
        o.journalPath = FileDynamicStore::JournalName(o.scratchPath);
        if (o.scratchPath == ownScratch || !Exists(o.scratchPath) || !Exists(o.journalPath))
            continue;
        int fd = LockStale(o.scratchPath);
        if (fd < 0) continue;  // a running copy's own files
        std::vector<uint8_t> bytes;
        struct stat st;
        if (ReadJournal(o.journalPath, bytes, o.why) && DecodeJournal(bytes, o.journal, o.why)) {
            if (fstat(fd, &st) != 0 || uint64_t(st.st_dev) != o.journal.scratchDevice ||
                uint64_t(st.st_ino) != o.journal.scratchInode)
                o.why = "it belongs to another temporary file";
            else
                o.readable = true;
        }
        close(fd);
        offers.push_back(std::move(o));
    }
    return offers;
}

std::vector<RecoveryOffer> FindRecoveryOffers(const Workspace& workspace) {
    std::vector<RecoveryOffer> offers;
    std::set<std::pair<dev_t, ino_t>> seen;  // one folder may be reached by two paths
    for (const std::string& folder : workspace.RecoveryFolders())
        for (RecoveryOffer& o : FindRecoveryOffers(folder, workspace.Store().FileName())) {
            struct stat st;
            if (stat(o.scratchPath.c_str(), &st) == 0 &&
                !seen.insert({st.st_dev, st.st_ino}).second)
                continue;
            offers.push_back(std::move(o));
        }
    return offers;
}

std::vector<std::string> DescribeOffer(const RecoveryOffer& offer) {
    std::vector<std::string> lines;
    if (!offer.readable) {
        lines.push_back(offer.scratchPath + " (cannot be recovered: " + offer.why + ")");
        return lines;
    }
    for (const JournalDocument& d : offer.journal.documents) {
        std::string line =
            Format("%s \xE2\x80\x94 %d \xC3\x97 %d, %d layer%s", d.title.c_str(), d.width, d.height,
                   int(d.layers.size()), d.layers.size() == 1 ? "" : "s");
        if (!d.stateName.empty()) line += ", at \"" + d.stateName + "\"";
        lines.push_back(line);
    }
    return lines;
}

RecoveryResult RecoverAll(Workspace& workspace, const std::vector<RecoveryOffer>& offers,
                          const AdoptRecovered& adopt) {
    RecoveryResult result;
    for (const RecoveryOffer& offer : offers) {
        if (!offer.readable) {
            // The scratch file may still hold the work (another version of the program may read
            // its journal): it goes only when the user discards it.
            AppMessages().Show("The recovery journal " + offer.journalPath +
                               " cannot be used: " + offer.why + "." + kKeptUntilDiscarded);
            ++result.refused;
            continue;
        }
        int fd = LockStale(offer.scratchPath);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || uint64_t(st.st_ino) != offer.journal.scratchInode) {
            if (fd >= 0) close(fd);
            continue;  // taken or replaced since it was listed
        }
        // A document that found no room, or whose pixels could not be copied, failed for this
        // run's sake, not its own: its files stay for another try (after space is freed or
        // another disk chosen), with a journal that names only such documents.
        Journal kept = offer.journal;
        kept.documents.clear();
        for (const JournalDocument& d : offer.journal.documents) {
            auto image = std::make_unique<Image>(workspace);
            std::string why;
            if (RebuildDocument(d, offer.journal.sequence, fd, uint64_t(st.st_size), *image, why)) {
                ++result.recovered;
                adopt(std::move(image), d);
            } else {
                ++result.refused;
                const bool retry = why == kNoRoom || why == kNotCopied;
                if (retry) kept.documents.push_back(d);
                AppMessages().Show("\"" + d.title + "\" cannot be recovered: " + why + "." +
                                   (retry ? kKeptForLater : ""));
            }
        }
        // When the shorter journal cannot be written the old one stays: the documents back
        // now are offered again rather than the kept ones lost.
        if (kept.documents.empty())
            RemoveFiles(offer);
        else if (kept.documents.size() < offer.journal.documents.size())
            WriteJournalFile(offer.journalPath, kept);
        close(fd);
    }
    return result;
}

int DiscardAll(const std::vector<RecoveryOffer>& offers) {
    int removed = 0;
    for (const RecoveryOffer& offer : offers) {
        int fd = LockStale(offer.scratchPath);
        if (fd < 0) continue;
        RemoveFiles(offer);
        close(fd);
        ++removed;
    }
    return removed;
}

}  // namespace zelvo
