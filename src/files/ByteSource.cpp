#include "files/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

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
    // Without O_NONBLOCK, opening a FIFO would wait for a writer that may never come; only
    // regular files are read, and for them the flag changes nothing.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

size_t SourceCursor::Read(void* data, size_t size) {
    uint8_t* out = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        if (m_position >= m_bufferStart && m_position - m_bufferStart < m_bufferBytes) {
            const size_t at = size_t(m_position - m_bufferStart);
            const size_t n = std::min(size - done, m_bufferBytes - at);
            std::memcpy(out + done, m_buffer.data() + at, n);
            done += n;
            m_position += n;
            continue;
        }
        if (!m_readAhead || size - done >= kAhead) {  // large reads go straight through
            const size_t n = m_source.ReadAt(m_position, out + done, size - done);
            done += n;
            m_position += n;
            break;
        }
        try {
            m_buffer.resize(kAhead);
        } catch (const std::bad_alloc&) {
            const size_t n = m_source.ReadAt(m_position, out + done, size - done);
            m_position += n;
            return done + n;
        }
        m_bufferStart = m_position;
        m_bufferBytes = m_source.ReadAt(m_position, m_buffer.data(), kAhead);
        if (m_bufferBytes == 0) break;  // the end, or a read error
    }
    return done;
}

}  // namespace zelvo
