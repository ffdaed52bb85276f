#include "files/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zelvo {

size_t MemorySource::ReadAt(uint64_t offset, void* data, size_t size) {
    if (offset >= m_size) return 0;
    size_t n = size_t(m_size - offset) < size ? size_t(m_size - offset) : size;
    std::memcpy(data, m_data + offset, n);
    return n;
}

FileSource::~FileSource() {
    if (m_fd >= 0) close(m_fd);
}

bool FileSource::Open(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    m_fd = fd;
    m_size = uint64_t(st.st_size);
    return true;
}

size_t FileSource::ReadAt(uint64_t offset, void* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n =
            pread(m_fd, static_cast<uint8_t*>(data) + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

}  // namespace zelvo
