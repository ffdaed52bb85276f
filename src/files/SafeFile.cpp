#include "files/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

#include "platform/ExitCleanup.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

constexpr size_t kBufferSize = 1 << 18;

FileOps g_systemOps;
FileOps* g_ops = &g_systemOps;

// The file that a rename must replace: a symbolic link's destination, so that saving through
// a link updates the file it points to instead of replacing the link; a link to a file not
// there yet makes that file.
std::string ResolveTarget(const std::string& target) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    char resolved[PATH_MAX];
    if (realpath(target.c_str(), resolved)) return resolved;
    std::string path = target;
    for (int hop = 0; hop < 40 && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hop) {
        const ssize_t n = readlink(path.c_str(), resolved, sizeof(resolved) - 1);
        if (n <= 0) return target;
        const std::string to(resolved, size_t(n));
        const size_t slash = path.rfind('/');
        path = to[0] == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

constexpr char kTempMark[] = ".zelvo-tmp-";
constexpr size_t kTempSuffix = 6;
// An in-place save's copy of the old bytes is its temporary file's name with this tail, and the
// record of its target that name with kTargetRecord.
constexpr char kBackupTail[] = "-old";
constexpr char kTargetRecord[] = ".target";

// ".NAME.zelvo-tmp-XXXXXX"
bool IsTempName(const char* name) {
    const size_t n = std::strlen(name), mark = sizeof(kTempMark) - 1;
    if (name[0] != '.' || n < 2 + mark + kTempSuffix) return false;
    return std::memcmp(name + n - kTempSuffix - mark, kTempMark, mark) == 0;
}

// Removes the temporary files of saves that were killed in this folder. A save in progress
// keeps its file locked, so what can be locked is left over.
void ReclaimStaleTemps(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        if (!IsTempName(entry->d_name)) continue;
        const int fd = openat(dirFd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        struct stat a, b;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &a) == 0 && S_ISREG(a.st_mode) &&
            fstatat(dirFd, entry->d_name, &b, AT_SYMLINK_NOFOLLOW) == 0 && a.st_dev == b.st_dev &&
            a.st_ino == b.st_ino)
            unlinkat(dirFd, entry->d_name, 0);
        close(fd);
    }
    closedir(dir);
}

// The system's temporary folder, with its slash.
std::string TempFolder() {
    const char* t = std::getenv("TMPDIR");
    // /var/tmp outlives a restart, and with it the old bytes an in-place save keeps aside.
    std::string folder = t && *t ? t : "/var/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

void SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // best effort: the rename itself has already succeeded
    close(fd);
}

// Writes `text` to a new file at `path` and syncs it and its folder.
bool WriteRecord(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size()) && fsync(fd) == 0;
    close(fd);
    if (!ok) {
        unlink(path.c_str());
        return false;
    }
    SyncFolder(FolderOf(path));
    return true;
}

// The record's text, when the record is a plain file of this user's that no one else may write
// (the temporary folder is shared: another user's record must never steer a restore).
bool ReadRecord(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        close(fd);
        return false;
    }
    char buffer[4096];
    text.clear();
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 16))
        text.append(buffer, size_t(n));
    close(fd);
    return n == 0;
}

}  // namespace

ssize_t FileOps::PWrite(int fd, const void* data, size_t size, off_t offset) {
    return pwrite(fd, data, size, offset);
}
int FileOps::Sync(int fd) {
    return fsync(fd);
}
int FileOps::Rename(const char* from, const char* to) {
    return rename(from, to);
}
int FileOps::Create(const char* path, int flags, mode_t mode) {
    return open(path, flags, mode);
}

ScopedFileOps::ScopedFileOps(FileOps* ops) : m_previous(g_ops) {
    g_ops = ops;
}
ScopedFileOps::~ScopedFileOps() {
    g_ops = m_previous;
}

SafeFile::SafeFile(std::string target) : m_target(ResolveTarget(target)) {}

SafeFile::~SafeFile() {
    if (!m_committed) Abandon();
}

bool SafeFile::Open() {
    if (m_fd >= 0 || m_committed) return false;
    if (m_target.empty() || m_target.back() == '/') return false;
    // A file its permissions keep from being written is not replaced either, although the
    // folder would let the rename through.
    if (faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return false;
    size_t slash = m_target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : m_target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    ReclaimStaleTemps(folder.empty() ? "." : folder);
    // The temporary name must fit where the target's does (255 bytes): a long name is cut,
    // at the start of a character.
    const size_t room = 255 - 1 - (sizeof(kTempMark) - 1) - kTempSuffix;
    if (name.size() > room) {
        size_t cut = room;
        while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    std::random_device random;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    m_inPlace = false;
    // A file with other names (hard links) is written in place, so that every name shows what
    // was saved: a rename would leave the other names on the old bytes.
    struct stat existing;
    if (stat(m_target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        existing.st_nlink > 1) {
        m_inPlace = true;
        folder = TempFolder();
        ReclaimStaleTemps(folder);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, 'x');
        for (char& c : suffix) c = kLetters[random() % (sizeof(kLetters) - 1)];
        std::string path = folder + "." + name + kTempMark + suffix;
        // 0666 lets the umask decide the permissions, as for any newly created file.
        int fd = g_ops->Create(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno == EACCES || errno == EPERM) && !m_inPlace) {
            // The folder takes no new file; an existing file of ours is written in place.
            struct stat st;
            if (stat(m_target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
            m_inPlace = true;
            folder = TempFolder();
            ReclaimStaleTemps(folder);
            --attempt;
            continue;
        }
        if (fd >= 0) {
            // Locked for as long as the save runs, so that no other save takes it for a
            // leftover. One that took it in the instant before our lock holds the lock and is
            // removing the name, or has removed it: another name is tried. (A file system
            // without locks gets no lock, and no leftover is reclaimed there.)
            struct stat a, b;
            const int locked = flock(fd, LOCK_EX | LOCK_NB);
            if ((locked != 0 && errno == EWOULDBLOCK) ||
                (locked == 0 && (fstat(fd, &a) != 0 || stat(path.c_str(), &b) != 0 ||
                                 a.st_ino != b.st_ino || a.st_dev != b.st_dev))) {
                close(fd);
                continue;
            }
            m_exitEntry = RegisterRemoveAtExit(path, fd);
            m_fd = fd;
            m_tempPath = path;
            struct stat st;
            // An existing file keeps its group (where the user belongs to it), its owner (for
            // root) and its permissions when it is replaced.
            if (stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                if (fchown(m_fd, geteuid() == 0 ? st.st_uid : uid_t(-1), st.st_gid) != 0) {
                    // Not one of the user's groups: the file takes the folder's, as a new one.
                }
                fchmod(m_fd, st.st_mode & 07777);
            }
            m_failed = false;
            m_position = m_fileSize = m_bufferStart = 0;
            m_buffer.clear();
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

namespace {

// Writes all of `size` bytes at `offset`; false once the disk refuses.
bool WriteAll(int fd, const uint8_t* p, size_t size, uint64_t offset) {
    while (size > 0) {
        ssize_t n = g_ops->PWrite(fd, p, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

}  // namespace

bool SafeFile::FlushBuffer() {
    if (m_buffer.empty()) return !m_failed;
    if (!m_failed && !WriteAll(m_fd, m_buffer.data(), m_buffer.size(), m_bufferStart))
        m_failed = true;
    if (!m_failed) m_fileSize = std::max(m_fileSize, m_bufferStart + m_buffer.size());
    m_buffer.clear();
    return !m_failed;
}

bool SafeFile::Write(const void* data, size_t size) {
    if (m_fd < 0 || m_failed) return false;
    if (size == 0) return true;
    if (m_position != m_bufferStart + m_buffer.size()) {
        if (!FlushBuffer()) return false;
        m_bufferStart = m_position;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (size >= kBufferSize) {
        // Large pieces (whole pictures, encoders' chunks) go straight to the file instead of
        // through a copy into the buffer.
        if (!FlushBuffer()) return false;
        if (!WriteAll(m_fd, p, size, m_position)) {
            m_failed = true;
            return false;
        }
        m_position += size;
        m_fileSize = std::max(m_fileSize, m_position);
        m_bufferStart = m_position;
        return true;
    }
    try {
        m_buffer.insert(m_buffer.end(), p, p + size);
    } catch (const std::bad_alloc&) {
        m_failed = true;
        return false;
    }
    m_position += size;
    if (m_buffer.size() >= kBufferSize) {
        if (!FlushBuffer()) return false;
        m_bufferStart = m_position;
    }
    return true;
}

bool SafeFile::Seek(uint64_t position) {
    if (m_fd < 0 || m_failed) return false;
    m_position = position;
    return true;
}

uint64_t SafeFile::Size() const {
    return std::max(m_fileSize, m_bufferStart + m_buffer.size());
}

size_t SafeFile::ReadAt(uint64_t position, void* data, size_t size) {
    if (m_fd < 0 || m_failed || !FlushBuffer()) return 0;
    m_bufferStart = m_position;
    size_t done = 0;
    while (done < size) {
        ssize_t n =
            pread(m_fd, static_cast<uint8_t*>(data) + done, size - done, off_t(position + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

bool SafeFile::Commit() {
    if (m_fd < 0 || m_committed) return false;
    bool ok = FlushBuffer() && g_ops->Sync(m_fd) == 0;
    UnregisterRemoveAtExit(m_exitEntry);
    m_exitEntry = -1;
    if (ok && !m_inPlace && g_ops->Rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        // A sticky folder lets no one replace another user's file that they may write.
        ok = (errno == EPERM || errno == EACCES) &&
             faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) == 0;
        m_inPlace = ok;
    }
    if (ok && m_inPlace) ok = CopyIntoTarget();
    if (close(m_fd) != 0) ok = false;
    m_fd = -1;
    if (!ok || m_inPlace) unlink(m_tempPath.c_str());
    if (!ok) {
        m_tempPath.clear();
        m_failed = true;
        return false;
    }
    m_committed = true;
    if (!m_inPlace) SyncFolder(FolderOf(m_target));
    return true;
}

namespace {

// Copies the first `size` bytes of `from` over the start of `to`, through the file operations
// (which tests make fail) or straight.
bool CopyBytes(int from, int to, uint64_t size, bool throughOps) {
    std::vector<uint8_t> buffer(std::min<uint64_t>(size, 1 << 20));
    for (uint64_t at = 0; at < size;) {
        const ssize_t n = pread(from, buffer.data(),
                                size_t(std::min<uint64_t>(buffer.size(), size - at)), off_t(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bool written;
        if (throughOps) {
            written = WriteAll(to, buffer.data(), size_t(n), at);
        } else {
            written = true;
            for (ssize_t done = 0; written && done < n;) {
                const ssize_t w =
                    pwrite(to, buffer.data() + done, size_t(n - done), off_t(at + uint64_t(done)));
                if (w < 0 && errno == EINTR) continue;
                written = w > 0;
                if (written) done += w;
            }
        }
        if (!written) return false;
        at += uint64_t(n);
    }
    return true;
}

}  // namespace

bool SafeFile::CopyIntoTarget() {
    const int target = open(m_target.c_str(), O_RDWR | O_CLOEXEC);
    if (target < 0) return false;
    struct stat old;
    if (fstat(target, &old) != 0 || !S_ISREG(old.st_mode)) {
        close(target);
        return false;
    }
    // The old bytes go aside first, beside the temporary file. They are not removed at a
    // signal: the process killed while copying leaves them as the only whole copy.
    const std::string backupPath = m_tempPath + kBackupTail;
    const int backup = open(backupPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (backup < 0) {
        close(target);
        return false;
    }
    // Locked while the save runs, so that a start-up never takes it for one a killed save left.
    flock(backup, LOCK_EX | LOCK_NB);
    const uint64_t oldSize = uint64_t(old.st_size), newSize = Size();
    bool ok = CopyBytes(target, backup, oldSize, false) && fsync(backup) == 0;
    // The record naming the target, written before the target is touched: a start-up after a
    // kill from here on puts the old bytes back (RestoreInterruptedSaves).
    const std::string recordPath = backupPath + kTargetRecord;
    ok = ok && WriteRecord(recordPath, m_target);
    bool keepBackup = false;
    if (ok) {
        ok = CopyBytes(m_fd, target, newSize, true) && ftruncate(target, off_t(newSize)) == 0 &&
             g_ops->Sync(target) == 0;
        // Undone from the copy; should that fail too, the copy is what is left of the file.
        if (!ok)
            keepBackup = !(ftruncate(target, off_t(oldSize)) == 0 &&
                           CopyBytes(backup, target, oldSize, false) && fsync(target) == 0);
    }
    if (!keepBackup) {
        unlink(recordPath.c_str());
        unlink(backupPath.c_str());
    }
    close(backup);
    close(target);
    return ok;
}

int RestoreInterruptedSaves() {
    const std::string folder = TempFolder();
    ReclaimStaleTemps(folder);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> records;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const size_t tail = sizeof(kBackupTail) - 1 + sizeof(kTargetRecord) - 1;
        if (name.size() > tail && name[0] == '.' &&
            name.compare(name.size() - tail, tail, std::string(kBackupTail) + kTargetRecord) == 0)
            records.push_back(folder + name);
    }
    closedir(dir);
    int restored = 0;
    for (const std::string& record : records) {
        const std::string backupPath =
            record.substr(0, record.size() - (sizeof(kTargetRecord) - 1));
        const int backup = open(backupPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (backup < 0) {
            unlink(record.c_str());  // nothing left to put back
            continue;
        }
        struct stat st;
        std::string target;
        // A save still running holds its lock.
        if (flock(backup, LOCK_EX | LOCK_NB) != 0 || fstat(backup, &st) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
            (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 || !ReadRecord(record, target) ||
            target.empty()) {
            close(backup);
            continue;
        }
        const int fd = open(target.c_str(), O_RDWR | O_CLOEXEC);
        const uint64_t size = uint64_t(st.st_size);
        const bool back = fd >= 0 && CopyBytes(backup, fd, size, false) &&
                          ftruncate(fd, off_t(size)) == 0 && fsync(fd) == 0;
        if (fd >= 0) close(fd);
        if (back) {
            unlink(record.c_str());
            unlink(backupPath.c_str());
            ++restored;
            AppMessages().Show("The save of " + target +
                               " was cut off before it ended: the file is back as it was before "
                               "that save.");
        } else {
            // Told once; the old bytes stay where the message says.
            unlink(record.c_str());
            AppMessages().Show("The save of " + target +
                               " was cut off before it ended, and the file could not be put "
                               "back. Its earlier content is kept in " +
                               backupPath + ".");
        }
        close(backup);
    }
    return restored;
}

void SafeFile::Abandon() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_exitEntry >= 0) {
        RemoveRegistered(m_exitEntry);
        m_exitEntry = -1;
    } else if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
    }
    m_tempPath.clear();
    m_buffer.clear();
    m_failed = true;
}

}  // namespace zelvo
