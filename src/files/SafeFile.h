// Writes a file so that the previous file survives any failure: everything goes to a
// temporary file beside the target, which is synced and renamed over the target only when it
// is complete. A writable file in a folder that takes no new files is written in place
// instead: the temporary file goes to the system's temporary folder, the old bytes are copied
// aside, and a copy that fails midway is undone from them. Also the file layer that the codec
// libraries write through.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelvo {

// The system calls under SafeFile; tests install their own to make a disk "fill up".
class FileOps {
public:
    virtual ~FileOps() = default;
    virtual ssize_t PWrite(int fd, const void* data, size_t size, off_t offset);
    virtual int Sync(int fd);
    virtual int Rename(const char* from, const char* to);
    // Creates a temporary file (open with O_CREAT | O_EXCL).
    virtual int Create(const char* path, int flags, mode_t mode);
};

// Installs `ops` for the lifetime of the object (tests).
class ScopedFileOps {
public:
    explicit ScopedFileOps(FileOps* ops);
    ~ScopedFileOps();
    ScopedFileOps(const ScopedFileOps&) = delete;
    ScopedFileOps& operator=(const ScopedFileOps&) = delete;

private:
    FileOps* m_previous;
};

// Puts back each file whose in-place save was killed while it copied over the file, from the
// old bytes that save kept in the system's temporary folder, and says so. For start-up, before
// any document is opened. Returns how many files were put back.
int RestoreInterruptedSaves();

class SafeFile {
public:
    explicit SafeFile(std::string target);
    // Removes the temporary file unless Commit succeeded.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Creates the temporary file ".<name>.zelvo-tmp-XXXXXX" in the target's folder, after
    // removing those that saves killed before they could do it themselves.
    bool Open();
    // Writes at the current position and advances it. Once any write fails, every later call
    // fails and Commit refuses.
    bool Write(const void* data, size_t size);
    bool Seek(uint64_t position);
    uint64_t Position() const { return m_position; }
    uint64_t Size() const;
    // Reads back what was written (libtiff rereads its directory); returns the bytes read.
    size_t ReadAt(uint64_t position, void* data, size_t size);
    bool Failed() const { return m_failed; }

    // Flushes, syncs, closes and renames over the target. False leaves the target untouched
    // and removes the temporary file.
    bool Commit();
    void Abandon();

    const std::string& TargetPath() const { return m_target; }
    const std::string& TempPath() const { return m_tempPath; }
    // Whether the target is written in place (its folder takes no new files).
    bool InPlace() const { return m_inPlace; }

private:
    bool FlushBuffer();
    bool CopyIntoTarget();

    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    int m_exitEntry = -1;  // removal of the temporary file at exit and on SIGTERM, SIGINT, SIGHUP
    bool m_failed = false;
    bool m_committed = false;
    bool m_inPlace = false;
    uint64_t m_position = 0;
    uint64_t m_fileSize = 0;     // bytes on disk (not counting the buffer)
    uint64_t m_bufferStart = 0;  // file offset of m_buffer[0]
    std::vector<uint8_t> m_buffer;
};

}  // namespace zelvo
