#include "store/TempDisk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/Messages.h"

namespace zelvo {

bool IsAvailable(std::optional<uint64_t> available, uint32_t n) {
    if (!available) return false;
    return (*available >> 32) != 0 || n < uint32_t(*available);
}

bool HasAvailableSpace(DiskService& disks, const std::string& folder, uint32_t n) {
    return IsAvailable(disks.AvailableBytes(folder), n);
}

std::optional<std::string> ReadStoreDiskFile() {
    std::ifstream in(ConfigPath(kStoreDiskFileName), std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    std::streamoff fileLength = in.tellg();
    if (fileLength <= 3) return std::nullopt;
    in.seekg(0);
    unsigned char word[4];
    if (!in.read(reinterpret_cast<char*>(word), 4)) return std::nullopt;
    uint32_t length = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 |
                      uint32_t(word[3]) << 24;
    if (uint64_t(length) + 4 > uint64_t(fileLength) || length <= 2) return std::nullopt;
    if (length > kMaxStoreDiskPath) length = kMaxStoreDiskPath;
    std::string path(length, '\0');
    if (!in.read(path.data(), length)) return std::nullopt;
    // The stored path ends at its NUL; a path cut at 260 bytes has none and is taken whole.
    path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
    if (path.empty()) return std::nullopt;
    return path;
}

bool WriteStoreDiskFile(const std::string& root) {
    uint32_t length = uint32_t(root.size()) + 1;
    // A longer path would be cut short when read back and name no disk.
    if (root.empty() || root.size() >= kMaxStoreDiskPath) return false;
    std::string path = ConfigPath(kStoreDiskFileName);
    // The file is rewritten in place, never truncated; bytes after the new NUL are left as
    // they were and ignored by the reader.
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        std::error_code ec;
        std::filesystem::create_directories(ConfigDir(), ec);
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0 && ftruncate(fd, kStoreDiskFileLength) != 0) {
            close(fd);
            return false;
        }
    }
    if (fd < 0) return false;
    std::string bytes;
    bytes.reserve(4 + length);
    for (int i = 0; i < 4; ++i) bytes += char((length >> (8 * i)) & 0xFF);
    bytes += root;
    bytes += '\0';
    bool ok = pwrite(fd, bytes.data(), bytes.size(), 0) == ssize_t(bytes.size());
    if (close(fd) != 0) ok = false;
    return ok;
}

std::string ChooseTempFolder(DiskService& disks) {
    std::string tempFolder;
    if (auto stored = ReadStoreDiskFile()) {
        if (disks.IsFixed(*stored) && HasAvailableSpace(disks, *stored, kAutoChoiceBytes))
            return *stored;
    }
    std::string systemRoot = disks.SystemRoot();
    if (!systemRoot.empty() && disks.IsFixed(systemRoot)) {
        tempFolder = systemRoot;
        if (HasAvailableSpace(disks, systemRoot, kAutoChoiceBytes)) return tempFolder;
    }
    // The first fixed disk wins whatever its free space; the store checks its own minimum.
    for (const auto& root : disks.DriveRoots()) {
        if (disks.IsFixed(root)) return root;
    }
    return tempFolder;
}

std::vector<std::string> TempFolderCandidates(DiskService& disks) {
    std::vector<std::string> folders;
    auto add = [&](const std::string& f) {
        if (disks.IsFixed(f)) folders.push_back(f);
    };
    if (auto stored = ReadStoreDiskFile()) add(*stored);
    add(disks.SystemRoot());
    for (const auto& root : disks.DriveRoots()) add(root);
    return folders;
}

std::string AvailableSpaceText(uint64_t availableBytes) {
    uint64_t tenths = availableBytes / 1048576 * 10 / 1024;
    return Format("  Available Space%0.1f G", double(tenths) * 0.1);
}

TempDiskDialog::TempDiskDialog(DiskService& disks, const std::string& tempFolder) : m_disks(disks) {
    std::string systemRoot = disks.SystemRoot();
    for (const auto& root : disks.DriveRoots()) {
        if (!disks.IsFixed(root)) continue;
        std::string text = root;
        if (!systemRoot.empty() && root == systemRoot) text += "(System Disk)";
        text += AvailableSpaceText(disks.AvailableBytes(root).value_or(0));
        if (root == tempFolder) m_selected = int(m_lines.size());
        m_lines.push_back({root, std::move(text)});
    }
}

void TempDiskDialog::Select(int index) {
    m_selected = index >= 0 && index < int(m_lines.size()) ? index : -1;
}

bool TempDiskDialog::Ok() {
    if (m_selected < 0) return false;
    const std::string& root = m_lines[size_t(m_selected)].root;
    if (!m_disks.IsFixed(root) || !HasAvailableSpace(m_disks, root, kDialogChoiceBytes))
        return false;
    return WriteStoreDiskFile(root);
}

}  // namespace zelvo
