// The Workspace: what the main frame sets up once and shares with every document and worker
// thread for the whole run — the temporary disk and its scratch store, the stroke work block,
// the percent tables, the work buffers and the flags the threads poll.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/PercentTables.h"
#include "platform/Disk.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

class DocumentWatcher;

// What the documents ask of the tool controller, which lives above them: whether a tool
// operation is in progress, ending it before a command acts, and closing the curve tool's
// pending anchor edit before another history state is recorded.
class ToolHooks {
public:
    virtual ~ToolHooks() = default;
    virtual bool ToolBusy() const = 0;
    virtual void EndToolInteraction() = 0;
    virtual void CloseCurveAnchorEdit() = 0;
    // Called on the tool poller thread every 20 ms: a stroke in progress paints its points.
    virtual void PainterTick() {}
};

class Workspace {
public:
    static constexpr uint64_t kStrokeBytesPerPixel = 5;
    static constexpr uint64_t kStartStrokePixels = 5000ull * 4000;
    static constexpr size_t kSmallWorkBufferBytes = 65576;
    static constexpr size_t kLargeWorkBufferBytes = 1048576;
    // A 40-byte header and the rows of a 24-bit picture of at most 180 x 78 pixels.
    static constexpr size_t kThumbnailBytes = 42160;
    static constexpr int kDefaultScreenWidth = 1920;
    static constexpr int kDefaultScreenHeight = 1080;

    explicit Workspace(DiskService& disks = AppDisks());
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Chooses the temporary disk (unless `forcedFolder` is given) and opens the scratch store
    // there; the stroke block waits for the first stroke. On failure the user has been
    // told and the program should not start. Called once.
    bool Setup(const std::optional<std::string>& forcedFolder = std::nullopt);

    bool IsPrinting() const { return m_printing.load(std::memory_order_acquire); }
    void SetPrinting(bool on) { m_printing.store(on, std::memory_order_release); }

    const std::string& TempFolder() const { return m_tempFolder; }
    // Where a dead run may have left its scratch file: the temporary folder, and when the disk
    // was chosen rather than given, every other folder the choice could have made.
    std::vector<std::string> RecoveryFolders() const;
    FileDynamicStore& Store() { return m_store; }
    const FileDynamicStore& Store() const { return m_store; }

    int ScreenWidth() const { return m_screenWidth; }
    int ScreenHeight() const { return m_screenHeight; }
    void SetScreenSize(int width, int height);

    // The per-stroke work block: 5 bytes per pixel for StrokeCapacity() pixels, zero-filled;
    BlockHandle StrokeBlock() const { return m_strokeBlock; }  // 0 until a stroke asks for it
    uint64_t StrokeCapacity() const { return m_strokeCapacity; }
    // Reserves the stroke block, or a larger zero-filled one when width x height pixels do not
    // fit; false (the store has said why) leaves the old block, and nothing may use the block.
    bool EnsureStrokeCapacity(int width, int height);
    // The clean-up after the last document closed: when anything else is left, the whole store
    // is emptied; a grown stroke block goes, so the next one has the start-up size.
    bool ResetStore();

    // Built on first use, from any thread: a run that opens no document never pays for them.
    const PercentTables& Tables() const;
    uint8_t* SmallWorkBuffer();
    uint8_t* LargeWorkBuffer();
    uint8_t* NavigatorThumbnail();

    bool PalettesShown() const { return m_palettesShown; }
    void SetPalettesShown(bool shown) { m_palettesShown = shown; }

    // The worker threads run while this is set; Setup sets it, the exit clears it.
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    void SetRunning(bool on) { m_running.store(on, std::memory_order_release); }

    // Set when any document asks for a render (from any thread); the display refresher takes
    // it to know whether the interface thread has requests to hand over.
    void NoteRenderRequest() { m_renderAsked.store(true, std::memory_order_release); }
    bool TakeRenderRequestNote() {
        return m_renderAsked.exchange(false, std::memory_order_acq_rel);
    }

    // Told of every document's settled changes and closes (the crash-recovery journal); none
    // when null. The watcher outlives every document it is told about.
    DocumentWatcher* Watcher() const { return m_watcher; }
    void SetWatcher(DocumentWatcher* watcher) { m_watcher = watcher; }

    // The tool controller of the run (the main frame's, or the batch runner's); null: none.
    // Read by the tool poller thread too.
    ToolHooks* Tools() const { return m_tools.load(std::memory_order_acquire); }
    void SetTools(ToolHooks* tools) { m_tools.store(tools, std::memory_order_release); }

    // The number of the next untitled document: 1, 2, 3, ... one per new or opened document.
    int NextUntitledNumber() { return m_untitledNumber++; }

private:
    bool AllocateStrokeBlock(uint64_t pixels);
    void AllocateBuffers();
    bool FailStart();

    std::atomic<bool> m_printing{false};
    DiskService& m_disks;
    std::string m_tempFolder;
    bool m_folderGiven = false;
    FileDynamicStore m_store;
    int m_screenWidth = kDefaultScreenWidth;
    int m_screenHeight = kDefaultScreenHeight;
    BlockHandle m_strokeBlock = 0;
    uint64_t m_strokeCapacity = kStartStrokePixels;
    mutable std::once_flag m_tablesOnce;
    mutable std::unique_ptr<PercentTables> m_tables;
    std::once_flag m_buffersOnce;
    std::vector<uint8_t> m_smallWorkBuffer;
    std::vector<uint8_t> m_largeWorkBuffer;
    std::vector<uint8_t> m_thumbnail;
    bool m_palettesShown = false;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_renderAsked{true};
    int m_untitledNumber = 1;
    bool m_setUp = false;
    DocumentWatcher* m_watcher = nullptr;
    std::atomic<ToolHooks*> m_tools{nullptr};
};

}  // namespace zelvo
