#include "workspace/Workspace.h"

#include <algorithm>
#include <filesystem>

#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "store/TempDisk.h"
#include "store/ZeroedBlock.h"

namespace zelvo {

namespace {
constexpr const char* kStartFailure =
    "temporary disk file fails to create, the program should not start.";
}

Workspace::Workspace(DiskService& disks) : m_disks(disks), m_store(disks) {}

bool Workspace::FailStart() {
    AppMessages().Show(kStartFailure);
    return false;
}

bool Workspace::Setup(const std::optional<std::string>& forcedFolder) {
    if (m_setUp) return false;
    m_folderGiven = forcedFolder.has_value();
    if (forcedFolder) {
        m_tempFolder = *forcedFolder;
        if (!m_tempFolder.empty() && m_tempFolder.back() != '/') m_tempFolder += '/';
        // A folder named on the command line that is not there: the disk questions below would
        // only report it as a disk without space.
        std::error_code ec;
        if (m_tempFolder.empty()) {
            AppMessages().Show("No temporary folder was named.");
            return FailStart();
        }
        if (!std::filesystem::is_directory(m_tempFolder, ec)) {
            AppMessages().Show("The temporary folder " + m_tempFolder + " is not there.");
            return FailStart();
        }
    } else {
        m_tempFolder = ChooseTempFolder(m_disks);
    }
    // Opening has proved the folder takes a locked file with its index reserved and written
    // and has 100 MB free. The stroke block waits for the first stroke: a run that never
    // paints never reserves it (on tmpfs reserving alone costs tens of milliseconds).
    if (m_tempFolder.empty() || !m_store.Open(m_tempFolder)) return FailStart();

    m_setUp = true;
    SetRunning(true);
    return true;
}

std::vector<std::string> Workspace::RecoveryFolders() const {
    std::vector<std::string> folders;
    auto add = [&](std::string f) {
        if (!f.empty() && f.back() != '/') f += '/';
        if (std::find(folders.begin(), folders.end(), f) == folders.end())
            folders.push_back(std::move(f));
    };
    add(m_tempFolder);
    if (!m_folderGiven)
        for (std::string& f : TempFolderCandidates(m_disks)) add(std::move(f));
    return folders;
}

const PercentTables& Workspace::Tables() const {
    std::call_once(m_tablesOnce, [this] { m_tables = std::make_unique<PercentTables>(); });
    return *m_tables;
}

uint8_t* Workspace::SmallWorkBuffer() {
    std::call_once(m_buffersOnce, [this] { AllocateBuffers(); });
    return m_smallWorkBuffer.data();
}

uint8_t* Workspace::LargeWorkBuffer() {
    std::call_once(m_buffersOnce, [this] { AllocateBuffers(); });
    return m_largeWorkBuffer.data();
}

uint8_t* Workspace::NavigatorThumbnail() {
    std::call_once(m_buffersOnce, [this] { AllocateBuffers(); });
    return m_thumbnail.data();
}

void Workspace::AllocateBuffers() {
    m_smallWorkBuffer.assign(kSmallWorkBufferBytes, 0);
    m_largeWorkBuffer.assign(kLargeWorkBufferBytes, 0);
    m_thumbnail.assign(kThumbnailBytes, 0);
}

void Workspace::SetScreenSize(int width, int height) {
    m_screenWidth = width;
    m_screenHeight = height;
}

bool Workspace::AllocateStrokeBlock(uint64_t pixels) {
    m_strokeBlock = AllocateZeroed(m_store, pixels * kStrokeBytesPerPixel);
    if (!m_strokeBlock) return false;
    m_strokeCapacity = pixels;
    return true;
}

bool Workspace::EnsureStrokeCapacity(int width, int height) {
    if (!m_store.IsOpen()) return false;
    uint64_t pixels = width > 0 && height > 0 ? uint64_t(width) * uint64_t(height) : 0;
    // The first stroke reserves it, and the first after a clean-up gave it up.
    if (!m_strokeBlock) return AllocateStrokeBlock(std::max(pixels, m_strokeCapacity));
    if (pixels <= m_strokeCapacity) return true;
    // The new block is taken before the old one goes, so a full disk keeps the old one.
    BlockHandle old = m_strokeBlock;
    uint64_t oldCapacity = m_strokeCapacity;
    if (!AllocateStrokeBlock(pixels)) {
        m_strokeBlock = old;
        m_strokeCapacity = oldCapacity;
        return false;
    }
    m_store.Free(old);
    return true;
}

bool Workspace::ResetStore() {
    if (!m_store.IsOpen()) return false;
    const bool grown = m_strokeCapacity != kStartStrokePixels;
    if (m_store.UsedCount() > (m_strokeBlock ? 1u : 0u)) {
        AppFeedback().StatusText("Clean up temporary disk");
        WaitCursor wait;
        // The stroke block goes with the rest: the file shrinks to its index, and the next
        // stroke reserves fresh space, which needs no zero-filling.
        m_strokeBlock = 0;
        m_store.Reset();
    }
    if (grown) {
        AppFeedback().StatusText("Clean up temporary disk.");
        if (m_strokeBlock) m_store.Free(m_strokeBlock);
        m_strokeBlock = 0;
        m_store.Shrink();
        m_strokeCapacity = kStartStrokePixels;
    }
    return true;
}

}  // namespace zelvo
