// The scratch file block store: file creation and naming, the guarded heap over the file's
// data area, the index of node records, growth, shrinking and the consistency checks.
#include "store/FileDynamicStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ExitCleanup.h"
#include "platform/Messages.h"
#include "store/RowCursor.h"
#include "store/SeriesListing.h"
#include "store/SpaceFailures.h"

namespace zelvo {

static_assert(std::endian::native == std::endian::little,
              "the scratch file's words are little-endian");
static_assert(sizeof(FileDynamicStore::Header) == FileDynamicStore::kHeaderBytes);
static_assert(sizeof(FileDynamicStore::Node) == FileDynamicStore::kNodeBytes);

namespace {

constexpr uint8_t kStartGuard[8] = {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
constexpr uint8_t kEndGuard[8] = {0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x01, 0xFF, 0x01};

constexpr uint64_t kOpenSpace = 0x6400000;        // 100 MB free needed to start
constexpr uint32_t kLowSpaceWarning = 0x6DFFFFF;  // just under 110 MB
constexpr uint32_t kLargeRequest = 0xC800000;     // 200 MB
constexpr uint32_t kSlotReserve = 10240;

constexpr const char* kLowSpaceStart = "Please Save File!\n\n";
constexpr const char* kLowSpaceRest =
    " disk space for less!\n Please close the image file and clean up disk space\xE3\x80\x82";
constexpr const char* kLargeRequestWarning = "Application cache too large!";
constexpr const char* kSlotsWarning =
    "Procedures used for too long!\nPlease close all image files in order to clean up temporary "
    "file!";
constexpr uint32_t kNearlyFull = 0xE6600000;
constexpr uint64_t kFillView = 0x200000;
constexpr uint32_t kSlotCount = (FileDynamicStore::kIndexEndGuard - FileDynamicStore::kFirstSlot) /
                                FileDynamicStore::kNodeBytes;

const char* const kMsgNotOpen = "File not exist!";
const char* const kMsgCreateFails = "Temporary file fails to create, \nthe program can not start.";

void Show(const std::string& text) {
    AppMessages().Show(text);
}

// ---- Creating a name of the series ---------------------------------------------------------

std::atomic<uint64_t> g_spaceFailures{0};

// Counts a space failure and shows the disk message.
void ShowNoSpace(const std::string& folder) {
    g_spaceFailures.fetch_add(1, std::memory_order_acq_rel);
    Show(
        Format("Temporary disk %s not enough disk space! \nPlease restart the program Or "
               "set temporary disk to other Disk partition.\n",
               folder.c_str()));
}

enum class TryResult { Created, Held, Failed };

// Opens and locks `name`. Held: another running store has it (or it exists but cannot be
// opened, or recovery keeps it); Failed: it does not exist and cannot be made.
TryResult TryCreate(const std::string& name, int& fdOut) {
    if (HasJournal(name)) return TryResult::Held;
    for (int attempt = 0; attempt < 4; ++attempt) {
        bool created = true;
        int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            created = false;
            fd = open(name.c_str(), O_RDWR | O_CLOEXEC);
            if (fd < 0 && errno == ENOENT) continue;  // its holder just removed it
        }
        if (fd < 0) return access(name.c_str(), F_OK) == 0 ? TryResult::Held : TryResult::Failed;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            bool busy = errno == EWOULDBLOCK;
            if (created) unlink(name.c_str());
            close(fd);
            // Without locks two copies could share one file: refuse the disk rather than risk it.
            return busy ? TryResult::Held : TryResult::Failed;
        }
        // The previous holder may have removed the name between our open and our lock.
        struct stat a, b;
        if (fstat(fd, &a) != 0 || stat(name.c_str(), &b) != 0 || a.st_dev != b.st_dev ||
            a.st_ino != b.st_ino) {
            close(fd);
            continue;
        }
        fdOut = fd;
        return TryResult::Created;
    }
    return TryResult::Held;
}

}  // namespace

uint64_t ScratchSpaceFailures() {
    return g_spaceFailures.load(std::memory_order_acquire);
}

// ---- Life cycle ------------------------------------------------------------------------------

FileDynamicStore::FileDynamicStore(DiskService& disks) : m_disks(disks) {
    long page = sysconf(_SC_PAGESIZE);
    if (page > 0 && kAllocationGranularity % uint32_t(page) != 0) m_granularity = uint32_t(page);
}

FileDynamicStore::~FileDynamicStore() {
    if (m_open) CloseFile(true);
}

void FileDynamicStore::CloseFile(bool removeName) {
    if (m_headerView) munmap(m_headerView, kDataStart);
    m_headerView = nullptr;
    if (m_liveEntry >= 0) {
        // Removing the name while the lock is still held keeps another copy from taking the
        // name in between and losing its new file to our unlink.
        if (removeName)
            RemoveRegistered(m_liveEntry);
        else
            UnregisterRemoveAtExit(m_liveEntry);
        m_liveEntry = -1;
    } else if (removeName && !m_fileName.empty()) {
        unlink(m_fileName.c_str());
    }
    if (m_file >= 0) close(m_file);
    m_file = -1;
    m_open = false;
    m_fileBytes.store(0, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
}

void FileDynamicStore::ClearFields() {
    m_open = false;
    m_file = -1;
    m_headerView = nullptr;
    m_folder.clear();
    m_fileName.clear();
    m_fileBytes.store(0, std::memory_order_release);
}

bool FileDynamicStore::SpaceCheck(uint64_t n) {
    // An unknown answer counts as no space, as a failed disk query would.
    uint64_t avail = m_disks.AvailableBytes(m_folder).value_or(0);
    uint32_t high = uint32_t(avail >> 32), low = uint32_t(avail);
    if (high == 0 && low <= kLowSpaceWarning) Show(kLowSpaceStart + m_folder + kLowSpaceRest);
    return high != 0 || n < low;
}

bool FileDynamicStore::Open(const std::string& folder) {
    if (m_open) {
        Show("File  exist!");
        return false;
    }
    m_folder = folder;
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    // Before the space is measured: stale files of earlier runs may be what fills the disk.
    ReclaimStaleSeries(dir);
    if (!SpaceCheck(kOpenSpace)) {
        std::string f = m_folder;
        ClearFields();
        Show(
            Format("%s disk space is less than 100M,temporary file fails to create, \nthe program "
                   "can not start.",
                   f.c_str()));
        return false;
    }
    int fd = -1;
    std::string name;
    for (int i = 1, last = kRunningCopies; i <= last && fd < 0; ++i) {
        name = SeriesName(dir, i);
        // A file left by a dead process with a recovery journal beside it holds the user's
        // work: it is never reused here, whatever its lock says, and it does not count against
        // the running copies.
        if (access(name.c_str(), F_OK) == 0 && access(JournalName(name).c_str(), F_OK) == 0) {
            last = std::min(last + 1, kLastSeriesName);
            continue;
        }
        if (TryCreate(name, fd) == TryResult::Failed) break;
    }
    if (fd < 0) {
        ClearFields();
        Show(kMsgCreateFails);
        return false;
    }
    // A stale file left by a crash is reused from empty; the whole index is reserved on the disk
    // now so that touching it can never fault.
    void* view = MAP_FAILED;
    if (ftruncate(fd, 0) == 0 && posix_fallocate(fd, 0, kDataStart) == 0)
        view = mmap(nullptr, kDataStart, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        unlink(name.c_str());
        close(fd);
        ClearFields();
        Show(kMsgCreateFails);
        return false;
    }
    m_file = fd;
    m_fileName = name;
    m_headerView = static_cast<uint8_t*>(view);
    m_fileBytes.store(kDataStart, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    WriteEmptyIndex();
    m_liveEntry = RegisterRemoveAtExit(name, fd, JournalName(name));
    m_open = true;
    return true;
}

void FileDynamicStore::WriteEmptyIndex() {
    Header& h = H();
    h = Header{};
    h.fileSize = kDataStart;
    h.nextSlot = kFirstSlot;
    h.indexSize = kIndexSize;
    // The index must be all zeros already: a file just grown from empty reads as zeros, so
    // clearing it here would only dirty 3 MB of pages.
    std::memcpy(m_headerView + kHeaderBytes, kStartGuard, kGuardBytes);
    std::memcpy(m_headerView + kIndexEndGuard, kEndGuard, kGuardBytes);
    // Not synced to the disk: the shared mapping is what every reader of the file sees, and
    // after a crash recovery reads only the blocks its journal names, never this index, so
    // waiting for the disk here (milliseconds on a real disk at every start) would buy nothing.
}

// ---- Index records -----------------------------------------------------------------------------

FileDynamicStore::Node* FileDynamicStore::NodeAt(uint32_t offset) const {
    if (!m_headerView || offset < kFirstSlot || (offset - kFirstSlot) % kNodeBytes != 0 ||
        uint64_t(offset) + kNodeBytes > kIndexEndGuard)
        return nullptr;
    return reinterpret_cast<Node*>(m_headerView + offset);
}

uint32_t FileDynamicStore::SlotsLeft() const {
    uint32_t next = H().nextSlot;
    if (next < kFirstSlot || next >= kIndexEndGuard) return 0;
    return (kIndexEndGuard - next) / kNodeBytes;
}

uint32_t FileDynamicStore::TakeSlot() {
    Header& h = H();
    if (!NodeAt(h.nextSlot)) return 0;
    uint32_t slot = h.nextSlot;
    h.nextSlot += kNodeBytes;
    return slot;
}

BlockHandle FileDynamicStore::NewUsedNode(uint32_t start, uint32_t size) {
    uint32_t slot = TakeSlot();
    Node* n = NodeAt(slot);
    if (!n) return 0;
    Header& h = H();
    *n = Node{1, start, size, h.usedTail, 0, 0};
    if (Node* t = NodeAt(h.usedTail))
        t->next = slot;
    else
        h.usedHead = slot;
    h.usedTail = slot;
    ++h.usedCount;
    return slot;
}

void FileDynamicStore::InsertFreeNode(uint32_t slot, uint32_t start, uint32_t size) {
    Node* n = NodeAt(slot);
    if (!n) return;
    Header& h = H();
    *n = Node{1, start, size, 0, 0, 0};
    ++h.freeCount;
    if (h.freeHead == 0) {
        h.freeHead = h.freeTail = slot;
        h.largestFree = size;
        return;
    }
    Node* at = nullptr;
    uint32_t atSlot = 0;
    if (size <= h.largestFree) {
        uint32_t steps = 0;
        for (uint32_t c = h.freeHead; Node* f = NodeAt(c); c = f->next) {
            if (f->size >= size) {
                at = f;
                atSlot = c;
                break;
            }
            if (++steps > kSlotCount) break;
        }
    }
    if (!at) {  // the largest so far (or a damaged list): append at the tail
        n->prev = h.freeTail;
        if (Node* t = NodeAt(h.freeTail)) t->next = slot;
        h.freeTail = slot;
        h.largestFree = size;
        return;
    }
    n->next = atSlot;
    n->prev = at->prev;
    if (Node* p = NodeAt(at->prev))
        p->next = slot;
    else
        h.freeHead = slot;
    at->prev = slot;
}

void FileDynamicStore::RemoveFreeNode(uint32_t slot) {
    Node* n = NodeAt(slot);
    if (!n) return;
    Header& h = H();
    Node* p = NodeAt(n->prev);
    Node* x = NodeAt(n->next);
    if (p)
        p->next = n->next;
    else
        h.freeHead = n->next;
    if (x) x->prev = n->prev;
    if (h.freeTail == slot) {
        h.freeTail = n->prev;
        h.largestFree = p ? p->size : 0;
    }
    if (h.freeCount > 0) --h.freeCount;
    *n = Node{};
}

void FileDynamicStore::RemoveUsedNode(uint32_t slot) {
    Node* n = NodeAt(slot);
    if (!n) return;
    Header& h = H();
    Node* p = NodeAt(n->prev);
    Node* x = NodeAt(n->next);
    if (p)
        p->next = n->next;
    else
        h.usedHead = n->next;
    if (x)
        x->prev = n->prev;
    else
        h.usedTail = n->prev;
    if (h.usedCount > 0) --h.usedCount;
    *n = Node{};
}

int FileDynamicStore::ListOf(uint32_t slot) const {
    // Follow the back links to the list's head; a bounded walk so a damaged index cannot loop.
    uint32_t c = slot;
    for (uint32_t steps = 0; steps <= kSlotCount; ++steps) {
        Node* n = NodeAt(c);
        if (!n || !n->inUse) return 0;
        if (n->prev == 0) {
            if (c == H().usedHead) return 1;
            if (c == H().freeHead) return 2;
            return 0;
        }
        c = n->prev;
    }
    return 0;
}

FileDynamicStore::Header FileDynamicStore::GetHeader() const {
    return m_open ? H() : Header{};
}

FileDynamicStore::Node FileDynamicStore::GetNode(uint32_t slot) const {
    Node* n = m_open ? NodeAt(slot) : nullptr;
    return n ? *n : Node{};
}

uint32_t FileDynamicStore::UsedCount() const {
    return m_open ? H().usedCount : 0;
}
uint32_t FileDynamicStore::FreeCount() const {
    return m_open ? H().freeCount : 0;
}

int FileDynamicStore::FileHandle() const {
    if (!m_open) {
        Show(kMsgNotOpen);
        return -1;
    }
    return m_file;
}

FileDynamicStore::Span FileDynamicStore::Payload(BlockHandle h) const {
    Node* n = m_open ? NodeAt(h) : nullptr;
    if (!n || !n->inUse || n->size < 2 * kGuardBytes) return {};
    return {uint64_t(n->start) + kGuardBytes, n->size - 2 * kGuardBytes};
}

FileDynamicStore::Window FileDynamicStore::MapWindow(uint64_t offset, uint64_t length) const {
    Window w;
    w.delta = uint32_t(offset % m_granularity);
    w.viewOffset = offset - w.delta;
    w.viewLength = length + w.delta;
    return w;
}

// ---- Allocation --------------------------------------------------------------------------------

bool FileDynamicStore::Grow(uint32_t b) {
    Header& h = H();
    uint64_t old = h.fileSize, length = old + b;
    // Reserving the blocks now makes a full disk an error here instead of a SIGBUS later.
    int err = posix_fallocate(m_file, off_t(old), off_t(b));
    struct stat st;
    if (err == 0 && (fstat(m_file, &st) != 0 ||
                     (uint64_t(st.st_size) < length && ftruncate(m_file, off_t(length)) != 0)))
        err = errno;
    if (err != 0) {
        // The disk filled up under us (another program, or less space than it said).
        if (err == ENOSPC || err == EDQUOT)
            ShowNoSpace(m_folder);
        else
            Show(Format("Expansion of temporary file failed, error code=%d", err));
        // Give back whatever was added, so the header describes only bytes the file has.
        if (ftruncate(m_file, off_t(old)) == 0) m_fileBytes.store(old, std::memory_order_release);
        return false;
    }
    h.fileSize = uint32_t(length);
    m_fileBytes.store(std::max<uint64_t>(length, uint64_t(st.st_size)), std::memory_order_release);
    if (h.fileSize > kNearlyFull) {
        Show(
            "Soon filled with temporary file and needs to close a number of images \n to the "
            "release of temporary file space!");
        if (onNearlyFull) onNearlyFull();
    }
    return true;
}

bool FileDynamicStore::WriteGuards(uint32_t start, uint32_t size) {
    return pwrite(m_file, kStartGuard, kGuardBytes, start) == ssize_t(kGuardBytes) &&
           pwrite(m_file, kEndGuard, kGuardBytes, uint64_t(start) + size - kGuardBytes) ==
               ssize_t(kGuardBytes);
}

BlockHandle FileDynamicStore::Allocate(uint64_t n) {
    if (!m_open) {
        Show(kMsgNotOpen);
        return 0;
    }
    if (n == 0) return 0;
    // Sizes and offsets are 32-bit words in the index: refuse what they cannot describe.
    if (n > UINT32_MAX - 2 * kGuardBytes - 3) {
        Show("The requested block does not fit in the temporary file!");
        return 0;
    }
    uint32_t b = uint32_t((n + 3) & ~uint64_t(3)) + 2 * kGuardBytes;
    if (b > kLargeRequest) Show(kLargeRequestWarning);
    Header& h = H();
    if (int64_t(h.nextSlot) > int64_t(h.indexSize) - int64_t(kSlotReserve)) Show(kSlotsWarning);
    // A block may need a used node and a remainder node; writing past the last slot would
    // overwrite the index's guard and the first block.
    if (SlotsLeft() < 2) return 0;

    uint32_t fit = 0;
    if (h.largestFree >= b) {
        uint32_t steps = 0;
        for (uint32_t c = h.freeHead; Node* f = NodeAt(c); c = f->next) {
            if (f->size >= b) {
                fit = c;
                break;
            }
            if (++steps > kSlotCount) break;
        }
    }
    if (!fit) {
        if (uint64_t(h.fileSize) + b > UINT32_MAX) {
            Show("The requested block does not fit in the temporary file!");
            return 0;
        }
        if (!SpaceCheck(b)) {
            ShowNoSpace(m_folder);
            return 0;
        }
        uint32_t start = h.fileSize;
        if (!Grow(b)) return 0;
        if (!WriteGuards(start, b)) {
            Show(Format("Expansion of temporary file failed, error code=%d", errno));
            CutFile(start);
            return 0;
        }
        return NewUsedNode(start, b);
    }
    Node* f = NodeAt(fit);
    uint32_t start = f->start, size = f->size;
    if (!WriteGuards(start, b)) {
        Show(Format("Expansion of temporary file failed, error code=%d", errno));
        return 0;
    }
    BlockHandle handle = NewUsedNode(start, b);
    RemoveFreeNode(fit);
    if (size > b) InsertFreeNode(TakeSlot(), start + b, size - b);
    return handle;
}

bool FileDynamicStore::Free(BlockHandle handle) {
    if (!m_open) {
        Show(kMsgNotOpen);
        return false;
    }
    // The journal still names this block: it goes when the journal lets go of it.
    if (IsPinned(handle) && ListOf(handle) == 1) {
        if (std::find(m_deferred.begin(), m_deferred.end(), handle) == m_deferred.end())
            m_deferred.push_back(handle);
        return true;
    }
    return FreeNow(handle);
}

bool FileDynamicStore::FreeNow(BlockHandle handle) {
    Header& h = H();
    Node* n = NodeAt(handle);
    // A free node's record is in use too: only a member of the used list may be freed.
    if (!n || !n->inUse || h.usedCount == 0 || ListOf(handle) != 1) {
        Show("Delete Node False!");
        return false;
    }
    uint64_t s = n->start, e = s + n->size;
    uint32_t steps = 0;
    for (uint32_t c = h.freeHead; Node* f = NodeAt(c); c = f->next) {
        f->mark = 0;
        if (++steps > kSlotCount) break;
    }
    // Passes until nothing more touches the range; touching ends count, so neighbours on both
    // sides join.
    for (bool merged = true; merged;) {
        merged = false;
        steps = 0;
        for (uint32_t c = h.freeHead; Node* f = NodeAt(c); c = f->next) {
            uint64_t fs = f->start, fe = fs + f->size;
            if (!f->mark && fs <= e && s <= fe) {
                s = std::min(s, fs);
                e = std::max(e, fe);
                f->mark = 1;
                merged = true;
            }
            if (++steps > kSlotCount) break;
        }
    }
    steps = 0;
    for (uint32_t c = h.freeHead; Node* f = NodeAt(c);) {
        uint32_t next = f->next;
        if (f->mark) RemoveFreeNode(c);
        c = next;
        if (++steps > kSlotCount) break;
    }
    if (uint32_t slot = TakeSlot()) {
        InsertFreeNode(slot, uint32_t(s), uint32_t(e - s));
        RemoveUsedNode(handle);
    } else {
        // No fresh slot left: the freed block's own record becomes the free node.
        RemoveUsedNode(handle);
        InsertFreeNode(handle, uint32_t(s), uint32_t(e - s));
    }
    return true;
}

// ---- Shrinking and resetting
// ---------------------------------------------------------------------

void FileDynamicStore::CutFile(uint64_t length) {
    // The header view covers only the index, which the file always keeps, so it stays valid.
    if (ftruncate(m_file, off_t(length)) != 0) Show(Format("GetLastError()=%d", errno));
    H().fileSize = uint32_t(length);
    struct stat st;
    uint64_t real = fstat(m_file, &st) == 0 ? uint64_t(st.st_size) : 0;
    m_fileBytes.store(real, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    if (real != length) Show("ReduceFile Error!");
}

void FileDynamicStore::Shrink() {
    if (!m_open) {
        Show(kMsgNotOpen);
        return;
    }
    Header& h = H();
    uint64_t end = 0;
    uint32_t steps = 0;
    for (uint32_t c = h.usedHead; Node* u = NodeAt(c); c = u->next) {
        end = std::max(end, uint64_t(u->start) + u->size);
        if (++steps > kSlotCount) break;
    }
    bool removed = false;
    steps = 0;
    for (uint32_t c = h.freeHead; Node* f = NodeAt(c);) {
        uint32_t next = f->next;
        if (f->start >= end) {
            RemoveFreeNode(c);
            removed = true;
        }
        c = next;
        if (++steps > kSlotCount) break;
    }
    if (h.usedHead == 0)
        Reset();
    else if (removed)
        CutFile(end);
}

void FileDynamicStore::Reset() {
    if (!m_open) return;
    m_pins.store(nullptr, std::memory_order_release);
    m_pinEpoch.fetch_add(1, std::memory_order_acq_rel);
    m_deferred.clear();
    CutFile(kDataStart);
    // Slots are taken in order and never past the next one, so only those below it can hold
    // anything: clearing all 3 MB would fault in and dirty every page of the index.
    const uint32_t used = std::clamp(H().nextSlot, kFirstSlot, kIndexEndGuard);
    std::memset(m_headerView + kHeaderBytes, 0, used - kHeaderBytes);
    WriteEmptyIndex();
}

// ---- Checks and filling
// --------------------------------------------------------------------------

bool FileDynamicStore::GuardAt(uint64_t offset, const uint8_t* pattern) const {
    // Read, not mapped: a mapping's unmap stops every other thread of the process to flush its
    // TLB, and the history checks every block's guards after each command.
    uint8_t bytes[kGuardBytes];
    const uint64_t fileBytes = FileBytes();
    if (!m_open || m_file < 0 || offset > fileBytes || fileBytes - offset < kGuardBytes)
        return false;
    ssize_t got;
    do {
        got = pread(m_file, bytes, kGuardBytes, off_t(offset));
    } while (got < 0 && errno == EINTR);
    return got == ssize_t(kGuardBytes) && std::memcmp(bytes, pattern, kGuardBytes) == 0;
}

void FileDynamicStore::ShowBlockError(const Node& n) const {
    Show(Format("FileDynamicStore::CheckBlock error: start=%u,size=%u", n.start, n.size));
}

bool FileDynamicStore::CheckUsedGuards(const Node& n) const {
    bool ok = n.size >= 2 * kGuardBytes && n.start >= kDataStart && GuardAt(n.start, kStartGuard) &&
              GuardAt(uint64_t(n.start) + n.size - kGuardBytes, kEndGuard);
    if (!ok) ShowBlockError(n);
    return ok;
}

bool FileDynamicStore::CheckFreeGuards(const Node& n) const {
    // The first block's left neighbour is the index's end guard.
    uint64_t end = uint64_t(n.start) + n.size;
    bool ok = n.start >= kDataStart && end <= H().fileSize &&
              GuardAt(n.start - kGuardBytes, kEndGuard) &&
              (end == H().fileSize || GuardAt(end, kStartGuard));
    if (!ok) ShowBlockError(n);
    return ok;
}

bool FileDynamicStore::CheckBlock(BlockHandle handle) {
    if (!m_open) {
        Show(kMsgNotOpen);
        return false;
    }
    Node* n = NodeAt(handle);
    if (!n || !n->inUse) return false;
    return ListOf(handle) == 2 ? CheckFreeGuards(*n) : CheckUsedGuards(*n);
}

bool FileDynamicStore::CheckStore() {
    if (!m_open) {
        Show(kMsgNotOpen);
        return false;
    }
    const Header& h = H();
    int code = 0;

    // Walks one list both ways, checking every block's guards (and the free list's order).
    // `linked` tells whether the list itself could be followed.
    auto walk = [&](uint32_t head, uint32_t tail, uint32_t count, bool freeList, uint32_t& largest,
                    bool& linked) {
        linked = false;
        bool ok = true;
        uint32_t n = 0, prev = 0, lastSize = 0;
        for (uint32_t c = head; c != 0;) {
            Node* x = NodeAt(c);
            if (!x || !x->inUse || x->prev != prev || n >= kSlotCount) return false;
            if (!(freeList ? CheckFreeGuards(*x) : CheckUsedGuards(*x))) ok = false;
            if (freeList && x->size < lastSize) ok = false;
            lastSize = x->size;
            largest = std::max(largest, x->size);
            ++n;
            prev = c;
            c = x->next;
        }
        if (n != count || prev != tail) return false;
        uint32_t back = 0, next = 0;
        for (uint32_t c = tail; c != 0;) {
            Node* x = NodeAt(c);
            if (!x || !x->inUse || x->next != next || back >= kSlotCount) return false;
            ++back;
            next = c;
            c = x->prev;
        }
        linked = back == count && next == head;
        return ok && linked;
    };

    uint32_t ignored = 0, largest = 0;
    bool usedLinked = false, freeLinked = false;
    if (!walk(h.usedHead, h.usedTail, h.usedCount, false, ignored, usedLinked)) code = 1;
    if (!walk(h.freeHead, h.freeTail, h.freeCount, true, largest, freeLinked)) code = 2;
    // The largest size is only known when the whole free list could be walked.
    if (freeLinked && largest != h.largestFree) code = 3;
    struct stat st;
    if (fstat(m_file, &st) != 0 || uint64_t(st.st_size) != h.fileSize) code = 4;
    if (h.indexSize != kIndexSize) code = 5;
    // Slots past nextSlot have never been used, so must be blank. With every slot taken there
    // is nothing left to look at.
    if (h.nextSlot != kFirstSlot + kSlotCount * kNodeBytes) {
        const Node* next = NodeAt(h.nextSlot);
        static const uint8_t kZero[kNodeBytes] = {};
        if (!next || std::memcmp(next, kZero, kNodeBytes) != 0) code = 6;
    }
    if (code != 0) {
        Show(Format("check error! =%d", code));
        return false;
    }
    return true;
}

void FileDynamicStore::Fill(BlockHandle handle, uint8_t byte, bool flush) {
    Span p = Payload(handle);
    // A damaged index may put a block past the file's end: the file must not grow by it.
    const uint64_t fileBytes = FileBytes();
    if (p.offset >= fileBytes) return;
    p.length = uint32_t(std::min<uint64_t>(p.length, fileBytes - p.offset));
    if (p.length == 0) return;
    // Written by pwrite from one bounded buffer: through mapped windows every page took a fault,
    // twenty times the cost of the copy on an 80 MB block.
    static const std::vector<uint8_t> zeros(kFillView, 0);
    std::vector<uint8_t> own;
    const uint8_t* bytes = zeros.data();
    if (byte != 0) {
        own.assign(std::min<uint64_t>(kFillView, p.length), byte);
        bytes = own.data();
    }
    const uint64_t chunk = byte != 0 ? own.size() : kFillView;
    NoteWrite(p.offset, p.length);
    for (uint64_t done = 0; done < p.length;) {
        const uint64_t len = std::min<uint64_t>(chunk, p.length - done);
        const ssize_t put = pwrite(m_file, bytes, len, off_t(p.offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        done += uint64_t(put);
    }
    if (flush)
        sync_file_range(
            m_file, off_t(p.offset), off_t(p.length),
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
}

bool IsStoreWarning(const std::string& text) {
    const std::string start = kLowSpaceStart, rest = kLowSpaceRest;
    return text == kLargeRequestWarning || text == kSlotsWarning ||
           (text.size() >= start.size() + rest.size() && text.rfind(start, 0) == 0 &&
            text.compare(text.size() - rest.size(), rest.size(), rest) == 0);
}

bool ReadStoreBytes(const FileDynamicStore& store, uint64_t offset, uint8_t* bytes,
                    uint64_t length) {
    const uint64_t fileBytes = store.FileBytes();
    const int fd = store.IsOpen() ? store.FileHandle() : -1;
    if (fd < 0 || offset > fileBytes || length > fileBytes - offset) return false;
    for (uint64_t done = 0; done < length;) {
        const ssize_t got = pread(fd, bytes + done, length - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += uint64_t(got);
    }
    return true;
}

}  // namespace zelvo
