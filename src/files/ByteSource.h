// Random access to the bytes of a file being decoded, either in memory or read from disk on
// demand, so a large BMP or TIFF is not held in memory twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelvo {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Up to `size` bytes from `offset`; fewer at the end of the data or on a read error.
    virtual size_t ReadAt(uint64_t offset, void* data, size_t size) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    size_t ReadAt(uint64_t offset, void* data, size_t size) override;
    const uint8_t* Data() const { return m_data; }

private:
    const uint8_t* m_data;
    size_t m_size;
};

class FileSource : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool Open(const std::string& path);
    uint64_t Size() const override { return m_size; }
    size_t ReadAt(uint64_t offset, void* data, size_t size) override;

private:
    int m_fd = -1;
    uint64_t m_size = 0;
};

// Sequential reading over a source, for the libraries that pull a stream. With `readAhead`, small
// reads are served from a buffer read ahead: giflib asks for every sub-block's length and bytes
// apart, libpng for every chunk's header, data and check apart, each a system call otherwise. A
// new position reads afresh from the source.
class SourceCursor {
public:
    explicit SourceCursor(ByteSource& source, bool readAhead = false)
        : m_source(source), m_readAhead(readAhead) {}
    size_t Read(void* data, size_t size);
    uint64_t Position() const { return m_position; }
    void SetPosition(uint64_t p) {
        m_position = p;
        m_bufferBytes = 0;
    }
    ByteSource& Source() { return m_source; }

private:
    static constexpr size_t kAhead = 64 * 1024;
    ByteSource& m_source;
    bool m_readAhead;
    uint64_t m_position = 0;
    std::vector<uint8_t> m_buffer;  // the source's bytes from m_bufferStart
    uint64_t m_bufferStart = 0;
    size_t m_bufferBytes = 0;
};

}  // namespace zelvo
