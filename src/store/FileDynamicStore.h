// The scratch store: one file on the temporary disk managed as a heap of guarded blocks, with
// an index of node records in its first 3 MB. Pixels live here, never in RAM; callers hold a
// BlockHandle and map small windows of the file around the bytes they need.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Disk.h"

namespace zelvo {

using BlockHandle = uint32_t;  // offset of the block's node record; 0 = none

class FileDynamicStore {
public:
    static constexpr uint32_t kIndexSize = 0x300000;
    static constexpr uint32_t kHeaderBytes = 40;
    static constexpr uint32_t kFirstSlot = 48;
    static constexpr uint32_t kDataStart = 0x300028;  // 3 145 768: the empty file's length
    static constexpr uint32_t kNodeBytes = 24;
    static constexpr uint32_t kGuardBytes = 8;
    static constexpr uint32_t kIndexEndGuard = 0x300020;  // offset of the index's end guard

    // The ten header words, in file order.
    struct Header {
        uint32_t fileSize, largestFree, nextSlot, indexSize;
        uint32_t usedHead, usedTail, usedCount;
        uint32_t freeHead, freeTail, freeCount;
    };
    struct Node {
        uint32_t inUse, start, size, prev, next, mark;
    };
    struct Span {
        uint64_t offset = 0;  // payload's first byte in the file
        uint32_t length = 0;
    };
    struct Window {
        uint64_t viewOffset = 0;  // aligned to the granularity
        uint64_t viewLength = 0;
        uint32_t delta = 0;  // where the requested bytes start inside the view
    };

    explicit FileDynamicStore(DiskService& disks = AppDisks());
    ~FileDynamicStore();  // closes and removes the file
    FileDynamicStore(const FileDynamicStore&) = delete;
    FileDynamicStore& operator=(const FileDynamicStore&) = delete;

    bool Open(const std::string& folder);
    bool IsOpen() const { return m_open; }

    BlockHandle Allocate(uint64_t n);
    bool Free(BlockHandle h);
    Span Payload(BlockHandle h) const;
    Window MapWindow(uint64_t offset, uint64_t length) const;
    // The file descriptor for the caller's own mappings; -1 (with "File not exist!") if closed.
    int FileHandle() const;
    void Fill(BlockHandle h, uint8_t byte, bool flush);
    bool CheckBlock(BlockHandle h);
    bool CheckStore();
    void Shrink();
    void Reset();
    uint32_t UsedCount() const;
    uint32_t FreeCount() const;

    // Inspection (tests, diagnostics).
    Header GetHeader() const;
    Node GetNode(uint32_t slot) const;
    const std::string& Folder() const { return m_folder; }
    const std::string& FileName() const { return m_fileName; }
    uint32_t Granularity() const { return m_granularity; }
    // The length the file really has, as last set by the store.
    uint64_t FileBytes() const { return m_fileBytes.load(std::memory_order_acquire); }
    // Changes whenever the file is opened, closed, or cut shorter: a mapping of the whole file
    // made under another generation may reach past its end (or show a file that is gone).
    uint64_t Generation() const { return m_generation.load(std::memory_order_acquire); }
    // Raw access to the index view, for tests that damage the index on purpose.
    uint8_t* IndexViewForTesting() { return m_headerView; }

    // ---- Crash recovery ----
    // Blocks that the recovery journal names. A pinned block is never freed or reused: Free
    // only notes it, and the block goes when a later SetPins leaves it out. Before the first
    // write-capable mapping (or pwrite) of a pinned payload, the word at the start of the pin's
    // seal block is set to kSealDirty, so a journal whose pixels were then changed in place is
    // known to be stale even when the process dies in the middle of the change.
    static constexpr uint32_t kSealClean = 0;
    static constexpr uint32_t kSealDirty = 0x5954'5244;  // "DRTY"
    // A dirty seal becomes this while the journal of that sequence, which names the pixels as
    // they are, is written: it holds for that journal and for no older one.
    static constexpr uint32_t SealCoveredBy(uint32_t sequence) {
        return 0x8000'0000u | (sequence & 0x7FFF'FFFFu);
    }
    struct Pin {
        BlockHandle block = 0;
        BlockHandle seal = 0;
    };
    void SetPins(const std::vector<Pin>& pins);
    bool IsPinned(BlockHandle h) const;
    size_t DeferredFrees() const { return m_deferred.size(); }
    // Called by every writer of the file before it may write [offset, offset + length).
    void NoteWrite(uint64_t offset, uint64_t length) const;
    // Changes whenever the pins change: a writer that keeps a mapping notes it again.
    uint64_t PinEpoch() const { return m_pinEpoch.load(std::memory_order_acquire); }
    // Writes one 32-bit word into a block's payload by pwrite (no mapping, no write note).
    bool WriteWord(BlockHandle h, uint32_t payloadOffset, uint32_t value);
    bool ReadWord(BlockHandle h, uint32_t payloadOffset, uint32_t& value) const;
    // The series of scratch file names in `dir` (ending in a slash), from 1. Nine running
    // copies at most; files kept for recovery push the series on, up to kLastSeriesName, so that
    // kept work never stops the program from starting.
    static std::string SeriesName(const std::string& dir, int i);
    static constexpr int kRunningCopies = 9;
    static constexpr int kLastSeriesName = 99;
    // The name of the journal that belongs beside a scratch file.
    static std::string JournalName(const std::string& scratchName) {
        return scratchName + ".journal";
    }

    // Called after the "Soon filled" warning when the file grows past 3 865 051 136 bytes, so
    // the owner can drop work that would fill it further (queued opens).
    std::function<void()> onNearlyFull;

private:
    friend class MappedView;
    friend class RowReader;

    Header& H() const { return *reinterpret_cast<Header*>(m_headerView); }
    // The node record at a slot offset; nullptr when the offset is not a slot.
    Node* NodeAt(uint32_t offset) const;
    uint32_t SlotsLeft() const;
    uint32_t TakeSlot();
    bool SpaceCheck(uint64_t n);
    bool Grow(uint32_t b);
    void CutFile(uint64_t length);
    void WriteEmptyIndex();
    bool WriteGuards(uint32_t start, uint32_t size);
    bool GuardAt(uint64_t offset, const uint8_t* pattern) const;
    bool CheckUsedGuards(const Node& n) const;
    bool CheckFreeGuards(const Node& n) const;
    void ShowBlockError(const Node& n) const;
    // Which list the node at `h` belongs to: 1 used, 2 free, 0 neither.
    int ListOf(uint32_t h) const;
    BlockHandle NewUsedNode(uint32_t start, uint32_t size);
    void InsertFreeNode(uint32_t slot, uint32_t start, uint32_t size);
    void RemoveFreeNode(uint32_t h);
    void RemoveUsedNode(uint32_t h);
    void CloseFile(bool removeName);
    void ClearFields();
    bool FreeNow(BlockHandle h);

    struct PinRange {
        uint64_t begin, end;  // payload bytes
        uint64_t seal;        // file offset of the seal word
    };
    struct PinSet {
        std::vector<BlockHandle> blocks;  // sorted
        std::vector<PinRange> ranges;
        std::unique_ptr<std::atomic<bool>[]> noted;  // one per range: the seal is marked
    };

    bool m_open = false;
    int m_file = -1;
    uint8_t* m_headerView = nullptr;
    std::string m_folder;
    std::string m_fileName;
    uint32_t m_granularity = kAllocationGranularity;
    DiskService& m_disks;
    std::atomic<uint64_t> m_fileBytes{0};
    std::atomic<uint64_t> m_generation{0};
    int m_liveEntry = -1;  // slot in the exit-cleanup registry
    // Read by writers on any thread, replaced on the user-interface thread.
    std::atomic<std::shared_ptr<const PinSet>> m_pins;
    std::atomic<uint64_t> m_pinEpoch{0};
    std::vector<BlockHandle> m_deferred;  // pinned blocks whose Free came while pinned
};

// Whether `text` is one of the store's warnings (low disk space, a very large block, node slots
// running out): shown, and the work goes on.
bool IsStoreWarning(const std::string& text);

// Reads `length` bytes of the store's file at `offset` by pread. False when the store is closed,
// the range passes the file's end or a read fails.
bool ReadStoreBytes(const FileDynamicStore& store, uint64_t offset, uint8_t* bytes,
                    uint64_t length);

}  // namespace zelvo
